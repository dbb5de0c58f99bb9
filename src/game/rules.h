#pragma once
// The game's rules that need no device: score, the uncle's aim box, where each target
// swings and how it projects, the explosion and crumbling, and the scrollers.
#include <cstdint>

#include "content/mesh.h"
#include "core/matrix.h"

constexpr int32_t TargetCount = 20;
constexpr float CameraDistance = 100.0f;
constexpr int32_t ScoreCap = 64500;
constexpr int32_t FiringCost = 200;       // every frame the button is held
constexpr int32_t HitReward = 2000;
constexpr int32_t LevelBonus = 2000;
constexpr int32_t StartScore = 2000;
constexpr int32_t RestartScore = 3000;
constexpr int32_t SurvivalScore = 200;
constexpr int32_t CreditsLength = 2015;
constexpr int32_t VerseLength = 223;
constexpr int32_t ScrollerCharacterWidth = 7;  // pixels a character, for the scroll widths

extern const char CreditsText[CreditsLength + 1];
extern const char VerseText[VerseLength + 1];

// The frame's score rules on the shared Score, each an atomic read-modify-write so
// that no press of the window side is lost: the cap (before the firing cost), then
// 200 for a frame with the button held.
void CapAndChargeFiring(bool firing);
void AwardPoints(int32_t points);

// trunc(score - 20 * elapsed): the score the player sees, drained 20 a clock unit.
int32_t ShownScore(int32_t score, float elapsed);

// The uncle counts as aimed at inside this box. It does not match where the uncle is
// drawn (depth 30 - s, and the 10 in the y formula): intended, it is the game's.
bool UncleAimed(int32_t mouseX, int32_t mouseY, float s, uint32_t width, uint32_t height);

struct TargetPose {
    Matrix4 world;
    int32_t screenX, screenY, screenRadius;
};
// Target i at motion angle theta (d = sin(theta)): turned by (theta - i, theta + i,
// theta + i), at (20i - 200 sin(theta + i), d + 50 sin(0.1 i (2i + theta)), 20i), and
// its projected box on a width x height screen.
TargetPose PlaceTarget(int32_t i, double theta, float radius, uint32_t width, uint32_t height);
// |x - screenX| <= screenRadius and |y - screenY| <= screenRadius.
bool InsideBox(int32_t x, int32_t y, int32_t screenX, int32_t screenY, int32_t screenRadius);

// Moves each vertex away from the centre by k / distance; a vertex at the centre
// has no direction to move in and stays where it is.
void ExplodeVertices(MeshVertex* dst, const MeshVertex* src, int32_t n, float cx, float cy,
                     float cz, float k);
// One frame of a hit target after its explosion step: with r = RandomNext mod 100,
// r <= 90 takes every exploded vertex; otherwise the target crumbles: the even
// vertices below n / 2 are taken and the count halves. Returns the new count.
int32_t SettleDebris(MeshVertex* vertices, const MeshVertex* exploded, int32_t count, int32_t r);

// The credits scroller moves one pixel a frame; the verse copies by trunc(x - step).
// Each starts again at the right edge once wholly past the left one. Intended: trunc
// goes toward zero, so a verse copy moves ceil(step) pixels a frame while right of the
// screen's left edge and floor(step) past it (a step of 2.1: 3, then 2). Scroll widths
// count 7 pixels a character, whatever the font draws.
int32_t StepCredits(int32_t x, uint32_t width);
int32_t StepVerse(int32_t x, float step, uint32_t width);
