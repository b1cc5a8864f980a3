// Stream creation, full decode and a seek over arbitrary file bytes. The first
// five bytes choose the output format, the file's kind and the seek target.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "alac_stream.h"
#include "fake_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 5) return 0;
  const uint8_t options = data[0];
  uint32_t seekTo;
  std::memcpy(&seekTo, data + 1, 4);
  FakeHostReset();
  FakeFile *f = FakeFileFrom(std::vector<uint8_t>(data + 5, data + size));
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
  return 0;
}
