// The plug-in in its real host: float stereo through Orva_ChannelGetData,
// sample-exact positioning, and loading as an orva plug-in.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "orva.h"
#include "plugin.h"

namespace {

const std::string FixtureDir = ULDA_FIXTURE_DIR;
const uint32_t Flags = ORVA_SAMPLE_FLOAT | ORVA_STREAM_DECODE;

std::vector<uint8_t> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Case {
  const char *name;
  uint32_t bits, chans;
};
const Case Cases[] = {{"stereo16_44k_faststart", 16, 2},
                      {"stereo24_96k", 24, 2},
                      {"mono16_44k", 16, 1},
                      {"aac_then_alac16_44k", 16, 2}};

// ffmpeg's decode as orva's float stereo: value / 2^(bits-1), mono on both sides.
std::vector<float> Reference(const Case &c) {
  const std::vector<uint8_t> raw = ReadBytes(FixtureDir + "/" + c.name + ".ref");
  const uint32_t width = c.bits == 16 ? 2 : 4;
  std::vector<float> out;
  for (size_t i = 0; i + width <= raw.size(); i += width) {
    uint32_t v = 0;
    for (uint32_t b = 0; b < width; b++) v |= uint32_t{raw[i + b]} << (8 * b);
    const float f = width == 2 ? float(int16_t(v)) * 0x1p-15f : float(int32_t(v)) * 0x1p-31f;
    out.push_back(f);
    if (c.chans == 1) out.push_back(f);
  }
  return out;
}

std::vector<float> ReadAll(HSTREAM h, size_t limit = SIZE_MAX) {
  std::vector<float> out;
  const uint32_t pieces[] = {8 * 1, 8 * 4099, 8 * 77, 8 * 20000};
  for (size_t i = 0; out.size() < limit; i++) {
    std::vector<float> buf(pieces[i % 4] / 4);
    const uint32_t n = Orva_ChannelGetData(h, buf.data(), pieces[i % 4]);
    if (n == UINT32_MAX || n == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n / 4);
  }
  if (out.size() > limit) out.resize(limit);
  return out;
}

std::string Path(const Case &c) { return FixtureDir + "/" + c.name + ".m4a"; }

TEST(UldaThroughOrva, DecodesBitExactly) {
  for (const Case &c : Cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> ref = Reference(c);
    for (uint32_t flags : {Flags, uint32_t(ORVA_STREAM_DECODE)}) {
      const HSTREAM h = Orva_ALAC_StreamCreateFile(0, Path(c).c_str(), 0, 0, flags);
      ASSERT_NE(h, 0u) << Orva_ErrorGetCode();
      EXPECT_EQ(Orva_ChannelGetLength(h, ORVA_POS_BYTE), ref.size() * 4);
      OrvaChannelInfo info{};
      ASSERT_TRUE(Orva_ChannelGetInfo(h, &info));
      EXPECT_EQ(info.ctype, ORVA_CTYPE_ALAC);
      EXPECT_EQ(info.origres, c.bits);
      // 16-bit output of a 24-bit file keeps only the top 16 bits.
      if (flags == Flags || c.bits == 16) {
        EXPECT_EQ(ReadAll(h), ref);
      }
      EXPECT_TRUE(Orva_StreamFree(h));
    }
  }
}

// At frame boundaries (4096 samples) and inside frames, positioning gives the
// same samples as decoding from the start.
TEST(UldaThroughOrva, PositioningIsSampleExact) {
  for (const Case &c : {Cases[1], Cases[2], Cases[3]}) {
    SCOPED_TRACE(c.name);
    const std::vector<float> ref = Reference(c);
    const HSTREAM h = Orva_ALAC_StreamCreateFile(0, Path(c).c_str(), 0, 0, Flags);
    ASSERT_NE(h, 0u);
    for (uint64_t sample : {uint64_t(4096), uint64_t(4096 * 5), uint64_t(1), uint64_t(4096 * 2 + 1234),
                            uint64_t(4096 * 9 - 1), uint64_t(0), ref.size() / 2 - 17}) {
      SCOPED_TRACE(sample);
      ASSERT_TRUE(Orva_ChannelSetPosition(h, sample * 8, ORVA_POS_BYTE)) << Orva_ErrorGetCode();
      EXPECT_EQ(Orva_ChannelGetPosition(h, ORVA_POS_BYTE), sample * 8);
      const std::vector<float> got = ReadAll(h, 2 * 5000);
      const size_t expectCount = std::min<size_t>(2 * 5000, ref.size() - 2 * sample);
      ASSERT_EQ(got.size(), expectCount);
      EXPECT_TRUE(std::equal(got.begin(), got.end(), ref.begin() + long(2 * sample)));
    }
    float kbps = 0;
    EXPECT_TRUE(Orva_ChannelGetAttribute(h, ORVA_ATTRIB_BITRATE, &kbps));
    EXPECT_GT(kbps, 100.0f);
    Orva_StreamFree(h);
  }
}

TEST(UldaThroughOrva, LoadsAsPlugin) {
  ASSERT_NE(Orva_PluginLoad(ULDA_LIBRARY, 0), 0u) << Orva_ErrorGetCode();
  const Case &c = Cases[0];
  const HSTREAM h = Orva_StreamCreateFile(0, Path(c).c_str(), 0, 0, Flags);
  ASSERT_NE(h, 0u) << Orva_ErrorGetCode();
  OrvaChannelInfo info{};
  ASSERT_TRUE(Orva_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, ORVA_CTYPE_ALAC);
  EXPECT_EQ(ReadAll(h), Reference(c));
  Orva_StreamFree(h);
  // A file that is not ALAC in MP4 is refused with the format error.
  const std::vector<uint8_t> junk(4096, 0x11);
  EXPECT_EQ(Orva_ALAC_StreamCreateFile(1, junk.data(), 0, junk.size(), Flags), 0u);
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_FILEFORM);
}

}  // namespace
