// Host files as plug-ins see them through the table `_`.
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

namespace {

// A file whose bytes arrive when the test says so.
struct Arrival {
  std::vector<uint8_t> data;
  size_t arrived = 0;
  size_t at = 0;
  bool knownLength = false;
  int closed = 0;
};

OrvaFileProcs ArrivalProcs() {
  OrvaFileProcs p = {};
  p.close = [](void *u) { static_cast<Arrival *>(u)->closed++; };
  p.length = [](void *u) -> uint64_t {
    auto *a = static_cast<Arrival *>(u);
    return a->knownLength ? a->data.size() : 0;
  };
  p.read = [](void *buf, uint32_t len, void *u) -> uint32_t {
    auto *a = static_cast<Arrival *>(u);
    if (a->at >= a->data.size())
      return ORVA_FILE_EOF;
    uint32_t n = uint32_t(std::min<size_t>(len, a->arrived - a->at));
    memcpy(buf, a->data.data() + a->at, n);
    a->at += n;
    return n;
  };
  return p;
}

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = uint8_t(i * 7 + i / 256);
  return v;
}

TEST(HostFile, BufferedFileServesOnlyWhatHasArrived) {
  Arrival src;
  src.data = Counting(1000);
  src.arrived = 100;
  OrvaFileProcs procs = ArrivalProcs();
  HOSTFILE f = _.OpenUserFile(ORVA_FILESYSTEM_BUFFER, 0, &procs, &src, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(_.FileFlags(f) & ORVA_FILE_BUFFERED, ORVA_FILE_BUFFERED);
  EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_AVAILABLE), 100u);
  EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_END), UINT64_MAX);
  EXPECT_NE(_.FilePosition(f, ORVA_FILEPOS_ARRIVING), 0u);
  EXPECT_EQ(_.FilePosition(f, 3), UINT64_MAX);

  uint8_t buf[1000];
  EXPECT_EQ(_.FileRead(f, buf, 300), 100u);
  EXPECT_EQ(0, memcmp(buf, src.data.data(), 100));
  EXPECT_EQ(_.FileRead(f, buf, 300), 0u);
  EXPECT_FALSE(_.FileAtEnd(f));
  EXPECT_TRUE(_.FileSeek(f, 50));
  EXPECT_FALSE(_.FileSeek(f, 500));
  EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_CURRENT), 50u);

  src.arrived = 600;
  EXPECT_TRUE(_.FileSeek(f, 500));
  src.arrived = 1000;
  EXPECT_EQ(_.FileRead(f, buf, 1000), 500u);
  EXPECT_EQ(0, memcmp(buf, src.data.data() + 500, 500));
  EXPECT_TRUE(_.FileAtEnd(f));
  EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_ARRIVING), 0u);
  EXPECT_EQ(_.FileFlags(f) & ORVA_FILE_BUFFERED, 0u);
  EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_END), 1000u);

  // After FileSetRate the file's offsets count from the given start.
  _.FileSetRate(f, 44100, 200);
  EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_CURRENT), 800u);
  EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_END), 800u);
  EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_AVAILABLE), 800u);
  ASSERT_TRUE(_.FileSeek(f, 0));
  ASSERT_EQ(_.FileRead(f, buf, 4), 4u);
  EXPECT_EQ(0, memcmp(buf, src.data.data() + 200, 4));
  _.CloseFile(f);
  EXPECT_EQ(src.closed, 1);
}

