#pragma once
// What the web edge's files share: the page's message line and the state it shows, and
// the JavaScript it calls (device.js, audio.js), each declared once here.
#include <cstdint>

struct MeshVertex;
struct RayVertex;
struct SceneLight;

extern "C" {
// Shows a sentence on the page (no WebGL, no Web Audio, a fatal error).
void WebMessage(const char* text);
// "loading", "title", "briefing", "game", "ended": for the page and its tests.
void WebState(const char* state);

// --- The WebGL device (device.js) ---
int korva_device_open(uint32_t width, uint32_t height, int stupidZbuffert);
void korva_projection(const float* matrix);
void korva_clear(uint32_t colour, int depth);
void korva_present(int retrace);
void korva_texture_level(int32_t level, int32_t size, const uint8_t* rgba);
int32_t korva_buffer_new(uint32_t count);
void korva_buffer_fill(int32_t id, const MeshVertex* vertices, uint32_t count);
void korva_light(int32_t index, const SceneLight* light);
void korva_draw_mesh(int32_t buffer, int32_t count, int lines, int textured, int32_t cull,
                     const float* world, const float* view);
void korva_draw_rays(const RayVertex* vertices, int32_t count, int32_t cull, const float* world,
                     const float* view);
void korva_font(int32_t height);
void korva_text(const char* text, int32_t x, int32_t y, uint32_t colour);

// --- Web Audio (audio.js) ---
int korva_audio_open(int32_t rate);
void korva_audio_play(int on);
}

// Opens the page's WebGL device at the chosen size, with the game's projection.
void OpenDevice();

// Buffer ids start at 1, so the null pointer stays "no buffer".
inline int32_t BufferId(const void* buffer) { return int32_t(reinterpret_cast<intptr_t>(buffer)); }
