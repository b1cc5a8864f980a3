#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "alac_builder.h"
#include "alac_decoder.h"

namespace {

struct Decoded {
  int32_t status;
  uint32_t outNumSamples;
  std::vector<int16_t> s16;
  std::vector<float> f32;
};

constexpr int16_t Untouched16 = 0x7A7A;

// Decodes a frame twice, to 16-bit and to float, from an exactly sized copy so
// that any read past the frame shows up under AddressSanitizer.
Decoded Decode(const ConfigFields &c, const Bytes &frame, uint32_t streamChannels = 0, uint32_t numSamples = 0) {
  const uint32_t chans = streamChannels ? streamChannels : c.numChannels;
  const uint32_t n = numSamples ? numSamples : c.frameLength;
  AlacDecoder d{};
  const Bytes cfg = ConfigBytes(c);
  EXPECT_EQ(AlacDecoderInit(&d, cfg.data(), uint32_t(cfg.size())), ALAC_OK);
  Decoded r;
  r.s16.assign(size_t(n) * chans, Untouched16);
  r.f32.assign(size_t(n) * chans, -7.0f);
  for (int pass = 0; pass < 2; pass++) {
    std::vector<uint8_t> copy(frame);
    BitReader bits;
    BitReaderInit(&bits, copy.data(), uint32_t(copy.size()));
    uint32_t outN = 0xDEAD;
    void *out = pass ? static_cast<void *>(r.f32.data()) : static_cast<void *>(r.s16.data());
    const int32_t st = AlacDecodeFrame(&d, &bits, out, n, chans, &outN, pass == 1);
    if (pass == 0) {
      r.status = st;
      r.outNumSamples = outN;
    } else {
      EXPECT_EQ(st, r.status);
    }
  }
  AlacDecoderFree(&d);
  return r;
}

std::vector<int32_t> Ramp(uint32_t n, int32_t start, int32_t step) {
  std::vector<int32_t> v(n);
  for (uint32_t i = 0; i < n; i++) v[i] = start + int32_t(i) * step;
  return v;
}

TEST(AlacConfig, AcceptsAndRefuses) {
  ConfigFields good;
  Bytes frmaAlac;
  PutBE32(frmaAlac, 12);
  PutType(frmaAlac, "frma");
  PutType(frmaAlac, "alac");
  Append(frmaAlac, AlacCookie(good));

  struct Case {
    const char *name;
    Bytes bytes;
    int32_t status;
  };
  const Bytes full = ConfigBytes(good);
  auto with = [&](auto change) {
    ConfigFields c = good;
    change(c);
    return ConfigBytes(c);
  };
  const Case cases[] = {
      {"bare", ConfigBytes(good), ALAC_OK},
      {"alac box", AlacCookie(good), ALAC_OK},
      {"frma and alac boxes", frmaAlac, ALAC_OK},
      {"too short", Bytes(11, 0), ALAC_PARAM_ERROR},
      {"23 bytes", Bytes(full.begin(), full.end() - 1), ALAC_PARAM_ERROR},
      {"frame length 0", with([](ConfigFields &c) { c.frameLength = 0; }), ALAC_PARAM_ERROR},
      {"huge frame length", with([](ConfigFields &c) { c.frameLength = 0xFFFFFFFF; }), ALAC_PARAM_ERROR},
      {"sample rate 0", with([](ConfigFields &c) { c.sampleRate = 0; }), ALAC_PARAM_ERROR},
      {"no channels", with([](ConfigFields &c) { c.numChannels = 0; }), ALAC_PARAM_ERROR},
      {"9 channels", with([](ConfigFields &c) { c.numChannels = 9; }), ALAC_PARAM_ERROR},
      {"compatible version 1", with([](ConfigFields &c) { c.compatibleVersion = 1; }), ALAC_PARAM_ERROR},
  };
  for (const Case &tc : cases) {
    AlacDecoder d{};
    EXPECT_EQ(AlacDecoderInit(&d, tc.bytes.data(), uint32_t(tc.bytes.size())), tc.status) << tc.name;
    if (tc.status == ALAC_OK) {
      EXPECT_EQ(d.config.frameLength, 16u) << tc.name;
      EXPECT_EQ(d.config.sampleRate, 44100u) << tc.name;
      EXPECT_EQ(d.config.numChannels, 2u) << tc.name;
    }
    AlacDecoderFree(&d);
  }
}

TEST(AlacFrame, StereoWithoutMixingIsPassedThrough) {
  ConfigFields c;
  const auto u = Ramp(16, -300, 37), v = Ramp(16, 1000, -129);
  FrameBuilder f;
  f.Pair(u, v, 16);
  const Decoded r = Decode(c, f.End());
  ASSERT_EQ(r.status, ALAC_OK);
  EXPECT_EQ(r.outNumSamples, 16u);
  for (int i = 0; i < 16; i++) {
    EXPECT_EQ(r.s16[2 * i], u[i]);
    EXPECT_EQ(r.s16[2 * i + 1], v[i]);
    EXPECT_EQ(r.f32[2 * i], float(u[i]) * 0x1p-15f);
    EXPECT_EQ(r.f32[2 * i + 1], float(v[i]) * 0x1p-15f);
  }
}

TEST(AlacFrame, StereoMatrixing) {
  ConfigFields c;
  const auto u = Ramp(16, -5000, 611), v = Ramp(16, 3000, -397);
  FrameBuilder f;
  f.Pair(u, v, 16, 2, 3);
  const Decoded r = Decode(c, f.End());
  ASSERT_EQ(r.status, ALAC_OK);
  for (int i = 0; i < 16; i++) {
    const int32_t l = u[i] + v[i] - ((3 * v[i]) >> 2);
    EXPECT_EQ(r.s16[2 * i], int16_t(l));
    EXPECT_EQ(r.s16[2 * i + 1], int16_t(l - v[i]));
  }
}

// Shifted-off low bytes travel apart from the predicted high part; mono and
// pair elements must rebuild the samples the same way.
TEST(AlacFrame, BytesShifted24Bit) {
  ConfigFields c;
  c.bitDepth = 24;
  const auto hi = Ramp(16, -30000, 3907);
  std::vector<uint32_t> low(16), pairLow(32);
  for (int i = 0; i < 16; i++) low[i] = uint32_t(i * 17 + 3) & 0xFF;
  for (int i = 0; i < 32; i++) pairLow[i] = uint32_t(i * 29 + 5) & 0xFF;
  const auto hiV = Ramp(16, 20000, -2711);

  FrameBuilder pair;
  pair.Pair(hi, hiV, 24, 0, 0, 1, pairLow);
  Decoded r = Decode(c, pair.End());
  ASSERT_EQ(r.status, ALAC_OK);
  for (int i = 0; i < 16; i++) {
    const int32_t l = hi[i] * 256 | int32_t(pairLow[2 * i]);
    const int32_t rr = hiV[i] * 256 | int32_t(pairLow[2 * i + 1]);
    EXPECT_EQ(r.f32[2 * i], float(l) * 0x1p-23f);
    EXPECT_EQ(r.f32[2 * i + 1], float(rr) * 0x1p-23f);
    EXPECT_EQ(r.s16[2 * i], int16_t(l >> 8));
    EXPECT_EQ(r.s16[2 * i + 1], int16_t(rr >> 8));
  }

  c.numChannels = 1;
  FrameBuilder mono;
  mono.Single(hi, 24, 1, low);
  r = Decode(c, mono.End());
  ASSERT_EQ(r.status, ALAC_OK);
  for (int i = 0; i < 16; i++) {
    const int32_t x = hi[i] * 256 | int32_t(low[i]);
    EXPECT_EQ(r.f32[i], float(x) * 0x1p-23f);
    EXPECT_EQ(r.s16[i], int16_t(x >> 8));
  }
}

TEST(AlacFrame, UncompressedElementsAndDepths) {
  struct Case {
    uint8_t depth;
    int32_t sample;
    int16_t s16;
    float f32;
  };
  const Case cases[] = {
      {16, -12345, -12345, -12345 * 0x1p-15f},
      {20, 0x7FFFF, 0x7FFF, 0x7FFFF * 0x1p-19f},
      {24, -0x800000, -0x8000, -1.0f},
      {32, 1 << 30, 0x4000, 0.5f},
      {32, -0x7FFFFFFF - 1, -0x8000, -1.0f},
  };
  for (const Case &tc : cases) {
    ConfigFields c;
    c.bitDepth = tc.depth;
    c.numChannels = 1;
    FrameBuilder f;
    f.RawSingle(std::vector<int32_t>(16, tc.sample), tc.depth);
    Decoded r = Decode(c, f.End());
    ASSERT_EQ(r.status, ALAC_OK) << int(tc.depth);
    EXPECT_EQ(r.s16[15], tc.s16) << int(tc.depth);
    EXPECT_EQ(r.f32[15], tc.f32) << int(tc.depth);

    c.numChannels = 2;
    FrameBuilder p;
    p.RawPair(std::vector<int32_t>(16, tc.sample), std::vector<int32_t>(16, -1), tc.depth);
    r = Decode(c, p.End());
    ASSERT_EQ(r.status, ALAC_OK) << int(tc.depth);
    EXPECT_EQ(r.s16[30], tc.s16) << int(tc.depth);
    EXPECT_EQ(r.f32[31], -1.0f * std::ldexp(1.0f, 1 - tc.depth)) << int(tc.depth);
  }
}

TEST(AlacFrame, PartialFrame) {
  ConfigFields c;
  c.frameLength = 4096;
  c.numChannels = 1;
  FrameBuilder f;
  f.RawSingle(Ramp(1000, -500, 1), 16, 1000);
  const Decoded r = Decode(c, f.End());
  ASSERT_EQ(r.status, ALAC_OK);
  EXPECT_EQ(r.outNumSamples, 1000u);
  EXPECT_EQ(r.s16[999], 499);
  EXPECT_EQ(r.s16[1000], Untouched16);
}

TEST(AlacFrame, ElementLayouts) {
  ConfigFields c;
  const auto a = Ramp(16, 7, 3), b = Ramp(16, -9, -5);
  auto build = [](auto fill) {
    FrameBuilder f;
    fill(f);
    return f.End();
  };
  struct Case {
    const char *name;
    uint32_t streamChannels;
    Bytes frame;
    int32_t status;
    std::vector<int16_t> firstFrame;  // output sample frame 0, per channel
  };
  const Case cases[] = {
      {"two singles", 2, build([&](FrameBuilder &f) { f.Single(a, 16); f.Single(b, 16); }), ALAC_OK, {7, -9}},
      {"DSE and FIL skipped", 2,
       build([&](FrameBuilder &f) { f.Dse(3, true); f.Fil(20); f.Dse(300, false); f.Fil(2); f.Pair(a, b, 16); }),
       ALAC_OK, {7, -9}},
      {"pair in a mono stream is silent", 1, build([&](FrameBuilder &f) { f.Pair(a, b, 16); }), ALAC_OK, {0}},
      {"single then a pair that does not fit", 2,
       build([&](FrameBuilder &f) { f.Single(a, 16); f.Pair(a, b, 16); }), ALAC_OK, {7, 0}},
      {"END only", 2, build([](FrameBuilder &) {}), ALAC_OK, {Untouched16, Untouched16}},
      {"coupling element", 2, build([](FrameBuilder &f) { f.Tag(2); f.w.Put(0, 13); }), ALAC_PARAM_ERROR, {0, 0}},
      {"program configuration element", 2, build([](FrameBuilder &f) { f.Tag(5); f.w.Put(0, 13); }),
       ALAC_PARAM_ERROR, {0, 0}},
      {"reserved bits set", 2, build([&](FrameBuilder &f) { f.Header(1, -1, 0, true, 0x800); }), ALAC_PARAM_ERROR,
       {0, 0}},
      {"bytesShifted 3", 2, build([&](FrameBuilder &f) { f.Header(1, -1, 3, true); }), ALAC_PARAM_ERROR, {0, 0}},
      {"partial count above the frame", 2, build([&](FrameBuilder &f) { f.Header(0, 17, 0, true); }),
       ALAC_PARAM_ERROR, {0, 0}},
      {"uncompressed larger than the frame", 1, build([&](FrameBuilder &f) { f.RawSingle(Ramp(8, 0, 1), 16); }),
       ALAC_PARAM_ERROR, {}},
      {"DSE past the end", 2, build([&](FrameBuilder &f) { f.Tag(4); f.w.Put(0, 5); f.w.Put(200, 8); }),
       ALAC_PARAM_ERROR, {0, 0}},
  };
  for (const Case &tc : cases) {
    const Decoded r = Decode(c, tc.frame, tc.streamChannels);
    EXPECT_EQ(r.status, tc.status) << tc.name;
    if (tc.status == ALAC_OK) {
      EXPECT_EQ(r.outNumSamples, 16u) << tc.name;
    }
    for (size_t ch = 0; ch < tc.firstFrame.size(); ch++) EXPECT_EQ(r.s16[ch], tc.firstFrame[ch]) << tc.name;
  }
}

TEST(AlacFrame, EmptyAndCutFramesFailCleanly) {
  ConfigFields c;
  c.bitDepth = 24;
  FrameBuilder f;
  f.Dse(4, true);
  f.Pair(Ramp(16, -100000, 12345), Ramp(16, 5, 77), 24, 2, 1, 1, std::vector<uint32_t>(32, 0x81));
  f.Fil(3);
  const Bytes frame = f.End();
  EXPECT_EQ(Decode(c, Bytes{}).status, ALAC_PARAM_ERROR);
  for (size_t cut = 1; cut < frame.size(); cut++) {
    const Decoded r = Decode(c, Bytes(frame.begin(), frame.begin() + long(cut)));
    // Once the pair is whole the frame may end early without harm.
    EXPECT_TRUE(r.status == ALAC_PARAM_ERROR || cut + 5 >= frame.size()) << cut;
  }
}

// The unrolled filters must agree with the plain loop, including blocks
// shorter than the filter and extreme values that wrap.
TEST(AlacPredictor, UnrolledPathsEqualGeneral) {
  std::mt19937 rng(7);
  for (uint32_t taps : {1u, 2u, 4u, 5u, 6u, 8u, 12u, 16u, 17u, 30u, 31u})
    for (uint32_t chanBits : {16u, 17u, 24u, 32u})
      for (uint32_t num : {1u, 3u, 9u, 300u}) {
        std::vector<int32_t> pc(num);
        const uint32_t spread = chanBits >= 31 ? 0xFFFFFFFFu : (1u << (chanBits - 4));
        for (auto &x : pc) x = int32_t(uint32_t(rng() % spread) - spread / 2);
        std::vector<int16_t> c1(taps), c2;
        for (auto &x : c1) x = int16_t(rng() % 2048 - 1024);
        c2 = c1;
        const uint32_t denShift = rng() % 16;
        std::vector<int32_t> o1(num), o2(num);
        UnpredictBlockGeneral(pc.data(), o1.data(), num, c1.data(), taps, chanBits, denShift);
        UnpredictBlock(pc.data(), o2.data(), num, c2.data(), taps, chanBits, denShift);
        ASSERT_EQ(o1, o2) << taps << " taps, " << chanBits << " bits, " << num;
        ASSERT_EQ(c1, c2) << taps << " taps, " << chanBits << " bits, " << num;
      }
}

TEST(AlacPredictor, FirstOrderAndCopy) {
  const std::vector<int32_t> pc = {100, 1, -2, 3, 32767};
  std::vector<int32_t> out(5);
  UnpredictBlock(pc.data(), out.data(), 5, nullptr, 31, 16, 0);
  EXPECT_EQ(out, (std::vector<int32_t>{100, 101, 99, 102, -32667}));  // wraps at 16 bits
  UnpredictBlock(pc.data(), out.data(), 5, nullptr, 0, 16, 0);
  EXPECT_EQ(out, pc);
}

}  // namespace
