// The music: loader, mixer, player, audio ring and the song linked into the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "music/audio_ring.h"
#include "music/player.h"
#include "platform/audio_output.h"
#include "test_files.h"
#include "xm_writer.h"

typedef std::vector<int32_t> Ints;
typedef std::vector<float> Floats;
typedef std::vector<uint8_t> Bytes;

// Loads bytes through the image reader; null (with ModuleLoadError) when refused.
static XmModule* LoadBytes(const Bytes& bytes)
{
    SetModuleImage(bytes.data(), uint32_t(bytes.size()));
    InstallImageReader();
    return LoadModule(nullptr);
}

// `channels` channels, one pattern of `rows` empty rows, one instrument whose sample is
// the ramp -64, -60, ... 60 looped whole; speed 2, 208 BPM, linear table.
static WriterSong OneChannelSong(int channels = 1, int rows = 64)
{
    WriterSample ramp = {{}, false, 1, 0, 32};
    for (int i = 0; i < 32; ++i) ramp.values.push_back(int16_t(i * 4 - 64));
    // name, tracker, version, header size, restart, channels, flags, speed, BPM, orders, ...
    return {"", "", 0x0104, 276, 0, uint16_t(channels), 1, 2, 208, {0},
            {{rows, std::vector<WriterCell>(size_t(rows) * channels)}}, {{"ramp", {ramp}}}};
}

// --- Loader ---
// Orders 0, 1, 3 (3 not stored), pattern 1 packed empty; instruments: these samples, none, again.
static WriterSong RichSong()
{
    WriterSong song = OneChannelSong(2, 4);
    song.restartPosition = 1;
    song.orders = {0, 1, 3};
    song.patterns.push_back({8, {}});
    // Rows of two cells: all five fields written raw; key-off; an instrument above 128.
    song.patterns[0].cells = {{49, 1, 0x30, 0x0F, 0x03}, {}, {}, {97}, {0, 200, 0, 4, 0x21}, {}, {}, {0, 0, 0xC8}};
    WriterInstrument in = {"", {
        {{16, 32, 16}, false, 0, 0, 32},  // deltas 0x10, 0x10, 0xF0; no loop, whatever its length
        {{1, 2, 3, 4, 5, 6, 7, 8}, false, 1, 2, 4},           // forward loop 2..6
        {{1, 2, 3, 4, 5, 6, 7, 8}, false, 2, 2, 4},           // ping-pong 2..6
        {{1000, -1000, 30000, -30000, 5, 6}, true, 1, 1, 4},  // 16-bit: byte lengths halved
        {{1, 2, 3, 4, 5, 6, 7, 8}, false, 1, 2, 0}}};         // loop bit with loop length 0
    in.noteSample[48] = 3;
    song.instruments = {in, {}, in};
    song.instruments[1].headerSize = 263;
    return song;
}

TEST(Loader, ReadsWhatTheFileHolds)
{
    XmModule* m = LoadBytes(WriteXm(RichSong()));
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    EXPECT_EQ((Ints{m->songLength, m->restartPosition, m->channelCount, m->referencedPatterns,
                    m->patternSlots, m->instrumentCount, m->flags, m->defaultSpeed, m->defaultBpm,
                    m->initialGlobalVolume, m->orders[2]}), (Ints{3, 1, 2, 4, 4, 3, 1, 2, 208, 64, 3}));
    ASSERT_TRUE(m->patterns[0].rows == 4 && m->patterns[1].rows == 8);
    // 97 is stored as key-off, instrument 200 dropped.
    const uint8_t cells[8][5] = {{49, 1, 0x30, 0x0F, 0x03}, {}, {}, {255}, {0, 0, 0, 4, 0x21}, {}, {}, {0, 0, 0xC8}};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(0, std::memcmp(&m->patterns[0].cells[i], cells[i], 5)) << "cell " << i;
    const XmCell* empty = m->patterns[1].cells;  // packed size 0: empty
    EXPECT_TRUE(std::all_of(empty, empty + 16, [](const XmCell& c) { return c.note == 0 && c.effect == 0; }));
    EXPECT_TRUE(m->patterns[2].rows == 64 && m->patterns[3].rows == 64);  // slots not in the file
    for (int which : {0, 2}) {  // the third instrument is read correctly after the empty one
        const XmSample* const* s = m->instruments[which].samples;
        ASSERT_EQ(m->instruments[which].sampleCount, 5);
        EXPECT_EQ(m->instruments[which].noteSample[48], 3);
        const int16_t values[11] = {0x1000, 0x2000, 0x1000};  // then zeros after the end
        EXPECT_EQ(0, std::memcmp(s[0]->data, values, sizeof values));
        Ints loops;  // type, start, length of each
        for (int k = 0; k < 5; ++k)
            loops.insert(loops.end(), {s[k]->loopType, int32_t(s[k]->loopStart), int32_t(s[k]->loopLength)});
        EXPECT_EQ(loops, (Ints{LoopNone, 0, 3, LoopForward, 2, 4, LoopPingPong, 2, 4, LoopForward, 1, 4, LoopNone, 0, 8}));
        // The guards after the loops: its start, its last value.
        EXPECT_TRUE(s[1]->data[6] == s[1]->data[2] && s[2]->data[6] == s[2]->data[5]);
        EXPECT_TRUE(s[3]->bits == 16 && s[3]->length == 6 && s[3]->data[2] == 30000 && s[3]->data[3] == -30000);
    }
    EXPECT_EQ(m->instruments[1].sampleCount, 0);
    for (int k = 5; k < 32; ++k)
        EXPECT_EQ(m->instruments[k / 16].samples[k % 16], &EmptySample) << k;
    EXPECT_TRUE(FreeModule(m) && !FreeModule(nullptr));
}

