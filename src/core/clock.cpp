#include "core/clock.h"

uint64_t WidenMilliseconds(WidenedClock& clock, uint32_t reading)
{
    if (!clock.started.exchange(true)) {
        uint64_t zero = 0;
        clock.milliseconds.compare_exchange_strong(zero, reading);
    }
    uint64_t old = clock.milliseconds.load();
    for (;;) {
        const uint32_t delta = reading - uint32_t(old);  // modulo 2^32: survives the wrap
        if (delta >= 0x80000000u)
            return old;  // older than what another thread already saw
        if (clock.milliseconds.compare_exchange_weak(old, old + delta))
            return old + delta;
    }
}

static uint32_t NoClock() { return 0; }
uint32_t (*ClockMilliseconds)() = NoClock;

static WidenedClock GameClock;

void RestartClock()
{
    GameClock.started = false;
    GameClock.milliseconds = 0;
}

double ReadClock()
{
    return double(WidenMilliseconds(GameClock, ClockMilliseconds())) * 0.0005;
}
