#pragma once
#include <cstdint>

#include "music/mixer.h"
#include "music/xm.h"

// The per-tick player: the first tick of a row reads the pattern row, later ticks run
// the continuous effects, and every tick pushes what changed into the channel's voice.
// Effects played: 0 arpeggio, 1/2 portamento up/down, 3 tone portamento (5 too, as
// tone portamento without its volume slide), 4 vibrato, 8 panning, F speed/tempo,
// 20 key-off, and the volume column.

enum ChannelUpdate : uint8_t {
    UpdateFrequency = 0x01,
    UpdateVolume = 0x02,
    UpdatePanning = 0x04,
    UpdateTrigger = 0x08,  // start the sample anew
};

struct XmChannel {
    uint8_t note;            // 0..95 (cell note - 1)
    uint8_t updateFlags;     // ChannelUpdate bits to push this tick
    XmVoice* voice;
    int32_t index;
    int32_t period;          // linear: 64 per semitone, higher = lower pitch
    int32_t volume;          // 0..64
    int32_t panning;         // 0..255 as set; clamped when pushed
    int32_t pitchOffset;     // this tick's vibrato or arpeggio offset; + raises the pitch
    int32_t keyOnFactor;     // 64 keyed on, 0 after key-off or before any instrument
    uint8_t keyOff;
    uint8_t instrument;      // 0-based
    uint8_t realNote;        // note + relativeNote, wrapping at 8 bits
    int32_t notePeriod;      // period of the last note read
    uint8_t portaDownSpeed;
    uint8_t portaUpSpeed;
    int32_t portaTarget;
    uint8_t tonePortaSpeed;
    int8_t vibratoPosition;  // -32..31
    uint8_t vibratoSpeed;
    uint8_t vibratoDepth;
};

extern XmChannel Channels[MaxChannels];

// Samples per tick = trunc(1000 / (bpm * 0.4f) * OutputRate * 0.001f).
void SetTempo(XmModule* module, int32_t bpm);
// Song back to its start (order 0, row 0, default speed and tempo) and the first
// channelCount channels zeroed and linked to their voices.
void ResetSong(XmModule* module);

void PlayerTick(XmModule* module);
void ProcessRow(XmModule* module);
void ProcessTickEffects(XmModule* module);
void ApplyChannel(XmChannel* channel, const XmSample* sample, const XmModule* module);
void ResetFromSample(XmChannel* channel, const XmSample* sample);
void VolumeColumnRow(XmChannel* channel, uint8_t volume);
void TonePortaStep(XmChannel* channel);
void VibratoStep(XmChannel* channel);
