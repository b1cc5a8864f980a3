#include "alac_stream.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "plugin.h"

const OrvaPluginFuncs AlacFunctionTable = {
    0,       AlacFreeStream,     AlacGetLength,     nullptr, nullptr, AlacGetInfo, AlacCanSetPosition,
    AlacGotoPosition, nullptr, nullptr, nullptr,     nullptr, nullptr, AlacGetAttribute, nullptr,
};

namespace {

constexpr uint32_t StreamFlagMask = 0x3F24019Cu;
constexpr uint32_t FileFlagCarried = 0x100000u;

inline uint32_t BytesPerSample(const AlacInstance *s) { return (s->flags & ORVA_SAMPLE_FLOAT) ? 4 : 2; }

void DestroyInstance(AlacInstance *s) {
  if (s->decoder) {
    AlacDecoderFree(s->decoder);
    delete s->decoder;
  }
  std::free(s->readBuffer);
  std::free(s->frameBuffer);
  delete s;
}

// Larger frames than this cannot come from the configuration (an uncompressed
// frame of 32-bit samples plus generous room for data and fill elements), so
// their sizes are not allowed to drive an allocation.
uint64_t MaxFrameBytes(const AlacConfig &c) {
  return uint64_t(c.numChannels) * (uint64_t(c.frameLength) * 4 + 16) + 65536;
}

}  // namespace

HSTREAM AlacCreateStream(HOSTFILE file, uint32_t flags) {
  const OrvaHostFunctions *h = HostFunctionTable;
  if (PluginRefused) {
    h->SetError(ORVA_ERROR_FILEFORM);
    return 0;
  }
  const uint32_t fileFlags = h->FileFlags(file);
  uint8_t head[12];
  if (h->FileRead(file, head, 12) != 12 || std::memcmp(head + 4, "ftyp", 4) != 0 ||
      (std::memcmp(head + 8, "M4A ", 4) != 0 && std::memcmp(head + 8, "M4V ", 4) != 0)) {
    h->SetError(ORVA_ERROR_FILEFORM);
    return 0;
  }
  h->FileSeek(file, 0);

  AlacInstance *s = new (std::nothrow) AlacInstance{};
  if (!s) {
    h->SetError(ORVA_ERROR_MEM);
    return 0;
  }
  s->file = file;
  const int walk = Mp4ReadFile(file, &s->track, fileFlags & ORVA_FILE_BUFFERED);
  if (walk <= 0) {
    DestroyInstance(s);
    h->SetError(walk < 0 ? ORVA_ERROR_BUFFERED_INDEX : ORVA_ERROR_FILEFORM);
    return 0;
  }

  s->decoder = new (std::nothrow) AlacDecoder{};
  if (!s->decoder || s->track.codecConfig.empty() ||
      AlacDecoderInit(s->decoder, s->track.codecConfig.data(), uint32_t(s->track.codecConfig.size())) != ALAC_OK) {
    DestroyInstance(s);
    h->SetError(ORVA_ERROR_FILEFORM);
    return 0;
  }
  const AlacConfig &cfg = s->decoder->config;

  const uint32_t streamFlags = (flags & StreamFlagMask) | (fileFlags & FileFlagCarried);
  s->flags = streamFlags;
  const uint32_t bps = BytesPerSample(s);
  // Allocated before the host stream exists, so a failure leaves nothing behind.
  s->frameBuffer = static_cast<uint8_t *>(std::malloc(size_t(cfg.numChannels) * cfg.frameLength * bps));
  if (!s->frameBuffer) {
    DestroyInstance(s);
    h->SetError(ORVA_ERROR_MEM);
    return 0;
  }

  const HSTREAM handle = h->CreateStream(cfg.sampleRate, cfg.numChannels, streamFlags, AlacDecodeProc, s,
                                         &AlacFunctionTable);
  if (!handle) {
    DestroyInstance(s);
    return 0;
  }
  s->handle = handle;

  // Only frames the time-to-sample table covers count; the stream ends at the
  // first one it does not.
  uint64_t totalFrames = 0, totalBytes = 0;
  for (uint32_t i = 0; i < Mp4SampleCount(&s->track); i++) {
    uint32_t duration, size;
    if (!Mp4GetSampleInfo(&s->track, i, &duration, &size)) break;
    totalFrames += duration;
    totalBytes += size;
  }
  s->length = uint64_t(cfg.numChannels) * bps * totalFrames;
  s->avgByteRate =
      totalFrames ? uint32_t((unsigned __int128)cfg.sampleRate * totalBytes / totalFrames) : 0;
  s->nextFrame = 0;
  s->mediaStart = uint32_t(h->FilePosition(file, ORVA_FILEPOS_CURRENT));

  h->SetFileStream(file, handle);
  if (fileFlags & ORVA_FILE_BUFFERED) {
    h->FileSetRate(file, s->avgByteRate, s->mediaStart);
    s->fileBase = s->mediaStart;
    s->mediaStart = 0;
  }
  h->SetError(ORVA_OK);
  return handle;
}

