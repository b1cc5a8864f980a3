// The plug-in on its own, over a stand-in host: native output sample by
// sample against `flac -d`, seeking, bad input and buffered files.
#include "fake_host.h"

#include <FLAC/stream_encoder.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>

namespace {

const std::string FixtureDir = PYMO_FIXTURE_DIR;

struct Case {
  const char *name;
  uint32_t rate, chans, bits;
};

const Case Cases[] = {
    {"s16", 44100, 2, 16},   {"s24", 48000, 2, 24},  {"s8", 22050, 2, 8},     {"mono", 44100, 1, 16},
    {"ch6", 48000, 6, 16},   {"ch8", 48000, 8, 24},  {"hr96", 96000, 2, 24},  {"s32", 44100, 2, 32},
    {"odd", 44100, 2, 16},   {"noseek", 44100, 2, 16}, {"nototal", 44100, 2, 16},
};

std::vector<uint8_t> Bytes(const std::string &name) { return ReadFileBytes(FixtureDir + "/" + name + ".flac"); }

// The reference decode: little-endian signed integers of the file's width.
std::vector<int32_t> Reference(const std::string &name, uint32_t bits) {
  const std::vector<uint8_t> raw = ReadFileBytes(FixtureDir + "/" + name + ".raw");
  const uint32_t width = (bits + 7) / 8;
  std::vector<int32_t> out(raw.size() / width);
  for (size_t i = 0; i < out.size(); i++) {
    uint32_t v = 0;
    for (uint32_t b = 0; b < width; b++) v |= uint32_t{raw[i * width + b]} << (8 * b);
    const uint32_t sign = 32 - 8 * width;
    out[i] = static_cast<int32_t>(v << sign) >> sign;
  }
  return out;
}

float ToFloat(int32_t v, uint32_t bits) { return static_cast<float>(v) * std::ldexp(1.0f, 1 - static_cast<int>(bits)); }

int16_t ToShort(int32_t v, uint32_t bits) {
  if (bits <= 16) return static_cast<int16_t>(v * (1 << (16 - bits)));
  const double r = std::floor(v / std::ldexp(1.0, bits - 16) + 0.5);
  return static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
}

HSTREAM Create(const std::vector<uint8_t> &bytes, uint32_t flags, FakeFile **file = nullptr) {
  FakeFile *f = FakeOpen(bytes);
  if (file) *file = f;
  const auto create = reinterpret_cast<OrvaPluginCreateProc>(const_cast<void *>(Orvaplugin(1)));
  return create(f, flags);
}

// Pulls the stream to its end in chunks of varying, odd sizes.
std::vector<uint8_t> DecodeAll(HSTREAM h, uint32_t frameBytes, bool *ended = nullptr) {
  FakeStream *s = FakeStreamOf(h);
  const uint32_t chunks[] = {1, 7, 4096, 333, 1153, 9000};
  std::vector<uint8_t> out;
  for (size_t i = 0;; i++) {
    const uint32_t want = chunks[i % 6] * frameBytes;
    std::vector<uint8_t> buf(want);
    const uint32_t r = s->proc(h, buf.data(), want, s->user);
    const uint32_t n = r & ~ORVA_STREAMPROC_END;
    EXPECT_LE(n, want);
    out.insert(out.end(), buf.begin(), buf.begin() + std::min(n, want));
    if (r & ORVA_STREAMPROC_END) {
      if (ended) *ended = true;
      break;
    }
    if (n == 0) {
      if (ended) *ended = false;
      break;
    }
  }
  return out;
}

template <typename T> std::vector<T> As(const std::vector<uint8_t> &bytes) {
  std::vector<T> v(bytes.size() / sizeof(T));
  if (!v.empty()) std::memcpy(v.data(), bytes.data(), v.size() * sizeof(T));
  return v;
}

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class Decode : public testing::TestWithParam<Case> {};

TEST_P(Decode, FloatAndShortOutputMatchReference) {
  const Case c = GetParam();
  const std::vector<int32_t> ref = Reference(c.name, c.bits);
  ASSERT_FALSE(ref.empty());
  for (uint32_t flags : {ORVA_SAMPLE_FLOAT | ORVA_STREAM_DECODE, ORVA_STREAM_DECODE}) {
    const bool isFloat = flags & ORVA_SAMPLE_FLOAT;
    const uint32_t bps = isFloat ? 4 : 2;
    const HSTREAM h = Create(Bytes(c.name), flags);
    ASSERT_NE(h, 0u) << c.name;
    EXPECT_EQ(FakeLastError(), 0);
    FakeStream *s = FakeStreamOf(h);
    EXPECT_EQ(s->freq, c.rate);
    EXPECT_EQ(s->chans, c.chans);
    EXPECT_EQ(s->flags & ORVA_SAMPLE_FLOAT, flags & ORVA_SAMPLE_FLOAT);
    EXPECT_EQ(s->funcs->GetLength(s->user, 0), ref.size() * bps);
    OrvaChannelInfo info{};
    s->funcs->GetInfo(s->user, &info);
    EXPECT_EQ(info.ctype, ORVA_CTYPE_FLAC);
    EXPECT_EQ(info.origres, c.bits);

    bool ended = false;
    const std::vector<uint8_t> out = DecodeAll(h, c.chans * bps, &ended);
    EXPECT_TRUE(ended);
    ASSERT_EQ(out.size(), ref.size() * bps) << c.name;
    size_t bad = 0;
    if (isFloat) {
      const std::vector<float> got = As<float>(out);
      for (size_t i = 0; i < ref.size(); i++) bad += got[i] != ToFloat(ref[i], c.bits);
    } else {
      const std::vector<int16_t> got = As<int16_t>(out);
      for (size_t i = 0; i < ref.size(); i++) bad += got[i] != ToShort(ref[i], c.bits);
    }
    EXPECT_EQ(bad, 0u) << c.name << (isFloat ? " float" : " 16-bit");
    // Once ended, it stays ended.
    uint8_t more[64];
    EXPECT_EQ(s->proc(h, more, sizeof more, s->user), ORVA_STREAMPROC_END);
    FakeStreamFree(h);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Decode, testing::ValuesIn(Cases),
                         [](const testing::TestParamInfo<Case> &i) { return std::string(i.param.name); });

// Depths the flac tool cannot write, encoded here with libFLAC: the input
// samples are the reference.
std::vector<uint8_t> Encode(const std::vector<int32_t> &interleaved, uint32_t chans, uint32_t bits, uint32_t rate,
                            uint32_t block) {
  std::vector<uint8_t> out;
  FLAC__StreamEncoder *e = FLAC__stream_encoder_new();
  FLAC__stream_encoder_set_channels(e, chans);
  FLAC__stream_encoder_set_bits_per_sample(e, bits);
  FLAC__stream_encoder_set_sample_rate(e, rate);
  FLAC__stream_encoder_set_blocksize(e, block);
  FLAC__stream_encoder_set_compression_level(e, 5);
  FLAC__stream_encoder_set_streamable_subset(e, false);
  FLAC__stream_encoder_set_total_samples_estimate(e, interleaved.size() / chans);
  auto write = [](const FLAC__StreamEncoder *, const FLAC__byte buffer[], size_t bytes, uint32_t, uint32_t,
                  void *user) {
    auto *v = static_cast<std::vector<uint8_t> *>(user);
    v->insert(v->end(), buffer, buffer + bytes);
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
  };
  EXPECT_EQ(FLAC__stream_encoder_init_stream(e, write, nullptr, nullptr, nullptr, &out),
            FLAC__STREAM_ENCODER_INIT_STATUS_OK);
  EXPECT_TRUE(FLAC__stream_encoder_process_interleaved(e, interleaved.data(), interleaved.size() / chans));
  FLAC__stream_encoder_finish(e);
  FLAC__stream_encoder_delete(e);
  return out;
}

std::vector<int32_t> Signal(uint32_t frames, uint32_t chans, uint32_t bits, uint32_t seed) {
  std::mt19937 rng(seed);
  const int32_t peak = static_cast<int32_t>((int64_t{1} << (bits - 1)) - 1);
  std::vector<int32_t> v(size_t{frames} * chans);
  for (uint32_t i = 0; i < frames; i++)
    for (uint32_t c = 0; c < chans; c++) {
      const double s = 0.7 * std::sin(i * 0.01 * (c + 1)) + 0.2 * (static_cast<double>(rng()) / rng.max() - 0.5);
      v[size_t{i} * chans + c] = static_cast<int32_t>(std::clamp(std::lround(s * peak), -long{peak} - 1, long{peak}));
    }
  // Full scale both ways, where rounding to 16 bits must saturate.
  v[0] = peak;
  v[1 % v.size()] = -peak - 1;
  return v;
}

TEST(PymoDepths, UnusualDepthsDecodeExactly) {
  const struct {
    uint32_t bits, chans, block;
  } depths[] = {{4, 1, 576}, {12, 3, 1000}, {20, 2, 4096}, {17, 5, 192}};
  for (const auto &d : depths) {
    const std::vector<int32_t> in = Signal(20000, d.chans, d.bits, d.bits);
    const HSTREAM hf = Create(Encode(in, d.chans, d.bits, 32000, d.block), ORVA_SAMPLE_FLOAT);
    ASSERT_NE(hf, 0u) << d.bits;
    const std::vector<float> f = As<float>(DecodeAll(hf, d.chans * 4));
    const HSTREAM hs = Create(Encode(in, d.chans, d.bits, 32000, d.block), 0);
    const std::vector<int16_t> s = As<int16_t>(DecodeAll(hs, d.chans * 2));
    ASSERT_EQ(f.size(), in.size());
    ASSERT_EQ(s.size(), in.size());
    size_t bad = 0;
    for (size_t i = 0; i < in.size(); i++) bad += f[i] != ToFloat(in[i], d.bits) || s[i] != ToShort(in[i], d.bits);
    EXPECT_EQ(bad, 0u) << d.bits << " bits";
    FakeStreamFree(hf);
    FakeStreamFree(hs);
  }
}

TEST(PymoSeek, RandomFramesEqualSlices) {
  for (const char *name : {"s16", "noseek", "nototal", "odd", "ch6", "s24"}) {
    const Case &c = *std::find_if(std::begin(Cases), std::end(Cases), [&](const Case &k) { return k.name == std::string(name); });
    const HSTREAM whole = Create(Bytes(name), ORVA_SAMPLE_FLOAT);
    const std::vector<float> full = As<float>(DecodeAll(whole, c.chans * 4));
    FakeStreamFree(whole);
    const uint64_t frames = full.size() / c.chans;
    const uint32_t fb = c.chans * 4;
    const HSTREAM h = Create(Bytes(name), ORVA_SAMPLE_FLOAT);
    FakeStream *s = FakeStreamOf(h);
    std::mt19937 rng(7);
    std::vector<uint64_t> targets = {0, frames - 1, frames / 2, 4096, 4095, 1153};
    for (int i = 0; i < 12; i++) targets.push_back(rng() % frames);
    for (uint64_t t : targets) {
      // A byte offset inside the sample frame lands on the frame's start.
      const uint64_t pos = t * fb + (t % 3);
      EXPECT_TRUE(s->funcs->CanSetPosition(s->user, pos, 0));
      ASSERT_EQ(s->funcs->SetPosition(s->user, pos, 0), t * fb) << name << " frame " << t;
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(frames - t, 3001));
      std::vector<float> got(n * c.chans);
      uint32_t have = 0;
      while (have < n * fb) {
        const uint32_t r = s->proc(h, reinterpret_cast<uint8_t *>(got.data()) + have, std::min(n * fb - have, 999 * fb), s->user);
        have += r & ~ORVA_STREAMPROC_END;
        if ((r & ORVA_STREAMPROC_END) || !(r & ~ORVA_STREAMPROC_END)) break;
      }
      ASSERT_EQ(have, n * fb) << name << " frame " << t;
      EXPECT_TRUE(std::equal(got.begin(), got.end(), full.begin() + t * c.chans)) << name << " frame " << t;
    }
    const uint64_t length = s->funcs->GetLength(s->user, 0);
    EXPECT_FALSE(s->funcs->CanSetPosition(s->user, length, 0));
    EXPECT_EQ(FakeLastError(), ORVA_ERROR_POSITION);
    EXPECT_EQ(s->funcs->SetPosition(s->user, length, 0), UINT64_MAX);
    EXPECT_EQ(FakeLastError(), ORVA_ERROR_POSITION);
    EXPECT_FALSE(s->funcs->CanSetPosition(s->user, 0, 1));
    EXPECT_EQ(FakeLastError(), ORVA_ERROR_NOTAVAIL);
    // A failed request leaves the stream usable from a valid position.
    ASSERT_EQ(s->funcs->SetPosition(s->user, fb * 10, 0), fb * 10u);
    float one[2 * 8];
    EXPECT_EQ(s->proc(h, one, fb, s->user), fb);
    EXPECT_EQ(one[0], full[10 * c.chans]);
    FakeStreamFree(h);
  }
}

// Offset of the first audio frame: after the last metadata block.
size_t AudioStart(const std::vector<uint8_t> &b) {
  size_t p = 4;
  for (;;) {
    const bool last = b[p] & 0x80;
    p += 4 + ((size_t{b[p + 1]} << 16) | (size_t{b[p + 2]} << 8) | b[p + 3]);
    if (last) return p;
  }
}

TEST(PymoQuery, FacesAttributeAndLength) {
  const auto *info = static_cast<const OrvaPluginInfo *>(Orvaplugin(0));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->version, ORVA_VERSION);
  ASSERT_EQ(info->formatc, 1u);
  EXPECT_EQ(info->formats[0].ctype, ORVA_CTYPE_FLAC);
  EXPECT_STREQ(info->formats[0].name, "FLAC");
  EXPECT_STREQ(info->formats[0].exts, "*.flac");
  EXPECT_NE(Orvaplugin(1), nullptr);
  EXPECT_EQ(Orvaplugin(2), nullptr);

