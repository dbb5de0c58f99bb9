#include <gtest/gtest.h>

#include <cmath>

#include "content/mesh.h"

namespace {

float Length(float x, float y, float z) { return std::sqrt(x * x + y * y + z * z); }

// (V1 - V0) x (V2 - V0) points away from the origin for every triangle of a solid
// centred on it, and no triangle is degenerate.
void ExpectOutwardWinding(const MeshVertex* m, int32_t count)
{
    for (int32_t t = 0; t < count; t += 3) {
        const MeshVertex &a = m[t], &b = m[t + 1], &c = m[t + 2];
        const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        const float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        const float cx = a.x + b.x + c.x, cy = a.y + b.y + c.y, cz = a.z + b.z + c.z;
        ASSERT_GT(nx * cx + ny * cy + nz * cz, 0.0f) << "triangle " << t / 3;
    }
}

TEST(Mesh, CubeAndSubdivision)
{
    Mesh cube = BuildCube(5.0f);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(cube[0].x, -5); EXPECT_EQ(cube[0].y, 5); EXPECT_EQ(cube[0].z, 5);
    EXPECT_EQ(cube[0].u, 0);  EXPECT_EQ(cube[0].v, 1);
    EXPECT_EQ(cube[2].x, 5);  EXPECT_EQ(cube[2].y, 5); EXPECT_EQ(cube[2].z, -5);
    EXPECT_EQ(cube[2].u, 1);  EXPECT_EQ(cube[2].v, 0);
    for (int32_t i = 0; i < CubeVertexCount; ++i) {  // each face maps once onto 0..1
        EXPECT_TRUE(cube[i].u == 0 || cube[i].u == 1) << i;
        EXPECT_TRUE(cube[i].v == 0 || cube[i].v == 1) << i;
    }
    ExpectOutwardWinding(cube, CubeVertexCount);

    int32_t count = 0;
    Mesh fine = SubdivideMesh(cube, CubeVertexCount, &count);
    ASSERT_EQ(count, 144);
    EXPECT_EQ(cube[0].x, -5);  // the input is untouched
    const float first[3][5] = {
        {-5, 5, 5, 0.0f, 1.0f},  // C0
        {0, 5, 5, 0.5f, 1.0f},   // mid(C0, C1)
        {0, 5, 0, 0.5f, 0.5f},   // mid(C2, C0)
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fine[i].x, first[i][0]) << i;
        EXPECT_EQ(fine[i].y, first[i][1]) << i;
        EXPECT_EQ(fine[i].z, first[i][2]) << i;
        EXPECT_EQ(fine[i].u, first[i][3]) << i;
        EXPECT_EQ(fine[i].v, first[i][4]) << i;
    }
    ExpectOutwardWinding(fine, count);
    FreeMesh(fine);
    FreeMesh(cube);
}

TEST(Mesh, SpheresLieOnTheirRadius)
{
    int32_t count = 0;
    Mesh bare = BuildSphere(0, &count, 2.5f);
    ASSERT_EQ(count, 36);
    for (int32_t i = 0; i < count; ++i)
        EXPECT_NEAR(Length(bare[i].x, bare[i].y, bare[i].z), 2.5f, 1e-6f) << i;
    FreeMesh(bare);

    Mesh uncle = BuildSphere(3, &count, 1.0f);
    ASSERT_EQ(count, UncleVertexCount);
    for (int32_t i = 0; i < count; ++i) {
        const MeshVertex& v = uncle[i];
        ASSERT_NEAR(Length(v.x, v.y, v.z), 1.0f, 1e-6f) << i;
        ASSERT_NEAR(v.nx, v.x, 1e-6f) << i;
        ASSERT_NEAR(v.ny, v.y, 1e-6f) << i;
        ASSERT_NEAR(v.nz, v.z, 1e-6f) << i;
        ASSERT_EQ(v.u, v.nx) << i;
        ASSERT_EQ(v.v, v.ny) << i;
    }
    const float c = 0.57735027f;  // vertex 0 stays the corner C0
    EXPECT_NEAR(uncle[0].x, -c, 1e-6f);
    EXPECT_NEAR(uncle[0].y, c, 1e-6f);
    EXPECT_NEAR(uncle[0].z, c, 1e-6f);
    EXPECT_NEAR(uncle[0].u, -c, 1e-6f);
    EXPECT_NEAR(uncle[0].v, c, 1e-6f);
    ExpectOutwardWinding(uncle, count);
    FreeMesh(uncle);
}

