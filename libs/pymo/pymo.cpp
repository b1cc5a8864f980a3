// pymo: FLAC streams for orva. libFLAC's stream decoder reads every byte
// through the host's file functions, so local files, memory blocks and
// buffered (still arriving) files behave alike.
//
// Native output, chosen by the stream flags:
//  - float (ORVA_SAMPLE_FLOAT): sample / 2^(bits-1); exact up to 24 bits.
//  - 16-bit: depths below 16 are shifted up (exact); deeper ones are rounded
//    to the nearest 16-bit value and saturated, so full-scale positives do not
//    wrap.
// Samples are interleaved in the file's own channel count; FLAC's order for
// 3 to 8 channels is already WAVE order, so nothing is reordered.
#include "pymo.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace {

// A FLAC block holds at most 65535 samples per channel, 8 channels, 4 bytes.
constexpr uint32_t MaxBlockSize = 65535;
constexpr uint32_t StreamFlagsMask = 0x3F24019Cu;

struct PymoStream {
  HSTREAM handle = 0;
  uint32_t flags = 0;
  HOSTFILE file = nullptr;
  FLAC__StreamDecoder *decoder = nullptr;
  bool bufferedFile = false;

  // From STREAMINFO.
  bool haveInfo = false;
  uint32_t rate = 0;
  uint32_t channels = 0;
  uint32_t bits = 0;
  uint32_t maxBlock = 0;
  uint32_t maxFrameBytes = 0; // 0 = not given
  uint64_t totalFrames = 0;   // sample frames; 0 = not known
  bool lengthKnown = false;

  uint32_t bytesPerSample = 2;
  uint32_t frameBytes = 0; // one sample frame of output
  uint64_t length = 0;     // bytes of output
  uint32_t avgByteRate = 0;
  float scale = 0.0f;

  // A decoded block that did not fit into the caller's buffer.
  std::vector<uint8_t> blockBuffer;
  uint32_t consumed = 0; // bytes of blockBuffer already handed out
  uint32_t buffered = 0; // bytes held in blockBuffer

  // Set around each decode so that a block that fits goes straight to the caller.
  uint8_t *direct = nullptr;
  uint32_t directRoom = 0;
  uint32_t directWritten = 0;

  bool counting = false; // the length pass only counts sample frames
  uint64_t countedFrames = 0;
  bool starved = false; // a read found no data while the file was still arriving
  bool ended = false;
};

bool FileArriving(const PymoStream *st) {
  return st->bufferedFile && _.FilePosition(st->file, ORVA_FILEPOS_ARRIVING) != 0;
}

uint64_t FileAvailable(const PymoStream *st) {
  const uint64_t avail = _.FilePosition(st->file, ORVA_FILEPOS_AVAILABLE);
  const uint64_t pos = _.FilePosition(st->file, ORVA_FILEPOS_CURRENT);
  if (avail == UINT64_MAX || pos == UINT64_MAX || avail < pos) return 0;
  return avail - pos;
}

// ---- libFLAC callbacks over the host file ------------------------------