TEST(Loader, RepairsWhatTrustedPlayersRepair)
{
    WriterSong song = OneChannelSong();
    song.restartPosition = 5;  // past the song's end: restarts at 0
    // A loop past the end of the 32 values: clamped to it; one starting past it: none.
    const WriterSample ramp = song.instruments[0].samples[0];
    song.instruments[0].samples = {{ramp.values, false, 1, 20, 100}, {ramp.values, false, 1, 40, 100},
                                   {{7, 8, 9}, true}, ramp};
    Bytes bytes = WriteXm(song);
    const size_t header = 60 + 276 + 9 + 64 + 263 + 2 * 40;  // the 16-bit sample's length
    ASSERT_EQ(bytes[header], 6);
    bytes[header] = 7;  // 7 bytes: 3 values and a stray byte
    bytes.insert(bytes.begin() + std::ptrdiff_t(header + 2 * 40 + 32 + 32 + 6), 0x55);
    XmModule* m = LoadBytes(bytes);
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    const XmSample* const* s = m->instruments[0].samples;
    // The restart at 0, the clamped loop, no loop; 3 values; the sample after the stray byte intact.
    EXPECT_EQ((Ints{m->restartPosition, int32_t(s[0]->loopStart), int32_t(s[0]->loopLength), s[1]->loopType,
                    int32_t(s[1]->loopLength), int32_t(s[2]->length), s[2]->data[2], s[3]->data[31]}),
              (Ints{0, 20, 12, LoopNone, 32, 3, 9, 60 << 8}));
    FreeModule(m);
    song = OneChannelSong();  // a short header holds fewer orders: the rest read as 0
    song.orders = {0, 0, 0, 0};
    song.headerSize = 22;  // two orders
    m = LoadBytes(WriteXm(song));
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    EXPECT_TRUE(m->songLength == 4 && m->orders[3] == 0 && m->patterns[0].rows == 64);
    FreeModule(m);
}

// In a OneChannelSong file the pattern header is at 336, the instrument at 409, its sample at 672.
TEST(Loader, RefusesFilesThatLieWithTheReason)
{
    const struct { const char* reason; void (*song)(WriterSong&); void (*bytes)(Bytes&); } cases[] = {
        {"signature", nullptr, [](Bytes& b) { b[3] = 'x'; }},
        {"channel count", [](WriterSong& s) { s.channels = 0; }, nullptr},
        {"channel count", [](WriterSong& s) { s.channels = 33; }, nullptr},
        {"song length", [](WriterSong& s) { s.orders.clear(); }, nullptr},
        {"song length", nullptr, [](Bytes& b) { b[64] = 1; b[65] = 1; }},  // 257
        {"header size is too small", nullptr, [](Bytes& b) { b[60] = 19; b[61] = 0; }},
        {"header runs past", nullptr, [](Bytes& b) { b[62] = 0x7F; }},
        {"tempo", [](WriterSong& s) { s.bpm = 0; }, nullptr},
        {"row count", nullptr, [](Bytes& b) { b[336 + 5] = 0; }},
        {"row count", nullptr, [](Bytes& b) { b[336 + 5] = 1; b[336 + 6] = 1; }},
        {"packed data", nullptr, [](Bytes& b) { b[336 + 7] = 10; }},  // cells left unfilled
        {"more than 16 samples", [](WriterSong& s) { s.instruments[0].samples.resize(17); }, nullptr},
        {"header size is too small", nullptr, [](Bytes& b) { b[409] = 3; b[410] = 0; }},
        {"too small for its samples", nullptr, [](Bytes& b) { b[409] = 100; b[410] = 0; }},
        {"longer than the file", nullptr, [](Bytes& b) { b[672 + 2] = 0x10; }},
        {"sample data runs past", nullptr, [](Bytes& b) { b.resize(b.size() - 1); }},
        {"128 instruments", nullptr, [](Bytes& b) { b[72] = 129; }},
    };
    for (const auto& c : cases) {
        WriterSong song = OneChannelSong();
        if (c.song) c.song(song);
        Bytes bytes = WriteXm(song);
        if (c.bytes) c.bytes(bytes);
        const bool refused = LoadBytes(bytes) == nullptr && ModuleLoadError != nullptr;
        EXPECT_TRUE(refused && std::strstr(ModuleLoadError, c.reason)) << c.reason << ": "
                                                                       << (refused ? ModuleLoadError : "");
    }
    const Bytes whole = WriteXm(RichSong());  // every cut of a valid file is refused
    for (size_t size = 0; size < whole.size(); ++size)
        ASSERT_EQ(LoadBytes(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(size))), nullptr) << "cut at " << size;
    EXPECT_FALSE(InstallModuleReader(ImageOpen, ImageClose, ImageRead, nullptr, ImageTell));
    EXPECT_TRUE(!ModuleReaderInstalled() && LoadModule(nullptr) == nullptr);
}

