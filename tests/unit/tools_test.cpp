#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <algorithm>

#include "content/texture_script.h"
#include "music_fixture.h"

namespace {

std::string TempDir()
{
    char pattern[] = "/tmp/texgen-test-XXXXXX";
    return mkdtemp(pattern);
}

int RunTexgen(const std::string& arguments)
{
    const std::string command = std::string(TEXGEN_PATH) + " " + arguments + " 2>/dev/null";
    return WEXITSTATUS(std::system(command.c_str()));
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Texgen, WritesTheUploadTextureAsPngAndRaw)
{
    const std::string dir = TempDir();
    ASSERT_EQ(RunTexgen(dir + "/t.png --raw " + dir + "/t.rgb"), 0);

    const std::vector<uint8_t> raw = ReadFile(dir + "/t.rgb");
    ASSERT_EQ(raw.size(), 256u * 256u * 3u);
    EXPECT_EQ(raw[0], 253);
    EXPECT_EQ(raw[1], 148);
    EXPECT_EQ(raw[2], 123);
    RunTextureScript();
    EXPECT_EQ(0, std::memcmp(raw.data(), UploadSlot.pixels, raw.size()));

    const std::vector<uint8_t> png = ReadFile(dir + "/t.png");
    ASSERT_GT(png.size(), 1000u);
    EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
    std::system(("rm -rf " + dir).c_str());
}

TEST(Texgen, RefusesBadArguments)
{
    EXPECT_EQ(RunTexgen(""), 1);
    EXPECT_EQ(RunTexgen("a.png b.png"), 1);
    EXPECT_EQ(RunTexgen("a.png --raw"), 1);
    EXPECT_EQ(RunTexgen("a.png --bogus"), 1);
    EXPECT_EQ(RunTexgen("/nonexistent-dir/t.png"), 1);
}

}  // namespace

namespace {

int RunTool(const char* tool, const std::string& arguments, std::string* errors = nullptr)
{
    const std::string log = TempDir() + "/stderr";
    const std::string command = std::string(tool) + " " + arguments + " 2>" + log;
    const int status = std::system(command.c_str());
    if (errors) {
        const std::vector<uint8_t> text = ReadFile(log);
        errors->assign(text.begin(), text.end());
    }
    return WEXITSTATUS(status);
}

TEST(Songgen, ReproducesTheCommittedSong)
{
    const std::string dir = TempDir();
    ASSERT_EQ(RunTool(SONGGEN_PATH, dir + "/song.xm"), 0);
    EXPECT_EQ(ReadFile(dir + "/song.xm"), ReadFile(SONG_FILE_FOR_TESTS));
}

TEST(Xm2wav, RendersWhatTheGamePlays)
{
    const std::string dir = TempDir();
    ASSERT_EQ(RunTool(XM2WAV_PATH, std::string(SONG_FILE_FOR_TESTS) + " " + dir + "/a.wav"), 0);
    const std::vector<uint8_t> wav = ReadFile(dir + "/a.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(0, std::memcmp(wav.data(), "RIFF", 4));
    EXPECT_EQ(0, std::memcmp(wav.data() + 8, "WAVEfmt ", 8));
    const uint32_t dataBytes = wav[40] | wav[41] << 8 | wav[42] << 16 | uint32_t(wav[43]) << 24;
    EXPECT_EQ(dataBytes, wav.size() - 44);
    // One pass: the intro and six patterns, 2 * (16 + 6 * 128) ticks of 530 frames.
    EXPECT_EQ(dataBytes / 4, 2u * (16 + 6 * 128) * 530);

    // Its first two seconds are the ring the game fills before the device starts.
    const std::vector<uint8_t> song = ReadFile(SONG_FILE_FOR_TESTS);
    XmModule* m = LoadBytes(song);
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(OpenAudioOutput(44100));
    ASSERT_TRUE(StartPlayback(m));
    EXPECT_EQ(0, std::memcmp(wav.data() + 44, WaveRing, size_t(RingFrames) * 4));
    // And the next block is the one the audio thread renders next.
    const int32_t block = WriteBlock;
    RenderBlock();
    EXPECT_EQ(0, std::memcmp(wav.data() + 44 + size_t(RingFrames) * 4,
                             WaveRing + size_t(block) * size_t(BlockFrames) * 2,
                             size_t(BlockFrames) * 4));
    FreeModule(m);

    ASSERT_EQ(RunTool(XM2WAV_PATH, std::string(SONG_FILE_FOR_TESTS) + " " + dir +
                                       "/b.wav --seconds 2.5"), 0);
    EXPECT_EQ(ReadFile(dir + "/b.wav").size(), 44u + 110250u * 4u);
}

TEST(Xm2wav, RefusesBadFilesWithOneLine)
{
    const std::string dir = TempDir();
    const std::vector<uint8_t> song = ReadFile(SONG_FILE_FOR_TESTS);
    struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } files[] = {
        {"empty.xm", {}},
        {"junk.xm", std::vector<uint8_t>(3000, 0x5A)},
        {"cut.xm", std::vector<uint8_t>(song.begin(), song.begin() + long(song.size() / 2))},
        {"header.xm", std::vector<uint8_t>(song.begin(), song.begin() + 70)},
    };
    for (const auto& f : files) {
        const std::string path = dir + "/" + f.name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(f.bytes.data()), long(f.bytes.size()));
        std::string errors;
        EXPECT_EQ(RunTool(XM2WAV_PATH, path + " " + dir + "/out.wav", &errors), 1) << f.name;
        EXPECT_NE(errors.find("cannot play it: "), std::string::npos) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    }
    std::string errors;
    EXPECT_EQ(RunTool(XM2WAV_PATH, dir + "/missing.xm " + dir + "/out.wav", &errors), 1);
    EXPECT_NE(errors.find("missing.xm"), std::string::npos);
    EXPECT_EQ(RunTool(XM2WAV_PATH, "only-one-argument.xm"), 1);
    EXPECT_EQ(RunTool(XM2WAV_PATH, std::string(SONG_FILE_FOR_TESTS) + " x.wav --seconds -3"), 1);
}

}  // namespace
