// The sphere's geometry and the model matrix that places it, without GL.
#include "render/SphereMesh.h"
#include "render/VRMVP.h"
#include "render/VRRuntime.h"

#include <gtest/gtest.h>

#include <glm/gtc/type_ptr.hpp>
#include <glm/vec4.hpp>

#include <cmath>
#include <dlfcn.h>

namespace {

glm::vec3 position(const SphereMesh &mesh, uint32_t vertex)
{
    const std::vector<float> &v = mesh.getVertices();
    return {v[3 * vertex], v[3 * vertex + 1], v[3 * vertex + 2]};
}

glm::vec3 normal(const SphereMesh &mesh, uint32_t vertex)
{
    const std::vector<float> &n = mesh.getNormals();
    return {n[3 * vertex], n[3 * vertex + 1], n[3 * vertex + 2]};
}

} // namespace

TEST(SphereMesh, FullSizeCountsAndInterleavedLayout)
{
    SphereMesh mesh(5.0f, 256, 256);
    EXPECT_EQ(mesh.getVertexCount(), 261632);
    EXPECT_EQ(mesh.getIndexCount(), 391680);
    EXPECT_EQ(mesh.getInterleavedVertexSize(), 8372224);
    EXPECT_EQ(mesh.getIndexSize(), 1566720);
    EXPECT_EQ(mesh.getInterleavedStride(), 32);
    EXPECT_EQ(SphereMesh::buildGrid(5.0f, 256, 256).size(), 66049u);

    // The shaders read position at byte 0 and (s, t) at byte 24 of each vertex.
    const std::vector<float> &interleaved = mesh.getInterleavedVertices();
    for (uint32_t vertex : {0u, 1000u, 261631u}) {
        const float *record = &interleaved[vertex * 8];
        EXPECT_EQ(glm::vec3(record[0], record[1], record[2]), position(mesh, vertex));
        EXPECT_EQ(glm::vec3(record[3], record[4], record[5]), normal(mesh, vertex));
        EXPECT_EQ(record[6], mesh.getTexCoords()[2 * vertex]);
        EXPECT_EQ(record[7], mesh.getTexCoords()[2 * vertex + 1]);
    }
}

TEST(SphereMesh, SmallCountsAreRaisedAndCapsOnlyMeshes)
{
    SphereMesh tiny(1.0f, 2, 1);
    EXPECT_EQ(tiny.getSectorCount(), 3);
    EXPECT_EQ(tiny.getStackCount(), 2);
    EXPECT_EQ(tiny.getVertexCount(), 18);
    EXPECT_EQ(tiny.getIndexCount(), 18);

    SphereMesh caps(1.0f, 7, 2);
    EXPECT_EQ(caps.getVertexCount(), 6 * 7);
    EXPECT_EQ(caps.getIndexCount(), 6 * 7);
    // Only caps: every triangle has its own three vertices, and exactly one
    // of them is a pole.
    for (int tri = 0; tri < caps.getIndexCount() / 3; ++tri) {
        int poles = 0;
        for (int corner = 0; corner < 3; ++corner) {
            const glm::vec3 p = position(caps, caps.getIndices()[3 * tri + corner]);
            poles += std::fabs(std::fabs(p.z) - 1.0f) < 1e-6f ? 1 : 0;
            EXPECT_EQ(caps.getIndices()[3 * tri + corner], static_cast<uint32_t>(3 * tri + corner));
        }
        EXPECT_EQ(poles, 1) << "triangle " << tri;
    }
}