TEST(Mesh, SpherifyPointsNormalsInward)
{
    MeshVertex v[3] = {{3, 0, 4, 0, 0, 0, 0.25f, 0.75f}, {0, -2, 0, 0, 0, 0, 0, 0},
                       {1, 1, 1, 0, 0, 0, 0, 0}};
    Spherify(v, v, 3, 10.0f, 1.0f);
    EXPECT_NEAR(v[0].x, 6, 1e-5f);
    EXPECT_NEAR(v[0].z, 8, 1e-5f);
    EXPECT_NEAR(v[0].nx, -0.6f, 1e-6f);
    EXPECT_NEAR(v[0].nz, -0.8f, 1e-6f);
    EXPECT_EQ(v[0].u, 0.25f);
    EXPECT_EQ(v[0].v, 0.75f);
    EXPECT_NEAR(v[1].y, -10, 1e-5f);
    EXPECT_NEAR(v[1].ny, 1, 1e-6f);
}

TEST(Mesh, TargetSmoothNormals)
{
    int32_t count = 0;
    Mesh target = BuildTargetMesh(&count);
    ASSERT_EQ(count, TargetVertexCount);
    ExpectOutwardWinding(target, count);

    int faces = 0, edges = 0, corners = 0;
    for (int32_t i = 0; i < count; ++i) {
        const MeshVertex& v = target[i];
        const int onBorder = (std::fabs(v.x) == 5) + (std::fabs(v.y) == 5) + (std::fabs(v.z) == 5);
        const float n = Length(v.nx, v.ny, v.nz);
        // The normal leans outward, towards the vertex's own direction.
        ASSERT_GT(v.nx * v.x + v.ny * v.y + v.nz * v.z, 0.0f) << i;
        if (onBorder == 1) {
            ++faces;
            ASSERT_NEAR(n, 1.0f, 1e-6f) << i;
        } else if (onBorder == 2) {
            ++edges;
            ASSERT_NEAR(n, 0.70710678f, 1e-6f) << i;
        } else {
            ++corners;
            ASSERT_EQ(onBorder, 3) << i;
            ASSERT_GE(n, 0.577f) << i;
            ASSERT_LE(n, 0.613f) << i;
        }
    }
    EXPECT_GT(faces, 0);
    EXPECT_GT(edges, 0);
    EXPECT_EQ(corners, 12 * 3);  // every cube triangle keeps its three corners
    FreeMesh(target);
}

TEST(Mesh, DegenerateTriangleGetsZeroFaceNormal)
{
    MeshVertex v[6] = {
        {0, 0, 0, 9, 9, 9, 0, 0}, {1, 1, 1, 9, 9, 9, 0, 0}, {2, 2, 2, 9, 9, 9, 0, 0},  // a line
        {5, 0, 0, 9, 9, 9, 0, 0}, {5, 1, 0, 9, 9, 9, 0, 0}, {5, 0, 1, 9, 9, 9, 0, 0},
    };
    SmoothNormals(v, 6);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(v[i].nx, 0.0f);
        EXPECT_EQ(v[i].ny, 0.0f);
        EXPECT_EQ(v[i].nz, 0.0f);
    }
    EXPECT_NEAR(v[3].nx, 1.0f, 1e-6f);   // (V0 - V1) x (V0 - V2) of the second triangle
    EXPECT_EQ(v[3].ny, 0.0f);
}

}  // namespace
