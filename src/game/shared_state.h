#pragma once
// The state the input side (a window procedure, the page's events) shares with the game
// thread, and the input's rules that change it.
#include <atomic>
#include <cstdint>

// Shared without locks: each is written whole, and Score, which both sides change, only by
// atomic read-modify-write so that no change of either thread is lost.
extern std::atomic<uint8_t> QuitFlag;        // set on Escape or window destruction
extern std::atomic<uint8_t> GameThreadDone;  // the game thread's last act
extern std::atomic<int32_t> FireFlag;        // 1 while the left button is held
extern std::atomic<int32_t> MouseX;          // client pixels
extern std::atomic<int32_t> MouseY;
extern std::atomic<int32_t> Score;

// --- Input, as every edge delivers it ---
void MoveMouse(int32_t x, int32_t y);
// A press of the fire button at (x, y): it aims there, costs 100 at once and fires
// until the release.
void PressFire(int32_t x, int32_t y);
void ReleaseFire();
// Escape, or the window (the page) going away.
void RequestQuit();
