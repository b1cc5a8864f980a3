#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "alac_builder.h"
#include "alac_stream.h"
#include "fake_host.h"
#include "plugin.h"

namespace {

Bytes ReadWhole(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string FixtureDir() {
  const char *d = std::getenv("ULDA_FIXTURES");
  return d ? d : "fixtures/alac";
}

struct Fixture {
  const char *name;
  uint32_t chans;
  uint32_t rate;
  uint32_t bits;
};
const Fixture Fixtures[] = {
    {"mono16_44k", 1, 44100, 16},           {"stereo16_44k_faststart", 2, 44100, 16},
    {"stereo24_96k", 2, 96000, 24},         {"stereo16_192k", 2, 192000, 16},
    {"surround51_16_48k", 6, 48000, 16},    {"surround51_24_44k", 6, 44100, 24},
    {"aac_then_alac16_44k", 2, 44100, 16},
};

// ffmpeg's decode as the plug-in's two output formats: 16-bit (the top 16
// bits of a 24-bit source) and float (integer / 2^(bits-1)).
struct Reference {
  std::vector<int16_t> s16;
  std::vector<float> f32;
};

Reference LoadReference(const Fixture &fx) {
  const Bytes raw = ReadWhole(FixtureDir() + "/" + fx.name + ".ref");
  Reference r;
  if (fx.bits == 16) {
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
      const int16_t v = int16_t(raw[i] | raw[i + 1] << 8);
      r.s16.push_back(v);
      r.f32.push_back(float(v) * 0x1p-15f);
    }
  } else {
    for (size_t i = 0; i + 3 < raw.size(); i += 4) {
      const int32_t v = int32_t(uint32_t(raw[i]) | uint32_t(raw[i + 1]) << 8 | uint32_t(raw[i + 2]) << 16 |
                                uint32_t(raw[i + 3]) << 24);
      r.s16.push_back(int16_t(v >> 16));
      r.f32.push_back(float(v) * 0x1p-31f);
    }
  }
  return r;
}

struct Opened {
  HSTREAM handle = 0;
  AlacInstance *inst = nullptr;
  const FakeStream *stream = nullptr;
};

Opened Open(const Bytes &file, uint32_t flags) {
  Opened o;
  o.handle = Orva_ALAC_StreamCreateFile(1, file.data(), 0, file.size(), flags);
  if (o.handle) {
    o.stream = &FakeStreams[o.handle - 1];
    o.inst = static_cast<AlacInstance *>(o.stream->user);
  }
  return o;
}

// Pulls the whole stream in requests of `chunk` bytes; stops at the end bit.
template <typename T>
std::vector<T> Pull(const Opened &o, uint32_t chunk, uint32_t maxBytes = UINT32_MAX) {
  std::vector<T> all;
  std::vector<uint8_t> buf(chunk);
  for (uint32_t total = 0; total < maxBytes;) {
    const uint32_t r = o.stream->proc(o.handle, buf.data(), chunk, o.stream->user);
    const uint32_t n = r & ~ORVA_STREAMPROC_END;
    const size_t at = all.size();
    all.resize(at + n / sizeof(T));
    if (n) std::memcpy(all.data() + at, buf.data(), n);
    total += n;
    if (r & ORVA_STREAMPROC_END) break;
    if (n == 0) break;
  }
  return all;
}

class UldaStream : public ::testing::Test {
 protected:
  void SetUp() override { FakeHostReset(); }
  void TearDown() override { FakeHostCleanup(); }
};

TEST_F(UldaStream, FixturesDecodeBitExactly) {
  for (const Fixture &fx : Fixtures) {
    SCOPED_TRACE(fx.name);
    const Bytes file = ReadWhole(FixtureDir() + "/" + fx.name + ".m4a");
    ASSERT_FALSE(file.empty());
    const Reference ref = LoadReference(fx);
    for (uint32_t flags : {0u, ORVA_SAMPLE_FLOAT}) {
      const Opened o = Open(file, flags);
      ASSERT_NE(o.handle, 0u);
      EXPECT_EQ(FakeLastError, ORVA_OK);
      EXPECT_EQ(o.stream->freq, fx.rate);
      EXPECT_EQ(o.stream->chans, fx.chans);
      const uint32_t bps = flags ? 4 : 2;
      EXPECT_EQ(o.stream->funcs->GetLength(o.inst, 0), ref.s16.size() * bps);
      OrvaChannelInfo info{};
      o.stream->funcs->GetInfo(o.inst, &info);
      EXPECT_EQ(info.ctype, ORVA_CTYPE_ALAC);
      EXPECT_EQ(info.origres, fx.bits);
      // Odd request sizes: frames split across calls, and every so often room
      // for a whole frame so the direct path runs too.
      const uint32_t chunk = (flags ? 40000u : 333u) * fx.chans * bps;
      if (flags) {
        EXPECT_EQ(Pull<float>(o, chunk), ref.f32);
      } else {
        EXPECT_EQ(Pull<int16_t>(o, chunk), ref.s16);
      }
      // Ended streams stay ended.
      uint8_t scratch[64];
      EXPECT_EQ(o.stream->proc(o.handle, scratch, 64, o.inst), ORVA_STREAMPROC_END);
    }
  }
}

// Positioning lands on the start of the frame holding the position; decoding
// on from there gives the same samples as decoding from the start.
TEST_F(UldaStream, SetPositionIsFrameExact) {
  const Fixture &fx = Fixtures[2];  // 24-bit stereo
  const Bytes file = ReadWhole(FixtureDir() + "/" + fx.name + ".m4a");
  const Reference ref = LoadReference(fx);
  const Opened o = Open(file, ORVA_SAMPLE_FLOAT);
  ASSERT_NE(o.handle, 0u);
  const uint64_t frameBytes = 8, frameLen = 4096;
  for (uint64_t sample : {uint64_t(0), frameLen, frameLen * 3, frameLen * 3 + 1, frameLen * 7 - 1, uint64_t(100)}) {
    SCOPED_TRACE(sample);
    ASSERT_TRUE(o.stream->funcs->CanSetPosition(o.inst, sample * frameBytes, 0));
    const uint64_t reached = o.stream->funcs->SetPosition(o.inst, sample * frameBytes, 0);
    EXPECT_EQ(reached, sample / frameLen * frameLen * frameBytes);
    const std::vector<float> got = Pull<float>(o, 12345 * 8, 3 * 4096 * 8);
    ASSERT_GE(got.size(), 4096u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), ref.f32.begin() + long(reached / 4)));
  }
  const uint64_t length = o.stream->funcs->GetLength(o.inst, 0);
  FakeLastError = -1;
  EXPECT_FALSE(o.stream->funcs->CanSetPosition(o.inst, length, 0));
  EXPECT_EQ(FakeLastError, ORVA_ERROR_POSITION);
  EXPECT_FALSE(o.stream->funcs->CanSetPosition(o.inst, 0, 1));
  EXPECT_EQ(FakeLastError, ORVA_ERROR_NOTAVAIL);
  EXPECT_TRUE(o.stream->funcs->CanSetPosition(o.inst, 0, 0x1000000));  // only the low byte is the mode
  EXPECT_EQ(o.stream->funcs->SetPosition(o.inst, length + 1000000, 0), UINT64_MAX);
  EXPECT_EQ(FakeLastError, ORVA_ERROR_POSITION);
}

