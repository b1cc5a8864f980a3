// Stream creation, full decode and a seek over arbitrary file bytes. The first
// five bytes choose the host (orva itself, or a stand-in whose files can be
// buffered, still arriving or unseekable), the output format and the seek
// target.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "alac_stream.h"
#include "fake_host.h"
#include "plugin.h"

namespace {

void ThroughOrva(const uint8_t *file, size_t size, uint32_t flags, uint32_t seekTo) {
  AlacAttach(&_, ORVA_VERSION);
  const HSTREAM h = Orva_ALAC_StreamCreateFile(1, file, 0, size, flags | ORVA_STREAM_DECODE);
  if (!h) return;
  std::vector<float> buf(16384);
  for (int calls = 0; calls < 64; calls++) {
    const uint32_t n = Orva_ChannelGetData(h, buf.data(), calls % 3 == 2 ? 8 : uint32_t(buf.size() * 4));
    if (n == UINT32_MAX || n == 0) break;
  }
  if (Orva_ChannelSetPosition(h, uint64_t(seekTo) * 8, ORVA_POS_BYTE)) Orva_ChannelGetData(h, buf.data(), 4096);
  float v;
  Orva_ChannelGetAttribute(h, ORVA_ATTRIB_BITRATE, &v);
  Orva_StreamFree(h);
}

void ThroughFakeHost(const uint8_t *file, size_t size, uint8_t options, uint32_t seekTo) {
  FakeHostReset();
  FakeFile *f = FakeFileFrom(std::vector<uint8_t>(file, file + size));  // exact size: overreads show
  FakeOpened.push_back(f);
  f->buffered = options & 2;
  f->seekable = !(options & 4);
  if (options & 8) {  // still arriving, with part of the file not there yet
    f->arriving = true;
    f->available = f->data.size() * (options >> 4) / 16;
  }
  const HSTREAM h = AlacCreateStream(f, (options & 1) ? ORVA_SAMPLE_FLOAT : 0);
  if (h) {
    const FakeStream &s = FakeStreams[h - 1];
    std::vector<uint8_t> buf(65536 + 3);
    // Bounded: a tiny file may still describe hours of audio.
    for (int calls = 0; calls < 64; calls++) {
      const uint32_t ask = calls % 3 == 2 ? 7 : uint32_t(buf.size());
      const uint32_t r = s.proc(h, buf.data(), ask, s.user);
      if (r & ORVA_STREAMPROC_END || (r == 0 && f->arriving)) break;
    }
    if (s.funcs->CanSetPosition(s.user, seekTo, 0) || (options & 0x10)) {
      if (s.funcs->SetPosition(s.user, seekTo, 0) != UINT64_MAX) s.proc(h, buf.data(), uint32_t(buf.size()), s.user);
    }
    float v;
    s.funcs->GetAttribute(s.user, ORVA_ATTRIB_BITRATE, &v, 0);
    s.funcs->GetLength(s.user, 0);
  }
  FakeHostCleanup();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 5) return 0;
  const uint8_t options = data[0];
  uint32_t seekTo;
  std::memcpy(&seekTo, data + 1, 4);
  if ((options & 0x0E) == 0x0E)
    ThroughOrva(data + 5, size - 5, (options & 1) ? ORVA_SAMPLE_FLOAT : 0, seekTo);
  else
    ThroughFakeHost(data + 5, size - 5, options, seekTo);
  return 0;
}