  const std::vector<uint8_t> bytes = Bytes("s16");
  const HSTREAM h = Create(bytes, ORVA_SAMPLE_FLOAT);
  FakeStream *s = FakeStreamOf(h);
  float kbps = 0;
  ASSERT_TRUE(s->funcs->GetAttribute(s->user, ORVA_ATTRIB_BITRATE, &kbps, 0));
  // The audio frames over the file's 3 seconds.
  EXPECT_NEAR(kbps, (bytes.size() - AudioStart(bytes)) * 8 / 3.0 / 1000, 0.01);
  EXPECT_FALSE(s->funcs->GetAttribute(s->user, ORVA_ATTRIB_FREQ, &kbps, 0));
  EXPECT_EQ(FakeLastError(), ORVA_ERROR_ILLTYPE);
  EXPECT_FALSE(s->funcs->GetAttribute(s->user, ORVA_ATTRIB_BITRATE, &kbps, 1));
  EXPECT_EQ(FakeLastError(), ORVA_ERROR_NOTAVAIL);
  EXPECT_EQ(s->funcs->GetLength(s->user, 1), UINT64_MAX);
  EXPECT_EQ(FakeLastError(), ORVA_ERROR_NOTAVAIL);
  FakeStreamFree(h);
}

TEST(PymoBadInput, RefusedWithFormatError) {
  const std::vector<uint8_t> good = Bytes("s16");
  const std::string text = "This is a text file, saved as song.flac by mistake.\n";
  std::vector<uint8_t> noInfo = {'f', 'L', 'a', 'C', 0x81, 0, 0, 4, 1, 2, 3, 4}; // only a PADDING block
  std::vector<uint8_t> badId3 = {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 'f', 'L', 'a', 'C'};
  std::vector<uint8_t> zeroChans = good;
  zeroChans[18] = zeroChans[19] = zeroChans[20] = 0; // rate 0
  const std::vector<std::vector<uint8_t>> inputs = {
      {},
      std::vector<uint8_t>(text.begin(), text.end()),
      std::vector<uint8_t>(good.begin(), good.begin() + 3),
      std::vector<uint8_t>(good.begin(), good.begin() + 20), // inside STREAMINFO
      noInfo,
      badId3,
      zeroChans,
      std::vector<uint8_t>(100000, 0xFF),
  };
  for (size_t i = 0; i < inputs.size(); i++) {
    FakeFile *f = nullptr;
    EXPECT_EQ(Create(inputs[i], ORVA_SAMPLE_FLOAT, &f), 0u) << "input " << i;
    EXPECT_EQ(FakeLastError(), ORVA_ERROR_FILEFORM) << "input " << i;
    EXPECT_FALSE(f->closed) << "the creation proc leaves the file to its caller";
  }
  EXPECT_EQ(Orva_FLAC_StreamCreateFile(0, (FixtureDir + "/missing.flac").c_str(), 0, 0, ORVA_SAMPLE_FLOAT), 0u);
  EXPECT_EQ(FakeLastError(), ORVA_ERROR_FILEOPEN);
  EXPECT_EQ(Orva_FLAC_StreamCreateFile(1, text.data(), 0, text.size(), ORVA_SAMPLE_FLOAT), 0u);
  EXPECT_EQ(FakeLastError(), ORVA_ERROR_FILEFORM);

  // An ID3v2 tag before the signature is skipped.
  std::vector<uint8_t> tagged = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20};
  tagged.resize(30, 0);
  tagged.insert(tagged.end(), good.begin(), good.end());
  const HSTREAM h = Orva_FLAC_StreamCreateFile(1, tagged.data(), 0, tagged.size(), ORVA_SAMPLE_FLOAT);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(DecodeAll(h, 8).size(), Reference("s16", 16).size() * 4);
  FakeStreamFree(h);
}

