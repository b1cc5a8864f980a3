// Plug-in streams: a fake plug-in decoding callback in its own format,
// converted and positioned by orva; and plug-ins loaded from a library.
#include "test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

struct FakeSource {
  uint32_t chans = 2;
  bool isFloat = false;
  std::vector<uint8_t> bytes; // native interleaved samples
  uint64_t at = 0;            // next byte to hand out
  uint32_t block = 1000;      // positioning lands on multiples of this many frames
  uint64_t arrived = UINT64_MAX;
  uint32_t perCall = 1001;    // bytes per callback at most; not a whole frame on purpose
  int freed = 0;
  uint32_t FrameBytes() const { return chans * (isFloat ? 4 : 2); }
};

uint32_t FakeDecode(HSTREAM, void *buffer, uint32_t length, void *user) {
  auto *s = static_cast<FakeSource *>(user);
  uint64_t limit = std::min<uint64_t>(s->bytes.size(), s->arrived);
  uint32_t n = uint32_t(std::min<uint64_t>({length, s->perCall, limit > s->at ? limit - s->at : 0}));
  memcpy(buffer, s->bytes.data() + s->at, n);
  s->at += n;
  return s->at == s->bytes.size() ? n | ORVA_STREAMPROC_END : n;
}

void FakeFree(void *inst) { static_cast<FakeSource *>(inst)->freed++; }
uint64_t FakeLength(void *inst, uint32_t mode) {
  return mode == 0 ? static_cast<FakeSource *>(inst)->bytes.size() : UINT64_MAX;
}
void FakeInfo(void *, OrvaChannelInfo *info) {
  info->ctype = 0x12345;
  info->origres = 20;
}
uint64_t FakeSetPosition(void *inst, uint64_t pos, uint32_t) {
  auto *s = static_cast<FakeSource *>(inst);
  uint64_t frame = pos / s->FrameBytes();
  frame -= frame % s->block;
  s->at = frame * s->FrameBytes();
  return s->at;
}
int FakeAttribute(void *, uint32_t attrib, float *value, int write) {
  if (attrib != ORVA_ATTRIB_BITRATE || write) {
    _.SetError(ORVA_ERROR_ILLTYPE);
    return 0;
  }
  *value = 321.5f;
  return 1;
}
const OrvaPluginFuncs FakeFuncs = {0,       FakeFree,        FakeLength, nullptr, nullptr,
                                   FakeInfo, nullptr,        FakeSetPosition, nullptr, nullptr,
                                   nullptr, nullptr,         nullptr,    FakeAttribute, nullptr};

// Native samples plus the stereo float orva should make of them.
void FillSource(FakeSource &s, uint64_t frames, std::vector<float> &expected) {
  std::mt19937 random(uint32_t(s.chans * 10 + s.isFloat));
  std::vector<float> values(frames * s.chans);
  for (uint64_t i = 0; i < values.size(); ++i) {
    int16_t v = int16_t(random());
    if (i == 0)
      v = -32768;
    if (s.isFloat) {
      values[i] = float(int32_t(random()) / 2147483648.0);
      s.bytes.insert(s.bytes.end(), reinterpret_cast<uint8_t *>(&values[i]),
                     reinterpret_cast<uint8_t *>(&values[i]) + 4);
    } else {
      values[i] = float(v) / 32768.0f;
      s.bytes.insert(s.bytes.end(), reinterpret_cast<uint8_t *>(&v), reinterpret_cast<uint8_t *>(&v) + 2);
    }
  }
  const double h = std::sqrt(0.5), norm = 1 + 2 * h;
  for (uint64_t f = 0; f < frames; ++f) {
    const float *c = &values[f * s.chans];
    if (s.chans == 1) {
      expected.insert(expected.end(), {c[0], c[0]});
    } else if (s.chans == 2) {
      expected.insert(expected.end(), {c[0], c[1]});
    } else { // 5.1
      expected.push_back(float((c[0] + h * c[2] + h * c[4]) / norm));
      expected.push_back(float((c[1] + h * c[2] + h * c[5]) / norm));
    }
  }
}

struct Format {
  uint32_t chans;
  bool isFloat;
};

void PrintTo(const Format &f, std::ostream *os) { *os << f.chans << (f.isFloat ? " float" : " int16"); }

class PluginStream : public ::testing::TestWithParam<Format> {};

