#include "game/uncle.h"

#include <cmath>

#include "core/random.h"

// --- The rays ---

Vec3 RayQuads[RayGroupCount * 4];
Vec3 LightPoint;

static const float TwoPi = 6.2831855f;

void BuildRayQuads()
{
    Vec3 base[4];
    const double length = std::sqrt(1.0009);
    for (int32_t k = 0; k < 4; ++k) {  // around +z: +x, +y, -x, -y
        const double angle = double(float(k * 0.25f * TwoPi));
        base[k] = {float(0.03 * std::cos(angle) / length), float(0.03 * std::sin(angle) / length),
                   float(1.0 / length)};
    }
    for (int32_t g = 0; g < RayGroupCount; ++g) {
        const float r1 = RandomUnit();
        const float r2 = RandomUnit();
        const float r3 = RandomUnit();
        Matrix4 r;
        MatrixRotation(r, TwoPi * r3, TwoPi * r2, TwoPi * r1);
        for (int32_t k = 0; k < 4; ++k) {
            const Vec3& d = base[k];
            RayQuads[4 * g + k] = {
                float(double(d.x) * r(0, 0) + double(d.y) * r(1, 0) + double(d.z) * r(2, 0)),
                float(double(d.x) * r(0, 1) + double(d.y) * r(1, 1) + double(d.z) * r(2, 1)),
                float(double(d.x) * r(0, 2) + double(d.y) * r(1, 2) + double(d.z) * r(2, 2))};
        }
    }
    LightPoint = {0.0f, 0.0f, 0.0f};
}

Vec3 UncleLightPoint(double phi)
{
    return {float(0.3f * std::sin(4.0 * phi)), float(0.3f * std::sin(1.6f * phi)),
            float(0.3f * std::cos(2.8f * phi))};
}

void UncleWorldMatrix(Matrix4& m, double phi, float px, float py, float pz)
{
    MatrixIdentity(m);
    MatrixRotation(m, float(phi), float(0.7f * phi), float(0.3f * phi));
    m(3, 0) = px;
    m(3, 1) = py;
    m(3, 2) = pz;
    MatrixScaleAxes(m, 3.5f, 3.5f, 3.5f);
}

// (p - light) / |p - light|, or `previous` for a zero length.
static Vec3 Direction(const Vec3& p, const Vec3& light, const Vec3& previous)
{
    const double x = double(p.x) - light.x, y = double(p.y) - light.y, z = double(p.z) - light.z;
    const double length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0)
        return previous;
    return {float(x / length), float(y / length), float(z / length)};
}

void BuildRayGroup(const Vec3* corners, const Vec3& light, RayVertex out[RayVerticesPerGroup])
{
    Vec3 na = {0, 0, 1}, nb = {0, 0, 1};
    for (int32_t k = 0; k < 4; ++k) {
        const Vec3& a = corners[k];
        const Vec3& b = corners[(k + 1) % 4];
        na = Direction(a, light, na);
        nb = Direction(b, light, nb);
        const RayVertex v0 = {a.x, a.y, a.z, 0, 0xEEEEEEEEu, 0, 0, 0};
        const RayVertex v1 = {b.x, b.y, b.z, 0, 0xEEEEEEEEu, 0, 0, 0};
        const RayVertex v2 = {10.0f * nb.x, 10.0f * nb.y, 10.0f * nb.z, 0, 0, 0, 0, 0};
        const RayVertex v3 = {10.0f * na.x, 10.0f * na.y, 10.0f * na.z, 0, 0, 0, 0, 0};
        RayVertex* t = out + 6 * k;
        t[0] = v0; t[1] = v1; t[2] = v2;
        t[3] = v2; t[4] = v3; t[5] = v0;
    }
}

// --- The pose of a frame ---

void PoseUncle(UnclePose& pose, double phi, float px, float py, float pz)
{
    Matrix4 identity;
    MatrixIdentity(identity);
    MatrixRigidInverse(pose.view, identity);
    UncleWorldMatrix(pose.world, phi, px, py, pz);
    LightPoint = UncleLightPoint(phi);
    for (int32_t g = 0; g < RayGroupCount; ++g)
        BuildRayGroup(&RayQuads[4 * g], LightPoint, pose.rays[g]);
}
