#pragma once
// The start-up sequence and its screens, shared by both edges and the tests.
#include <cstdint>

#include "platform/platform.h"
struct XmModule;

struct IntroLine {
    const char* text;
    int32_t x, y;
    uint32_t colour;  // 0xBBGGRR
};

extern const IntroLine TitleLines[6];
extern const IntroLine BriefingLines[9];

extern XmModule* Song;  // loaded by LoadAndIntroduce
// One intro screen: frames of the tumbling uncle and the lines, while the clock is
// below start + limit and no click was seen (both tested before every frame); false
// when the player asked to quit.
bool RunIntroScreen(float start, double limit, const IntroLine* lines, int32_t lineCount);
// From the display to the game: "Loading", the texture, the meshes, the music opened and
// loaded, the title and the briefing, then the song started. False when the player quit
// on the way (the song may then be loaded, and is not playing).
bool LoadAndIntroduce();
