#include "app/startup.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "app/carried.h"
#include "app/interface.h"
#include "audio/libraries.h"
#include "audio/procedures.h"
#include "platform/system.h"

uint8_t IsWindows10 = PlatformIsWindows10;
std::string LibraryFolder;
CountingSemaphore OutputSemaphore;

FontHandle FontTahoma10 = 0;
FontHandle FontSegoe12 = 0;
FontHandle FontSegoe14 = 0;
FontHandle FontSegoeLight11 = 0;
FontHandle FontSegoeLight12 = 0;
FontHandle FontCalligraphy11 = 0;
FontHandle FontCalligraphy12 = 0;

std::vector<std::string> PlaylistNames;

std::span<const CarriedFile> CarriedFiles;

static std::map<std::string, void *, std::less<>> ProcedureNames;
static std::string FontFolder; // private copies of the carried fonts

const CarriedFile *FindCarriedFile(std::string_view name) {
  for (const CarriedFile &file : CarriedFiles)
    if (file.Name == name)
      return &file;
  return nullptr;
}

// ---- Exit ------------------------------------------------------------------------

static void RemoveFontFolder() {
  if (FontFolder.empty())
    return;
  for (const CarriedFile &file : CarriedFiles)
    if (file.Name.starts_with("fonts/"))
      unlink((FontFolder + std::string(file.Name.substr(6))).c_str());
  rmdir(FontFolder.c_str());
  FontFolder.clear();
}

void EndProgram() {
  UnloadAudioLibraries();
  StopUi();
  RemoveFontFolder();
  fflush(nullptr);
  // The system takes back the rest. Leaving without running the exit handlers
  // also keeps the toolkit's caches, which live until exit, from being
  // reported as leaks by the test builds.
  _exit(0);
}

// ---- Machine checks --------------------------------------------------------------

static constexpr uint64_t NeededTotalMemory = 0xED800000ULL;     // 3800 MiB
static constexpr uint64_t NeededAvailableMemory = 0xA2800000ULL; // 2600 MiB

void CheckMachine() {
  MachineFigures figures = ReadMachineFigures();
  if (figures.Processors < 2) {
    ShowMessageBox("Slow system #B (CPU count)", "Velmora", MessageIcon::Information);
    EndProgram();
  }
  if (figures.TotalMemory < NeededTotalMemory || figures.AvailableMemory < NeededAvailableMemory) {
    ShowMessageBox("Slow system #C (memory status)", "Velmora", MessageIcon::Information);
    EndProgram();
  }
}

// ---- Single copy -----------------------------------------------------------------

void CheckSingleInstance() {
  static const char *const ProgramNames[] = {"velmora", "Velmora.exe", "Dorvane pcm.exe", "Dorvane-pcm.exe"};
  int count = 0;
  for (const std::string &name : ListProcessNames()) {
    for (const char *program : ProgramNames)
      if (name == program)
        count++;
    if (count > 1)
      break;
  }
  // 0 means this copy runs under another name; 2 means another copy runs.
  if (count != 1)
    EndProgram();
}

// ---- Library folder --------------------------------------------------------------

std::string GetSpecialFolderPath(int folder) {
  if (folder == FolderLocalAppData)
    return DataHomeFolder();
  return {};
}

// Writes next to the target and renames over it, so that a copy still mapped
// by an ending process is never cut short under it.
static void ReplaceLibraryFile(const std::string &path, std::span<const uint8_t> image) {
  std::string temporary = path + ".new";
  if (WriteWholeFile(temporary, image, 0700) && rename(temporary.c_str(), path.c_str()) == 0)
    return;
  unlink(temporary.c_str());
}

static bool SameContent(const std::string &path, std::span<const uint8_t> image) {
  if (FileSize(path) != static_cast<int64_t>(image.size()))
    return false;
  std::vector<uint8_t> content;
  return ReadWholeFile(path, content) && content.size() == image.size() &&
         (image.empty() || memcmp(content.data(), image.data(), image.size()) == 0);
}

