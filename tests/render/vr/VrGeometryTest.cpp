// The sphere's geometry and the stereo layouts that split a picture between
// the eyes, without GL. Where the picture lands around the viewer is checked
// by its pixels in the VR mode suite.
#include "player/StereoLayout.h"
#include "render/SphereMesh.h"

#include <gtest/gtest.h>

#include <glm/geometric.hpp>
#include <glm/vec3.hpp>

#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/stereo3d.h>
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

// The first and last column of every row meet at the seam, s running 0 to 1
// across it; t = 0 at the north pole (+z), 1 at the south pole.
TEST(SphereMesh, SeamAndPoles)
{
    const int sectors = 16, stacks = 8;
    const std::vector<SphereMesh::GridPoint> grid = SphereMesh::buildGrid(3.0f, sectors, stacks);
    for (int i = 0; i <= stacks; ++i) {
        const SphereMesh::GridPoint &first = grid[size_t(i * (sectors + 1))],
                                    &last = grid[size_t(i * (sectors + 1) + sectors)];
        EXPECT_LT(std::abs(last.x - first.x) + std::abs(last.y - first.y) + std::abs(last.z - first.z), 1e-4f) << i;
        EXPECT_EQ(first.s, 0.0f);
        EXPECT_EQ(last.s, 1.0f);
    }
    EXPECT_NEAR(grid.front().z, 3.0f, 1e-6f);
    EXPECT_NEAR(grid.back().z, -3.0f, 1e-5f);
    EXPECT_EQ(grid.back().t, 1.0f);
}

// How the stream's stereo side data splits the picture between the eyes.
TEST(StereoLayout, ReadFromTheVideoStreamsSideData)
{
    using L = StereoLayout;
    const struct {
        int type, flags; // type -1: no side data
        StereoLayout expected;
    } cases[] = {{-1, 0, {L::Mono, false}},
                 {AV_STEREO3D_2D, 0, {L::Mono, false}},
                 {AV_STEREO3D_TOPBOTTOM, 0, {L::TopBottom, false}},
                 {AV_STEREO3D_TOPBOTTOM, AV_STEREO3D_FLAG_INVERT, {L::TopBottom, true}},
                 {AV_STEREO3D_SIDEBYSIDE, 0, {L::SideBySide, false}},
                 {AV_STEREO3D_SIDEBYSIDE, AV_STEREO3D_FLAG_INVERT, {L::SideBySide, true}},
                 {AV_STEREO3D_LINES, 0, {L::Mono, false}}};
    for (const auto &c : cases) {
        AVFormatContext *format = avformat_alloc_context();
        AVStream *stream = avformat_new_stream(format, nullptr);
        if (AVStereo3D *stereo = c.type >= 0 ? av_stereo3d_alloc() : nullptr) {
            stereo->type = AVStereo3DType(c.type);
            stereo->flags = c.flags;
            av_stream_add_side_data(stream, AV_PKT_DATA_STEREO3D, reinterpret_cast<uint8_t *>(stereo), sizeof(*stereo));
        }
        EXPECT_EQ(StereoLayout::of(stream), c.expected) << c.type << " " << c.flags;
        avformat_free_context(format);
    }
    EXPECT_EQ(StereoLayout::of(nullptr), StereoLayout());
}
