#include "audio/libraries.h"

#include <vector>

#include "app/startup.h"
#include "platform/system.h"
#include "platform/ui.h"

OrvaFunctions Orva{};
TeskFunctions Tesk{};
PluginFunctions Plugins{};

static std::vector<void *> LoadedLibraries; // in load order

struct Binding {
  const char *Name;
  void **Slot;
};

template <typename Function> static Binding Bind(const char *name, Function &slot) {
  static_assert(sizeof(Function) == sizeof(void *));
  return {name, reinterpret_cast<void **>(&slot)};
}

// Loads one library and binds all its names. A library that loads but lacks a
// name counts as not loaded: a later call through an empty binding would crash.
static bool LoadLibraryFunctions(const char *file, std::initializer_list<Binding> bindings) {
  void *library = OpenSharedLibrary(LibraryFolder + file);
  if (!library)
    return false;
  LoadedLibraries.push_back(library);
  for (const Binding &binding : bindings) {
    *binding.Slot = FindLibrarySymbol(library, binding.Name);
    if (!*binding.Slot)
      return false;
  }
  return true;
}

[[noreturn]] static void EndWithMessage(const char *text, const char *caption) {
  ShowMessageBox(text, caption, MessageIcon::None);
  EndProgram();
}

void LoadAudioLibraries() {
  // orva first: both plug-ins bind to the copy loaded here.
  if (!LoadLibraryFunctions("orva.dll", {
                                            Bind("Orva_ChannelGetData", Orva.ChannelGetData),
                                            Bind("Orva_StreamCreateFile", Orva.StreamCreateFile),
                                            Bind("Orva_ChannelGetLength", Orva.ChannelGetLength),
                                            Bind("Orva_ChannelGetPosition", Orva.ChannelGetPosition),
                                            Bind("Orva_ErrorGetCode", Orva.ErrorGetCode),
                                            Bind("Orva_Init", Orva.Init),
                                            Bind("Orva_Free", Orva.Free),
                                            Bind("Orva_StreamFree", Orva.StreamFree),
                                            Bind("Orva_SetDevice", Orva.SetDevice),
                                            Bind("Orva_SetConfig", Orva.SetConfig),
                                            Bind("Orva_ChannelBytes2Seconds", Orva.ChannelBytes2Seconds),
                                            Bind("Orva_ChannelGetAttribute", Orva.ChannelGetAttribute),
                                            Bind("Orva_ChannelSetPosition", Orva.ChannelSetPosition),
                                            Bind("Orva_ChannelSetDevice", Orva.ChannelSetDevice),
                                            Bind("Orva_ChannelStop", Orva.ChannelStop),
                                        }))
    EndWithMessage("Error open orva.dll", "QE");
  if (!LoadLibraryFunctions("tesk.dll", {
                                            Bind("Tesk_ASIO_GetDeviceInfo", Tesk.GetDeviceInfo),
                                            Bind("Tesk_ASIO_Init", Tesk.Init),
                                            Bind("Tesk_ASIO_Free", Tesk.Free),
                                            Bind("Tesk_ASIO_ErrorGetCode", Tesk.ErrorGetCode),
                                            Bind("Tesk_ASIO_CheckRate", Tesk.CheckRate),
                                            Bind("Tesk_ASIO_SetRate", Tesk.SetRate),
                                            Bind("Tesk_ASIO_Start", Tesk.Start),
                                            Bind("Tesk_ASIO_Stop", Tesk.Stop),
                                            Bind("Tesk_ASIO_SetUnicode", Tesk.SetUnicode),
                                            Bind("Tesk_ASIO_IsStarted", Tesk.IsStarted),
                                            Bind("Tesk_ASIO_ChannelReset", Tesk.ChannelReset),
                                            Bind("Tesk_ASIO_ChannelEnable", Tesk.ChannelEnable),
                                            Bind("Tesk_ASIO_ChannelJoin", Tesk.ChannelJoin),
                                            Bind("Tesk_ASIO_ChannelPause", Tesk.ChannelPause),
                                            Bind("Tesk_ASIO_ChannelSetFormat", Tesk.ChannelSetFormat),
                                            Bind("Tesk_ASIO_ChannelSetVolume", Tesk.ChannelSetVolume),
                                        }))
    EndWithMessage("Error open tesk.dll", "QE");
  if (IsWindows10 == 0) {
    if (!LoadLibraryFunctions("pymo.dll", {Bind("Orva_FLAC_StreamCreateFile", Plugins.FlacStreamCreateFile)}))
      EndWithMessage("Error open pymo.dll", "Quensel");
    if (!LoadLibraryFunctions("ulda.dll", {Bind("Orva_ALAC_StreamCreateFile", Plugins.AlacStreamCreateFile)}))
      EndWithMessage("Error open ulda.dll", "QE");
  }
  // Nothing has failed in orva yet, so this reads 0 unless loading the
  // libraries left orva in a failed state.
  if (Orva.ErrorGetCode() != 0)
    EndWithMessage("Error Tesk Library", "QE");
}

void UnloadAudioLibraries() {
  // Plug-ins before orva, which they are bound to.
  while (!LoadedLibraries.empty()) {
    CloseSharedLibrary(LoadedLibraries.back());
    LoadedLibraries.pop_back();
  }
  Orva = {};
  Tesk = {};
  Plugins = {};
}

std::string AudioErrorText(int code) {
  switch (code) {
  case 0:
    return "All is OK";
  case 1:
    return "Memory error";
  case 2:
    return "Can't open the file";
  case 3:
    return "Can't find a free/valid driver";
  case 6:
    return "Unsupported sample format";
  case 8:
    return "Tesk_ASIO_Init has Not been successfully called";
  case 9:
    return "Tesk_ASIO_Start has/hasn't been called";
  case 14:
    return "Already initialized/started";
  case 18:
    return "Can't get a free channel";
  case 20:
    return "An illegal parameter was specified";
  case 23:
    return "Illegal device number";
  case 25:
    return "Illegal sample rate";
  case 27:
    return "The stream is not a file stream";
  case 37:
    return "Requested data is not available";
  case 40:
    return "Connection timedout";
  case 41:
    return "Unsupported file format";
  case 44:
    return "Codec is not available/supported";
  case -1:
    return "Some other mystery error";
  default:
    return "Error code #" + std::to_string(code);
  }
}

void ShowAudioError(int code) { ShowMessageBox(AudioErrorText(code), "Error", MessageIcon::Error); }
