// Null output at real-time pace: what the output thread costs (CPU time
// against the wall-clock time it ran, i.e. a share of one core), whether its
// loop allocates, and whether the capture equals what the callback gave, bit
// for bit. Run by hand:
//
//   tesk_bench [seconds=60] [speed=1] [rate=44100]
//
// The callback plays a 10-second sweep over and over, copying it the way the
// player copies its buffers.
#include "tesk.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
extern "C" void *__libc_memalign(size_t, size_t);
extern "C" void __libc_free(void *);

namespace {

std::atomic<pthread_t> Watched{0};
std::atomic<uint64_t> WatchedAllocations{0};

inline void CountAllocation() {
  const pthread_t w = Watched.load(std::memory_order_relaxed);
  if (w && pthread_equal(w, pthread_self()))
    WatchedAllocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

// Every allocation of the process comes through here; those made on the
// output thread after its first callback are counted.
extern "C" {
void *malloc(size_t n) {
  CountAllocation();
  return __libc_malloc(n);
}
void *calloc(size_t n, size_t m) {
  CountAllocation();
  return __libc_calloc(n, m);
}
void *realloc(void *p, size_t n) {
  CountAllocation();
  return __libc_realloc(p, n);
}
void *aligned_alloc(size_t a, size_t n) {
  CountAllocation();
  return __libc_memalign(a, n);
}
void *memalign(size_t a, size_t n) {
  CountAllocation();
  return __libc_memalign(a, n);
}
int posix_memalign(void **p, size_t a, size_t n) {
  CountAllocation();
  *p = __libc_memalign(a, n);
  return *p ? 0 : ENOMEM;
}
void free(void *p) { __libc_free(p); }
}

namespace {

struct Sweep {
  std::vector<float> Samples; // 10 s, stereo
  size_t Position = 0;        // output thread only
  uint64_t Delivered = 0;     // frames
  bool First = true;
  timespec CpuFirst{}, CpuLast{}, WallFirst{}, WallLast{};
  std::atomic<uint64_t> Calls{0};
};

double Seconds(const timespec &a, const timespec &b) {
  return double(b.tv_sec - a.tv_sec) + double(b.tv_nsec - a.tv_nsec) / 1e9;
}

uint32_t CopySweep(int, uint32_t, void *buffer, uint32_t length, void *user) {
  Sweep &s = *static_cast<Sweep *>(user);
  timespec cpu, wall;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  clock_gettime(CLOCK_MONOTONIC, &wall);
  if (s.First) {
    s.First = false;
    s.CpuFirst = cpu, s.WallFirst = wall;
    Watched.store(pthread_self());
  }
  s.CpuLast = cpu, s.WallLast = wall;
  auto *out = static_cast<uint8_t *>(buffer);
  size_t left = length;
  while (left > 0) {
    const size_t n = std::min(left, (s.Samples.size() - s.Position) * 4);
    std::memcpy(out, s.Samples.data() + s.Position, n);
    out += n, left -= n;
    s.Position = (s.Position + n / 4) % s.Samples.size();
  }
  s.Delivered += length / 8;
  s.Calls.fetch_add(1, std::memory_order_relaxed);
  return length;
}

} // namespace

int main(int argc, char **argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
  const char *speed = argc > 2 ? argv[2] : "1";
  const double rate = argc > 3 ? std::atof(argv[3]) : 44100;
  const std::string capture = "/tmp/tesk_bench_capture.wav";
  setenv("VELMORA_NULL_CAPTURE", capture.c_str(), 1);
  setenv("VELMORA_NULL_SPEED", speed, 1);

  Sweep sweep;
  const size_t frames = size_t(10 * rate);
  sweep.Samples.resize(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    const double phase = 2 * M_PI * (20 * t + (20000.0 - 20) * t * t / 20);
    sweep.Samples[i * 2] = float(0.5 * std::sin(phase));
    sweep.Samples[i * 2 + 1] = float(0.5 * std::cos(phase));
  }

  int null = -1;
  TeskDeviceInfo info{};
  for (int i = 0; Tesk_ASIO_GetDeviceInfo(i, &info); ++i)
    if (std::strcmp(info.driver, "null") == 0)
      null = i;
  if (null < 0 || !Tesk_ASIO_Init(null, 1) || !Tesk_ASIO_SetRate(rate) ||
      !Tesk_ASIO_ChannelEnable(0, 0, CopySweep, &sweep) || !Tesk_ASIO_ChannelJoin(0, 1, 0) ||
      !Tesk_ASIO_ChannelSetFormat(0, 0, TESK_FORMAT_FLOAT) || !Tesk_ASIO_Start(0, 0)) {
    std::fprintf(stderr, "could not start the Null output: error %d\n", Tesk_ASIO_ErrorGetCode());
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  Tesk_ASIO_Stop();
  Tesk_ASIO_Free();
  Watched.store(0);

  const double cpu = Seconds(sweep.CpuFirst, sweep.CpuLast);
  const double wall = Seconds(sweep.WallFirst, sweep.WallLast);
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  std::printf("periods %llu, frames %llu at %.0f Hz, speed %s\n", (unsigned long long)sweep.Calls.load(),
              (unsigned long long)sweep.Delivered, rate, speed);
  std::printf("output thread: %.4f s CPU in %.3f s wall = %.3f %% of a core (%.1f us a period)\n", cpu, wall,
              100 * cpu / wall, 1e6 * cpu / double(sweep.Calls));
  std::printf("whole process, writer thread included: %.3f s CPU\n",
              double(self.ru_utime.tv_sec + self.ru_stime.tv_sec) +
                  double(self.ru_utime.tv_usec + self.ru_stime.tv_usec) / 1e6);
  std::printf("allocations on the output thread after its first callback: %llu\n",
              (unsigned long long)WatchedAllocations.load());

  // The capture must be the sweep, repeated, for every frame delivered.
  std::ifstream in(capture, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  const size_t header = 94;
  const uint64_t captured = bytes.size() > header ? (bytes.size() - header) / 8 : 0;
  uint64_t mismatched = 0;
  for (uint64_t f = 0; f < captured; ++f)
    if (std::memcmp(bytes.data() + header + f * 8, sweep.Samples.data() + (f % frames) * 2, 8) != 0)
      ++mismatched;
  std::printf("capture: %llu frames, %llu delivered, %llu differ\n", (unsigned long long)captured,
              (unsigned long long)sweep.Delivered, (unsigned long long)mismatched);
  std::remove(capture.c_str());
  return captured == sweep.Delivered && mismatched == 0 ? 0 : 1;
}
