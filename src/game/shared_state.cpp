#include "game/shared_state.h"

std::atomic<uint8_t> QuitFlag{0};
std::atomic<uint8_t> GameThreadDone{0};
std::atomic<int32_t> FireFlag{0};
std::atomic<int32_t> MouseX{0};
std::atomic<int32_t> MouseY{0};
std::atomic<int32_t> Score{0};

void MoveMouse(int32_t x, int32_t y)
{
    MouseX = x;
    MouseY = y;
}

void PressFire(int32_t x, int32_t y)
{
    MouseY = y;
    MouseX = x;
    Score.fetch_sub(100);
    FireFlag = 1;
}

void ReleaseFire() { FireFlag = 0; }

void RequestQuit() { QuitFlag = 1; }
