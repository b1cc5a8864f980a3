// A private folder per test, removed afterwards, and the environment pointed at it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

struct TempFolder {
  std::string Path; // ends in "/"
  TempFolder() {
    char pattern[] = "/tmp/velmora-test-XXXXXX";
    Path = std::string(mkdtemp(pattern)) + "/";
  }
  ~TempFolder() { std::filesystem::remove_all(Path); }
};

inline void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
