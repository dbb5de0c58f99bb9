#include "content/mesh.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

Mesh AllocateMesh(int32_t count)
{
    return static_cast<Mesh>(std::malloc(size_t(count) * sizeof(MeshVertex)));
}

void FreeMesh(Mesh mesh)
{
    std::free(mesh);
}

// --- Cube ---

Mesh BuildCube(float h)
{
    const float corner[8][3] = {
        {-h, h, h}, {h, h, h}, {h, h, -h}, {-h, h, -h},
        {-h, -h, h}, {h, -h, h}, {h, -h, -h}, {-h, -h, -h},
    };
    // Six faces, two triangles each, and the axes (0 x, 1 y, 2 z) that give u and v.
    static const uint8_t faceCorners[6][6] = {
        {0, 1, 2, 0, 2, 3},  // top, y = +h
        {7, 6, 4, 6, 5, 4},  // bottom, y = -h
        {1, 0, 5, 4, 5, 0},  // front, z = +h
        {3, 2, 6, 3, 6, 7},  // back, z = -h
        {0, 3, 7, 0, 7, 4},  // left, x = -h
        {2, 1, 5, 2, 5, 6},  // right, x = +h
    };
    static const uint8_t faceAxes[6][2] = {{0, 2}, {0, 2}, {0, 1}, {0, 1}, {2, 1}, {2, 1}};

    Mesh mesh = AllocateMesh(CubeVertexCount);
    if (!mesh)
        return nullptr;
    const float k = 1.0f / (h + h);
    for (int32_t face = 0; face < 6; ++face) {
        for (int32_t i = 0; i < 6; ++i) {
            const float* c = corner[faceCorners[face][i]];
            MeshVertex& v = mesh[face * 6 + i];
            v.x = c[0];
            v.y = c[1];
            v.z = c[2];
            v.nx = v.ny = v.nz = 0.0f;
            v.u = c[faceAxes[face][0]] * k + 0.5f;
            v.v = c[faceAxes[face][1]] * k + 0.5f;
        }
    }
    return mesh;
}

// --- Subdivision ---

// All eight floats of p + (q - p) * 0.5.
static MeshVertex Midpoint(const MeshVertex& p, const MeshVertex& q)
{
    const float* a = &p.x;
    const float* b = &q.x;
    MeshVertex m;
    float* out = &m.x;
    for (int32_t i = 0; i < 8; ++i)
        out[i] = a[i] + (b[i] - a[i]) * 0.5f;
    return m;
}

Mesh SubdivideMesh(const MeshVertex* mesh, int32_t count, int32_t* newCount)
{
    Mesh out = AllocateMesh(4 * count);
    if (!out)
        return nullptr;
    *newCount = 4 * count;
    MeshVertex* o = out;
    for (int32_t t = 0; t + 2 < count; t += 3) {
        const MeshVertex& v0 = mesh[t];
        const MeshVertex& v1 = mesh[t + 1];
        const MeshVertex& v2 = mesh[t + 2];
        const MeshVertex m0 = Midpoint(v0, v1);
        const MeshVertex m1 = Midpoint(v1, v2);
        const MeshVertex m2 = Midpoint(v2, v0);
        *o++ = v0; *o++ = m0; *o++ = m2;
        *o++ = m2; *o++ = m1; *o++ = v2;
        *o++ = m2; *o++ = m0; *o++ = m1;
        *o++ = m0; *o++ = v1; *o++ = m1;
    }
    return out;
}

// BuildCube(halfSize) subdivided `levels` times: 36 * 4^levels vertices in *count.
static Mesh SubdividedCube(float halfSize, int32_t levels, int32_t* count)
{
    int32_t n = CubeVertexCount;
    Mesh mesh = BuildCube(halfSize);
    for (int32_t level = 0; mesh && level < levels; ++level) {
        Mesh finer = SubdivideMesh(mesh, n, &n);
        FreeMesh(mesh);
        mesh = finer;
    }
    *count = n;
    return mesh;
}

