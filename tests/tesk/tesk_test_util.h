// Shared by tesk's tests: finding devices, a scratch folder, playing through
// the device with a callback of the test's making.
#pragma once

#include "tesk.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tesktest {

// Device number whose ALSA name (or "null") is driver; -1 when not listed.
inline int FindDevice(const char *driver) {
  TeskDeviceInfo info{};
  for (int i = 0; Tesk_ASIO_GetDeviceInfo(i, &info); ++i)
    if (std::string(info.driver) == driver)
      return i;
  return -1;
}

inline std::filesystem::path ScratchDir() {
  auto dir = std::filesystem::temp_directory_path() /
             ("tesk-test-" + std::to_string(getpid()) + "-" +
              testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::vector<uint8_t> ReadFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Opens device for playing at rate with callback feeding channels 0 and 1,
// and starts it.
inline void StartDevice(int device, double rate, TeskAsioProc proc, void *user) {
  ASSERT_TRUE(Tesk_ASIO_Init(device, 1)) << Tesk_ASIO_ErrorGetCode();
  ASSERT_TRUE(Tesk_ASIO_CheckRate(rate));
  ASSERT_TRUE(Tesk_ASIO_SetRate(rate));
  ASSERT_TRUE(Tesk_ASIO_ChannelEnable(0, 0, proc, user));
  ASSERT_TRUE(Tesk_ASIO_ChannelJoin(0, 1, 0));
  ASSERT_TRUE(Tesk_ASIO_ChannelSetFormat(0, 0, TESK_FORMAT_FLOAT));
  ASSERT_TRUE(Tesk_ASIO_Start(0, 0)) << Tesk_ASIO_ErrorGetCode();
}

// Waits (at most 60 s) until done() holds.
template <class F> bool WaitFor(F done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

} // namespace tesktest
