#pragma once
#include <cstddef>
#include <cstdint>

// The byte-coded texture script: operations on 256x256 grey layers that end in
// colour images, one of which is selected for upload. Every neighbour access wraps
// modulo 256, so all images tile.

constexpr int32_t TextureSize = 256;
constexpr int32_t TextureLayerCount = 20;
constexpr int32_t RgbTextureCount = 10;
constexpr int32_t UploadSlotCount = 1;

struct TextureLayer {
    uint8_t pixels[TextureSize * TextureSize];      // grey, row-major: y * 256 + x
};

struct RgbTexture {
    uint8_t pixels[TextureSize * TextureSize * 3];  // red, green, blue per pixel
};

// Static working storage, zero at program start and alive for the whole run.
extern TextureLayer TextureLayers[TextureLayerCount];
extern RgbTexture RgbTextures[RgbTextureCount];
extern RgbTexture UploadSlot;
extern TextureLayer ScratchLayer;

enum TextureOpcode : uint8_t {
    OpPlasma = 0,     // layer, corner value, roughness, seed
    OpBlur = 1,       // destination, source, passes
    OpDisplace = 2,   // destination, source, map, factor (signed)
    OpShade = 3,      // destination, source, factor
    OpColourise = 4,  // destination RgbTexture, source layer, red, green, blue factor
    OpEnd = 255,
};

extern const uint8_t TextureScript[30];
extern const uint8_t TextureSelection[4];

// Each operation reads its argument bytes and returns how many it consumed.
int32_t Plasma(const uint8_t* args);
int32_t Blur(const uint8_t* args);
int32_t Displace(const uint8_t* args);
int32_t Shade(const uint8_t* args);
int32_t Colourise(const uint8_t* args);

// Runs a script and then a selection, each bounded by its size. An undefined
// opcode, an index outside the buffers or a missing end stops the run before
// anything out of range is touched; the result says whether both ran to their end.
bool RunTextureProgram(const uint8_t* script, size_t scriptSize,
                       const uint8_t* selection, size_t selectionSize);

// Runs the built-in script and selection, filling UploadSlot.
void RunTextureScript();
