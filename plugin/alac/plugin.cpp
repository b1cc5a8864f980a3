#include "plugin.h"

#include <cstdio>

#include "alac_stream.h"

const OrvaHostFunctions *HostFunctionTable = nullptr;
bool PluginRefused = false;

static const OrvaPluginForm AlacPluginForms[1] = {{ORVA_CTYPE_ALAC, "Apple Lossless Audio Codec", "*.m4a"}};
static const OrvaPluginInfo AlacPluginInfo = {0x02040000u, 1, AlacPluginForms};

bool AlacHostVersionAccepted(uint32_t version) { return (version >> 16) == 0x0204; }

void AlacAttach(const OrvaHostFunctions *host, uint32_t version) {
  HostFunctionTable = host;
  PluginRefused = !AlacHostVersionAccepted(version);
  if (PluginRefused) std::fprintf(stderr, "OrvaALAC: Incorrect orva.dll version (2.4 is required)\n");
}

int FileSeekForward(HOSTFILE file, uint64_t target) {
  const OrvaHostFunctions *h = HostFunctionTable;
  if (h->FileSeek(file, target)) return 0;
  const uint64_t available = h->FilePosition(file, ORVA_FILEPOS_AVAILABLE);
  if (available == UINT64_MAX) return 1;
  const int64_t gap = int64_t(target) - int64_t(h->FilePosition(file, ORVA_FILEPOS_CURRENT));
  // Measured against the data lying beyond the target, not the target itself.
  if (gap < 0 || gap > int64_t(available) - int64_t(target)) return 1;
  uint8_t scratch[1024];
  for (int64_t left = gap; left > 0;) {
    const uint32_t piece = left < 1024 ? uint32_t(left) : 1024u;
    const uint32_t got = h->FileRead(file, scratch, piece);
    // Nothing delivered: give up rather than spin on a file that has stalled.
    if (got == 0 || got > piece) return 1;
    left -= got;
  }
  return 0;
}

int FileSkip(HOSTFILE file, int64_t count) {
  const uint64_t here = HostFunctionTable->FilePosition(file, ORVA_FILEPOS_CURRENT);
  return FileSeekForward(file, here + uint64_t(count));
}

static HSTREAM CreateOnOpenFile(HOSTFILE file, uint32_t flags) {
  if (!file) return 0;
  const HSTREAM handle = AlacCreateStream(file, flags);
  if (!handle) HostFunctionTable->CloseFile(file);
  return handle;
}

static bool Refuse() {
  if (!PluginRefused) return false;
  HostFunctionTable->SetError(ORVA_ERROR_FILEFORM);
  return true;
}

extern "C" HSTREAM Orva_ALAC_StreamCreateFile(int mem, const void *file, uint64_t offset, uint64_t length,
                                              uint32_t flags) {
  if (Refuse()) return 0;
  return CreateOnOpenFile(HostFunctionTable->OpenFile(mem, file, offset, length, flags, 0), flags);
}

extern "C" HSTREAM Orva_ALAC_StreamCreateURL(const char *url, uint64_t offset, uint32_t flags, void *proc,
                                             void *user) {
  if (Refuse()) return 0;
  return CreateOnOpenFile(HostFunctionTable->OpenURL(url, offset, flags, proc, user, 1), flags);
}

extern "C" HSTREAM Orva_ALAC_StreamCreateFileUser(uint32_t system, uint32_t flags, const OrvaFileProcs *procs,
                                                  void *user) {
  if (Refuse()) return 0;
  if (system != 0) {
    HostFunctionTable->SetError(ORVA_ERROR_ILLPARAM);
    return 0;
  }
  return CreateOnOpenFile(HostFunctionTable->OpenUserFile(0, flags, procs, user, 0), flags);
}

extern "C" const void *Orvaplugin(uint32_t face) {
  if (PluginRefused) return nullptr;
  if (face == 0) return &AlacPluginInfo;
  if (face == 1) return reinterpret_cast<const void *>(&AlacCreateStream);
  return nullptr;
}
