// Decoding WAV and AIFF files: bit-exactness against sox's own decode,
// lengths, seeking, bad input and threads.
#include "test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

enum class Ref { Int, Float32, Float64 };

struct Fixture {
  const char *name;
  Ref kind;
  int bits;
  uint32_t chans;
  uint32_t rate;
  uint32_t ctype;
};

const Fixture Fixtures[] = {
    {"u8.wav", Ref::Int, 8, 2, 44100, ORVA_CTYPE_WAV},
    {"s16.wav", Ref::Int, 16, 2, 44100, ORVA_CTYPE_WAV},
    {"s16_mono.wav", Ref::Int, 16, 1, 22050, ORVA_CTYPE_WAV},
    {"s24.wav", Ref::Int, 24, 2, 48000, ORVA_CTYPE_WAV},
    {"s32.wav", Ref::Int, 32, 2, 44100, ORVA_CTYPE_WAV},
    {"f32.wav", Ref::Float32, 32, 2, 44100, ORVA_CTYPE_WAV_FLOAT},
    {"f64.wav", Ref::Float64, 64, 2, 44100, ORVA_CTYPE_WAV_FLOAT},
    {"s24_6ch.wav", Ref::Int, 24, 6, 48000, ORVA_CTYPE_WAV},
    {"s16.aiff", Ref::Int, 16, 2, 44100, ORVA_CTYPE_AIFF},
    {"s24.aiff", Ref::Int, 24, 2, 96000, ORVA_CTYPE_AIFF},
    {"s16.aifc", Ref::Int, 16, 2, 44100, ORVA_CTYPE_AIFF},
    {"rf64.wav", Ref::Int, 24, 2, 48000, ORVA_CTYPE_WAV},
};

// The source's samples as floats, value / 2^(bits-1) for integers.
std::vector<float> ReferenceSamples(const Fixture &f) {
  std::vector<uint8_t> raw = ReadBytes(FixturePath(f.name) + ".ref");
  std::vector<float> out;
  const size_t width = size_t(f.bits) / 8;
  for (size_t at = 0; at + width <= raw.size(); at += width) {
    if (f.kind == Ref::Float32) {
      float v;
      memcpy(&v, &raw[at], 4);
      out.push_back(v);
    } else if (f.kind == Ref::Float64) {
      double v;
      memcpy(&v, &raw[at], 8);
      out.push_back(float(v));
    } else {
      int64_t v = 0;
      for (size_t b = 0; b < width; ++b)
        v |= int64_t(raw[at + b]) << (8 * b);
      if (v >> (f.bits - 1))
        v -= int64_t(1) << f.bits;
      out.push_back(float(double(v) / double(int64_t(1) << (f.bits - 1))));
    }
  }
  return out;
}

// Stereo as orva should give it: mono doubled, 5.1 folded with centre and
// surrounds at -3 dB and LFE dropped, normalised by the sum of the gains.
std::vector<float> ExpectedStereo(const Fixture &f) {
  std::vector<float> s = ReferenceSamples(f);
  if (f.chans == 2)
    return s;
  std::vector<float> out;
  for (size_t i = 0; i + f.chans <= s.size(); i += f.chans) {
    if (f.chans == 1) {
      out.push_back(s[i]);
      out.push_back(s[i]);
    } else {
      const double h = std::sqrt(0.5), norm = 1 + 2 * h;
      out.push_back(float((s[i] + h * s[i + 2] + h * s[i + 4]) / norm));
      out.push_back(float((s[i + 1] + h * s[i + 2] + h * s[i + 5]) / norm));
    }
  }
  return out;
}

void PrintTo(const Fixture &f, std::ostream *os) { *os << f.name; }

class DecodeFixture : public ::testing::TestWithParam<Fixture> {};