void InstallLibraries() {
  std::string base = GetSpecialFolderPath(FolderLocalAppData);
  // A fresh home may lack the data folder itself; make it as the XDG rules say.
  if (!base.empty() && !FolderExists(base))
    MakeFolderPath(base, 0700);
  std::string folder = base + "Quensel";
  if (!FolderExists(folder))
    MakeFolder(folder, 0700);
  folder = base + "Quensel/qz20";
  // Private to the user: the counterpart of the hidden attribute.
  if (!FolderExists(folder))
    MakeFolder(folder, 0700);
  SetFolderMode(folder, 0700);
  LibraryFolder = folder + "/";
  static const char *const Always[] = {"tesk.dll", "orva.dll"};
  static const char *const Plugins[] = {"pymo.dll", "ulda.dll"};
  auto install = [](const char *name) {
    const CarriedFile *image = FindCarriedFile(name);
    if (!image)
      return;
    std::string path = LibraryFolder + name;
    // The bytes, not only the size: an older build of the same size must
    // never be loaded after an update.
    if (!SameContent(path, image->Bytes))
      ReplaceLibraryFile(path, image->Bytes);
  };
  for (const char *name : Always)
    install(name);
  if (IsWindows10 == 0)
    for (const char *name : Plugins)
      install(name);
}

// ---- Fonts -------------------------------------------------------------------------

struct FaceStandIn {
  const char *Family; // the name the interface asks for
  const char *File;   // carried file under fonts/
};

static const FaceStandIn StandIns[] = {
    {"Lucida Calligraphy", "fonts/DancingScript-Regular.otf"},
    {"Segoe UI", "fonts/OpenSans-Regular.ttf"},
    {"Segoe UI Light", "fonts/OpenSans-Light.ttf"},
    {"Tahoma", "fonts/DejaVuSansCondensed.ttf"},
};

void RegisterCarriedFonts() {
  if (FontFolder.empty()) {
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    std::string pattern = std::string(runtime && runtime[0] == '/' ? runtime : "/tmp") + "/velmora-fonts-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    if (!mkdtemp(name.data()))
      return;
    FontFolder = std::string(name.data()) + "/";
  }
  for (const FaceStandIn &face : StandIns) {
    const CarriedFile *file = FindCarriedFile(face.File);
    if (!file)
      continue; // the font system's closest match serves instead
    std::string path = FontFolder + std::string(file->Name.substr(6));
    if (WriteWholeFile(path, file->Bytes, 0600))
      RegisterAppFont(path, face.Family);
  }
}

void CreateFonts() {
  FontTahoma10 = LoadFont("Tahoma", 10);
  FontSegoe12 = LoadFont("Segoe UI", 12);
  FontSegoe14 = LoadFont("Segoe UI", 14);
  FontSegoeLight11 = LoadFont("Segoe UI Light", 11);
  FontSegoeLight12 = LoadFont("Segoe UI Light", 12);
  FontCalligraphy11 = LoadFont("Lucida Calligraphy", 11);
  FontCalligraphy12 = LoadFont("Lucida Calligraphy", 12);
}

// ---- Shared state ------------------------------------------------------------------

void CreateSharedLists() { PlaylistNames.clear(); }

void RegisterProcedure(std::string_view name, void *entry) { ProcedureNames[std::string(name)] = entry; }

void *FindProcedure(std::string_view name) {
  auto found = ProcedureNames.find(name);
  return found == ProcedureNames.end() ? nullptr : found->second;
}

// ---- Start-up ------------------------------------------------------------------------

void RunStartUp() {
  if (!StartUi(UiBackendKind::Gtk)) {
    fprintf(stderr, "velmora: cannot open the display\n");
    _exit(1);
  }
  RegisterAudioProcedures();
  IsWindows10 = PlatformIsWindows10;
  CheckMachine();
  CheckSingleInstance();
  InstallLibraries();
  LoadAudioLibraries();
  RegisterCarriedFonts();
  InitSemaphore(OutputSemaphore, 0, 0x7FFFFFFF);
  CreateSharedLists();
  StartInterface();
  EndProgram();
}
