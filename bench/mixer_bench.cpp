// Mixer throughput: the game's renderer beside libxmp and libopenmpt, on the same
// files at 44,100 Hz, 16-bit stereo, linear interpolation.
//
//   mixer_bench DIR                      writes DIR/dense.xm and prints the table
//   mixer_bench DIR ENGINE FILE SECONDS  renders once (for instruction counts)
//
// ENGINE: korvastil, libxmp or libopenmpt; FILE: song or dense.
#include <libopenmpt/libopenmpt.h>
#include <xmp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "music/audio_ring.h"
#include "music/xm.h"
#include "platform/audio_output.h"
#include "xm_writer.h"

namespace {

const int Rate = 44100;
const int Chunk = 1024;  // frames per call for the libraries

// A busy module: 24 channels on every row, 16-bit forward and ping-pong loops,
// 8-bit loops and one-shots, volume and panning changes.
WriterSong DenseSong()
{
    WriterSong song;
    song.name = "dense";
    song.channels = 24;
    song.speed = 3;
    song.bpm = 150;
    auto shape = [](int i, int n) { return std::sin(6.2831853 * i / n) * 0.7 + std::sin(6.2831853 * 3 * i / n) * 0.2; };
    WriterInstrument wide, pingpong, narrow, shot;
    WriterSample s;
    s.sixteenBit = true;
    for (int i = 0; i < 2000; ++i) s.values.push_back(int16_t(shape(i, 200) * 30000));
    s.loopType = 1; s.loopStart = 400; s.loopLength = 1600;
    wide.samples.push_back(s);
    s.values.resize(1500);
    s.loopType = 2; s.loopStart = 100; s.loopLength = 1400;
    pingpong.samples.push_back(s);
    WriterSample e;
    for (int i = 0; i < 800; ++i) e.values.push_back(int16_t(shape(i, 100) * 120));
    e.loopType = 1; e.loopStart = 0; e.loopLength = 800;
    narrow.samples.push_back(e);
    e.values.clear();
    for (int i = 0; i < 4000; ++i) e.values.push_back(int16_t(shape(i * 7 % 97, 97) * 120 * (4000 - i) / 4000));
    e.loopType = 0;
    shot.samples.push_back(e);
    song.instruments = {wide, pingpong, narrow, shot};
    for (int p = 0; p < 4; ++p) {
        WriterPattern pattern;
        pattern.rows = 64;
        pattern.cells.resize(64 * 24);
        for (int r = 0; r < 64; ++r)
            for (int c = 0; c < 24; ++c) {
                WriterCell& cell = pattern.cells[size_t(r) * 24 + c];
                if ((r + c) % 4 == 0) {
                    cell.note = uint8_t(25 + (r * 7 + c * 5 + p * 3) % 48);
                    cell.instrument = uint8_t(1 + (c + p) % 4);
                }
                cell.volume = uint8_t(r % 3 == 0 ? 0x20 + (c % 32) : 0xC0 + (r + c) % 16);
            }
        song.patterns.push_back(pattern);
        song.orders.push_back(uint8_t(p));
    }
    return song;
}

// --- The three renderers; each returns a checksum so nothing is optimised away ---

int64_t RenderKorvastil(const std::vector<uint8_t>& file, long frames)
{
    SetModuleImage(file.data(), uint32_t(file.size()));
    InstallImageReader();
    OpenAudioOutput(Rate);
    XmModule* m = LoadModule(nullptr);
    if (!m || !StartPlayback(m))
        return -1;
    int64_t sum = 0;
    for (long done = RingFrames; done < frames; done += BlockFrames) {
        const int32_t block = WriteBlock;
        RenderBlock();
        sum += WaveRing[size_t(block) * size_t(BlockFrames) * 2];
    }
    FreeModule(m);
    return sum;
}

int64_t RenderLibxmp(const std::vector<uint8_t>& file, long frames)
{
    xmp_context c = xmp_create_context();
    if (xmp_load_module_from_memory(c, file.data(), long(file.size())) != 0)
        return -1;
    xmp_start_player(c, Rate, 0);
    xmp_set_player(c, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
    std::vector<int16_t> buffer(Chunk * 2);
    int64_t sum = 0;
    for (long done = 0; done < frames; done += Chunk) {
        xmp_play_buffer(c, buffer.data(), Chunk * 4, 0);
        sum += buffer[0];
    }
    xmp_end_player(c);
    xmp_release_module(c);
    xmp_free_context(c);
    return sum;
}

int64_t RenderLibopenmpt(const std::vector<uint8_t>& file, long frames)
{
    openmpt_module* m = openmpt_module_create_from_memory2(file.data(), file.size(), nullptr, nullptr,
                                                           nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!m)
        return -1;
    openmpt_module_set_repeat_count(m, -1);
    openmpt_module_set_render_param(m, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 2);
    std::vector<int16_t> buffer(Chunk * 2);
    int64_t sum = 0;
    for (long done = 0; done < frames; done += Chunk) {
        openmpt_module_read_interleaved_stereo(m, Rate, Chunk, buffer.data());
        sum += buffer[0];
    }
    openmpt_module_destroy(m);
    return sum;
}

typedef int64_t (*Renderer)(const std::vector<uint8_t>&, long);

Renderer Engine(const std::string& name)
{
    if (name == "korvastil") return RenderKorvastil;
    if (name == "libxmp") return RenderLibxmp;
    if (name == "libopenmpt") return RenderLibopenmpt;
    return nullptr;
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: mixer_bench DIR [ENGINE FILE SECONDS]\n");
        return 1;
    }
    const std::string dir = argv[1];
    const std::vector<uint8_t> dense = WriteXm(DenseSong());
    std::ofstream(dir + "/dense.xm", std::ios::binary)
        .write(reinterpret_cast<const char*>(dense.data()), long(dense.size()));
    const std::vector<uint8_t> song(SongImage, SongImageEnd);

    if (argc == 5) {
        Renderer render = Engine(argv[2]);
        const std::string which = argv[3];
        if (!render || (which != "song" && which != "dense"))
            return 1;
        const long frames = long(std::atof(argv[4]) * Rate);
        return render(which == "song" ? song : dense, frames) == -1 ? 1 : 0;
    }

    const int runs = 5;
    const double seconds = 60.0;
    const long frames = long(seconds * Rate);
    std::printf("%-10s %-11s %12s %14s\n", "file", "engine", "ms / 60 s", "x real time");
    for (const char* which : {"song", "dense"}) {
        for (const char* name : {"korvastil", "libxmp", "libopenmpt"}) {
            std::vector<double> times;
            for (int i = 0; i < runs; ++i) {
                const auto start = std::chrono::steady_clock::now();
                if (Engine(name)(std::string(which) == "song" ? song : dense, frames) == -1) {
                    std::fprintf(stderr, "%s cannot play %s\n", name, which);
                    return 1;
                }
                times.push_back(std::chrono::duration<double, std::milli>(
                                    std::chrono::steady_clock::now() - start).count());
            }
            std::sort(times.begin(), times.end());
            const double median = times[times.size() / 2];
            std::printf("%-10s %-11s %12.1f %14.0f\n", which, name, median, seconds * 1000.0 / median);
        }
    }
    return 0;
}
