// Null output with its capture: what the callback delivers reaches the file
// bit for bit, short results and pauses become silence, and no callback runs
// after Stop.
#include "tesk_test_util.h"

#include <sndfile.h>

#include <atomic>
#include <cmath>
#include <cstring>

using namespace tesktest;

namespace {

constexpr size_t WavHeaderBytes = 94;

struct Feed {
  uint64_t LimitFrames = UINT64_MAX; // after these, calls return 0
  uint32_t ShortEvery = 0;           // every n-th call delivers half of what it is asked
  bool Sweep = false;
  double Rate = 44100;

  uint64_t NextFrame = 0; // output thread only
  std::vector<std::pair<uint32_t, uint32_t>> Log = std::vector<std::pair<uint32_t, uint32_t>>(1 << 20);
  std::atomic<size_t> Calls{0};
  std::atomic<uint64_t> Delivered{0};
  std::atomic<uint64_t> Asked{0};
  std::atomic<bool> Inside{false};
  bool TryReentry = false;
  int SlowMs = 0; // a callback that takes its time, so that Stop finds one under way
  int ReentryResult = -1, ReentryCode = -1;
};

// The ramp is never zero, so silence in a capture is always padding.
float Signal(const Feed &f, uint64_t frame, int channel) {
  if (f.Sweep) { // 20 Hz to 20 kHz over 10 s, half scale
    const double t = double(frame) / f.Rate;
    const double phase = 2 * M_PI * (20 * t + (20000.0 - 20) * t * t / 20);
    return float(0.5 * std::sin(channel ? phase * 1.01 : phase));
  }
  const int m = int((frame * 3 + uint64_t(channel) * 5) % 32768);
  return float(2 * m + 1 - 32768) / 32768.0f;
}

uint32_t FeedProc(int, uint32_t, void *buffer, uint32_t length, void *user) {
  Feed &f = *static_cast<Feed *>(user);
  f.Inside = true;
  const size_t call = f.Calls.fetch_add(1);
  f.Asked += length / 8;
  if (f.TryReentry && call == 3) {
    f.ReentryResult = Tesk_ASIO_Stop();
    f.ReentryCode = Tesk_ASIO_ErrorGetCode();
  }
  uint64_t frames = length / 8;
  if (f.ShortEvery && call % f.ShortEvery == f.ShortEvery - 1)
    frames /= 2;
  frames = std::min(frames, f.LimitFrames - f.NextFrame);
  auto *out = static_cast<float *>(buffer);
  for (uint64_t i = 0; i < frames; ++i)
    for (int c = 0; c < 2; ++c)
      out[i * 2 + c] = Signal(f, f.NextFrame + i, c);
  f.NextFrame += frames;
  if (call < f.Log.size())
    f.Log[call] = {length, uint32_t(frames * 8)};
  f.Delivered = f.NextFrame;
  if (f.NextFrame == f.LimitFrames) // unpaced, the device would otherwise race on until stopped
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (f.SlowMs)
    std::this_thread::sleep_for(std::chrono::milliseconds(f.SlowMs));
  f.Inside = false;
  return uint32_t(frames * 8);
}

struct Capture {
  SF_INFO Info{};
  bool Opened = false;
  std::vector<float> Samples; // the data chunk, raw
};

// Reads a capture twice over: through libsndfile (the header must be valid
// and agree with the data) and as raw bytes after the fixed header.
Capture ReadCapture(const std::filesystem::path &path) {
  Capture c;
  if (SNDFILE *sf = sf_open(path.c_str(), SFM_READ, &c.Info)) {
    c.Opened = true;
    sf_close(sf);
  }
  const auto bytes = ReadFile(path);
  if (bytes.size() >= WavHeaderBytes) {
    c.Samples.resize((bytes.size() - WavHeaderBytes) / 4);
    std::memcpy(c.Samples.data(), bytes.data() + WavHeaderBytes, c.Samples.size() * 4);
  }
  return c;
}

void SetSpeed(const char *speed) { setenv("VELMORA_NULL_SPEED", speed, 1); }

class NullOutput : public testing::Test {
protected:
  void SetUp() override {
    Dir = ScratchDir();
    CapturePath = Dir / "capture.wav";
    setenv("VELMORA_NULL_CAPTURE", CapturePath.c_str(), 1);
    Null = FindDevice("null");
    ASSERT_GE(Null, 0);
  }
  void TearDown() override {
    Tesk_ASIO_Free();
    Tesk_ASIO_ChannelSetVolume(0, -1, 1.0f);
    unsetenv("VELMORA_NULL_CAPTURE");
    unsetenv("VELMORA_NULL_SPEED");
    std::filesystem::remove_all(Dir);
  }
  std::filesystem::path Dir, CapturePath;
  int Null = -1;
};

TEST_F(NullOutput, CaptureHoldsExactlyWhatWasDelivered) {
  const struct {
    const char *name;
    double rate;
    const char *speed;
    uint32_t shortEvery;
    float volume;
    double seconds;
    bool sweep;
  } rows[] = {
      {"10 s sweep, unpaced", 44100, "max", 0, 1.0f, 10, true},
      {"short results padded", 768000, "max", 3, 1.0f, 1, false},
      {"paced at 8x, half volume", 48000, "8", 0, 0.5f, 0.5, false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    SetSpeed(row.speed);
    ASSERT_TRUE(Tesk_ASIO_ChannelSetVolume(0, -1, row.volume));
    auto feed = std::make_unique<Feed>();
    feed->Rate = row.rate;
    feed->Sweep = row.sweep;
    feed->ShortEvery = row.shortEvery;
    feed->LimitFrames = uint64_t(row.seconds * row.rate);
    StartDevice(Null, row.rate, FeedProc, feed.get());
    ASSERT_TRUE(WaitFor([&] { return feed->Delivered == feed->LimitFrames; }));
    ASSERT_TRUE(Tesk_ASIO_Stop());
    ASSERT_TRUE(Tesk_ASIO_Free());
    ASSERT_LE(feed->Calls.load(), feed->Log.size());

    // What the device must have played: each call's bytes, then silence to
    // the end of its period.
    std::vector<float> want;
    uint64_t frame = 0;
    for (size_t i = 0; i < feed->Calls; ++i) {
      const auto [asked, got] = feed->Log[i];
      for (uint32_t k = 0; k < asked / 8; ++k)
        for (int c = 0; c < 2; ++c)
          want.push_back(k < got / 8 ? Signal(*feed, frame + k, c) * row.volume : 0.0f);
      frame += got / 8;
    }
    const Capture cap = ReadCapture(CapturePath);
    ASSERT_TRUE(cap.Opened);
    EXPECT_EQ(cap.Info.samplerate, int(row.rate));
    EXPECT_EQ(cap.Info.channels, 2);
    EXPECT_EQ(cap.Info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(uint64_t(cap.Info.frames), want.size() / 2);
    ASSERT_EQ(cap.Samples.size(), want.size());
    EXPECT_EQ(std::memcmp(cap.Samples.data(), want.data(), want.size() * 4), 0);
  }
}

TEST_F(NullOutput, PauseGivesSilenceWithoutCallbacksAndResumeGoesOn) {
  SetSpeed("8");
  Feed feed;
  StartDevice(Null, 48000, FeedProc, &feed);
  ASSERT_TRUE(WaitFor([&] { return feed.Delivered >= 4800; }));
  ASSERT_TRUE(Tesk_ASIO_ChannelPause(0, 0));
  const size_t callsAtPause = feed.Calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_LE(feed.Calls - callsAtPause, 1u); // at most the one already under way
  EXPECT_TRUE(Tesk_ASIO_IsStarted());
  const uint64_t deliveredAtPause = feed.Delivered;
  ASSERT_TRUE(Tesk_ASIO_ChannelReset(0, -1, TESK_RESET_PAUSE));
  ASSERT_TRUE(WaitFor([&] { return feed.Delivered >= deliveredAtPause + 4800; }));
  ASSERT_TRUE(Tesk_ASIO_Stop());
  ASSERT_TRUE(Tesk_ASIO_Free());

  // Taking the silent frames out leaves the ramp unbroken.
  const Capture cap = ReadCapture(CapturePath);
  std::vector<float> sound;
  size_t silent = 0;
  for (size_t i = 0; i + 1 < cap.Samples.size(); i += 2) {
    if (cap.Samples[i] == 0 && cap.Samples[i + 1] == 0)
      ++silent;
    else
      sound.insert(sound.end(), {cap.Samples[i], cap.Samples[i + 1]});
  }
  EXPECT_GE(silent, 960u); // at least one period while paused
  ASSERT_EQ(sound.size(), feed.Delivered * 2);
  for (uint64_t f = 0; f < feed.Delivered; ++f)
    ASSERT_TRUE(sound[f * 2] == Signal(feed, f, 0) && sound[f * 2 + 1] == Signal(feed, f, 1)) << f;
}

TEST_F(NullOutput, NoCallbackRunsOnceStopReturns) {
  SetSpeed("8");
  Feed feed;
  feed.TryReentry = true;
  feed.SlowMs = 30;
  StartDevice(Null, 44100, FeedProc, &feed);
  ASSERT_TRUE(WaitFor([&] { return feed.Calls >= 8; }));
  // The callback's own call into the library is refused, not a deadlock.
  EXPECT_EQ(feed.ReentryResult, 0);
  EXPECT_EQ(feed.ReentryCode, TESK_ERROR_START);

  ASSERT_TRUE(Tesk_ASIO_Stop());
  EXPECT_FALSE(feed.Inside);
  const size_t callsAtStop = feed.Calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(feed.Calls, callsAtStop);
  EXPECT_FALSE(Tesk_ASIO_IsStarted());
  EXPECT_FALSE(Tesk_ASIO_Stop());
  EXPECT_EQ(Tesk_ASIO_ErrorGetCode(), TESK_ERROR_START);
  EXPECT_TRUE(Tesk_ASIO_Free());
}

TEST_F(NullOutput, ResetEndsTheCallbacksWhileTheDeviceRuns) {
  // The player's order when it stops: reset the channel while the device
  // runs, then Stop until it is no longer started.
  SetSpeed("8");
  Feed feed;
  StartDevice(Null, 44100, FeedProc, &feed);
  ASSERT_TRUE(WaitFor([&] { return feed.Calls >= 8; }));
  ASSERT_TRUE(Tesk_ASIO_ChannelReset(0, -1, TESK_RESET_ENABLE | TESK_RESET_JOIN));
  const size_t callsAtReset = feed.Calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_LE(feed.Calls - callsAtReset, 1u); // at most the one already under way
  EXPECT_TRUE(Tesk_ASIO_IsStarted());
  while (Tesk_ASIO_IsStarted())
    ASSERT_TRUE(Tesk_ASIO_Stop());
  EXPECT_TRUE(Tesk_ASIO_Free());
}

TEST_F(NullOutput, NeverRunsAheadOfItsClock) {
  // Slower than the clock is a busy machine; faster is a device that is not
  // paced. Only the latter is a fault, so only an upper bound is tested.
  for (const auto &[speed, factor] : {std::pair{"1", 1.0}, std::pair{"4", 4.0}}) {
    SCOPED_TRACE(speed);
    SetSpeed(speed);
    unsetenv("VELMORA_NULL_CAPTURE");
    Feed feed;
    const auto begin = std::chrono::steady_clock::now();
    StartDevice(Null, 44100, FeedProc, &feed);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(Tesk_ASIO_Stop());
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ASSERT_TRUE(Tesk_ASIO_Free());
    EXPECT_LE(double(feed.Asked), elapsed * 44100 * factor + 2 * 882);
    EXPECT_GT(feed.Asked, 0u);
  }
}

TEST_F(NullOutput, EachStartGetsItsOwnNumberedCapture) {
  SetSpeed("max");
  setenv("VELMORA_NULL_CAPTURE", (Dir / "take-%n.wav").c_str(), 1);
  for (int run = 0; run < 2; ++run) {
    Feed feed;
    feed.LimitFrames = 1000 * (run + 1);
    StartDevice(Null, 96000, FeedProc, &feed);
    ASSERT_TRUE(WaitFor([&] { return feed.Delivered == feed.LimitFrames; }));
    ASSERT_TRUE(Tesk_ASIO_Stop());
    ASSERT_TRUE(Tesk_ASIO_Free());
  }
  const Feed ramp;
  for (int n = 1; n <= 2; ++n) {
    const Capture cap = ReadCapture(Dir / ("take-" + std::to_string(n) + ".wav"));
    ASSERT_TRUE(cap.Opened) << n;
    EXPECT_EQ(cap.Info.samplerate, 96000);
    EXPECT_EQ(cap.Samples[(1000 * n - 1) * 2], Signal(ramp, 1000 * n - 1, 0));
  }
}

} // namespace
