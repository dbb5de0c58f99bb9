#include "core/matrix.h"

#include <cmath>
#include <cstring>

// Sums and products are formed in double and rounded to float once, when stored.

void MatrixIdentity(Matrix4& m)
{
    for (int i = 0; i < 16; ++i)
        m.m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void MatrixMultiply(Matrix4& r, const Matrix4& a, const Matrix4& b)
{
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += double(a(i, k)) * double(b(k, j));
            r(i, j) = float(sum);
        }
    }
}

void MatrixRotation(Matrix4& m, float ax, float ay, float az)
{
    const float sx = float(std::sin(double(ax))), cx = float(std::cos(double(ax)));
    const float sy = float(std::sin(double(ay))), cy = float(std::cos(double(ay)));
    const float sz = float(std::sin(double(az))), cz = float(std::cos(double(az)));

    Matrix4 rx, ry, rz, t;
    MatrixIdentity(rx);
    rx(1, 1) = cx; rx(1, 2) = sx; rx(2, 1) = -sx; rx(2, 2) = cx;
    MatrixIdentity(ry);
    ry(0, 0) = cy; ry(0, 2) = -sy; ry(2, 0) = sy; ry(2, 2) = cy;
    MatrixIdentity(rz);
    rz(0, 0) = cz; rz(0, 1) = sz; rz(1, 0) = -sz; rz(1, 1) = cz;

    MatrixMultiply(t, ry, rx);
    MatrixMultiply(m, rz, t);
}

void MatrixRigidInverse(Matrix4& r, const Matrix4& m)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r(i, j) = m(j, i);

    const double tx = m(3, 0), ty = m(3, 1), tz = m(3, 2);
    for (int i = 0; i < 3; ++i)
        r(3, i) = float(-(tx * m(i, 0) + ty * m(i, 1) + tz * m(i, 2)));

    r(0, 3) = r(1, 3) = r(2, 3) = 0.0f;
    r(3, 3) = 1.0f;
}

void MatrixScaleAxes(Matrix4& m, float sx, float sy, float sz)
{
    const float scale[3] = {sx, sy, sz};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m(r, c) = float(double(m(r, c)) * scale[r]);
}

void ProjectionMatrix(Matrix4& m, uint32_t width, uint32_t height)
{
    std::memset(m.m, 0, sizeof m.m);
    m(0, 0) = 2.0f;
    m(1, 1) = float(2.0 * double(width) / double(height));
    m(2, 2) = 1.0f;
    m(2, 3) = 1.0f;
    m(3, 2) = -1.0f;
}
