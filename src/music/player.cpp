#include "music/player.h"

#include "music/audio_ring.h"

#include <cmath>
#include <cstring>

XmChannel Channels[MaxChannels];

enum EffectType : uint8_t {
    EffectArpeggio = 0x00,
    EffectPortaUp = 0x01,
    EffectPortaDown = 0x02,
    EffectTonePorta = 0x03,
    EffectVibrato = 0x04,
    EffectTonePortaVolumeSlide = 0x05,
    EffectPanning = 0x08,
    EffectSpeedTempo = 0x0F,
    EffectKeyOff = 0x14,
};

// --- Tempo and position ---

void SetTempo(XmModule* module, int32_t bpm)
{
    if (bpm < 1)
        bpm = 1;  // no tick may be empty
    module->bpm = bpm;
    module->samplesPerTick =
        int32_t(1000.0 / (bpm * double(0.4f)) * OutputRate * double(0.001f));
    if (module->samplesPerTick < 1)
        module->samplesPerTick = 1;
}

void ResetSong(XmModule* module)
{
    module->globalVolume = module->initialGlobalVolume;
    module->nextOrder = -1;
    module->nextRow = -1;
    module->speed = module->defaultSpeed;
    module->row = 0;
    module->order = 0;
    module->samplesLeft = 0;
    module->tick = 0;
    SetTempo(module, module->defaultBpm);
    std::memset(Channels, 0, sizeof(XmChannel) * size_t(module->channelCount));
    for (int32_t i = 0; i < module->channelCount; ++i) {
        Channels[i].voice = &Voices[i];
        Channels[i].index = i;
    }
}

static const XmPattern& CurrentPattern(const XmModule* module)
{
    return module->patterns[module->orders[module->order]];
}

void PlayerTick(XmModule* module)
{
    if (module->tick == 0) {
        if (module->nextOrder != -1) module->order = module->nextOrder;
        if (module->nextRow != -1) module->row = module->nextRow;
        module->nextOrder = -1;
        module->nextRow = -1;
        ProcessRow(module);
        module->nextRow = module->row + 1;
        if (module->nextRow >= CurrentPattern(module).rows) {
            module->nextOrder = module->order + 1;
            if (module->nextOrder >= module->songLength)
                module->nextOrder = module->restartPosition;
            module->nextRow = 0;
        }
    } else {
        ProcessTickEffects(module);
    }
    if (++module->tick >= module->speed)
        module->tick = 0;
}

// --- Shared steps ---

static const XmSample* ResolveSample(const XmModule* module, const XmChannel& c)
{
    if (c.instrument >= module->instrumentCount)
        return &EmptySample;
    const XmInstrument& instrument = module->instruments[c.instrument];
    const uint8_t number = c.note < 96 ? instrument.noteSample[c.note] : 16;
    return number < MaxSamplesPerInstrument ? instrument.samples[number] : &EmptySample;
}

static const XmCell& CellOf(const XmModule* module, int32_t channel)
{
    return CurrentPattern(module).cells[module->row * module->channelCount + channel];
}

static int32_t ClampVolume(int32_t v) { return v < 0 ? 0 : v > 64 ? 64 : v; }

// Advance the vibrato: position += speed, wrapping from above 31 to -32.
static void AdvanceVibrato(XmChannel& c)
{
    int32_t p = c.vibratoPosition + c.vibratoSpeed;
    if (int8_t(p) > 31)
        p -= 64;
    c.vibratoPosition = int8_t(p);
}

void ResetFromSample(XmChannel* c, const XmSample* sample)
{
    c->volume = sample->volume;
    c->panning = sample->panning;
    c->keyOnFactor = 64;
    c->keyOff = 0;
    c->vibratoPosition = 0;
    c->updateFlags |= UpdateVolume | UpdatePanning;
}

void TonePortaStep(XmChannel* c)
{
    const int32_t speed = c->tonePortaSpeed * 4;
    if (c->period < c->portaTarget) {
        c->period += speed;
        if (c->period > c->portaTarget) c->period = c->portaTarget;
    } else if (c->period > c->portaTarget) {
        c->period -= speed;
        if (c->period < c->portaTarget) c->period = c->portaTarget;
    }
    c->updateFlags |= UpdateFrequency;
}

// delta = (trunc(|sin(position * 2 * 0.049087375)| * 256) * depth) >> 5, low two bits
// cleared; the pitch goes up for positions of 0 and more.
void VibratoStep(XmChannel* c)
{
    const int32_t value =
        int32_t(std::fabs(std::sin(double(c->vibratoPosition) * 2.0 * 0.049087375)) * 256.0);
    const int32_t delta = ((value * c->vibratoDepth) >> 5) & ~3;
    c->pitchOffset = c->vibratoPosition >= 0 ? -delta : delta;
    c->updateFlags |= UpdateFrequency;
}

// --- Row tick ---

