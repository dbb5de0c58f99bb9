#include "core/thread_value.h"

static thread_local uint32_t Values[ThreadValueCount];

uint32_t LoadThreadValue(ThreadValueId id)
{
    return Values[id];
}

void StoreThreadValue(ThreadValueId id, uint32_t value)
{
    Values[id] = value;
}