TEST_P(DecodeFixture, MatchesReferenceAndSeeksExactly) {
  const Fixture &f = GetParam();
  const std::vector<float> expected = ExpectedStereo(f);
  ASSERT_FALSE(expected.empty());
  const double tolerance = f.chans > 2 ? 1e-6 : 0.0; // the downmix may round differently

  HSTREAM h = Orva_StreamCreateFile(0, FixturePath(f.name).c_str(), 0, 0, 0x80200110u & ~ORVA_UNICODE);
  ASSERT_NE(h, 0u) << Orva_ErrorGetCode();
  EXPECT_EQ(Orva_ErrorGetCode(), 0);
  EXPECT_EQ(Orva_ChannelGetLength(h, ORVA_POS_BYTE), expected.size() * 4);
  float rate = 0;
  EXPECT_TRUE(Orva_ChannelGetAttribute(h, ORVA_ATTRIB_FREQ, &rate));
  EXPECT_EQ(rate, float(f.rate));
  OrvaChannelInfo info;
  ASSERT_TRUE(Orva_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.chans, f.chans);
  EXPECT_EQ(info.origres, uint32_t(f.bits));
  EXPECT_EQ(info.ctype, f.ctype);
  EXPECT_DOUBLE_EQ(Orva_ChannelBytes2Seconds(h, uint64_t(f.rate) * 8 * 3), 3.0);

  const std::vector<float> all = DecodeAll(h, 8 * 1021);
  ASSERT_EQ(all.size(), expected.size());
  for (size_t i = 0; i < all.size(); ++i)
    ASSERT_NEAR(all[i], expected[i], tolerance) << "sample " << i;
  EXPECT_EQ(Orva_ChannelGetPosition(h, ORVA_POS_BYTE), all.size() * 4);
  float one[2];
  EXPECT_EQ(Orva_ChannelGetData(h, one, 8), UINT32_MAX);

  // Any frame, in any order, gives what a decode from the start gave.
  const uint64_t frames = all.size() / 2;
  std::mt19937 random(7);
  std::vector<uint64_t> targets = {0, frames - 1, frames / 2, 1};
  for (int i = 0; i < 8; ++i)
    targets.push_back(random() % frames);
  std::vector<float> piece(2 * 333);
  for (uint64_t t : targets) {
    ASSERT_TRUE(Orva_ChannelSetPosition(h, t * 8, ORVA_POS_BYTE)) << t;
    EXPECT_EQ(Orva_ChannelGetPosition(h, ORVA_POS_BYTE), t * 8);
    uint32_t n = Orva_ChannelGetData(h, piece.data(), uint32_t(piece.size() * 4));
    const uint64_t want = std::min<uint64_t>(333, frames - t);
    ASSERT_EQ(n, want * 8) << t;
    for (uint64_t k = 0; k < want * 2; ++k)
      ASSERT_EQ(piece[k], all[t * 2 + k]) << "frame " << t;
  }
  // The end itself is a valid position; past it is not.
  EXPECT_TRUE(Orva_ChannelSetPosition(h, frames * 8, ORVA_POS_BYTE));
  EXPECT_EQ(Orva_ChannelGetData(h, one, 8), UINT32_MAX);
  EXPECT_FALSE(Orva_ChannelSetPosition(h, frames * 8 + 8, ORVA_POS_BYTE));
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_POSITION);
  EXPECT_TRUE(Orva_StreamFree(h));
}

INSTANTIATE_TEST_SUITE_P(Files, DecodeFixture, ::testing::ValuesIn(Fixtures),
                         [](const auto &p) {
                           std::string n = p.param.name;
                           for (char &c : n)
                             if (!isalnum(static_cast<unsigned char>(c)))
                               c = '_';
                           return n;
                         });

TEST(Decode, MemoryBlocksWindowsAndWideNames) {
  const std::string path = FixturePath("s16.wav");
  std::vector<uint8_t> bytes = ReadBytes(path);
  HSTREAM h = Orva_StreamCreateFile(0, path.c_str(), 0, 0, 0);
  const std::vector<float> expected = DecodeAll(h);
  Orva_StreamFree(h);

  h = Orva_StreamCreateFile(1, bytes.data(), 0, bytes.size(), 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(DecodeAll(h), expected);
  Orva_StreamFree(h);

  // The same file placed at an offset inside a larger one.
  std::vector<uint8_t> padded(37 + bytes.size() + 50, 'x');
  std::copy(bytes.begin(), bytes.end(), padded.begin() + 37);
  const std::string paddedPath = FixturePath("padded.bin");
  WriteBytes(paddedPath, padded);
  h = Orva_StreamCreateFile(0, paddedPath.c_str(), 37, bytes.size(), 0);
  ASSERT_NE(h, 0u) << Orva_ErrorGetCode();
  EXPECT_EQ(DecodeAll(h), expected);
  Orva_StreamFree(h);

  std::u16string wide;
  for (char c : path)
    wide += char16_t(static_cast<unsigned char>(c));
  h = Orva_StreamCreateFile(0, wide.c_str(), 0, 0, ORVA_UNICODE | ORVA_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(DecodeAll(h), expected);
  Orva_StreamFree(h);
}

// ---- Hand-made headers for the bad-input cases ------------------------

void Put16(std::vector<uint8_t> &b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32(std::vector<uint8_t> &b, uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }
void PutBe16(std::vector<uint8_t> &b, uint32_t v) { b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)}); }
void PutBe32(std::vector<uint8_t> &b, uint32_t v) { PutBe16(b, v >> 16), PutBe16(b, v & 0xFFFF); }
void PutTag(std::vector<uint8_t> &b, const char *tag) {
  for (int i = 0; i < 4; ++i)
    b.push_back(uint8_t(tag[i]));
}

