#include "render/random.h"

static thread_local uint32_t RandomState = 1;

void RandomSeed(uint32_t seed)
{
    RandomState = seed;
}

int32_t RandomNext()
{
    RandomState = RandomState * 214013u + 2531011u;
    return int32_t((RandomState >> 16) & 0x7FFF);
}

float RandomUnit()
{
    return float(RandomNext()) * 3.0518509e-05f;
}
