// xm2wav IN.xm OUT.wav [--seconds N]
// Renders an XM module through the game's own loader, player and mixer at 44,100 Hz,
// 16-bit stereo: by default one pass of the song, up to where it loops.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "music/audio_ring.h"
#include "music/player.h"
#include "music/xm.h"
#include "platform/audio_output.h"

namespace {

const int32_t Rate = 44100;
const double MaxSeconds = 6 * 60 * 60;  // six hours: the WAV header counts bytes in 32 bits
const uint64_t MaxFrames = uint64_t(Rate * MaxSeconds);
const size_t MaxFileSize = size_t(64) << 20;

int Usage()
{
    std::fprintf(stderr, "usage: xm2wav IN.xm OUT.wav [--seconds N]\n");
    return 1;
}

bool ReadFile(const char* path, std::vector<uint8_t>& data)
{
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "xm2wav: %s: %s\n", path, std::strerror(errno));
        return false;
    }
    // Read to the end, stopping once past the limit: no seeking, so a pipe reads as a file does.
    uint8_t buffer[65536];
    size_t n = 0;
    while (data.size() <= MaxFileSize && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (data.size() > MaxFileSize) {
        std::fprintf(stderr, "xm2wav: %s: not a module (larger than 64 MiB)\n", path);
        return false;
    }
    if (failed)
        std::fprintf(stderr, "xm2wav: %s: cannot read the file\n", path);
    return !failed;
}

// Frames in one pass of the song: ticks until the position first goes back.
uint64_t SongFrames(XmModule* module)
{
    ResetSong(module);
    uint64_t frames = 0;
    int32_t last = -1;
    while (frames < MaxFrames) {
        PlayerTick(module);
        const int32_t position = module->order * 256 + module->row;
        if (position < last)
            break;
        last = position;
        frames += uint64_t(module->samplesPerTick);
    }
    return frames;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); }
void Put32(std::vector<uint8_t>& out, uint32_t v) { Put16(out, v); Put16(out, v >> 16); }

std::vector<uint8_t> WavHeader(uint64_t frames)
{
    const uint32_t bytes = uint32_t(frames * 4);
    std::vector<uint8_t> h;
    for (char c : std::string("RIFF")) h.push_back(uint8_t(c));
    Put32(h, 36 + bytes);
    for (char c : std::string("WAVEfmt ")) h.push_back(uint8_t(c));
    Put32(h, 16);
    Put16(h, 1);         // PCM
    Put16(h, 2);         // stereo
    Put32(h, Rate);
    Put32(h, Rate * 4);  // bytes per second
    Put16(h, 4);         // block align
    Put16(h, 16);        // bits
    for (char c : std::string("data")) h.push_back(uint8_t(c));
    Put32(h, bytes);
    return h;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* in = nullptr;
    const char* out = nullptr;
    double seconds = -1.0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            if (++i >= argc)
                return Usage();
            char* end = nullptr;
            seconds = std::strtod(argv[i], &end);
            if (*end != '\0' || !(seconds > 0.0) || seconds > MaxSeconds) {
                std::fprintf(stderr, "xm2wav: --seconds takes a number above 0, up to 21600\n");
                return 1;
            }
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return Usage();
        } else if (!in) {
            in = argv[i];
        } else if (!out) {
            out = argv[i];
        } else {
            return Usage();
        }
    }
    if (!in || !out)
        return Usage();

    std::vector<uint8_t> data;
    if (!ReadFile(in, data))
        return 1;
    SetModuleImage(data.data(), uint32_t(data.size()));
    InstallImageReader();
    OpenAudioOutput(Rate);
    XmModule* module = LoadModule(nullptr);
    if (!module) {
        std::fprintf(stderr, "xm2wav: %s: cannot play it: %s\n", in, ModuleLoadError);
        return 1;
    }

    const uint64_t total = seconds > 0.0 ? uint64_t(seconds * Rate) : SongFrames(module);
    OpenAudioOutput(Rate);  // voices silent again after the dry run
    if (!StartPlayback(module)) {
        std::fprintf(stderr, "xm2wav: out of memory\n");
        return 1;
    }

    FILE* f = std::fopen(out, "wb");
    if (!f) {
        std::fprintf(stderr, "xm2wav: %s: %s\n", out, std::strerror(errno));
        return 1;
    }
    const std::vector<uint8_t> header = WavHeader(total);
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();

    const bool progress = isatty(2) && total > uint64_t(Rate) * 5;
    uint64_t written = 0, shown = 0;
    // The prefilled ring first, then one block at a time as the game's audio thread does.
    const uint64_t ring = uint64_t(RingFrames) < total ? uint64_t(RingFrames) : total;
    ok = ok && std::fwrite(WaveRing, 4, ring, f) == ring;
    written = ring;
    while (ok && written < total) {
        const int32_t block = WriteBlock;
        RenderBlock();
        uint64_t n = uint64_t(BlockFrames);
        if (n > total - written)
            n = total - written;
        ok = std::fwrite(WaveRing + size_t(block) * size_t(BlockFrames) * 2, 4, n, f) == n;
        written += n;
        if (progress && written - shown >= uint64_t(Rate)) {
            shown = written;
            std::fprintf(stderr, "\rxm2wav: %.0f of %.0f seconds", double(written) / Rate,
                         double(total) / Rate);
        }
    }
    if (progress)
        std::fprintf(stderr, "\n");
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "xm2wav: %s: cannot write the file\n", out);
        return 1;
    }
    FreeModule(module);
    return 0;
}
