// Runs under Wine: the song played through waveOut reaches the device as the portable
// renderer (the one xm2wav uses) produces it, and stopping ends the audio thread.
// The Wine environment writes what the device plays to $KORVA_AUDIO_FILE.
#include <windows.h>
#undef FreeModule

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "music/audio_output.h"
#include "music/audio_ring.h"
#include "music/xm.h"

namespace {

const int32_t Rate = 44100;

XmModule* LoadEmbeddedSong()
{
    SetModuleImage(SongImage, uint32_t(SongImageEnd - SongImage));
    InstallImageReader();
    return LoadModule(nullptr);
}

std::string CapturePath()
{
    const char* path = std::getenv("KORVA_AUDIO_FILE");
    return path ? std::string("Z:") + path : std::string();
}

long FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return long(data.nFileSizeLow);
}

std::vector<int16_t> ReadCapture(const std::string& path, size_t frames)
{
    std::vector<int16_t> samples(frames * 2);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return {};
    samples.resize(std::fread(samples.data(), 4, frames, f) * 2);
    std::fclose(f);
    return samples;
}

// The first `frames` frames of the song as the portable renderer makes them.
std::vector<int16_t> Reference(size_t frames)
{
    XmModule* m = LoadEmbeddedSong();
    SetOutputRate(Rate);
    std::vector<int16_t> out;
    if (!m || !BeginPlayback(m))
        return out;
    out.assign(WaveRing, WaveRing + size_t(RingFrames) * 2);
    while (out.size() < frames * 2) {
        const int32_t block = WriteBlock;
        RenderBlock();
        const int16_t* b = WaveRing + size_t(block) * size_t(BlockFrames) * 2;
        out.insert(out.end(), b, b + size_t(BlockFrames) * 2);
    }
    out.resize(frames * 2);
    EndPlayback();
    FreeModule(m);
    return out;
}

TEST(AudioOutput, PlaysTheSongAsRendered)
{
    const std::string capture = CapturePath();
    ASSERT_FALSE(capture.empty()) << "KORVA_AUDIO_FILE is not set";
    XmModule* m = LoadEmbeddedSong();
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    ASSERT_TRUE(OpenAudioOutput(Rate)) << "waveOutOpen failed";
    ASSERT_TRUE(StartPlayback(m));
    EXPECT_EQ(ThreadExited.load(), 0);

    // Wait until the device has taken 5 seconds of the song (the machine's device
    // may play faster than real time when it is a file).
    const long wanted = 5L * Rate * 4;
    for (int i = 0; i < 400 && FileSize(capture) < wanted; ++i)
        Sleep(50);
    ASSERT_GE(FileSize(capture), wanted) << "the device did not play";

    EXPECT_TRUE(FreeModule(m));  // stops the thread first
    EXPECT_EQ(ThreadExited.load(), 1);
    EXPECT_EQ(CurrentModule, nullptr);
    EXPECT_EQ(MixBuffer, nullptr);
    CloseAudioOutput();

    // The first four seconds: the prefilled ring, then two seconds of blocks the audio
    // thread rendered while the device played.
    const size_t frames = size_t(4) * Rate;
    const std::vector<int16_t> played = ReadCapture(capture, frames);
    const std::vector<int16_t> expected = Reference(frames);
    ASSERT_EQ(played.size(), frames * 2);
    ASSERT_EQ(expected.size(), frames * 2);
    size_t firstDifference = frames * 2;
    for (size_t i = 0; i < frames * 2; ++i)
        if (played[i] != expected[i]) {
            firstDifference = i;
            break;
        }
    EXPECT_EQ(firstDifference, frames * 2) << "differs from frame " << firstDifference / 2;
}

TEST(AudioOutput, StopRightAfterStartWaitsForTheThread)
{
    XmModule* m = LoadEmbeddedSong();
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(OpenAudioOutput(Rate));
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(StartPlayback(m));
        ASSERT_TRUE(StopPlayback(m));
        EXPECT_EQ(ThreadExited.load(), 1) << round;
        EXPECT_EQ(MixerBusy.load(), 0) << round;
        EXPECT_EQ(CurrentModule, nullptr) << round;
    }
    EXPECT_TRUE(FreeModule(m));
    CloseAudioOutput();
    EXPECT_FALSE(StartPlayback(nullptr));
    EXPECT_FALSE(StopPlayback(nullptr));
}

TEST(AudioOutput, NeedsAReader)
{
    InstallModuleReader(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(OpenAudioOutput(Rate));
}

}  // namespace