// Synthetic frames with known samples: one frame of 16 stereo samples each.
std::vector<Bytes> RampFrames(uint32_t count, std::vector<int16_t> *expect) {
  std::vector<Bytes> frames;
  for (uint32_t k = 0; k < count; k++) {
    std::vector<int32_t> u(16), v(16);
    for (int i = 0; i < 16; i++) {
      u[i] = int32_t(k * 100 + i);
      v[i] = -u[i];
      expect->push_back(int16_t(u[i]));
      expect->push_back(int16_t(v[i]));
    }
    FrameBuilder f;
    f.RawPair(u, v, 16);
    frames.push_back(f.End());
  }
  return frames;
}

TEST_F(UldaStream, SyntheticLayoutsDecode) {
  struct Case {
    const char *name;
    M4aLayout layout;
  };
  const Case cases[] = {
      {"moov first, one chunk", {true, true, false}},
      {"moov first, chunk per frame", {true, true, true}},
      {"moov first, no stco", {true, false, false}},
      {"data first, no stco", {false, false, false}},
      {"data first, chunk per frame", {false, true, true}},
  };
  for (const Case &tc : cases) {
    SCOPED_TRACE(tc.name);
    std::vector<int16_t> expect;
    const Bytes file = MakeM4a(ConfigFields{}, RampFrames(5, &expect), tc.layout);
    const Opened o = Open(file, 0);
    ASSERT_NE(o.handle, 0u) << FakeLastError;
    EXPECT_EQ(Pull<int16_t>(o, 3 * 4 + 4 * 16 * 2), expect);  // one frame and a bit per call
    // Back to the middle of frame 2 (sample 40): reached frame start 32.
    EXPECT_EQ(o.stream->funcs->SetPosition(o.inst, 40 * 4, 0), 32u * 4);
    EXPECT_EQ(Pull<int16_t>(o, 64), std::vector<int16_t>(expect.begin() + 64, expect.end()));
  }
}