// --- Sphere ---

static float Length(float x, float y, float z)
{
    return std::sqrt(x * x + y * y + z * z);
}

void Spherify(MeshVertex* dst, const MeshVertex* src, int32_t count, float radius, float blend)
{
    for (int32_t i = 0; i < count; ++i) {
        const MeshVertex& s = src[i];
        MeshVertex& d = dst[i];
        const float length = Length(s.x, s.y, s.z);
        const float g = blend * (radius * blend) / length + (1.0f - blend);
        const float x = g * s.x, y = g * s.y, z = g * s.z;
        const float q = Length(x, y, z);
        d.x = x;
        d.y = y;
        d.z = z;
        d.nx = -x / q;
        d.ny = -y / q;
        d.nz = -z / q;
        d.u = s.u;
        d.v = s.v;
    }
}

Mesh BuildSphere(uint8_t levels, int32_t* count, float radius)
{
    int32_t n = 0;
    Mesh mesh = SubdividedCube(1.0f, levels, &n);
    if (!mesh)
        return nullptr;
    Spherify(mesh, mesh, n, radius, 1.0f);
    for (int32_t i = 0; i < n; ++i) {
        MeshVertex& v = mesh[i];
        const float length = Length(v.x, v.y, v.z);
        v.nx = v.x / length;
        v.ny = v.y / length;
        v.nz = v.z / length;
        v.u = v.nx;
        v.v = v.ny;
    }
    *count = n;
    return mesh;
}

// --- Smooth normals ---

void SmoothNormals(MeshVertex* mesh, int32_t count)
{
    const int32_t triangles = count / 3;
    float* face = static_cast<float*>(std::malloc(size_t(triangles) * 3 * sizeof(float)));
    if (!face)
        return;

    // N = (V0 - V1) x (V0 - V2), unit length; a degenerate triangle gives (0, 0, 0).
    for (int32_t t = 0; t < triangles; ++t) {
        const MeshVertex& a = mesh[3 * t];
        const MeshVertex& b = mesh[3 * t + 1];
        const MeshVertex& c = mesh[3 * t + 2];
        const float nx = (a.y - b.y) * (a.z - c.z) - (a.y - c.y) * (a.z - b.z);
        const float ny = (a.x - c.x) * (a.z - b.z) - (a.x - b.x) * (a.z - c.z);
        const float nz = (a.x - b.x) * (a.y - c.y) - (a.x - c.x) * (a.y - b.y);
        float length = Length(nx, ny, nz);
        if (length == 0.0f)
            length = 0.001f;
        face[3 * t] = nx / length;
        face[3 * t + 1] = ny / length;
        face[3 * t + 2] = nz / length;
    }

    // Every vertex against every vertex: runs once at start-up on 576 vertices.
    const int32_t used = triangles * 3;
    for (int32_t i = 0; i < count; ++i) {
        MeshVertex& v = mesh[i];
        float sx = 0.0f, sy = 0.0f, sz = 0.0f;
        int32_t matches = 0;
        for (int32_t j = 0; j < used; ++j) {
            const MeshVertex& w = mesh[j];
            if (std::fabs(w.x - v.x) < 1e-6f && std::fabs(w.y - v.y) < 1e-6f &&
                std::fabs(w.z - v.z) < 1e-6f) {
                const float* n = &face[3 * (j / 3)];
                sx += n[0];
                sy += n[1];
                sz += n[2];
                ++matches;
            }
        }
        if (matches > 0) {
            v.nx = sx / float(matches);
            v.ny = sy / float(matches);
            v.nz = sz / float(matches);
        }
    }
    std::free(face);
}

// --- Target ---

Mesh BuildTargetMesh(int32_t* count)
{
    int32_t n = 0;
    Mesh mesh = SubdividedCube(5.0f, 2, &n);
    if (!mesh)
        return nullptr;
    SmoothNormals(mesh, n);
    *count = n;
    return mesh;
}
