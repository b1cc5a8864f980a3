// The plug-in as the player and orva use it: float stereo through
// Orva_ChannelGetData, positioning, loading as a plug-in, buffered user files.
#include "pymo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace {

const std::string FixtureDir = PYMO_FIXTURE_DIR;
const uint32_t Flags = ORVA_SAMPLE_FLOAT | ORVA_STREAM_DECODE;

std::string Path(const std::string &name) { return FixtureDir + "/" + name + ".flac"; }

std::vector<uint8_t> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// `flac -d` output as stereo floats of value / 2^(bits-1); mono on both sides.
std::vector<float> Reference(const std::string &name, uint32_t bits, uint32_t chans, bool shortOutput = false) {
  const std::vector<uint8_t> raw = ReadBytes(FixtureDir + "/" + name + ".raw");
  const uint32_t width = (bits + 7) / 8;
  std::vector<float> out;
  for (size_t i = 0; i + width <= raw.size(); i += width) {
    uint32_t v = 0;
    for (uint32_t b = 0; b < width; b++) v |= uint32_t{raw[i + b]} << (8 * b);
    const uint32_t sign = 32 - 8 * width;
    const int32_t s = static_cast<int32_t>(v << sign) >> sign;
    float f;
    if (shortOutput) {
      // The plug-in's 16-bit output, which orva scales by 1/32768.
      const double r = bits <= 16 ? s * std::ldexp(1.0, 16 - bits) : std::floor(s / std::ldexp(1.0, bits - 16) + 0.5);
      f = static_cast<float>(std::clamp(r, -32768.0, 32767.0) / 32768.0);
    } else {
      f = static_cast<float>(s) * std::ldexp(1.0f, 1 - static_cast<int>(bits));
    }
    out.push_back(f);
    if (chans == 1) out.push_back(f);
  }
  return out;
}

// Reads to the end in odd-sized pieces.
std::vector<float> ReadAll(HSTREAM h) {
  std::vector<float> out;
  const uint32_t pieces[] = {8 * 1, 8 * 4099, 8 * 77, 8 * 20000};
  for (size_t i = 0;; i++) {
    std::vector<float> buf(pieces[i % 4] / 4);
    const uint32_t n = Orva_ChannelGetData(h, buf.data(), pieces[i % 4]);
    if (n == UINT32_MAX || n == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n / 4);
  }
  return out;
}

struct Case {
  const char *name;
  uint32_t bits, chans;
};
const Case Cases[] = {{"s16", 16, 2}, {"s24", 24, 2}, {"mono", 16, 1}, {"hr96", 24, 2}, {"nototal", 16, 2}};

TEST(PymoThroughOrva, DecodesBitExactWithLength) {
  for (const Case &c : Cases) {
    const std::vector<float> ref = Reference(c.name, c.bits, c.chans);
    const HSTREAM h = Orva_FLAC_StreamCreateFile(0, Path(c.name).c_str(), 0, 0, Flags);
    ASSERT_NE(h, 0u) << c.name;
    EXPECT_EQ(Orva_ErrorGetCode(), 0);
    EXPECT_EQ(Orva_ChannelGetLength(h, ORVA_POS_BYTE), ref.size() * 4) << c.name;
    OrvaChannelInfo info{};
    ASSERT_TRUE(Orva_ChannelGetInfo(h, &info));
    EXPECT_EQ(info.ctype, ORVA_CTYPE_FLAC);
    EXPECT_EQ(info.origres, c.bits);
    EXPECT_EQ(info.chans, c.chans);
    const std::vector<float> got = ReadAll(h);
    EXPECT_TRUE(got == ref) << c.name << ": " << got.size() << " samples against " << ref.size();
    EXPECT_EQ(Orva_ChannelGetData(h, nullptr, 0), UINT32_MAX);
    EXPECT_TRUE(Orva_StreamFree(h));
  }
}