// Damaged audio after a sound header: the stream decodes what it can and
// ends; every sample it gives out belongs to the file's own shape.
TEST(PymoBadInput, DamagedAudioEndsCleanly) {
  const std::vector<uint8_t> good = Bytes("s16");
  const std::vector<uint8_t> mono = Bytes("mono");
  const std::vector<int32_t> ref = Reference("s16", 16);
  const size_t start = AudioStart(good);

  struct Damage {
    const char *what;
    std::vector<uint8_t> bytes;
    bool prefixOfReference; // output must equal the start of the full decode
  };
  std::vector<Damage> damages;
  damages.push_back({"cut inside the first frame", {good.begin(), good.begin() + start + 100}, true});
  damages.push_back({"cut in the middle", {good.begin(), good.begin() + (start + good.size()) / 2}, true});
  {
    std::vector<uint8_t> b = good;
    for (size_t i = start + 5000; i < b.size(); i += 7919) b[i] ^= 0x5A;
    damages.push_back({"flipped bytes", b, false});
  }
  {
    std::vector<uint8_t> b(good.begin(), good.begin() + (start + good.size()) / 2);
    b.insert(b.end(), mono.begin() + AudioStart(mono), mono.end());
    damages.push_back({"mono frames after stereo ones", b, true});
  }
  {
    std::vector<uint8_t> b = good;
    b[20] = (b[20] & 0xF1); // STREAMINFO says 1 channel, frames carry 2
    damages.push_back({"channel count disagrees", b, false});
  }
  {
    std::vector<uint8_t> b = good;
    b[20] = (b[20] & 0xFE) | 0x01; // STREAMINFO says 24 bits, frames carry 16
    b[21] = (b[21] & 0x0F) | 0x70;
    damages.push_back({"depth disagrees", b, false});
  }
  {
    std::vector<uint8_t> b = good;
    b[8] = b[9] = b[10] = b[11] = 0xFF;             // min and max block size 65535
    b[12] = b[13] = b[14] = b[15] = b[16] = b[17] = 0xFF; // frame sizes 16 MB
    b[21] |= 0x0F;                                  // and a total far beyond the data
    damages.push_back({"huge sizes declared", b, false});
  }
  {
    std::vector<uint8_t> b(good.begin(), good.begin() + start);
    for (int i = 0; i < 3000; i++) b.insert(b.end(), {0xFF, 0xF8, 0x69, 0x18, 0x00, 0x00});
    damages.push_back({"endless false syncs", b, true});
  }
  for (const Damage &d : damages) {
    for (uint32_t flags : {ORVA_SAMPLE_FLOAT, 0u}) {
      const HSTREAM h = Create(d.bytes, flags);
      if (!h) {
        EXPECT_EQ(FakeLastError(), ORVA_ERROR_FILEFORM) << d.what;
        continue;
      }
      FakeStream *s = FakeStreamOf(h);
      const uint32_t fb = s->chans * ((flags & ORVA_SAMPLE_FLOAT) ? 4 : 2);
      bool ended = false;
      const std::vector<uint8_t> out = DecodeAll(h, fb, &ended);
      EXPECT_TRUE(ended) << d.what;
      EXPECT_EQ(out.size() % fb, 0u) << d.what;
      if (d.prefixOfReference && (flags & ORVA_SAMPLE_FLOAT)) {
        const std::vector<float> got = As<float>(out);
        ASSERT_LE(got.size(), ref.size()) << d.what;
        size_t bad = 0;
        for (size_t i = 0; i < got.size(); i++) bad += got[i] != ToFloat(ref[i], 16);
        EXPECT_EQ(bad, 0u) << d.what;
      }
      FakeStreamFree(h);
    }
  }
}

