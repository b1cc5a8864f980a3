// orvadec: decodes one file through orva to nowhere or to a raw float file and
// prints how long it took.
//   orvadec [--plugin LIB]... [--create LIB:FUNCTION] [--out FILE] [--chunk BYTES] FILE
// --plugin loads a plug-in with Orva_PluginLoad (repeatable); --create opens
// the file with a plug-in's own creation function, e.g.
// --create ./pymo.dll:Orva_FLAC_StreamCreateFile, instead of Orva_StreamCreateFile.
#include "orva.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef HSTREAM (*CreateFileProc)(int mem, const void *file, uint64_t offset, uint64_t length, uint32_t flags);

int Usage() {
  fprintf(stderr, "usage: orvadec [--plugin LIB]... [--create LIB:FUNCTION] [--out FILE] [--chunk BYTES] FILE\n");
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  std::vector<std::string> plugins;
  std::string create, out, path;
  uint32_t chunk = 4u << 20; // the player reads its rounds in pieces of a few MB
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--plugin" && i + 1 < argc)
      plugins.push_back(argv[++i]);
    else if (a == "--create" && i + 1 < argc)
      create = argv[++i];
    else if (a == "--out" && i + 1 < argc)
      out = argv[++i];
    else if (a == "--chunk" && i + 1 < argc)
      chunk = uint32_t(strtoul(argv[++i], nullptr, 0)) & ~7u;
    else if (!a.empty() && a[0] != '-' && path.empty())
      path = a;
    else
      return Usage();
  }
  if (path.empty() || chunk == 0)
    return Usage();

  for (const std::string &p : plugins) {
    if (!Orva_PluginLoad(p.c_str(), 0)) {
      fprintf(stderr, "cannot load plug-in %s (error %d)\n", p.c_str(), Orva_ErrorGetCode());
      return 1;
    }
  }
  CreateFileProc createProc = Orva_StreamCreateFile;
  if (!create.empty()) {
    size_t colon = create.rfind(':');
    if (colon == std::string::npos)
      return Usage();
    void *lib = dlopen(create.substr(0, colon).c_str(), RTLD_NOW | RTLD_GLOBAL);
    createProc = lib ? reinterpret_cast<CreateFileProc>(dlsym(lib, create.substr(colon + 1).c_str())) : nullptr;
    if (!createProc) {
      fprintf(stderr, "cannot bind %s: %s\n", create.c_str(), dlerror());
      return 1;
    }
  }
  FILE *sink = nullptr;
  if (!out.empty() && !(sink = fopen(out.c_str(), "wb"))) {
    perror(out.c_str());
    return 1;
  }

  std::vector<uint8_t> buffer(chunk);
  const auto start = std::chrono::steady_clock::now();
  HSTREAM h = createProc(0, path.c_str(), 0, 0, 0x200110u);
  if (!h) {
    fprintf(stderr, "cannot open %s (error %d)\n", path.c_str(), Orva_ErrorGetCode());
    return 1;
  }
  const uint64_t length = Orva_ChannelGetLength(h, 0);
  float rate = 0;
  Orva_ChannelGetAttribute(h, ORVA_ATTRIB_FREQ, &rate);
  uint64_t bytes = 0;
  for (;;) {
    uint32_t n = Orva_ChannelGetData(h, buffer.data(), chunk);
    if (n == UINT32_MAX || n == 0)
      break;
    bytes += n;
    if (sink && fwrite(buffer.data(), 1, n, sink) != n) {
      perror(out.c_str());
      return 1;
    }
  }
  Orva_StreamFree(h);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (sink)
    fclose(sink);
  const double audio = rate > 0 ? double(bytes) / 8 / rate : 0;
  printf("%s: %.3f s elapsed, %llu bytes (length %llu), %.1f s of audio at %.0f Hz, %.1fx real time\n",
         path.c_str(), elapsed, (unsigned long long)bytes, (unsigned long long)length, audio, rate,
         elapsed > 0 ? audio / elapsed : 0.0);
  return bytes == length ? 0 : 3;
}
