#pragma once
#include <cstdint>

// The C library's linear congruential generator, reproduced exactly so that every
// build draws the same textures, rays and crumbling. The state is per thread and
// starts at 1 in a thread that never seeded.

void RandomSeed(uint32_t seed);
// state = state * 214013 + 2531011 (mod 2^32); returns bits 16..30 of the new state.
int32_t RandomNext();
// The same step on a caller's copy of the state, for loops that draw many numbers: they
// hand the state back with RandomSeed, so the thread's sequence continues unchanged.
inline int32_t RandomStep(uint32_t& state)
{
    state = state * 214013u + 2531011u;
    return int32_t((state >> 16) & 0x7FFF);
}
// RandomNext() * (float nearest 1/32767): a value in [0, 1].
float RandomUnit();