struct WavSpec {
  uint16_t chans = 2, bits = 16, align = 4;
  uint32_t rate = 44100;
  uint32_t dataSize = 0; // 0: the real size
  bool oddChunk = false; // a 3-byte chunk with its pad byte before the data
};

std::vector<uint8_t> MakeWav(const WavSpec &s, const std::vector<int16_t> &samples) {
  std::vector<uint8_t> b;
  PutTag(b, "RIFF");
  Put32(b, 0);
  PutTag(b, "WAVE");
  PutTag(b, "fmt ");
  Put32(b, 16);
  Put16(b, 1);
  Put16(b, s.chans);
  Put32(b, s.rate);
  Put32(b, s.rate * s.align);
  Put16(b, s.align);
  Put16(b, s.bits);
  if (s.oddChunk) {
    PutTag(b, "abcd");
    Put32(b, 3);
    b.insert(b.end(), {1, 2, 3, 0});
  }
  PutTag(b, "data");
  Put32(b, s.dataSize ? s.dataSize : uint32_t(samples.size() * 2));
  for (int16_t v : samples)
    Put16(b, uint16_t(v));
  uint32_t riff = uint32_t(b.size() - 8);
  memcpy(&b[4], &riff, 4);
  return b;
}

// 80-bit extended rate: sign/exponent word then 64-bit mantissa, big-endian.
std::vector<uint8_t> MakeAiff(uint16_t chans, uint16_t bits, uint16_t rateExponent, uint64_t rateMantissa,
                              const std::vector<int16_t> &samples) {
  std::vector<uint8_t> b;
  PutTag(b, "FORM");
  PutBe32(b, 0);
  PutTag(b, "AIFF");
  PutTag(b, "COMM");
  PutBe32(b, 18);
  PutBe16(b, chans);
  PutBe32(b, chans ? uint32_t(samples.size() / chans) : 0);
  PutBe16(b, bits);
  PutBe16(b, rateExponent);
  PutBe32(b, uint32_t(rateMantissa >> 32));
  PutBe32(b, uint32_t(rateMantissa));
  PutTag(b, "SSND");
  PutBe32(b, uint32_t(samples.size() * 2 + 8));
  PutBe32(b, 0);
  PutBe32(b, 0);
  for (int16_t v : samples)
    PutBe16(b, uint16_t(v));
  uint32_t form = uint32_t(b.size() - 8);
  b[4] = uint8_t(form >> 24), b[5] = uint8_t(form >> 16), b[6] = uint8_t(form >> 8), b[7] = uint8_t(form);
  return b;
}

std::vector<int16_t> Ramp(size_t n) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = int16_t(i * 97 - 20000);
  return v;
}

TEST(Decode, OddChunkWithPadByteAndHandMadeAiff) {
  const std::vector<int16_t> samples = Ramp(200);
  std::vector<float> expected;
  for (int16_t v : samples)
    expected.push_back(float(v) / 32768.0f);
  WavSpec spec;
  spec.oddChunk = true;
  std::vector<uint8_t> wav = MakeWav(spec, samples);
  std::vector<uint8_t> aiff = MakeAiff(2, 16, 0x400E, 0xAC44000000000000ull, samples); // 44100 Hz
  for (auto *file : {&wav, &aiff}) {
    HSTREAM h = Orva_StreamCreateFile(1, file->data(), 0, file->size(), 0);
    ASSERT_NE(h, 0u) << Orva_ErrorGetCode();
    EXPECT_EQ(Orva_ChannelGetLength(h, 0), 100u * 8);
    EXPECT_EQ(DecodeAll(h, 8 * 7), expected);
    Orva_StreamFree(h);
  }
}

