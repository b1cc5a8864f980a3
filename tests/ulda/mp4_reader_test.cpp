#include <gtest/gtest.h>

#include "alac_builder.h"
#include "fake_host.h"
#include "mp4_reader.h"

namespace {

struct Walk {
  int result;
  uint64_t position;
  Mp4Track track;
};

Walk Read(const Bytes &bytes, bool buffered = false) {
  FakeFile f;
  f.data = bytes;
  f.available = bytes.size();
  f.buffered = buffered;
  Walk w;
  w.result = Mp4ReadFile(&f, &w.track, buffered);
  w.position = f.pos;
  return w;
}

TrackTables Tables() {
  TrackTables t;
  t.stts = {{3, 4096}};
  t.sizes = {100, 200, 300};
  t.stsc = {{1, 3}};
  t.stco = {100};
  return t;
}

Bytes AlacStbl(const TrackTables &t) { return Stbl(Stsd("alac", AlacCookie(ConfigFields{})), t); }
Bytes Moov(std::initializer_list<Bytes> traks) {
  Bytes body = FullBox("mvhd", Bytes(96, 0));
  for (const Bytes &t : traks) Append(body, t);
  return Box("moov", body);
}
// Replaces the 32-bit size of the first box of the given type.
Bytes WithSize(Bytes b, const char *type, uint32_t size) {
  for (size_t i = 4; i + 4 <= b.size(); i++)
    if (std::memcmp(&b[i], type, 4) == 0) {
      b[i - 4] = uint8_t(size >> 24), b[i - 3] = uint8_t(size >> 16), b[i - 2] = uint8_t(size >> 8),
            b[i - 1] = uint8_t(size);
      return b;
    }
  ADD_FAILURE() << "no " << type;
  return b;
}

class Mp4Reader : public ::testing::Test {
 protected:
  void SetUp() override { FakeHostReset(); }
};

TEST_F(Mp4Reader, Layouts) {
  const Bytes mdat = Box("mdat", Bytes(600, 0x33));
  const Bytes moov = Moov({Trak(AlacStbl(Tables()))});
  TrackTables noStco = Tables();
  noStco.withStco = false;
  const Bytes moovNoStco = Moov({Trak(AlacStbl(noStco))});
  TrackTables co64 = Tables();
  co64.co64 = true;
  TrackTables uniform = Tables();
  uniform.uniformSize = 10;
  uniform.sizes.assign(1000000, 0);  // count far beyond what 10-byte frames could fill in the file
  const Bytes uniformMoov = Moov({Trak(AlacStbl(uniform))});
  const Bytes aacTrak = Trak(Stbl(Stsd("mp4a", Bytes(39, 1)), Tables()));
  TrackTables alacOwn = Tables();
  alacOwn.stts = {{2, 4096}, {1, 100}};
  const Bytes ftyp = Ftyp();
  Bytes oddFtyp = Box("ftyp", Bytes{'q', 't', ' ', ' ', 0, 0});  // 14 bytes, other brand

  struct Case {
    const char *name;
    Bytes file;
    bool buffered;
    int result;
    int64_t position;  // -1: not checked
  };
  const size_t mdatPayloadAfterMoov = ftyp.size() + moovNoStco.size() + 8;
  const Case cases[] = {
      {"moov, mdat, stco: at the first chunk", Boxes({ftyp, moov, mdat}), false, 1, 100},
      {"moov, mdat, no stco: at the media data", Boxes({ftyp, moovNoStco, mdat}), false, 1,
       int64_t(mdatPayloadAfterMoov)},
      {"mdat, moov, no stco: sent back to the data", Boxes({ftyp, mdat, moovNoStco}), false, 1,
       int64_t(ftyp.size() + 8)},
      {"mdat, moov on a buffered file", Boxes({ftyp, mdat, moovNoStco}), true, -1, -1},
      {"moov first on a buffered file", Boxes({ftyp, moovNoStco, mdat}), true, 1, int64_t(mdatPayloadAfterMoov)},
      {"AAC track before the ALAC track", Boxes({ftyp, Moov({aacTrak, Trak(AlacStbl(alacOwn))}), mdat}), false, 1,
       100},
      {"64-bit chunk offsets only", Boxes({ftyp, Moov({Trak(AlacStbl(co64))}), mdat}), false, 0, -1},
      {"uniform sample size", Boxes({ftyp, uniformMoov, mdat}), false, 1, 100},
      {"odd ftyp first", Boxes({oddFtyp, moovNoStco, mdat}), false, 1, -1},
      {"no moov", Boxes({ftyp, mdat}), false, 0, -1},
      {"empty file", Bytes{}, false, 0, -1},
  };
  for (const Case &tc : cases) {
    const Walk w = Read(tc.file, tc.buffered);
    EXPECT_EQ(w.result, tc.result) << tc.name;
    if (tc.position >= 0) {
      EXPECT_EQ(int64_t(w.position), tc.position) << tc.name;
    }
  }
  Walk w = Read(Boxes({ftyp, Moov({aacTrak, Trak(AlacStbl(alacOwn))}), mdat}));
  ASSERT_EQ(w.track.timeToSample.size(), 2u);  // the ALAC track's own tables, nothing of the AAC one
  EXPECT_EQ(w.track.codecConfig.size(), 36u);
  EXPECT_EQ(w.track.sampleSizes, (std::vector<uint32_t>{100, 200, 300}));
  w = Read(Boxes({ftyp, uniformMoov, mdat}));
  EXPECT_TRUE(w.track.sampleSizes.empty());
  EXPECT_EQ(w.track.uniformSize, 10u);
  EXPECT_LT(w.track.uniformCount, 1000u);  // limited by the file's size
}

// Sizes and counts that do not fit: every one fails the walk, never reading or
// allocating beyond the data.
TEST_F(Mp4Reader, MalformedBoxesFail) {
  const Bytes mdat = Box("mdat", Bytes(64, 0));
  const Bytes ftyp = Ftyp();
  const Bytes good = Boxes({ftyp, Moov({Trak(AlacStbl(Tables()))}), mdat});
  auto countIn = [&](const char *type, uint32_t count) {
    Bytes b = good;
    for (size_t i = 0; i + 12 <= b.size(); i++)
      if (std::memcmp(&b[i], type, 4) == 0) {
        const size_t at = i + 8 + (std::strcmp(type, "stsz") == 0 ? 4 : 0);
        b[at] = uint8_t(count >> 24), b[at + 1] = uint8_t(count >> 16), b[at + 2] = uint8_t(count >> 8),
        b[at + 3] = uint8_t(count);
        break;
      }
    return b;
  };
  Bytes shortEntry = Boxes({ftyp, Moov({Trak(Stbl(FullBox("stsd", Words({1, 20, 0x616c6163, 0, 0})), Tables()))}),
                            mdat});
  TrackTables two = Tables();
  Bytes twoEntries = Stsd("alac", AlacCookie(ConfigFields{}));
  twoEntries[15] = 2;
  struct Case {
    const char *name;
    Bytes file;
  };
  std::vector<Case> cases = {
      {"stsz count far beyond its box", countIn("stsz", 0x40000000)},
      {"stts count far beyond its box", countIn("stts", 0x20000000)},
      {"stco count beyond its box", countIn("stco", 2)},
      {"stsc count beyond its box", countIn("stsc", 0xFFFFFFFF)},
      {"sample entry shorter than 36 bytes", shortEntry},
      {"two sample entries", Boxes({ftyp, Moov({Trak(Stbl(twoEntries, two))}), mdat})},
      {"moov larger than the file", WithSize(good, "moov", 100000)},
  };
  for (uint32_t size : {0u, 1u, 2u, 7u}) {
    cases.push_back({"top-level size", Boxes({ftyp, WithSize(mdat, "mdat", size), Moov({Trak(AlacStbl(Tables()))})})});
    cases.push_back({"moov child size", WithSize(good, "trak", size)});
    cases.push_back({"stbl child size", WithSize(good, "stts", size)});
  }
  cases.push_back({"stbl child beyond its parent", WithSize(good, "stco", 5000)});
  for (const Case &tc : cases) EXPECT_EQ(Read(tc.file).result, 0) << tc.name;

  // A file cut anywhere: the walk fails or stops at the data, never reads past.
  for (size_t cut = 0; cut < good.size(); cut++) {
    const Walk w = Read(Bytes(good.begin(), good.begin() + long(cut)));
    EXPECT_LE(w.result, 1) << cut;
  }
}

TEST_F(Mp4Reader, SampleLookups) {
  Mp4Track t{};
  t.timeToSample = {{4096, 4096}, {4096, 4096}, {1, 10}, {5, 0}};
  t.sampleSizes.resize(8192 + 10);
  for (uint32_t i = 0; i < t.sampleSizes.size(); i++) t.sampleSizes[i] = 1000 + i;
  t.sampleToChunk = {{1, 4096}};
  t.chunkOffsets = {1000, 90000};
  struct Case {
    uint32_t sample;
    int64_t offset;
  };
  const Case cases[] = {
      {0, 1000},
      {3, 1000 + 1000 + 1001 + 1002},
      {4096, 90000},
      {4097, 90000 + 1000 + 4096},
      {8192, -1},  // chunk 3 is not in the table
  };
  for (const Case &tc : cases) EXPECT_EQ(Mp4GetSampleOffset(&t, tc.sample), tc.offset) << tc.sample;

  uint32_t duration = 0, size = 0;
  ASSERT_TRUE(Mp4GetSampleInfo(&t, 8192, &duration, &size));
  EXPECT_EQ(duration, 10u);
  EXPECT_EQ(size, 1000u + 8192);
  ASSERT_TRUE(Mp4GetSampleInfo(&t, 8193, &duration, &size));
  EXPECT_EQ(duration, 0u);
  ASSERT_TRUE(Mp4GetSampleInfo(&t, 5, &duration, &size));  // backwards after a later lookup
  EXPECT_EQ(duration, 4096u);
  EXPECT_FALSE(Mp4GetSampleInfo(&t, 8192 + 6, &duration, &size));  // beyond time-to-sample
  EXPECT_FALSE(Mp4GetSampleInfo(&t, 8192 + 10, &duration, &size));  // beyond the sizes

  t.sampleToChunk.clear();
  EXPECT_EQ(Mp4GetSampleOffset(&t, 0), -1);
  t.sampleToChunk = {{1, 2}, {3, 1}};  // chunks 1-2 of two samples, then one per chunk
  t.chunkOffsets = {0, 100000, 200000, 300000};
  EXPECT_EQ(Mp4GetSampleOffset(&t, 3), 100000 + 1002);
  EXPECT_EQ(Mp4GetSampleOffset(&t, 5), 300000);
  EXPECT_EQ(Mp4GetSampleOffset(&t, 6), -1);
  t.timeToSample.clear();
  EXPECT_FALSE(Mp4GetSampleInfo(&t, 0, &duration, &size));
}

}  // namespace
