// The ALSA path without hardware: a test configuration makes "default" a file
// PCM, so the bytes tesk hands to ALSA can be read back and compared.
#include "tesk_internal.h"
#include "tesk_test_util.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstring>

using namespace tesktest;

namespace {

// 24-bit values, the first and last beyond full scale so that clipping shows.
float Signal(uint64_t frame, int channel) {
  const uint64_t i = frame * 2 + uint64_t(channel);
  if (i % 1000 == 7)
    return -1.25f;
  if (i % 1000 == 500)
    return 1.25f;
  return float(int64_t((i * 2654435761u) % 16777216) - 8388608) / 8388608.0f;
}

constexpr uint64_t EnoughFrames = 44100;

struct Feed {
  std::atomic<uint64_t> Delivered{0};
};

uint32_t FeedProc(int, uint32_t, void *buffer, uint32_t length, void *user) {
  auto &feed = *static_cast<Feed *>(user);
  const uint64_t first = feed.Delivered;
  auto *out = static_cast<float *>(buffer);
  for (uint32_t k = 0; k < length / 8; ++k)
    for (int c = 0; c < 2; ++c)
      out[k * 2 + c] = Signal(first + k, c);
  feed.Delivered = first + length / 8;
  // The file PCM takes data as fast as it comes; once there is enough, slow
  // down so that the test thread gets to stop the device soon.
  if (first >= EnoughFrames)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return length;
}

TEST(TeskAlsa, DefaultDeviceReceivesTheConvertedCallbackData) {
  const struct {
    const char *name;
    const char *slave;
    tesk::SampleFormat format; // what tesk must pick
  } rows[] = {
      {"float device", "{ type null }", tesk::SampleFormat::Float},
      // The linear plug-in takes integer formats only (and converts them for
      // its slave): tesk must fall back to S32_LE and convert exactly.
      {"integer device", "{ type linear slave { pcm { type null } format S16_LE } }", tesk::SampleFormat::S32},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    const auto dir = ScratchDir();
    const auto raw = dir / "out.raw";
    {
      std::ofstream conf(dir / "asound.conf");
      conf << "pcm.default {\n  type file\n  slave.pcm " << row.slave << "\n  file \"" << raw.string()
           << "\"\n  format \"raw\"\n}\n";
    }
    // ALSA reads this when it loads its configuration, which the next call
    // below does once the loaded one is dropped.
    setenv("ALSA_CONFIG_PATH", (dir / "asound.conf").c_str(), 1);
    snd_config_update_free_global();

    const int device = FindDevice("default");
    ASSERT_GE(device, 0);
    Feed feed;
    StartDevice(device, 44100, FeedProc, &feed);
    ASSERT_TRUE(WaitFor([&] { return feed.Delivered >= EnoughFrames; }));
    ASSERT_TRUE(Tesk_ASIO_Stop());
    ASSERT_TRUE(Tesk_ASIO_Free());

    const auto bytes = ReadFile(raw);
    const uint32_t width = tesk::SampleBytes(row.format);
    ASSERT_GE(bytes.size(), EnoughFrames * 2 * width);
    ASSERT_EQ(bytes.size() % (2 * width), 0u);
    const uint64_t frames = bytes.size() / (2 * width);
    EXPECT_LE(frames, feed.Delivered.load());
    std::vector<float> sent(frames * 2);
    for (uint64_t f = 0; f < frames; ++f)
      for (int c = 0; c < 2; ++c)
        sent[f * 2 + c] = Signal(f, c);
    std::vector<uint8_t> want(bytes.size());
    tesk::ConvertFrames(sent.data(), uint32_t(frames), 2, 2, 0, row.format, want.data());
    EXPECT_TRUE(bytes == want);
    if (row.format == tesk::SampleFormat::S32) { // spot checks that do not rest on ConvertFrames
      int32_t v;
      std::memcpy(&v, bytes.data() + 8, 4);
      EXPECT_EQ(v, int32_t(double(Signal(1, 0)) * 2147483648.0));
      std::memcpy(&v, bytes.data() + 7 * 4, 4);
      EXPECT_EQ(v, INT32_MIN);
      std::memcpy(&v, bytes.data() + 500 * 4, 4);
      EXPECT_EQ(v, INT32_MAX);
    }
    std::filesystem::remove_all(dir);
  }
}

TEST(TeskAlsa, DeviceThatCannotBeOpenedIsRefused) {
  // "default" names a sound card this machine does not have, as after an
  // unplugged USB device.
  const auto dir = ScratchDir();
  std::ofstream(dir / "asound.conf") << "pcm.default { type hw card 29 device 0 }\n";
  setenv("ALSA_CONFIG_PATH", (dir / "asound.conf").c_str(), 1);
  snd_config_update_free_global();
  const int device = FindDevice("default");
  ASSERT_GE(device, 0);
  EXPECT_FALSE(Tesk_ASIO_Init(device, 0));
  EXPECT_EQ(Tesk_ASIO_ErrorGetCode(), TESK_ERROR_DRIVER);
  EXPECT_FALSE(Tesk_ASIO_Init(device, 1));
  EXPECT_EQ(Tesk_ASIO_ErrorGetCode(), TESK_ERROR_DRIVER);
  EXPECT_FALSE(Tesk_ASIO_Free());
  std::filesystem::remove_all(dir);
}

} // namespace