TEST_P(PluginStream, ConvertsAndPositionsSampleExactly) {
  FakeSource src;
  src.chans = GetParam().chans;
  src.isFloat = GetParam().isFloat;
  std::vector<float> expected;
  const uint64_t frames = 5321;
  FillSource(src, frames, expected);
  const double tolerance = src.chans > 2 ? 1e-6 : 0.0;

  HSTREAM h = _.CreateStream(44100, src.chans, src.isFloat ? ORVA_SAMPLE_FLOAT : 0, FakeDecode, &src, &FakeFuncs);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(Orva_ChannelGetLength(h, 0), frames * 8);
  float v = 0;
  EXPECT_TRUE(Orva_ChannelGetAttribute(h, ORVA_ATTRIB_FREQ, &v));
  EXPECT_EQ(v, 44100.0f);
  EXPECT_TRUE(Orva_ChannelGetAttribute(h, ORVA_ATTRIB_BITRATE, &v));
  EXPECT_EQ(v, 321.5f);
  OrvaChannelInfo info;
  ASSERT_TRUE(Orva_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, 0x12345u);
  EXPECT_EQ(info.origres, 20u);
  EXPECT_EQ(info.chans, src.chans);

  std::vector<float> all = DecodeAll(h, 8 * 777);
  ASSERT_EQ(all.size(), expected.size());
  for (size_t i = 0; i < all.size(); ++i)
    ASSERT_NEAR(all[i], expected[i], tolerance) << i;
  float one[2];
  EXPECT_EQ(Orva_ChannelGetData(h, one, 8), UINT32_MAX);

  // The fake lands on the start of a 1000-frame block; orva must drop the rest.
  std::vector<float> piece(2 * 401);
  for (uint64_t t : {uint64_t(0), uint64_t(999), uint64_t(1000), uint64_t(4321), frames - 3, uint64_t(2500)}) {
    ASSERT_TRUE(Orva_ChannelSetPosition(h, t * 8, 0)) << t << " " << Orva_ErrorGetCode();
    uint32_t n = Orva_ChannelGetData(h, piece.data(), 8 * 401);
    uint64_t want = std::min<uint64_t>(401, frames - t);
    ASSERT_EQ(n, want * 8);
    for (size_t k = 0; k < want * 2; ++k)
      ASSERT_EQ(piece[k], all[t * 2 + k]) << "frame " << t;
  }
  EXPECT_TRUE(Orva_StreamFree(h));
  EXPECT_EQ(src.freed, 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, PluginStream,
                         ::testing::Values(Format{1, false}, Format{2, false}, Format{6, false}, Format{2, true},
                                           Format{6, true}, Format{1, true}),
                         [](const auto &p) {
                           return std::to_string(p.param.chans) + (p.param.isFloat ? "ch_float" : "ch_int16");
                         });

TEST(PluginStream, DataStillArrivingGivesShortReadsWithoutEnd) {
  FakeSource src;
  std::vector<float> expected;
  FillSource(src, 3000, expected);
  src.arrived = 0;
  HSTREAM h = _.CreateStream(48000, 2, 0, FakeDecode, &src, &FakeFuncs);
  ASSERT_NE(h, 0u);
  std::vector<float> got, buf(2 * 2000);
  EXPECT_EQ(Orva_ChannelGetData(h, buf.data(), 8 * 2000), 0u); // nothing yet, but not ended
  for (uint64_t arrived : {uint64_t(1001), uint64_t(1003), uint64_t(7777), uint64_t(12000)}) {
    src.arrived = arrived;
    uint32_t n = Orva_ChannelGetData(h, buf.data(), 8 * 2000);
    ASSERT_NE(n, UINT32_MAX);
    EXPECT_LE(n, 8 * 2000u);
    got.insert(got.end(), buf.begin(), buf.begin() + n / 4);
  }
  // Only whole frames come out; the 3 bytes of a frame cut in two wait.
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_EQ(got, expected);
  EXPECT_EQ(Orva_ChannelGetData(h, buf.data(), 8), UINT32_MAX);

  // Positioning past what has arrived fails: the frames cannot be decoded yet.
  src.arrived = 4000;
  EXPECT_FALSE(Orva_ChannelSetPosition(h, 1500 * 8, 0));
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_NOTAVAIL);
  Orva_StreamFree(h);
}