// --- Mixer ---
// n values i * scale + offset as the loader leaves them: the guard value at the loop end
// (the loop start for forward loops, the last loop value for ping-pong), then 8 zeros.
struct TestSample {
    std::vector<int16_t> data;
    XmSample s;
    TestSample(int n, int scale, int offset, uint8_t loopType, uint32_t loopStart = 0, uint32_t loopLength = 0)
    {
        for (int i = 0; i < n + 8; ++i) data.push_back(int16_t(i < n ? i * scale + offset : 0));
        const uint32_t end = loopStart + loopLength;
        if (loopType != LoopNone) data[end] = data[loopType == LoopForward ? loopStart : end - 1];
        s = {data.data(), uint32_t(n), loopStart, loopType == LoopNone ? uint32_t(n) : loopLength};
        s.loopType = loopType;
    }
};

// Voice 0 plays the sample from its start at full gain, or ramps the left gain 0 -> `rampTo`.
static XmVoice& Play(const TestSample& t, uint32_t step = 1, uint32_t fraction = 0, int rampTo = -1)
{
    SetOutputRate(44100);  // clears every voice
    XmVoice& v = Voices[0];
    v.sample = &t.s;
    v.stepInteger = step;
    v.stepFraction = fraction;
    v.gainLeft = v.gainRight = v.targetRight = rampTo < 0 ? 255 : 0;
    v.targetLeft = uint8_t(rampTo < 0 ? 255 : rampTo);
    return v;
}

// Mixes the frames; the left channel (the right one too, when asked).
static Floats Mix(int frames, Floats* right = nullptr)
{
    Floats out(size_t(frames) * 2, 0.0f), left;
    MixVoices(out.data(), frames);
    for (int f = 0; f < frames; ++f) {
        left.push_back(out[2 * f]);
        if (right) right->push_back(out[2 * f + 1]);
    }
    return left;
}

// The values at the frames, each the first of a pair: frame, value.
static void ExpectFrames(const Floats& got, const Floats& frameValuePairs, float tolerance)
{
    for (size_t i = 0; i + 1 < frameValuePairs.size(); i += 2)
        EXPECT_NEAR(got[size_t(frameValuePairs[i])], frameValuePairs[i + 1], tolerance) << frameValuePairs[i];
}

TEST(Mixer, LoopsForwardAndPingPongAndTheEnd)
{
    TestSample forward(40, 10, 1000, LoopForward, 2, 38);  // frames 0..39, then 2..39 again and again
    Play(forward);
    ExpectFrames(Mix(120), {0, 1000, 39, 1390, 40, 1020, 77, 1390, 78, 1020, 119, 1050}, 1e-3f);
    TestSample small(14, 1, 0, LoopForward, 10, 3);  // a step of 7 over a loop of 3: back by 3s
    Play(small, 7);
    ExpectFrames(Mix(8), {0, 0, 1, 7, 2, 11, 3, 12, 4, 10, 5, 11, 6, 12, 7, 10}, 1e-4f);
    // Step 1 + 2^-24 (8.24: 2^24 + 1); three frames from 3 (2^24 + 1) 8.24 units and 254/2^32
    // before the loop end land 254/2^32 short of it: the run still loops.
    TestSample ten(16, 100, 0, LoopForward, 0, 10);
    XmVoice& v = Play(ten, 1, 256);
    const uint64_t start = (uint64_t(10) << 32) - ((uint64_t(3) * ((1u << 24) + 1)) * 256 + 254);
    v.position = uint32_t(start >> 32);
    v.fraction = uint32_t(start);
    // From 700 less a hair; just before the end the guard (the start, 0); round the loop again.
    ExpectFrames(Mix(40), {0, 700, 3, 0, 4, 100}, 0.5f);
    EXPECT_NE(v.sample, nullptr);
    TestSample once(100, 3, 10, LoopNone);
    Play(once, 0).position = 10;  // standing still, halfway between S[10] and S[11]
    Voices[0].fraction = 0x80000000u;
    EXPECT_NEAR(Mix(1)[0], (40 + 43) / 2.0, 1e-4);
    Play(once, 2);  // 100 samples at step 2.0: exactly 50 frames, then silence
    ExpectFrames(Mix(80), {0, 10, 1, 16, 49, 304, 50, 0, 79, 0}, 1e-4f);
    EXPECT_TRUE(Voices[0].sample == nullptr && Voices[0].position == 0);
    Voices[0].sample = &EmptySample;  // no data: stops at the first segment
    EXPECT_EQ(Mix(4)[0], 0.0f);
    EXPECT_EQ(Voices[0].sample, nullptr);
    TestSample t(10, 100, 0, LoopPingPong, 4, 4);  // loop 4..8: forward to 7, back reading just
    Play(t);                                       // below each value, forward again from 4
    ExpectFrames(Mix(24), {0, 0, 7, 700, 8, 700, 9, 700, 10, 600, 11, 500, 12, 400, 13, 500, 15, 700,
                           16, 700, 17, 700, 18, 600, 20, 400, 23, 700}, 0.01f);
    EXPECT_NE(Voices[0].sample, nullptr);
    TestSample zero(4, 1000, 500, LoopPingPong, 0, 4);  // at loop start 0: never before the data
    Play(zero, 1, 0x40000000u);
    for (float f : Mix(200))
        ASSERT_TRUE(f >= 500.0f - 1e-3f && f <= 3500.0f + 1e-3f) << f;
}

