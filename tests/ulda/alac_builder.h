// Builders for test inputs the encoder we compare with never writes: ALAC
// frames assembled bit by bit, configurations, and MP4 box layouts.
#ifndef ULDA_ALAC_BUILDER_H
#define ULDA_ALAC_BUILDER_H

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct BitWriter {
  Bytes bytes;
  uint32_t bitCount = 0;
  void Put(uint64_t value, uint32_t n) {
    for (uint32_t i = n; i-- > 0;) {
      if (bitCount % 8 == 0) bytes.push_back(0);
      if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> (bitCount % 8));
      bitCount++;
    }
  }
  void Align() {
    while (bitCount % 8) Put(0, 1);
  }
};

inline void PutBE32(Bytes &b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
inline void PutBE16(Bytes &b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
inline void Append(Bytes &b, const Bytes &more) { b.insert(b.end(), more.begin(), more.end()); }
inline void PutType(Bytes &b, const char *t) { b.insert(b.end(), t, t + 4); }

struct ConfigFields {
  uint32_t frameLength = 16;
  uint8_t compatibleVersion = 0;
  uint8_t bitDepth = 16;
  uint8_t pb = 40;
  uint8_t mb = 255;  // a high mean keeps the entropy coder out of zero runs
  uint8_t kb = 14;
  uint8_t numChannels = 2;
  uint32_t sampleRate = 44100;
};

inline Bytes ConfigBytes(const ConfigFields &c) {
  Bytes b;
  PutBE32(b, c.frameLength);
  b.insert(b.end(), {c.compatibleVersion, c.bitDepth, c.pb, c.mb, c.kb, c.numChannels});
  PutBE16(b, 255);  // maxRun
  PutBE32(b, 0);    // maxFrameBytes
  PutBE32(b, 0);    // avgBitRate
  PutBE32(b, c.sampleRate);
  return b;
}

// Frame elements. Compressed channels are written with pbFactor 0 (a constant
// mean) and no predictor taps, every residual as an escape code: the decoded
// value is then exactly the residual given.
struct FrameBuilder {
  BitWriter w;
  void Header(uint32_t tag, int64_t partial, uint32_t bytesShifted, bool escape, uint32_t reserved = 0) {
    w.Put(tag, 3);
    w.Put(0, 4);  // instance tag
    w.Put(reserved, 12);
    w.Put((partial >= 0 ? 8u : 0u) | (bytesShifted << 1) | (escape ? 1u : 0u), 4);
    if (partial >= 0) w.Put(uint64_t(partial), 32);
  }
  void ChannelHeader() {
    w.Put(0, 8);  // mode 0, denShift 0
    w.Put(0, 8);  // pbFactor 0, no coefficients
  }
  void Residuals(const std::vector<int32_t> &v, uint32_t chanBits) {
    for (int32_t x : v) {
      const uint32_t n = x >= 0 ? uint32_t(x) * 2 : uint32_t(-int64_t(x) * 2 - 1);
      w.Put(0x1FF, 9);
      w.Put(n, chanBits);
    }
  }
  void Single(const std::vector<int32_t> &u, uint32_t bitDepth, uint32_t bytesShifted = 0,
              const std::vector<uint32_t> &shifts = {}, int64_t partial = -1) {
    Header(0, partial, bytesShifted, false);
    w.Put(0, 16);  // mix parameters
    ChannelHeader();
    for (uint32_t s : shifts) w.Put(s, 8 * bytesShifted);
    Residuals(u, bitDepth - 8 * bytesShifted);
  }
  void Pair(const std::vector<int32_t> &u, const std::vector<int32_t> &v, uint32_t bitDepth, uint32_t mixBits = 0,
            int32_t mixRes = 0, uint32_t bytesShifted = 0, const std::vector<uint32_t> &shifts = {}) {
    Header(1, -1, bytesShifted, false);
    w.Put(mixBits, 8);
    w.Put(uint8_t(int8_t(mixRes)), 8);
    ChannelHeader();
    ChannelHeader();
    for (uint32_t s : shifts) w.Put(s, 8 * bytesShifted);
    const uint32_t chanBits = bitDepth - 8 * bytesShifted + 1;
    Residuals(u, chanBits);
    Residuals(v, chanBits);
  }
  void RawSingle(const std::vector<int32_t> &u, uint32_t chanBits, int64_t partial = -1) {
    Header(0, partial, 0, true);
    for (int32_t x : u) w.Put(uint32_t(x) & (chanBits == 32 ? 0xFFFFFFFFu : (1u << chanBits) - 1), chanBits);
  }
  void RawPair(const std::vector<int32_t> &u, const std::vector<int32_t> &v, uint32_t bitDepth) {
    Header(1, -1, 0, true);
    const uint32_t mask = bitDepth == 32 ? 0xFFFFFFFFu : (1u << bitDepth) - 1;
    for (size_t i = 0; i < u.size(); i++) {
      w.Put(uint32_t(u[i]) & mask, bitDepth);
      w.Put(uint32_t(v[i]) & mask, bitDepth);
    }
  }
  void Dse(uint32_t count, bool align) {
    w.Put(4, 3);
    w.Put(0, 4);
    w.Put(align ? 1 : 0, 1);
    w.Put(count >= 255 ? 255 : count, 8);
    if (count >= 255) w.Put(count - 255, 8);
    if (align) w.Align();
    for (uint32_t i = 0; i < count; i++) w.Put(0xA5, 8);
  }
  void Fil(uint32_t count) {
    w.Put(6, 3);
    w.Put(count >= 15 ? 15 : count, 4);
    if (count >= 15) w.Put(count - 14, 8);
    for (uint32_t i = 0; i < count; i++) w.Put(0x5A, 8);
  }
  void Tag(uint32_t tag) { w.Put(tag, 3); }
  Bytes End() {
    w.Put(7, 3);
    w.Align();
    return w.bytes;
  }
};

// ---- MP4 boxes -------------------------------------------------------------

inline Bytes Box(const char *type, const Bytes &payload) {
  Bytes b;
  PutBE32(b, uint32_t(payload.size() + 8));
  PutType(b, type);
  Append(b, payload);
  return b;
}
inline Bytes Boxes(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes &p : parts) Append(b, p);
  return b;
}
inline Bytes FullBox(const char *type, const Bytes &payload) {
  Bytes p(4, 0);
  Append(p, payload);
  return Box(type, p);
}
inline Bytes Words(std::initializer_list<uint32_t> words) {
  Bytes b;
  for (uint32_t w : words) PutBE32(b, w);
  return b;
}

inline Bytes Ftyp(const char *brand = "M4A ") {
  Bytes p;
  PutType(p, brand);
  PutBE32(p, 0);
  PutType(p, "isom");
  return Box("ftyp", p);
}

inline Bytes SampleEntry(const char *format, const Bytes &config) {
  Bytes e;
  PutBE32(e, uint32_t(36 + config.size()));
  PutType(e, format);
  e.insert(e.end(), 6, 0);
  PutBE16(e, 1);         // data reference index
  e.insert(e.end(), 8, 0);  // version, revision, vendor
  PutBE16(e, 2);         // channels
  PutBE16(e, 16);        // bits
  PutBE32(e, 0);         // compression id, packet size
  PutBE32(e, 44100u << 16);
  Append(e, config);
  return e;
}
inline Bytes Stsd(const char *format, const Bytes &config) {
  Bytes p = Words({1});
  Append(p, SampleEntry(format, config));
  return FullBox("stsd", p);
}
inline Bytes AlacCookie(const ConfigFields &c) {
  Bytes p(4, 0);
  Append(p, ConfigBytes(c));
  return Box("alac", p);
}

struct TrackTables {
  std::vector<std::pair<uint32_t, uint32_t>> stts;  // count, duration
  std::vector<uint32_t> sizes;
  uint32_t uniformSize = 0;
  std::vector<std::pair<uint32_t, uint32_t>> stsc;  // first chunk, samples per chunk
  std::vector<uint32_t> stco;
  bool withStco = true;
  bool co64 = false;
};

inline Bytes Stbl(const Bytes &stsd, const TrackTables &t) {
  Bytes stts = Words({uint32_t(t.stts.size())});
  for (auto [n, d] : t.stts) Append(stts, Words({n, d}));
  Bytes stsz = Words({t.uniformSize, uint32_t(t.uniformSize ? t.sizes.size() : t.sizes.size())});
  if (!t.uniformSize)
    for (uint32_t s : t.sizes) Append(stsz, Words({s}));
  Bytes stsc = Words({uint32_t(t.stsc.size())});
  for (auto [c, n] : t.stsc) Append(stsc, Words({c, n, 1}));
  Bytes body = Boxes({stsd, FullBox("stts", stts), FullBox("stsc", stsc), FullBox("stsz", stsz)});
  if (t.withStco) {
    Bytes stco = Words({uint32_t(t.stco.size())});
    for (uint32_t o : t.stco) Append(stco, t.co64 ? Words({0, o}) : Words({o}));
    Append(body, FullBox(t.co64 ? "co64" : "stco", stco));
  }
  return Box("stbl", body);
}

inline Bytes Trak(const Bytes &stbl) {
  const Bytes minf = Box("minf", Boxes({FullBox("smhd", Bytes(4, 0)), stbl}));
  const Bytes mdia = Box("mdia", Boxes({FullBox("mdhd", Bytes(20, 0)), FullBox("hdlr", Bytes(21, 0)), minf}));
  return Box("trak", Boxes({FullBox("tkhd", Bytes(80, 0)), mdia}));
}

// A whole M4A file around the given frames: one chunk, or one chunk per frame.
struct M4aLayout {
  bool moovFirst = true;
  bool withStco = true;
  bool chunkPerFrame = false;
  uint32_t frameDuration = 16;
  const char *brand = "M4A ";
};

inline Bytes MakeM4a(const ConfigFields &cfg, const std::vector<Bytes> &frames, const M4aLayout &l = {}) {
  TrackTables t;
  t.withStco = l.withStco;
  t.stts = {{uint32_t(frames.size()), l.frameDuration}};
  Bytes media;
  for (const Bytes &f : frames) {
    t.sizes.push_back(uint32_t(f.size()));
    Append(media, f);
  }
  t.stsc = {{1, l.chunkPerFrame ? 1u : uint32_t(frames.size())}};
  const Bytes ftyp = Ftyp(l.brand);
  // Two passes: the chunk offsets depend on the size of moov itself.
  auto build = [&](uint32_t mdatStart) {
    t.stco.clear();
    uint32_t at = mdatStart + 8;
    for (size_t i = 0; i < frames.size(); i++) {
      if (i == 0 || l.chunkPerFrame) t.stco.push_back(at);
      at += uint32_t(frames[i].size());
    }
    return Box("moov", Boxes({FullBox("mvhd", Bytes(96, 0)), Trak(Stbl(Stsd("alac", AlacCookie(cfg)), t))}));
  };
  const Bytes mdat = Box("mdat", media);
  if (l.moovFirst) {
    const uint32_t guess = uint32_t(ftyp.size() + build(0).size());
    return Boxes({ftyp, build(guess), mdat});
  }
  return Boxes({ftyp, mdat, build(uint32_t(ftyp.size()))});
}

#endif
