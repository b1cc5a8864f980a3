#include "app/settings.h"

#include <cstdio>

#include "app/asio_driver.h"
#include "platform/system.h"
#include "platform/text.h"

std::string ProgramFolder;
std::string SettingsFolder;
uint32_t SettingsMagic = 0x0134AFEB;
uint8_t SettingsLoaded = 0;
std::string SavedDriverName;
uint8_t SavedOutputChannel = 0;
uint8_t SavedRate96k = 0;
uint8_t SavedRate192k = 0;
uint8_t SavedRate384k = 0;
uint8_t SavedViewCoverMode = 0;
uint8_t SavedCoverTrack = 0;
uint8_t SavedBlendPicture = 0;

uint8_t OutputChannel = 0;
uint8_t ViewCoverMode = 2;
uint8_t CoverTrack = 0;
uint8_t BlendPicture = 1;

static constexpr const char *SettingsFile = "lp.is";

// The settings live in the user's configuration folder, not beside the
// program, so that a rebuilt or reinstalled program keeps them.
static void FindSettingsFolder() {
  std::string executable = ExecutablePath();
  size_t slash = executable.rfind('/');
  ProgramFolder = slash == std::string::npos ? std::string() : executable.substr(0, slash + 1);
  std::string config = ConfigHomeFolder();
  std::string folder = config.empty() ? ProgramFolder + "lcli" : config + "velmora";
  if (!FolderExists(folder))
    MakeFolderPath(folder, 0700);
  SettingsFolder = folder + "/";
}

// One UTF-16LE code unit; false at the end of the file (a lone last byte is
// no code unit and is passed over).
static bool ReadUnit(FILE *file, char16_t &unit) {
  int low = fgetc(file);
  if (low == EOF)
    return false;
  int high = fgetc(file);
  if (high == EOF)
    return false;
  unit = static_cast<char16_t>(low | high << 8);
  return true;
}

// The name line ends at CR LF, a lone CR, a lone LF, a NUL unit or the end of
// the file; its end is consumed.
static std::u16string ReadNameLine(FILE *file) {
  std::u16string name;
  char16_t unit;
  while (ReadUnit(file, unit)) {
    if (unit == u'\n' || unit == 0)
      break;
    if (unit == u'\r') {
      long after = ftell(file);
      char16_t next;
      if (!ReadUnit(file, next) || next != u'\n')
        fseek(file, after, SEEK_SET);
      break;
    }
    name += unit;
  }
  return name;
}

static uint8_t ReadByteOrZero(FILE *file) {
  int value = fgetc(file);
  return value == EOF ? 0 : static_cast<uint8_t>(value);
}

bool ReadSettingsStream(FILE *file) {
  uint8_t magic[4];
  if (fread(magic, 1, 4, file) != 4 ||
      static_cast<uint32_t>(magic[0] | magic[1] << 8 | magic[2] << 16 | magic[3] << 24) != SettingsMagic)
    return false;
  SavedDriverName = Utf16ToUtf8(ReadNameLine(file));
  // Bytes past the end of the file read as 0.
  SavedOutputChannel = ReadByteOrZero(file);
  SavedRate96k = ReadByteOrZero(file);
  SavedRate192k = ReadByteOrZero(file);
  SavedRate384k = ReadByteOrZero(file);
  SavedViewCoverMode = ReadByteOrZero(file);
  SavedCoverTrack = ReadByteOrZero(file);
  SavedBlendPicture = ReadByteOrZero(file);
  return true;
}

void LoadSettings() {
  SettingsMagic = 0x0134AFEB;
  SettingsLoaded = 0;
  FindSettingsFolder();
  std::string path = SettingsFolder + SettingsFile;
  // A file that holds no more than the magic counts as missing.
  if (FileSize(path) >= 5) {
    if (FILE *file = fopen(path.c_str(), "rb")) {
      SettingsLoaded = ReadSettingsStream(file) ? 1 : 0;
      fclose(file);
    }
  }
  Pause(20);
}

void SaveSettings() {
  if (SettingsFolder.empty())
    FindSettingsFolder();
  std::vector<uint8_t> bytes;
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<uint8_t>(SettingsMagic >> shift));
  std::u16string name = Utf8ToUtf16(ChosenDevice.Name);
  name += u"\r\n";
  for (char16_t unit : name) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  const uint8_t tail[] = {OutputChannel, ChosenDevice.Rate96k, ChosenDevice.Rate192k, ChosenDevice.Rate384k,
                          ViewCoverMode, CoverTrack,           BlendPicture,          0xFF};
  bytes.insert(bytes.end(), std::begin(tail), std::end(tail));
  // Through a new file renamed over the old one: a failed write never leaves
  // a half file behind. An unwritable folder writes nothing, silently.
  std::string path = SettingsFolder + SettingsFile;
  std::string temporary = path + ".new";
  if (!WriteWholeFile(temporary, bytes) || rename(temporary.c_str(), path.c_str()) != 0)
    remove(temporary.c_str());
  Pause(20);
}
