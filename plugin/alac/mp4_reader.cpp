#include "mp4_reader.h"

#include <cstring>
#include <new>

#include "plugin.h"

namespace {

struct Mp4Reader {
  HOSTFILE file;
  Mp4Track *track;
  int32_t mediaDataPos;  // -1: none saved
};

inline uint32_t BE32(const uint8_t *p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// A short read leaves zeros, which every caller treats as a bad size or type.
uint32_t ReadBE32(HOSTFILE file) {
  uint8_t b[4] = {0, 0, 0, 0};
  HostFunctionTable->FileRead(file, b, 4);
  return BE32(b);
}

bool ReadBytes(HOSTFILE file, void *dst, uint32_t n) { return HostFunctionTable->FileRead(file, dst, n) == n; }

bool IsType(const uint8_t *type, const char *name) { return std::memcmp(type, name, 4) == 0; }

// Reads count entries of entryBytes each. The vector grows only as data really
// arrives, so a count that the file cannot back never turns into a huge
// allocation.
bool ReadTableBytes(HOSTFILE file, uint32_t count, uint32_t entryBytes, std::vector<uint8_t> *out) {
  out->clear();
  uint64_t left = uint64_t(count) * entryBytes;
  while (left > 0) {
    const uint32_t piece = left < 65536 ? uint32_t(left) : 65536u;
    const size_t at = out->size();
    out->resize(at + piece);
    if (!ReadBytes(file, out->data() + at, piece)) return false;
    left -= piece;
  }
  return true;
}

int SkipRest(HOSTFILE file, uint64_t payload, uint64_t used) {
  if (used > payload) return 1;
  return used == payload ? 0 : FileSkip(file, int64_t(payload - used));
}

// Each table box: payload counts the bytes after the 8-byte header.
bool ReadStts(Mp4Reader *r, uint32_t payload) {
  if (payload < 8) return false;
  ReadBE32(r->file);  // version and flags
  const uint32_t n = ReadBE32(r->file);
  if (uint64_t(n) * 8 > payload - 8) return false;
  std::vector<uint8_t> raw;
  if (!ReadTableBytes(r->file, n, 8, &raw)) return false;
  auto &t = r->track->timeToSample;
  t.resize(n);
  for (uint32_t i = 0; i < n; i++) t[i] = {BE32(&raw[8 * i]), BE32(&raw[8 * i + 4])};
  return SkipRest(r->file, payload, 8 + uint64_t(n) * 8) == 0;
}

bool ReadStsz(Mp4Reader *r, uint32_t payload) {
  if (payload < 12) return false;
  ReadBE32(r->file);
  const uint32_t uniform = ReadBE32(r->file);
  const uint32_t n = ReadBE32(r->file);
  auto &t = r->track->sampleSizes;
  t.clear();
  r->track->uniformSize = r->track->uniformCount = 0;
  if (uniform != 0) {
    // Frames cannot lie beyond the end of the file.
    const uint64_t end = HostFunctionTable->FilePosition(r->file, ORVA_FILEPOS_END);
    const uint64_t fits = end == UINT64_MAX ? 0 : end / uniform;
    r->track->uniformSize = uniform;
    r->track->uniformCount = uint32_t(n < fits ? n : fits);
    return SkipRest(r->file, payload, 12) == 0;
  }
  if (uint64_t(n) * 4 > payload - 12) return false;
  std::vector<uint8_t> raw;
  if (!ReadTableBytes(r->file, n, 4, &raw)) return false;
  t.resize(n);
  for (uint32_t i = 0; i < n; i++) t[i] = BE32(&raw[4 * i]);
  return SkipRest(r->file, payload, 12 + uint64_t(n) * 4) == 0;
}

bool ReadStco(Mp4Reader *r, uint32_t payload) {
  if (payload < 8) return false;
  ReadBE32(r->file);
  const uint32_t n = ReadBE32(r->file);
  if (uint64_t(n) * 4 > payload - 8) return false;
  std::vector<uint8_t> raw;
  if (!ReadTableBytes(r->file, n, 4, &raw)) return false;
  auto &t = r->track->chunkOffsets;
  t.resize(n);
  for (uint32_t i = 0; i < n; i++) t[i] = BE32(&raw[4 * i]);
  return SkipRest(r->file, payload, 8 + uint64_t(n) * 4) == 0;
}

bool ReadStsc(Mp4Reader *r, uint32_t payload) {
  if (payload < 8) return false;
  ReadBE32(r->file);
  const uint32_t n = ReadBE32(r->file);
  if (uint64_t(n) * 12 > payload - 8) return false;
  std::vector<uint8_t> raw;
  if (!ReadTableBytes(r->file, n, 12, &raw)) return false;
  auto &t = r->track->sampleToChunk;
  t.resize(n);
  for (uint32_t i = 0; i < n; i++) t[i] = {BE32(&raw[12 * i]), BE32(&raw[12 * i + 4])};
  return SkipRest(r->file, payload, 8 + uint64_t(n) * 12) == 0;
}

constexpr uint32_t SampleEntryHeader = 36;

bool ReadStsd(Mp4Reader *r, uint32_t payload) {
  if (payload < 8 + SampleEntryHeader) return false;
  ReadBE32(r->file);
  if (ReadBE32(r->file) != 1) return false;
  const uint32_t entrySize = ReadBE32(r->file);
  uint8_t format[4] = {0, 0, 0, 0};
  ReadBytes(r->file, format, 4);
  if (!IsType(format, "alac")) return false;
  if (entrySize < SampleEntryHeader || entrySize > payload - 8) return false;
  uint8_t rest[SampleEntryHeader - 8];  // reserved, reference index, version, vendor, channels, bits, rate
  if (!ReadBytes(r->file, rest, sizeof rest)) return false;
  std::vector<uint8_t> &config = r->track->codecConfig;
  if (!ReadTableBytes(r->file, entrySize - SampleEntryHeader, 1, &config)) return false;
  return SkipRest(r->file, payload, 8 + uint64_t(entrySize)) == 0;
}

// Child box header inside a parent with `remaining` bytes left. False when the
// header does not describe a box that fits.
bool ReadChild(HOSTFILE file, uint64_t remaining, uint32_t *size, uint8_t type[4]) {
  if (remaining < 8) return false;
  *size = ReadBE32(file);
  std::memset(type, 0, 4);
  ReadBytes(file, type, 4);
  return *size >= 8 && *size <= remaining;
}

bool ReadStbl(Mp4Reader *r, uint32_t size) {
  uint64_t remaining = size - 8;
  while (remaining) {
    uint32_t csize;
    uint8_t type[4];
    if (!ReadChild(r->file, remaining, &csize, type)) return false;
    const uint32_t payload = csize - 8;
    bool ok;
    if (IsType(type, "stsd"))
      ok = ReadStsd(r, payload);
    else if (IsType(type, "stts"))
      ok = ReadStts(r, payload);
    else if (IsType(type, "stsc"))
      ok = ReadStsc(r, payload);
    else if (IsType(type, "stsz"))
      ok = ReadStsz(r, payload);
    else if (IsType(type, "stco"))
      ok = ReadStco(r, payload);
    else
      ok = false;  // 64-bit offsets, sync samples, groups: not a track we can play
    if (!ok) return false;
    remaining -= csize;
  }
  return true;
}

bool ReadMinf(Mp4Reader *r, uint32_t size) {
  uint64_t remaining = size - 8;
  while (remaining) {
    uint32_t csize;
    uint8_t type[4];
    if (!ReadChild(r->file, remaining, &csize, type)) return false;
    remaining -= csize;
    if (IsType(type, "stbl")) {
      if (!ReadStbl(r, csize)) return false;
      return remaining == 0 || FileSkip(r->file, int64_t(remaining)) == 0;
    }
    if (FileSkip(r->file, csize - 8) != 0) return false;
  }
  return false;
}

bool ReadMdia(Mp4Reader *r, uint32_t size) {
  uint64_t remaining = size - 8;
  while (remaining) {
    uint32_t csize;
    uint8_t type[4];
    if (!ReadChild(r->file, remaining, &csize, type)) return false;
    if (IsType(type, "minf")) {
      if (!ReadMinf(r, csize)) return false;
    } else if (IsType(type, "mdhd") || IsType(type, "hdlr")) {
      if (FileSkip(r->file, csize - 8) != 0) return false;
    } else {
      return false;
    }
    remaining -= csize;
  }
  return true;
}

bool ReadTrak(Mp4Reader *r, uint32_t size) {
  uint64_t remaining = size - 8;
  while (remaining) {
    uint32_t csize;
    uint8_t type[4];
    if (!ReadChild(r->file, remaining, &csize, type)) return false;
    if (IsType(type, "mdia")) {
      if (!ReadMdia(r, csize)) return false;
    } else if (FileSkip(r->file, csize - 8) != 0) {
      return false;
    }
    remaining -= csize;
  }
  return true;
}

bool ReadMoov(Mp4Reader *r, uint32_t size) {
  const OrvaHostFunctions *h = HostFunctionTable;
  bool found = false;
  uint64_t remaining = size - 8;
  while (remaining) {
    uint32_t csize;
    uint8_t type[4];
    if (!ReadChild(r->file, remaining, &csize, type)) return false;
    if (IsType(type, "trak") && !found) {
      const uint64_t trakStart = h->FilePosition(r->file, ORVA_FILEPOS_CURRENT);
      // An abandoned track must not leave its tables to the next one.
      *r->track = Mp4Track{};
      if (ReadTrak(r, csize)) {
        found = true;
      } else {
        *r->track = Mp4Track{};
        if (FileSeekForward(r->file, trakStart + csize - 8) != 0) return false;
      }
    } else if (FileSkip(r->file, csize - 8) != 0) {
      return false;
    }
    remaining -= csize;
  }
  return found;
}

int ReadTopLevel(Mp4Reader *r, bool buffered) {
  const OrvaHostFunctions *h = HostFunctionTable;
  HOSTFILE file = r->file;
  bool moovSeen = false, mdatSeen = false;
  uint32_t size = ReadBE32(file);
  if (h->FileAtEnd(file)) return 0;
  for (;;) {
    if (size < 8) return 0;  // no 64-bit or open-ended sizes
    uint8_t type[4] = {0, 0, 0, 0};
    ReadBytes(file, type, 4);
    if (IsType(type, "ftyp")) {
      // Any brand: the box is consumed whole either way.
      if (size < 12) return 0;
      ReadBE32(file);
      if (FileSkip(file, int64_t(size) - 12) != 0) return 0;
    } else if (IsType(type, "mdat")) {
      if (buffered && !moovSeen) return -1;
      if (moovSeen) return 1;
      if (size > 8) {
        const uint64_t here = h->FilePosition(file, ORVA_FILEPOS_CURRENT);
        if (here > INT32_MAX) return 0;
        r->mediaDataPos = int32_t(here);
        if (FileSkip(file, int64_t(size) - 8) != 0) return 0;
      }
      mdatSeen = true;
    } else if (IsType(type, "moov")) {
      if (!ReadMoov(r, size)) return 0;
      const Mp4Track *t = r->track;
      if (!t->chunkOffsets.empty()) return FileSeekForward(file, t->chunkOffsets[0]) == 0 ? 1 : 0;
      if (mdatSeen) {
        if (r->mediaDataPos < 0) return 0;
        return FileSeekForward(file, uint64_t(r->mediaDataPos)) == 0 ? 1 : 0;
      }
      moovSeen = true;
    } else if (FileSkip(file, int64_t(size) - 8) != 0) {
      return 0;
    }
    size = ReadBE32(file);
    if (h->FileAtEnd(file)) return 0;
  }
}

}  // namespace

int Mp4ReadFile(HOSTFILE file, Mp4Track *track, bool buffered) {
  *track = Mp4Track{};
  Mp4Reader r{file, track, -1};
  int result;
  try {
    result = ReadTopLevel(&r, buffered);
  } catch (const std::bad_alloc &) {
    result = 0;
  }
  if (result != 1) *track = Mp4Track{};
  return result;
}

uint32_t Mp4SampleCount(const Mp4Track *track) {
  return track->uniformSize ? track->uniformCount : uint32_t(track->sampleSizes.size());
}

bool Mp4GetSampleInfo(const Mp4Track *track, uint32_t i, uint32_t *duration, uint32_t *size) {
  if (i >= Mp4SampleCount(track)) return false;
  const auto &stts = track->timeToSample;
  size_t entry = 0;
  uint64_t first = 0;
  if (track->cursorEntry < stts.size() && i >= track->cursorFirst) {
    entry = track->cursorEntry;
    first = track->cursorFirst;
  }
  for (; entry < stts.size(); first += stts[entry].sampleCount, entry++) {
    if (i < first + stts[entry].sampleCount) {
      track->cursorEntry = uint32_t(entry);
      track->cursorFirst = first;
      *duration = stts[entry].sampleDuration;
      *size = track->uniformSize ? track->uniformSize : track->sampleSizes[i];
      return true;
    }
  }
  return false;
}

int64_t Mp4GetSampleOffset(const Mp4Track *track, uint32_t i) {
  const auto &stsc = track->sampleToChunk;
  const auto &stco = track->chunkOffsets;
  if (stsc.empty() || stco.empty()) return -1;
  uint64_t chunk = 1, perChunk = 0, left = i;
  for (const Mp4SampleToChunk &e : stsc) {
    // A table whose first chunks go backwards counts as ending here.
    if (e.firstChunk < chunk) break;
    const uint64_t span = (e.firstChunk - chunk) * perChunk;
    if (left < span) break;
    chunk = e.firstChunk;
    perChunk = e.samplesPerChunk;
    left -= span;
  }
  if (perChunk != 0) {
    chunk += left / perChunk;
    left %= perChunk;
  }
  if (chunk == 0 || chunk > stco.size()) return -1;
  uint64_t offset = stco[chunk - 1];
  if (left == 0) return int64_t(offset);
  // Samples before i in the same chunk: they are covered whenever i - 1 is.
  uint32_t duration, size;
  if (!Mp4GetSampleInfo(track, i - 1, &duration, &size)) return -1;
  if (track->uniformSize) return int64_t(offset + left * track->uniformSize);
  for (uint32_t s = i - uint32_t(left); s < i; s++) offset += track->sampleSizes[s];
  return int64_t(offset);
}

void Mp4FreeTrack(Mp4Track *track) { *track = Mp4Track{}; }
