// The Null output: no hardware, it takes each period at the pace a real device
// would (or faster), and can keep everything it was given in a WAV file so
// that tests and users can see exactly what was sent.
//
//   VELMORA_NULL_CAPTURE=path   capture to path (32-bit float stereo WAV); a
//                               "%n" in path becomes 1, 2, ... for each start
//   VELMORA_NULL_SPEED=x        run x times faster than real time; 0 or "max"
//                               for no pacing at all
#include "tesk.h"
#include "tesk_internal.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <thread>
#include <unistd.h>

namespace tesk {

namespace {

constexpr uint32_t LeastRate = 8000;
constexpr uint32_t MostRate = 768000;
constexpr uint32_t FrameBytes = 8; // float stereo
// About 1.4 s at the highest rate: the writer thread falls behind by far
// less than that even on a slow disk.
constexpr size_t RingBytes = size_t(1) << 23;
constexpr size_t HeaderBytes = 94;
constexpr int64_t LateLimitNs = 100'000'000; // behind by more: start a new schedule, as after an underrun

std::atomic<uint32_t> CaptureCount{0};

struct NullDevice {
  uint32_t Rate = 0;
  double NsPerFrame = 0; // 0: unpaced
  int64_t BaseNs = 0;
  uint64_t FramesSinceBase = 0;

