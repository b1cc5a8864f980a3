#include "alac_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Signed 32-bit arithmetic that wraps instead of overflowing: damaged frames
// can drive any sum out of range, and the codec itself relies on wrapping.
inline int32_t Wrap(uint32_t x) { return static_cast<int32_t>(x); }
inline int32_t WAdd(int32_t a, int32_t b) { return Wrap(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t WSub(int32_t a, int32_t b) { return Wrap(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t WMul(int32_t a, int32_t b) { return Wrap(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
inline int32_t WShl(int32_t a, uint32_t s) { return Wrap(static_cast<uint32_t>(a) << s); }

// Sign-extends from (32 - sh) bits.
inline int32_t SignExtend(int32_t x, uint32_t sh) { return WShl(x, sh) >> sh; }

inline uint32_t ReadBE32(const uint8_t *p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// 64 bits starting at bit pos of base[0..avail), bytes past avail read as 0.
// At least 57 of the returned bits are real data (or the zero padding).
inline uint64_t PeekBits(const uint8_t *base, size_t avail, uint64_t pos) {
  uint64_t byte = pos >> 3;
  uint64_t w;
  if (byte + 8 <= avail) {
    std::memcpy(&w, base + byte, 8);
    w = __builtin_bswap64(w);
  } else {
    w = 0;
    for (uint64_t i = 0; i < 8; i++) w = (w << 8) | (byte + i < avail ? base[byte + i] : 0u);
  }
  return w << (pos & 7);
}

inline size_t BytesLeft(const BitReader *bits) { return bits->cur < bits->end ? size_t(bits->end - bits->cur) : 0; }

// The reader stands past its last bit: a read or skip ran beyond the frame.
inline bool PastEnd(const BitReader *bits) {
  return bits->cur > bits->end || (bits->cur == bits->end && bits->bitIndex != 0);
}

inline uint64_t BitsLeft(const BitReader *bits) {
  if (PastEnd(bits)) return 0;
  return uint64_t(BytesLeft(bits)) * 8 - bits->bitIndex;
}

}  // namespace

void BitReaderInit(BitReader *bits, const uint8_t *data, uint32_t size) {
  bits->cur = data;
  bits->end = data + size;
  bits->bitIndex = 0;
  bits->byteSize = size;
}

void BitReaderAdvance(BitReader *bits, uint32_t n) {
  uint64_t total = uint64_t(bits->bitIndex) + n;
  uint64_t bytes = total >> 3;
  // Never form a pointer beyond the frame; "one bit past the end" stands for
  // any overrun, which is all the callers test for.
  if (bytes > BytesLeft(bits) || (bytes == BytesLeft(bits) && (total & 7))) {
    bits->cur = bits->end;
    bits->bitIndex = 1;
    return;
  }
  bits->cur += bytes;
  bits->bitIndex = uint32_t(total & 7);
}

uint32_t BitReaderRead(BitReader *bits, uint32_t n) {
  if (n == 0) return 0;
  uint64_t w = PastEnd(bits) ? 0 : PeekBits(bits->cur, BytesLeft(bits), bits->bitIndex);
  BitReaderAdvance(bits, n);
  return uint32_t(w >> (64 - n));
}

void BitReaderByteAlign(BitReader *bits) {
  if (bits->bitIndex != 0) BitReaderAdvance(bits, 8 - bits->bitIndex);
}

// Reads up to 32 bits.
static uint32_t ReadWide(BitReader *bits, uint32_t n) {
  if (n <= 24) return BitReaderRead(bits, n);
  uint32_t hi = BitReaderRead(bits, 24);
  return (hi << (n - 24)) | BitReaderRead(bits, n - 24);
}

int32_t AlacDecoderInit(AlacDecoder *decoder, const uint8_t *bytes, uint32_t length) {
  if (!decoder || !bytes || length < 12) return ALAC_PARAM_ERROR;
  const uint8_t *p = bytes;
  if (std::memcmp(p + 4, "frma", 4) == 0) {
    p += 12;
    length -= 12;
    if (length < 12) return ALAC_PARAM_ERROR;
  }
  if (std::memcmp(p + 4, "alac", 4) == 0) {
    p += 12;
    length -= 12;
  }
  if (length < 24) return ALAC_PARAM_ERROR;

  AlacConfig c;
  c.frameLength = ReadBE32(p);
  c.compatibleVersion = p[4];
  c.bitDepth = p[5];
  c.pb = p[6];
  c.mb = p[7];
  c.kb = p[8];
  c.numChannels = p[9];
  c.maxRun = uint16_t((p[10] << 8) | p[11]);
  c.maxFrameBytes = ReadBE32(p + 12);
  c.avgBitRate = ReadBE32(p + 16);
  c.sampleRate = ReadBE32(p + 20);
  if (c.frameLength == 0 || c.frameLength > ALAC_MAX_FRAME_LENGTH || c.numChannels < 1 || c.numChannels > 8 ||
      c.sampleRate == 0)
    return ALAC_PARAM_ERROR;
  decoder->config = c;
  if (c.compatibleVersion > 0) return ALAC_PARAM_ERROR;

  AlacDecoderFree(decoder);
  decoder->config = c;
  decoder->mixBufferU = static_cast<int32_t *>(std::calloc(c.frameLength, 4));
  decoder->mixBufferV = static_cast<int32_t *>(std::calloc(c.frameLength, 4));
  decoder->predictor = static_cast<int32_t *>(std::calloc(c.frameLength, 4));
  decoder->shiftBuffer = reinterpret_cast<uint16_t *>(decoder->predictor);
  if (!decoder->mixBufferU || !decoder->mixBufferV || !decoder->predictor) return ALAC_MEMORY_ERROR;
  return ALAC_OK;
}

void AlacDecoderFree(AlacDecoder *decoder) {
  std::free(decoder->mixBufferU);
  std::free(decoder->mixBufferV);
  std::free(decoder->predictor);
  decoder->mixBufferU = decoder->mixBufferV = decoder->predictor = nullptr;
  decoder->shiftBuffer = nullptr;
}

// ---- Entropy decoding ---------------------------------------------------

int32_t DynamicDecompress(const AdaptiveGolombParams *params, BitReader *bits, int32_t *residuals, uint32_t numSamples,
                          uint32_t maxSize, uint32_t *bitsUsed) {
  if (!params || !bits || !residuals || !bitsUsed || maxSize == 0 || maxSize > 32) return ALAC_PARAM_ERROR;
  *bitsUsed = 0;
  if (PastEnd(bits)) return ALAC_PARAM_ERROR;
  const uint8_t *base = bits->cur;
  const size_t avail = BytesLeft(bits);
  // Counted against the bits actually left in the frame, so damaged data
  // stops here instead of running on through zero padding.
  const uint64_t limit = uint64_t(avail) * 8;
  const uint64_t start = bits->bitIndex;
  uint64_t pos = start;

  const uint32_t pb = params->pb, kb = params->kb, wb = params->wb;
  uint32_t mb = params->mb0;
  uint32_t zmode = 0;
  uint32_t c = 0;
  int32_t status = ALAC_OK;

  while (c < numSamples) {
    if (pos >= limit) {
      status = ALAC_PARAM_ERROR;
      break;
    }
    uint32_t k = 31 - uint32_t(__builtin_clz((mb >> 9) + 3));
    if (k > kb) k = kb;
    const uint32_t m = (1u << k) - 1;
    const uint64_t w = PeekBits(base, avail, pos);
    const uint32_t prefix = ~w ? uint32_t(__builtin_clzll(~w)) : 64;
    uint32_t n;
    if (prefix >= 9) {
      n = uint32_t((w << 9) >> (64 - maxSize));
      pos += 9 + maxSize;
    } else if (k <= 1) {
      n = prefix * m;
      pos += prefix + 1;
    } else {
      const uint32_t v = uint32_t((w << (prefix + 1)) >> (64 - k));
      if (v >= 2) {
        n = prefix * m + v - 1;
        pos += prefix + 1 + k;
      } else {
        n = prefix * m;
        pos += prefix + k;
      }
    }

    const uint32_t d = n + zmode;
    const uint32_t mag = (d + 1) >> 1;
    residuals[c++] = Wrap((d & 1) ? 0u - mag : mag);

    mb = pb * d + mb - ((pb * mb) >> 9);
    if (n > 65535) mb = 65535;
    zmode = 0;

    if ((mb << 2) < 512 && c < numSamples) {
      zmode = 1;
      int32_t kz = int32_t(mb ? __builtin_clz(mb) : 32) - 24 + int32_t((mb + 16) >> 6);
      kz = std::clamp(kz, 0, 16);  // only a wrapped mean can leave 1..10
      const uint32_t mz = ((1u << kz) - 1) & wb;
      const uint64_t wz = PeekBits(base, avail, pos);
      const uint32_t pz = ~wz ? uint32_t(__builtin_clzll(~wz)) : 64;
      uint32_t run;
      if (pz >= 9) {
        run = uint32_t((wz << 9) >> 48);
        pos += 25;
      } else if (kz == 0) {
        run = 0;
        pos += pz + 1;
      } else {
        const uint32_t v = uint32_t((wz << (pz + 1)) >> (64 - kz));
        if (v >= 2) {
          run = pz * mz + v - 1;
          pos += pz + 1 + kz;
        } else {
          run = pz * mz;
          pos += pz + kz;
        }
      }
      if (uint64_t(c) + run > numSamples) {
        status = ALAC_PARAM_ERROR;
        break;
      }
      std::memset(residuals + c, 0, size_t(run) * 4);
      c += run;
      if (run >= 65535) zmode = 0;
      mb = 0;
    }
  }

  const uint64_t used = pos - start;
  *bitsUsed = used > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(used);
  BitReaderAdvance(bits, *bitsUsed);
  if (PastEnd(bits)) status = ALAC_PARAM_ERROR;
  return status;
}

// ---- Prediction -----------------------------------------------------------

namespace {

inline int32_t Sign(int32_t x) { return (x > 0) - (x < 0); }

// One filtered sample with coefficient adaptation; N taps (N > 0).
template <uint32_t N>
inline void PredictRun(const int32_t *pc, int32_t *out, uint32_t num, int16_t *coefs, uint32_t numActive,
                       uint32_t sh, uint32_t denShift) {
  const uint32_t taps = N ? N : numActive;
  const uint32_t denHalf = 1u << ((denShift - 1) & 31);
  int16_t c[32];
  for (uint32_t k = 0; k < taps; k++) c[k] = coefs[k];
  for (uint32_t j = taps + 1; j < num; j++) {
    const int32_t top = out[j - taps - 1];
    const int32_t *hist = out + j - 1;  // hist[-k] is out[j - 1 - k]
    uint32_t sum = 0;
#pragma GCC unroll 8
    for (uint32_t k = 0; k < taps; k++) sum += uint32_t(int32_t(c[k])) * uint32_t(WSub(hist[-int32_t(k)], top));
    const int32_t del = pc[j];
    out[j] = SignExtend(WAdd(WAdd(del, top), Wrap(sum + denHalf) >> denShift), sh);
    if (del > 0) {
      int32_t del0 = del;
#pragma GCC unroll 8
      for (int32_t k = int32_t(taps) - 1; k >= 0; k--) {
        const int32_t dd = WSub(top, hist[-k]);
        const int32_t s = Sign(dd);
        c[k] = int16_t(c[k] - s);
        const int32_t mag = s < 0 ? WSub(0, dd) : dd;  // s x dd
        del0 = WSub(del0, WMul(int32_t(taps) - k, mag >> denShift));
        if (del0 <= 0) break;
      }
    } else if (del < 0) {
      int32_t del0 = del;
#pragma GCC unroll 8
      for (int32_t k = int32_t(taps) - 1; k >= 0; k--) {
        const int32_t dd = WSub(top, hist[-k]);
        const int32_t s = Sign(dd);
        c[k] = int16_t(c[k] + s);
        const int32_t neg = s > 0 ? WSub(0, dd) : dd;  // -s x dd
        del0 = WSub(del0, WMul(int32_t(taps) - k, neg >> denShift));
        if (del0 >= 0) break;
      }
    }
  }
  for (uint32_t k = 0; k < taps; k++) coefs[k] = c[k];
}

using PredictRunFn = void (*)(const int32_t *, int32_t *, uint32_t, int16_t *, uint32_t, uint32_t, uint32_t);

// Everything before the adaptive part: returns false when the block is done.
inline bool PredictStart(const int32_t *pc, int32_t *out, uint32_t num, uint32_t numActive, uint32_t chanBits) {
  if (num == 0) return false;
  out[0] = pc[0];
  if (numActive == 0) {
    if (out != pc && num > 1) std::memmove(out + 1, pc + 1, size_t(num - 1) * 4);
    return false;
  }
  const uint32_t sh = 32 - chanBits;
  // The first-order pass for 31 taps; otherwise the warm-up, kept inside the
  // block even when it is shorter than the filter.
  const uint32_t warm = numActive == 31 ? num - 1 : std::min(numActive, num - 1);
  for (uint32_t j = 1; j <= warm; j++) out[j] = SignExtend(WAdd(pc[j], out[j - 1]), sh);
  return numActive != 31;
}

}  // namespace

void UnpredictBlockGeneral(const int32_t *pc, int32_t *out, uint32_t num, int16_t *coefs, uint32_t numActive,
                           uint32_t chanBits, uint32_t denShift) {
  if (chanBits == 0 || chanBits > 32 || numActive > 31) return;
  if (!PredictStart(pc, out, num, numActive, chanBits)) return;
  PredictRun<0>(pc, out, num, coefs, numActive, 32 - chanBits, denShift);
}

void UnpredictBlock(const int32_t *pc, int32_t *out, uint32_t num, int16_t *coefs, uint32_t numActive,
                    uint32_t chanBits, uint32_t denShift) {
  if (chanBits == 0 || chanBits > 32 || numActive > 31) return;
  if (!PredictStart(pc, out, num, numActive, chanBits)) return;
  // Filters of every common order run unrolled with the tap count fixed at
  // compile time; encoders mostly pick 4 to 8 taps.
  static constexpr PredictRunFn Unrolled[17] = {
      PredictRun<0>,  PredictRun<1>,  PredictRun<2>,  PredictRun<3>,  PredictRun<4>,  PredictRun<5>,
      PredictRun<6>,  PredictRun<7>,  PredictRun<8>,  PredictRun<9>,  PredictRun<10>, PredictRun<11>,
      PredictRun<12>, PredictRun<13>, PredictRun<14>, PredictRun<15>, PredictRun<16>};
  const PredictRunFn run = numActive <= 16 ? Unrolled[numActive] : PredictRun<0>;
  run(pc, out, num, coefs, numActive, 32 - chanBits, denShift);
}

// ---- Frame decoding -------------------------------------------------------

namespace {

struct ElementHeader {
  uint32_t bytesShifted;
  uint32_t shift;
  bool escape;
};

struct ChannelHeader {
  uint32_t mode;
  uint32_t denShift;
  uint32_t pbFactor;
  uint32_t num;
  int16_t coefs[32];
};

int32_t ReadElementHeader(BitReader *bits, uint32_t *numSamples, ElementHeader *h) {
  BitReaderRead(bits, 4);  // instance tag
  if (BitReaderRead(bits, 12) != 0) return ALAC_PARAM_ERROR;
  const uint32_t v = BitReaderRead(bits, 4);
  const bool partialFrame = v & 8;
  h->bytesShifted = (v >> 1) & 3;
  h->escape = v & 1;
  if (h->bytesShifted == 3) return ALAC_PARAM_ERROR;
  h->shift = 8 * h->bytesShifted;
  if (partialFrame) {
    uint32_t n = BitReaderRead(bits, 16) << 16;
    n |= BitReaderRead(bits, 16);
    if (n > *numSamples) return ALAC_PARAM_ERROR;
    *numSamples = n;
  }
  return ALAC_OK;
}

void ReadChannelHeader(BitReader *bits, ChannelHeader *c) {
  uint32_t h = BitReaderRead(bits, 8);
  c->mode = h >> 4;
  c->denShift = h & 15;
  h = BitReaderRead(bits, 8);
  c->pbFactor = h >> 5;
  c->num = h & 31;
  for (uint32_t k = 0; k < c->num; k++) c->coefs[k] = int16_t(BitReaderRead(bits, 16));
}

int32_t DecodeChannel(AlacDecoder *d, BitReader *bits, ChannelHeader *c, int32_t *target, uint32_t numSamples,
                      uint32_t chanBits) {
  const AlacConfig &cfg = d->config;
  AdaptiveGolombParams p;
  p.mb0 = cfg.mb;
  p.pb = uint32_t(cfg.pb) * c->pbFactor / 4;
  p.kb = cfg.kb;
  p.wb = cfg.kb >= 32 ? 0xFFFFFFFFu : (1u << cfg.kb) - 1;
  uint32_t used;
  int32_t status = DynamicDecompress(&p, bits, d->predictor, numSamples, chanBits, &used);
  if (status != ALAC_OK) return status;
  if (c->mode != 0) UnpredictBlock(d->predictor, d->predictor, numSamples, nullptr, 31, chanBits, 0);
  UnpredictBlock(d->predictor, target, numSamples, c->coefs, c->num, chanBits, c->denShift);
  return ALAC_OK;
}

int32_t ReadUncompressed(BitReader *bits, int32_t *u, int32_t *v, uint32_t numSamples, uint32_t chanBits) {
  const uint32_t perSample = v ? 2 : 1;
  if (BitsLeft(bits) < uint64_t(perSample) * chanBits * numSamples) return ALAC_PARAM_ERROR;
  const uint32_t sh = 32 - chanBits;
  for (uint32_t i = 0; i < numSamples; i++) {
    u[i] = SignExtend(Wrap(ReadWide(bits, chanBits)), sh);
    if (v) v[i] = SignExtend(Wrap(ReadWide(bits, chanBits)), sh);
  }
  return ALAC_OK;
}

// Sample conversion to the output format; one factor per element.
struct Converter {
  uint32_t down;  // right shift to 16 bits
  uint32_t up;    // left shift for sources under 16 bits
  float scale;
};

Converter MakeConverter(uint32_t bitDepth) {
  Converter c;
  c.down = bitDepth > 16 ? bitDepth - 16 : 0;
  c.up = bitDepth < 16 ? 16 - bitDepth : 0;
  c.scale = 1.0f / std::ldexp(1.0f, int(bitDepth) - 1);
  return c;
}

inline void Store(void *out, size_t index, int32_t x, const Converter &cv, bool floatOutput) {
  if (floatOutput) {
    static_cast<float *>(out)[index] = float(x) * cv.scale;
  } else {
    static_cast<int16_t *>(out)[index] = int16_t(WShl(x >> cv.down, cv.up));
  }
}

template <typename T>
void WriteSingle(T *out, const int32_t *u, const uint16_t *shiftBuf, uint32_t shift, uint32_t numSamples,
                 uint32_t stride, const Converter &cv) {
  for (uint32_t i = 0; i < numSamples; i++) {
    int32_t x = u[i];
    if (shift) x = Wrap((uint32_t(x) << shift) | shiftBuf[i]);
    Store(out, size_t(i) * stride, x, cv, sizeof(T) == 4);
  }
}

template <typename T>
void WritePair(T *out, const int32_t *u, const int32_t *v, const uint16_t *shiftBuf, uint32_t shift,
               uint32_t mixBits, int32_t mixRes, uint32_t numSamples, uint32_t stride, const Converter &cv) {
  constexpr bool isFloat = sizeof(T) == 4;
  if (mixRes == 0 && shift == 0) {
    for (uint32_t i = 0; i < numSamples; i++) {
      Store(out, size_t(i) * stride, u[i], cv, isFloat);
      Store(out, size_t(i) * stride + 1, v[i], cv, isFloat);
    }
    return;
  }
  for (uint32_t i = 0; i < numSamples; i++) {
    int32_t l = u[i], r = v[i];
    if (mixRes != 0) {
      l = WSub(WAdd(u[i], v[i]), WMul(mixRes, v[i]) >> mixBits);
      r = WSub(l, v[i]);
    }
    if (shift) {
      l = Wrap((uint32_t(l) << shift) | shiftBuf[2 * i]);
      r = Wrap((uint32_t(r) << shift) | shiftBuf[2 * i + 1]);
    }
    Store(out, size_t(i) * stride, l, cv, isFloat);
    Store(out, size_t(i) * stride + 1, r, cv, isFloat);
  }
}

void FillZeros(void *out, uint32_t fromChannel, uint32_t numChannels, uint32_t numSamples, bool floatOutput) {
  for (uint32_t ch = fromChannel; ch < numChannels; ch++)
    for (uint32_t i = 0; i < numSamples; i++) {
      if (floatOutput)
        static_cast<float *>(out)[size_t(i) * numChannels + ch] = 0.0f;
      else
        static_cast<int16_t *>(out)[size_t(i) * numChannels + ch] = 0;
    }
}

int32_t DecodeSingleElement(AlacDecoder *d, BitReader *bits, void *out, uint32_t *numSamples, uint32_t channelIndex,
                            uint32_t numChannels, bool floatOutput) {
  ElementHeader h;
  int32_t status = ReadElementHeader(bits, numSamples, &h);
  if (status != ALAC_OK) return status;
  const uint32_t bitDepth = d->config.bitDepth;
  if (bitDepth <= h.shift) return ALAC_PARAM_ERROR;
  const uint32_t chanBits = bitDepth - h.shift;
  const uint32_t n = *numSamples;
  uint32_t shift = 0;
  if (!h.escape) {
    BitReaderRead(bits, 8);  // mix parameters, unused for one channel
    BitReaderRead(bits, 8);
    ChannelHeader cu;
    ReadChannelHeader(bits, &cu);
    BitReader shiftReader = *bits;
    if (h.bytesShifted) BitReaderAdvance(bits, h.shift * n);
    status = DecodeChannel(d, bits, &cu, d->mixBufferU, n, chanBits);
    if (status != ALAC_OK) return status;
    if (h.bytesShifted) {
      for (uint32_t i = 0; i < n; i++) d->shiftBuffer[i] = uint16_t(BitReaderRead(&shiftReader, h.shift));
      shift = h.shift;
    }
  } else {
    status = ReadUncompressed(bits, d->mixBufferU, nullptr, n, chanBits);
    if (status != ALAC_OK) return status;
  }
  const Converter cv = MakeConverter(bitDepth);
  if (floatOutput)
    WriteSingle(static_cast<float *>(out) + channelIndex, d->mixBufferU, d->shiftBuffer, shift, n, numChannels, cv);
  else
    WriteSingle(static_cast<int16_t *>(out) + channelIndex, d->mixBufferU, d->shiftBuffer, shift, n, numChannels, cv);
  return ALAC_OK;
}

int32_t DecodePairElement(AlacDecoder *d, BitReader *bits, void *out, uint32_t *numSamples, uint32_t channelIndex,
                          uint32_t numChannels, bool floatOutput) {
  ElementHeader h;
  int32_t status = ReadElementHeader(bits, numSamples, &h);
  if (status != ALAC_OK) return status;
  const uint32_t bitDepth = d->config.bitDepth;
  const uint32_t n = *numSamples;
  uint32_t shift = 0, mixBits = 0;
  int32_t mixRes = 0;
  if (!h.escape) {
    // One extra bit carries the side channel; 33 bits cannot be held.
    if (bitDepth < h.shift || bitDepth - h.shift + 1 > 32) return ALAC_PARAM_ERROR;
    const uint32_t chanBits = bitDepth - h.shift + 1;
    mixBits = BitReaderRead(bits, 8);
    mixRes = int8_t(BitReaderRead(bits, 8));
    if (mixRes != 0 && mixBits > 31) return ALAC_PARAM_ERROR;
    ChannelHeader cu, cv;
    ReadChannelHeader(bits, &cu);
    ReadChannelHeader(bits, &cv);
    BitReader shiftReader = *bits;
    if (h.bytesShifted) BitReaderAdvance(bits, h.shift * 2 * n);
    status = DecodeChannel(d, bits, &cu, d->mixBufferU, n, chanBits);
    if (status != ALAC_OK) return status;
    status = DecodeChannel(d, bits, &cv, d->mixBufferV, n, chanBits);
    if (status != ALAC_OK) return status;
    if (h.bytesShifted) {
      for (uint32_t i = 0; i < 2 * n; i++) d->shiftBuffer[i] = uint16_t(BitReaderRead(&shiftReader, h.shift));
      shift = h.shift;
    }
  } else {
    if (bitDepth == 0 || bitDepth > 32) return ALAC_PARAM_ERROR;
    status = ReadUncompressed(bits, d->mixBufferU, d->mixBufferV, n, bitDepth);
    if (status != ALAC_OK) return status;
  }
  const Converter cvt = MakeConverter(bitDepth);
  if (floatOutput)
    WritePair(static_cast<float *>(out) + channelIndex, d->mixBufferU, d->mixBufferV, d->shiftBuffer, shift, mixBits,
              mixRes, n, numChannels, cvt);
  else
    WritePair(static_cast<int16_t *>(out) + channelIndex, d->mixBufferU, d->mixBufferV, d->shiftBuffer, shift,
              mixBits, mixRes, n, numChannels, cvt);
  return ALAC_OK;
}

}  // namespace

int32_t AlacDecodeFrame(AlacDecoder *decoder, BitReader *bits, void *out, uint32_t numSamples, uint32_t numChannels,
                        uint32_t *outNumSamples, bool floatOutput) {
  if (!decoder || !bits || !out || !outNumSamples || numChannels == 0) return ALAC_PARAM_ERROR;
  // The work buffers hold one full frame; 16-bit output needs a depth of 1 to 32.
  if (!decoder->predictor || numSamples > decoder->config.frameLength || decoder->config.bitDepth == 0 ||
      decoder->config.bitDepth > 32)
    return ALAC_PARAM_ERROR;
  uint32_t channelIndex = 0;
  *outNumSamples = numSamples;
  int32_t status = ALAC_OK;
  for (;;) {
    if (bits->cur >= bits->end) return ALAC_PARAM_ERROR;
    const uint32_t tag = BitReaderRead(bits, 3);
    switch (tag) {
      case ALAC_ID_SCE:
      case ALAC_ID_LFE:
        status = DecodeSingleElement(decoder, bits, out, &numSamples, channelIndex, numChannels, floatOutput);
        if (status == ALAC_OK) {
          *outNumSamples = numSamples;
          channelIndex += 1;
        }
        break;
      case ALAC_ID_CPE:
        // A pair that does not fit the stream's channels is left out.
        if (channelIndex + 2 > numChannels) {
          FillZeros(out, channelIndex, numChannels, numSamples, floatOutput);
          return status;
        }
        status = DecodePairElement(decoder, bits, out, &numSamples, channelIndex, numChannels, floatOutput);
        if (status == ALAC_OK) {
          *outNumSamples = numSamples;
          channelIndex += 2;
        }
        break;
      case ALAC_ID_CCE:
      case ALAC_ID_PCE:
        status = ALAC_PARAM_ERROR;
        break;
      case ALAC_ID_DSE: {
        BitReaderRead(bits, 4);  // element tag
        const uint32_t align = BitReaderRead(bits, 1);
        uint32_t count = BitReaderRead(bits, 8);
        if (count == 255) count += BitReaderRead(bits, 8);
        if (align) BitReaderByteAlign(bits);
        BitReaderAdvance(bits, count * 8);
        if (PastEnd(bits)) status = ALAC_PARAM_ERROR;
        break;
      }
      case ALAC_ID_FIL: {
        uint32_t count = BitReaderRead(bits, 4);
        if (count == 15) count += BitReaderRead(bits, 8) - 1;
        BitReaderAdvance(bits, count * 8);
        if (PastEnd(bits)) status = ALAC_PARAM_ERROR;
        break;
      }
      default:  // END
        BitReaderByteAlign(bits);
        return status;
    }
    if (channelIndex >= numChannels) return status;
    if (status != ALAC_OK) {
      FillZeros(out, channelIndex, numChannels, numSamples, floatOutput);
      return status;
    }
  }
}