namespace {

// File offset of frame i in the host's current offsets, or -1.
int64_t FrameOffset(const AlacInstance *s, uint32_t i) {
  const int64_t offset = Mp4GetSampleOffset(&s->track, i);
  if (offset < 0 || uint64_t(offset) < s->fileBase) return -1;
  return offset - s->fileBase;
}

void CopyFrames(AlacInstance *s, uint8_t *dst, uint32_t samples) {
  const uint32_t bps = BytesPerSample(s);
  const uint32_t chans = s->decoder->config.numChannels;
  const uint8_t *src = s->frameBuffer + size_t(s->consumed) * bps;
  static const uint8_t Order6[6] = {1, 2, 0, 5, 3, 4};
  static const uint8_t Order8[8] = {3, 4, 0, 7, 5, 6, 1, 2};
  const uint8_t *order = chans == 6 ? Order6 : chans == 8 ? Order8 : nullptr;
  if (!order) {
    std::memcpy(dst, src, size_t(samples) * bps);
    return;
  }
  for (uint32_t f = 0; f < samples / chans; f++, src += chans * bps, dst += chans * bps)
    for (uint32_t k = 0; k < chans; k++) std::memcpy(dst + k * bps, src + order[k] * bps, bps);
}

}  // namespace

uint32_t AlacDecodeProc(HSTREAM, void *buffer, uint32_t length, void *user) {
  AlacInstance *s = static_cast<AlacInstance *>(user);
  const OrvaHostFunctions *h = HostFunctionTable;
  const AlacConfig &cfg = s->decoder->config;
  const uint32_t bps = BytesPerSample(s);
  const uint32_t chans = cfg.numChannels;
  const bool floatOut = s->flags & ORVA_SAMPLE_FLOAT;
  uint8_t *out = static_cast<uint8_t *>(buffer);
  uint32_t written = 0;
  if (length == 0) return 0;

  while (written < length) {
    if (s->consumed == s->buffered) {
      const uint32_t i = s->nextFrame;
      uint32_t duration, size;
      if (!Mp4GetSampleInfo(&s->track, i, &duration, &size))
        return written | ORVA_STREAMPROC_END;
      if (size > MaxFrameBytes(cfg)) return written | ORVA_STREAMPROC_END;

      const bool arriving = h->FilePosition(s->file, ORVA_FILEPOS_ARRIVING) != 0;
      int64_t offset = -1;
      if (!s->track.chunkOffsets.empty()) {
        offset = FrameOffset(s, i);
        if (offset < 0) return written | ORVA_STREAMPROC_END;
        // Still arriving: wait for the whole frame instead of failing the seek.
        if (arriving && h->FilePosition(s->file, ORVA_FILEPOS_AVAILABLE) < uint64_t(offset) + size) return written;
        if (FileSeekForward(s->file, uint64_t(offset)) != 0) return written | ORVA_STREAMPROC_END;
      }
      if (s->readCapacity < size || !s->readBuffer) {
        uint8_t *grown = static_cast<uint8_t *>(std::realloc(s->readBuffer, size_t(size) + 4));
        if (!grown) return written | ORVA_STREAMPROC_END;
        s->readBuffer = grown;
        s->readCapacity = size;
      }
      if (arriving) {
        const uint32_t available = uint32_t(h->FilePosition(s->file, ORVA_FILEPOS_AVAILABLE) -
                                            h->FilePosition(s->file, ORVA_FILEPOS_CURRENT));
        if (available < size) return written;
      }
      if (h->FileRead(s->file, s->readBuffer, size) != size) return written | ORVA_STREAMPROC_END;
      s->nextFrame = i + 1;

      BitReader bits;
      BitReaderInit(&bits, s->readBuffer, size);
      const uint32_t frameBytes = chans * cfg.frameLength * bps;
      const bool direct = chans < 6 && length - written >= frameBytes &&
                          reinterpret_cast<uintptr_t>(out + written) % bps == 0;
      void *target = direct ? static_cast<void *>(out + written) : s->frameBuffer;
      uint32_t decoded = 0;
      const int32_t r = AlacDecodeFrame(s->decoder, &bits, target, cfg.frameLength, chans, &decoded, floatOut);
      s->consumed = 0;
      if (r != ALAC_OK) {
        s->buffered = 0;  // a bad frame gives no output
        continue;
      }
      s->buffered = decoded * chans;
      if (direct) {
        written += s->buffered * bps;
        s->buffered = 0;
        continue;
      }
    }
    // Whole sample frames only, so the reordering never splits one.
    uint32_t n = (length - written) / bps;
    if (n > s->buffered - s->consumed) n = s->buffered - s->consumed;
    n -= n % chans;
    if (n == 0) return written;  // less than a sample frame of room left
    CopyFrames(s, out + written, n);
    written += n * bps;
    s->consumed += n;
  }
  return written;
}