TEST_F(UldaStream, BufferedFileStillArriving) {
  for (bool withStco : {false, true}) {
    SCOPED_TRACE(withStco);
    FakeHostReset();
    std::vector<int16_t> expect;
    const Bytes bytes = MakeM4a(ConfigFields{}, RampFrames(4, &expect), {true, withStco, withStco});
    FakeFile *f = FakeFileFrom(bytes);
    FakeOpened.push_back(f);
    f->buffered = f->arriving = true;
    // Everything but the last 30 bytes (part of the last frame) has arrived.
    f->available = bytes.size() - 30;
    const HSTREAM h = AlacCreateStream(f, 0);
    ASSERT_NE(h, 0u) << FakeLastError;
    const FakeStream &s = FakeStreams[h - 1];
    auto *inst = static_cast<AlacInstance *>(s.user);
    EXPECT_EQ(f->stream, h);
    EXPECT_EQ(inst->mediaStart, 0u);  // offsets now count from the media start
    // A frame whose start has not arrived cannot be sought to.
    f->available = bytes.size() - 100;
    EXPECT_FALSE(s.funcs->CanSetPosition(inst, 3 * 16 * 4, 0));
    EXPECT_EQ(FakeLastError, ORVA_ERROR_POSITION);
    EXPECT_TRUE(s.funcs->CanSetPosition(inst, 2 * 16 * 4, 0));
    // The last frame is incomplete: decoding stops short without the end bit.
    f->available = bytes.size() - 30;
    std::vector<uint8_t> buf(4096);
    uint32_t r = s.proc(h, buf.data(), 4096, inst);
    EXPECT_EQ(r, 3u * 16 * 4);
    EXPECT_EQ(s.proc(h, buf.data(), 4096, inst), 0u);
    f->available = bytes.size();
    f->arriving = false;
    r = s.proc(h, buf.data() + 3 * 16 * 4, 4096 - 3 * 16 * 4, inst);
    EXPECT_EQ(r, 16u * 4 | ORVA_STREAMPROC_END);
    std::vector<int16_t> got(expect.size());
    std::memcpy(got.data(), buf.data(), got.size() * 2);
    EXPECT_EQ(got, expect);
    EXPECT_EQ(s.proc(h, buf.data(), 4096, inst), ORVA_STREAMPROC_END);
  }
}

TEST_F(UldaStream, CreationRefusals) {
  std::vector<int16_t> expect;
  const auto frames = RampFrames(2, &expect);
  ConfigFields zeroRate;
  zeroRate.sampleRate = 0;
  ConfigFields zeroLength;
  zeroLength.frameLength = 0;
  Bytes notFtyp = MakeM4a(ConfigFields{}, frames);
  const Bytes ftyp = Ftyp();
  std::memcpy(notFtyp.data() + 4, "free", 4);
  struct Case {
    const char *name;
    Bytes file;
    bool buffered;
    int error;  // 0: creation succeeds
  };
  const Case cases[] = {
      {"brand M4V", MakeM4a(ConfigFields{}, frames, {true, true, false, 16, "M4V "}), false, ORVA_OK},
      {"brand mp42", MakeM4a(ConfigFields{}, frames, {true, true, false, 16, "mp42"}), false, ORVA_ERROR_FILEFORM},
      {"first box not ftyp", notFtyp, false, ORVA_ERROR_FILEFORM},
      {"shorter than 12 bytes", Bytes(ftyp.begin(), ftyp.begin() + 11), false, ORVA_ERROR_FILEFORM},
      {"sample rate 0", MakeM4a(zeroRate, frames), false, ORVA_ERROR_FILEFORM},
      {"frame length 0", MakeM4a(zeroLength, frames), false, ORVA_ERROR_FILEFORM},
      {"buffered, data before index", MakeM4a(ConfigFields{}, frames, {false, false, false}), true,
       ORVA_ERROR_BUFFERED_INDEX},
  };
  for (const Case &tc : cases) {
    FakeFile *f = FakeFileFrom(tc.file);
    FakeOpened.push_back(f);
    f->buffered = tc.buffered;
    const HSTREAM h = AlacCreateStream(f, 0);
    EXPECT_EQ(h != 0, tc.error == ORVA_OK) << tc.name;
    EXPECT_EQ(FakeLastError, tc.error) << tc.name;
  }
  // The host refusing the stream: its error stands and the file is closed.
  const Bytes good = MakeM4a(ConfigFields{}, frames);
  FakeFailCreate = true;
  EXPECT_EQ(Orva_ALAC_StreamCreateFile(1, good.data(), 0, good.size(), 0), 0u);
  EXPECT_EQ(FakeLastError, ORVA_ERROR_MEM);
  ASSERT_FALSE(FakeOpened.empty());
  EXPECT_TRUE(FakeOpened.back()->closed);
}

