#include "fake_host.h"

#include <algorithm>
#include <cstring>

#include "plugin.h"

int FakeLastError = 0;
bool FakeFailCreate = false;
std::vector<FakeStream> FakeStreams;
std::vector<FakeFile *> FakeOpened;

namespace {

FakeFile *F(HOSTFILE f) { return static_cast<FakeFile *>(f); }
uint64_t Size(const FakeFile *f) { return f->data.size() - std::min<uint64_t>(f->base, f->data.size()); }
uint64_t Avail(const FakeFile *f) {
  const uint64_t a = f->buffered ? f->available : f->data.size();
  return a > f->base ? a - f->base : 0;
}

void SetError(int code) { FakeLastError = code; }

HSTREAM CreateStream(uint32_t freq, uint32_t chans, uint32_t flags, OrvaStreamProc proc, void *user,
                     const OrvaPluginFuncs *funcs) {
  if (FakeFailCreate) {
    FakeLastError = ORVA_ERROR_MEM;
    return 0;
  }
  FakeStreams.push_back({freq, chans, flags, proc, user, funcs});
  return HSTREAM(FakeStreams.size());
}

HOSTFILE OpenFile(int mem, const void *file, uint64_t offset, uint64_t length, uint32_t, int) {
  if (!mem || !file) {
    FakeLastError = ORVA_ERROR_FILEOPEN;
    return nullptr;
  }
  const uint8_t *p = static_cast<const uint8_t *>(file) + offset;
  FakeFile *f = FakeFileFrom(std::vector<uint8_t>(p, p + length));
  FakeOpened.push_back(f);
  return f;
}

HOSTFILE OpenURL(const char *, uint64_t, uint32_t, void *, void *, int) {
  FakeLastError = ORVA_ERROR_FILEOPEN;
  return nullptr;
}

HOSTFILE OpenUserFile(uint32_t, uint32_t, const OrvaFileProcs *procs, void *user, int) {
  // The tests hand their bytes as the user pointer.
  if (!procs) return nullptr;
  FakeFile *f = FakeFileFrom(*static_cast<const std::vector<uint8_t> *>(user));
  FakeOpened.push_back(f);
  return f;
}

void CloseFile(HOSTFILE f) { F(f)->closed = true; }
void SetFileStream(HOSTFILE f, HSTREAM h) { F(f)->stream = h; }
uint32_t FileFlags(HOSTFILE f) { return (F(f)->buffered ? ORVA_FILE_BUFFERED : 0u) | F(f)->extraFlags; }

uint32_t FileRead(HOSTFILE hf, void *buffer, uint32_t length) {
  FakeFile *f = F(hf);
  const uint64_t avail = Avail(f);
  if (f->pos >= avail) return 0;
  const uint32_t n = uint32_t(std::min<uint64_t>(length, avail - f->pos));
  std::memcpy(buffer, f->data.data() + f->base + f->pos, n);
  f->pos += n;
  return n;
}

int FileSeek(HOSTFILE hf, uint64_t offset) {
  FakeFile *f = F(hf);
  if (!f->seekable) return 0;
  if (offset > (f->buffered ? Avail(f) : Size(f))) return 0;
  f->pos = offset;
  return 1;
}

uint64_t FilePosition(HOSTFILE hf, uint32_t mode) {
  FakeFile *f = F(hf);
  switch (mode) {
    case ORVA_FILEPOS_CURRENT: return f->pos;
    case ORVA_FILEPOS_AVAILABLE: return Avail(f);
    case ORVA_FILEPOS_END: return Size(f);
    case ORVA_FILEPOS_ARRIVING: return f->arriving ? 1 : 0;
    default: return UINT64_MAX;
  }
}

int FileAtEnd(HOSTFILE hf) { return F(hf)->pos >= Size(F(hf)); }

void FileSetRate(HOSTFILE hf, uint32_t rate, uint32_t start) {
  FakeFile *f = F(hf);
  f->rate = rate;
  f->base = start;
  f->pos = f->pos >= start ? f->pos - start : 0;
}

OrvaHostFunctions MakeTable() {
  OrvaHostFunctions t{};
  t.SetError = SetError;
  t.CreateStream = CreateStream;
  t.OpenFile = OpenFile;
  t.OpenURL = OpenURL;
  t.OpenUserFile = OpenUserFile;
  t.CloseFile = CloseFile;
  t.SetFileStream = SetFileStream;
  t.FileFlags = FileFlags;
  t.FileRead = FileRead;
  t.FileSeek = FileSeek;
  t.FilePosition = FilePosition;
  t.FileAtEnd = FileAtEnd;
  t.FileSetRate = FileSetRate;
  return t;
}

}  // namespace

const OrvaHostFunctions FakeHostTable = MakeTable();

FakeFile *FakeFileFrom(const std::vector<uint8_t> &bytes) {
  FakeFile *f = new FakeFile;
  f->data = bytes;
  f->available = bytes.size();
  return f;
}

void FakeHostCleanup() {
  for (FakeStream &s : FakeStreams)
    if (s.user) s.funcs->Free(s.user);
  FakeStreams.clear();
  for (FakeFile *f : FakeOpened) delete f;
  FakeOpened.clear();
}

void FakeHostReset() {
  FakeHostCleanup();
  AlacAttach(&FakeHostTable, ORVA_VERSION);
  FakeLastError = -12345;
  FakeFailCreate = false;
}