int64_t AlacLocateFrame(AlacInstance *s, uint64_t target, bool checkOnly) {
  const OrvaHostFunctions *h = HostFunctionTable;
  uint64_t offset = s->mediaStart, start = 0;
  uint32_t i = 0;
  for (;; i++) {
    uint32_t duration, size;
    if (!Mp4GetSampleInfo(&s->track, i, &duration, &size)) return -1;
    if (start + duration > target) break;
    start += duration;
    offset += size;
  }
  if (!s->track.chunkOffsets.empty()) {
    const int64_t o = FrameOffset(s, i);
    if (o < 0) return -1;
    offset = uint64_t(o);
  }
  if (checkOnly) {
    const uint64_t limit = (h->FileFlags(s->file) & ORVA_FILE_BUFFERED)
                               ? h->FilePosition(s->file, ORVA_FILEPOS_AVAILABLE)
                               : h->FilePosition(s->file, ORVA_FILEPOS_END);
    return offset < limit ? 1 : 0;
  }
  if (FileSeekForward(s->file, offset) != 0) return -1;
  s->nextFrame = i;
  return int64_t(start);
}

void AlacFreeStream(void *inst) { DestroyInstance(static_cast<AlacInstance *>(inst)); }

uint64_t AlacGetLength(void *inst, uint32_t mode) {
  if (mode != ORVA_POS_BYTE) {
    HostFunctionTable->SetError(ORVA_ERROR_NOTAVAIL);
    return UINT64_MAX;
  }
  HostFunctionTable->SetError(ORVA_OK);
  return static_cast<AlacInstance *>(inst)->length;
}

void AlacGetInfo(void *inst, OrvaChannelInfo *info) {
  info->ctype = ORVA_CTYPE_ALAC;
  info->origres = static_cast<AlacInstance *>(inst)->decoder->config.bitDepth;
}

int AlacCanSetPosition(void *inst, uint64_t position, uint32_t mode) {
  AlacInstance *s = static_cast<AlacInstance *>(inst);
  const OrvaHostFunctions *h = HostFunctionTable;
  if ((mode & 0xFF) != ORVA_POS_BYTE) {
    h->SetError(ORVA_ERROR_NOTAVAIL);
    return 0;
  }
  h->SetError(ORVA_OK);
  const uint64_t frameBytes = uint64_t(s->decoder->config.numChannels) * BytesPerSample(s);
  if (position >= s->length || AlacLocateFrame(s, position / frameBytes, true) <= 0) {
    h->SetError(ORVA_ERROR_POSITION);
    return 0;
  }
  return 1;
}

uint64_t AlacGotoPosition(void *inst, uint64_t position, uint32_t) {
  AlacInstance *s = static_cast<AlacInstance *>(inst);
  s->consumed = s->buffered = 0;
  const uint64_t frameBytes = uint64_t(s->decoder->config.numChannels) * BytesPerSample(s);
  const int64_t r = AlacLocateFrame(s, position / frameBytes, false);
  if (r < 0) {
    HostFunctionTable->SetError(ORVA_ERROR_POSITION);
    return UINT64_MAX;
  }
  return uint64_t(r) * frameBytes;
}

int AlacGetAttribute(void *inst, uint32_t attrib, float *value, int write) {
  const OrvaHostFunctions *h = HostFunctionTable;
  if (attrib != ORVA_ATTRIB_BITRATE) {
    h->SetError(ORVA_ERROR_ILLTYPE);
    return 0;
  }
  if (write) {
    h->SetError(ORVA_ERROR_NOTAVAIL);
    return 0;
  }
  // In double: 0.008f is not exact and would put 800 kbit/s at 800.00006.
  *value = float(double(static_cast<AlacInstance *>(inst)->avgByteRate) * 0.008);
  h->SetError(ORVA_OK);
  return 1;
}
