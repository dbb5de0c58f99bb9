// What start-up computes: the texture script, the uncle sphere, the target mesh with its
// smooth normals, the song's load from the embedded image and the prefill of the output
// ring (all 100 blocks). Prints, per item, the median wall time of repeated runs and the
// mean CPU time of the thread over all runs. Built natively and for Windows (run under Wine).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#undef FreeModule  // a Win16 leftover macro; the name is the music's own
#else
#include <ctime>
#endif

#include "content/mesh.h"
#include "content/texture_script.h"
#include "music/audio_ring.h"
#include "music/xm.h"

namespace {

double ThreadCpuMilliseconds()
{
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 1e4;  // 100 ns units
#else
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
#endif
}

struct Timing {
    double medianWall;
    double meanCpu;
};

template <typename Work>
Timing Measure(int runs, Work work)
{
    std::vector<double> times;
    const double cpuStart = ThreadCpuMilliseconds();
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    const double cpu = (ThreadCpuMilliseconds() - cpuStart) / runs;
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], cpu};
}

void Row(const char* name, const Timing& t)
{
    std::printf("  %-26s %9.3f %9.3f\n", name, t.medianWall, t.meanCpu);
}

}  // namespace

int main()
{
    const int runs = 101;  // enough that the coarse CPU clock of some systems averages out
    int32_t count = 0;
    const Timing texture = Measure(runs, [] { RunTextureScript(); });
    const Timing uncle = Measure(runs, [&] { FreeMesh(BuildSphere(3, &count, 1.0f)); });
    const Timing target = Measure(runs, [&] { FreeMesh(BuildTargetMesh(&count)); });

    InstallImageReader();
    const Timing load = Measure(runs, [] {
        SetModuleImage(SongImage, uint32_t(SongImageEnd - SongImage));
        FreeModule(LoadModule(nullptr));
    });
    SetModuleImage(SongImage, uint32_t(SongImageEnd - SongImage));
    XmModule* song = LoadModule(nullptr);
    if (!song) {
        std::fprintf(stderr, "content_bench: the embedded song does not load\n");
        return 1;
    }
    SetOutputRate(44100);
    const Timing prefill = Measure(runs, [&] {
        BeginPlayback(song);
        EndPlayback();
    });
    FreeModule(song);

    std::printf("start-up work, %d runs: median wall and mean CPU per run (ms)\n", runs);
    std::printf("  %-26s %9s %9s\n", "", "wall", "cpu");
    Row("texture script", texture);
    Row("uncle sphere (2304)", uncle);
    Row("target mesh (576)", target);
    const Timing content = {texture.medianWall + uncle.medianWall + target.medianWall,
                            texture.meanCpu + uncle.meanCpu + target.meanCpu};
    Row("content total", content);
    Row("song load", load);
    Row("song prefill (100 blocks)", prefill);
    return 0;
}
