#include "music/audio_ring.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "music/mixer.h"
#include "music/player.h"

int32_t OutputRate = 44100;
int32_t BlockFrames = 884;
int32_t RingFrames = 88400;
int32_t BlockCount = 100;

int16_t* WaveRing = nullptr;
float* MixBuffer = nullptr;
int32_t WriteBlock = 0;
XmModule* CurrentModule = nullptr;

std::atomic<uint8_t> StopRequest{0};
std::atomic<uint8_t> MixerBusy{0};
std::atomic<uint8_t> ThreadExited{1};

static void* MixBufferBlock = nullptr;  // the allocation MixBuffer is aligned within

void SetOutputRate(int32_t rate)
{
    OutputRate = rate;
    BlockFrames = (rate * 20 / 1000 + 3) & ~3;
    RingFrames = 2 * (1000 / 20) * BlockFrames;
    BlockCount = RingFrames / BlockFrames;
    RampLength = rate * 128 / 44100;
    if (RampLength < 1)
        RampLength = 1;
    RampReciprocal = 1.0f / float(RampLength);
    std::free(WaveRing);  // the ring's size follows the rate
    WaveRing = nullptr;
    ClearVoices();
}

bool BeginPlayback(XmModule* module)
{
    ResetSong(module);
    CurrentModule = module;
    if (!WaveRing)
        WaveRing = static_cast<int16_t*>(std::calloc(size_t(RingFrames) * 2, sizeof(int16_t)));
    else
        std::memset(WaveRing, 0, size_t(RingFrames) * 2 * sizeof(int16_t));
    // 16-byte aligned, from a block with 256 bytes to spare.
    MixBufferBlock = std::malloc(size_t(RingFrames) * 2 * sizeof(float) + 256);
    if (!WaveRing || !MixBufferBlock) {
        EndPlayback();
        return false;
    }
    MixBuffer = reinterpret_cast<float*>((reinterpret_cast<uintptr_t>(MixBufferBlock) + 15) &
                                         ~uintptr_t(15));
    WriteBlock = 0;
    do
        RenderBlock();
    while (WriteBlock != 0);
    return true;
}

void EndPlayback()
{
    std::free(MixBufferBlock);
    MixBufferBlock = nullptr;
    MixBuffer = nullptr;
    CurrentModule = nullptr;
}

// --- Rendering ---

void RenderBlock()
{
    XmModule* module = CurrentModule;
    float* region = MixBuffer + size_t(WriteBlock) * size_t(BlockFrames) * 2;
    std::memset(region, 0, size_t(BlockFrames) * 2 * sizeof(float));

    // Mix to the next tick, then tick: a tick starts exactly samplesPerTick frames
    // after the one before, across block boundaries.
    int32_t left = module->samplesLeft;
    for (int32_t done = 0; done < BlockFrames;) {
        if (left == 0) {
            PlayerTick(module);
            left = module->samplesPerTick;
        }
        const int32_t n = left < BlockFrames - done ? left : BlockFrames - done;
        MixVoices(region + 2 * done, n);
        done += n;
        left -= n;
    }
    module->samplesLeft = left;

    ConvertBlock(WaveRing + size_t(WriteBlock) * size_t(BlockFrames) * 2, region, BlockFrames);
    if (++WriteBlock == BlockCount)
        WriteBlock = 0;
}

void ConvertBlock(int16_t* dst, const float* src, int32_t frames)
{
    int32_t i = 0;
    const int32_t count = 2 * frames;
#if defined(__SSE2__)
    // Clamp, then convert with the default rounding (nearest, ties to even).
    const __m128 lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
    for (; i + 8 <= count; i += 8) {
        const __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(src + i), lo), hi);
        const __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(src + i + 4), lo), hi);
        const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), packed);
    }
#endif
    for (; i < count; ++i) {
        float v = src[i];
        v = v < -32768.0f ? -32768.0f : v > 32767.0f ? 32767.0f : v;
        dst[i] = int16_t(std::lrint(v));  // nearest, ties to even, as the vector path
    }
}

// --- Which blocks to render ---

// Every block from the write cursor round to the one playing has been heard: render it.
// A thread that was held up past the ring's end (no poll while blocks 0 and 1 played) thus
// catches up at once; waiting for block 1 to come round again, as if it were a lap behind,
// would leave the device replaying two seconds of old sound.
bool ShouldRenderBlock(int32_t playBlock, int32_t writeBlock)
{
    return writeBlock != playBlock;
}

uint64_t AdvancePlayedBytes(PlayedBytes& played, uint32_t reading)
{
    played.total += uint32_t(reading - played.last);  // modulo 2^32: survives the wrap
    played.last = reading;
    return played.total;
}

int32_t PlayBlockAt(uint64_t bytes)
{
    const uint64_t frames = bytes / 4;
    return int32_t(frames % uint64_t(RingFrames) / uint64_t(BlockFrames));
}
