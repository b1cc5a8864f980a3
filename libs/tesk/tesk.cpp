// tesk's public functions: the device list, the one open device, its channel
// set-up, and the output thread that calls the player for every period.
//
// All calls but IsStarted, ErrorGetCode and ChannelSetVolume take ApiLock.
// The output thread never takes it: what it reads while running is either
// fixed before it starts (the callback, the channel, the buffers) or an
// atomic (enabled, joined, paused, volume, stop).
#include "tesk.h"
#include "tesk_internal.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>

namespace tesk {

namespace {

constexpr uint32_t MostChannels = 64;
constexpr uint32_t LeastPeriodFrames = 16;
constexpr uint32_t MostPeriodFrames = 1u << 16;

thread_local int LastError = TESK_OK;
// Set on the output thread: the player's callback calling back into us must
// be refused, not deadlock on ApiLock while Stop waits for that thread.
thread_local bool OnOutputThread = false;

std::mutex ApiLock;
std::atomic<bool> UnicodeNames{false};
std::vector<DeviceEntry> Devices;
bool DevicesListed = false;

// The open device.
const OutputFuncs *Funcs = nullptr;
void *Handle = nullptr;
bool ForPlay = false;
uint32_t Rate = 0; // 0 = not set

// Channel set-up; fixed while started.
int32_t EnabledChannel = -1;
TeskAsioProc Proc = nullptr;
void *ProcUser = nullptr;
uint32_t DeviceChannels = 0;

std::atomic<bool> ChannelOn{false};
std::atomic<bool> ChannelJoined{false};
std::atomic<bool> ChannelPaused{false};
std::atomic<float> MasterVolume{1.0f};

// The output thread and what it owns while it runs.
struct OutputRun {
  PlayParams Params{};
  std::unique_ptr<float[]> Block;      // the callback's period, two channels at most
  std::unique_ptr<uint8_t[]> Native;   // the period in the device's format
};
OutputRun Run;
std::thread OutputThread;
bool Started = false;
std::atomic<bool> StopRequested{false};
std::atomic<bool> Running{false}; // started and the device still there

int Fail(int code) {
  LastError = code;
  return 0;
}

int Succeed() {
  LastError = TESK_OK;
  return 1;
}

void ListDevices() {
  Devices.clear();
  ListAlsaDevices(Devices, TESK_MAX_DEVICES - 2);
  DeviceEntry null;
  null.Name = "Null output";
  null.Name16 = ToUtf16(null.Name);
  null.Pcm = "null";
  null.Funcs = &NullOutput;
  Devices.push_back(std::move(null));
  DevicesListed = true;
}

// Rates are whole numbers of hertz; anything else is refused rather than
// rounded, since a device running at a rounded rate would not be exact.
bool RateFromDouble(double rate, uint32_t *out) {
  if (!std::isfinite(rate) || rate < 1 || rate > 16'000'000 || rate != std::floor(rate))
    return false;
  *out = uint32_t(rate);
  return true;
}

void RaisePriority() {
  // Real-time when the system allows it; otherwise the thread just stays at
  // normal priority.
  sched_param p{};
  p.sched_priority = std::min(70, sched_get_priority_max(SCHED_FIFO));
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
}

void RunOutput() {
  OnOutputThread = true;
  if (Run.Params.Realtime)
    RaisePriority();
  const uint32_t frames = Run.Params.PeriodFrames;
  float *block = Run.Block.get();
  while (!StopRequested.load(std::memory_order_acquire)) {
    const uint32_t sourceChannels = ChannelJoined.load(std::memory_order_relaxed) ? 2 : 1;
    const uint32_t frameBytes = sourceChannels * 4;
    const uint32_t want = frames * frameBytes;
    uint32_t got = 0;
    if (ChannelOn.load(std::memory_order_acquire) && !ChannelPaused.load(std::memory_order_acquire)) {
      got = Proc(0, uint32_t(EnabledChannel), block, want, ProcUser);
      // A part of a frame, or more than was asked, is never played.
      got = got > want ? want : got - got % frameBytes;
    }
    if (got < want)
      std::memset(reinterpret_cast<uint8_t *>(block) + got, 0, want - got);
    const float volume = MasterVolume.load(std::memory_order_relaxed);
    if (volume != 1.0f) // at full level the samples pass untouched
      for (uint32_t i = 0, n = got / 4; i < n; ++i)
        block[i] *= volume;
    ConvertFrames(block, frames, sourceChannels, Run.Params.Channels, uint32_t(EnabledChannel),
                  Run.Params.Format, Run.Native.get());
    if (!Funcs->WritePeriod(Handle, Run.Native.get(), frames, StopRequested)) {
      // The device is gone: no more callbacks; IsStarted says so.
      Running.store(false, std::memory_order_release);
      return;
    }
  }
}

// Ends the output thread; afterwards no callback can run.
void EndOutput() {
  if (!Started)
    return;
  StopRequested.store(true, std::memory_order_release);
  if (OutputThread.joinable())
    OutputThread.join();
  Funcs->Finish(Handle);
  Running.store(false, std::memory_order_release);
  Run.Block.reset();
  Run.Native.reset();
  Started = false;
}

void ResetChannels() {
  EnabledChannel = -1;
  Proc = nullptr;
  ProcUser = nullptr;
  ChannelOn = false;
  ChannelJoined = false;
  ChannelPaused = false;
}

void CloseDevice() {
  EndOutput();
  if (Handle)
    Funcs->Close(Handle);
  Handle = nullptr;
  Funcs = nullptr;
  ForPlay = false;
  Rate = 0;
  DeviceChannels = 0;
  ResetChannels();
}

// Common checks of the channel calls: an output channel of a device opened
// for playing. Returns 0 when fine, else the error code.
int CheckChannelCall(int input) {
  if (!Handle || !ForPlay)
    return TESK_ERROR_INIT;
  if (input != 0)
    return TESK_ERROR_ILLPARAM; // no inputs
  return 0;
}

} // namespace

} // namespace tesk

