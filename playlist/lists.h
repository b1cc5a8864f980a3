// The two playlists, the Lists view's names and their bookkeeping.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Track {
  std::string Path;
  std::string Title;
  std::string Ext;
  int32_t SampleRate = 0;
  std::string Album;
  std::string Caption;  // the text drawn for the entry
  std::string Duration; // "mmm:ss", right-aligned in the list line
  std::string SpareText1;
  std::string SpareText2;
  uint8_t IsCue = 0;
  int64_t CueStart = 0;
  int64_t CueEnd = 0;
  int64_t Length = 0; // bytes of decoded output
  int32_t TrackId = 0;
  uint32_t SpareValue = 0;
  std::string Cover;
};

constexpr int MaxListEntries = 96;

extern std::vector<Track> List1;
extern std::vector<Track> List2;
// 1 = List1, 2 = List2, 3 = the saved playlists' names (PlaylistNames).
extern uint8_t ActiveList;
extern int32_t ListRate; // Hz; 0 while both lists are empty
extern int64_t List1Bytes;
extern int64_t List2Bytes;
extern int32_t List1Selected, List2Selected, NamesSelected;
extern int32_t List1Page, List2Page, NamesPage;
// Lines shown at once and lines per page step.
extern int32_t PageLines;
extern int32_t PageStep;
