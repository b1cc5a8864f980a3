// Replays every file of the given folders through a fuzz target's entry point,
// so that inputs that once crashed stay fixed in the ordinary test build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
  int count = 0;
  for (int a = 1; a < argc; a++) {
    if (!std::filesystem::is_directory(argv[a])) continue;
    for (const auto &entry : std::filesystem::directory_iterator(argv[a])) {
      const std::string name = entry.path().filename().string();
      if (!entry.is_regular_file() || name[0] == '.' || name == "README") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      count++;
    }
  }
  std::printf("%d inputs replayed\n", count);
  return 0;
}
