// Decodes one file through orva (FLAC through pymo) to nowhere, or to a raw
// file of float stereo samples, and reports the time taken.
//   flacdec FILE [-o RAW] [--repeat N]
#include "pymo.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char **argv) {
  const char *input = nullptr, *output = nullptr;
  int repeat = 1;
  for (int i = 1; i < argc; i++) {
    if (!std::strcmp(argv[i], "-o") && i + 1 < argc)
      output = argv[++i];
    else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
      repeat = std::atoi(argv[++i]);
    else
      input = argv[i];
  }
  if (!input || repeat < 1) {
    std::fprintf(stderr, "usage: flacdec FILE [-o RAW] [--repeat N]\n");
    return 2;
  }
  // A few MB per call, as the player's decoder thread reads a round.
  std::vector<float> buffer(1 << 20);
  uint64_t bytes = 0;
  double seconds = 0;
  for (int r = 0; r < repeat; r++) {
    const auto start = std::chrono::steady_clock::now();
    const HSTREAM h = Orva_FLAC_StreamCreateFile(0, input, 0, 0, ORVA_SAMPLE_FLOAT | ORVA_STREAM_DECODE);
    if (!h) {
      std::fprintf(stderr, "flacdec: cannot open %s (error %d)\n", input, Orva_ErrorGetCode());
      return 1;
    }
    FILE *out = output ? std::fopen(output, "wb") : nullptr;
    bytes = 0;
    for (;;) {
      const uint32_t n = Orva_ChannelGetData(h, buffer.data(), buffer.size() * 4);
      if (n == UINT32_MAX || n == 0) break;
      if (out) std::fwrite(buffer.data(), 1, n, out);
      bytes += n;
    }
    if (out) std::fclose(out);
    Orva_StreamFree(h);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  seconds /= repeat;
  std::printf("%llu bytes in %.3f s\n", static_cast<unsigned long long>(bytes), seconds);
  return 0;
}