TEST(HostFile, WindowsOfFilesAndMemory) {
  std::vector<uint8_t> data = Counting(5000);
  const std::string path = FixturePath("window.bin");
  WriteBytes(path, data);
  struct Case {
    int mem;
    const void *file;
    uint64_t offset, length, size, first;
  } cases[] = {
      {0, path.c_str(), 0, 0, 5000, 0},
      {0, path.c_str(), 1000, 300, 300, 1000},
      {0, path.c_str(), 4900, 0, 100, 4900},
      {0, path.c_str(), 4900, 1000, 100, 4900}, // clipped to the file
      {1, data.data(), 0, 5000, 5000, 0},
      {1, data.data(), 10, 5000, 4990, 10},
  };
  for (const Case &c : cases) {
    HOSTFILE f = _.OpenFile(c.mem, c.file, c.offset, c.length, 0, 0);
    ASSERT_NE(f, nullptr) << c.offset;
    EXPECT_EQ(_.FileFlags(f) & ORVA_FILE_BUFFERED, 0u);
    EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_END), c.size);
    EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_AVAILABLE), c.size);
    EXPECT_EQ(_.FilePosition(f, ORVA_FILEPOS_ARRIVING), 0u);
    std::vector<uint8_t> buf(6000);
    ASSERT_EQ(_.FileRead(f, buf.data(), 6000), c.size);
    EXPECT_EQ(0, memcmp(buf.data(), data.data() + c.first, c.size));
    EXPECT_TRUE(_.FileAtEnd(f));
    EXPECT_FALSE(_.FileSeek(f, c.size + 1));
    ASSERT_TRUE(_.FileSeek(f, c.size - 1));
    EXPECT_EQ(_.FileRead(f, buf.data(), 10), 1u);
    EXPECT_EQ(buf[0], data[c.first + c.size - 1]);
    _.CloseFile(f);
  }
  EXPECT_EQ(_.OpenURL("http://example.invalid/a.wav", 0, 0, nullptr, nullptr, 1), nullptr);
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_FILEOPEN);
}

TEST(HostFile, StreamsOverUserFiles) {
  const std::vector<uint8_t> wav = ReadBytes(FixturePath("s16.wav"));
  HSTREAM ref = Orva_StreamCreateFile(1, wav.data(), 0, wav.size(), 0);
  const std::vector<float> expected = DecodeAll(ref);
  Orva_StreamFree(ref);

  // Seekable callbacks.
  struct Seekable {
    const std::vector<uint8_t> *data;
    size_t at = 0;
  } seekable{&wav};
  OrvaFileProcs procs = {};
  procs.length = [](void *u) -> uint64_t { return static_cast<Seekable *>(u)->data->size(); };
  procs.read = [](void *buf, uint32_t len, void *u) -> uint32_t {
    auto *s = static_cast<Seekable *>(u);
    uint32_t n = uint32_t(std::min<size_t>(len, s->data->size() - s->at));
    memcpy(buf, s->data->data() + s->at, n);
    s->at += n;
    return n;
  };
  procs.seek = [](uint64_t to, void *u) -> int {
    auto *s = static_cast<Seekable *>(u);
    if (to > s->data->size())
      return 0;
    s->at = to;
    return 1;
  };
  HSTREAM h = Orva_StreamCreateFileUser(ORVA_FILESYSTEM_NOBUFFER, 0, &procs, &seekable);
  ASSERT_NE(h, 0u) << Orva_ErrorGetCode();
  EXPECT_EQ(DecodeAll(h, 8 * 3001), expected);
  Orva_StreamFree(h);

  // Buffered, with and without the length known in advance: the decode pauses
  // where the data stop and goes on when more come.
  for (bool knownLength : {true, false}) {
    Arrival src;
    src.data = wav;
    src.knownLength = knownLength;
    src.arrived = 4000;
    OrvaFileProcs arrival = ArrivalProcs();
    h = Orva_StreamCreateFileUser(ORVA_FILESYSTEM_BUFFER, 0, &arrival, &src);
    ASSERT_NE(h, 0u) << Orva_ErrorGetCode();
    EXPECT_EQ(Orva_ChannelGetLength(h, 0), expected.size() * 4);
    std::vector<float> got, buf(2 * 50000);
    for (size_t arrived : {size_t(4000), size_t(4001), size_t(30003), wav.size()}) {
      src.arrived = arrived;
      uint32_t n = Orva_ChannelGetData(h, buf.data(), uint32_t(buf.size() * 4));
      ASSERT_NE(n, UINT32_MAX) << knownLength;
      got.insert(got.end(), buf.begin(), buf.begin() + n / 4);
    }
    EXPECT_EQ(got, expected) << knownLength;
    EXPECT_EQ(Orva_ChannelGetData(h, buf.data(), 8), UINT32_MAX);
    Orva_StreamFree(h);
    EXPECT_EQ(src.closed, 1);
  }

  EXPECT_EQ(Orva_StreamCreateFileUser(7, 0, &procs, &seekable), 0u);
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_ILLPARAM);
}

} // namespace
