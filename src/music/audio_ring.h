#pragma once
#include <atomic>
#include <cstdint>

#include "music/xm.h"

// The output ring: about two seconds of 16-bit stereo in 20 ms blocks that the
// device plays in an endless loop, each block rendered again just after it was heard.
// This is the portable part; the device and the audio thread sit on the platform side.

extern int32_t OutputRate;   // frames per second
extern int32_t BlockFrames;  // 20 ms rounded up to a multiple of 4: 884 at 44100
extern int32_t RingFrames;   // 100 blocks: 88400 at 44100
extern int32_t BlockCount;   // 100

extern int16_t* WaveRing;    // RingFrames stereo frames, left first
extern float* MixBuffer;     // one float region of BlockFrames frames per block
extern int32_t WriteBlock;   // next block to render
extern XmModule* CurrentModule;

// Shared with the audio thread, one byte each, no locks.
extern std::atomic<uint8_t> StopRequest;   // main -> audio thread: end
extern std::atomic<uint8_t> MixerBusy;     // audio thread is inside RenderBlock
extern std::atomic<uint8_t> ThreadExited;  // 1 whenever no audio thread runs

// Sets the rate and the sizes that follow from it, and clears every voice.
void SetOutputRate(int32_t rate);

// The device-independent part of starting: song reset, channels linked to voices,
// ring and mix buffer allocated, and all blocks rendered once. False when memory
// runs out (nothing is then playing).
bool BeginPlayback(XmModule* module);
// Releases the mix buffer; the ring stays, as the device may still be looping it.
void EndPlayback();

// Renders block WriteBlock of CurrentModule into the ring and advances WriteBlock.
void RenderBlock();
// Float frames to 16-bit: round half to even, saturate.
void ConvertBlock(int16_t* dst, const float* src, int32_t frames);

// Whether the audio thread renders WriteBlock now, with the device playing PlayBlock.
bool ShouldRenderBlock(int32_t playBlock, int32_t writeBlock);

// The device's 32-bit byte counter, widened so that its wrap (after about 6.8 hours
// at 44100) does not move the play position.
struct PlayedBytes {
    uint32_t last;
    uint64_t total;
};
uint64_t AdvancePlayedBytes(PlayedBytes& played, uint32_t reading);
// The block the device is playing after `bytes` bytes.
int32_t PlayBlockAt(uint64_t bytes);