TEST(PluginStream, FreeClosesTheFileTheStreamOwns) {
  struct Counter {
    int closed = 0;
  } counter;
  OrvaFileProcs procs = {};
  procs.close = [](void *u) { static_cast<Counter *>(u)->closed++; };
  procs.read = [](void *, uint32_t, void *) -> uint32_t { return ORVA_FILE_EOF; };
  HOSTFILE file = _.OpenUserFile(ORVA_FILESYSTEM_BUFFER, 0, &procs, &counter, 0);
  ASSERT_NE(file, nullptr);
  FakeSource src;
  std::vector<float> expected;
  FillSource(src, 10, expected);
  HSTREAM h = _.CreateStream(44100, 2, 0, FakeDecode, &src, &FakeFuncs);
  _.SetFileStream(file, h);
  EXPECT_EQ(counter.closed, 0);
  Orva_StreamFree(h);
  EXPECT_EQ(counter.closed, 1);
  EXPECT_EQ(src.freed, 1);
}

TEST(PluginStream, CreationRefusesBadParameters) {
  FakeSource src;
  struct Case {
    uint32_t freq, chans;
    OrvaStreamProc proc;
    int error;
  } cases[] = {
      {0, 2, FakeDecode, ORVA_ERROR_FREQ},
      {44100, 0, FakeDecode, ORVA_ERROR_FORMAT},
      {44100, 9, FakeDecode, ORVA_ERROR_FORMAT},
      {44100, 2, nullptr, ORVA_ERROR_ILLPARAM},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(_.CreateStream(c.freq, c.chans, 0, c.proc, &src, &FakeFuncs), 0u);
    EXPECT_EQ(Orva_ErrorGetCode(), c.error);
  }
}

// ---- A plug-in loaded from its own library ---------------------------

TEST(PluginLoad, FilesOrvaDoesNotReadGoToLoadedPlugins) {
  EXPECT_EQ(Orva_PluginLoad(FixturePath("missing.so").c_str(), 0), 0u);
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_FILEOPEN);
  EXPECT_EQ(Orva_PluginLoad(ORVA_LIBRARY, 0), 0u); // a library, but no plug-in
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_FILEFORM);

  const std::string fake = FixturePath("tone.fake");
  std::vector<uint8_t> bytes = {'F', 'A', 'K', 'E'};
  std::vector<float> expected;
  for (int i = 0; i < 2 * 999; ++i) {
    int16_t v = int16_t(i * 31 - 30000);
    bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)});
    expected.push_back(float(v) / 32768.0f);
  }
  WriteBytes(fake, bytes);
  EXPECT_EQ(Orva_StreamCreateFile(0, fake.c_str(), 0, 0, 0), 0u); // not loaded yet
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_FILEFORM);

  HPLUGIN plugin = Orva_PluginLoad(FAKE_PLUGIN, 0);
  ASSERT_NE(plugin, 0u) << Orva_ErrorGetCode();
  EXPECT_EQ(Orva_PluginLoad(FAKE_PLUGIN, 0), plugin);

  HSTREAM h = Orva_StreamCreateFile(0, fake.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u) << Orva_ErrorGetCode();
  OrvaChannelInfo info;
  ASSERT_TRUE(Orva_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.plugin, plugin);
  EXPECT_EQ(Orva_ChannelGetLength(h, 0), 999u * 8);
  ASSERT_TRUE(Orva_ChannelSetPosition(h, 8 * 500, 0)); // the fake cannot seek: orva decodes forward
  std::vector<float> rest = DecodeAll(h, 8 * 13);
  EXPECT_EQ(rest, std::vector<float>(expected.begin() + 1000, expected.end()));
  EXPECT_FALSE(Orva_ChannelSetPosition(h, 8 * 10, 0)); // and not back
  Orva_StreamFree(h);

  // orva's own formats still come first.
  h = Orva_StreamCreateFile(0, FixturePath("s16.wav").c_str(), 0, 0, 0);
  ASSERT_TRUE(Orva_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.plugin, 0u);
  Orva_StreamFree(h);

  // A plug-in's own reason for refusing a file it recognised comes through.
  const std::string broken = FixturePath("broken.fake");
  WriteBytes(broken, {'F', 'A', 'K', 'X'});
  EXPECT_EQ(Orva_StreamCreateFile(0, broken.c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_BUFFERED_INDEX);
}

} // namespace