using namespace tesk;

extern "C" {

TESK_EXPORT int Tesk_ASIO_SetUnicode(int unicode) {
  UnicodeNames.store(unicode != 0);
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_GetDeviceInfo(int32_t device, TeskDeviceInfo *info) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (device == 0 || !DevicesListed)
    ListDevices();
  if (device < 0 || size_t(device) >= Devices.size())
    return Fail(TESK_ERROR_DEVICE);
  if (!info)
    return Fail(TESK_ERROR_ILLPARAM);
  const DeviceEntry &e = Devices[size_t(device)];
  info->name = UnicodeNames.load() ? static_cast<const void *>(e.Name16.c_str()) : e.Name.c_str();
  info->driver = e.Pcm.c_str();
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_Init(int32_t device, uint32_t flags) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (flags & ~TESK_INIT_PLAY)
    return Fail(TESK_ERROR_ILLPARAM);
  if (Handle)
    return Fail(TESK_ERROR_ALREADY);
  if (!DevicesListed)
    ListDevices();
  if (device < 0 || size_t(device) >= Devices.size())
    return Fail(TESK_ERROR_DEVICE);
  const DeviceEntry &e = Devices[size_t(device)];
  int error = TESK_ERROR_DRIVER;
  void *h = e.Funcs->Open(e, flags & TESK_INIT_PLAY, &error);
  if (!h)
    return Fail(error);
  Funcs = e.Funcs;
  Handle = h;
  ForPlay = flags & TESK_INIT_PLAY;
  DeviceChannels = std::min(Funcs->Channels(Handle), MostChannels);
  if (DeviceChannels < 2) {
    CloseDevice();
    return Fail(TESK_ERROR_DRIVER); // nothing we can play on
  }
  Rate = 0;
  ResetChannels();
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_Free(void) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (!Handle)
    return Fail(TESK_ERROR_INIT);
  CloseDevice();
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_ErrorGetCode(void) { return LastError; }

TESK_EXPORT int Tesk_ASIO_CheckRate(double rate) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (!Handle)
    return Fail(TESK_ERROR_INIT);
  uint32_t r;
  if (!RateFromDouble(rate, &r))
    return Fail(TESK_ERROR_FREQ);
  // A running device takes only the rate it runs at.
  const bool ok = Started ? r == Rate : Funcs->CheckRate(Handle, r);
  return ok ? Succeed() : Fail(TESK_ERROR_FREQ);
}

TESK_EXPORT int Tesk_ASIO_SetRate(double rate) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (!Handle || !ForPlay)
    return Fail(TESK_ERROR_INIT);
  uint32_t r;
  if (!RateFromDouble(rate, &r))
    return Fail(TESK_ERROR_FREQ);
  if (Started)
    return r == Rate ? Succeed() : Fail(TESK_ERROR_START);
  if (!Funcs->CheckRate(Handle, r))
    return Fail(TESK_ERROR_FREQ);
  Rate = r;
  return Succeed();
}

TESK_EXPORT double Tesk_ASIO_GetRate(void) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (!Handle)
    return Fail(TESK_ERROR_INIT);
  LastError = TESK_OK;
  return Rate;
}

