#include <gtest/gtest.h>

#include <cstring>

#include "music_fixture.h"

namespace {

WriterSong TwoPatternSong()
{
    WriterSong song = OneChannelSong(2, 4);
    song.restartPosition = 1;
    song.orders = {0, 1, 3};  // pattern 3 is named but not stored
    WriterPattern empty;      // packed size 0
    empty.rows = 8;
    song.patterns.push_back(empty);
    Cell(song, 0, 0, 0) = {49, 1, 0x30, 0x0F, 0x03};  // all five: written raw
    Cell(song, 0, 1, 1) = {97, 0, 0, 0, 0};           // key-off
    Cell(song, 0, 2, 0) = {0, 200, 0, 4, 0x21};       // an instrument above 128
    Cell(song, 0, 3, 1) = {0, 0, 0xC8, 0, 0};
    return song;
}

TEST(Loader, ReadsHeaderPatternsAndOrders)
{
    XmModule* m = LoadSong(TwoPatternSong());
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    EXPECT_EQ(m->songLength, 3);
    EXPECT_EQ(m->restartPosition, 1);
    EXPECT_EQ(m->channelCount, 2);
    EXPECT_EQ(m->referencedPatterns, 4);
    EXPECT_EQ(m->patternSlots, 4);
    EXPECT_EQ(m->instrumentCount, 1);
    EXPECT_EQ(m->flags, 1);
    EXPECT_EQ(m->defaultSpeed, 2);
    EXPECT_EQ(m->defaultBpm, 208);
    EXPECT_EQ(m->initialGlobalVolume, 64);
    EXPECT_EQ(m->orders[2], 3);

    const XmCell* c = m->patterns[0].cells;
    ASSERT_EQ(m->patterns[0].rows, 4);
    const uint8_t expected[8][5] = {
        {49, 1, 0x30, 0x0F, 0x03}, {0, 0, 0, 0, 0},  // row 0
        {0, 0, 0, 0, 0}, {255, 0, 0, 0, 0},          // row 1: 97 is stored as key-off
        {0, 0, 0, 4, 0x21}, {0, 0, 0, 0, 0},         // row 2: instrument 200 dropped
        {0, 0, 0, 0, 0}, {0, 0, 0xC8, 0, 0},         // row 3
    };
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(0, std::memcmp(&c[i], expected[i], 5)) << "cell " << i;

    EXPECT_EQ(m->patterns[1].rows, 8);  // packed size 0: empty
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m->patterns[1].cells[i].note, 0);
    EXPECT_EQ(m->patterns[2].rows, 64);  // not in the file, named by no order: still a slot
    EXPECT_EQ(m->patterns[3].rows, 64);
    EXPECT_TRUE(FreeModule(m));
    EXPECT_FALSE(FreeModule(nullptr));
}

