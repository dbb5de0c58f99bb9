#pragma once
#include <cstdint>

// Meshes are triangle lists generated from a cube. Triangles are clockwise seen
// from outside (Direct3D's left-handed convention): (V1 - V0) x (V2 - V0) points out.

// The vertex format 0x112: position, normal, texture coordinates.
struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
static_assert(sizeof(MeshVertex) == 32, "MeshVertex is the 32-byte 0x112 vertex");

// One heap block of MeshVertex; the owner keeps the count beside it and frees it
// with FreeMesh. Null when the allocation failed.
typedef MeshVertex* Mesh;

constexpr int32_t CubeVertexCount = 36;
constexpr int32_t TargetVertexCount = 576;   // cube of half size 5, subdivided twice
constexpr int32_t UncleVertexCount = 2304;   // unit cube subdivided three times

Mesh AllocateMesh(int32_t count);
void FreeMesh(Mesh mesh);

// A cube of the given half size: 36 vertices, zero normals, each face mapped once onto 0..1.
Mesh BuildCube(float halfSize);
// Every triangle split into four through its edge midpoints; *newCount = 4 * count.
Mesh SubdivideMesh(const MeshVertex* mesh, int32_t count, int32_t* newCount);
// Blends positions towards the sphere of the radius (blend 1: onto it); normals point inward.
void Spherify(MeshVertex* dst, const MeshVertex* src, int32_t count, float radius, float blend);
// Each vertex gets the mean of the unit face normals of every triangle that has a
// vertex at its position (not renormalised, so edges and corners are shorter than 1).
void SmoothNormals(MeshVertex* mesh, int32_t count);
// A cube subdivided `levels` times and put on the sphere; outward normals, (u, v) = (nx, ny).
Mesh BuildSphere(uint8_t levels, int32_t* count, float radius);
// The target: BuildCube(5), subdivided twice, with smooth normals.
Mesh BuildTargetMesh(int32_t* count);
