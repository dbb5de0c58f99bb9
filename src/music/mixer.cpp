#include "music/mixer.h"

#include <cstring>

XmVoice Voices[MaxChannels];
int32_t RampLength = 128;
float RampReciprocal = 1.0f / 128.0f;

static const float GainUnit = 1.0f / 255.0f;  // 0.003921568859368563

void ClearVoices()
{
    std::memset(Voices, 0, sizeof Voices);
    for (XmVoice& v : Voices) {
        v.stepInteger = 1;
        v.direction = Forward;
    }
}

static inline uint64_t Fixed(uint32_t integer, uint32_t fraction)
{
    return uint64_t(integer) << 32 | fraction;
}

// --- One segment: frames up to a loop boundary or a ramp's end ---

// Frames until the voice reaches its loop boundary, or -1 when that is beyond the
// 2^24-sample range the 8.24 division covers (or beyond this call anyway).
static int64_t FramesToBoundary(const XmVoice& v, uint32_t loopEnd)
{
    const uint64_t position = Fixed(v.position, v.fraction);
    const uint64_t edge = Fixed(v.direction == Backward ? v.sample->loopStart : loopEnd, 0);
    // Already at or past the edge in the direction of travel: the boundary is here.
    if (v.direction == Backward ? position <= edge : position >= edge)
        return 0;
    const uint64_t distance = v.direction == Backward ? position - edge : edge - position;
    if ((distance >> 32) >= 0x1000000)
        return -1;
    const uint64_t step = uint64_t(v.stepInteger) << 24 | v.stepFraction >> 8;  // 8.24
    if (step == 0)
        return -1;
    const uint64_t d = distance >> 8;
    const int64_t frames = int64_t(d / step + (d % step != 0));
    // The 8.24 division can leave a run a few 2^-32 short of the edge; the next
    // one then comes out as 0 frames although the edge is not reached, and
    // would repeat for ever. One frame steps over it.
    return frames > 0 ? frames : 1;
}

// Starts a new ramp when the targets moved since the last one (or none runs).
static void CheckRamp(XmVoice& v)
{
    if (v.rampFrames != 0 && v.targetLeft == v.rampTargetLeft && v.targetRight == v.rampTargetRight)
        return;
    v.rampTargetLeft = v.targetLeft;
    v.rampTargetRight = v.targetRight;
    const float scale = GainUnit * RampReciprocal;
    v.rampStepLeft = v.targetLeft != v.gainLeft ? float(v.targetLeft - v.gainLeft) * scale : 0.0f;
    v.rampStepRight = v.targetRight != v.gainRight ? float(v.targetRight - v.gainRight) * scale : 0.0f;
    v.rampFrames = (v.targetLeft != v.gainLeft || v.targetRight != v.gainRight) ? RampLength : 0;
}

// round(x) for gains in 0..255.5
static inline uint8_t RoundGain(float g)
{
    const float x = g * 255.0f + 0.5f;
    return x <= 0.0f ? 0 : x >= 255.0f ? 255 : uint8_t(x);
}

// The interpolated value times 2^31, exactly: S[i] * 2^31 + w31 * (S[i+1] - S[i]), where
// w31 is the top 31 bits of the fraction. It has at most 48 significant bits, so as a
// double it equals S[i] + w * (S[i+1] - S[i]) computed in double precision, scaled.
static inline int64_t Interpolate31(const int16_t* s, uint64_t position)
{
    const uint32_t i = uint32_t(position >> 32);
    const int64_t a = s[i];
    return a * (int64_t(1) << 31) + int64_t(uint32_t(position) >> 1) * (s[i + 1] - a);
}

static const double Scale31 = 1.0 / 2147483648.0;  // 2^-31

// Mixes `frames` frames at fixed gains from a 32.32 position with a 32.32 step
// (negated when moving backward); returns the new position. The gains carry the
// 2^-31 of the interpolation: v * g = (v * 2^31) * (g * 2^-31), both exact scalings.
static uint64_t MixFixed(const int16_t* s, uint64_t position, uint64_t step, float* out,
                         int32_t frames, float gl, float gr)
{
    const double left = double(gl) * Scale31, right = double(gr) * Scale31;
    for (int32_t k = 0; k < frames; ++k, out += 2) {
        const double v = double(Interpolate31(s, position));
        out[0] = float(double(out[0]) + v * left);
        out[1] = float(double(out[1]) + v * right);
        position = (position & ~uint64_t(1)) + step;  // the lowest fraction bit is dropped
    }
    return position;
}