TEST_F(UldaStream, OperationsAndErrors) {
  // Ten frames of one second each, 100,000 bytes apiece: 800 kbit/s.
  TrackTables t;
  t.stts = {{10, 44100}};
  t.sizes.assign(10, 100000);
  t.stsc = {{1, 10}};
  t.stco = {200};
  ConfigFields c;
  const Bytes moov = Box("moov", Trak(Stbl(Stsd("alac", AlacCookie(c)), t)));
  Bytes file = Boxes({Ftyp(), moov, Box("mdat", Bytes(300, 0))});
  const Opened o = Open(file, ORVA_SAMPLE_FLOAT | 0x04000000u | ORVA_UNICODE | 0x1u);
  ASSERT_NE(o.handle, 0u);
  EXPECT_EQ(o.stream->flags, ORVA_SAMPLE_FLOAT | 0x04000000u);
  const OrvaPluginFuncs *fn = o.stream->funcs;
  EXPECT_EQ(fn, &AlacFunctionTable);
  EXPECT_EQ(fn->GetLength(o.inst, 0), 10u * 44100 * 2 * 4);
  EXPECT_EQ(fn->GetLength(o.inst, 1), UINT64_MAX);
  EXPECT_EQ(FakeLastError, ORVA_ERROR_NOTAVAIL);
  float v = 0;
  EXPECT_TRUE(fn->GetAttribute(o.inst, ORVA_ATTRIB_BITRATE, &v, 0));
  EXPECT_EQ(v, 800.0f);
  EXPECT_FALSE(fn->GetAttribute(o.inst, ORVA_ATTRIB_FREQ, &v, 0));
  EXPECT_EQ(FakeLastError, ORVA_ERROR_ILLTYPE);
  EXPECT_FALSE(fn->GetAttribute(o.inst, ORVA_ATTRIB_BITRATE, &v, 1));
  EXPECT_EQ(FakeLastError, ORVA_ERROR_NOTAVAIL);
  // The frames lie past the end of this file: the stream ends with nothing.
  uint8_t buf[64];
  EXPECT_EQ(o.stream->proc(o.handle, buf, 64, o.inst), ORVA_STREAMPROC_END);
}

// Tables the stream cannot fully use: no division by a zero duration, no
// durations made up for uncovered frames.
TEST_F(UldaStream, IncompleteTables) {
  std::vector<int16_t> expect;
  const auto frames = RampFrames(3, &expect);
  struct Case {
    const char *name;
    std::vector<std::pair<uint32_t, uint32_t>> stts;
    uint32_t uniform;
    uint64_t length;
    size_t samples;  // decoded
  };
  const Case cases[] = {
      {"zero durations", {{3, 0}}, 0, 0, 3 * 32},
      {"stts covers two of three", {{2, 16}}, 0, 2 * 16 * 4, 2 * 32},
      {"empty stts", {}, 0, 0, 0},
      {"uniform sample size", {{3, 16}}, 68, 3 * 16 * 4, 3 * 32},
  };
  for (const Case &tc : cases) {
    TrackTables t;
    t.stts = tc.stts;
    t.uniformSize = tc.uniform;
    for (const Bytes &f : frames) t.sizes.push_back(uint32_t(f.size()));
    t.stsc = {{1, 3}};
    Bytes media;
    for (const Bytes &f : frames) Append(media, f);
    const Bytes head = Ftyp();
    // Without stco the frames follow the mdat header.
    t.withStco = false;
    const Bytes file = Boxes({head, Box("moov", Trak(Stbl(Stsd("alac", AlacCookie(ConfigFields{})), t))),
                              Box("mdat", media)});
    const Opened o = Open(file, 0);
    ASSERT_NE(o.handle, 0u) << tc.name;
    EXPECT_EQ(o.stream->funcs->GetLength(o.inst, 0), tc.length) << tc.name;
    EXPECT_EQ(o.inst->avgByteRate == 0, tc.length == 0) << tc.name;
    EXPECT_EQ(Pull<int16_t>(o, 1000).size(), tc.samples) << tc.name;
  }
}

