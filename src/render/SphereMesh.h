// Flat-shaded UV sphere built on the processor: positions, face normals,
// texture coordinates and triangle indices, interleaved for upload. Built once
// on the widget's thread by TexturedSphere; owns only its arrays.
#pragma once

#include <cstdint>
#include <vector>

class SphereMesh {
public:
    // One point of the (stackCount + 1) x (sectorCount + 1) construction grid.
    struct GridPoint {
        float x, y, z;
        float s, t;
    };

    // Counts below 3 sectors or 2 stacks are raised to those minimums.
    SphereMesh(float radius, int sectors, int stacks);

    // The grid the cells are cut from, row by row from the north pole.
    static std::vector<GridPoint> buildGrid(float radius, int sectorCount, int stackCount);

    float getRadius() const { return radius; }
    int getSectorCount() const { return sectorCount; }
    int getStackCount() const { return stackCount; }
    int getVertexCount() const { return static_cast<int>(vertices.size() / 3); }
    int getIndexCount() const { return static_cast<int>(indices.size()); }
    const std::vector<float> &getVertices() const { return vertices; }
    const std::vector<float> &getNormals() const { return normals; }
    const std::vector<float> &getTexCoords() const { return texCoords; }
    const std::vector<uint32_t> &getIndices() const { return indices; }
    const std::vector<float> &getInterleavedVertices() const { return interleavedVertices; }
    int getInterleavedStride() const { return interleavedStride; }
    int getInterleavedVertexSize() const { return static_cast<int>(interleavedVertices.size() * sizeof(float)); }
    int getIndexSize() const { return static_cast<int>(indices.size() * sizeof(uint32_t)); }

private:
    void buildFlat();
    void buildInterleaved();
    void addVertex(const GridPoint &point);
    void addNormal(const float normal[3], int times);

    float radius;
    int32_t sectorCount;
    int32_t stackCount;
    std::vector<float> vertices;
    std::vector<float> normals;
    std::vector<float> texCoords;
    std::vector<uint32_t> indices;
    std::vector<float> interleavedVertices;
    int32_t interleavedStride;
};