TEST(Decode, BadInputIsRefusedOrEndsEarly) {
  const std::vector<int16_t> samples = Ramp(400);
  auto wav = [&](auto change) {
    WavSpec s;
    change(s);
    return MakeWav(s, samples);
  };
  std::vector<uint8_t> good = MakeWav({}, samples);
  struct Case {
    const char *what;
    std::vector<uint8_t> bytes;
  };
  const Case refused[] = {
      {"text", std::vector<uint8_t>({'h', 'e', 'l', 'l', 'o', '\n'})},
      {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 20)},
      {"zero channels", wav([](WavSpec &s) { s.chans = 0; })},
      {"zero bits", wav([](WavSpec &s) { s.bits = 0; })},
      {"zero rate", wav([](WavSpec &s) { s.rate = 0; })},
      {"aiff zero channels", MakeAiff(0, 16, 0x400E, 0xAC44000000000000ull, samples)},
      {"aiff zero bits", MakeAiff(2, 0, 0x400E, 0xAC44000000000000ull, samples)},
      {"aiff rate 0", MakeAiff(2, 16, 0, 0, samples)},
      {"aiff rate inf", MakeAiff(2, 16, 0x7FFF, 0x8000000000000000ull, samples)},
      {"aiff rate nan", MakeAiff(2, 16, 0x7FFF, 0xC000000000000000ull, samples)},
  };
  for (const Case &c : refused) {
    HSTREAM h = Orva_StreamCreateFile(1, c.bytes.data(), 0, c.bytes.size(), 0);
    if (h) {
      // Accepting is fine only if what comes out is sane and ends.
      ADD_FAILURE() << c.what << " was accepted";
      DecodeAll(h);
      Orva_StreamFree(h);
      continue;
    }
    int e = Orva_ErrorGetCode();
    EXPECT_TRUE(e == ORVA_ERROR_FILEFORM || e == ORVA_ERROR_FORMAT || e == ORVA_ERROR_CODEC) << c.what << ": " << e;
  }

  // A data size far beyond the file, or a file cut short: whatever is there,
  // then a clean end. A zero block align is derived from channels and bits.
  const Case shortened[] = {
      {"zero block align", wav([](WavSpec &s) { s.align = 0; })},
      {"huge data size", wav([](WavSpec &s) { s.dataSize = 0xFFFFFF00u; })},
      {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 301)},
  };
  for (const Case &c : shortened) {
    HSTREAM h = Orva_StreamCreateFile(1, c.bytes.data(), 0, c.bytes.size(), 0);
    ASSERT_NE(h, 0u) << c.what;
    EXPECT_LE(Orva_ChannelGetLength(h, 0), 200u * 8) << c.what;
    std::vector<float> got = DecodeAll(h, 8 * 64);
    EXPECT_LE(got.size(), samples.size()) << c.what;
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_EQ(got[i], float(samples[i]) / 32768.0f) << c.what;
    Orva_StreamFree(h);
  }
}

TEST(Decode, FilesThatCannotBeOpened) {
  const std::string empty = FixturePath("empty.wav"), text = FixturePath("text.wav");
  WriteBytes(empty, {});
  WriteBytes(text, {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
  struct Case {
    std::string path;
    int error;
  } cases[] = {
      {FixturePath("missing.wav"), ORVA_ERROR_FILEOPEN},
      {FIXTURE_DIR, ORVA_ERROR_FILEOPEN}, // a folder
      {empty, ORVA_ERROR_FILEFORM},
      {text, ORVA_ERROR_FILEFORM},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Orva_StreamCreateFile(0, c.path.c_str(), 0, 0, 0), 0u) << c.path;
    EXPECT_EQ(Orva_ErrorGetCode(), c.error) << c.path;
  }
  if (geteuid() != 0) { // root reads files whatever their mode
    const std::string locked = FixturePath("locked.wav");
    WriteBytes(locked, ReadBytes(FixturePath("s16.wav")));
    chmod(locked.c_str(), 0);
    EXPECT_EQ(Orva_StreamCreateFile(0, locked.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_FILEOPEN);
  }
  EXPECT_EQ(Orva_StreamCreateFile(0, FixturePath("s16.wav").c_str(), 1u << 30, 0, 0), 0u); // offset past the end
  EXPECT_EQ(Orva_StreamCreateFile(1, nullptr, 0, 10, 0), 0u);
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_ILLPARAM);
}

TEST(Decode, InvalidHandlesAndArguments) {
  float v;
  uint8_t buf[16];
  EXPECT_EQ(Orva_ChannelGetData(12345, buf, 16), UINT32_MAX);
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_HANDLE);
  EXPECT_EQ(Orva_ChannelGetLength(0, 0), UINT64_MAX);
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_HANDLE);
  EXPECT_FALSE(Orva_StreamFree(12345));
  EXPECT_FALSE(Orva_ChannelGetAttribute(12345, 1, &v));

  HSTREAM h = Orva_StreamCreateFile(0, FixturePath("s16.wav").c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(Orva_ChannelGetAttribute(h, 99, &v));
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_ILLTYPE);
  EXPECT_EQ(Orva_ChannelGetLength(h, 1), UINT64_MAX);
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_NOTAVAIL);
  EXPECT_TRUE(Orva_ChannelStop(h));
  EXPECT_EQ(Orva_ErrorGetCode(), 0);
  EXPECT_TRUE(Orva_StreamFree(h));
  EXPECT_FALSE(Orva_StreamFree(h)); // a handle is not valid twice
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_HANDLE);
}