// A file still arriving: the callback hands out what the arrived data holds,
// never waits, and goes on once more has come.
TEST(PymoBuffered, DecodesAsDataArrives) {
  const auto create = reinterpret_cast<OrvaPluginCreateProc>(const_cast<void *>(Orvaplugin(1)));
  FakeFile *early = FakeOpen(Bytes("s16"), true, 20);
  EXPECT_EQ(create(early, ORVA_SAMPLE_FLOAT), 0u) << "header not there yet";
  EXPECT_EQ(FakeLastError(), ORVA_ERROR_NOTAVAIL);

  const struct {
    const char *name;
    uint64_t step;
  } runs[] = {{"s16", 3000}, {"s16", 50000}, {"nototal", 4000}};
  for (const auto &run : runs) {
    const std::vector<uint8_t> bytes = Bytes(run.name);
    const std::vector<int32_t> ref = Reference(run.name, 16);
    FakeFile *f = FakeOpen(bytes, true, AudioStart(bytes) + 100);
    const HSTREAM h = create(f, ORVA_SAMPLE_FLOAT);
    ASSERT_NE(h, 0u);
    FakeStream *s = FakeStreamOf(h);
    // Without a total in STREAMINFO the length stays unknown until the end.
    const bool known = std::string(run.name) != "nototal";
    EXPECT_EQ(s->funcs->GetLength(s->user, 0), known ? ref.size() * 4 : UINT64_MAX);
    EXPECT_FALSE(s->funcs->CanSetPosition(s->user, 0, 0));
    std::vector<uint8_t> out;
    int waits = 0;
    for (int round = 0; round < 10000; round++) {
      std::vector<uint8_t> buf(8 * 5000);
      const uint32_t r = s->proc(h, buf.data(), buf.size(), s->user);
      out.insert(out.end(), buf.begin(), buf.begin() + (r & ~ORVA_STREAMPROC_END));
      if (r & ORVA_STREAMPROC_END) break;
      if ((r & ~ORVA_STREAMPROC_END) < buf.size()) {
        waits++;
        FakeArrive(f, run.step, f->arrived + run.step >= bytes.size());
      }
    }
    EXPECT_GT(waits, 1);
    ASSERT_EQ(out.size(), ref.size() * 4) << run.name << " step " << run.step;
    const std::vector<float> got = As<float>(out);
    size_t bad = 0;
    for (size_t i = 0; i < ref.size(); i++) bad += got[i] != ToFloat(ref[i], 16);
    EXPECT_EQ(bad, 0u);
    // All arrived: seeking works again where the length is known.
    if (known) {
      EXPECT_EQ(s->funcs->SetPosition(s->user, 8 * 1000, 0), 8000u);
    }
    FakeStreamFree(h);
  }
}

TEST(PymoThreads, TwoStreamsDecodeAtOnce) {
  auto run = [](const char *name, uint32_t bits, bool *ok) {
    const std::vector<int32_t> ref = Reference(name, bits);
    for (int i = 0; i < 3; i++) {
      const HSTREAM h = Create(Bytes(name), ORVA_SAMPLE_FLOAT);
      const std::vector<float> got = As<float>(DecodeAll(h, 8));
      bool same = got.size() == ref.size();
      for (size_t k = 0; same && k < ref.size(); k++) same = got[k] == ToFloat(ref[k], bits);
      *ok = *ok && same;
      FakeStreamFree(h);
    }
  };
  bool ok1 = true, ok2 = true;
  std::thread a(run, "s16", 16, &ok1), b(run, "s24", 24, &ok2);
  a.join();
  b.join();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
}

} // namespace