TEST(Mixer, RampsAcrossSegmentsAndCalls)
{
    // 0 -> 127 over 128 frames: frame f at 1000 * f * 127 / (255 * 128), then 1000 * 127 / 255.
    TestSample flat(200, 0, 1000, LoopForward, 0, 200);
    XmVoice& v = Play(flat, 1, 0, 127);
    Floats right;
    ExpectFrames(Mix(190, &right), {0, 0, 64, 249.02f, 127, 494.15f, 128, 498.04f, 189, 498.04f}, 1e-2f);
    EXPECT_EQ(right, Floats(190, 0.0f));
    EXPECT_TRUE(v.gainLeft == 127 && v.rampFrames == 0);
    // A loop ends a segment; the next goes on from the stored gain byte, round(50 * 127 / 128)
    // = 50, and 127 / (255 * 128) more a frame. So does the next call: round(50 + 2 * 127 / 128).
    TestSample fifty(200, 0, 1000, LoopForward, 0, 50);
    XmVoice& w = Play(fifty, 1, 0, 127);
    ExpectFrames(Mix(52), {50, 1000 * 50 / 255.0f, 51, 199.97f}, 1e-2f);
    ExpectFrames(Mix(2), {0, 1000 * 52 / 255.0f}, 1e-2f);
    EXPECT_EQ(w.rampFrames, 128 - 54);
    XmVoice& x = Play(flat, 1, 0, 127);  // a new target during a ramp: a new ramp from there
    Mix(64);
    x.targetLeft = 0;
    Mix(1);
    EXPECT_TRUE(x.rampFrames == 127 && x.rampStepLeft < 0.0f);
}

// --- Player ---
// A one-channel song at `speed` whose rows start with these cells, loaded and reset at 44100
// as StartPlayback does.
static XmModule* Start(int speed, const std::vector<WriterCell>& cells)
{
    WriterSong song = OneChannelSong();
    song.speed = uint16_t(speed);
    std::copy(cells.begin(), cells.end(), song.patterns[0].cells.begin());
    XmModule* m = LoadBytes(WriteXm(song));
    EXPECT_NE(m, nullptr) << ModuleLoadError;
    SetOutputRate(44100);
    ResetSong(m);
    return m;
}

// Runs ticks; channel 0's field after each.
static Ints Trace(XmModule* m, int ticks, int32_t XmChannel::*field)
{
    Ints values;
    for (int t = 0; t < ticks; ++t, values.push_back(Channels[0].*field))
        PlayerTick(m);
    return values;
}

TEST(Player, PitchNoteArpeggioVibratoAndPortamentos)
{
    XmModule* m = Start(2, {{49, 1, 0, 0x00, 0x47}});  // C-4, arpeggio 4/7
    // C-4: period 7680 - 48 * 64 = 4608, 8363 Hz, 8363 * 2^32 / 44100 = 814485521 a frame. Tick
    // 1: 4 semitones up (offset 256), 8363 * 2^(4/12) = 10536 Hz: 1026117356. Next row: the note.
    std::vector<uint32_t> ticks;  // period, offset, step (integer, fraction) after each tick
    for (int t = 0; t < 3; ++t) {
        PlayerTick(m);
        const XmChannel& c = Channels[0];
        ticks.insert(ticks.end(), {uint32_t(c.period), uint32_t(c.pitchOffset), c.voice->stepInteger, c.voice->stepFraction});
    }
    EXPECT_EQ(ticks, (std::vector<uint32_t>{4608, 0, 0, 814485521u, 4608, 256, 0, 1026117356u, 4608, 0, 0,
                                            814485521u}));
    EXPECT_EQ(Voices[0].sample, m->instruments[0].samples[0]);
    FreeModule(m);
    m = Start(2, {{49, 1, 0, 0x04, 0x88}, {0, 0, 0, 4}, {0, 0, 0, 4}, {0, 0, 0, 4}, {0, 0, 0, 4}, {0, 0, 0, 4}});
    // Speed 8, depth 8, then kept: positions 0, 8, 16, 24, -32 (32 wraps), -24, two ticks each;
    // (sine * 8) >> 5 with the low bits cleared: 181 -> 45 -> 44, 255 -> 63 -> 60.
    EXPECT_EQ(Trace(m, 12, &XmChannel::pitchOffset), (Ints{0, 0, -44, -44, -60, -60, -44, -44, 0, 0, 44, 44}));
    FreeModule(m);
    m = Start(4, {{49, 1, 0, 0x01, 0x02},   // up 2: period -8 on later ticks
                  {96, 0, 0, 0x01, 0xFF},   // B-7, up fast: stops at 56
                  {49, 0, 0, 0x02, 0x40},   // down: no upper bound
                  {51, 0, 0, 0x03, 0x08},   // tone porta towards D-4 (4480): no jump, no restart; 32
                  {0, 0, 0, 0x03, 0x60}});  // a tick, then 384, stopping at the target
    EXPECT_EQ(Trace(m, 20, &XmChannel::period), (Ints{4608, 4600, 4592, 4584, 1600, 580, 56, 56,
                                                      4608, 4864, 5120, 5376, 5376, 5344, 5312, 5280,
                                                      5280, 4896, 4512, 4480}));
    EXPECT_EQ(Channels[0].portaTarget, 4480);
    FreeModule(m);
}

