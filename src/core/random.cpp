#include "core/random.h"

#include "core/thread_value.h"

// Kept as state ^ 1, so that a thread's untouched value 0 is the start state 1.
void RandomSeed(uint32_t seed)
{
    StoreThreadValue(RandomStateValue, seed ^ 1u);
}

int32_t RandomNext()
{
    uint32_t state = LoadThreadValue(RandomStateValue) ^ 1u;
    const int32_t value = RandomStep(state);
    StoreThreadValue(RandomStateValue, state ^ 1u);
    return value;
}

float RandomUnit()
{
    return float(RandomNext()) * 3.0518509e-05f;
}
