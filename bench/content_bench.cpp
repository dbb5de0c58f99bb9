// Content generation at start-up: the texture script, the uncle sphere and the
// target mesh with its smooth normals. Prints the median of repeated runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "content/mesh.h"
#include "content/texture_script.h"

namespace {

template <typename Work>
double MedianMilliseconds(int runs, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main()
{
    const int runs = 31;
    int32_t count = 0;
    const double texture = MedianMilliseconds(runs, [] { RunTextureScript(); });
    const double uncle = MedianMilliseconds(runs, [&] { FreeMesh(BuildSphere(3, &count, 1.0f)); });
    const double target = MedianMilliseconds(runs, [&] { FreeMesh(BuildTargetMesh(&count)); });

    std::printf("content generation, median of %d runs (ms)\n", runs);
    std::printf("  texture script          %8.3f\n", texture);
    std::printf("  uncle sphere (2304)     %8.3f\n", uncle);
    std::printf("  target mesh (576)       %8.3f\n", target);
    std::printf("  total                   %8.3f\n", texture + uncle + target);
    return 0;
}