TEST(SphereMesh, TrianglesFaceOutwardWithTheirFaceNormal)
{
    for (const SphereMesh &mesh : {SphereMesh(5.0f, 256, 256), SphereMesh(2.0f, 3, 2), SphereMesh(1.0f, 5, 3)}) {
        const std::vector<uint32_t> &indices = mesh.getIndices();
        for (size_t tri = 0; tri < indices.size() / 3; ++tri) {
            const uint32_t a = indices[3 * tri], b = indices[3 * tri + 1], c = indices[3 * tri + 2];
            const glm::vec3 pa = position(mesh, a), pb = position(mesh, b), pc = position(mesh, c);
            const glm::vec3 cross = glm::cross(pb - pa, pc - pa);
            const glm::vec3 centroid = (pa + pb + pc) / 3.0f;
            ASSERT_GT(glm::length(cross), 0.0f) << "degenerate triangle " << tri;
            // Counter-clockwise from outside, and the stored normal agrees.
            ASSERT_GT(glm::dot(cross, centroid), 0.0f) << "triangle " << tri;
            for (uint32_t v : {a, b, c}) {
                ASSERT_NEAR(glm::length(normal(mesh, v)), 1.0f, 1e-4f);
                ASSERT_GT(glm::dot(normal(mesh, v), glm::normalize(cross)), 0.999f) << "triangle " << tri;
            }
        }
    }
}

TEST(SphereMesh, SeamAndTextureAxes)
{
    const int sectors = 16, stacks = 8;
    const std::vector<SphereMesh::GridPoint> grid = SphereMesh::buildGrid(3.0f, sectors, stacks);
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

TEST(SphereMesh, ZeroRadiusCollapsesEverything)
{
    SphereMesh mesh(0.0f, 8, 4);
    ASSERT_GT(mesh.getVertexCount(), 0);
    for (float value : mesh.getVertices())
        EXPECT_EQ(value, 0.0f);
    for (float value : mesh.getNormals())
        EXPECT_EQ(value, 0.0f);
}

// Where a picture point ends up in tracking space: mesh position, the vertex
// shader's mirroring of x, then the model matrix.
glm::vec3 trackingPosition(float s, float t)
{
    const float sector = s * 6.283185f;
    const float stack = 1.5707963f - t * 3.1415926f;
    const glm::vec4 mesh(5.0f * std::cos(stack) * std::cos(sector), 5.0f * std::cos(stack) * std::sin(sector),
                         5.0f * std::sin(stack), 1.0f);
    const glm::vec4 mirrored(-mesh.x, mesh.y, mesh.z, 1.0f);
    return glm::vec3(VRMVP::modelMatrix() * mirrored);
}

TEST(VRMVP, ModelMatrixPutsThePictureAroundTheViewer)
{
    const glm::vec3 centre(0.0f, -1.0f, -3.0f);
    auto direction = [&](float s, float t) { return glm::normalize(trackingPosition(s, t) - centre); };
    const float eps = 1e-4f;
    EXPECT_LT(glm::distance(direction(0.5f, 0.5f), glm::vec3(0, 0, -1)), eps) << "centre ahead";
    EXPECT_LT(glm::distance(direction(0.25f, 0.5f), glm::vec3(-1, 0, 0)), eps) << "left quarter left";
    EXPECT_LT(glm::distance(direction(0.75f, 0.5f), glm::vec3(1, 0, 0)), eps) << "right quarter right";
    EXPECT_LT(glm::distance(direction(0.0f, 0.5f), glm::vec3(0, 0, 1)), eps) << "seam behind";
    EXPECT_LT(glm::distance(direction(0.3f, 0.0f), glm::vec3(0, 1, 0)), eps) << "top row up";
}

TEST(VRMVP, WithoutRuntimeTheMatrixIsTheModelAloneForBothEyes)
{
    void *installed = dlopen("libopenvr_api.so", RTLD_NOW | RTLD_NOLOAD);
    if (!installed)
        installed = dlopen("libopenvr_api.so", RTLD_LAZY);
    if (installed)
        GTEST_SKIP() << "an OpenVR library is installed on this machine";

    VRRuntime runtime;
    ASSERT_EQ(runtime.getSystem(), nullptr);
    EXPECT_EQ(runtime.renderWidth(), 100);
    EXPECT_EQ(runtime.renderHeight(), 100);
    runtime.waitGetPoses(); // returns at once without a runtime
    VRMVP mvp(&runtime);
    for (uint32_t eye : {0u, 1u, 7u}) {
        mvp.setEye(eye);
        EXPECT_EQ(glm::make_mat4(mvp.matrix()), VRMVP::modelMatrix()) << "eye " << eye;
    }
}
