// Decoding speed of ALAC files through orva and ulda to float stereo, against
// ffmpeg decoding the same file to float on one thread, in the same run.
// Usage: alac_bench FILE.m4a...   (run by hand; see bench/alac/run.sh)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "orva.h"
#include "plugin.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Best of several runs: the least disturbed by other work on the machine.
double TimeOurs(const char *path, double *seconds) {
  double best = 1e9;
  std::vector<float> buf(1 << 20);
  for (int run = 0; run < 5; run++) {
    const auto t0 = std::chrono::steady_clock::now();
    const HSTREAM h = Orva_ALAC_StreamCreateFile(0, path, 0, 0, ORVA_SAMPLE_FLOAT | ORVA_STREAM_DECODE);
    if (!h) {
      std::fprintf(stderr, "%s: error %d\n", path, Orva_ErrorGetCode());
      std::exit(1);
    }
    uint64_t total = 0;
    for (;;) {
      const uint32_t n = Orva_ChannelGetData(h, buf.data(), uint32_t(buf.size() * 4));
      if (n == UINT32_MAX || n == 0) break;
      total += n;
    }
    *seconds = Orva_ChannelBytes2Seconds(h, total);
    Orva_StreamFree(h);
    best = std::min(best, Seconds(t0));
  }
  return best;
}

double TimeFfmpeg(const char *path) {
  const std::string cmd =
      std::string("ffmpeg -nostdin -v error -threads 1 -i '") + path + "' -f f32le -y /dev/null";
  double best = 1e9;
  for (int run = 0; run < 5; run++) {
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(cmd.c_str()) != 0) std::exit(1);
    best = std::min(best, Seconds(t0));
  }
  return best;
}

}  // namespace

int main(int argc, char **argv) {
  for (int i = 1; i < argc; i++) {
    double seconds = 0;
    const double ours = TimeOurs(argv[i], &seconds);
    const double ffmpeg = TimeFfmpeg(argv[i]);
    std::printf("%s: %.1f s of audio; orva+ulda %.3f s, ffmpeg %.3f s, ratio %.2f\n", argv[i], seconds, ours, ffmpeg, ffmpeg / ours);
  }
  return 0;
}
