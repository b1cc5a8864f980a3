// Start-up and the single exit of the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sync.h"
#include "platform/ui.h"

// 0 on Linux: the FLAC and ALAC plug-ins are installed, loaded and called directly.
extern uint8_t IsWindows10;
// Per-user folder holding the library files, ending in "/".
extern std::string LibraryFolder;
// Released by every output callback, taken once by every track opening.
extern CountingSemaphore OutputSemaphore;

extern FontHandle FontTahoma10;
extern FontHandle FontSegoe12;
extern FontHandle FontSegoe14;
extern FontHandle FontSegoeLight11;
extern FontHandle FontSegoeLight12;
extern FontHandle FontCalligraphy11;
extern FontHandle FontCalligraphy12;

// Saved playlist names; the other shared lists join their owners' records.
extern std::vector<std::string> PlaylistNames;

// Special-folder number of the user's local application data.
constexpr int FolderLocalAppData = 0x1C;

// The whole start-up, in order, ending in StartInterface; never returns.
[[noreturn]] void RunStartUp();
// Releases the loaded libraries and the interface and ends the process with
// exit code 0, without a message.
[[noreturn]] void EndProgram();

// Machine checks: at least 2 processors, 3800 MiB of memory of which 2600 MiB
// available; otherwise the message and EndProgram.
void CheckMachine();
// Returns only when exactly one running process carries one of the program's
// executable names; otherwise EndProgram.
void CheckSingleInstance();
// Builds LibraryFolder and writes the carried library images into it.
void InstallLibraries();
// Path of a special folder ending in "/", or an empty text.
std::string GetSpecialFolderPath(int folder);
// Makes the carried script face usable by this process as "Lucida Calligraphy"
// (and the carried stand-ins of the other faces under their names).
void RegisterCarriedFonts();
// Loads the seven interface fonts.
void CreateFonts();
// Empties the lists shared between the subsystems.
void CreateSharedLists();

// The procedure-name table: "AsioProc()" and "AudioThread()" to their entry points.
void RegisterProcedure(std::string_view name, void *entry);
void *FindProcedure(std::string_view name);