TEST(Player, VolumeColumnKeyOffAndMissingInstruments)
{
    XmModule* m = Start(3, {{49, 1, 0x10 + 30},  // volume 30
                            {0, 0, 0x92},        // fine slide up 2: row tick only
                            {0, 0, 0x62},        // slide down 2: every tick
                            {0, 0, 0xC4},        // panning 64
                            {0, 0, 0xEF},        // panning slide, carried past 255 later
                            {51, 0, 0xF8}});     // tone portamento in the column
    EXPECT_EQ(Trace(m, 9, &XmChannel::volume), (Ints{30, 30, 30, 32, 32, 32, 30, 28, 26}));
    EXPECT_EQ(Voices[0].mixVolume, 26 * 255 / 128);
    PlayerTick(m);
    EXPECT_TRUE(Channels[0].panning == 64 && Voices[0].mixPanning == 64);
    Channels[0].panning = 250;
    Trace(m, 4, &XmChannel::panning);  // the rest of row 3, row 4's row tick (+15) and a later one
    EXPECT_TRUE(Channels[0].panning == 280 && Voices[0].mixPanning == 255);  // clamped when pushed
    Voices[0].position = 5;  // row 5: the pitch jumps to D-4 at once; the sample goes on
    Trace(m, 2, &XmChannel::period);
    EXPECT_TRUE(Channels[0].period == 4480 && Voices[0].position == 5);
    FreeModule(m);
    m = Start(1, {{49, 1, 0, 0x08, 0xFF},  // full volume, panned left (255)
                  {97},                    // key-off
                  {0, 1},                  // instrument alone: audible again, the sample's panning
                  {0, 0, 0, 0x14, 0x33},   // effect K: key-off, parameter ignored
                  {49, 5}});               // instrument 5 of 1: no sample
    const XmVoice& v = Voices[0];
    // mixVolume, mixPanning, and the gains trunc(volume * panning / 255) and the rest
    for (const Ints& row : {Ints{127, 255, 127, 0}, {0, 255, 0, 0}, {127, 128, 63, 63}, {0, 128, 0, 0}}) {
        PlayerTick(m);
        EXPECT_EQ((Ints{v.mixVolume, v.mixPanning, v.targetLeft, v.targetRight}), row);
    }
    PlayerTick(m);
    EXPECT_EQ(v.sample, &EmptySample);
    Mix(4);
    EXPECT_EQ(v.sample, nullptr);  // stopped by the next mixing call
    FreeModule(m);
}

TEST(Player, OrderWrapSpeedZeroAndTempo)
{
    WriterSong song = OneChannelSong(1, 2);
    song.orders = {0, 1, 2};
    song.restartPosition = 1;
    song.speed = 1;
    song.patterns.resize(3, song.patterns[0]);
    XmModule* m = LoadBytes(WriteXm(song));
    ResetSong(m);
    Ints positions;  // order * 10 + row; after the last order, order 1 again
    for (int t = 0; t < 9; ++t, positions.push_back(m->order * 10 + m->row))
        PlayerTick(m);
    EXPECT_EQ(positions, (Ints{0, 1, 10, 11, 20, 21, 10, 11, 20}));
    FreeModule(m);
    m = Start(4, {{0, 0, 0, 0x0F, 0x00},   // speed 0: every tick reads a row
                  {0, 0, 0, 0x0F, 125}});  // a tempo: 44100 * 5 / (2 * 125) = 882 frames a tick
    positions.clear();  // row * 10 + tick
    for (int t = 0; t < 5; ++t, positions.push_back(m->row * 10 + m->tick))
        PlayerTick(m);
    EXPECT_EQ(positions, (Ints{0, 10, 20, 30, 40}));
    EXPECT_EQ(m->samplesPerTick, 882);
    FreeModule(m);
}

// --- Audio ring ---
TEST(AudioRing, TicksStartAcrossBlockBoundaries)
{
    XmModule* m = LoadBytes(WriteXm(OneChannelSong()));  // 208 BPM: 530 frames a tick
    ASSERT_TRUE(OpenAudioOutput(44100));
    ASSERT_TRUE(StartPlayback(m));  // all 100 blocks rendered once: 166 ticks and 420 frames
    EXPECT_EQ((Ints{m->samplesLeft, WriteBlock}), (Ints{530 - 420, 0}));
    ResetSong(m);
    WriteBlock = 0;
    RenderBlock();  // tick 1 whole, then 354 frames of tick 2 (speed 2: row 0)
    EXPECT_EQ((Ints{m->samplesLeft, m->row, WriteBlock}), (Ints{176, 0, 1}));
    RenderBlock();  // 176 of tick 2, tick 3 whole, 178 of tick 4
    EXPECT_EQ((Ints{m->samplesLeft, m->row, WriteBlock}), (Ints{530 - 178, 1, 2}));
    EXPECT_TRUE(StopPlayback(m) && CurrentModule == nullptr);
    EXPECT_FALSE(StartPlayback(nullptr) || StopPlayback(nullptr));
    FreeModule(m);
}

