// How long this machine stops: one real-time thread per CPU sleeps 1 ms again and again and
// reports each wake that came 5 ms or more late, with a histogram at the end. On a virtual
// machine those are the moments the host runs other guests (steal time): no thread of ours
// runs then, whatever its priority, and a sound buffer must outlast them.
//   bench/host_stalls.sh [SECONDS]
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

namespace {

int seconds = 60;
const double kEdges[] = {2, 5, 10, 20, 50, 100, 200};  // ms
const int kBins = sizeof kEdges / sizeof kEdges[0] + 1;

double Now(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

void* Watch(void* arg) {
  const long cpu = reinterpret_cast<long>(arg);
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  pthread_setaffinity_np(pthread_self(), sizeof one, &one);
  sched_param fifo = {20};  // above the sound threads (10): only the host can hold it up
  const bool realtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &fifo) == 0;
  int bins[kBins] = {};
  double longest = 0;
  const double start = Now(CLOCK_MONOTONIC);
  for (double last = start; last - start < seconds;) {
    const timespec ms = {0, 1000000};
    nanosleep(&ms, nullptr);
    const double now = Now(CLOCK_MONOTONIC), gap = (now - last) * 1e3;
    int bin = 0;
    while (bin < kBins - 1 && gap >= kEdges[bin]) ++bin;
    ++bins[bin];
    if (gap > longest) longest = gap;
    if (gap >= 5) printf("cpu%ld at %.3f: %.1f ms\n", cpu, Now(CLOCK_REALTIME), gap);
    last = now;
  }
  printf("cpu%ld%s: longest %.1f ms;", cpu, realtime ? "" : " (not real-time)", longest);
  for (int i = 0; i < kBins - 1; ++i) printf(" <%g ms: %d", kEdges[i], bins[i]);
  printf(" more: %d\n", bins[kBins - 1]);
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) seconds = atoi(argv[1]);
  if (seconds <= 0) {
    fprintf(stderr, "usage: host_stalls [SECONDS]\n");
    return 2;
  }
  setvbuf(stdout, nullptr, _IOLBF, 0);
  const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  pthread_t threads[64];
  const long n = cpus < 64 ? cpus : 64;
  for (long i = 0; i < n; ++i) pthread_create(&threads[i], nullptr, Watch, reinterpret_cast<void*>(i));
  for (long i = 0; i < n; ++i) pthread_join(threads[i], nullptr);
  return 0;
}
