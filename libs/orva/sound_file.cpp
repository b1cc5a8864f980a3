// WAV (RF64 and WAVE_FORMAT_EXTENSIBLE included) and AIFF/AIFF-C through
// libsndfile, reading over orva's own host files.
#include "orva_internal.h"

#include <sndfile.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <cstdio>

namespace orva {

struct SoundState {
  SNDFILE *File = nullptr;
  bool IsFloat = false;
  std::vector<int> Ints;
};

namespace {

sf_count_t SoundLength(void *user) {
  uint64_t end = HostFilePosition(user, ORVA_FILEPOS_END);
  // Still arriving with no length known: answer "large" so that libsndfile
  // believes the sizes in the header instead of cutting the data at what has
  // arrived so far.
  if (end == ~uint64_t(0))
    return INT64_MAX / 4;
  return end > uint64_t(INT64_MAX) ? INT64_MAX : sf_count_t(end);
}

sf_count_t SoundTell(void *user) { return sf_count_t(HostFilePosition(user, ORVA_FILEPOS_CURRENT)); }

sf_count_t SoundSeek(sf_count_t offset, int whence, void *user) {
  int64_t base = 0;
  if (whence == SEEK_CUR)
    base = SoundTell(user);
  else if (whence == SEEK_END)
    base = SoundLength(user);
  else if (whence != SEEK_SET)
    return -1;
  int64_t target;
  if (__builtin_add_overflow(base, int64_t(offset), &target) || target < 0)
    return -1;
  if (!SeekHostFile(user, uint64_t(target)))
    return -1;
  return target;
}

sf_count_t SoundRead(void *ptr, sf_count_t count, void *user) {
  sf_count_t done = 0;
  while (done < count) {
    uint32_t piece = uint32_t(std::min<sf_count_t>(count - done, 1 << 30));
    uint32_t n = ReadHostFile(user, static_cast<char *>(ptr) + done, piece);
    done += n;
    if (n < piece)
      break;
  }
  return done;
}

sf_count_t SoundWrite(const void *, sf_count_t, void *) { return 0; }

SF_VIRTUAL_IO SoundIo = {SoundLength, SoundSeek, SoundRead, SoundWrite, SoundTell};

// The sample rate an AIFF file's COMM chunk declares, as the 80-bit float it
// is stored as; NaN when it is not a usable rate, 0 when there is no COMM to
// look at. libsndfile turns a rate of 0, infinity or NaN into some positive
// number, which would play the file at a rate it never had.
double ReadAiffRate(HostFile *file) {
  uint8_t head[12];
  if (ReadHostFile(file, head, 12) != 12 || memcmp(head, "FORM", 4) ||
      (memcmp(head + 8, "AIFF", 4) && memcmp(head + 8, "AIFC", 4)))
    return 0;
  uint64_t at = 12;
  for (int chunks = 0; chunks < 4096; ++chunks) {
    uint8_t chunk[8];
    if (!SeekHostFile(file, at) || ReadHostFile(file, chunk, 8) != 8)
      return 0;
    const uint32_t size = uint32_t(chunk[4]) << 24 | uint32_t(chunk[5]) << 16 | uint32_t(chunk[6]) << 8 | chunk[7];
    if (!memcmp(chunk, "COMM", 4)) {
      uint8_t comm[18];
      if (size < 18 || ReadHostFile(file, comm, 18) != 18)
        return std::nan("");
      const uint32_t signExp = uint32_t(comm[8]) << 8 | comm[9];
      uint64_t mantissa = 0;
      for (int i = 10; i < 18; ++i)
        mantissa = mantissa << 8 | comm[i];
      if ((signExp & 0x8000) || (signExp & 0x7FFF) == 0x7FFF || mantissa == 0)
        return std::nan(""); // negative, infinite, NaN or zero
      return std::ldexp(double(mantissa), int(signExp & 0x7FFF) - 16383 - 63);
    }
    at += 8 + uint64_t(size) + (size & 1);
  }
  return 0;
}

bool IsArriving(HostFile *file) { return HostFilePosition(file, ORVA_FILEPOS_ARRIVING) != 0; }

} // namespace

// Only WAV, RF64 and AIFF reach libsndfile: it would otherwise try its other
// readers (MP3, Ogg, FLAC...) on every file a plug-in is meant to take.
static bool LooksLikeOurs(HostFile *file) {
  uint8_t head[12];
  if (ReadHostFile(file, head, 12) != 12)
    return false;
  if ((!memcmp(head, "RIFF", 4) || !memcmp(head, "RIFX", 4) || !memcmp(head, "RF64", 4)) &&
      !memcmp(head + 8, "WAVE", 4))
    return true;
  return !memcmp(head, "FORM", 4) && (!memcmp(head + 8, "AIFF", 4) || !memcmp(head + 8, "AIFC", 4));
}

bool OpenSoundStream(Stream &stream, HostFile *file) {
  if (!LooksLikeOurs(file)) {
    SetError(ORVA_ERROR_FILEFORM);
    return false;
  }
  if (!SeekHostFile(file, 0)) {
    SetError(ORVA_ERROR_FILEOPEN);
    return false;
  }
  const double aiffRate = ReadAiffRate(file);
  if (!SeekHostFile(file, 0)) {
    SetError(ORVA_ERROR_FILEOPEN);
    return false;
  }
  SF_INFO info{};
  SNDFILE *sf = sf_open_virtual(&SoundIo, SFM_READ, &info, file);
  if (!sf) {
    SetError(ORVA_ERROR_FILEFORM);
    return false;
  }
  const int major = info.format & SF_FORMAT_TYPEMASK;
  const int sub = info.format & SF_FORMAT_SUBMASK;
  int error = ORVA_OK;
  uint32_t bits = 0;
  switch (sub) {
  case SF_FORMAT_PCM_S8:
  case SF_FORMAT_PCM_U8:
    bits = 8;
    break;
  case SF_FORMAT_PCM_16:
    bits = 16;
    break;
  case SF_FORMAT_PCM_24:
    bits = 24;
    break;
  case SF_FORMAT_PCM_32:
  case SF_FORMAT_FLOAT:
    bits = 32;
    break;
  case SF_FORMAT_DOUBLE:
    bits = 64;
    break;
  default:
    error = ORVA_ERROR_CODEC; // a known container around an encoding we do not decode
  }
  // libsndfile reads many more containers; the others belong to plug-ins.
  if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX && major != SF_FORMAT_RF64 && major != SF_FORMAT_AIFF)
    error = ORVA_ERROR_FILEFORM;
  else if (info.channels <= 0 || info.samplerate <= 0 || info.frames < 0)
    error = ORVA_ERROR_FILEFORM;
  else if (major == SF_FORMAT_AIFF && !(aiffRate >= 1 && std::fabs(aiffRate - info.samplerate) <= 1))
    error = ORVA_ERROR_FILEFORM;
  if (error) {
    sf_close(sf);
    SetError(error);
    return false;
  }
  auto *state = new SoundState;
  state->File = sf;
  state->IsFloat = sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
  stream.Kind = StreamKind::Sound;
  stream.Sound = state;
  stream.Freq = uint32_t(info.samplerate);
  stream.Chans = uint32_t(info.channels);
  stream.OrigRes = bits;
  stream.Ctype = major == SF_FORMAT_AIFF ? ORVA_CTYPE_AIFF : state->IsFloat ? ORVA_CTYPE_WAV_FLOAT : ORVA_CTYPE_WAV;
  stream.Frames = uint64_t(info.frames);
  SetError(ORVA_OK);
  return true;
}

