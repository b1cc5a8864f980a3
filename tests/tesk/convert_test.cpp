// Float to native samples, value by value: integer sources come back exactly,
// everything beyond full scale clips.
#include "tesk_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using tesk::ConvertFrames;
using tesk::SampleFormat;

namespace {

int64_t ConvertOne(float x, SampleFormat format) {
  uint8_t out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  ConvertFrames(&x, 1, 1, 1, 0, format, out);
  switch (format) {
  case SampleFormat::S16: return int16_t(out[0] | out[1] << 8);
  case SampleFormat::S24Packed: return int32_t(uint32_t(out[0] | out[1] << 8 | out[2] << 16) << 8) >> 8;
  case SampleFormat::S24:
  case SampleFormat::S32: {
    int32_t v;
    std::memcpy(&v, out, 4);
    return v;
  }
  default: return 0;
  }
}

struct Case {
  float x;
  int64_t s16, s24, s32;
};

constexpr float F16(int k) { return float(k) / 32768.0f; }
constexpr float F24(int k) { return float(k) / 8388608.0f; }
const float Inf = std::numeric_limits<float>::infinity();

const Case Cases[] = {
    // from 16-bit sources
    {F16(-32768), -32768, -32768 * 256, -2147483647 - 1},
    {F16(-32767), -32767, -32767 * 256, -32767 * 65536},
    {F16(-1), -1, -256, -65536},
    {F16(0), 0, 0, 0},
    {F16(1), 1, 256, 65536},
    {F16(12345), 12345, 12345 * 256, 12345 * 65536},
    {F16(32767), 32767, 32767 * 256, 32767 * 65536},
    // from 24-bit sources; to 16 bits they round to nearest
    {F24(-8388608), -32768, -8388608, -2147483647 - 1},
    {F24(-1), 0, -1, -256},
    {F24(1), 0, 1, 256},
    {F24(0x123456), 0x1234, 0x123456, 0x123456 * 256},
    {F24(0x1234C0), 0x1235, 0x1234C0, 0x1234C0 * 256},
    {F24(8388607), 32767, 8388607, 8388607 * 256},
    // full scale and beyond clip
    {1.0f, 32767, 8388607, 2147483647},
    {1.5f, 32767, 8388607, 2147483647},
    {-1.0f, -32768, -8388608, -2147483647 - 1},
    {-2.0f, -32768, -8388608, -2147483647 - 1},
    {Inf, 32767, 8388607, 2147483647},
    {-Inf, -32768, -8388608, -2147483647 - 1},
    {std::nanf(""), 0, 0, 0},
};

TEST(Convert, IntegerFormatsTable) {
  for (const Case &c : Cases) {
    SCOPED_TRACE(testing::Message() << "x = " << c.x);
    EXPECT_EQ(ConvertOne(c.x, SampleFormat::S16), c.s16);
    EXPECT_EQ(ConvertOne(c.x, SampleFormat::S24), c.s24);
    EXPECT_EQ(ConvertOne(c.x, SampleFormat::S24Packed), c.s24);
    EXPECT_EQ(ConvertOne(c.x, SampleFormat::S32), c.s32);
  }
}

TEST(Convert, FloatPassesUntouchedWithinFullScale) {
  const struct {
    float x, want;
  } cases[] = {{F24(0x123457), F24(0x123457)}, {-1e-30f, -1e-30f}, {1.0f, 1.0f}, {1.0001f, 1.0f},
               {-Inf, -1.0f}, {std::nanf(""), 0.0f}};
  for (const auto &c : cases) {
    float out = 42;
    ConvertFrames(&c.x, 1, 1, 1, 0, SampleFormat::Float, &out);
    EXPECT_EQ(std::memcmp(&out, &c.want, 4), 0) << c.x;
  }
}

TEST(Convert, ChannelsLandAtTheirOffsetAndTheRestIsSilent) {
  // Two frames of a stereo pair on channels 1 and 2 of a four-channel device,
  // and a lone channel on the last one.
  const float stereo[4] = {F16(1), F16(2), F16(3), F16(4)};
  int16_t out[8];
  std::memset(out, 0x55, sizeof out);
  ConvertFrames(stereo, 2, 2, 4, 1, SampleFormat::S16, out);
  const int16_t want[8] = {0, 1, 2, 0, 0, 3, 4, 0};
  EXPECT_EQ(std::memcmp(out, want, sizeof out), 0);

  const uint8_t packed[3 * 3] = {};
  uint8_t out24[2 * 3 * 3];
  std::memset(out24, 0x55, sizeof out24);
  const float mono[2] = {F24(0x010203), F24(-2)};
  ConvertFrames(mono, 2, 1, 3, 2, SampleFormat::S24Packed, out24);
  EXPECT_EQ(std::memcmp(out24, packed, 6), 0);
  EXPECT_EQ(std::memcmp(out24 + 6, "\x03\x02\x01", 3), 0);
  EXPECT_EQ(std::memcmp(out24 + 9, packed, 6), 0);
  EXPECT_EQ(std::memcmp(out24 + 15, "\xFE\xFF\xFF", 3), 0);
}

} // namespace
