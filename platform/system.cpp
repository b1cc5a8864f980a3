#include "system.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

// ---- Machine -------------------------------------------------------------

// Reads one "Name:   123 kB" line of /proc/meminfo; 0 when absent.
static uint64_t ReadMeminfoValue(const char *text, const char *name) {
  const char *at = strstr(text, name);
  if (!at)
    return 0;
  at += strlen(name);
  char *end = nullptr;
  unsigned long long kib = strtoull(at, &end, 10);
  if (end == at)
    return 0;
  return static_cast<uint64_t>(kib) * 1024;
}

static MachineFigures AskSystemForMachineFigures() {
  MachineFigures figures;
  // The machine's processors, not the process's affinity: a process pinned to
  // one core of a larger machine must still start.
  long configured = sysconf(_SC_NPROCESSORS_CONF);
  figures.Processors = configured > 0 ? configured : 1;
  std::vector<uint8_t> meminfo;
  if (ReadWholeFile("/proc/meminfo", meminfo)) {
    meminfo.push_back(0);
    const char *text = reinterpret_cast<const char *>(meminfo.data());
    figures.TotalMemory = ReadMeminfoValue(text, "MemTotal:");
    figures.AvailableMemory = ReadMeminfoValue(text, "MemAvailable:");
  }
  return figures;
}

static std::atomic<MachineFiguresReader> FiguresReader{nullptr};

MachineFigures ReadMachineFigures() {
  MachineFiguresReader reader = FiguresReader.load(std::memory_order_acquire);
  return reader ? reader() : AskSystemForMachineFigures();
}

void SetMachineFiguresReader(MachineFiguresReader reader) {
  FiguresReader.store(reader, std::memory_order_release);
}

// ---- Processes -------------------------------------------------------------

static std::string BaseName(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

static std::string ReadLink(const std::string &path) {
  char buffer[4096];
  ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
  if (n <= 0 || n == static_cast<ssize_t>(sizeof buffer))
    return {};
  std::string target(buffer, static_cast<size_t>(n));
  // An executable replaced on disk while it runs keeps its name.
  static const std::string Deleted = " (deleted)";
  if (target.size() > Deleted.size() && target.ends_with(Deleted))
    target.resize(target.size() - Deleted.size());
  return target;
}

// The executable's name of one process: from its exe link when we may read it,
// else from the first word of its command line (processes of other users).
static std::string ProcessExecutableName(const std::string &pidFolder) {
  std::string exe = ReadLink(pidFolder + "/exe");
  if (!exe.empty())
    return BaseName(exe);
  std::vector<uint8_t> cmdline;
  if (!ReadWholeFile(pidFolder + "/cmdline", cmdline) || cmdline.empty())
    return {};
  size_t end = 0;
  while (end < cmdline.size() && cmdline[end] != 0)
    end++;
  return BaseName(std::string(cmdline.begin(), cmdline.begin() + static_cast<ptrdiff_t>(end)));
}

std::vector<std::string> ListProcessNames() {
  std::vector<std::string> names;
  DIR *proc = opendir("/proc");
  if (!proc)
    return names;
  while (dirent *entry = readdir(proc)) {
    const char *name = entry->d_name;
    if (!*name || strspn(name, "0123456789") != strlen(name))
      continue;
    std::string exe = ProcessExecutableName(std::string("/proc/") + name);
    if (!exe.empty())
      names.push_back(std::move(exe));
  }
  closedir(proc);
  return names;
}

std::string ExecutablePath() { return ReadLink("/proc/self/exe"); }

// ---- Folders and files -----------------------------------------------------

static std::string HomeFolder() {
  const char *home = getenv("HOME");
  if (home && *home)
    return home;
  if (passwd *entry = getpwuid(getuid()); entry && entry->pw_dir)
    return entry->pw_dir;
  return {};
}

static std::string XdgFolder(const char *variable, const char *fallback) {
  std::string folder;
  const char *value = getenv(variable);
  // Relative values are invalid by the XDG rules and are ignored.
  if (value && value[0] == '/') {
    folder = value;
  } else {
    std::string home = HomeFolder();
    if (home.empty())
      return {};
    folder = home + fallback;
  }
  if (folder.back() != '/')
    folder += '/';
  return folder;
}

std::string DataHomeFolder() { return XdgFolder("XDG_DATA_HOME", "/.local/share"); }
std::string ConfigHomeFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

bool FolderExists(const std::string &path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const std::string &path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool MakeFolder(const std::string &path, unsigned mode) {
  if (path.empty())
    return false;
  if (mkdir(path.c_str(), mode) == 0)
    return true;
  return errno == EEXIST && FolderExists(path);
}

bool MakeFolderPath(const std::string &path, unsigned mode) {
  if (path.empty())
    return false;
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    std::string parent = path.substr(0, slash);
    if (!FolderExists(parent) && !MakeFolder(parent, mode))
      return false;
  }
  return FolderExists(path) || MakeFolder(path, mode);
}

bool SetFolderMode(const std::string &path, unsigned mode) { return chmod(path.c_str(), mode) == 0; }

int64_t FileSize(const std::string &path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return -1;
  return static_cast<int64_t>(info.st_size);
}

bool ReadWholeFile(const std::string &path, std::vector<uint8_t> &content) {
  content.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return false;
  }
  // Files under /proc report size 0, so read until the end whatever the size.
  uint8_t chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      close(fd);
      content.clear();
      return false;
    }
    if (n == 0)
      break;
    content.insert(content.end(), chunk, chunk + n);
  }
  close(fd);
  return true;
}

bool WriteWholeFile(const std::string &path, std::span<const uint8_t> content, unsigned mode) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0)
    return false;
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      close(fd);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return close(fd) == 0;
}

// ---- Shared libraries ------------------------------------------------------

void *OpenSharedLibrary(const std::string &path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL); }

void *FindLibrarySymbol(void *library, const char *name) { return library ? dlsym(library, name) : nullptr; }

void CloseSharedLibrary(void *library) {
  if (library)
    dlclose(library);
}

// ---- Time ------------------------------------------------------------------

void Pause(int milliseconds) {
  if (milliseconds > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint64_t MonotonicMilliseconds() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// ---- Large buffers ---------------------------------------------------------

void *AllocateZeroedBuffer(size_t size) {
  if (size == 0)
    return nullptr;
  void *buffer = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return buffer == MAP_FAILED ? nullptr : buffer;
}

void ZeroBuffer(void *buffer, size_t size) {
  // On a private anonymous mapping the dropped pages come back as zeros.
  if (buffer && size && madvise(buffer, size, MADV_DONTNEED) != 0)
    memset(buffer, 0, size);
}

void FreeBuffer(void *buffer, size_t size) {
  if (buffer && size)
    munmap(buffer, size);
}
