// The device list, and calls made in the wrong order or with bad values: each
// is refused with its error code, and the library stays usable.
#include "tesk_test_util.h"

#include <cmath>
#include <functional>

using namespace tesktest;

namespace {

uint32_t Silence(int, uint32_t, void *, uint32_t, void *) { return 0; }

TEST(TeskDevices, ListEndsWithDefaultThenNullAndNamesFollowTheUnicodeSetting) {
  const int null = FindDevice("null");
  ASSERT_GE(null, 1);
  EXPECT_LT(null, TESK_MAX_DEVICES);
  EXPECT_EQ(FindDevice("default"), null - 1);
  TeskDeviceInfo info{};
  EXPECT_FALSE(Tesk_ASIO_GetDeviceInfo(null + 1, &info));
  EXPECT_EQ(Tesk_ASIO_ErrorGetCode(), TESK_ERROR_DEVICE);

  ASSERT_TRUE(Tesk_ASIO_SetUnicode(0));
  ASSERT_TRUE(Tesk_ASIO_GetDeviceInfo(null, &info));
  EXPECT_STREQ(static_cast<const char *>(info.name), "Null output");
  ASSERT_TRUE(Tesk_ASIO_SetUnicode(1));
  ASSERT_TRUE(Tesk_ASIO_GetDeviceInfo(null, &info));
  EXPECT_EQ(std::u16string(static_cast<const char16_t *>(info.name)), u"Null output");
}

TEST(TeskDevices, NullOutputTakesEveryRateWhenProbed) {
  const int null = FindDevice("null");
  ASSERT_TRUE(Tesk_ASIO_Init(null, 0));
  for (double rate : {44100, 88200, 176400, 352800, 705600, 48000, 96000, 192000, 384000, 768000})
    EXPECT_EQ(Tesk_ASIO_CheckRate(rate) & 0xFF, 1) << rate;
  EXPECT_FALSE(Tesk_ASIO_CheckRate(1536000));
  EXPECT_EQ(Tesk_ASIO_ErrorGetCode(), TESK_ERROR_FREQ);
  EXPECT_TRUE(Tesk_ASIO_Free());
}

struct Step {
  const char *what;
  std::function<int()> call;
  int ok;   // expected result, 0 or 1
  int code; // expected error code
};

TEST(TeskCallOrder, RefusedCallsGiveTheirCodes) {
  const int null = FindDevice("null");
  ASSERT_GE(null, 0);
  unsetenv("VELMORA_NULL_CAPTURE");
  const std::string badCapture = "/nonexistent-dir/capture.wav";
  auto initPlay = [&] { return Tesk_ASIO_Init(null, 1); };
  auto enable = [] { return Tesk_ASIO_ChannelEnable(0, 0, Silence, nullptr); };
  auto join = [] { return Tesk_ASIO_ChannelJoin(0, 1, 0); };
  auto start = [] { return Tesk_ASIO_Start(0, 0); };
  auto stop = [] { return Tesk_ASIO_Stop(); };
  auto free_ = [] { return Tesk_ASIO_Free(); };
  auto setRate = [](double r) { return [r] { return Tesk_ASIO_SetRate(r); }; };
  auto checkRate = [](double r) { return [r] { return Tesk_ASIO_CheckRate(r); }; };

  const std::vector<std::pair<const char *, std::vector<Step>>> sequences = {
      {"nothing open",
       {{"Start", start, 0, TESK_ERROR_INIT},
        {"SetRate", setRate(44100), 0, TESK_ERROR_INIT},
        {"CheckRate", checkRate(44100), 0, TESK_ERROR_INIT},
        {"ChannelEnable", enable, 0, TESK_ERROR_INIT},
        {"ChannelPause", [] { return Tesk_ASIO_ChannelPause(0, 0); }, 0, TESK_ERROR_INIT},
        {"ChannelReset", [] { return Tesk_ASIO_ChannelReset(0, -1, 3); }, 0, TESK_ERROR_INIT},
        {"Stop", stop, 0, TESK_ERROR_INIT},
        {"Free", free_, 0, TESK_ERROR_INIT},
        {"IsStarted", [] { return Tesk_ASIO_IsStarted(); }, 0, TESK_OK}}},
      {"bad device numbers and flags",
       {{"Init(-1)", [] { return Tesk_ASIO_Init(-1, 1); }, 0, TESK_ERROR_DEVICE},
        {"Init(99)", [] { return Tesk_ASIO_Init(99, 1); }, 0, TESK_ERROR_DEVICE},
        {"Init with unknown flags", [&] { return Tesk_ASIO_Init(null, 6); }, 0, TESK_ERROR_ILLPARAM},
        {"GetDeviceInfo(-5)", [] { TeskDeviceInfo i; return Tesk_ASIO_GetDeviceInfo(-5, &i); }, 0,
         TESK_ERROR_DEVICE},
        {"GetDeviceInfo(null record)", [] { return Tesk_ASIO_GetDeviceInfo(0, nullptr); }, 0,
         TESK_ERROR_ILLPARAM}}},
      {"free twice, init twice",
       {{"Init", initPlay, 1, TESK_OK},
        {"Init again", initPlay, 0, TESK_ERROR_ALREADY},
        {"Free", free_, 1, TESK_OK},
        {"Free again", free_, 0, TESK_ERROR_INIT}}},
      {"a probe cannot play",
       {{"Init(probe)", [&] { return Tesk_ASIO_Init(null, 0); }, 1, TESK_OK},
        {"CheckRate", checkRate(44100), 1, TESK_OK},
        {"SetRate", setRate(44100), 0, TESK_ERROR_INIT},
        {"ChannelEnable", enable, 0, TESK_ERROR_INIT},
        {"Start", start, 0, TESK_ERROR_INIT},
        {"Free", free_, 1, TESK_OK}}},
      {"rates",
       {{"Init", initPlay, 1, TESK_OK},
        {"fractional", setRate(44100.5), 0, TESK_ERROR_FREQ},
        {"zero", setRate(0), 0, TESK_ERROR_FREQ},
        {"NaN", setRate(NAN), 0, TESK_ERROR_FREQ},
        {"negative", checkRate(-48000), 0, TESK_ERROR_FREQ},
        {"beyond the device", setRate(1536000), 0, TESK_ERROR_FREQ},
        {"Free", free_, 1, TESK_OK}}},
      {"channels",
       {{"Init", initPlay, 1, TESK_OK},
        {"Start without a channel", start, 0, TESK_ERROR_ILLPARAM},
        {"input channel", [] { return Tesk_ASIO_ChannelEnable(1, 0, Silence, nullptr); }, 0, TESK_ERROR_ILLPARAM},
        {"channel the device lacks", [] { return Tesk_ASIO_ChannelEnable(0, 2, Silence, nullptr); }, 0,
         TESK_ERROR_ILLPARAM},
        {"no callback", [] { return Tesk_ASIO_ChannelEnable(0, 0, nullptr, nullptr); }, 0, TESK_ERROR_ILLPARAM},
        {"join before enable", join, 0, TESK_ERROR_ILLPARAM},
        {"enable", enable, 1, TESK_OK},
        {"join a channel that is not next", [] { return Tesk_ASIO_ChannelJoin(0, 2, 0); }, 0, TESK_ERROR_ILLPARAM},
        {"join", join, 1, TESK_OK},
        {"16-bit format", [] { return Tesk_ASIO_ChannelSetFormat(0, 0, 16); }, 0, TESK_ERROR_FORMAT},
        {"float format", [] { return Tesk_ASIO_ChannelSetFormat(0, 0, TESK_FORMAT_FLOAT); }, 1, TESK_OK},
        {"reset undoes enable and join", [] { return Tesk_ASIO_ChannelReset(0, -1, 3); }, 1, TESK_OK},
        {"Start after the reset", start, 0, TESK_ERROR_ILLPARAM},
        {"Free", free_, 1, TESK_OK}}},
      {"start and stop states",
       {{"Init", initPlay, 1, TESK_OK},
        {"SetRate", setRate(48000), 1, TESK_OK},
        {"enable", enable, 1, TESK_OK},
        {"join", join, 1, TESK_OK},
        {"Stop before Start", stop, 0, TESK_ERROR_START},
        {"Start with too short a period", [] { return Tesk_ASIO_Start(4, 0); }, 0, TESK_ERROR_ILLPARAM},
        {"Start", start, 1, TESK_OK},
        {"IsStarted", [] { return Tesk_ASIO_IsStarted(); }, 1, TESK_OK},
        {"Start again", start, 0, TESK_ERROR_ALREADY},
        {"enable while started", enable, 0, TESK_ERROR_ALREADY},
        {"another rate while started", setRate(44100), 0, TESK_ERROR_START},
        {"the running rate", checkRate(48000), 1, TESK_OK},
        {"another rate checked", checkRate(96000), 0, TESK_ERROR_FREQ},
        {"Stop", stop, 1, TESK_OK},
        {"Stop again", stop, 0, TESK_ERROR_START},
        {"Start again after Stop", start, 1, TESK_OK},
        {"Free while started", free_, 1, TESK_OK},
        {"IsStarted after Free", [] { return Tesk_ASIO_IsStarted(); }, 0, TESK_OK}}},
      {"volume",
       {{"above 1", [] { return Tesk_ASIO_ChannelSetVolume(0, -1, 1.5f); }, 0, TESK_ERROR_ILLPARAM},
        {"NaN", [] { return Tesk_ASIO_ChannelSetVolume(0, -1, NAN); }, 0, TESK_ERROR_ILLPARAM},
        {"one channel", [] { return Tesk_ASIO_ChannelSetVolume(0, 0, 0.5f); }, 0, TESK_ERROR_ILLPARAM},
        {"overall, nothing open", [] { return Tesk_ASIO_ChannelSetVolume(0, -1, 1.0f); }, 1, TESK_OK}}},
      {"capture file that cannot be made",
       {{"Init", [&] { setenv("VELMORA_NULL_CAPTURE", badCapture.c_str(), 1); return initPlay(); }, 1, TESK_OK},
        {"enable", enable, 1, TESK_OK},
        {"Start", start, 0, TESK_ERROR_FILEOPEN},
        {"Start without capture",
         [] { unsetenv("VELMORA_NULL_CAPTURE"); return Tesk_ASIO_Start(0, 0); }, 1, TESK_OK},
        {"Free", free_, 1, TESK_OK}}},
  };
  for (const auto &[name, steps] : sequences) {
    for (const Step &s : steps) {
      const int result = s.call();
      const int code = Tesk_ASIO_ErrorGetCode();
      EXPECT_EQ(result != 0, s.ok != 0) << name << ": " << s.what;
      EXPECT_EQ(code, s.code) << name << ": " << s.what;
    }
    Tesk_ASIO_Free();
  }
}

} // namespace
