// Opens the input as a file from memory, and again as a buffered file whose
// bytes arrive in pieces, then decodes everything and positions once.
#include "orva.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t MaxOutput = 64u << 20; // a tiny file must not keep us busy for long
float Buffer[2 * 4096];

void DecodeAndSeek(HSTREAM h, void (*arrive)(void *), void *user) {
  const uint64_t length = Orva_ChannelGetLength(h, ORVA_POS_BYTE);
  uint64_t total = 0;
  int idle = 0;
  while (total < MaxOutput && idle < 4) {
    uint32_t n = Orva_ChannelGetData(h, Buffer, 8 * 1023);
    if (n == UINT32_MAX)
      break;
    total += n;
    idle = n ? 0 : idle + 1;
    if (arrive)
      arrive(user);
  }
  if (length != UINT64_MAX && length >= 8) {
    Orva_ChannelSetPosition(h, (length / 3) & ~uint64_t(7), ORVA_POS_BYTE);
    Orva_ChannelGetData(h, Buffer, sizeof Buffer);
  }
  Orva_StreamFree(h);
}

struct Arrival {
  const uint8_t *data;
  size_t size, arrived, at;
};

uint32_t ArrivalRead(void *buffer, uint32_t length, void *user) {
  auto *a = static_cast<Arrival *>(user);
  if (a->at >= a->size)
    return ORVA_FILE_EOF;
  uint32_t n = uint32_t(std::min<size_t>(length, a->arrived - a->at));
  memcpy(buffer, a->data + a->at, n);
  a->at += n;
  return n;
}

void Arrive(void *user) {
  auto *a = static_cast<Arrival *>(user);
  a->arrived = std::min(a->size, a->arrived + 1000);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (HSTREAM h = Orva_StreamCreateFile(1, data, 0, size, 0))
    DecodeAndSeek(h, nullptr, nullptr);

  Arrival a = {data, size, std::min<size_t>(size, 300), 0};
  OrvaFileProcs procs = {};
  procs.read = ArrivalRead;
  if (HSTREAM h = Orva_StreamCreateFileUser(ORVA_FILESYSTEM_BUFFER, 0, &procs, &a))
    DecodeAndSeek(h, Arrive, &a);
  return 0;
}
