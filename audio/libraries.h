// The audio libraries, bound by name at start: every call the player makes
// into orva, tesk and the two plug-ins goes through these tables.
#pragma once

#include <cstdint>
#include <string>

#include "orva.h"

// The output library's device record: only the name is read.
struct TeskDeviceRecord {
  const void *name; // zero-terminated, UTF-16 after SetUnicode(1)
  const char *driver;
  uint32_t flags;
};
using TeskOutputProc = uint32_t (*)(int input, uint32_t channel, void *buffer, uint32_t length, void *user);

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
  int (*GetDeviceInfo)(int32_t device, TeskDeviceRecord *info);
  int (*Init)(int32_t device, uint32_t flags);
  int (*Free)();
  int (*ErrorGetCode)();
  int (*CheckRate)(double rate);
  int (*SetRate)(double rate);
  int (*Start)(uint32_t bufferLength, uint32_t threads);
  int (*Stop)();
  int (*SetUnicode)(int unicode);
  int (*IsStarted)();
  int (*ChannelReset)(int input, int32_t channel, uint32_t flags);
  int (*ChannelEnable)(int input, int32_t channel, TeskOutputProc proc, void *user);
  int (*ChannelJoin)(int input, int32_t channel, int32_t channel2);
  int (*ChannelPause)(int input, int32_t channel);
  int (*ChannelSetFormat)(int input, int32_t channel, uint32_t format);
  int (*ChannelSetVolume)(int input, int32_t channel, float volume);
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
