#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "render/matrix.h"
#include "render/random.h"

namespace {

const float Pi = 3.14159265358979f;

// Row vector times matrix, including the translation row.
Vec3 Transform(const Vec3& v, const Matrix4& m)
{
    return {v.x * m(0, 0) + v.y * m(1, 0) + v.z * m(2, 0) + m(3, 0),
            v.x * m(0, 1) + v.y * m(1, 1) + v.z * m(2, 1) + m(3, 1),
            v.x * m(0, 2) + v.y * m(1, 2) + v.z * m(2, 2) + m(3, 2)};
}

void ExpectVec(const Vec3& v, float x, float y, float z)
{
    EXPECT_NEAR(v.x, x, 1e-6f);
    EXPECT_NEAR(v.y, y, 1e-6f);
    EXPECT_NEAR(v.z, z, 1e-6f);
}

TEST(Matrix, RotationAxesAndOrder)
{
    Matrix4 m;
    for (float& f : m.m) f = 7.0f;  // everything, the translation row included, is overwritten
    MatrixRotation(m, 0, 0, 0);
    Matrix4 id;
    MatrixIdentity(id);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m.m[i], id.m[i]) << i;

    MatrixRotation(m, Pi / 2, 0, 0);
    ExpectVec(Transform({0, 1, 0}, m), 0, 0, 1);
    ExpectVec(Transform({0, 0, 1}, m), 0, -1, 0);

    // About z first, then y: (1,0,0) -> (0,1,0) under z, and y leaves that alone.
    // The opposite order would give (0,0,-1).
    MatrixRotation(m, 0, Pi / 2, Pi / 2);
    ExpectVec(Transform({1, 0, 0}, m), 0, 1, 0);
}

TEST(Matrix, RigidInverseUndoesThePlacement)
{
    Matrix4 camera, view;
    MatrixIdentity(camera);
    camera(3, 2) = -100.0f;
    MatrixRigidInverse(view, camera);
    ExpectVec(Transform({0, 0, 0}, view), 0, 0, 100);
    EXPECT_EQ(view(0, 0), 1.0f);
    EXPECT_EQ(view(3, 3), 1.0f);

    // A rotated and moved placement times its inverse is the identity.
    Matrix4 placed, inverse, product;
    MatrixRotation(placed, 0.3f, -1.1f, 2.0f);
    placed(3, 0) = 4; placed(3, 1) = -7; placed(3, 2) = 12;
    MatrixRigidInverse(inverse, placed);
    MatrixMultiply(product, placed, inverse);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(product(r, c), r == c ? 1.0f : 0.0f, 1e-5f) << r << "," << c;
}

TEST(Matrix, MultiplyAppliesLeftThenRight)
{
    Matrix4 turn, move, both;
    MatrixRotation(turn, 0, 0, Pi / 2);  // x axis onto y
    MatrixIdentity(move);
    move(3, 0) = 10;
    MatrixMultiply(both, turn, move);
    ExpectVec(Transform({1, 0, 0}, both), 10, 1, 0);
    MatrixMultiply(both, move, turn);
    ExpectVec(Transform({1, 0, 0}, both), 0, 11, 0);
}

TEST(Matrix, ScaleAxesKeepsTranslation)
{
    Matrix4 m;
    MatrixRotation(m, 0, 0, Pi / 2);
    m(3, 0) = 1; m(3, 1) = 2; m(3, 2) = 3;
    MatrixScaleAxes(m, 2, 3, 4);
    EXPECT_EQ(m(3, 0), 1.0f);
    EXPECT_EQ(m(3, 1), 2.0f);
    EXPECT_EQ(m(3, 2), 3.0f);
    // Scaled along the object's own axes before the rotation.
    ExpectVec(Transform({1, 0, 0}, m), 1, 4, 3);
    ExpectVec(Transform({0, 1, 0}, m), -2, 2, 3);
    EXPECT_EQ(m(2, 2), 4.0f);
}

// Seed whose next output is 32767: solve state * 214013 + 2531011 = 0x7FFF0000 mod 2^32.
uint32_t SeedGivingMaximum()
{
    uint32_t inverse = 214013u;  // Newton's iteration for the inverse of an odd number
    for (int i = 0; i < 5; ++i)
        inverse *= 2u - 214013u * inverse;
    return (0x7FFF0000u - 2531011u) * inverse;
}

TEST(Random, SequenceRangeAndUnit)
{
    RandomSeed(1);
    EXPECT_EQ(RandomNext(), 41);
    EXPECT_EQ(RandomNext(), 18467);
    EXPECT_EQ(RandomNext(), 6334);

    RandomSeed(SeedGivingMaximum());
    EXPECT_EQ(RandomNext(), 32767);
    RandomSeed(SeedGivingMaximum());
    EXPECT_EQ(RandomUnit(), 1.0f);

    RandomSeed(0xDEADBEEF);
    for (int i = 0; i < 100000; ++i) {
        const float u = RandomUnit();
        ASSERT_GE(u, 0.0f);
        ASSERT_LE(u, 1.0f);
    }
}

TEST(Random, EachThreadHasItsOwnState)
{
    RandomSeed(77);
    const int32_t first = RandomNext();

    int32_t other[3] = {};
    std::thread worker([&] {
        for (int32_t& v : other) v = RandomNext();
    });
    worker.join();
    EXPECT_EQ(other[0], 41);  // a new thread starts from state 1
    EXPECT_EQ(other[1], 18467);
    EXPECT_EQ(other[2], 6334);

    const int32_t second = RandomNext();  // this thread's sequence went on undisturbed
    RandomSeed(77);
    EXPECT_EQ(RandomNext(), first);
    EXPECT_EQ(RandomNext(), second);
}

}  // namespace