TEST(Decode, InitFreeReleasesEveryStream) {
  ASSERT_TRUE(Orva_Init(0, 44100, 0x1000, nullptr, nullptr));
  EXPECT_FALSE(Orva_Init(0, 44100, 0x1000, nullptr, nullptr));
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_ALREADY);
  EXPECT_TRUE(Orva_SetConfig(1, 0));
  EXPECT_TRUE(Orva_SetDevice(0));
  HSTREAM a = Orva_StreamCreateFile(0, FixturePath("s16.wav").c_str(), 0, 0, 0);
  HSTREAM b = Orva_StreamCreateFile(0, FixturePath("s16.aiff").c_str(), 0, 0, 0);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(Orva_ChannelSetDevice(a, 0));
  EXPECT_TRUE(Orva_Free());
  float v;
  EXPECT_FALSE(Orva_ChannelGetAttribute(a, 1, &v));
  EXPECT_FALSE(Orva_ChannelGetAttribute(b, 1, &v));
  EXPECT_TRUE(Orva_Init(0, 48000, 0x1000, nullptr, nullptr));
  EXPECT_TRUE(Orva_Free());
}

TEST(Decode, TwoThreadsDecodeWhileAThirdProbes) {
  const char *names[] = {"s24.wav", "s16.aiff"};
  std::vector<float> expected[2];
  for (int i = 0; i < 2; ++i) {
    HSTREAM h = Orva_StreamCreateFile(0, FixturePath(names[i]).c_str(), 0, 0, 0);
    expected[i] = DecodeAll(h);
    Orva_StreamFree(h);
  }
  bool same[2] = {false, false};
  std::thread readers[2];
  for (int i = 0; i < 2; ++i)
    readers[i] = std::thread([&, i] {
      bool ok = true;
      for (int round = 0; round < 5 && ok; ++round) {
        HSTREAM h = Orva_StreamCreateFile(0, FixturePath(names[i]).c_str(), 0, 0, 0);
        ok = h && Orva_ErrorGetCode() == 0 && DecodeAll(h, 8 * 511) == expected[i];
        Orva_StreamFree(h);
      }
      same[i] = ok;
    });
  // Probing, like the window thread does while the decoder thread reads.
  for (int i = 0; i < 40; ++i) {
    HSTREAM h = Orva_StreamCreateFile(0, FixturePath("s16_mono.wav").c_str(), 0, 0, 0);
    EXPECT_NE(h, 0u);
    EXPECT_EQ(Orva_ChannelGetLength(h, 0), 11025u * 8);
    Orva_StreamFree(h);
  }
  for (auto &t : readers)
    t.join();
  EXPECT_TRUE(same[0]);
  EXPECT_TRUE(same[1]);
}

TEST(Decode, FreeRacingReadsOnAnotherThread) {
  for (int round = 0; round < 20; ++round) {
    HSTREAM h = Orva_StreamCreateFile(0, FixturePath("s16.wav").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    std::thread reader([h] {
      std::vector<float> buf(2 * 300);
      while (Orva_ChannelGetData(h, buf.data(), 8 * 300) != UINT32_MAX) {
      }
    });
    std::this_thread::yield();
    Orva_StreamFree(h);
    reader.join();
  }
}

} // namespace
