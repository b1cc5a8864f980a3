// Float to the device's native samples. A float from a 16- or 24-bit source is
// k / 2^(bits-1), so multiplying by the target's power of two gives back k
// (shifted) exactly; rounding only matters for other values.
#include "tesk_internal.h"

#include <cmath>
#include <cstring>

namespace tesk {

namespace {

template <int Bits> inline int32_t ToInteger(float x) {
  constexpr double Scale = double(int64_t(1) << (Bits - 1));
  constexpr double Max = Scale - 1.0;
  if (std::isnan(x))
    return 0;
  const double d = double(x) * Scale;
  if (d >= Max)
    return int32_t(Max);
  if (d <= -Scale)
    return int32_t(-Scale);
  return int32_t(d < 0 ? d - 0.5 : d + 0.5); // round half away from zero
}

template <SampleFormat F> inline void StoreSample(float x, uint8_t *dst) {
  if constexpr (F == SampleFormat::Float) {
    // A float device still gets clipped samples: nothing beyond full scale.
    const float v = std::isnan(x) ? 0.0f : x > 1.0f ? 1.0f : x < -1.0f ? -1.0f : x;
    std::memcpy(dst, &v, 4);
  } else if constexpr (F == SampleFormat::S32) {
    const uint32_t v = uint32_t(ToInteger<32>(x));
    dst[0] = uint8_t(v), dst[1] = uint8_t(v >> 8), dst[2] = uint8_t(v >> 16), dst[3] = uint8_t(v >> 24);
  } else if constexpr (F == SampleFormat::S24) {
    // 24 bits in the low three bytes of 32, sign-extended.
    const uint32_t v = uint32_t(ToInteger<24>(x));
    const uint8_t sign = (v & 0x800000u) ? 0xFF : 0;
    dst[0] = uint8_t(v), dst[1] = uint8_t(v >> 8), dst[2] = uint8_t(v >> 16), dst[3] = sign;
  } else if constexpr (F == SampleFormat::S24Packed) {
    const uint32_t v = uint32_t(ToInteger<24>(x));
    dst[0] = uint8_t(v), dst[1] = uint8_t(v >> 8), dst[2] = uint8_t(v >> 16);
  } else {
    const uint32_t v = uint32_t(ToInteger<16>(x));
    dst[0] = uint8_t(v), dst[1] = uint8_t(v >> 8);
  }
}

template <SampleFormat F>
void ConvertAs(const float *in, uint32_t frames, uint32_t inChannels, uint32_t outChannels, uint32_t offset,
               uint8_t *out) {
  const size_t width = SampleBytes(F);
  if (inChannels == outChannels && offset == 0) {
    const size_t count = size_t(frames) * inChannels;
    for (size_t i = 0; i < count; ++i)
      StoreSample<F>(in[i], out + i * width);
    return;
  }
  std::memset(out, 0, size_t(frames) * outChannels * width);
  for (size_t f = 0; f < frames; ++f)
    for (uint32_t c = 0; c < inChannels && offset + c < outChannels; ++c)
      StoreSample<F>(in[f * inChannels + c], out + (f * outChannels + offset + c) * width);
}

} // namespace

uint32_t SampleBytes(SampleFormat format) {
  switch (format) {
  case SampleFormat::S24Packed: return 3;
  case SampleFormat::S16: return 2;
  default: return 4;
  }
}

void ConvertFrames(const float *in, uint32_t frames, uint32_t inChannels, uint32_t outChannels, uint32_t offset,
                   SampleFormat format, void *out) {
  auto *dst = static_cast<uint8_t *>(out);
  switch (format) {
  case SampleFormat::Float: ConvertAs<SampleFormat::Float>(in, frames, inChannels, outChannels, offset, dst); break;
  case SampleFormat::S32: ConvertAs<SampleFormat::S32>(in, frames, inChannels, outChannels, offset, dst); break;
  case SampleFormat::S24: ConvertAs<SampleFormat::S24>(in, frames, inChannels, outChannels, offset, dst); break;
  case SampleFormat::S24Packed:
    ConvertAs<SampleFormat::S24Packed>(in, frames, inChannels, outChannels, offset, dst);
    break;
  case SampleFormat::S16: ConvertAs<SampleFormat::S16>(in, frames, inChannels, outChannels, offset, dst); break;
  }
}

std::u16string ToUtf16(const std::string &s) {
  // Invalid sequences become U+FFFD rather than being dropped or misread.
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    const auto b = uint8_t(s[i]);
    uint32_t cp;
    size_t len;
    if (b < 0x80)
      cp = b, len = 1;
    else if ((b & 0xE0) == 0xC0)
      cp = b & 0x1F, len = 2;
    else if ((b & 0xF0) == 0xE0)
      cp = b & 0x0F, len = 3;
    else if ((b & 0xF8) == 0xF0)
      cp = b & 0x07, len = 4;
    else {
      out.push_back(u'\uFFFD'), ++i;
      continue;
    }
    bool ok = i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      const auto c = uint8_t(s[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t Least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < Least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(u'\uFFFD'), ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
    i += len;
  }
  return out;
}

} // namespace tesk
