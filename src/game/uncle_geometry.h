#pragma once
#include <cstdint>

#include "content/mesh.h"
#include "render/matrix.h"

// The uncle's geometry that needs no device: the 20 small squares its light rays
// start from, the light point inside it, its world matrix and the ray bands.

constexpr int32_t RayGroupCount = 20;
constexpr int32_t RayVerticesPerGroup = 24;  // 4 edges, 2 triangles each

extern Vec3 RayQuads[RayGroupCount * 4];  // corners on the unit sphere, 0.06 across
extern Vec3 LightPoint;

// The D3DLVERTEX layout (format 0x1E2): position, reserved, diffuse, specular, tu, tv.
struct RayVertex {
    float x, y, z;
    uint32_t reserved;
    uint32_t diffuse;   // 0xAARRGGBB
    uint32_t specular;
    float tu, tv;
};
static_assert(sizeof(RayVertex) == 32, "RayVertex is the 32-byte D3DLVERTEX");

// Draws three RandomUnit values per group (the angles about z, y and x) and turns
// the four base corners by them; resets LightPoint.
void BuildRayQuads();
// (0.3 sin(4 phi), 0.3 sin(1.6 phi), 0.3 cos(2.8 phi)) in the sphere's model space.
Vec3 UncleLightPoint(double phi);
// Rotation (phi, 0.7 phi, 0.3 phi), translation (px, py, pz), axes scaled by 3.5.
void UncleWorldMatrix(Matrix4& m, double phi, float px, float py, float pz);
// One group's bands: each edge of the square runs from the square (0xEEEEEEEE) out
// to 10 units along the lines from the light point through its corners (black).
void BuildRayGroup(const Vec3* corners, const Vec3& light, RayVertex out[RayVerticesPerGroup]);
