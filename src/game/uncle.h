#pragma once
// FAT uncle BOB: the large textured, lit sphere and its 20 fans of additive light rays.
// Everything about it is computed here, once for every edge: the sphere, the 20 small
// squares its rays start from, the light point inside it, and each frame's pose; an edge
// only draws the pose it is handed (DrawUnclePose).
#include <cstdint>

#include "content/mesh.h"
#include "core/matrix.h"
#include "platform/platform.h"

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

// --- The sphere and its frames ---
extern MeshVertex* UncleMesh;
extern int32_t UncleVertexTotal;
extern VertexBuffer* UncleBuffer;

// The sphere (a cube subdivided three times) and the ray squares, which continue the
// random sequence the texture script left.
void BuildUncle();
// The sphere's vertex buffer, made and filled once, after the texture.
void UploadUncle();

// One frame of the uncle: the camera, its world matrix, and the 20 ray bands built from
// the light point of the frame.
struct UnclePose {
    Matrix4 view;  // a camera at the origin looking along +z
    Matrix4 world;
    RayVertex rays[RayGroupCount][RayVerticesPerGroup];
};
// The pose of the sphere at (px, py, pz) turned by phi; sets LightPoint.
void PoseUncle(UnclePose& pose, double phi, float px, float py, float pz);
// Inside a scene: poses the uncle and has the edge draw it.
void DrawUncle(double phi, float px, float py, float pz);
