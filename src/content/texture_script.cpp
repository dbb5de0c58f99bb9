#include "content/texture_script.h"

#include <cstring>

#include "core/random.h"

TextureLayer TextureLayers[TextureLayerCount];
RgbTexture RgbTextures[RgbTextureCount];
RgbTexture UploadSlot;
TextureLayer ScratchLayer;

const uint8_t TextureScript[30] = {
    0x00, 0x00, 0xFF, 0x03, 0xD2,        // Plasma 0, corner 255, roughness 3, seed 210
    0x00, 0x01, 0x80, 0x03, 0xCC,        // Plasma 1, corner 128, roughness 3, seed 204
    0x01, 0x02, 0x01, 0x23,              // Blur 2 <- 1, 35 passes
    0x02, 0x03, 0x00, 0x02, 0x03,        // Displace 3 <- 0 by the slopes of 2, factor 3
    0x03, 0x04, 0x03, 0x01,              // Shade 4 <- 3, factor 1
    0x04, 0x00, 0x04, 0x96, 0x58, 0x49,  // Colourise rgb 0 <- 4, factors 150, 88, 73
    0xFF,
};

// Pairs of (source RgbTexture, end flag): copy RgbTexture 0 into slot 0, then stop.
const uint8_t TextureSelection[4] = {0x00, 0x00, 0xFF, 0xFF};

static inline uint8_t& At(TextureLayer& layer, int32_t x, int32_t y)
{
    return layer.pixels[((y & 255) << 8) | (x & 255)];
}

// --- Plasma: seeded midpoint displacement over a tiling square ---

// One plasma's drawing: the layer, its roughness and the generator's state, kept here
// while the square is subdivided (one thread-local access per plasma, not per point).
struct PlasmaWork {
    TextureLayer& layer;
    int32_t roughness;
    uint32_t random;
};

static void SetPlasmaPoint(PlasmaWork& work, int32_t x, int32_t y, int32_t a, int32_t b, int32_t d)
{
    uint8_t& pixel = At(work.layer, x, y);
    if (pixel != 0)
        return;  // set earlier through a shared (wrapped) border: draw nothing
    int32_t v = RandomStep(work.random) % (2 * d) + (a + b) / 2 - d;
    if (v > 255) v = 255;
    if (v < 1) v = 1;
    pixel = uint8_t(v);
}

// The square spans columns x0..x1 and rows y0..y1; x1 and y1 may be 256, which wraps to 0.
static void Subdivide(PlasmaWork& work, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (x1 - x0 <= 1)
        return;
    const int32_t size = x1 - x0;
    const int32_t d = work.roughness * size;
    const int32_t xm = x0 + (x1 - x0) / 2, ym = y0 + (y1 - y0) / 2;
    const int32_t xw = x1 & 255, yw = y1 & 255;
    TextureLayer& layer = work.layer;

    const int32_t tl = At(layer, x0, y0), tr = At(layer, xw, y0);
    const int32_t bl = At(layer, x0, yw), br = At(layer, xw, yw);

    SetPlasmaPoint(work, xm, y0, tl, tr, d);  // top middle
    SetPlasmaPoint(work, xm, yw, bl, br, d);  // bottom middle
    SetPlasmaPoint(work, x0, ym, tl, bl, d);  // left middle
    SetPlasmaPoint(work, xw, ym, tr, br, d);  // right middle
    SetPlasmaPoint(work, xm, ym, (tl + tr) / 2, (bl + br) / 2, d);  // centre

    Subdivide(work, x0, y0, xm, ym);
    Subdivide(work, xm, y0, x1, ym);
    Subdivide(work, x0, ym, xm, y1);
    Subdivide(work, xm, ym, x1, y1);
}

int32_t Plasma(const uint8_t* args)
{
    PlasmaWork work = {TextureLayers[args[0]], args[2] ? args[2] : 1, args[3]};
    std::memset(work.layer.pixels, 0, sizeof work.layer.pixels);  // 0 marks "not yet set"
    work.layer.pixels[0] = args[1];
    Subdivide(work, 0, 0, TextureSize, TextureSize);
    RandomSeed(work.random);  // the thread's sequence goes on from this plasma's last draw
    return 4;
}

// --- Blur: repeated 3x3 box average ---

int32_t Blur(const uint8_t* args)
{
    TextureLayer& dst = TextureLayers[args[0]];
    std::memmove(dst.pixels, TextureLayers[args[1]].pixels, sizeof dst.pixels);

    // Column sums of three rows, then three columns of those: the same integer
    // sum as adding the nine pixels one by one.
    int32_t columnSum[TextureSize];
    for (int32_t pass = 0; pass < args[2]; ++pass) {
        std::memcpy(ScratchLayer.pixels, dst.pixels, sizeof dst.pixels);
        for (int32_t y = 0; y < TextureSize; ++y) {
            const uint8_t* up = &At(ScratchLayer, 0, y - 1);
            const uint8_t* row = &At(ScratchLayer, 0, y);
            const uint8_t* down = &At(ScratchLayer, 0, y + 1);
            for (int32_t x = 0; x < TextureSize; ++x)
                columnSum[x] = up[x] + row[x] + down[x];
            uint8_t* out = &At(dst, 0, y);
            for (int32_t x = 0; x < TextureSize; ++x)
                out[x] = uint8_t((columnSum[(x - 1) & 255] + columnSum[x] +
                                  columnSum[(x + 1) & 255]) / 9);
        }
    }
    return 3;
}