TEST(Loader, DecodesSamplesLoopsAndGuards)
{
    WriterSong song = OneChannelSong();
    WriterInstrument in = song.instruments[0];
    in.samples[0].values = {16, 32, 16};  // deltas 0x10, 0x10, 0xF0
    in.samples[0].loopType = 0;
    WriterSample fwd;  // forward loop 2..6 of 8
    fwd.values = {1, 2, 3, 4, 5, 6, 7, 8};
    fwd.loopType = 1; fwd.loopStart = 2; fwd.loopLength = 4;
    WriterSample pingpong = fwd;
    pingpong.loopType = 2;
    WriterSample wide;  // 16-bit, its byte lengths halved
    wide.sixteenBit = true;
    wide.values = {1000, -1000, 30000, -30000, 5, 6};
    wide.loopType = 1; wide.loopStart = 1; wide.loopLength = 4;
    WriterSample noLength = fwd;  // loop bit with loop length 0
    noLength.loopLength = 0;
    in.samples = {in.samples[0], fwd, pingpong, wide, noLength};
    in.noteSample[48] = 3;
    WriterInstrument empty;  // no samples, skipped by its header size alone
    empty.name = "nothing";
    empty.headerSize = 263;
    song.instruments = {in, empty, in};  // the third is read correctly after the empty one

    XmModule* m = LoadSong(song);
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    for (int which : {0, 2}) {
        const XmInstrument& i = m->instruments[which];
        ASSERT_EQ(i.sampleCount, 5);
        EXPECT_EQ(i.noteSample[48], 3);
        const XmSample* s = i.samples[0];
        EXPECT_EQ(s->data[0], 0x1000);
        EXPECT_EQ(s->data[1], 0x2000);
        EXPECT_EQ(s->data[2], 0x1000);
        EXPECT_EQ(s->loopType, LoopNone);
        EXPECT_EQ(s->loopStart + s->loopLength, 3u);
        for (int k = 3; k < 11; ++k)
            EXPECT_EQ(s->data[k], 0) << "zero " << k << " after the end";

        s = i.samples[1];
        EXPECT_EQ(s->loopType, LoopForward);
        EXPECT_EQ(s->data[6], s->data[2]);  // guard: the loop start
        s = i.samples[2];
        EXPECT_EQ(s->loopType, LoopPingPong);
        EXPECT_EQ(s->data[6], s->data[5]);  // guard: the last loop value
        s = i.samples[3];
        EXPECT_EQ(s->bits, 16);
        EXPECT_EQ(s->length, 6u);
        EXPECT_EQ(s->loopStart, 1u);
        EXPECT_EQ(s->loopLength, 4u);
        EXPECT_EQ(s->data[2], 30000);
        EXPECT_EQ(s->data[3], -30000);
        s = i.samples[4];
        EXPECT_EQ(s->loopType, LoopNone);
        EXPECT_EQ(s->loopStart, 0u);
        EXPECT_EQ(s->loopLength, 8u);
        for (int k = 5; k < 16; ++k)
            EXPECT_EQ(i.samples[k], &EmptySample);
    }
    const XmInstrument& e = m->instruments[1];
    EXPECT_EQ(e.sampleCount, 0);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(e.samples[k], &EmptySample);
    FreeModule(m);
}

TEST(Loader, RepairsWhatTrustedPlayersRepair)
{
    WriterSong song = OneChannelSong();
    song.restartPosition = 5;  // past the song's end: restarts at 0
    WriterSample& s = song.instruments[0].samples[0];
    s.loopStart = 20;
    s.loopLength = 100;  // past the end: clamped to it
    WriterSample beyond = s;
    beyond.loopStart = 40;  // starts past the end: no loop
    WriterSample odd = s;   // a 16-bit sample with an odd byte length
    odd.sixteenBit = true;
    odd.loopType = 0;
    odd.values = {7, 8, 9};
    song.instruments[0].samples = {s, beyond, odd, s};
    std::vector<uint8_t> bytes = WriteXm(song);
    // Make the 16-bit sample 7 bytes long: 3 values and one stray byte.
    const size_t header = 60 + 276 + 9 + 64 + 263 + 2 * 40;
    ASSERT_EQ(bytes[header], 6);
    bytes[header] = 7;
    const size_t data = 60 + 276 + 9 + 64 + 263 + 4 * 40 + 32 + 32;
    bytes.insert(bytes.begin() + long(data + 6), 0x55);

    XmModule* m = LoadBytes(bytes);
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    EXPECT_EQ(m->restartPosition, 0);
    const XmSample* const* samples = m->instruments[0].samples;
    EXPECT_EQ(samples[0]->loopStart, 20u);
    EXPECT_EQ(samples[0]->loopLength, 12u);
    EXPECT_EQ(samples[1]->loopType, LoopNone);
    EXPECT_EQ(samples[1]->loopLength, 32u);
    EXPECT_EQ(samples[2]->length, 3u);
    EXPECT_EQ(samples[2]->data[2], 9);
    EXPECT_EQ(samples[3]->data[31], 60 << 8);  // the sample after the stray byte is intact
    FreeModule(m);

    // A short header holds fewer orders: the rest read as 0.
    song = OneChannelSong();
    song.orders = {0, 0, 0, 0};
    song.headerSize = 22;  // two orders
    m = LoadSong(song);
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    EXPECT_EQ(m->songLength, 4);
    EXPECT_EQ(m->patterns[0].rows, 64);
    FreeModule(m);
}

typedef void (*SongEdit)(WriterSong&);
typedef void (*ByteEdit)(std::vector<uint8_t>&);