TEST(AudioRing, ConversionAndWhichBlocksAreRendered)
{
    // Round half to even, saturate; enough values for the vector path and the scalar tail.
    const float in[22] = {32767.6f, 40000.0f, -40000.0f, 2.5f, 3.5f, -2.5f, -3.5f, 0.49f, -32768.4f, -32769.0f, 1e30f,
                          -1e30f, 0.5f, 1.5f, 32767.6f, 40000.0f, -40000.0f, 2.5f, 3.5f, -2.5f, -0.5f, 100.5f};
    const int16_t expected[22] = {32767, 32767, -32768, 2, 4, -2, -4, 0, -32768, -32768, 32767,
                                  -32768, 0, 2, 32767, 32767, -32768, 2, 4, -2, 0, 100};
    int16_t out[22];
    ConvertBlock(out, in, 11);
    EXPECT_EQ(std::vector<int16_t>(out, out + 22), std::vector<int16_t>(expected, expected + 22));
    SetOutputRate(44100);
    const struct { int32_t play, write; Ints rendered; } polls[] = {
        {0, 99, {99}}, {1, 98, {98, 99, 0}}, {5, 2, {2, 3, 4}}, {7, 7, {}}, {0, 0, {}},
        {5, 98, {98, 99, 0, 1, 2, 3, 4}},  // held up past the ring's end: round it at once
    };
    for (const auto& p : polls) {
        Ints blocks;
        for (int32_t w = p.write; ShouldRenderBlock(p.play, w) && blocks.size() < 200; w = (w + 1) % 100)
            blocks.push_back(w);
        EXPECT_EQ(blocks, p.rendered) << p.play << " " << p.write;
    }
    EXPECT_EQ((Ints{PlayBlockAt(0), PlayBlockAt(884 * 4 - 4), PlayBlockAt(884 * 4),
                    PlayBlockAt(88400 * 4 * 3 + 884 * 4 * 42)}), (Ints{0, 0, 1, 42}));  // three laps on
    // The device's 32-bit byte counter wraps after about 6.8 hours; the position goes on:
    // 0x100001000 bytes = 1073742848 frames, 36448 into the ring: block 41 (not block 1).
    PlayedBytes played = {};
    const uint64_t before = AdvancePlayedBytes(played, 0xFFFFF000u), after = AdvancePlayedBytes(played, 0x1000u);
    EXPECT_TRUE(before == 0xFFFFF000u && after == 0x100001000ull && PlayBlockAt(after) == 41) << after;
}

// --- Renders pinned at the effects' edges ---
// FNV-1a, 64 bits, going on from h.
uint64_t Fnv(const void* data, size_t size, uint64_t h = 0xCBF29CE484222325ull)
{
    for (size_t i = 0; i < size; ++i) h = (h ^ static_cast<const uint8_t*>(data)[i]) * 0x100000001B3ull;
    return h;
}

// The digest of the first `frames` frames as the game plays them: the ring StartPlayback
// fills, then block after block as the audio thread renders them (xm2wav's order).
static uint64_t RenderDigest(XmModule* m, uint64_t frames)
{
    if (!m || !OpenAudioOutput(44100) || !StartPlayback(m)) return 0;
    uint64_t h = Fnv(WaveRing, size_t(std::min(frames, uint64_t(RingFrames))) * 4);
    for (uint64_t done = uint64_t(RingFrames); done < frames; done += uint64_t(BlockFrames)) {
        const int16_t* block = WaveRing + size_t(WriteBlock) * size_t(BlockFrames) * 2;
        RenderBlock();
        h = Fnv(block, size_t(std::min(frames - done, uint64_t(BlockFrames))) * 4, h);
    }
    FreeModule(m);
    return h;
}

// Instrument 1's only sample: 3000 values of an uneven saw, 8- or 16-bit, with this loop.
static void Saw(WriterSong& s, bool sixteen, uint8_t loop, uint32_t start, uint32_t length)
{
    WriterSample w = {{}, sixteen, loop, start, length};
    for (int i = 0; i < 3000; ++i)
        w.values.push_back(int16_t(sixteen ? i * 7919 % 60000 - 30000 : i * 37 % 251 - 125));
    s.instruments[0].samples = {w};
}

// The notes the loops are played at, 8480 frames each: C-0 (a step of 1/84), C-4, B-7 (2.9),
// vibrato, portamentos up and down, an arpeggio at half volume, C-2.
static const std::vector<WriterCell> LoopNotes = {{1, 1}, {49, 1}, {96, 1}, {85, 1, 0, 4, 0xF8}, {70, 1, 0, 1, 0x10},
                                                  {60, 1, 0, 2, 0x08}, {96, 1, 0x30, 0, 0x37}, {25, 1}};