// --- Displace: move each pixel by k times the slope of a map ---

int32_t Displace(const uint8_t* args)
{
    TextureLayer& dst = TextureLayers[args[0]];
    TextureLayer& src = TextureLayers[args[1]];
    TextureLayer& map = TextureLayers[args[2]];
    const int32_t k = int8_t(args[3]);  // only the low 8 bits of k * slope matter

    for (int32_t y = 0; y < TextureSize; ++y) {
        for (int32_t x = 0; x < TextureSize; ++x) {
            const int32_t m = At(map, x, y);
            const int32_t dx = m - At(map, x + 1, y);
            const int32_t dy = m - At(map, x, y + 1);
            At(dst, x, y) = At(src, x + k * dx, y + k * dy);
        }
    }
    return 4;
}

// --- Shade: darken by the local slope ---

static inline int32_t Abs(int32_t v) { return v < 0 ? -v : v; }

int32_t Shade(const uint8_t* args)
{
    TextureLayer& dst = TextureLayers[args[0]];
    const int32_t f = args[2];
    std::memcpy(ScratchLayer.pixels, TextureLayers[args[1]].pixels, sizeof ScratchLayer.pixels);

    for (int32_t y = 0; y < TextureSize; ++y) {
        for (int32_t x = 0; x < TextureSize; ++x) {
            const int32_t v = At(ScratchLayer, x, y);
            const int32_t e = At(ScratchLayer, x + 1, y);
            const int32_t g = At(ScratchLayer, x, y + 1);
            int32_t m = 255 - f * (Abs(v - e) + Abs(v - g));
            if (m < 0) m = 0;
            At(dst, x, y) = uint8_t((v * m) >> 8);
        }
    }
    return 3;
}

// --- Colourise: grey to colour, each channel (v * factor) >> 7, at most 255 ---

int32_t Colourise(const uint8_t* args)
{
    uint8_t* out = RgbTextures[args[0]].pixels;
    const uint8_t* in = TextureLayers[args[1]].pixels;
    const int32_t factor[3] = {args[2], args[3], args[4]};

    for (int32_t i = 0; i < TextureSize * TextureSize; ++i) {
        for (int32_t c = 0; c < 3; ++c) {
            const int32_t v = (in[i] * factor[c]) >> 7;
            out[3 * i + c] = uint8_t(v > 255 ? 255 : v);
        }
    }
    return 5;
}

// --- Interpreter ---

typedef int32_t (*TextureOperation)(const uint8_t* args);

static const TextureOperation Operations[5] = {Plasma, Blur, Displace, Shade, Colourise};

// Argument count of each opcode, and how many of its leading arguments are layer
// indices; Colourise's first argument indexes the RgbTextures instead.
static const uint8_t ArgumentCount[5] = {4, 3, 4, 3, 5};
static const uint8_t LayerArguments[5] = {1, 2, 3, 2, 2};

static bool InstructionIsValid(const uint8_t* op, size_t remaining)
{
    const uint8_t opcode = op[0];
    if (opcode >= 5 || remaining < 1u + ArgumentCount[opcode])
        return false;
    const uint8_t* args = op + 1;
    int32_t first = 0;
    if (opcode == OpColourise) {
        if (args[0] >= RgbTextureCount)
            return false;
        first = 1;
    }
    for (int32_t i = first; i < LayerArguments[opcode]; ++i)
        if (args[i] >= TextureLayerCount)
            return false;
    return true;
}

bool RunTextureProgram(const uint8_t* script, size_t scriptSize,
                       const uint8_t* selection, size_t selectionSize)
{
    size_t p = 0;
    for (;;) {
        if (p >= scriptSize)
            return false;  // no end byte
        if (script[p] == OpEnd)
            break;
        if (!InstructionIsValid(script + p, scriptSize - p))
            return false;
        p += 1 + size_t(Operations[script[p]](script + p + 1));
    }

    // Pair k = (source, end flag); a pair with its end flag set is not copied.
    for (size_t k = 0;; ++k) {
        const size_t pair = 2 * k;
        if (pair + 1 >= selectionSize)
            return false;
        if (selection[pair + 1] != 0)
            return true;
        if (k >= size_t(UploadSlotCount) || selection[pair] >= RgbTextureCount)
            return false;
        std::memcpy(UploadSlot.pixels, RgbTextures[selection[pair]].pixels,
                    sizeof UploadSlot.pixels);
    }
}

void RunTextureScript()
{
    RunTextureProgram(TextureScript, sizeof TextureScript, TextureSelection,
                      sizeof TextureSelection);
}
