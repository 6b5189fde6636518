// The sphere's geometry, the model matrix that places it and the stereo
// layouts that split a picture between the eyes, without GL.
#include "player/StereoLayout.h"
#include "render/SphereMesh.h"
#include "render/VRMVP.h"

#include <gtest/gtest.h>

#include <glm/geometric.hpp>
#include <glm/vec4.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

glm::vec3 at(const std::vector<float> &xyz, uint32_t vertex)
{
    return {xyz[3 * vertex], xyz[3 * vertex + 1], xyz[3 * vertex + 2]};
}

} // namespace

TEST(SphereMesh, CountsAndWinding)
{
    struct Case {
        int sectors, stacks, usedSectors, usedStacks, vertices, indices;
    };
    // Too few sectors or stacks are raised; two stacks leave only the caps.
    for (const Case c : {Case{256, 256, 256, 256, 261632, 391680}, Case{2, 1, 3, 2, 18, 18}, Case{7, 2, 7, 2, 42, 42},
                         Case{5, 3, 5, 3, 50, 60}}) {
        SCOPED_TRACE(testing::Message() << c.sectors << " x " << c.stacks);
        const SphereMesh mesh(2.0f, c.sectors, c.stacks);
        EXPECT_EQ(mesh.getSectorCount(), c.usedSectors);
        EXPECT_EQ(mesh.getStackCount(), c.usedStacks);
        EXPECT_EQ(mesh.getVertexCount(), c.vertices);
        EXPECT_EQ(mesh.getIndexCount(), c.indices);
        // Every triangle has area, is counter-clockwise seen from outside and
        // carries its unit face normal.
        const std::vector<uint32_t> &indices = mesh.getIndices();
        for (size_t tri = 0; tri < indices.size() / 3; ++tri) {
            const uint32_t *v = &indices[3 * tri];
            const glm::vec3 a = at(mesh.getVertices(), v[0]), b = at(mesh.getVertices(), v[1]);
            const glm::vec3 cross = glm::cross(b - a, at(mesh.getVertices(), v[2]) - a);
            ASSERT_GT(glm::length(cross), 0.0f) << "degenerate triangle " << tri;
            ASSERT_GT(glm::dot(cross, a + b), 0.0f) << "triangle " << tri << " faces inward";
            for (int corner = 0; corner < 3; ++corner)
                ASSERT_NEAR(glm::dot(at(mesh.getNormals(), v[corner]), glm::normalize(cross)), 1.0f, 1e-3f) << tri;
        }
    }
}

TEST(SphereMesh, SeamAndTextureAxes)
{
    const int sectors = 16, stacks = 8;
    const std::vector<SphereMesh::GridPoint> grid = SphereMesh::buildGrid(3.0f, sectors, stacks);
    ASSERT_EQ(SphereMesh::buildGrid(5.0f, 256, 256).size(), 66049u);
    for (int i = 0; i <= stacks; ++i) {
        const SphereMesh::GridPoint &first = grid[static_cast<size_t>(i * (sectors + 1))];
        const SphereMesh::GridPoint &last = grid[static_cast<size_t>(i * (sectors + 1) + sectors)];
        EXPECT_NEAR(last.x, first.x, 1e-5f);
        EXPECT_NEAR(last.y, first.y, 1e-5f);
        EXPECT_EQ(last.z, first.z);
        EXPECT_EQ(first.s, 0.0f);
        EXPECT_EQ(last.s, 1.0f);
    }
    // t = 0 at the north pole (+z), 1 at the south pole; s turns from +x to +y.
    EXPECT_NEAR(grid.front().z, 3.0f, 1e-6f);
    EXPECT_NEAR(grid.back().z, -3.0f, 1e-5f);
    EXPECT_EQ(grid.back().t, 1.0f);
    const SphereMesh::GridPoint &equatorQuarter = grid[static_cast<size_t>(4 * (sectors + 1) + 4)];
    EXPECT_EQ(equatorQuarter.s, 0.25f);
    EXPECT_NEAR(equatorQuarter.y, 3.0f, 1e-5f);
}

// A picture point's direction from the sphere's centre in tracking space:
// mesh position, the vertex shader's mirroring of x, then the model matrix.
TEST(VRMVP, ModelMatrixPutsThePictureAroundTheViewer)
{
    auto direction = [](float s, float t) {
        const float sector = s * 6.283185f, stack = 1.5707963f - t * 3.1415926f;
        const glm::vec4 mirrored(-5.0f * std::cos(stack) * std::cos(sector), 5.0f * std::cos(stack) * std::sin(sector),
                                 5.0f * std::sin(stack), 1.0f);
        return glm::normalize(glm::vec3(VRMVP::modelMatrix() * mirrored) - glm::vec3(0.0f, -1.0f, -3.0f));
    };
    EXPECT_LT(glm::distance(direction(0.5f, 0.5f), glm::vec3(0, 0, -1)), 1e-4f) << "centre ahead";
    EXPECT_LT(glm::distance(direction(0.25f, 0.5f), glm::vec3(-1, 0, 0)), 1e-4f) << "left quarter left";
    EXPECT_LT(glm::distance(direction(0.75f, 0.5f), glm::vec3(1, 0, 0)), 1e-4f) << "right quarter right";
    EXPECT_LT(glm::distance(direction(0.0f, 0.5f), glm::vec3(0, 0, 1)), 1e-4f) << "seam behind";
    EXPECT_LT(glm::distance(direction(0.3f, 0.0f), glm::vec3(0, 1, 0)), 1e-4f) << "top row up";
}

// The stereo marks Matroska files carry, as the ffmpeg tool writes them.
TEST(StereoLayout, ReadFromTheVideoStreamsSideData)
{
    char dirTemplate[] = "/tmp/stereo-layout-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    struct Case {
        const char *mode; // empty: no mark
        StereoLayout::Packing packing;
        bool rightEyeFirst;
    };
    const Case cases[] = {
        {"", StereoLayout::Mono, false},
        {"mono", StereoLayout::Mono, false},
        {"top_bottom", StereoLayout::TopBottom, false},
        {"bottom_top", StereoLayout::TopBottom, true},
        {"left_right", StereoLayout::SideBySide, false},
        {"right_left", StereoLayout::SideBySide, true},
        {"row_interleaved_lr", StereoLayout::Mono, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        const std::string path = dir + "/" + (*c.mode ? c.mode : "unmarked") + ".mkv";
        const std::string mark = *c.mode ? std::string(" -metadata:s:v stereo_mode=") + c.mode : "";
        const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i color=s=64x32:d=0.04" + mark +
                                    " -c:v libx264 -preset ultrafast -pix_fmt yuv420p " + path;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        AVFormatContext *format = nullptr;
        ASSERT_EQ(avformat_open_input(&format, path.c_str(), nullptr, nullptr), 0);
        const StereoLayout layout = StereoLayout::of(format->streams[0]);
        avformat_close_input(&format);
        std::remove(path.c_str());

        EXPECT_EQ(layout.packing, c.packing);
        EXPECT_EQ(layout.rightEyeFirst, c.rightEyeFirst);
    }
    rmdir(dir.c_str());
    EXPECT_EQ(StereoLayout::of(nullptr), StereoLayout());
}
