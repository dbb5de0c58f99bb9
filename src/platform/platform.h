#pragma once
// The platform operations: everything the rules and the screen sequences need from the
// system they run on. Each edge implements them once, in its own folder (win/: Direct3D 7,
// DirectDraw, GDI; web/: WebGL, a 2D canvas, DOM events); the build links one edge. The
// sound output's operations are audio_output.h beside this file. This folder includes
// nothing above it.
#include <cstddef>
#include <cstdint>

struct Scene;
struct MeshVertex;
struct UnclePose;
struct VertexBuffer;  // the edge's own vertex buffer, opaque here

// --- What the player chose at setup ---
extern uint32_t ScreenWidth;  // the frame size in pixels
extern uint32_t ScreenHeight;
extern uint8_t Windowed;
extern uint8_t StupidZbuffert;
extern uint8_t WaitRetrace;

// Ends the program with one clear message and a non-zero exit code: for the start-up
// conditions under which it cannot run (a failure must not look like success).
[[noreturn]] void FatalError(const char* message);

// --- The frame ---
// Clears the frame to the colour (0xRRGGBB), and the depth to the far plane with `depth`.
void ClearFrame(uint32_t colour, bool depth);
void BeginScene();
void EndScene();
// Shows the finished frame; the web edge yields to the browser here.
void PresentFrame();

// --- Drawing ---
// The generated texture, made a texture with its mip levels.
void UploadTextures();
// Inside a scene: the uncle's sphere and its rays, as posed (game/uncle.h).
void DrawUnclePose(const UnclePose& pose);
// Sets and enables the scene's lights.
void EnableSceneLights(const Scene* scene);
void DrawScene(Scene* scene);

// --- Vertex fills ---
// Null when the buffer cannot be made: fills of it are then skipped.
VertexBuffer* NewMeshVertexBuffer(uint32_t count);
void FillMeshVertexBuffer(VertexBuffer* buffer, const MeshVertex* vertices, uint32_t count);
// A buffer whose vertices never change again: the device may lay it out for drawing.
void OptimizeVertexBuffer(VertexBuffer* buffer);

// --- Text: the Impact lines ---
void CreateTextFont(int32_t height);
// One line with its top left at (x, y) in the colour (COLORREF: 0xBBGGRR), over the frame.
void TextLine(const char* text, int32_t x, int32_t y, uint32_t colour);
// printf-style formatting into out (always terminated, cut to size - 1 characters); the
// game's formats stay within %d and %%, which every edge's formatter shares.
void FormatText(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// The screen the sequence moves to: "title", "briefing", "game". The page reports it for
// its tests; Windows has no use for it.
void ScreenChanged(const char* name);

// --- Input ---
// Lets the input arrive (mouse and keys set the shared variables); false once the player
// asked to quit.
bool PumpMessages();
