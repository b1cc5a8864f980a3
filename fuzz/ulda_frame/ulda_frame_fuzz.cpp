// AlacDecodeFrame over an arbitrary configuration (the first 24 bytes) and
// frame (after one option byte: output format and the caller's channel count).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "alac_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 25) return 0;
  AlacDecoder d{};
  if (AlacDecoderInit(&d, data, 24) == ALAC_OK && d.config.frameLength <= 65536) {
    const uint8_t options = data[24];
    const bool floatOut = options & 1;
    const uint32_t chans = (options >> 1) & 7 ? (options >> 1) & 7 : d.config.numChannels;
    const uint32_t numSamples = (options & 0x10) ? d.config.frameLength / 2 : d.config.frameLength;
    std::vector<uint8_t> frame(data + 25, data + size);  // exact size: overreads show
    std::vector<float> out(size_t(chans) * d.config.frameLength);
    BitReader bits;
    BitReaderInit(&bits, frame.data(), uint32_t(frame.size()));
    uint32_t got = 0;
    AlacDecodeFrame(&d, &bits, out.data(), numSamples, chans, &got, floatOut);
  }
  AlacDecoderFree(&d);
  return 0;
}
