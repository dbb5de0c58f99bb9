// The native tools, run as a user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "content/texture_script.h"
#include "music/audio_ring.h"
#include "platform/audio_output.h"
#include "test_files.h"

TEST(Tools, TexgenWritesTheUploadTextureAndSonggenTheCommittedSong)
{
    TempDir s("korva-tools");
    ASSERT_EQ(s.Run(TEXGEN_PATH, s.Path("t.png") + " --raw " + s.Path("t.rgb")), 0);
    const std::vector<uint8_t> raw = ReadBytes(s.Path("t.rgb")), png = ReadBytes(s.Path("t.png"));
    RunTextureScript();
    ASSERT_EQ(raw.size(), sizeof UploadSlot.pixels);
    EXPECT_EQ(0, std::memcmp(raw.data(), UploadSlot.pixels, raw.size()));
    EXPECT_TRUE(png.size() > 1000 && std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8) == 0);
    for (const char* bad : {"", "a.png b.png", "a.png --raw", "a.png --bogus", "/nonexistent-dir/t.png"})
        EXPECT_EQ(s.Run(TEXGEN_PATH, bad), 1) << bad;
    ASSERT_EQ(s.Run(SONGGEN_PATH, s.Path("song.xm")), 0);
    EXPECT_EQ(ReadBytes(s.Path("song.xm")), ReadBytes(SONG_FILE_FOR_TESTS));
}

TEST(Tools, Xm2wavRendersWhatTheGamePlaysAndRefusesBadInput)
{
    TempDir s("korva-tools");
    const std::string song = SONG_FILE_FOR_TESTS;
    ASSERT_EQ(s.Run(XM2WAV_PATH, song + " " + s.Path("a.wav")), 0);
    const std::vector<uint8_t> wav = ReadBytes(s.Path("a.wav"));
    ASSERT_TRUE(wav.size() > 44 && std::memcmp(wav.data(), "RIFF", 4) == 0 &&
                std::memcmp(wav.data() + 8, "WAVEfmt ", 8) == 0);
    const uint32_t dataBytes = wav[40] | wav[41] << 8 | wav[42] << 16 | uint32_t(wav[43]) << 24;
    EXPECT_EQ(dataBytes, wav.size() - 44);
    EXPECT_EQ(dataBytes / 4, 2u * (16 + 6 * 128) * 530);  // one pass: 2 ticks a row of 530 frames
    // Its first two seconds are the ring the game fills before the device starts, and then
    // comes the block the audio thread renders next.
    const std::vector<uint8_t> file = ReadBytes(song);
    SetModuleImage(file.data(), uint32_t(file.size()));
    InstallImageReader();
    XmModule* m = LoadModule(nullptr);
    ASSERT_TRUE(m && OpenAudioOutput(44100) && StartPlayback(m));
    EXPECT_EQ(0, std::memcmp(wav.data() + 44, WaveRing, size_t(RingFrames) * 4));
    const int32_t block = WriteBlock;
    RenderBlock();
    EXPECT_EQ(0, std::memcmp(wav.data() + 44 + size_t(RingFrames) * 4, WaveRing + size_t(block) * BlockFrames * 2,
                             size_t(BlockFrames) * 4));
    FreeModule(m);
    ASSERT_EQ(s.Run(XM2WAV_PATH, song + " " + s.Path("b.wav") + " --seconds 2.5"), 0);
    EXPECT_EQ(ReadBytes(s.Path("b.wav")).size(), 44u + 110250u * 4u);
    // A module from a pipe, whose size is known only at its end.
    EXPECT_EQ(s.Run("cat", song + " | " XM2WAV_PATH " /dev/stdin " + s.Path("c.wav")), 0) << s.errors;
    EXPECT_TRUE(ReadBytes(s.Path("c.wav")) == wav);
    // Bad input: one line and exit status 1.
    const struct { const char* name; std::vector<uint8_t> bytes; } files[] = {
        {"empty.xm", {}}, {"junk.xm", std::vector<uint8_t>(3000, 0x5A)},
        {"cut.xm", std::vector<uint8_t>(file.begin(), file.begin() + std::ptrdiff_t(file.size() / 2))},
        {"header.xm", std::vector<uint8_t>(file.begin(), file.begin() + 70)},
    };
    const std::string out = " " + s.Path("out.wav");
    std::vector<std::pair<std::string, std::string>> cases = {  // arguments, what the line says
        {s.Path("missing.xm") + out, "missing.xm: "}, {"only-one-argument.xm", "usage: "},
        {song + out + " --seconds -3", "--seconds"}, {s.Path("folder.xm") + out, "cannot read the file"}};
    std::filesystem::create_directory(s.Path("folder.xm"));
    for (const auto& f : files) {
        ASSERT_TRUE(WriteBytes(s.Path(f.name), f.bytes)) << f.name;
        cases.push_back({s.Path(f.name) + out, "cannot play it: "});
    }
    for (const auto& c : cases) {
        EXPECT_EQ(s.Run(XM2WAV_PATH, c.first), 1) << c.first;
        EXPECT_TRUE(s.errors.find(c.second) != std::string::npos &&
                    std::count(s.errors.begin(), s.errors.end(), '\n') == 1) << s.errors;
    }
}
