// The settings file lp.is: the driver chosen at the last start that showed
// the device and options windows, its three high-rate capabilities, the output
// channel and the three cover settings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

extern std::string ProgramFolder;  // folder of the executable, ending in "/"
extern std::string SettingsFolder; // holds lp.is and the saved playlists, ending in "/"
extern uint32_t SettingsMagic;
extern uint8_t SettingsLoaded;
extern std::string SavedDriverName;
extern uint8_t SavedOutputChannel;
extern uint8_t SavedRate96k;
extern uint8_t SavedRate192k;
extern uint8_t SavedRate384k;
extern uint8_t SavedViewCoverMode;
extern uint8_t SavedCoverTrack;
extern uint8_t SavedBlendPicture;

extern uint8_t OutputChannel;
extern uint8_t ViewCoverMode; // 0 no cover, 1 in the corner, 2 on the record label
extern uint8_t CoverTrack;
extern uint8_t BlendPicture;

void LoadSettings();
void SaveSettings();
// Reads an open lp.is into the saved values; false when its magic is wrong.
bool ReadSettingsStream(FILE *file);
