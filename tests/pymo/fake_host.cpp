#include "fake_host.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

namespace {

thread_local int LastError = 0;
std::mutex Lock;
std::vector<std::unique_ptr<FakeStream>> Streams;
std::vector<std::unique_ptr<FakeFile>> Files;

FakeFile *F(HOSTFILE file) { return static_cast<FakeFile *>(file); }

void HostSetError(int code) { LastError = code; }

HSTREAM HostCreateStream(uint32_t freq, uint32_t chans, uint32_t flags, OrvaStreamProc proc, void *user,
                         const OrvaPluginFuncs *funcs) {
  std::lock_guard<std::mutex> g(Lock);
  auto s = std::make_unique<FakeStream>();
  *s = {freq, chans, flags, proc, user, funcs};
  Streams.push_back(std::move(s));
  return static_cast<HSTREAM>(Streams.size());
}

HOSTFILE HostOpenFile(int mem, const void *file, uint64_t offset, uint64_t length, uint32_t, int) {
  std::vector<uint8_t> bytes;
  if (mem) {
    const auto *p = static_cast<const uint8_t *>(file);
    bytes.assign(p + offset, p + offset + length);
  } else {
    std::ifstream in(static_cast<const char *>(file), std::ios::binary);
    if (!in) {
      LastError = ORVA_ERROR_FILEOPEN;
      return nullptr;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  return FakeOpen(bytes);
}

void HostCloseFile(HOSTFILE file) { F(file)->closed = true; }
void HostSetFileStream(HOSTFILE file, HSTREAM handle) { F(file)->stream = handle; }
uint32_t HostFileFlags(HOSTFILE file) { return F(file)->buffered ? ORVA_FILE_BUFFERED : 0; }

uint32_t HostFileRead(HOSTFILE file, void *buffer, uint32_t length) {
  FakeFile *f = F(file);
  const uint64_t n = std::min<uint64_t>(length, f->arrived - std::min(f->pos, f->arrived));
  if (n) std::memcpy(buffer, f->data.data() + f->pos, n);
  f->pos += n;
  return static_cast<uint32_t>(n);
}

int HostFileSeek(HOSTFILE file, uint64_t offset) {
  FakeFile *f = F(file);
  if (offset > f->arrived) return 0;
  f->pos = offset;
  return 1;
}

uint64_t HostFilePosition(HOSTFILE file, uint32_t mode) {
  FakeFile *f = F(file);
  switch (mode) {
  case ORVA_FILEPOS_CURRENT: return f->pos;
  case ORVA_FILEPOS_AVAILABLE: return f->arrived;
  case ORVA_FILEPOS_END: return f->data.size();
  case ORVA_FILEPOS_ARRIVING: return f->arriving;
  }
  return UINT64_MAX;
}

int HostFileAtEnd(HOSTFILE file) { return F(file)->pos >= F(file)->data.size(); }

} // namespace

extern "C" const OrvaHostFunctions _ = {
    HostSetError, nullptr, HostCreateStream, {}, HostOpenFile, nullptr, nullptr, HostCloseFile, nullptr,
    HostSetFileStream, HostFileFlags, nullptr, HostFileRead, HostFileSeek, HostFilePosition, HostFileAtEnd,
    nullptr, nullptr,
};

FakeFile *FakeOpen(const std::vector<uint8_t> &bytes, bool buffered, uint64_t arrived) {
  std::lock_guard<std::mutex> g(Lock);
  auto f = std::make_unique<FakeFile>();
  f->data = bytes;
  f->buffered = buffered;
  f->arriving = buffered;
  f->arrived = buffered ? std::min<uint64_t>(arrived, bytes.size()) : bytes.size();
  Files.push_back(std::move(f));
  return Files.back().get();
}

void FakeArrive(FakeFile *f, uint64_t bytes, bool last) {
  f->arrived = std::min<uint64_t>(f->arrived + bytes, f->data.size());
  if (last) {
    f->arrived = f->data.size();
    f->arriving = false;
  }
}

FakeStream *FakeStreamOf(HSTREAM handle) {
  std::lock_guard<std::mutex> g(Lock);
  return handle && handle <= Streams.size() ? Streams[handle - 1].get() : nullptr;
}

void FakeStreamFree(HSTREAM handle) {
  FakeStream *s = FakeStreamOf(handle);
  s->funcs->Free(s->user);
  s->user = nullptr;
}

int FakeLastError() { return LastError; }

std::vector<uint8_t> ReadFileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
