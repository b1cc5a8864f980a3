// ALSA devices: the hardware playback devices and "default". Rates are checked
// with the PCM's resampler switched off, so a device (or a plug chain in front
// of it) only says yes to rates it plays as they are.
#include "tesk.h"
#include "tesk_internal.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdio>

namespace tesk {

namespace {

struct AlsaDevice {
  snd_pcm_t *Pcm = nullptr;
  uint32_t FrameBytes = 0;
};

const struct {
  snd_pcm_format_t Alsa;
  SampleFormat Native;
} Formats[] = {
    {SND_PCM_FORMAT_FLOAT_LE, SampleFormat::Float}, {SND_PCM_FORMAT_S32_LE, SampleFormat::S32},
    {SND_PCM_FORMAT_S24_LE, SampleFormat::S24},     {SND_PCM_FORMAT_S24_3LE, SampleFormat::S24Packed},
    {SND_PCM_FORMAT_S16_LE, SampleFormat::S16},
};

// Period and buffer: long enough that a normal-priority thread on a busy
// machine keeps up, short enough that a stop does not cut off much of what
// was already delivered.
constexpr unsigned PeriodMicroseconds = 20000;
constexpr unsigned PeriodsPerBuffer = 4;

// Restricts a fresh configuration space to what we can play: interleaved,
// at least two channels, one of our formats, no resampling.
bool RestrictSpace(snd_pcm_t *pcm, snd_pcm_hw_params_t *hw, uint32_t channels) {
  if (snd_pcm_hw_params_any(pcm, hw) < 0)
    return false;
  snd_pcm_hw_params_set_rate_resample(pcm, hw, 0);
  if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0)
    return false;
  unsigned least = channels;
  if (snd_pcm_hw_params_set_channels_min(pcm, hw, &least) < 0)
    return false;
  snd_pcm_format_mask_t *mask;
  snd_pcm_format_mask_alloca(&mask);
  snd_pcm_format_mask_none(mask);
  for (const auto &f : Formats)
    snd_pcm_format_mask_set(mask, f.Alsa);
  return snd_pcm_hw_params_set_format_mask(pcm, hw, mask) >= 0;
}

void *OpenAlsa(const DeviceEntry &entry, bool, int *error) {
  snd_pcm_t *pcm = nullptr;
  // Non-blocking, so that a device held by another program is refused at
  // once instead of waited for; writes wait with snd_pcm_wait instead.
  if (snd_pcm_open(&pcm, entry.Pcm.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
    *error = TESK_ERROR_DRIVER;
    return nullptr;
  }
  auto *dev = new (std::nothrow) AlsaDevice;
  if (!dev) {
    snd_pcm_close(pcm);
    *error = TESK_ERROR_MEM;
    return nullptr;
  }
  dev->Pcm = pcm;
  return dev;
}

void CloseAlsa(void *handle) {
  auto *dev = static_cast<AlsaDevice *>(handle);
  snd_pcm_close(dev->Pcm);
  delete dev;
}

bool CheckAlsaRate(void *handle, uint32_t rate) {
  auto *dev = static_cast<AlsaDevice *>(handle);
  snd_pcm_hw_params_t *hw;
  snd_pcm_hw_params_alloca(&hw);
  if (!RestrictSpace(dev->Pcm, hw, 2))
    return false;
  return snd_pcm_hw_params_test_rate(dev->Pcm, hw, rate, 0) == 0;
}

uint32_t AlsaChannels(void *handle) {
  auto *dev = static_cast<AlsaDevice *>(handle);
  snd_pcm_hw_params_t *hw;
  snd_pcm_hw_params_alloca(&hw);
  unsigned most = 0;
  if (!RestrictSpace(dev->Pcm, hw, 2) || snd_pcm_hw_params_get_channels_max(hw, &most) < 0)
    return 0;
  return most;
}

int PrepareAlsa(void *handle, const PlayRequest &request, PlayParams *params) {
  auto *dev = static_cast<AlsaDevice *>(handle);
  snd_pcm_t *pcm = dev->Pcm;
  snd_pcm_hw_params_t *hw;
  snd_pcm_hw_params_alloca(&hw);
  if (!RestrictSpace(pcm, hw, request.Channels))
    return TESK_ERROR_FORMAT;
  if (snd_pcm_hw_params_set_rate(pcm, hw, request.Rate, 0) < 0)
    return TESK_ERROR_FREQ;
  unsigned channels = 0;
  if (snd_pcm_hw_params_set_channels_first(pcm, hw, &channels) < 0)
    return TESK_ERROR_DRIVER;
  const SampleFormat *native = nullptr;
  for (const auto &f : Formats)
    if (snd_pcm_hw_params_set_format(pcm, hw, f.Alsa) >= 0) {
      native = &f.Native;
      break;
    }
  if (!native)
    return TESK_ERROR_FORMAT;
  int dir = 0;
  if (request.PeriodFrames) {
    snd_pcm_uframes_t period = request.PeriodFrames;
    snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &dir);
  } else {
    unsigned periodTime = PeriodMicroseconds;
    snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodTime, &dir);
  }
  unsigned periods = PeriodsPerBuffer;
  snd_pcm_hw_params_set_periods_near(pcm, hw, &periods, &dir);
  if (snd_pcm_hw_params(pcm, hw) < 0)
    return TESK_ERROR_DRIVER;