void VolumeColumnRow(XmChannel* c, uint8_t v)
{
    const int32_t low = v & 15;
    switch (v >> 4) {
    case 0x1: case 0x2: case 0x3: case 0x4:
        c->volume = v - 0x10;
        c->updateFlags |= UpdateVolume;
        break;
    case 0x5:
        if (v == 0x50) {
            c->volume = 64;
            c->updateFlags |= UpdateVolume;
        }
        break;
    case 0x6: case 0x8:  // slide down; 0x8x is the fine slide, row tick only
        c->volume = ClampVolume(c->volume - low);
        c->updateFlags |= UpdateVolume;
        break;
    case 0x7: case 0x9:  // slide up
        c->volume = ClampVolume(c->volume + low);
        c->updateFlags |= UpdateVolume;
        break;
    case 0xA:
        c->vibratoSpeed = uint8_t(low);
        break;
    case 0xB:
        c->vibratoDepth = uint8_t(low);
        break;
    case 0xC:
        c->panning = low * 16;
        c->updateFlags |= UpdatePanning;
        break;
    case 0xD:
        c->panning -= low;
        c->updateFlags |= UpdatePanning;
        break;
    case 0xE:
        c->panning += low;
        c->updateFlags |= UpdatePanning;
        break;
    case 0xF:  // tone portamento: the note's pitch stands, only its restart is held back
        if (low != 0)
            c->tonePortaSpeed = uint8_t(low * 16);
        c->portaTarget = c->notePeriod;
        c->updateFlags &= ~UpdateTrigger;
        break;
    default:
        break;
    }
}

// Period of a note on the linear table; the Amiga table has no note periods of its
// own here, so its periods are derived from the same frequency.
// Linear: 64 units a semitone, 768 an octave, from 7680 (10 octaves of 768) at note 0 down;
// finetune (-128..127, 128ths of a semitone) counts half. Note 48 (C-4) is 4608, where the
// frequency is 8363 Hz; it doubles every 768 units below. Amiga: period = 14317056 / frequency
// (the Amiga clock constant, 8363 Hz times a C-4 period of about 1712).
static int32_t NotePeriod(const XmModule* module, int32_t realNote, int32_t finetune)
{
    const int32_t linear = 7680 - realNote * 64 - finetune / 2;
    if (module->flags & LinearFrequencyTable)
        return linear;
    const double frequency = 8363.0 * std::exp2((4608 - linear) / 768.0);
    return int32_t(14317056.0 / frequency);
}

void ProcessRow(XmModule* module)
{
    for (int32_t k = 0; k < module->channelCount; ++k) {
        XmChannel& c = Channels[k];
        const XmCell& cell = CellOf(module, k);
        const bool hasNote = cell.note >= 1 && cell.note <= 96;
        const bool tonePorta =
            cell.effect == EffectTonePorta || cell.effect == EffectTonePortaVolumeSlide;

        if (cell.instrument != 0 && !tonePorta)
            c.instrument = uint8_t(cell.instrument - 1);
        if (hasNote && !tonePorta)
            c.note = uint8_t(cell.note - 1);
        const XmSample* sample = ResolveSample(module, c);

        c.updateFlags = 0;
        if (hasNote) {
            c.realNote = uint8_t(cell.note - 1 + sample->relativeNote);
            c.notePeriod = NotePeriod(module, c.realNote, sample->finetune);
            if (!tonePorta)
                c.period = c.notePeriod;
            c.updateFlags = UpdateTrigger;
        }
        c.pitchOffset = 0;
        c.updateFlags |= UpdateFrequency | UpdateVolume;

        if (cell.instrument != 0)
            ResetFromSample(&c, sample);
        if (cell.volume != 0)
            VolumeColumnRow(&c, cell.volume);
        if (cell.note == KeyOffNote || cell.effect == EffectKeyOff)
            c.keyOff = 1;
        if (c.keyOff) {
            c.keyOnFactor = 0;
            c.updateFlags |= UpdateVolume;
        }

        const uint8_t p = cell.parameter;
        switch (cell.effect) {
        case EffectPortaUp:  // 1xx
            if (p) c.portaUpSpeed = p;
            break;
        case EffectPortaDown:  // 2xx
            if (p) c.portaDownSpeed = p;
            break;
        case EffectTonePorta:  // 3xx
            if (p) c.tonePortaSpeed = p;
            c.portaTarget = c.notePeriod;
            c.updateFlags &= ~(UpdateTrigger | UpdateFrequency);
            break;
        case EffectTonePortaVolumeSlide:  // 5xy: the slide towards the note, at the last speed
            c.portaTarget = c.notePeriod;
            c.updateFlags &= ~(UpdateTrigger | UpdateFrequency);
            break;
        case EffectVibrato:  // 4xy
            if (p >> 4) c.vibratoSpeed = p >> 4;
            if (p & 15) c.vibratoDepth = p & 15;
            VibratoStep(&c);
            break;
        case EffectPanning:  // 8xx
            c.panning = p;
            c.updateFlags |= UpdatePanning;
            break;
        case EffectSpeedTempo:  // Fxx
            if (p < 32)
                module->speed = p;
            else
                SetTempo(module, p);
            break;
        default:
            break;
        }
        ApplyChannel(&c, sample, module);
    }
}

