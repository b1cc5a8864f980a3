#include <gtest/gtest.h>

#include "app/asio_driver.h"
#include "app/settings.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto &part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

const std::vector<uint8_t> Magic = {0xEB, 0xAF, 0x34, 0x01};
const std::vector<uint8_t> NameAB = {'A', 0, 'B', 0};
const std::vector<uint8_t> CrLf = {0x0D, 0, 0x0A, 0};
const std::vector<uint8_t> Values = {3, 1, 0, 1, 1, 1, 0, 0xFF};

struct ReadCase {
  const char *What;
  bool Present;
  std::vector<uint8_t> Bytes;
  uint8_t Loaded;
  std::string Name;
  std::vector<uint8_t> Saved; // the seven values
};

class SettingsFile : public ::testing::Test {
protected:
  TempFolder Home;
  std::string Folder;
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", Home.Path.c_str(), 1);
    Folder = Home.Path + "velmora/";
  }
  std::vector<uint8_t> SavedValues() {
    return {SavedOutputChannel, SavedRate96k,    SavedRate192k,    SavedRate384k,
            SavedViewCoverMode, SavedCoverTrack, SavedBlendPicture};
  }
};

TEST_F(SettingsFile, ReadsEachLayout) {
  const std::vector<uint8_t> zeros(7, 0);
  const ReadCase cases[] = {
      {"missing", false, {}, 0, "", zeros},
      {"only the magic", true, Magic, 0, "", zeros},
      {"foreign", true, {'R', 'I', 'F', 'F', 0, 0, 0, 0, 0}, 0, "", zeros},
      {"CR LF", true, Concat({Magic, NameAB, CrLf, Values}), 1, "AB", {3, 1, 0, 1, 1, 1, 0}},
      {"lone CR", true, Concat({Magic, NameAB, {0x0D, 0}, Values}), 1, "AB", {3, 1, 0, 1, 1, 1, 0}},
      {"lone LF", true, Concat({Magic, NameAB, {0x0A, 0}, Values}), 1, "AB", {3, 1, 0, 1, 1, 1, 0}},
      {"NUL", true, Concat({Magic, NameAB, {0, 0}, Values}), 1, "AB", {3, 1, 0, 1, 1, 1, 0}},
      // CR followed by a unit that is not LF: that unit is already the tail.
      {"CR then tail", true, Concat({Magic, NameAB, {0x0D, 0}, {5, 1, 2, 3, 4, 5, 6}}), 1, "AB", {5, 1, 2, 3, 4, 5, 6}},
      {"no line end", true, Concat({Magic, NameAB}), 1, "AB", zeros},
      {"CR at the end", true, Concat({Magic, NameAB, {0x0D, 0}}), 1, "AB", zeros},
      {"truncated tail", true, Concat({Magic, NameAB, CrLf, {7, 1, 1}}), 1, "AB", {7, 1, 1, 0, 0, 0, 0}},
      {"one byte after the magic", true, Concat({Magic, {0x41}}), 1, "", zeros},
      {"empty name", true, Concat({Magic, CrLf, Values}), 1, "", {3, 1, 0, 1, 1, 1, 0}},
      {"beyond the BMP", true, Concat({Magic, {0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE}, CrLf, Values}), 1,
       "\xC3\xA9\xF0\x9F\x98\x80", {3, 1, 0, 1, 1, 1, 0}},
  };
  for (const ReadCase &test : cases) {
    SCOPED_TRACE(test.What);
    std::filesystem::remove_all(Folder);
    if (test.Present) {
      std::filesystem::create_directories(Folder);
      WriteBytes(Folder + "lp.is", test.Bytes);
    }
    SavedDriverName = "stale";
    LoadSettings();
    EXPECT_EQ(SettingsFolder, Folder);
    EXPECT_EQ(SettingsLoaded, test.Loaded);
    if (test.Loaded) {
      EXPECT_EQ(SavedDriverName, test.Name);
      EXPECT_EQ(SavedValues(), test.Saved);
    }
  }
}

TEST_F(SettingsFile, DirectoryInPlaceOfTheFileIsMissing) {
  std::filesystem::create_directories(Folder + "lp.is");
  LoadSettings();
  EXPECT_EQ(SettingsLoaded, 0);
}

TEST_F(SettingsFile, WritesSixteenPlusTwoNBytes) {
  struct WriteCase {
    std::string Name;
    std::vector<uint8_t> NameBytes;
  };
  const WriteCase cases[] = {
      {"", {}},
      {"AB", NameAB},
      {"Null output", {'N', 0, 'u', 0, 'l', 0, 'l', 0, ' ', 0, 'o', 0, 'u', 0, 't', 0, 'p', 0, 'u', 0, 't', 0}},
      {"\xC3\xA9\xF0\x9F\x98\x80", {0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE}},
  };
  for (const WriteCase &test : cases) {
    SCOPED_TRACE(test.Name);
    LoadSettings();
    ChosenDevice = {};
    ChosenDevice.Name = test.Name;
    ChosenDevice.Rate96k = 1;
    ChosenDevice.Rate192k = 0;
    ChosenDevice.Rate384k = 1;
    OutputChannel = 3;
    ViewCoverMode = 1;
    CoverTrack = 1;
    BlendPicture = 0;
    SaveSettings();
    std::vector<uint8_t> expected = Concat({Magic, test.NameBytes, CrLf, {3, 1, 0, 1, 1, 1, 0, 0xFF}});
    EXPECT_EQ(ReadBytes(Folder + "lp.is"), expected);
    EXPECT_EQ(expected.size(), 16 + test.NameBytes.size());

    LoadSettings();
    EXPECT_EQ(SettingsLoaded, 1);
    EXPECT_EQ(SavedDriverName, test.Name);
    EXPECT_EQ(SavedValues(), (std::vector<uint8_t>{3, 1, 0, 1, 1, 1, 0}));
  }
}

TEST_F(SettingsFile, UnusableFolderReadsAndWritesNothing) {
  // The configuration folder is a file, so no settings folder can be made in it.
  WriteBytes(Home.Path + "blocked", {1});
  setenv("XDG_CONFIG_HOME", (Home.Path + "blocked").c_str(), 1);
  LoadSettings();
  EXPECT_EQ(SettingsLoaded, 0);
  ChosenDevice.Name = "X";
  SaveSettings();
  EXPECT_FALSE(std::filesystem::exists(Home.Path + "blocked/velmora/lp.is"));
}

} // namespace