  snd_pcm_uframes_t period = 0, buffer = 0;
  snd_pcm_hw_params_get_period_size(hw, &period, &dir);
  snd_pcm_hw_params_get_buffer_size(hw, &buffer);
  if (period == 0 || period > 1u << 20)
    return TESK_ERROR_DRIVER;

  snd_pcm_sw_params_t *sw;
  snd_pcm_sw_params_alloca(&sw);
  snd_pcm_sw_params_current(pcm, sw);
  // Start only once the buffer is full, so the first periods cannot underrun.
  snd_pcm_sw_params_set_start_threshold(pcm, sw, buffer);
  snd_pcm_sw_params_set_avail_min(pcm, sw, period);
  if (snd_pcm_sw_params(pcm, sw) < 0 || snd_pcm_prepare(pcm) < 0)
    return TESK_ERROR_DRIVER;

  dev->FrameBytes = channels * SampleBytes(*native);
  params->Format = *native;
  params->Channels = channels;
  params->PeriodFrames = uint32_t(period);
  // A file or null PCM takes data as fast as it comes: a real-time thread
  // feeding it would starve the machine.
  const snd_pcm_type_t type = snd_pcm_type(pcm);
  params->Realtime = type != SND_PCM_TYPE_FILE && type != SND_PCM_TYPE_NULL;
  return 0;
}

bool WriteAlsaPeriod(void *handle, const void *data, uint32_t frames, const std::atomic<bool> &stop) {
  auto *dev = static_cast<AlsaDevice *>(handle);
  const auto *p = static_cast<const uint8_t *>(data);
  while (frames > 0) {
    if (stop.load(std::memory_order_acquire))
      return true;
    const snd_pcm_sframes_t n = snd_pcm_writei(dev->Pcm, p, frames);
    if (n >= 0) {
      p += size_t(n) * dev->FrameBytes;
      frames -= uint32_t(n);
      continue;
    }
    if (n == -EAGAIN) {
      // A bounded wait: a device that stops taking data must not keep Stop
      // from returning.
      const int w = snd_pcm_wait(dev->Pcm, 200);
      if (w >= 0)
        continue;
      if (snd_pcm_recover(dev->Pcm, w, 1) < 0)
        return false;
      continue;
    }
    // Underrun or suspend: recover and go on; anything else means the device
    // is gone (unplugged, or taken away).
    if (snd_pcm_recover(dev->Pcm, int(n), 1) < 0)
      return false;
  }
  return true;
}

void FinishAlsa(void *handle) {
  // Stop at once: what is still buffered is at most a few periods.
  snd_pcm_drop(static_cast<AlsaDevice *>(handle)->Pcm);
}

std::string CardDeviceName(const char *card, const char *pcm, int cardNo, int devNo) {
  char id[32];
  std::snprintf(id, sizeof id, "hw:%d,%d", cardNo, devNo);
  std::string name = card;
  if (pcm && *pcm)
    name += std::string(", ") + pcm;
  return name + " (" + id + ")";
}

} // namespace

const OutputFuncs AlsaOutput = {OpenAlsa, CloseAlsa, CheckAlsaRate, AlsaChannels, PrepareAlsa, WriteAlsaPeriod, FinishAlsa};

void ListAlsaDevices(std::vector<DeviceEntry> &list, size_t maxHardware) {
  size_t hardware = 0;
  int card = -1;
  snd_pcm_info_t *info;
  snd_pcm_info_alloca(&info);
  snd_ctl_card_info_t *cardInfo;
  snd_ctl_card_info_alloca(&cardInfo);
  while (hardware < maxHardware && snd_card_next(&card) == 0 && card >= 0) {
    char ctlName[32];
    std::snprintf(ctlName, sizeof ctlName, "hw:%d", card);
    snd_ctl_t *ctl = nullptr;
    if (snd_ctl_open(&ctl, ctlName, 0) < 0)
      continue;
    const char *cardName = "Card";
    if (snd_ctl_card_info(ctl, cardInfo) == 0)
      cardName = snd_ctl_card_info_get_name(cardInfo);
    int device = -1;
    while (hardware < maxHardware && snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0) {
      snd_pcm_info_set_device(info, unsigned(device));
      snd_pcm_info_set_subdevice(info, 0);
      snd_pcm_info_set_stream(info, SND_PCM_STREAM_PLAYBACK);
      if (snd_ctl_pcm_info(ctl, info) < 0)
        continue; // capture-only device
      DeviceEntry e;
      e.Name = CardDeviceName(cardName, snd_pcm_info_get_name(info), card, device);
      e.Name16 = ToUtf16(e.Name);
      char pcmName[32];
      std::snprintf(pcmName, sizeof pcmName, "hw:%d,%d", card, device);
      e.Pcm = pcmName;
      e.Funcs = &AlsaOutput;
      list.push_back(std::move(e));
      ++hardware;
    }
    snd_ctl_close(ctl);
  }
  DeviceEntry def;
  def.Name = "ALSA default device";
  def.Name16 = ToUtf16(def.Name);
  def.Pcm = "default";
  def.Funcs = &AlsaOutput;
  list.push_back(std::move(def));
}

} // namespace tesk
