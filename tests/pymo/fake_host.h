// A stand-in for orva's host table, so that the plug-in's own output (its
// native format and channel count) can be checked sample by sample and its
// buffered-file behaviour driven step by step. Files live in memory; a
// buffered file hands out only the bytes that have "arrived".
#pragma once
#include "pymo.h"

#include <cstdint>
#include <string>
#include <vector>

struct FakeFile {
  std::vector<uint8_t> data;
  uint64_t pos = 0;
  uint64_t arrived = 0; // bytes readable so far
  bool buffered = false;
  bool arriving = false;
  bool closed = false;
  HSTREAM stream = 0;
};

struct FakeStream {
  uint32_t freq = 0, chans = 0, flags = 0;
  OrvaStreamProc proc = nullptr;
  void *user = nullptr;
  const OrvaPluginFuncs *funcs = nullptr;
};

// Returns a host file over a copy of bytes; buffered files start with
// `arrived` bytes and are still arriving.
FakeFile *FakeOpen(const std::vector<uint8_t> &bytes, bool buffered = false, uint64_t arrived = 0);
void FakeArrive(FakeFile *f, uint64_t bytes, bool last);
FakeStream *FakeStreamOf(HSTREAM handle);
void FakeStreamFree(HSTREAM handle); // Free through the operations table, then close the file
int FakeLastError();
std::vector<uint8_t> ReadFileBytes(const std::string &path);