// Every row: one channel, the ring's 2 s (88,400 frames) rendered through RenderBlock. The
// digests pin what the player and the mixer compute today (the native and the Windows builds
// give the same); each row takes an effect or a volume-column command to its edges.
TEST(Render, SmallSongsAtTheEffectsEdges)
{
    struct Row { uint64_t digest; int speed; std::vector<WriterCell> cells; void (*edit)(WriterSong&) = nullptr; };
    const Row songs[] = {
        {0x2E82FE31CA9595BDull, 6,  // 0xy on ticks 0, 1, 2 of speed 6; 000 plays the note
         {{49, 1, 0, 0, 0x47}, {0, 0, 0, 0, 0xF0}, {0, 0, 0, 0, 0x0F}, {61, 0, 0, 0, 0xFF}, {0, 0, 0, 0, 0}}},
        {0xE0E2E5F96080035Dull, 3,  // 1xx from B-7 to the floor of 56 and past it; 100 takes the last speed
         {{96, 1, 0, 1, 0xFF}, {0, 0, 0, 1, 0}, {0, 0, 0, 1, 0x01}, {49, 0, 0, 1, 0x01}, {0, 0, 0, 1, 0}}},
        {0x702B9B27243D02B5ull, 31,  // 2xx from B-7, 200 at the last speed, then with no bound down to the 100 Hz floor
         {{96, 1, 0, 2, 0x10}, {0, 0, 0, 2, 0}, {0, 0, 0, 2, 0xFF}, {0, 0, 0, 2, 0}}},
        {0xC417EFA7CFABFA39ull, 8,  // 3xx reaching its target exactly, passing it both ways; 300, 5xy: the last speed
         {{49, 1}, {61, 0, 0, 3, 0x10}, {0, 0, 0, 3, 0}, {37, 0, 0, 3, 0xFF}, {49, 0, 0, 3, 0x03}, {0, 0, 0, 5, 0},
          {73, 0, 0, 5, 0x11}}},
        {0xF383D61BCDBFAEBEull, 4,  // instruments beside 3xx and 5xy: the channel's stays, its sample resets
         {{49, 1, 0x20}, {61, 2, 0, 3, 0x20}, {0, 0, 0x30, 3, 0}, {49, 2}, {61, 1, 0, 3, 0x40}, {50, 2, 0, 5, 0}},
         [](WriterSong& s) {  // instrument 2: its own volume, panning, relative note; finetune -101 / 2 = -50
             s.instruments.push_back({"", {{{0, 90, -90}, true, 1, 0, 3, 20, -101, 10, 12}}});
         }},
        {0xE54615ACED90EFA1ull, 31,  // 4xy: speed 1 round the sine and its wrap, then speed 15, depth 3; a note resets
         {{49, 1, 0, 4, 0x1F}, {0, 0, 0, 4, 0}, {0, 0, 0, 4, 0xF0}, {0, 0, 0, 4, 0x03}, {61, 1, 0, 4, 0}}},
        {0xAE14ED38FBFDE6A3ull, 2,  // 8xx at both extremes (0 right, 255 left) and between
         {{49, 1, 0, 8, 0}, {0, 0, 0, 8, 0xFF}, {0, 0, 0, 8, 0x80}, {0, 0, 0, 8, 0x01}, {0, 0, 0, 8, 0xFE}}},
        {0xDDF891DC1EB2CC05ull, 2,  // Fxx: tempo 255, speed 0 (a row a tick), 1, 31; 32 is a tempo: the last note late
         {{49, 1, 0, 15, 0xFF}, {0, 0, 0, 15, 0}, {0, 0, 0, 15, 1}, {0, 0, 0, 15, 31}, {0, 0, 0, 15, 32}, {61, 1}}},
        {0x931F42D3E0C3C9B5ull, 3,  // key-off by note 97 and by K33; an instrument alone or with K; instrument 5 of 1
         {{49, 1}, {97}, {0, 1}, {0, 0, 0, 20, 0x33}, {49}, {0, 1, 0, 20, 0}, {49, 1, 0x40}, {49, 5}}},
        {0xEB9717B8ABDB82E1ull, 2,  // volume column: set 0 to 64 (0x10, 0x50), nothing at 0x51..0x5F and 0x01..0x0F
         {{49, 1, 0x10}, {0, 0, 0x50}, {0, 0, 0x5F}, {0, 0, 0x2A}, {0, 0, 0x0F}, {0, 0, 0x51}, {0, 0, 0x4F}}},
        {0xE8B4DE38119EE0C9ull, 6,  // slides past 0 and 64 on every tick, fine slides past them on the row tick only
         {{49, 1, 0x18}, {0, 0, 0x63}, {0, 0, 0x7F}, {0, 0, 0x9F}, {0, 0, 0x8F}, {0, 0, 0x81}, {0, 0, 0x61},
          {0, 0, 0x91}, {0, 0, 0x71}}},
        {0x580BB2442BE922CDull, 6,  // 0xAx speed, 0xBx depth (later ticks step and advance); beside 4xy: twice
         {{49, 1, 0xA4}, {0, 0, 0xB8}, {0, 0, 0xBF}, {0, 0, 0xA0}, {0, 0, 0xB3, 4, 0x21}, {0, 0, 0xBF}}},
        {0x510C16DDD39C1E44ull, 4,  // panning 0xC0, slid below 0 and above 255 (clamped when pushed), 0xCF, 0xD0
         {{49, 1, 0xC0}, {0, 0, 0xD5}, {0, 0, 0xCF}, {0, 0, 0xD3}, {0, 0, 0xEF}, {0, 0, 0xE1}, {0, 0, 0xD0}, {0, 0, 0xC8}}},
        {0x3C341DEC69037725ull, 4,  // 0xFx: the pitch stands, 0xF0 keeps the speed; beside 300 it sets it, 2 steps a tick
         {{49, 1}, {61, 0, 0xF4}, {49, 0, 0xF0}, {37, 0, 0xF3, 3, 0}, {49, 0, 0xF0, 3, 0}, {49, 1, 0xF1}}},
        {0x849376881BC839F9ull, 4,  // the Amiga table: notes, portamentos, vibrato on periods from the same frequencies
         {{49, 1}, {61, 1, 0, 1, 0x10}, {0, 0, 0, 2, 0x20}, {37, 0, 0, 3, 0x08}, {0, 0, 0, 4, 0x48}, {1, 1},
          {96, 1, 0, 0, 0x37}}, [](WriterSong& s) { s.flags = 0; }},
        // loops, 8-bit: forward, long and shorter than the step; ping-pong, long and at 0 shorter than the step
        {0x81B7AAB73C511F25ull, 16, LoopNotes, [](WriterSong& s) { Saw(s, false, 1, 100, 2900); }},
        {0x6F4916DF0A6BF261ull, 16, LoopNotes, [](WriterSong& s) { Saw(s, false, 1, 2997, 3); }},
        {0xFFC5465C391DB789ull, 16, LoopNotes, [](WriterSong& s) { Saw(s, false, 2, 100, 2900); }},
        {0x74E58BF85ADDBCB9ull, 16, LoopNotes, [](WriterSong& s) { Saw(s, false, 2, 0, 2); }},
        // 16-bit: forward, ping-pong from 0 over the whole, ping-pong of 3 at the end, none (it ends)
        {0x5D3657AC91979239ull, 16, LoopNotes, [](WriterSong& s) { Saw(s, true, 1, 1500, 1500); }},
        {0xD91078E3CB59BBF5ull, 16, LoopNotes, [](WriterSong& s) { Saw(s, true, 2, 0, 3000); }},
        {0xE7D9AC735758EDB9ull, 16, LoopNotes, [](WriterSong& s) { Saw(s, true, 2, 2997, 3); }},
        {0x480A790968324289ull, 16, LoopNotes, [](WriterSong& s) { Saw(s, true, 0, 0, 0); }},
    };
    for (const Row& row : songs) {
        WriterSong song = OneChannelSong();
        song.speed = uint16_t(row.speed);
        std::copy(row.cells.begin(), row.cells.end(), song.patterns[0].cells.begin());
        if (row.edit) row.edit(song);
        EXPECT_EQ(RenderDigest(LoadBytes(WriteXm(song)), 88400), row.digest) << "row " << &row - songs;
    }
    // Every period from -6000 to 16000 on both tables: the frequency's power, cap and floor.
    XmModule* m = Start(2, {});
    uint64_t h = Fnv(nullptr, 0);
    for (int32_t i = 0; i < 2 * 22001; ++i) {
        m->flags = i < 22001;  // the linear table, then the Amiga table
        Channels[0].period = i % 22001 - 6000, Channels[0].updateFlags = UpdateFrequency;
        ApplyChannel(&Channels[0], &EmptySample, m);
        h = Fnv(&Voices[0].stepFraction, 8, h);  // and stepInteger
    }
    EXPECT_EQ(h, 0x2FAEF566975E29AEull);
    FreeModule(m);
}

// --- The song linked into the program ---
TEST(Song, TheLinkedImageIsTheCommittedFileInItsShape)
{
    const Bytes image(SongImage, SongImageEnd);
    EXPECT_EQ(ReadBytes(SONG_FILE_FOR_TESTS), image);
    EXPECT_EQ((Ints{image[58] | image[59] << 8, image[60] | image[61] << 8}), (Ints{0x0104, 276}));
    XmModule* m = LoadBytes(image);  // the version and header size above, the shape below
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    EXPECT_EQ((Ints{m->channelCount, m->songLength, m->restartPosition, m->defaultSpeed, m->defaultBpm, m->flags,
                    m->patternSlots, m->instrumentCount, m->patterns[0].rows, m->instruments[6].sampleCount}),
              (Ints{4, 7, 1, 2, 208, 1, 7, 7, 16, 0}));
    FreeModule(m);
    // One pass, 2 ticks a row of 530 frames, as the game plays it (xm2wav's output hashed alike).
    EXPECT_EQ(RenderDigest(LoadBytes(image), 2 * (16 + 6 * 128) * 530), 0x8C4891DFF1A1279Bull);
}