  int Fd = -1;
  std::unique_ptr<uint8_t[]> Ring;
  std::atomic<uint64_t> Head{0}; // bytes pushed by the output thread
  std::atomic<uint64_t> Tail{0}; // bytes taken by the writer thread
  std::atomic<bool> WriterStop{false};
  std::thread Writer;
  uint64_t DataBytes = 0;
  bool WriteFailed = false;
};

int64_t NowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void SleepUntilNs(int64_t ns) {
  timespec ts{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

void Put16(uint8_t *p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void Put32(uint8_t *p, uint32_t v) { Put16(p, v), Put16(p + 2, v >> 16); }
void Put64(uint8_t *p, uint64_t v) { Put32(p, uint32_t(v)), Put32(p + 4, uint32_t(v >> 32)); }

// RIFF WAVE, WAVE_FORMAT_IEEE_FLOAT, with a JUNK chunk that becomes the ds64
// chunk of an RF64 file should the data outgrow 32-bit sizes.
void BuildWavHeader(uint8_t *h, uint32_t rate, uint64_t dataBytes) {
  std::memset(h, 0, HeaderBytes);
  const uint64_t riffBytes = HeaderBytes - 8 + dataBytes;
  const uint64_t frames = dataBytes / FrameBytes;
  const bool rf64 = riffBytes > 0xFFFFFFFFu;
  std::memcpy(h, rf64 ? "RF64" : "RIFF", 4);
  Put32(h + 4, rf64 ? 0xFFFFFFFFu : uint32_t(riffBytes));
  std::memcpy(h + 8, "WAVE", 4);
  std::memcpy(h + 12, rf64 ? "ds64" : "JUNK", 4);
  Put32(h + 16, 28);
  if (rf64) {
    Put64(h + 20, riffBytes);
    Put64(h + 28, dataBytes);
    Put64(h + 36, frames);
  }
  std::memcpy(h + 48, "fmt ", 4);
  Put32(h + 52, 18);
  Put16(h + 56, 3); // IEEE float
  Put16(h + 58, 2);
  Put32(h + 60, rate);
  Put32(h + 64, rate * FrameBytes);
  Put16(h + 68, FrameBytes);
  Put16(h + 70, 32);
  Put16(h + 72, 0);
  std::memcpy(h + 74, "fact", 4);
  Put32(h + 78, 4);
  Put32(h + 82, rf64 ? 0xFFFFFFFFu : uint32_t(frames));
  std::memcpy(h + 86, "data", 4);
  Put32(h + 90, rf64 ? 0xFFFFFFFFu : uint32_t(dataBytes));
}

bool WriteAll(int fd, const uint8_t *p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR)
      continue;
    if (w <= 0)
      return false;
    p += w, n -= size_t(w);
  }
  return true;
}

void UpdateHeader(NullDevice &d) {
  uint8_t h[HeaderBytes];
  BuildWavHeader(h, d.Rate, d.DataBytes);
  if (!d.WriteFailed && ::pwrite(d.Fd, h, HeaderBytes, 0) != ssize_t(HeaderBytes))
    d.WriteFailed = true;
}

// Empties the ring into the file. On a write failure the capture stops (once
// reported), but the ring keeps draining so that playing never waits on it.
void DrainRing(NullDevice &d) {
  const uint64_t head = d.Head.load(std::memory_order_acquire);
  uint64_t tail = d.Tail.load(std::memory_order_relaxed);
  if (head == tail)
    return;
  while (tail < head) {
    const size_t at = size_t(tail % RingBytes);
    const size_t n = size_t(std::min<uint64_t>(head - tail, RingBytes - at));
    if (!d.WriteFailed) {
      if (WriteAll(d.Fd, d.Ring.get() + at, n)) {
        d.DataBytes += n;
      } else {
        d.WriteFailed = true;
        std::fprintf(stderr, "tesk: Null output capture: write failed (%s); capture ends here\n",
                     std::strerror(errno));
      }
    }
    tail += n;
  }
  d.Tail.store(tail, std::memory_order_release);
  // Keep the header true after every write, so that the file is readable even
  // if the program never gets to stop the device.
  UpdateHeader(d);
}

void RunWriter(NullDevice *d) {
  for (;;) {
    const bool stopping = d->WriterStop.load(std::memory_order_acquire);
    DrainRing(*d);
    if (stopping)
      break;
    timespec pause{0, 10'000'000};
    nanosleep(&pause, nullptr);
  }
}

void EndCapture(NullDevice &d) {
  if (d.Writer.joinable()) {
    d.WriterStop.store(true, std::memory_order_release);
    d.Writer.join();
  }
  if (d.Fd >= 0) {
    ::close(d.Fd);
    d.Fd = -1;
  }
  d.Ring.reset();
}

std::string CapturePath(const char *pattern) {
  std::string path = pattern;
  const size_t at = path.find("%n");
  if (at != std::string::npos)
    path.replace(at, 2, std::to_string(CaptureCount.fetch_add(1) + 1));
  return path;
}

// Real time unless the environment says otherwise; 0 means unpaced.
double ReadSpeed() {
  const char *s = std::getenv("VELMORA_NULL_SPEED");
  if (!s || !*s)
    return 1.0;
  if (std::strcmp(s, "max") == 0)
    return 0.0;
  char *end = nullptr;
  const double v = std::strtod(s, &end);
  if (end == s || *end || !std::isfinite(v) || v < 0)
    return 1.0;
  return v < 1e-3 && v != 0 ? 1e-3 : v;
}

void *OpenNull(const DeviceEntry &, bool, int *error) {
  auto *d = new (std::nothrow) NullDevice;
  if (!d)
    *error = TESK_ERROR_MEM;
  return d;
}

void CloseNull(void *handle) {
  auto *d = static_cast<NullDevice *>(handle);
  EndCapture(*d);
  delete d;
}

bool CheckNullRate(void *, uint32_t rate) { return rate >= LeastRate && rate <= MostRate; }

uint32_t NullChannels(void *) { return 2; }

int PrepareNull(void *handle, const PlayRequest &request, PlayParams *params) {
  auto *d = static_cast<NullDevice *>(handle);
  if (request.Channels > 2)
    return TESK_ERROR_ILLPARAM;
  if (!CheckNullRate(d, request.Rate))
    return TESK_ERROR_FREQ;
  EndCapture(*d);
  d->Rate = request.Rate;
  const double speed = ReadSpeed();
  d->NsPerFrame = speed > 0 ? 1e9 / (double(request.Rate) * speed) : 0;
  d->FramesSinceBase = 0;
  d->BaseNs = NowNs();

  if (const char *pattern = std::getenv("VELMORA_NULL_CAPTURE"); pattern && *pattern) {
    const std::string path = CapturePath(pattern);
    d->Fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (d->Fd < 0)
      return TESK_ERROR_FILEOPEN;
    d->Ring.reset(new (std::nothrow) uint8_t[RingBytes]);
    if (!d->Ring) {
      EndCapture(*d);
      return TESK_ERROR_MEM;
    }
    std::memset(d->Ring.get(), 0, RingBytes); // touch it now, not in the output loop
    d->Head = 0, d->Tail = 0, d->DataBytes = 0, d->WriteFailed = false;
    d->WriterStop = false;
    uint8_t h[HeaderBytes];
    BuildWavHeader(h, d->Rate, 0);
    if (!WriteAll(d->Fd, h, HeaderBytes)) {
      EndCapture(*d);
      return TESK_ERROR_FILEOPEN;
    }
    try {
      d->Writer = std::thread(RunWriter, d);
    } catch (...) {
      EndCapture(*d);
      return TESK_ERROR_MEM;
    }
  }
  params->Format = SampleFormat::Float;
  params->Channels = 2;
  // 20 ms periods, like the ALSA devices.
  params->PeriodFrames = request.PeriodFrames ? request.PeriodFrames : std::max<uint32_t>(request.Rate / 50, 64);
  // An unpaced device runs flat out: never let it do that at real-time priority.
  params->Realtime = d->NsPerFrame > 0;
  return 0;
}

bool WriteNullPeriod(void *handle, const void *data, uint32_t frames, const std::atomic<bool> &stop) {
  auto *d = static_cast<NullDevice *>(handle);
  if (d->Ring) {
    const size_t bytes = size_t(frames) * FrameBytes;
    const uint64_t head = d->Head.load(std::memory_order_relaxed);
    // A full ring means the disk is slower than the music: wait for the writer
    // as a device would, rather than lose any of the capture.
    while (RingBytes - (head - d->Tail.load(std::memory_order_acquire)) < bytes) {
      timespec pause{0, 1'000'000};
      nanosleep(&pause, nullptr);
    }
    const size_t at = size_t(head % RingBytes);
    const size_t first = std::min(bytes, RingBytes - at);
    std::memcpy(d->Ring.get() + at, data, first);
    std::memcpy(d->Ring.get(), static_cast<const uint8_t *>(data) + first, bytes - first);
    d->Head.store(head + bytes, std::memory_order_release);
  }
  if (d->NsPerFrame == 0)
    return true;
  d->FramesSinceBase += frames;
  const int64_t due = d->BaseNs + int64_t(double(d->FramesSinceBase) * d->NsPerFrame);
  int64_t now = NowNs();
  if (now - due > LateLimitNs) {
    d->BaseNs = now, d->FramesSinceBase = 0;
    return true;
  }
  // Sleep in slices so that a stop is seen soon even at a slow speed.
  while (now < due && !stop.load(std::memory_order_acquire)) {
    SleepUntilNs(std::min(due, now + 50'000'000));
    now = NowNs();
  }
  return true;
}

void FinishNull(void *handle) { EndCapture(*static_cast<NullDevice *>(handle)); }

} // namespace

const OutputFuncs NullOutput = {OpenNull, CloseNull, CheckNullRate, NullChannels, PrepareNull, WriteNullPeriod, FinishNull};

} // namespace tesk
