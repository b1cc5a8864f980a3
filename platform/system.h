// System services of the platform layer: machine figures, the process list,
// per-user folders, files, shared libraries, pauses and the large zero-filled
// buffers. Plain functions; failures are reported by the result, never thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// ---- Machine -------------------------------------------------------------

struct MachineFigures {
  int64_t Processors = 0;       // processors configured on the machine
  uint64_t TotalMemory = 0;     // bytes of physical memory
  uint64_t AvailableMemory = 0; // bytes of physical memory available
};

using MachineFiguresReader = MachineFigures (*)();

// The start-up checks read their figures only through this function, so that
// tests can put a machine of any size in its place.
MachineFigures ReadMachineFigures();
// Replaces the reader; null restores the one that asks the system.
void SetMachineFiguresReader(MachineFiguresReader reader);

// 0 on this platform: the plug-ins are always installed, loaded and called.
constexpr uint8_t PlatformIsWindows10 = 0;

// ---- Processes -------------------------------------------------------------

// Executable base names of the running processes, read from /proc. Processes
// that vanish during the walk or cannot be inspected are left out.
std::vector<std::string> ListProcessNames();
// Full path of this process's executable, or an empty text.
std::string ExecutablePath();

// ---- Folders and files -----------------------------------------------------

// $XDG_DATA_HOME or ~/.local/share, and $XDG_CONFIG_HOME or ~/.config, each
// ending in "/"; empty when neither the variable nor a home folder is known.
std::string DataHomeFolder();
std::string ConfigHomeFolder();

bool FolderExists(const std::string &path);
bool FileExists(const std::string &path); // a regular file (not a folder)
// Creates one folder (its parent must exist); true when it exists afterwards.
bool MakeFolder(const std::string &path, unsigned mode = 0755);
// Creates the folder and every missing parent.
bool MakeFolderPath(const std::string &path, unsigned mode = 0755);
bool SetFolderMode(const std::string &path, unsigned mode);
// Size of a regular file, -1 when missing or not a regular file.
int64_t FileSize(const std::string &path);
// Whole content of a regular file; false when it cannot be read.
bool ReadWholeFile(const std::string &path, std::vector<uint8_t> &content);
// Creates or truncates the file and writes the bytes; false on any failure.
bool WriteWholeFile(const std::string &path, std::span<const uint8_t> content, unsigned mode = 0644);

// ---- Shared libraries ------------------------------------------------------

// dlopen with RTLD_NOW | RTLD_GLOBAL; null on failure.
void *OpenSharedLibrary(const std::string &path);
void *FindLibrarySymbol(void *library, const char *name);
void CloseSharedLibrary(void *library);

// ---- Time ------------------------------------------------------------------

void Pause(int milliseconds);
uint64_t MonotonicMilliseconds();

// ---- Large buffers ---------------------------------------------------------

// Anonymous private mapping: reads as zero and costs no memory until touched.
// Null on failure.
void *AllocateZeroedBuffer(size_t size);
// Makes the whole buffer read as zero again and hands its pages back.
void ZeroBuffer(void *buffer, size_t size);
void FreeBuffer(void *buffer, size_t size);
