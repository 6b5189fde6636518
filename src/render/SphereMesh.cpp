#include "render/SphereMesh.h"

#include <cmath>

namespace {

// Single-precision literals of 2*pi, pi and pi/2 as the mesh has always used
// them (one ulp below the nearest floats); changing them moves every vertex.
constexpr float kTwoPi = 6.283185f;
constexpr float kPi = 3.1415926f;
constexpr float kHalfPi = 1.5707963f;

// (p2 - p1) x (p3 - p1), normalised; (0, 0, 0) for a degenerate triangle.
void faceNormal(const SphereMesh::GridPoint &p1, const SphereMesh::GridPoint &p2, const SphereMesh::GridPoint &p3,
                float normal[3])
{
    const float ax = p2.x - p1.x, ay = p2.y - p1.y, az = p2.z - p1.z;
    const float bx = p3.x - p1.x, by = p3.y - p1.y, bz = p3.z - p1.z;
    const float nx = ay * bz - az * by;
    const float ny = az * bx - ax * bz;
    const float nz = ax * by - ay * bx;
    const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (length > 0.000001f) {
        normal[0] = nx / length;
        normal[1] = ny / length;
        normal[2] = nz / length;
    } else {
        normal[0] = normal[1] = normal[2] = 0.0f;
    }
}

} // namespace

SphereMesh::SphereMesh(float radius, int sectors, int stacks)
    : radius(radius), sectorCount(sectors < 3 ? 3 : sectors), stackCount(stacks < 2 ? 2 : stacks),
      interleavedStride(32)
{
    buildFlat();
    buildInterleaved();
}

std::vector<SphereMesh::GridPoint> SphereMesh::buildGrid(float radius, int sectorCount, int stackCount)
{
    const float sectorStep = kTwoPi / static_cast<float>(sectorCount);
    const float stackStep = kPi / static_cast<float>(stackCount);
    std::vector<GridPoint> grid;
    grid.reserve(static_cast<size_t>(stackCount + 1) * static_cast<size_t>(sectorCount + 1));
    for (int i = 0; i <= stackCount; ++i) {
        const float stackAngle = kHalfPi - static_cast<float>(i) * stackStep;
        const float xy = radius * std::cos(stackAngle);
        const float z = radius * std::sin(stackAngle);
        for (int j = 0; j <= sectorCount; ++j) {
            const float sectorAngle = static_cast<float>(j) * sectorStep;
            GridPoint point;
            point.x = xy * std::cos(sectorAngle);
            point.y = xy * std::sin(sectorAngle);
            point.z = z;
            point.s = static_cast<float>(j) / static_cast<float>(sectorCount);
            point.t = static_cast<float>(i) / static_cast<float>(stackCount);
            grid.push_back(point);
        }
    }
    return grid;
}

void SphereMesh::addVertex(const GridPoint &point)
{
    vertices.insert(vertices.end(), {point.x, point.y, point.z});
    texCoords.insert(texCoords.end(), {point.s, point.t});
}

void SphereMesh::addNormal(const float normal[3], int times)
{
    for (int n = 0; n < times; ++n)
        normals.insert(normals.end(), {normal[0], normal[1], normal[2]});
}

// No vertex is shared between two cells, so each carries its cell's normal.
void SphereMesh::buildFlat()
{
    const std::vector<GridPoint> grid = buildGrid(radius, sectorCount, stackCount);
    const int rowLength = sectorCount + 1;
    auto at = [&](int i, int j) -> const GridPoint & { return grid[static_cast<size_t>(i * rowLength + j)]; };

    vertices.clear();
    normals.clear();
    texCoords.clear();
    indices.clear();
    uint32_t k = 0;
    float normal[3];
    for (int i = 0; i < stackCount; ++i) {
        for (int j = 0; j < sectorCount; ++j) {
            const GridPoint &nw = at(i, j);
            const GridPoint &sw = at(i + 1, j);
            const GridPoint &ne = at(i, j + 1);
            const GridPoint &se = at(i + 1, j + 1);
            if (i == 0 || i == stackCount - 1) {
                // Caps: each triangle takes the pole once, as nw in the north
                // and as sw in the south.
                const GridPoint &third = i == 0 ? se : ne;
                addVertex(nw);
                addVertex(sw);
                addVertex(third);
                faceNormal(nw, sw, third, normal);
                addNormal(normal, 3);
                indices.insert(indices.end(), {k, k + 1, k + 2});
                k += 3;
            } else {
                addVertex(nw);
                addVertex(sw);
                addVertex(ne);
                addVertex(se);
                faceNormal(nw, sw, ne, normal);
                addNormal(normal, 4);
                indices.insert(indices.end(), {k, k + 1, k + 2, k + 2, k + 1, k + 3});
                k += 4;
            }
        }
    }
}

void SphereMesh::buildInterleaved()
{
    const size_t count = vertices.size() / 3;
    interleavedVertices.clear();
    interleavedVertices.reserve(count * 8);
    for (size_t v = 0; v < count; ++v) {
        interleavedVertices.insert(interleavedVertices.end(), {vertices[3 * v], vertices[3 * v + 1], vertices[3 * v + 2]});
        interleavedVertices.insert(interleavedVertices.end(), {normals[3 * v], normals[3 * v + 1], normals[3 * v + 2]});
        interleavedVertices.insert(interleavedVertices.end(), {texCoords[2 * v], texCoords[2 * v + 1]});
    }
}
