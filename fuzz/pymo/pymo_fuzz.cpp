// libFuzzer target: a FLAC stream from memory, decoded to its end in both
// native formats, then positioned somewhere and read again.
#include "pymo.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  // The last byte picks the output format and where to seek; the rest is the file.
  const uint8_t knob = data[size - 1];
  const uint32_t flags = ORVA_STREAM_DECODE | ((knob & 1) ? ORVA_SAMPLE_FLOAT : 0);
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
