#pragma once
#include <cstdint>

// The C library's linear congruential generator, reproduced exactly so that every
// build draws the same textures, rays and crumbling. The state is per thread and
// starts at 1 in a thread that never seeded.

void RandomSeed(uint32_t seed);
// state = state * 214013 + 2531011 (mod 2^32); returns bits 16..30 of the new state.
int32_t RandomNext();
// RandomNext() * (float nearest 1/32767): a value in [0, 1].
float RandomUnit();