void CloseSoundStream(Stream &stream) {
  if (stream.Sound) {
    sf_close(stream.Sound->File);
    delete stream.Sound;
    stream.Sound = nullptr;
  }
}

uint32_t ReadSoundStream(Stream &stream, float *out, uint32_t frames) {
  SoundState &st = *stream.Sound;
  const uint32_t chans = stream.Chans;
  const uint32_t chunk = std::max<uint32_t>(1, ChunkFrames / std::max<uint32_t>(1, chans / 2));
  uint32_t done = 0;
  uint64_t at = stream.Position / OutputFrameBytes;
  while (done < frames && at < stream.Frames) {
    const uint32_t want = uint32_t(std::min<uint64_t>({frames - done, chunk, stream.Frames - at}));
    // Stereo needs no mixing: convert straight into the caller's buffer.
    float *samples = out + 2 * size_t(done);
    if (chans != 2) {
      stream.Samples.resize(size_t(chunk) * chans);
      samples = stream.Samples.data();
    }
    sf_count_t got;
    if (st.IsFloat) {
      got = sf_readf_float(st.File, samples, want);
    } else {
      // Integers arrive left-justified in 32 bits; value / 2^31 is the
      // source's value / 2^(bits-1), exact for up to 24 bits.
      st.Ints.resize(size_t(chunk) * chans);
      got = sf_readf_int(st.File, st.Ints.data(), want);
      const size_t n = size_t(std::max<sf_count_t>(got, 0)) * chans;
      for (size_t i = 0; i < n; ++i)
        samples[i] = float(st.Ints[i]) * (1.0f / 2147483648.0f);
    }
    if (got <= 0)
      got = 0;
    if (chans != 2)
      MixToStereo(samples, chans, uint32_t(got), out + 2 * size_t(done));
    done += uint32_t(got);
    at += uint64_t(got);
    if (uint32_t(got) < want) {
      if (IsArriving(stream.File)) {
        // The rest has not arrived; put the reader back on a frame boundary
        // so a partly read sample is read again later.
        sf_seek(st.File, sf_count_t(at), SEEK_SET);
      } else {
        stream.Ended = true; // the data stop before their declared size
      }
      break;
    }
  }
  if (at >= stream.Frames)
    stream.Ended = true;
  return done;
}

bool SeekSoundStream(Stream &stream, uint64_t frame) {
  if (sf_seek(stream.Sound->File, sf_count_t(frame), SEEK_SET) < 0) {
    SetError(ORVA_ERROR_POSITION);
    return false;
  }
  return true;
}

} // namespace orva