TESK_EXPORT int Tesk_ASIO_ChannelEnable(int input, int32_t channel, TeskAsioProc proc, void *user) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (int e = CheckChannelCall(input))
    return Fail(e);
  if (Started)
    return Fail(TESK_ERROR_ALREADY);
  if (channel < 0 || uint32_t(channel) >= DeviceChannels || !proc)
    return Fail(TESK_ERROR_ILLPARAM);
  // One callback feeds the device; enabling again replaces it.
  EnabledChannel = channel;
  Proc = proc;
  ProcUser = user;
  ChannelJoined = false;
  ChannelPaused = false;
  ChannelOn = true;
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_ChannelJoin(int input, int32_t channel, int32_t channel2) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (int e = CheckChannelCall(input))
    return Fail(e);
  if (Started)
    return Fail(TESK_ERROR_ALREADY);
  // The one join there is: the next channel to an enabled one, a stereo pair.
  if (!ChannelOn || channel2 != EnabledChannel || channel != channel2 + 1 || uint32_t(channel) >= DeviceChannels)
    return Fail(TESK_ERROR_ILLPARAM);
  ChannelJoined = true;
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_ChannelSetFormat(int input, int32_t channel, uint32_t format) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (int e = CheckChannelCall(input))
    return Fail(e);
  if (!ChannelOn || channel != EnabledChannel)
    return Fail(TESK_ERROR_ILLPARAM);
  if (format != TESK_FORMAT_FLOAT)
    return Fail(TESK_ERROR_FORMAT);
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_Start(uint32_t buflen, uint32_t) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (!Handle || !ForPlay)
    return Fail(TESK_ERROR_INIT);
  if (Started)
    return Fail(TESK_ERROR_ALREADY);
  if (!ChannelOn || !Proc)
    return Fail(TESK_ERROR_ILLPARAM); // nothing to play
  if (buflen && (buflen < LeastPeriodFrames || buflen > MostPeriodFrames))
    return Fail(TESK_ERROR_ILLPARAM);
  if (!Rate) {
    // No rate set: the usual CD rate, if the device takes it.
    if (!Funcs->CheckRate(Handle, 44100))
      return Fail(TESK_ERROR_FREQ);
    Rate = 44100;
  }
  PlayRequest request{Rate, uint32_t(EnabledChannel) + (ChannelJoined ? 2u : 1u), buflen};
  if (int e = Funcs->Prepare(Handle, request, &Run.Params))
    return Fail(e);
  const uint32_t frames = Run.Params.PeriodFrames;
  Run.Block.reset(new (std::nothrow) float[size_t(frames) * 2]);
  Run.Native.reset(new (std::nothrow) uint8_t[size_t(frames) * Run.Params.Channels * SampleBytes(Run.Params.Format)]);
  Started = true; // from here EndOutput undoes what Prepare did
  if (!Run.Block || !Run.Native) {
    EndOutput();
    return Fail(TESK_ERROR_MEM);
  }
  StopRequested = false;
  Running = true;
  try {
    OutputThread = std::thread(RunOutput);
  } catch (...) {
    EndOutput();
    return Fail(TESK_ERROR_MEM);
  }
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_Stop(void) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (!Handle)
    return Fail(TESK_ERROR_INIT);
  if (!Started)
    return Fail(TESK_ERROR_START);
  EndOutput();
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_IsStarted(void) {
  LastError = TESK_OK;
  return Running.load(std::memory_order_acquire) ? 1 : 0;
}

TESK_EXPORT int Tesk_ASIO_ChannelPause(int input, int32_t channel) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (int e = CheckChannelCall(input))
    return Fail(e);
  if (!ChannelOn || (channel != EnabledChannel && !(ChannelJoined && channel == EnabledChannel + 1)))
    return Fail(TESK_ERROR_ILLPARAM);
  ChannelPaused.store(true, std::memory_order_release);
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_ChannelReset(int input, int32_t channel, uint32_t flags) {
  if (OnOutputThread)
    return Fail(TESK_ERROR_START);
  std::lock_guard lock(ApiLock);
  if (int e = CheckChannelCall(input))
    return Fail(e);
  if (channel != -1 && (channel < 0 || uint32_t(channel) >= DeviceChannels))
    return Fail(TESK_ERROR_ILLPARAM);
  const bool own = channel == -1 || channel == EnabledChannel;
  const bool joined = channel == -1 || channel == EnabledChannel + 1;
  if (flags & TESK_RESET_PAUSE && (own || joined))
    ChannelPaused.store(false, std::memory_order_release);
  if (flags & TESK_RESET_JOIN && (own || joined))
    ChannelJoined.store(false, std::memory_order_release);
  if (flags & TESK_RESET_ENABLE && own) {
    // The running thread plays silence from its next period on; Proc stays
    // set until the thread has ended, so a period in flight can finish.
    ChannelOn.store(false, std::memory_order_release);
    if (!Started)
      ResetChannels();
  }
  return Succeed();
}

TESK_EXPORT int Tesk_ASIO_ChannelSetVolume(int input, int32_t channel, float volume) {
  if (input != 0 || channel != -1 || !(volume >= 0.0f && volume <= 1.0f))
    return Fail(TESK_ERROR_ILLPARAM);
  MasterVolume.store(volume, std::memory_order_relaxed);
  return Succeed();
}

} // extern "C"