// --- Later ticks ---

void ProcessTickEffects(XmModule* module)
{
    for (int32_t k = 0; k < module->channelCount; ++k) {
        XmChannel& c = Channels[k];
        const XmCell& cell = CellOf(module, k);
        const XmSample* sample = ResolveSample(module, c);

        c.updateFlags = 0;
        c.pitchOffset = 0;
        if (c.keyOff)
            c.updateFlags |= UpdateVolume;

        const uint8_t v = cell.volume;
        switch (v >> 4) {
        case 0x6: case 0x7: case 0xD: case 0xE:  // the slides: as on the row tick
            VolumeColumnRow(&c, v);
            break;
        case 0xB:
            c.vibratoDepth = uint8_t(v & 15);
            VibratoStep(&c);
            AdvanceVibrato(c);
            break;
        case 0xF:
            TonePortaStep(&c);
            break;
        default:
            break;
        }

        const uint8_t p = cell.parameter;
        switch (cell.effect) {
        case EffectArpeggio:  // 0xy: +x semitones on ticks 1, 4, ..., +y on 2, 5, ...
            if (p != 0 && (module->flags & LinearFrequencyTable)) {
                const int32_t phase = module->tick % 3;
                c.pitchOffset = phase == 1 ? (p >> 4) * 64 : phase == 2 ? (p & 15) * 64 : 0;
                c.updateFlags |= UpdateFrequency;
            }
            break;
        case EffectPortaUp:  // 1xx: period down by 4 per speed unit, not below 56
            c.period -= c.portaUpSpeed * 4;
            if (c.period < 56) c.period = 56;
            c.pitchOffset = 0;
            c.updateFlags |= UpdateFrequency;
            break;
        case EffectPortaDown:  // 2xx
            c.period += c.portaDownSpeed * 4;
            c.pitchOffset = 0;
            c.updateFlags |= UpdateFrequency;
            break;
        case EffectTonePorta:  // 3xx
        case EffectTonePortaVolumeSlide:  // 5xy
            c.pitchOffset = 0;
            TonePortaStep(&c);
            break;
        case EffectVibrato:  // 4xy
            VibratoStep(&c);
            AdvanceVibrato(c);
            break;
        default:
            break;
        }
        ApplyChannel(&c, sample, module);
    }
}

// --- Into the voice ---

void ApplyChannel(XmChannel* c, const XmSample* sample, const XmModule* module)
{
    XmVoice& v = *c->voice;
    if (c->period + c->pitchOffset == 0)
        c->updateFlags &= ~UpdateFrequency;

    if (c->updateFlags & UpdateTrigger) {
        v.sample = sample;
        v.position = 0;
        v.fraction = 0;
        v.direction = Forward;
    }
    // The volume (0-64) times the key-on factor (64) times the global volume (64 at start):
    // 262,144 at full, which * 255 / 524,288 (2^19) makes a gain of 127.
    if (c->updateFlags & UpdateVolume)
        v.mixVolume = int32_t(int64_t(c->volume) * c->keyOnFactor * module->globalVolume * 255 / 524288);
    if (c->updateFlags & UpdatePanning)
        v.mixPanning = c->panning < 0 ? 0 : c->panning > 255 ? 255 : c->panning;
    if (c->updateFlags & (UpdateVolume | UpdatePanning)) {  // from both, whichever changed
        v.targetLeft = uint8_t(v.mixVolume * v.mixPanning / 255);
        v.targetRight = uint8_t((255 - v.mixPanning) * v.mixVolume / 255);
    }
    if (c->updateFlags & UpdateFrequency) {
        const uint32_t rate = uint32_t(OutputRate);
        // Notes far outside the song's range would need a step of 256 samples per
        // frame or more, beyond what the mixer's fixed point holds: capped below it.
        const double highest = 255.0 * rate;
        double exact;
        // 8363 * 2^((4608 - period) / 768) on the linear table, with 1/768 as the float nearest
        // it (0.0013020833721...), widened: the frequencies are those that constant gives.
        // 2^x by exp2, not pow(2, x): the same frequencies, without the general power's
        // code in the executable.
        if (module->flags & LinearFrequencyTable)
            exact = 8363.0 * std::exp2((4608 - c->period + c->pitchOffset) *
                                     double(0.0013020833721384406f));
        else
            exact = c->period + c->pitchOffset > 0 ? double(14317056 / (c->period + c->pitchOffset))
                                                   : highest;
        uint32_t frequency = uint32_t(exact < highest ? exact : highest);
        if (frequency < 100)
            frequency = 100;
        v.stepInteger = frequency / rate;
        v.stepFraction = uint32_t((uint64_t(frequency % rate) << 32) / rate);
    }
}
