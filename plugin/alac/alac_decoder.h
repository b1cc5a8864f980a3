// ALAC frame decoder: configuration, bit reader, adaptive Golomb-Rice entropy
// decoding, the adaptive FIR predictor and channel-pair matrixing.
#ifndef ULDA_ALAC_DECODER_H
#define ULDA_ALAC_DECODER_H

#include <cstdint>

enum : int32_t {
  ALAC_OK = 0,
  ALAC_PARAM_ERROR = -50,
  ALAC_MEMORY_ERROR = -108,
};

// Element identifiers of the frame syntax.
enum : uint32_t {
  ALAC_ID_SCE = 0,
  ALAC_ID_CPE = 1,
  ALAC_ID_CCE = 2,
  ALAC_ID_LFE = 3,
  ALAC_ID_DSE = 4,
  ALAC_ID_PCE = 5,
  ALAC_ID_FIL = 6,
  ALAC_ID_END = 7,
};

// Largest frame length accepted: the decoder's three work buffers and the
// stream's frame buffer are sized by it, so a hostile configuration must not
// be able to ask for gigabytes.
constexpr uint32_t ALAC_MAX_FRAME_LENGTH = 1u << 20;

struct AlacConfig {
  uint32_t frameLength;
  uint8_t compatibleVersion;
  uint8_t bitDepth;
  uint8_t pb;
  uint8_t mb;
  uint8_t kb;
  uint8_t numChannels;
  uint16_t maxRun;
  uint32_t maxFrameBytes;
  uint32_t avgBitRate;
  uint32_t sampleRate;
};

struct AlacDecoder {
  AlacConfig config;
  int32_t *mixBufferU;
  int32_t *mixBufferV;
  int32_t *predictor;
  uint16_t *shiftBuffer; // aliases predictor
};

// Bits are taken most significant first. Reads never touch memory at or past
// `end`: bytes beyond the frame read as zero.
struct BitReader {
  const uint8_t *cur;
  const uint8_t *end;
  uint32_t bitIndex;
  uint32_t byteSize;
};

struct AdaptiveGolombParams {
  uint32_t mb0;
  uint32_t pb;
  uint32_t kb;
  uint32_t wb;
};

void BitReaderInit(BitReader *bits, const uint8_t *data, uint32_t size);
uint32_t BitReaderRead(BitReader *bits, uint32_t n); // n <= 24
void BitReaderAdvance(BitReader *bits, uint32_t n);
void BitReaderByteAlign(BitReader *bits);

int32_t AlacDecoderInit(AlacDecoder *decoder, const uint8_t *bytes, uint32_t length);
void AlacDecoderFree(AlacDecoder *decoder);
int32_t AlacDecodeFrame(AlacDecoder *decoder, BitReader *bits, void *out, uint32_t numSamples, uint32_t numChannels,
                        uint32_t *outNumSamples, bool floatOutput);
int32_t DynamicDecompress(const AdaptiveGolombParams *params, BitReader *bits, int32_t *residuals, uint32_t numSamples,
                          uint32_t maxSize, uint32_t *bitsUsed);
void UnpredictBlock(const int32_t *pc, int32_t *out, uint32_t num, int16_t *coefs, uint32_t numActive,
                    uint32_t chanBits, uint32_t denShift);
// The plain filter without the unrolled 4- and 8-tap paths; UnpredictBlock must
// give the same results.
void UnpredictBlockGeneral(const int32_t *pc, int32_t *out, uint32_t num, int16_t *coefs, uint32_t numActive,
                           uint32_t chanBits, uint32_t denShift);

#endif
