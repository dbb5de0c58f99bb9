// The reduction of angles for the browser build's sin and cos. The C library there reduces
// an angle of 2^20 and more by a table of 2/pi long enough for a 113-bit long double (2.7 KB,
// and as much code again) although only doubles and floats come to it; this one holds the
// 1,216 bits a double needs, and multiplies in 32-bit limbs.
//
// The contract is the library's: x[0..nx) are 24-bit pieces of a positive angle whose
// first piece is scaled by 2^e0; y gets the remainder after the nearest multiple of pi/2
// (one double for prec 0, a head and a tail otherwise), and the result is that
// multiple's last three bits.
#include <cstdint>
#include <cstring>

#include "web/angle_reduction.h"

namespace {

// 2/pi = 0.A2F9836E... in hex: bit k (from 1) of the fraction has weight 2^-k.
const uint32_t TwoOverPi[38] = {
    0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599, 0x3C439041, 0xFE5163AB, 0xDEBBC561,
    0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C, 0xFE1DEB1C, 0xB129A73E, 0xE88235F5, 0x2EBB4484,
    0xE99C7026, 0xB45F7E41, 0x3991D639, 0x835339F4, 0x9C845F8B, 0xBDF9283B, 0x1FF897FF, 0xDE05980F,
    0xEF2F118B, 0x5A0A6D1F, 0x6D367ECF, 0x27CB09B7, 0x4F463F66, 0x9E5FEA2D, 0x7527BAC7, 0xEBE5F17B,
    0x3D0739F7, 0x8A5292EA, 0x6BFB5FB1, 0x1F8D5D08, 0x56033046, 0xFC7B6BAB};

// pi/2 * 2^126, lowest limb first.
const uint32_t HalfPi[4] = {0xC06E0E68, 0x62633145, 0x10B4611A, 0x6487ED51};

// 32 bits of 2/pi from bit k on; bits before the point are 0.
uint32_t TwoOverPiBits(int k)
{
    uint64_t pair = 0;
    for (int i = 0; i < 2; ++i) {
        const int word = ((k - 1) >> 5) + i;
        pair = pair << 32 | (word >= 0 && word < 38 ? TwoOverPi[word] : 0);
    }
    return uint32_t(pair >> (32 - ((k - 1) & 31)));
}

// out[0..na+nb) = a * b, limbs lowest first.
void Multiply(const uint32_t* a, int na, const uint32_t* b, int nb, uint32_t* out)
{
    memset(out, 0, sizeof(uint32_t) * size_t(na + nb));
    for (int i = 0; i < na; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j < nb; ++j) {
            carry += uint64_t(a[i]) * b[j] + out[i + j];
            out[i + j] = uint32_t(carry);
            carry >>= 32;
        }
        out[i + nb] = uint32_t(carry);
    }
}

// 32 bits of limbs[0..count) (lowest first) from bit `from` up; bits outside them are 0.
uint32_t BitsFrom(const uint32_t* limbs, int count, int from)
{
    uint64_t pair = 0;
    for (int j = 1; j >= 0; --j) {
        const int word = (from >> 5) + j;
        pair = pair << 32 | (word >= 0 && word < count ? limbs[word] : 0);
    }
    return uint32_t(pair >> (from & 31));
}

uint64_t Bits64From(const uint32_t* limbs, int count, int from)
{
    return uint64_t(BitsFrom(limbs, count, from + 32)) << 32 | BitsFrom(limbs, count, from);
}

double PowerOfTwo(int e)
{
    const uint64_t bits = uint64_t(e + 1023) << 52;
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

}  // namespace

int ReduceHugeAngle(const double* x, double* y, int e0, int nx, int prec)
{
    // The angle as m * 2^e with m an integer of at most 53 bits.
    double whole = 0;
    for (int i = 0; i < nx; ++i)
        whole = whole * 0x1p24 + x[i];
    uint64_t bits;
    memcpy(&bits, &whole, sizeof bits);
    const uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | uint64_t(1) << 52;
    const int e = e0 - 24 * (nx - 1) + int(bits >> 52) - 1023 - 52;

    // Bits of 2/pi worth 8 and more after multiplying by m * 2^e add whole turns: the window
    // starts at bit e - 2, so that the product's bits from 189 up are the multiple (mod 8).
    uint32_t window[6], product[8];
    for (int i = 0; i < 6; ++i)
        window[i] = TwoOverPiBits(e - 2 + 32 * (5 - i));
    const uint32_t factor[2] = {uint32_t(m), uint32_t(m >> 32)};
    Multiply(window, 6, factor, 2, product);
    int quadrant = int(product[5] >> 29);
    product[5] &= 0x1FFFFFFF;

    // The fraction (189 bits) rounded to the nearest multiple: at a half or more, one more
    // and the fraction's magnitude is 1 minus it.
    const bool negative = product[5] >> 28;
    if (negative) {
        ++quadrant;
        uint64_t borrow = 1;
        for (int i = 0; i < 6; ++i) {
            borrow += uint64_t(~product[i]);
            product[i] = uint32_t(borrow);
            borrow >>= 32;
        }
        product[5] &= 0x1FFFFFFF;
    }

    // Its top 128 bits, times pi/2: an angle no double comes closer than 2^-62 to a multiple
    // of pi/2, so more than 60 exact bits stay for the tail.
    int top = 188;
    while (top > 0 && !(product[top / 32] >> (top % 32) & 1))
        --top;
    uint32_t head[4];
    for (int i = 0; i < 4; ++i)
        head[i] = BitsFrom(product, 6, top - 127 + 32 * i);  // may start below bit 0
    uint32_t angle[8];
    Multiply(head, 4, HalfPi, 4, angle);

    // The remainder is angle * 2^(top - 442); angle's top 53 bits make the head, the next
    // 64 the tail.
    const int high = angle[7] >> 30 ? 254 : 253;
    const uint64_t hi = Bits64From(angle, 8, high - 52), lo = Bits64From(angle, 8, high - 116);
    const int scale = high - 52 + top - 442;
    double y0 = double(hi) * PowerOfTwo(scale);
    double y1 = double(lo) * PowerOfTwo(scale - 64);
    const double sum = y0 + y1;
    y1 -= sum - y0;
    y0 = sum;
    if (negative)
        y0 = -y0, y1 = -y1;
    if (prec == 0) {
        y[0] = y0 + y1;
    } else {
        y[0] = y0;
        y[1] = y1;
    }
    return quadrant & 7;
}

#ifdef __EMSCRIPTEN__
// Defined here, the library's own (with its table) is never linked: for floats beyond 2^28...
extern "C" int __rem_pio2_large(double* x, double* y, int e0, int nx, int prec)
{
    return ReduceHugeAngle(x, y, e0, nx, prec);
}

// ... and for every double beyond pi/4 that sin and cos reduce: the library's own way has a
// case for each of the first few multiples and two more steps for larger ones, 2.3 KB of code,
// where this one way gives the same results (4 million angles of every size compared).
extern "C" int __rem_pio2(double x, double* y)
{
    uint64_t bits;
    memcpy(&bits, &x, sizeof bits);
    const uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | uint64_t(1) << 52;
    const double pieces[3] = {double(m >> 29), double(m >> 5 & 0xFFFFFF), double((m & 31) << 19)};
    const int n = ReduceHugeAngle(pieces, y, int(bits >> 52 & 0x7FF) - 1023 - 23, 3, 1);
    if (bits >> 63) {
        y[0] = -y[0], y[1] = -y[1];
        return -n;
    }
    return n;
}
#endif
