// Runs under Wine: the song played through waveOut reaches the device bit for bit as the
// portable renderer (the one xm2wav uses) makes it, and freeing the song ends the audio
// thread first. The Wine environment writes what the device plays to $KORVA_AUDIO_FILE.
#include <windows.h>
#undef FreeModule

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "music/audio_ring.h"
#include "music/xm.h"
#include "platform/audio_output.h"

namespace {

const int32_t Rate = 44100;

XmModule* LoadEmbeddedSong()
{
    SetModuleImage(SongImage, uint32_t(SongImageEnd - SongImage));
    InstallImageReader();
    return LoadModule(nullptr);
}

// The song's first frames as the portable renderer makes them: the prefilled ring, then
// one block after another.
std::vector<int16_t> Reference(size_t frames)
{
    XmModule* m = LoadEmbeddedSong();
    SetOutputRate(Rate);
    if (!m || !BeginPlayback(m))
        return {};
    std::vector<int16_t> out(WaveRing, WaveRing + size_t(RingFrames) * 2);
    while (out.size() < frames * 2) {
        const int16_t* block = WaveRing + size_t(WriteBlock) * size_t(BlockFrames) * 2;
        RenderBlock();
        out.insert(out.end(), block, block + size_t(BlockFrames) * 2);
    }
    EndPlayback();
    FreeModule(m);
    out.resize(frames * 2);
    return out;
}

TEST(AudioOutput, PlaysTheSongAsRendered)
{
    const char* file = std::getenv("KORVA_AUDIO_FILE");
    ASSERT_NE(file, nullptr) << "KORVA_AUDIO_FILE is not set";
    const std::string capture = std::string("Z:") + file;
    XmModule* m = LoadEmbeddedSong();
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    ASSERT_TRUE(OpenAudioOutput(Rate)) << "waveOutOpen failed";
    ASSERT_TRUE(StartPlayback(m));
    // Until the device has taken 5 seconds (a file device may play faster than real time).
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    for (int i = 0; i < 400 && data.nFileSizeLow < 5u * Rate * 4; ++i, Sleep(50))
        GetFileAttributesExA(capture.c_str(), GetFileExInfoStandard, &data);
    ASSERT_GE(data.nFileSizeLow, 5u * Rate * 4) << "the device did not play";
    EXPECT_TRUE(FreeModule(m));  // stops the thread first
    EXPECT_EQ(ThreadExited.load(), 1);
    CloseAudioOutput();

    // Four seconds: the prefilled ring, then two the audio thread rendered while it played.
    const size_t frames = size_t(4) * Rate;
    std::vector<int16_t> played(frames * 2);
    std::ifstream(capture, std::ios::binary).read(reinterpret_cast<char*>(played.data()), std::streamsize(frames * 4));
    // When the machine is too busy to feed it, Wine's device inserts silence in whole periods
    // of 10 ms (441 frames); the song itself must come through unchanged.
    const std::vector<int16_t> expected = Reference(frames);
    ASSERT_EQ(expected.size(), frames * 2);
    size_t p = 0, e = 0, inserted = 0;  // samples played and expected; frames of silence inserted
    for (; p < played.size(); p += 2) {
        const bool same = played[p] == expected[e] && played[p + 1] == expected[e + 1];
        if (!same && (played[p] != 0 || played[p + 1] != 0))
            break;
        same ? e += 2 : ++inserted;
    }
    EXPECT_EQ(p, played.size()) << "differs from frame " << e / 2;
    EXPECT_EQ(inserted % 441, 0u) << inserted << " frames of silence inserted";
}

}  // namespace