TEST(PymoThroughOrva, PositionsToAnyFrame) {
  for (const char *name : {"s16", "noseek", "nototal", "odd"}) {
    const std::vector<float> ref = Reference(name, 16, 2);
    const uint64_t frames = ref.size() / 2;
    const HSTREAM h = Orva_FLAC_StreamCreateFile(0, Path(name).c_str(), 0, 0, Flags);
    ASSERT_NE(h, 0u);
    std::mt19937 rng(11);
    std::vector<uint64_t> targets = {frames - 1, 0, 1153, 1152, 4096};
    for (int i = 0; i < 10; i++) targets.push_back(rng() % frames);
    for (uint64_t t : targets) {
      ASSERT_TRUE(Orva_ChannelSetPosition(h, t * 8, ORVA_POS_BYTE)) << name << " " << t;
      EXPECT_EQ(Orva_ChannelGetPosition(h, ORVA_POS_BYTE), t * 8);
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(frames - t, 5003));
      std::vector<float> got(2 * n);
      EXPECT_EQ(Orva_ChannelGetData(h, got.data(), 8 * n), 8 * n);
      EXPECT_TRUE(std::equal(got.begin(), got.end(), ref.begin() + 2 * t)) << name << " frame " << t;
    }
    EXPECT_FALSE(Orva_ChannelSetPosition(h, frames * 8 + 8, ORVA_POS_BYTE));
    EXPECT_NE(Orva_ErrorGetCode(), 0);
    Orva_StreamFree(h);
  }
}

TEST(PymoThroughOrva, LoadedAsPluginAndUtf16Names) {
  const HPLUGIN p = Orva_PluginLoad(PYMO_LIBRARY, 0);
  ASSERT_NE(p, 0u) << Orva_ErrorGetCode();

  // A name outside ASCII, given as UTF-16 with the player's flags.
  const std::filesystem::path dir = std::filesystem::path(FixtureDir) / "names";
  std::filesystem::create_directories(dir);
  const std::filesystem::path wide = dir / u8"Grüße ♪ 1.flac";
  std::filesystem::copy_file(Path("s24"), wide, std::filesystem::copy_options::overwrite_existing);
  const std::u16string name16 = wide.u16string();
  const std::vector<float> ref = Reference("s24", 24, 2);

  for (int viaPlugin : {1, 0}) {
    const HSTREAM h = viaPlugin ? Orva_StreamCreateFile(0, name16.c_str(), 0, 0, 0x80200110u)
                                : Orva_FLAC_StreamCreateFile(0, name16.c_str(), 0, 0, 0x80200110u);
    ASSERT_NE(h, 0u) << Orva_ErrorGetCode();
    OrvaChannelInfo info{};
    Orva_ChannelGetInfo(h, &info);
    EXPECT_EQ(info.ctype, ORVA_CTYPE_FLAC);
    if (viaPlugin) {
      EXPECT_EQ(info.plugin, p);
    }
    EXPECT_TRUE(ReadAll(h) == ref);
    Orva_StreamFree(h);
  }
  // A memory block through the loaded plug-in.
  const std::vector<uint8_t> bytes = ReadBytes(Path("mono"));
  const HSTREAM m = Orva_StreamCreateFile(1, bytes.data(), 0, bytes.size(), Flags);
  ASSERT_NE(m, 0u);
  EXPECT_TRUE(ReadAll(m) == Reference("mono", 16, 1));
  Orva_StreamFree(m);
}

TEST(PymoThroughOrva, ShortNativeOutput) {
  for (const Case &c : {Case{"s24", 24, 2}, Case{"s16", 16, 2}, Case{"s8", 8, 2}}) {
    const HSTREAM h = Orva_FLAC_StreamCreateFile(0, Path(c.name).c_str(), 0, 0, ORVA_STREAM_DECODE);
    ASSERT_NE(h, 0u);
    const std::vector<float> ref = Reference(c.name, c.bits, c.chans, true);
    EXPECT_EQ(Orva_ChannelGetLength(h, ORVA_POS_BYTE), ref.size() * 4);
    EXPECT_TRUE(ReadAll(h) == ref) << c.name;
    Orva_StreamFree(h);
  }
}

