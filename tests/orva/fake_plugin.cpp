// A minimal plug-in for the loading tests: files that begin with "FAKE" hold
// 16-bit stereo samples; "FAKX" is recognised and refused with its own error.
#include "orva.h"

#include <cstring>

namespace {

struct Fake {
  HOSTFILE file;
  uint64_t length;
};

uint32_t Decode(HSTREAM, void *buffer, uint32_t length, void *user) {
  auto *f = static_cast<Fake *>(user);
  uint32_t n = _.FileRead(f->file, buffer, length);
  return _.FileAtEnd(f->file) ? n | ORVA_STREAMPROC_END : n;
}
void Free(void *inst) { delete static_cast<Fake *>(inst); }
uint64_t Length(void *inst, uint32_t) { return static_cast<Fake *>(inst)->length; }

const OrvaPluginFuncs Funcs = {0, Free, Length, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

HSTREAM Create(HOSTFILE file, uint32_t flags) {
  char magic[4];
  if (_.FileRead(file, magic, 4) != 4 || (memcmp(magic, "FAKE", 4) && memcmp(magic, "FAKX", 4))) {
    _.SetError(ORVA_ERROR_FILEFORM);
    return 0;
  }
  if (!memcmp(magic, "FAKX", 4)) {
    _.SetError(ORVA_ERROR_BUFFERED_INDEX);
    return 0;
  }
  auto *f = new Fake{file, _.FilePosition(file, ORVA_FILEPOS_END) - 4};
  HSTREAM h = _.CreateStream(44100, 2, flags & ~ORVA_SAMPLE_FLOAT, Decode, f, &Funcs);
  if (!h)
    delete f;
  return h;
}

const OrvaPluginForm Form = {0x1FA4E, "Fake", "*.fake"};
const OrvaPluginInfo Info = {ORVA_VERSION, 1, &Form};

} // namespace

extern "C" ORVA_EXPORT const void *Orvaplugin(uint32_t face) {
  if (face == 0)
    return &Info;
  if (face == 1)
    return reinterpret_cast<const void *>(&Create);
  return nullptr;
}