// The same with gains that grow by their steps after each frame.
static uint64_t MixRamp(const int16_t* s, uint64_t position, uint64_t step, float* out,
                        int32_t frames, float& gl, float& gr, float stepL, float stepR)
{
    for (int32_t k = 0; k < frames; ++k, out += 2) {
        const double v = double(Interpolate31(s, position));
        out[0] = float(double(out[0]) + v * (double(gl) * Scale31));
        out[1] = float(double(out[1]) + v * (double(gr) * Scale31));
        gl += stepL;
        gr += stepR;
        position = (position & ~uint64_t(1)) + step;
    }
    return position;
}

// --- Loop boundaries ---

// 2 * edge - position - 2^-32, as a 32.32 value.
static inline uint64_t Reflect(uint32_t edge, uint64_t position)
{
    return Fixed(edge, 0) - position + Fixed(edge - 1, 0xFFFFFFFFu);
}

static void ReachBoundary(XmVoice& v, uint32_t loopEnd)
{
    const XmSample& s = *v.sample;
    uint64_t position = Fixed(v.position, v.fraction);
    switch (s.loopType) {
    case LoopForward:  // subtract the loop length until below the loop end
        if (v.position >= loopEnd)
            v.position = s.loopStart + (v.position - s.loopStart) % s.loopLength;
        return;
    case LoopPingPong:
        if (v.direction == Forward) {
            position = Reflect(loopEnd, position);
            v.direction = Backward;
            if (int32_t(position >> 32) < int32_t(s.loopStart)) {
                position = Reflect(s.loopStart, position);
                v.direction = Forward;
            }
        } else {
            position = Reflect(s.loopStart, position);
            v.direction = Forward;
            if ((position >> 32) >= loopEnd) {
                position = Reflect(loopEnd, position);
                v.direction = Backward;
            }
        }
        // A reflection at the start may land 2^-32 before it, which reads the value
        // before the loop with a weight below 2^-31; at a loop start of 0 that value
        // lies before the data, so the position is held at 0 instead. A step longer
        // than the loop can leave the position outside it even after two
        // reflections: it is kept inside, so no read leaves the sample.
        {
            const int64_t lowest = s.loopStart > 0 ? int64_t(Fixed(s.loopStart, 0)) - 1 : 0;
            if (int64_t(position) < lowest)
                position = uint64_t(lowest);
            else if (position >= Fixed(loopEnd, 0))
                position = Fixed(loopEnd, 0) - 1;
        }
        v.position = uint32_t(position >> 32);
        v.fraction = uint32_t(position);
        return;
    default:
        v.sample = nullptr;
        v.position = 0;
        v.fraction = 0;
        return;
    }
}

// --- Mixing ---

static void MixVoice(XmVoice& v, float* out, int32_t n)
{
    while (n > 0 && v.sample) {
        const XmSample& s = *v.sample;
        const uint32_t loopEnd = s.loopStart + s.loopLength;

        int32_t frames = n;
        bool boundary = false;
        const int64_t toBoundary = FramesToBoundary(v, loopEnd);
        if (toBoundary >= 0 && toBoundary <= frames) {
            frames = int32_t(toBoundary);
            boundary = true;
        }

        CheckRamp(v);
        const bool ramping = v.rampFrames != 0;
        if (ramping && frames > v.rampFrames) {
            frames = v.rampFrames;
            boundary = false;  // the ramp ends first
        }

        if (frames > 0) {
            uint64_t step = Fixed(v.stepInteger, v.stepFraction);
            if (v.direction == Backward)
                step = ~step + 1;
            uint64_t position = Fixed(v.position, v.fraction);
            if (ramping) {
                float gl = float(v.gainLeft) * GainUnit;
                float gr = float(v.gainRight) * GainUnit;
                position = MixRamp(s.data, position, step, out, frames, gl, gr, v.rampStepLeft,
                                   v.rampStepRight);
                v.gainLeft = RoundGain(gl);
                v.gainRight = RoundGain(gr);
                v.rampFrames -= frames;
            } else {
                position = MixFixed(s.data, position, step, out, frames,
                                    float(v.targetLeft) * GainUnit, float(v.targetRight) * GainUnit);
            }
            v.position = uint32_t(position >> 32);
            v.fraction = uint32_t(position);
            out += 2 * frames;
            n -= frames;
        }
        if (boundary)
            ReachBoundary(v, loopEnd);
    }
}

void MixVoices(float* dst, int32_t n)
{
    if (n < 1)
        return;
    for (XmVoice& v : Voices)
        if (v.sample)
            MixVoice(v, dst, n);
}