TEST(PymoThroughOrva, BadFilesAreRefused) {
  const std::filesystem::path dir = std::filesystem::path(FixtureDir) / "bad";
  std::filesystem::create_directories(dir);
  auto write = [&](const char *name, const std::string &content) {
    std::ofstream(dir / name, std::ios::binary) << content;
    return (dir / name).string();
  };
  const std::string empty = write("empty.flac", "");
  const std::string text = write("notes.flac", "Track list:\n1. Intro\n2. Outro\n");
  const std::vector<uint8_t> good = ReadBytes(Path("s16"));
  const std::string truncated = write("cut.flac", std::string(good.begin(), good.begin() + 30));
  for (const std::string &path : {empty, text, truncated}) {
    EXPECT_EQ(Orva_FLAC_StreamCreateFile(0, path.c_str(), 0, 0, Flags), 0u) << path;
    EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_FILEFORM) << path;
  }
  EXPECT_EQ(Orva_FLAC_StreamCreateFile(0, (dir / "missing.flac").c_str(), 0, 0, Flags), 0u);
  EXPECT_EQ(Orva_ErrorGetCode(), ORVA_ERROR_FILEOPEN);
}

TEST(PymoThroughOrva, TwoThreadsAtOnce) {
  auto run = [](const Case c, bool *ok) {
    const std::vector<float> ref = Reference(c.name, c.bits, c.chans);
    for (int i = 0; i < 3 && *ok; i++) {
      const HSTREAM h = Orva_FLAC_StreamCreateFile(0, Path(c.name).c_str(), 0, 0, Flags);
      *ok = h && Orva_ErrorGetCode() == 0 && ReadAll(h) == ref;
      Orva_StreamFree(h);
    }
  };
  bool a = true, b = true;
  std::thread t1(run, Cases[0], &a), t2(run, Cases[1], &b);
  t1.join();
  t2.join();
  EXPECT_TRUE(a);
  EXPECT_TRUE(b);
}

// A user file whose data arrive in pieces, as from a download.
struct Arrival {
  std::vector<uint8_t> data;
  size_t released = 0, read = 0;
  bool closed = false;
};

TEST(PymoThroughOrva, BufferedUserFileDecodesAsDataArrive) {
  ASSERT_NE(Orva_PluginLoad(PYMO_LIBRARY, 0), 0u);
  Arrival a;
  a.data = ReadBytes(Path("s16"));
  a.released = 12000; // the header and a little audio
  OrvaFileProcs procs{};
  procs.close = [](void *u) { static_cast<Arrival *>(u)->closed = true; };
  procs.length = [](void *u) -> uint64_t { return static_cast<Arrival *>(u)->data.size(); };
  procs.read = [](void *buffer, uint32_t length, void *u) -> uint32_t {
    auto *a = static_cast<Arrival *>(u);
    if (a->read == a->data.size()) return ORVA_FILE_EOF;
    const size_t n = std::min<size_t>(length, a->released - a->read);
    std::memcpy(buffer, a->data.data() + a->read, n);
    a->read += n;
    return static_cast<uint32_t>(n);
  };
  const HSTREAM h = Orva_StreamCreateFileUser(ORVA_FILESYSTEM_BUFFER, Flags, &procs, &a);
  ASSERT_NE(h, 0u) << Orva_ErrorGetCode();
  const std::vector<float> ref = Reference("s16", 16, 2);
  std::vector<float> got;
  int shortReads = 0;
  for (int round = 0; round < 100000; round++) {
    std::vector<float> buf(2 * 4096);
    const uint32_t n = Orva_ChannelGetData(h, buf.data(), 8 * 4096);
    if (n == UINT32_MAX) break;
    got.insert(got.end(), buf.begin(), buf.begin() + n / 4);
    if (n < 8 * 4096) {
      shortReads++;
      a.released = std::min(a.data.size(), a.released + 7000);
    }
  }
  EXPECT_GT(shortReads, 3);
  EXPECT_TRUE(got == ref) << got.size() << " samples against " << ref.size();
  Orva_StreamFree(h);
  EXPECT_TRUE(a.closed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

// The fuzz target's seeds and every input it ever crashed on, replayed in the
// ordinary (sanitized) build.
TEST(PymoThroughOrva, FuzzInputsReplaySafely) {
  int count = 0;
  for (const char *sub : {"seeds", "regressions"}) {
    const std::filesystem::path dir = std::filesystem::path(PYMO_FUZZ_DIR) / sub;
    if (!std::filesystem::exists(dir)) continue;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
      const std::vector<uint8_t> bytes = ReadBytes(entry.path().string());
      EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0) << entry.path();
      count++;
    }
  }
  EXPECT_GT(count, 0);
}

} // namespace
