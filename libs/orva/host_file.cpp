// Host files: every byte orva and its plug-ins read comes through here, so
// local files, memory blocks, caller callbacks and still-arriving data all
// look the same to a decoder.
#include "orva_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orva {

namespace {
constexpr uint64_t NoAnswer = ~uint64_t(0);
}

// UTF-16 names become UTF-8; unpaired surrogates turn into U+FFFD rather than
// producing invalid bytes.
std::string Utf16ToUtf8(const char16_t *s) {
  std::string out;
  for (size_t i = 0; s[i]; ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

namespace {

// Pulls whatever a buffered file's source has ready, without waiting, until
// `want` bytes are held or the source has nothing more for now.
void PullArrived(HostFile *f, uint64_t want) {
  uint8_t piece[16384];
  while (f->Arriving && f->Arrived.size() < want) {
    uint32_t n = f->Procs.read ? f->Procs.read(piece, sizeof piece, f->User) : ORVA_FILE_EOF;
    if (n == ORVA_FILE_EOF) {
      f->Arriving = false;
      break;
    }
    if (n == 0)
      break;
    n = std::min<uint32_t>(n, sizeof piece); // never trust a source to stay inside our buffer
    f->Arrived.insert(f->Arrived.end(), piece, piece + n);
  }
}

// End of the data in source offsets, or NoAnswer while unknown.
uint64_t SourceEnd(HostFile *f) {
  if (f->Kind != FileKind::Buffered)
    return f->Size;
  if (!f->Arriving)
    return f->Arrived.size();
  uint64_t n = f->Procs.length ? f->Procs.length(f->User) : 0;
  return n ? n : NoAnswer;
}

} // namespace

HOSTFILE OpenHostFile(int mem, const void *file, uint64_t offset, uint64_t length, uint32_t flags, int) {
  if (!file) {
    SetError(ORVA_ERROR_ILLPARAM);
    return nullptr;
  }
  auto f = std::make_unique<HostFile>();
  f->Flags = flags & ~ORVA_UNICODE;
  if (mem) {
    // A memory block of `length` bytes; offset picks where the file starts in it.
    if (length == 0 || offset > length) {
      SetError(ORVA_ERROR_ILLPARAM);
      return nullptr;
    }
    f->Kind = FileKind::Memory;
    f->Memory = static_cast<const uint8_t *>(file);
    f->Base = offset;
    f->Size = length - offset;
  } else {
    std::string name = (flags & ORVA_UNICODE) ? Utf16ToUtf8(static_cast<const char16_t *>(file))
                                              : std::string(static_cast<const char *>(file));
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (fd >= 0)
        close(fd);
      SetError(ORVA_ERROR_FILEOPEN);
      return nullptr;
    }
    uint64_t size = uint64_t(st.st_size);
    if (offset > size) {
      close(fd);
      SetError(ORVA_ERROR_FILEOPEN);
      return nullptr;
    }
    f->Kind = FileKind::Local;
    f->Descriptor = fd;
    f->Base = offset;
    f->Size = (length == 0 || length > size - offset) ? size - offset : length;
    f->Name = std::move(name);
  }
  SetError(ORVA_OK);
  return f.release();
}

HOSTFILE OpenHostUserFile(uint32_t system, uint32_t flags, const OrvaFileProcs *procs, void *user, int) {
  if (!procs || !procs->read || system > ORVA_FILESYSTEM_BUFFER ||
      (system == ORVA_FILESYSTEM_NOBUFFER && (!procs->length || !procs->seek))) {
    SetError(ORVA_ERROR_ILLPARAM);
    return nullptr;
  }
  auto f = std::make_unique<HostFile>();
  f->Flags = flags & ~ORVA_UNICODE;
  f->Procs = *procs;
  f->User = user;
  if (system == ORVA_FILESYSTEM_BUFFER) {
    f->Kind = FileKind::Buffered;
    f->Arriving = true;
    PullArrived(f.get(), 1);
  } else {
    f->Kind = FileKind::User;
    f->Size = procs->length(user);
    if (procs->seek(0, user) == 0) {
      SetError(ORVA_ERROR_FILEOPEN);
      return nullptr;
    }
  }
  SetError(ORVA_OK);
  return f.release();
}

HOSTFILE OpenHostURL(const char *, uint64_t, uint32_t, void *, void *, int) {
  // There is no network on this platform.
  SetError(ORVA_ERROR_FILEOPEN);
  return nullptr;
}

void CloseHostFile(HOSTFILE file) {
  auto *f = static_cast<HostFile *>(file);
  if (!f)
    return;
  if (f->Descriptor >= 0)
    close(f->Descriptor);
  if ((f->Kind == FileKind::User || f->Kind == FileKind::Buffered) && f->Procs.close)
    f->Procs.close(f->User);
  delete f;
}

uint32_t HostFileFlags(HOSTFILE file) {
  auto *f = static_cast<HostFile *>(file);
  if (!f)
    return 0;
  uint32_t flags = f->Flags;
  if (f->Kind == FileKind::Buffered) {
    PullArrived(f, NoAnswer);
    if (f->Arriving)
      flags |= ORVA_FILE_BUFFERED;
  }
  return flags;
}

uint32_t ReadHostFile(HOSTFILE file, void *buffer, uint32_t length) {
  auto *f = static_cast<HostFile *>(file);
  if (!f || (!buffer && length))
    return 0;
  uint32_t done = 0;
  switch (f->Kind) {
  case FileKind::Memory:
  case FileKind::Local: {
    uint64_t left = f->Position < f->Size ? f->Size - f->Position : 0;
    uint32_t want = uint32_t(std::min<uint64_t>(length, left));
    if (f->Kind == FileKind::Memory) {
      memcpy(buffer, f->Memory + f->Base + f->Position, want);
      done = want;
    } else {
      while (done < want) {
        ssize_t n = pread(f->Descriptor, static_cast<uint8_t *>(buffer) + done, want - done,
                          off_t(f->Base + f->Position + done));
        if (n < 0 && errno == EINTR)
          continue;
        if (n <= 0)
          break; // the file shrank or failed: a short read tells the decoder
        done += uint32_t(n);
      }
    }
    break;
  }
  case FileKind::User:
    while (done < length) {
      uint32_t n = f->Procs.read(static_cast<uint8_t *>(buffer) + done, length - done, f->User);
      if (n == 0 || n == ORVA_FILE_EOF)
        break;
      done += std::min(n, length - done);
    }
    break;
  case FileKind::Buffered:
    PullArrived(f, f->Position + length);
    if (f->Position < f->Arrived.size()) {
      done = uint32_t(std::min<uint64_t>(length, f->Arrived.size() - f->Position));
      memcpy(buffer, f->Arrived.data() + f->Position, done);
    }
    break;
  }
  f->Position += done;
  return done;
}

int SeekHostFile(HOSTFILE file, uint64_t offset) {
  auto *f = static_cast<HostFile *>(file);
  if (!f)
    return 0;
  if (offset > NoAnswer - f->Origin)
    return 0;
  uint64_t target = offset + f->Origin;
  switch (f->Kind) {
  case FileKind::Memory:
  case FileKind::Local:
    if (target > f->Size)
      return 0;
    break;
  case FileKind::User:
    if (target > f->Size || f->Procs.seek(target, f->User) == 0)
      return 0;
    break;
  case FileKind::Buffered:
    // Only within what has arrived; a plug-in that needs more reads its way forward.
    PullArrived(f, target);
    if (target > f->Arrived.size())
      return 0;
    break;
  }
  f->Position = target;
  return 1;
}

uint64_t HostFilePosition(HOSTFILE file, uint32_t mode) {
  auto *f = static_cast<HostFile *>(file);
  if (!f)
    return NoAnswer;
  uint64_t value;
  switch (mode) {
  case ORVA_FILEPOS_CURRENT:
    value = f->Position;
    break;
  case ORVA_FILEPOS_AVAILABLE:
    if (f->Kind == FileKind::Buffered) {
      PullArrived(f, NoAnswer);
      value = f->Arrived.size();
    } else {
      value = f->Size;
    }
    break;
  case ORVA_FILEPOS_END:
    if (f->Kind == FileKind::Buffered)
      PullArrived(f, NoAnswer);
    value = SourceEnd(f);
    if (value == NoAnswer)
      return NoAnswer;
    break;
  case ORVA_FILEPOS_ARRIVING:
    if (f->Kind != FileKind::Buffered)
      return 0;
    PullArrived(f, NoAnswer);
    return f->Arriving ? 1 : 0;
  default:
    return NoAnswer;
  }
  return value >= f->Origin ? value - f->Origin : 0;
}

int HostFileAtEnd(HOSTFILE file) {
  auto *f = static_cast<HostFile *>(file);
  if (!f)
    return 1;
  if (f->Kind == FileKind::Buffered) {
    PullArrived(f, f->Position + 1);
    return !f->Arriving && f->Position >= f->Arrived.size();
  }
  return f->Position >= f->Size;
}

void SetHostFileRate(HOSTFILE file, uint32_t, uint32_t start) {
  auto *f = static_cast<HostFile *>(file);
  if (f)
    f->Origin += start;
}

std::string NameOfHostFile(HOSTFILE file) {
  auto *f = static_cast<HostFile *>(file);
  return f ? f->Name : std::string();
}

} // namespace orva