TEST_F(UldaStream, PluginEntryPoints) {
  const auto *info = static_cast<const OrvaPluginInfo *>(Orvaplugin(0));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->version, 0x02040000u);
  ASSERT_EQ(info->formatc, 1u);
  EXPECT_EQ(info->formats[0].ctype, 0x10E00u);
  EXPECT_STREQ(info->formats[0].name, "Apple Lossless Audio Codec");
  EXPECT_STREQ(info->formats[0].exts, "*.m4a");
  EXPECT_EQ(Orvaplugin(1), reinterpret_cast<const void *>(&AlacCreateStream));
  EXPECT_EQ(Orvaplugin(2), nullptr);

  std::vector<int16_t> expect;
  const Bytes file = MakeM4a(ConfigFields{}, RampFrames(2, &expect));
  OrvaFileProcs procs{};
  EXPECT_EQ(Orva_ALAC_StreamCreateFileUser(1, 0, &procs, (void *)&file), 0u);
  EXPECT_EQ(FakeLastError, ORVA_ERROR_ILLPARAM);
  EXPECT_NE(Orva_ALAC_StreamCreateFileUser(0, 0, &procs, (void *)&file), 0u);
  EXPECT_EQ(Orva_ALAC_StreamCreateURL("http://example.invalid/a.m4a", 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(FakeLastError, ORVA_ERROR_FILEOPEN);

  for (uint32_t version : {0x02040000u, 0x02040900u, 0x02040102u})
    EXPECT_TRUE(AlacHostVersionAccepted(version)) << std::hex << version;
  for (uint32_t version : {0x02030000u, 0x02050000u, 0x01040000u, 0u})
    EXPECT_FALSE(AlacHostVersionAccepted(version)) << std::hex << version;

  // A wrong host: nothing is answered and nothing is created.
  testing::internal::CaptureStderr();
  AlacAttach(&FakeHostTable, 0x02050000u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "OrvaALAC: Incorrect orva.dll version (2.4 is required)\n");
  EXPECT_EQ(Orvaplugin(0), nullptr);
  EXPECT_EQ(Orvaplugin(1), nullptr);
  FakeLastError = 0;
  EXPECT_EQ(Orva_ALAC_StreamCreateFile(1, file.data(), 0, file.size(), 0), 0u);
  EXPECT_EQ(FakeLastError, ORVA_ERROR_FILEFORM);
  AlacAttach(&FakeHostTable, ORVA_VERSION);
}

TEST_F(UldaStream, SeekForwardWithoutHostSeeking) {
  Bytes data(5000);
  for (size_t i = 0; i < data.size(); i++) data[i] = uint8_t(i);
  struct Case {
    uint64_t start, available, target;
    int result;
    uint64_t end;
  };
  const Case cases[] = {
      {100, 5000, 2000, 0, 2000},  // read forward in pieces
      {100, 5000, 3000, 1, 100},   // gap 2900 > 5000 - 3000
      {100, 5000, 100, 0, 100},    // no gap
      {100, 5000, 50, 1, 100},     // never backwards
      {100, 2000, 1500, 1, 100},   // gap 1400 > 2000 - 1500 of data beyond the target
      {100, 2000, 1000, 0, 1000},  // gap 900 <= 1000
      {100, 2000, 2500, 1, 100},   // beyond what has arrived
  };
  for (const Case &tc : cases) {
    FakeFile f;
    f.data = data;
    f.buffered = true;
    f.seekable = false;
    f.available = tc.available;
    f.pos = tc.start;
    EXPECT_EQ(FileSeekForward(&f, tc.target), tc.result) << tc.target;
    EXPECT_EQ(f.pos, tc.end) << tc.target;
  }
  FakeFile f;
  f.data = data;
  f.pos = 10;
  EXPECT_EQ(FileSkip(&f, 4000), 0);
  EXPECT_EQ(f.pos, 4010u);
}

}  // namespace
