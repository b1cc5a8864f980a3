// The audio libraries, bound by name at start: every call the player makes
// into orva, tesk and the two plug-ins goes through these tables.
#pragma once

#include <cstdint>
#include <string>

#include "orva.h"
#include "tesk.h"

struct OrvaFunctions {
  decltype(&Orva_ChannelGetData) ChannelGetData;
  decltype(&Orva_StreamCreateFile) StreamCreateFile;
  decltype(&Orva_ChannelGetLength) ChannelGetLength;
  decltype(&Orva_ChannelGetPosition) ChannelGetPosition;
  decltype(&Orva_ErrorGetCode) ErrorGetCode;
  decltype(&Orva_Init) Init;
  decltype(&Orva_Free) Free;
  decltype(&Orva_StreamFree) StreamFree;
  decltype(&Orva_SetDevice) SetDevice;
  decltype(&Orva_SetConfig) SetConfig;
  decltype(&Orva_ChannelBytes2Seconds) ChannelBytes2Seconds;
  decltype(&Orva_ChannelGetAttribute) ChannelGetAttribute;
  decltype(&Orva_ChannelSetPosition) ChannelSetPosition;
  decltype(&Orva_ChannelSetDevice) ChannelSetDevice;
  decltype(&Orva_ChannelStop) ChannelStop;
};

struct TeskFunctions {
  decltype(&Tesk_ASIO_GetDeviceInfo) GetDeviceInfo;
  decltype(&Tesk_ASIO_Init) Init;
  decltype(&Tesk_ASIO_Free) Free;
  decltype(&Tesk_ASIO_ErrorGetCode) ErrorGetCode;
  decltype(&Tesk_ASIO_CheckRate) CheckRate;
  decltype(&Tesk_ASIO_SetRate) SetRate;
  decltype(&Tesk_ASIO_Start) Start;
  decltype(&Tesk_ASIO_Stop) Stop;
  decltype(&Tesk_ASIO_SetUnicode) SetUnicode;
  decltype(&Tesk_ASIO_IsStarted) IsStarted;
  decltype(&Tesk_ASIO_ChannelReset) ChannelReset;
  decltype(&Tesk_ASIO_ChannelEnable) ChannelEnable;
  decltype(&Tesk_ASIO_ChannelJoin) ChannelJoin;
  decltype(&Tesk_ASIO_ChannelPause) ChannelPause;
  decltype(&Tesk_ASIO_ChannelSetFormat) ChannelSetFormat;
  decltype(&Tesk_ASIO_ChannelSetVolume) ChannelSetVolume;
};

struct PluginFunctions {
  decltype(&Orva_StreamCreateFile) FlacStreamCreateFile; // Orva_FLAC_StreamCreateFile of pymo.dll
  decltype(&Orva_StreamCreateFile) AlacStreamCreateFile; // Orva_ALAC_StreamCreateFile of ulda.dll
};

extern OrvaFunctions Orva;
extern TeskFunctions Tesk;
extern PluginFunctions Plugins;

// Loads orva.dll, tesk.dll and (IsWindows10 0) pymo.dll and ulda.dll from
// LibraryFolder and binds every function above; a library that cannot be
// loaded or lacks one of them ends the program after its message.
void LoadAudioLibraries();
// Releases what LoadAudioLibraries loaded (the program's end).
void UnloadAudioLibraries();
// The text an error code of either library stands for.
std::string AudioErrorText(int code);
// A modal error box with that text, caption "Error".
void ShowAudioError(int code);
