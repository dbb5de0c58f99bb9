#pragma once
// The game thread: every frame from the end of the intro on, the rules of play,
// the level interlude and the death screen.
#include <cstdint>

extern int32_t Level;
extern double runStart;  // the clock from which the drain counts
extern int32_t CreditsX;  // the credits scroller's position, pixels

// The game from its start until a frame sees QuitFlag; then GameThreadDone.
void RunGame();
// The thread's start: level 1, score 2000, the font, the drain and the scrollers.
void StartGame();
// One frame; false once the frame has seen QuitFlag.
bool GameFrame();
void LevelInterlude(double now, int32_t shownScore);
void DeathScreen(double now);

// The targets: camera, lights, the shot test, motion, explosions; then the scene is
// drawn. True only with a shot and every target hit.
bool UpdateTargets(int32_t x, int32_t y, double theta);
void ResetTargets();
