// Helpers shared by orva's tests.
#ifndef ORVA_TEST_UTIL_H
#define ORVA_TEST_UTIL_H

#include "orva.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::string FixturePath(const std::string &name) { return std::string(FIXTURE_DIR) + "/" + name; }

inline std::vector<uint8_t> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// Reads the whole stream in pieces of `piece` bytes.
inline std::vector<float> DecodeAll(HSTREAM h, uint32_t piece = 8 * 4099) {
  std::vector<float> out;
  std::vector<float> buf(piece / 4);
  for (;;) {
    uint32_t n = Orva_ChannelGetData(h, buf.data(), piece);
    if (n == UINT32_MAX || n == 0)
      break;
    out.insert(out.end(), buf.begin(), buf.begin() + n / 4);
  }
  return out;
}

#endif
