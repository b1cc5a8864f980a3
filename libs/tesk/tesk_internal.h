// What tesk's parts share: sample conversion, and the record of functions
// each kind of output device (ALSA, Null) provides to the common output loop.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tesk {

// Native sample formats, in the order we prefer them on a device.
enum class SampleFormat { Float, S32, S24, S24Packed, S16 };

uint32_t SampleBytes(SampleFormat format);

// Converts frames of inChannels floats into frames of outChannels native
// samples, the input landing at channel offset onward and every other
// channel silent. Values beyond +-1 clip; NaN becomes silence. No scaling
// beyond the exact power of two, so 16- and 24-bit sources stay bit-exact.
void ConvertFrames(const float *in, uint32_t frames, uint32_t inChannels, uint32_t outChannels, uint32_t offset,
                   SampleFormat format, void *out);

struct DeviceEntry {
  std::string Name;
  std::u16string Name16;
  std::string Pcm; // ALSA PCM name, or "null"
  const struct OutputFuncs *Funcs;
};

// Asked of a device when it starts playing.
struct PlayRequest {
  uint32_t Rate;
  uint32_t Channels;     // the device needs at least this many
  uint32_t PeriodFrames; // 0 = the device's choice
};

// What the device settled on.
struct PlayParams {
  SampleFormat Format;
  uint32_t Channels;
  uint32_t PeriodFrames;
  bool Realtime; // the output thread should ask for real-time priority
};

// One kind of output device. Open returns a handle (null with *error set);
// Prepare returns 0 or an error code; WritePeriod blocks until the device
// took the period (or stop was asked for) and returns false once the device
// is gone; Finish ends playing after the output thread has ended.
struct OutputFuncs {
  void *(*Open)(const DeviceEntry &entry, bool play, int *error);
  void (*Close)(void *dev);
  bool (*CheckRate)(void *dev, uint32_t rate);
  uint32_t (*Channels)(void *dev); // most output channels it has
  int (*Prepare)(void *dev, const PlayRequest &request, PlayParams *params);
  bool (*WritePeriod)(void *dev, const void *data, uint32_t frames, const std::atomic<bool> &stop);
  void (*Finish)(void *dev);
};

extern const OutputFuncs AlsaOutput;
extern const OutputFuncs NullOutput;

// Appends the ALSA hardware playback devices (at most max of them) and the
// ALSA default device.
void ListAlsaDevices(std::vector<DeviceEntry> &list, size_t maxHardware);

std::u16string ToUtf16(const std::string &utf8);

} // namespace tesk