// Byte offsets in a OneChannelSong file: the pattern header at 336, the instrument
// at 409, its sample header at 672.
TEST(Loader, RefusesFilesThatLie)
{
    const struct {
        const char* what;
        SongEdit song;
        ByteEdit bytes;
    } cases[] = {
        {"signature", nullptr, [](std::vector<uint8_t>& b) { b[3] = 'x'; }},
        {"no channels", [](WriterSong& s) { s.channels = 0; }, nullptr},
        {"33 channels", [](WriterSong& s) { s.channels = 33; }, nullptr},
        {"song length 0", [](WriterSong& s) { s.orders.clear(); }, nullptr},
        {"song length 257", nullptr, [](std::vector<uint8_t>& b) { b[64] = 1; b[65] = 1; }},
        {"header size 19", nullptr, [](std::vector<uint8_t>& b) { b[60] = 19; b[61] = 0; }},
        {"header past the end", nullptr, [](std::vector<uint8_t>& b) { b[62] = 0x7F; }},
        {"tempo 0", [](WriterSong& s) { s.bpm = 0; }, nullptr},
        {"0 rows", nullptr, [](std::vector<uint8_t>& b) { b[336 + 5] = 0; }},
        {"257 rows", nullptr, [](std::vector<uint8_t>& b) { b[336 + 5] = 1; b[336 + 6] = 1; }},
        {"more cells than packed data", nullptr, [](std::vector<uint8_t>& b) { b[336 + 7] = 10; }},
        {"17 samples", [](WriterSong& s) {
             s.instruments[0].samples.resize(17, s.instruments[0].samples[0]); }, nullptr},
        {"instrument header size 3", nullptr, [](std::vector<uint8_t>& b) { b[409] = 3; b[410] = 0; }},
        {"instrument header too small for samples", nullptr,
         [](std::vector<uint8_t>& b) { b[409] = 100; b[410] = 0; }},
        {"sample longer than the file", nullptr, [](std::vector<uint8_t>& b) { b[672 + 2] = 0x10; }},
        {"sample data cut short", nullptr, [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }},
        {"129 instruments", nullptr, [](std::vector<uint8_t>& b) { b[72] = 129; }},
    };
    for (const auto& c : cases) {
        WriterSong song = OneChannelSong();
        if (c.song)
            c.song(song);
        std::vector<uint8_t> bytes = WriteXm(song);
        if (c.bytes)
            c.bytes(bytes);
        EXPECT_EQ(LoadBytes(bytes), nullptr) << c.what;
        EXPECT_NE(ModuleLoadError, nullptr) << c.what;
    }
}

TEST(Loader, EveryTruncationIsRefused)
{
    WriterSong song = TwoPatternSong();
    song.instruments.push_back(song.instruments[0]);
    const std::vector<uint8_t> whole = WriteXm(song);
    for (size_t size = 0; size < whole.size(); ++size) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(size));
        ASSERT_EQ(LoadBytes(cut), nullptr) << "cut at " << size;
    }
    XmModule* m = LoadBytes(whole);
    ASSERT_NE(m, nullptr);
    FreeModule(m);
}

int32_t Open(const char*) { return 1; }

TEST(Loader, ReaderInstallationAndImageBounds)
{
    EXPECT_FALSE(InstallModuleReader(Open, ImageClose, ImageRead, nullptr, ImageTell));
    EXPECT_FALSE(ModuleReaderInstalled());
    EXPECT_EQ(LoadModule(nullptr), nullptr);

    const uint8_t image[5] = {1, 2, 3, 4, 5};
    SetModuleImage(image, 5);
    InstallImageReader();
    EXPECT_EQ(ImageOpen(nullptr), 1);
    uint8_t out[8] = {};
    EXPECT_EQ(ImageSeek(1, 3, 0), 3u);
    EXPECT_EQ(ImageRead(out, 8, 1), 2u);  // cut short at the end
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(ImageSeek(1, 100, 1), 5u);  // clamped to the size
    EXPECT_EQ(ImageSeek(1, -2, 2), 3u);
    EXPECT_EQ(ImageTell(1), 3u);
}

}  // namespace