FLAC__StreamDecoderReadStatus ReadCallback(const FLAC__StreamDecoder *, FLAC__byte buffer[], size_t *bytes,
                                           void *user) {
  auto *st = static_cast<PymoStream *>(user);
  size_t want = std::min<size_t>(*bytes, 1u << 20);
  // A buffered file's read may wait for data; libFLAC must never wait, so
  // ask only for what has arrived and give up this decode when nothing has.
  if (FileArriving(st)) {
    const uint64_t avail = FileAvailable(st);
    if (avail == 0) {
      st->starved = true;
      *bytes = 0;
      return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    want = std::min<uint64_t>(want, avail);
  }
  const uint32_t got = want ? _.FileRead(st->file, buffer, static_cast<uint32_t>(want)) : 0;
  if (got == 0 || got > want) {
    *bytes = 0;
    if (FileArriving(st)) {
      st->starved = true;
      return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
  }
  *bytes = got;
  return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderSeekStatus SeekCallback(const FLAC__StreamDecoder *, FLAC__uint64 offset, void *user) {
  auto *st = static_cast<PymoStream *>(user);
  return _.FileSeek(st->file, offset) ? FLAC__STREAM_DECODER_SEEK_STATUS_OK : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
}

FLAC__StreamDecoderTellStatus TellCallback(const FLAC__StreamDecoder *, FLAC__uint64 *offset, void *user) {
  auto *st = static_cast<PymoStream *>(user);
  const uint64_t pos = _.FilePosition(st->file, ORVA_FILEPOS_CURRENT);
  if (pos == UINT64_MAX) return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
  *offset = pos;
  return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus LengthCallback(const FLAC__StreamDecoder *, FLAC__uint64 *length, void *user) {
  auto *st = static_cast<PymoStream *>(user);
  const uint64_t end = _.FilePosition(st->file, ORVA_FILEPOS_END);
  if (end == UINT64_MAX || FileArriving(st)) return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
  *length = end;
  return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool EofCallback(const FLAC__StreamDecoder *, void *user) {
  auto *st = static_cast<PymoStream *>(user);
  if (FileArriving(st)) return false;
  return _.FileAtEnd(st->file) != 0;
}

void MetadataCallback(const FLAC__StreamDecoder *, const FLAC__StreamMetadata *meta, void *user) {
  auto *st = static_cast<PymoStream *>(user);
  if (meta->type != FLAC__METADATA_TYPE_STREAMINFO || st->haveInfo) return;
  const FLAC__StreamMetadata_StreamInfo &info = meta->data.stream_info;
  st->haveInfo = true;
  st->rate = info.sample_rate;
  st->channels = info.channels;
  st->bits = info.bits_per_sample;
  st->maxBlock = info.max_blocksize;
  st->maxFrameBytes = info.max_framesize;
  st->totalFrames = info.total_samples;
}

// Lost sync, bad CRCs and the like: libFLAC resynchronises on its own.
void ErrorCallback(const FLAC__StreamDecoder *, FLAC__StreamDecoderErrorStatus, void *) {}

// ---- conversion ---------------------------------------------------------

// Straight loops per channel count; the compiler keeps the common stereo case
// free of per-sample branches.
void ConvertFloat(float *out, const FLAC__int32 *const in[], uint32_t channels, uint32_t count, float scale) {
  if (channels == 2) {
    const FLAC__int32 *l = in[0], *r = in[1];
    for (uint32_t i = 0; i < count; i++) {
      out[2 * i] = static_cast<float>(l[i]) * scale;
      out[2 * i + 1] = static_cast<float>(r[i]) * scale;
    }
  } else if (channels == 1) {
    const FLAC__int32 *m = in[0];
    for (uint32_t i = 0; i < count; i++) out[i] = static_cast<float>(m[i]) * scale;
  } else {
    for (uint32_t c = 0; c < channels; c++) {
      const FLAC__int32 *s = in[c];
      float *o = out + c;
      for (uint32_t i = 0; i < count; i++) o[i * channels] = static_cast<float>(s[i]) * scale;
    }
  }
}

void ConvertShort(int16_t *out, const FLAC__int32 *const in[], uint32_t channels, uint32_t count, uint32_t bits) {
  if (bits <= 16) {
    const uint32_t shift = 16 - bits;
    for (uint32_t c = 0; c < channels; c++) {
      const FLAC__int32 *s = in[c];
      int16_t *o = out + c;
      for (uint32_t i = 0; i < count; i++)
        o[i * channels] = static_cast<int16_t>(static_cast<uint32_t>(s[i]) << shift);
    }
    return;
  }
  const uint32_t shift = bits - 16;
  const int64_t half = int64_t{1} << (shift - 1);
  for (uint32_t c = 0; c < channels; c++) {
    const FLAC__int32 *s = in[c];
    int16_t *o = out + c;
    for (uint32_t i = 0; i < count; i++) {
      const int64_t v = (static_cast<int64_t>(s[i]) + half) >> shift;
      o[i * channels] = static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
    }
  }
}

FLAC__StreamDecoderWriteStatus WriteCallback(const FLAC__StreamDecoder *, const FLAC__Frame *frame,
                                             const FLAC__int32 *const buffer[], void *user) {
  auto *st = static_cast<PymoStream *>(user);
  const FLAC__FrameHeader &h = frame->header;
  // A block that disagrees with STREAMINFO would not fit the stream's layout:
  // drop it rather than write a different shape into the caller's buffer.
  if (h.channels != st->channels || h.bits_per_sample != st->bits || h.sample_rate != st->rate ||
      h.blocksize == 0 || h.blocksize > MaxBlockSize)
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  if (st->counting) {
    st->countedFrames += h.blocksize;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }
  const uint32_t bytes = h.blocksize * st->frameBytes;
  uint8_t *target;
  if (bytes <= st->directRoom) {
    target = st->direct;
    st->direct += bytes;
    st->directRoom -= bytes;
    st->directWritten += bytes;
  } else {
    if (st->blockBuffer.size() < bytes) {
      try {
        st->blockBuffer.resize(bytes);
      } catch (const std::bad_alloc &) {
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
      }
    }
    target = st->blockBuffer.data();
    st->consumed = 0;
    st->buffered = bytes;
    // Later blocks of this decode may not jump ahead of the buffered one.
    st->directRoom = 0;
  }
  if (st->bytesPerSample == 4)
    ConvertFloat(reinterpret_cast<float *>(target), buffer, st->channels, h.blocksize, st->scale);
  else
    ConvertShort(reinterpret_cast<int16_t *>(target), buffer, st->channels, h.blocksize, st->bits);
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

// ---- the stream ----------------------------------------------------------

void DeleteStream(PymoStream *st) {
  if (!st) return;
  if (st->decoder) FLAC__stream_decoder_delete(st->decoder);
  delete st;
}

// Bytes a buffered file must have ready before the next block is decoded, so
// that libFLAC never runs dry in the middle of one: the worst case of a block
// stored verbatim (a side channel carries one extra bit), plus its header and
// footer.
uint64_t BlockBound(const PymoStream *st) {
  if (st->maxFrameBytes) return st->maxFrameBytes;
  const uint64_t block = st->maxBlock ? st->maxBlock : MaxBlockSize;
  return (block * st->channels * (st->bits + 1) + 7) / 8 + 64;
}

uint32_t DecodeProc(HSTREAM, void *buffer, uint32_t length, void *user) {
  auto *st = static_cast<PymoStream *>(user);
  auto *out = static_cast<uint8_t *>(buffer);
  uint32_t written = 0;
  if (length == 0) return 0;
  // Only whole sample frames are handed out.
  length -= length % st->frameBytes;
  while (written < length) {
    if (st->consumed < st->buffered) {
      const uint32_t n = std::min(length - written, st->buffered - st->consumed);
      std::memcpy(out + written, st->blockBuffer.data() + st->consumed, n);
      st->consumed += n;
      written += n;
      continue;
    }
    if (st->ended) break;
    if (st->starved) {
      // The partly read block is lost with libFLAC's input; it resumes at
      // the next frame that arrives.
      FLAC__stream_decoder_flush(st->decoder);
      st->starved = false;
    }
    if (FileArriving(st) && FileAvailable(st) < BlockBound(st)) return written;
    st->direct = out + written;
    st->directRoom = length - written;
    st->directWritten = 0;
    const bool ok = FLAC__stream_decoder_process_single(st->decoder);
    written += st->directWritten;
    st->direct = nullptr;
    st->directRoom = 0;
    if (st->starved) return written;
    if (!ok || FLAC__stream_decoder_get_state(st->decoder) == FLAC__STREAM_DECODER_END_OF_STREAM) st->ended = true;
  }
  if (st->ended && st->consumed >= st->buffered) return written | ORVA_STREAMPROC_END;
  return written;
}

void FreeStream(void *inst) {
  // The file belongs to the host stream; the host closes it.
  DeleteStream(static_cast<PymoStream *>(inst));
}

// A file whose STREAMINFO leaves the length open is counted at creation;
// only a buffered one, which cannot be read ahead, has no length to give.
uint64_t GetLength(void *inst, uint32_t mode) {
  auto *st = static_cast<PymoStream *>(inst);
  if (mode != ORVA_POS_BYTE || !st->lengthKnown) {
    _.SetError(ORVA_ERROR_NOTAVAIL);
    return UINT64_MAX;
  }
  _.SetError(ORVA_OK);
  return st->length;
}

void GetInfo(void *inst, OrvaChannelInfo *info) {
  auto *st = static_cast<PymoStream *>(inst);
  info->ctype = ORVA_CTYPE_FLAC;
  info->origres = st->bits;
}

int CanSetPosition(void *inst, uint64_t pos, uint32_t mode) {
  auto *st = static_cast<PymoStream *>(inst);
  if ((mode & 0xFF) != ORVA_POS_BYTE) {
    _.SetError(ORVA_ERROR_NOTAVAIL);
    return 0;
  }
  // libFLAC seeks by bisecting the whole file, which a file still arriving
  // cannot offer.
  if (!st->lengthKnown || pos >= st->length || FileArriving(st)) {
    _.SetError(ORVA_ERROR_POSITION);
    return 0;
  }
  _.SetError(ORVA_OK);
  return 1;
}

uint64_t SetPosition(void *inst, uint64_t pos, uint32_t) {
  auto *st = static_cast<PymoStream *>(inst);
  if (!st->lengthKnown || pos >= st->length || FileArriving(st)) {
    _.SetError(ORVA_ERROR_POSITION);
    return UINT64_MAX;
  }
  const uint64_t frame = pos / st->frameBytes;
  st->consumed = st->buffered = 0;
  st->ended = false;
  st->starved = false;
  const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(st->decoder);
  if (state == FLAC__STREAM_DECODER_ABORTED || state == FLAC__STREAM_DECODER_SEEK_ERROR)
    FLAC__stream_decoder_flush(st->decoder);
  // libFLAC hands the block holding the target, cut to start there, to the
  // write callback during the seek; it lands in blockBuffer.
  if (!FLAC__stream_decoder_seek_absolute(st->decoder, frame)) {
    FLAC__stream_decoder_flush(st->decoder);
    st->consumed = st->buffered = 0;
    st->ended = true;
    _.SetError(ORVA_ERROR_POSITION);
    return UINT64_MAX;
  }
  return frame * st->frameBytes;
}

int GetAttribute(void *inst, uint32_t attrib, float *value, int write) {
  auto *st = static_cast<PymoStream *>(inst);
  if (attrib != ORVA_ATTRIB_BITRATE) {
    _.SetError(ORVA_ERROR_ILLTYPE);
    return 0;
  }
  if (write) {
    _.SetError(ORVA_ERROR_NOTAVAIL);
    return 0;
  }
  *value = static_cast<float>(st->avgByteRate) * 0.008f;
  _.SetError(ORVA_OK);
  return 1;
}

const OrvaPluginFuncs FunctionTable = {
    0,       FreeStream,     GetLength,   nullptr, nullptr, GetInfo, CanSetPosition, SetPosition,
    nullptr, nullptr,        nullptr,     nullptr, nullptr, GetAttribute, nullptr,
};

const OrvaPluginForm Forms[] = {{ORVA_CTYPE_FLAC, "FLAC", "*.flac"}};
const OrvaPluginInfo PluginInfo = {ORVA_VERSION, 1, Forms};

// The file must begin with "fLaC", or with an ID3v2 tag followed by it;
// anything else is refused before libFLAC would scan it for a sync code.
bool CheckSignature(HOSTFILE file) {
  uint8_t head[10];
  if (_.FileRead(file, head, 4) != 4) return false;
  if (std::memcmp(head, "fLaC", 4) == 0) return true;
  if (std::memcmp(head, "ID3", 3) != 0) return false;
  if (_.FileRead(file, head + 4, 6) != 6) return false;
  if ((head[6] | head[7] | head[8] | head[9]) & 0x80) return false;
  uint64_t skip = (uint64_t{head[6]} << 21) | (uint64_t{head[7]} << 14) | (uint64_t{head[8]} << 7) | head[9];
  skip += 10 + ((head[5] & 0x10) ? 10 : 0);
  if (!_.FileSeek(file, skip)) return false;
  return _.FileRead(file, head, 4) == 4 && std::memcmp(head, "fLaC", 4) == 0;
}

// Counts the sample frames of a file whose STREAMINFO leaves them open, by
// decoding it once; then rewinds to its first frame.
bool CountFrames(PymoStream *st) {
  st->counting = true;
  st->countedFrames = 0;
  const bool ok = FLAC__stream_decoder_process_until_end_of_stream(st->decoder);
  st->counting = false;
  if (!ok && FLAC__stream_decoder_get_state(st->decoder) != FLAC__STREAM_DECODER_END_OF_STREAM) return false;
  st->totalFrames = st->countedFrames;
  if (!FLAC__stream_decoder_reset(st->decoder)) return false;
  return FLAC__stream_decoder_process_until_end_of_metadata(st->decoder);
}

} // namespace

HSTREAM PymoCreateStream(HOSTFILE file, uint32_t flags) {
  const uint32_t fileFlags = _.FileFlags(file);
  if (!CheckSignature(file) || !_.FileSeek(file, 0)) {
    _.SetError(ORVA_ERROR_FILEFORM);
    return 0;
  }
  auto *st = new (std::nothrow) PymoStream;
  if (!st) {
    _.SetError(ORVA_ERROR_MEM);
    return 0;
  }
  st->file = file;
  st->bufferedFile = (fileFlags & ORVA_FILE_BUFFERED) != 0;
  st->decoder = FLAC__stream_decoder_new();
  if (!st->decoder) {
    DeleteStream(st);
    _.SetError(ORVA_ERROR_MEM);
    return 0;
  }
  FLAC__stream_decoder_set_md5_checking(st->decoder, false);
  if (FLAC__stream_decoder_init_stream(st->decoder, ReadCallback, SeekCallback, TellCallback, LengthCallback,
                                       EofCallback, WriteCallback, MetadataCallback, ErrorCallback,
                                       st) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    DeleteStream(st);
    _.SetError(ORVA_ERROR_MEM);
    return 0;
  }
  const bool metaOk = FLAC__stream_decoder_process_until_end_of_metadata(st->decoder);
  if (st->starved) {
    // A buffered file whose header has not arrived yet.
    DeleteStream(st);
    _.SetError(ORVA_ERROR_NOTAVAIL);
    return 0;
  }
  if (!metaOk || !st->haveInfo || st->channels < 1 || st->channels > 8 || st->bits < 4 || st->bits > 32 ||
      st->rate == 0) {
    DeleteStream(st);
    _.SetError(ORVA_ERROR_FILEFORM);
    return 0;
  }
  uint64_t dataStart = 0;
  if (!FLAC__stream_decoder_get_decode_position(st->decoder, &dataStart)) dataStart = 0;

  st->flags = (flags & StreamFlagsMask) | (fileFlags & 0x100000u);
  st->bytesPerSample = (st->flags & ORVA_SAMPLE_FLOAT) ? 4 : 2;
  st->frameBytes = st->channels * st->bytesPerSample;
  st->scale = std::ldexp(1.0f, -static_cast<int>(st->bits - 1));

  if (st->totalFrames == 0 && !st->bufferedFile) {
    if (!CountFrames(st)) {
      DeleteStream(st);
      _.SetError(ORVA_ERROR_FILEFORM);
      return 0;
    }
  }
  st->lengthKnown = st->totalFrames != 0 || !st->bufferedFile;
  st->length = st->totalFrames * st->frameBytes;

  const uint64_t fileEnd = _.FilePosition(file, ORVA_FILEPOS_END);
  if (st->totalFrames && fileEnd != UINT64_MAX && fileEnd > dataStart) {
    const unsigned __int128 rate = static_cast<unsigned __int128>(fileEnd - dataStart) * st->rate / st->totalFrames;
    st->avgByteRate = static_cast<uint32_t>(std::min<unsigned __int128>(rate, UINT32_MAX));
  }

  st->handle = _.CreateStream(st->rate, st->channels, st->flags, DecodeProc, st, &FunctionTable);
  if (!st->handle) {
    DeleteStream(st);
    return 0;
  }
  _.SetFileStream(file, st->handle);
  _.SetError(ORVA_OK);
  return st->handle;
}

extern "C" {

ORVA_EXPORT HSTREAM Orva_FLAC_StreamCreateFile(int mem, const void *file, uint64_t offset, uint64_t length,
                                               uint32_t flags) {
  HOSTFILE hf = _.OpenFile(mem, file, offset, length, flags, 0);
  if (!hf) return 0;
  const HSTREAM handle = PymoCreateStream(hf, flags);
  if (!handle) _.CloseFile(hf);
  return handle;
}

ORVA_EXPORT const void *Orvaplugin(uint32_t face) {
  if (face == 0) return &PluginInfo;
  if (face == 1) return reinterpret_cast<const void *>(&PymoCreateStream);
  return nullptr;
}
}
