// A stand-in for orva's host table: memory files that may be "buffered" (data
// still arriving, no seeking past what has come), and streams recorded so the
// test can call the plug-in's callback and operations itself.
#ifndef ULDA_FAKE_HOST_H
#define ULDA_FAKE_HOST_H

#include <cstdint>
#include <vector>

#include "orva.h"

struct FakeFile {
  std::vector<uint8_t> data;
  uint64_t pos = 0;         // in the host's offsets (after rebasing)
  uint64_t base = 0;        // set by FileSetRate
  uint64_t available = 0;   // absolute; data.size() when not buffered
  bool buffered = false;    // HostFileFlags bit 0
  bool arriving = false;    // HostFilePosition mode 4
  bool seekable = true;     // buffered files seek only inside what has arrived
  uint32_t extraFlags = 0;
  uint32_t rate = 0;
  HSTREAM stream = 0;
  bool closed = false;
};

struct FakeStream {
  uint32_t freq, chans, flags;
  OrvaStreamProc proc;
  void *user;
  const OrvaPluginFuncs *funcs;
};

extern const OrvaHostFunctions FakeHostTable;
extern int FakeLastError;
extern bool FakeFailCreate;  // HostCreateStream answers 0
extern std::vector<FakeStream> FakeStreams;  // handle h is FakeStreams[h - 1]
extern std::vector<FakeFile *> FakeOpened;   // files opened through the table

FakeFile *FakeFileFrom(const std::vector<uint8_t> &bytes);
// Attaches the plug-in to the fake host (version 2.4) and forgets old streams.
void FakeHostReset();
// Frees what the fake host and the plug-in still hold.
void FakeHostCleanup();

#endif
