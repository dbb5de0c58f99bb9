#pragma once
// The start-up sequence's screens and the shutdown, shared with the tests.
#include <cstdint>

#include "render/display.h"

struct IntroLine {
    const char* text;
    int32_t x, y;
    COLORREF colour;
};

extern const IntroLine TitleLines[6];
extern const IntroLine BriefingLines[9];

// Window messages between the steps of start-up, so the window stays responsive;
// false once the player asked to quit.
bool PumpMessages();
// One intro screen: frames of the tumbling uncle and the lines, while the clock is
// below start + limit and no click was seen (both tested before every frame); false
// when the player asked to quit.
bool RunIntroScreen(float start, double limit, const IntroLine* lines, int32_t lineCount);
