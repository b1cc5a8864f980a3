// libFuzzer target: a FLAC stream from memory, decoded to its end, then
// positioned somewhere and read again; or the same bytes as a buffered file
// whose data arrive in pieces while it is read.
#include "pymo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Arrival {
  const uint8_t *data;
  size_t size, released, read;
};

uint32_t ReadArrived(void *buffer, uint32_t length, void *user) {
  auto *a = static_cast<Arrival *>(user);
  if (a->read == a->size) return ORVA_FILE_EOF;
  const size_t n = std::min<size_t>(length, a->released - a->read);
  if (n) std::memcpy(buffer, a->data + a->read, n);
  a->read += n;
  return static_cast<uint32_t>(n);
}

void DecodeBuffered(const uint8_t *data, size_t size, uint32_t flags, size_t step) {
  Arrival a{data, size, std::min(size, step * 4), 0};
  OrvaFileProcs procs{};
  procs.read = ReadArrived;
  HOSTFILE file = _.OpenUserFile(ORVA_FILESYSTEM_BUFFER, flags, &procs, &a, 0);
  if (!file) return;
  const auto create = reinterpret_cast<OrvaPluginCreateProc>(const_cast<void *>(Orvaplugin(1)));
  const HSTREAM h = create(file, flags);
  if (!h) {
    _.CloseFile(file);
    return;
  }
  std::vector<float> buffer(2 * 1000);
  for (int round = 0; round < 100000; round++) {
    const uint32_t n = Orva_ChannelGetData(h, buffer.data(), buffer.size() * 4);
    if (n == UINT32_MAX) break;
    if (n < buffer.size() * 4) {
      if (a.released == size && n == 0) break;
      a.released = std::min(size, a.released + step);
    }
  }
  Orva_StreamFree(h);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  // The last byte picks the output format, the way in and where to seek;
  // the rest is the file.
  const uint8_t knob = data[size - 1];
  const uint32_t flags = ORVA_STREAM_DECODE | ((knob & 1) ? ORVA_SAMPLE_FLOAT : 0);
  if (knob & 2) {
    DecodeBuffered(data, size - 1, flags, 1 + knob * 7);
    return 0;
  }
  const HSTREAM h = Orva_FLAC_StreamCreateFile(1, data, 0, size, flags);
  if (!h) return 0;
  std::vector<float> buffer(2 * 3001);
  const uint64_t length = Orva_ChannelGetLength(h, ORVA_POS_BYTE);
  for (;;) {
    const uint32_t n = Orva_ChannelGetData(h, buffer.data(), buffer.size() * 4);
    if (n == UINT32_MAX || n == 0) break;
  }
  if (length != UINT64_MAX && length >= 8) {
    const uint64_t target = (length / 8) * knob / 256 * 8;
    if (Orva_ChannelSetPosition(h, target, ORVA_POS_BYTE)) Orva_ChannelGetData(h, buffer.data(), 8 * 777);
  }
  float value;
  Orva_ChannelGetAttribute(h, ORVA_ATTRIB_BITRATE, &value);
  Orva_StreamFree(h);
  return 0;
}
