#include "game/rules.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "game/shared_state.h"

void CapAndChargeFiring(bool firing)
{
    int32_t score = Score.load();
    while (score > ScoreCap && !Score.compare_exchange_weak(score, ScoreCap))
        ;
    if (firing)
        Score.fetch_sub(FiringCost);
}

void AwardPoints(int32_t points)
{
    Score.fetch_add(points);
}

int32_t ShownScore(int32_t score, float elapsed)
{
    return int32_t(double(score) - 20.0 * double(elapsed));
}

bool UncleAimed(int32_t mouseX, int32_t mouseY, float s, uint32_t width, uint32_t height)
{
    const double w = width, h = height, d = 30.0 - s;
    const int32_t dx = int32_t(mouseX - (w * s / d + w / 2));
    const int32_t dy = int32_t(mouseY - ((10.0 - s * w) / d + h / 2));
    return std::abs(dx) < 40 && std::abs(dy) < 40;
}

TargetPose PlaceTarget(int32_t i, double theta, float radius, uint32_t width, uint32_t height)
{
    const double a = theta + i, b = theta - i;
    const float d = float(std::sin(theta));
    TargetPose pose;
    MatrixRotation(pose.world, float(b), float(a), float(a));
    const float x = float(20.0 * i - 200.0 * std::sin(a));
    const float y = float(d + 50.0 * std::sin(0.1 * i * (2.0 * i + theta)));
    const float z = float(20 * i);
    pose.world(3, 0) = x;
    pose.world(3, 1) = y;
    pose.world(3, 2) = z;
    const double w = width, h = height, depth = double(z) + CameraDistance;
    pose.screenRadius = int32_t(w * radius / depth);
    pose.screenX = int32_t(w * x / depth + w / 2);
    pose.screenY = int32_t(-(w * y) / depth + h / 2);
    return pose;
}

bool InsideBox(int32_t x, int32_t y, int32_t screenX, int32_t screenY, int32_t screenRadius)
{
    return std::abs(x - screenX) <= screenRadius && std::abs(y - screenY) <= screenRadius;
}

void ExplodeVertices(MeshVertex* dst, const MeshVertex* src, int32_t n, float cx, float cy,
                     float cz, float k)
{
    for (int32_t i = 0; i < n; ++i) {
        const MeshVertex& s = src[i];
        MeshVertex& o = dst[i];
        const double dx = double(s.x) - cx;
        const float dy = s.y - cy;
        const float dz = s.z - cz;
        const double length2 = dx * dx + double(dy) * dy + double(dz) * dz;
        o = s;
        if (length2 == 0.0)
            continue;  // at the centre: no direction to fly in
        const double inverse = 1.0 / std::sqrt(length2);
        const float q = float(inverse * inverse);
        o.x = float(s.x + double(k) * q * dx);
        o.y = float(s.y + double(k) * q * dy);
        o.z = float(s.z + double(k) * q * dz);
    }
}

int32_t SettleDebris(MeshVertex* vertices, const MeshVertex* exploded, int32_t count, int32_t r)
{
    if (r <= 90) {
        std::memcpy(vertices, exploded, size_t(count) * sizeof(MeshVertex));
        return count;
    }
    const double half = count / 2.0;
    for (int32_t j = 0; j < half; j += 2)
        vertices[j] = exploded[j];
    return int32_t(half);
}

int32_t StepCredits(int32_t x, uint32_t width)
{
    x -= 1;
    if (x < -(CreditsLength * ScrollerCharacterWidth))
        x = int32_t(width);
    return x;
}

int32_t StepVerse(int32_t x, float step, uint32_t width)
{
    x = int32_t(x - step);
    if (x < -(VerseLength * ScrollerCharacterWidth))
        x = int32_t(width);
    return x;
}
