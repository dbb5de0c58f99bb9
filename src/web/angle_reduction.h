// The browser build's reduction of huge angles for sin and cos (see angle_reduction.cpp).
#pragma once

// x[0..nx): 24-bit pieces of a positive angle, x[0] scaled by 2^e0. Writes the remainder
// after the nearest multiple of pi/2 to y (y[0] for prec 0, y[0] + y[1] otherwise) and
// returns that multiple mod 8.
int ReduceHugeAngle(const double* x, double* y, int e0, int nx, int prec);
