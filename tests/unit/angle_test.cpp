// The browser build's reduction of huge angles for sin and cos, against published values
// and this machine's C library (the Windows one's sin is no reference for huge angles).
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "web/angle_reduction.h"

// Splits a double into the library's 24-bit pieces and reduces it.
static int ReduceDouble(double x, double* y)
{
    int exponent;
    double z = std::frexp(x, &exponent) * 0x1p24, pieces[3];
    int n = 0;
    for (; n < 3 && z != 0; ++n) {
        pieces[n] = std::floor(z);
        z = (z - pieces[n]) * 0x1p24;
    }
    return ReduceHugeAngle(pieces, y, exponent - 24, n, 1);
}

// sin of the angle whose remainder after n quarter turns is y0 + y1.
static double SinFromQuadrant(int n, double y0, double y1)
{
    const double s = std::sin(y0) + y1 * std::cos(y0), c = std::cos(y0) - y1 * std::sin(y0);
    return (n & 2 ? -1 : 1) * (n & 1 ? c : s);
}

TEST(AngleReduction, PublishedCasesAndTheCLibrary)
{
    double y[2];
    // sin(1e22), the classic test of a reduction.
    int n = ReduceDouble(1e22, y);
    EXPECT_DOUBLE_EQ(SinFromQuadrant(n, y[0], y[1]), -0.8522008497671888);
    // The double nearest a multiple of pi/2: 6381956970095103 * 2^797, 4.687e-19 from it.
    n = ReduceDouble(std::ldexp(6381956970095103.0, 797), y);
    EXPECT_EQ(n & 3, 1);
    EXPECT_DOUBLE_EQ(y[0], 4.6871659242546277e-19);
    // A float's one piece: 2^100 = 0x800000 * 2^77.
    const double piece = 0x800000;
    n = ReduceHugeAngle(&piece, y, 77, 1, 0);
    EXPECT_NEAR(SinFromQuadrant(n, y[0], 0), std::sin(0x1p100), 1e-16);

    // Against the C library's own reduction over every exponent from 1/2 (the browser's sin
    // and cos reduce from pi/4 up) to the largest.
    std::mt19937_64 random(20);
    for (int i = 0; i < 100000; ++i) {
        const double x = std::ldexp(1 + double(random() >> 12) * 0x1p-52, -1 + int(random() % 1025));
        n = ReduceDouble(x, y);
        ASSERT_LE(std::fabs(y[0]), 0.7854) << x;
        ASSERT_LE(std::fabs(y[1]), std::ldexp(std::fabs(y[0]), -52)) << x;
        ASSERT_NEAR(SinFromQuadrant(n, y[0], y[1]), std::sin(x), 2.3e-16) << x;
    }
}
