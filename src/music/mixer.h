#pragma once
#include <cstdint>

#include "music/xm.h"

// Up to 32 voices, each playing one sample at a 32.32 fixed-point rate with linear
// interpolation, forward or ping-pong loops, and gain ramps that keep volume and
// panning changes from clicking. Voice i is driven by player channel i.

enum VoiceDirection : int32_t {
    Forward = 1,
    Backward = 2,  // ping-pong loops only
};

struct XmVoice {
    int32_t mixVolume;          // 0..127, last computed by the player
    int32_t mixPanning;         // 0..255 (255 = left)
    const XmSample* sample;     // none: silent, skipped
    uint8_t targetLeft;         // gains the voice should have, 1/255 units
    uint8_t targetRight;
    uint32_t position;          // 32.32 fixed point: integer part in position,
    uint32_t fraction;          //   fraction in fraction
    uint32_t stepFraction;      // advance per output frame, 32.32
    uint32_t stepInteger;
    int32_t direction;          // VoiceDirection
    uint8_t rampTargetLeft;     // the targets the running ramp aims at
    uint8_t rampTargetRight;
    uint8_t gainLeft;           // current gains, 1/255 units
    uint8_t gainRight;
    float rampStepLeft;         // per-frame gain change, 1.0 = 255/255
    float rampStepRight;
    int32_t rampFrames;         // frames left in the running ramp; 0: none
};

extern XmVoice Voices[MaxChannels];

// Ramp length in frames (OutputRate * 128 / 44100) and its reciprocal; set when the
// output opens.
extern int32_t RampLength;
extern float RampReciprocal;

// Every voice silent: no sample, position 0, step 1.0, gains 0.
void ClearVoices();

// Adds every voice's next n frames into dst (interleaved left, right).
void MixVoices(float* dst, int32_t n);
