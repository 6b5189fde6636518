// The sphere's geometry and the stereo layouts that split a picture between
// the eyes, without GL. Where the picture lands around the viewer is checked
// by its pixels in the VR mode suite.
#include "player/StereoLayout.h"
#include "render/SphereMesh.h"

#include <gtest/gtest.h>

#include <glm/geometric.hpp>
#include <glm/vec3.hpp>

#include <utility>

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

// How the stream's stereo side data splits the picture between the eyes.
TEST(StereoLayout, ReadFromTheVideoStreamsSideData)
{
    using L = StereoLayout;
    const std::pair<AVStereo3DType, L> cases[] = {{AV_STEREO3D_TOPBOTTOM, {L::TopBottom, false}},
                                                  {AV_STEREO3D_SIDEBYSIDE, {L::SideBySide, true}}};
    for (const auto &c : cases) {
        AVFormatContext *format = avformat_alloc_context();
        AVStream *stream = avformat_new_stream(format, nullptr);
        AVStereo3D *stereo = av_stereo3d_alloc();
        stereo->type = c.first;
        stereo->flags = c.second.rightEyeFirst ? AV_STEREO3D_FLAG_INVERT : 0;
        av_stream_add_side_data(stream, AV_PKT_DATA_STEREO3D, reinterpret_cast<uint8_t *>(stereo), sizeof(*stereo));
        EXPECT_EQ(StereoLayout::of(stream), c.second) << c.first;
        avformat_free_context(format);
    }
}
