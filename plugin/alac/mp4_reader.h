// MP4/M4A container reader: finds the first ALAC track, loads its sample
// tables and codec configuration, and locates each frame.
#ifndef ULDA_MP4_READER_H
#define ULDA_MP4_READER_H

#include <cstdint>
#include <vector>

#include "orva.h"

struct Mp4TimeToSample {
  uint32_t sampleCount;
  uint32_t sampleDuration;
};

struct Mp4SampleToChunk {
  uint32_t firstChunk;  // 1-based
  uint32_t samplesPerChunk;
};

struct Mp4Track {
  std::vector<Mp4TimeToSample> timeToSample;
  std::vector<uint32_t> sampleSizes;
  std::vector<uint32_t> chunkOffsets;  // empty: frames follow one another from the media start
  std::vector<Mp4SampleToChunk> sampleToChunk;
  std::vector<uint8_t> codecConfig;
  // An "stsz" box with one size for every sample has no table; the count is
  // kept instead, limited to what the file could hold.
  uint32_t uniformSize;
  uint32_t uniformCount;
  // Where the last time-to-sample lookup ended, so that walking the frames in
  // order does not rescan the table from its start each time.
  mutable uint32_t cursorEntry;
  mutable uint64_t cursorFirst;
};

// Number of samples (frames) the size table describes.
uint32_t Mp4SampleCount(const Mp4Track *track);

// 1: track found, file at the first audio byte; 0: not usable; -1: a buffered
// file whose media data come before the index.
int Mp4ReadFile(HOSTFILE file, Mp4Track *track, bool buffered);
bool Mp4GetSampleInfo(const Mp4Track *track, uint32_t i, uint32_t *duration, uint32_t *size);
int64_t Mp4GetSampleOffset(const Mp4Track *track, uint32_t i);
void Mp4FreeTrack(Mp4Track *track);

#endif
