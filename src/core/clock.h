#pragma once
#include <atomic>
#include <cstdint>

// The one clock: milliseconds since the system started, times 0.0005 (one unit is
// two seconds). The 32-bit millisecond counter is widened so that its wrap after
// 49.7 days does not send the clock back.
double ReadClock();
// The newest 32-bit millisecond reading seen, widened to 64 bits; the first reading
// is where it starts. The game's clock keeps one; a test may keep its own.
struct WidenedClock {
    std::atomic<uint64_t> milliseconds{0};
    std::atomic<bool> started{false};
};
// The widening itself, for any source of 32-bit millisecond readings; a reading
// older than the newest seen (from another thread) does not move the clock back.
uint64_t WidenMilliseconds(WidenedClock& clock, uint32_t reading);
// Forgets the game clock's readings so far: the next reading starts it afresh, as the
// first one did (for a new source of readings, which may lie behind the old one).
void RestartClock();
// Where ReadClock takes its readings from (timeGetTime in the game; tests replace it).
extern uint32_t (*ClockMilliseconds)();
