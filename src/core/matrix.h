#pragma once
// Small allocation-free helpers on 4x4 float matrices in the D3DMATRIX layout:
// row-major, element (r, c) at index 4r + c, row vectors multiplied on the left,
// row 3 the translation.
#include <cstdint>

struct Vec3 {
    float x, y, z;
};

struct Matrix4 {
    float m[16];
    float& operator()(int r, int c) { return m[4 * r + c]; }
    float operator()(int r, int c) const { return m[4 * r + c]; }
};

void MatrixIdentity(Matrix4& m);
// r = a * b; r must be neither a nor b.
void MatrixMultiply(Matrix4& r, const Matrix4& a, const Matrix4& b);
// m = Rz(az) * Ry(ay) * Rx(ax); the translation row becomes (0, 0, 0, 1).
void MatrixRotation(Matrix4& m, float ax, float ay, float az);
// Inverse of a rotation plus translation: transposed 3x3, translation -(t . row i).
void MatrixRigidInverse(Matrix4& r, const Matrix4& m);
// Scales rows 0, 1, 2 (columns 0..2) by sx, sy, sz; the translation row is untouched.
void MatrixScaleAxes(Matrix4& m, float sx, float sy, float sz);
// The fixed projection: _11 2, _22 2W/H, _33 1, _34 1, _43 -1, the rest 0.
void ProjectionMatrix(Matrix4& m, uint32_t width, uint32_t height);
