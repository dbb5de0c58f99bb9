#include <gtest/gtest.h>

#include "music_fixture.h"

namespace {

// Loads the song and resets it at 44100, as StartPlayback does.
XmModule* Start(const WriterSong& song)
{
    XmModule* m = LoadSong(song);
    EXPECT_NE(m, nullptr) << ModuleLoadError;
    SetOutputRate(44100);
    ResetSong(m);
    return m;
}

uint32_t StepFraction(uint32_t frequency) { return uint32_t((uint64_t(frequency) << 32) / 44100); }

TEST(Player, TickLength)
{
    XmModule m = {};
    SetOutputRate(44100);
    const int32_t expected[4][2] = {{32, 3445}, {125, 882}, {208, 530}, {255, 432}};
    for (const auto& e : expected) {
        SetTempo(&m, e[0]);
        EXPECT_EQ(m.samplesPerTick, e[1]) << "BPM " << e[0];
    }
    for (int32_t bpm = 1; bpm <= 255; ++bpm) {
        SetTempo(&m, bpm);
        ASSERT_EQ(m.samplesPerTick, 44100 * 5 / (2 * bpm)) << "BPM " << bpm;
        ASSERT_EQ(m.bpm, bpm);
    }
}

TEST(Player, NoteFrequencyAndArpeggio)
{
    WriterSong song = OneChannelSong();
    Cell(song, 0, 0, 0) = {49, 1, 0, 0x00, 0x47};  // C-4, arpeggio 4/7
    XmModule* m = Start(song);
    const XmVoice& v = Voices[0];

    PlayerTick(m);  // row 0, tick 0: the note itself
    EXPECT_EQ(Channels[0].period, 4608);
    EXPECT_EQ(v.stepInteger, 0u);
    EXPECT_EQ(v.stepFraction, 814485521u);
    EXPECT_EQ(v.sample, m->instruments[0].samples[0]);

    PlayerTick(m);  // tick 1: +4 semitones
    EXPECT_EQ(Channels[0].pitchOffset, 256);
    EXPECT_EQ(v.stepFraction, StepFraction(10536));

    PlayerTick(m);  // next row: the base note again
    EXPECT_EQ(Channels[0].pitchOffset, 0);
    EXPECT_EQ(v.stepFraction, 814485521u);
    FreeModule(m);
}

TEST(Player, VibratoFollowsTheSineTable)
{
    XmChannel c = {};
    c.vibratoPosition = 16;
    c.vibratoDepth = 8;
    VibratoStep(&c);
    EXPECT_EQ(c.pitchOffset, -60);  // (255 * 8) >> 5 = 63, low bits cleared

    WriterSong song = OneChannelSong();
    Cell(song, 0, 0, 0) = {49, 1, 0, 0x04, 0x88};  // speed 8, depth 8
    for (int row = 1; row < 6; ++row)
        Cell(song, 0, row, 0).effect = 0x04;  // parameter 0: keep speed and depth
    XmModule* m = Start(song);
    const int32_t expected[12] = {
        0, 0,      // position 0 on both ticks, then 8
        -44, -44,  // 8: (181 * 8) >> 5 = 45 -> 44; then 16
        -60, -60,  // 16; then 24
        -44, -44,  // 24; then 32, which wraps to -32
        0, 0,      // -32: sin(-pi); then -24
        44, 44,    // -24: the other half of the cycle
    };
    for (int tick = 0; tick < 12; ++tick) {
        PlayerTick(m);
        EXPECT_EQ(Channels[0].pitchOffset, expected[tick]) << "tick " << tick;
    }
    FreeModule(m);
}

TEST(Player, Portamentos)
{
    WriterSong song = OneChannelSong();
    song.speed = 4;
    Cell(song, 0, 0, 0) = {49, 1, 0, 0x01, 0x02};  // up 2: period -8 on later ticks
    Cell(song, 0, 1, 0) = {96, 0, 0, 0x01, 0xFF};  // B-7, up fast: stops at 56
    Cell(song, 0, 2, 0) = {49, 0, 0, 0x02, 0x40};  // down: no upper bound
    Cell(song, 0, 3, 0) = {51, 0, 0, 0x03, 0x08};  // tone porta towards D-4 (4480)
    Cell(song, 0, 4, 0) = {0, 0, 0, 0x03, 0x00};
    XmModule* m = Start(song);
    const int32_t period[20] = {
        4608, 4600, 4592, 4584,  // row 0
        1600, 580, 56, 56,       // row 1
        4608, 4864, 5120, 5376,  // row 2
        5376, 5344, 5312, 5280,  // row 3: no jump, no restart; 32 a tick towards 4480
        5280, 5248, 5216, 5184,  // row 4
    };
    for (int tick = 0; tick < 20; ++tick) {
        PlayerTick(m);
        EXPECT_EQ(Channels[0].period, period[tick]) << "tick " << tick;
    }
    EXPECT_EQ(Channels[0].portaTarget, 4480);

    // Tone portamento stops at its target.
    Channels[0].period = 4490;
    Channels[0].tonePortaSpeed = 8;
    TonePortaStep(&Channels[0]);
    EXPECT_EQ(Channels[0].period, 4480);
    FreeModule(m);
}

TEST(Player, VolumeColumn)
{
    WriterSong song = OneChannelSong();
    song.speed = 3;
    Cell(song, 0, 0, 0) = {49, 1, 0x10 + 30};  // volume 30
    Cell(song, 0, 1, 0).volume = 0x92;         // fine slide up 2: row tick only
    Cell(song, 0, 2, 0).volume = 0x62;         // slide down 2: every tick
    Cell(song, 0, 3, 0).volume = 0xC4;         // panning 64
    Cell(song, 0, 4, 0).volume = 0xEF;         // panning slide, carried past 255 later
    Cell(song, 0, 5, 0) = {51, 0, 0xF8};       // tone portamento in the column
    XmModule* m = Start(song);
    const int32_t volume[9] = {30, 30, 30, 32, 32, 32, 30, 28, 26};
    for (int tick = 0; tick < 9; ++tick) {
        PlayerTick(m);
        EXPECT_EQ(Channels[0].volume, volume[tick]) << "tick " << tick;
    }
    EXPECT_EQ(Voices[0].mixVolume, 26 * 255 / 128);

    PlayerTick(m);
    EXPECT_EQ(Channels[0].panning, 64);
    EXPECT_EQ(Voices[0].mixPanning, 64);
    Channels[0].panning = 250;
    for (int tick = 0; tick < 3; ++tick)
        PlayerTick(m);  // the rest of row 3, then row 4's row tick: +15
    PlayerTick(m);  // and its later tick: +15 again
    EXPECT_EQ(Channels[0].panning, 280);
    EXPECT_EQ(Voices[0].mixPanning, 255);  // clamped when pushed

    // Row 5: the pitch jumps to D-4 at once; the sample is not restarted.
    Voices[0].position = 5;
    for (int tick = 0; tick < 2; ++tick)
        PlayerTick(m);
    EXPECT_EQ(Channels[0].period, 4480);
    EXPECT_EQ(Voices[0].position, 5u);
    FreeModule(m);
}

TEST(Player, KeyOffPanningAndMissingInstruments)
{
    WriterSong song = OneChannelSong();
    song.speed = 1;
    song.instruments[0].samples[0].panning = 128;
    Cell(song, 0, 0, 0) = {49, 1, 0, 0x08, 0xFF};  // full volume, panned left
    Cell(song, 0, 1, 0) = {97, 0};                 // key-off
    Cell(song, 0, 2, 0) = {0, 1};                  // instrument alone: audible again
    Cell(song, 0, 3, 0) = {0, 0, 0, 0x14, 0x33};   // effect K: key-off, parameter ignored
    Cell(song, 0, 4, 0) = {49, 5};                 // instrument 5 of 1: no sample
    XmModule* m = Start(song);
    const XmVoice& v = Voices[0];

    PlayerTick(m);
    EXPECT_EQ(v.mixVolume, 127);
    EXPECT_EQ(v.targetLeft, 127);  // 255 is left
    EXPECT_EQ(v.targetRight, 0);
    PlayerTick(m);
    EXPECT_EQ(v.mixVolume, 0);
    EXPECT_EQ(v.targetLeft, 0);
    PlayerTick(m);
    EXPECT_EQ(v.mixVolume, 127);
    EXPECT_EQ(v.mixPanning, 128);  // the sample's panning again
    PlayerTick(m);
    EXPECT_EQ(v.mixVolume, 0);

    PlayerTick(m);
    EXPECT_EQ(v.sample, &EmptySample);
    float out[8] = {};
    MixVoices(out, 4);
    EXPECT_EQ(v.sample, nullptr);  // stopped by the next mixing call
    FreeModule(m);
}

TEST(Player, OrderWrapAndSpeedZero)
{
    WriterSong song = OneChannelSong(1, 2);
    song.orders = {0, 1, 2};
    song.restartPosition = 1;
    song.speed = 1;
    song.patterns.resize(3, song.patterns[0]);
    XmModule* m = Start(song);
    const int32_t expected[9][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1},
                                    {1, 0}, {1, 1}, {2, 0}};  // after the last order: order 1
    for (const auto& e : expected) {
        PlayerTick(m);
        EXPECT_EQ(m->order, e[0]);
        EXPECT_EQ(m->row, e[1]);
    }
    FreeModule(m);

    song = OneChannelSong(1, 8);
    song.speed = 4;
    Cell(song, 0, 0, 0) = {0, 0, 0, 0x0F, 0x00};  // speed 0: every tick reads a row
    m = Start(song);
    for (int tick = 0; tick < 5; ++tick) {
        PlayerTick(m);
        EXPECT_EQ(m->row, tick);
        EXPECT_EQ(m->tick, 0);
    }
    FreeModule(m);

    song = OneChannelSong();
    Cell(song, 0, 0, 0) = {0, 0, 0, 0x0F, 125};  // a tempo
    m = Start(song);
    PlayerTick(m);
    EXPECT_EQ(m->samplesPerTick, 882);
    FreeModule(m);
}

}  // namespace
