#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "app/carried.h"
#include "app/startup.h"
#include "audio/libraries.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "test_support.h"

using ::testing::ExitedWithCode;

namespace {

class StartUp : public ::testing::Test {
protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_TRUE(StartUi(UiBackendKind::Headless));
    ClearRecordedMessages();
  }
  void TearDown() override {
    StopUi();
    SetMachineFiguresReader(nullptr);
  }
};

// ---- Machine checks ---------------------------------------------------------

MachineFigures Machine;
MachineFigures ReadTestMachine() { return Machine; }

constexpr uint64_t MiB = 1024 * 1024;

TEST_F(StartUp, MachineChecksAtTheirThresholds) {
  struct Case {
    int64_t Processors;
    uint64_t Total, Available;
    const char *Message; // null: passes
  };
  const Case cases[] = {
      {2, 3800 * MiB, 2600 * MiB, nullptr},
      {64, 64000 * MiB, 60000 * MiB, nullptr},
      {1, 3800 * MiB, 2600 * MiB, "Slow system #B \\(CPU count\\)"},
      {2, 3800 * MiB - 1, 2600 * MiB, "Slow system #C \\(memory status\\)"},
      {2, 3800 * MiB, 2600 * MiB - 1, "Slow system #C \\(memory status\\)"},
      {2, 0, 0, "Slow system #C \\(memory status\\)"},
      // Both short: the processors are looked at first.
      {1, 1000 * MiB, 100 * MiB, "Slow system #B \\(CPU count\\)"},
  };
  SetMachineFiguresReader(ReadTestMachine);
  for (const Case &test : cases) {
    SCOPED_TRACE(test.Processors);
    SCOPED_TRACE(test.Total);
    SCOPED_TRACE(test.Available);
    Machine = {test.Processors, test.Total, test.Available};
    if (!test.Message) {
      CheckMachine();
      EXPECT_TRUE(RecordedMessages().empty());
    } else {
      // One box, caption "Velmora", information icon, then the end with code 0.
      std::string box = std::string("message box \\[Velmora\\] \\[information\\] ") + test.Message + "\n$";
      EXPECT_EXIT(CheckMachine(), ExitedWithCode(0), box);
    }
  }
}

TEST(MachineFigures, ComeFromTheSystem) {
  MachineFigures figures = ReadMachineFigures();
  EXPECT_EQ(figures.Processors, sysconf(_SC_NPROCESSORS_CONF));
  EXPECT_GT(figures.TotalMemory, 0u);
  EXPECT_LE(figures.AvailableMemory, figures.TotalMemory);
}

// ---- Single copy ------------------------------------------------------------------

struct Child {
  pid_t Pid = -1;
  int Input = -1;  // its standard input
  int Output = -1; // its standard output
};

Child Launch(const std::string &path) {
  int in[2], out[2];
  EXPECT_EQ(pipe(in), 0);
  EXPECT_EQ(pipe(out), 0);
  Child child;
  child.Pid = fork();
  if (child.Pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[1]);
    close(out[0]);
    execl(path.c_str(), path.c_str(), nullptr);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  child.Input = in[1];
  child.Output = out[0];
  return child;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(n));
  return text;
}

int Finish(Child &child) {
  close(child.Input);
  int status = 0;
  waitpid(child.Pid, &status, 0);
  close(child.Output);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void CopyProbe(const std::string &to) {
  std::vector<uint8_t> probe = ReadBytes(SINGLE_COPY_PROBE);
  ASSERT_FALSE(probe.empty());
  WriteBytes(to, probe);
  chmod(to.c_str(), 0755);
}

// Runs the scenario in a process list of its own (a new PID namespace with its
// own /proc), so that copies of the program started by people or other tests
// on this machine do not count. Returns the scenario's result.
int RunWithOwnProcessList(const std::function<int()> &scenario) {
  pid_t outer = fork();
  if (outer == 0) {
    if (unshare(CLONE_NEWPID | CLONE_NEWNS) != 0)
      _exit(200);
    pid_t inner = fork();
    if (inner == 0) {
      if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount("proc", "/proc", "proc", 0, nullptr) != 0)
        _exit(200);
      _exit(scenario());
    }
    int status = 0;
    waitpid(inner, &status, 0);
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 201);
  }
  int status = 0;
  waitpid(outer, &status, 0);
  int result = WIFEXITED(status) ? WEXITSTATUS(status) : 201;
  if (result != 200)
    return result;
  // No namespaces here (not root): the machine's own list, if it is quiet.
  for (const std::string &name : ListProcessNames())
    if (name == "velmora")
      return 202;
  return scenario();
}

void RunSingleCopyScenario(const std::function<int()> &scenario) {
  int result = RunWithOwnProcessList(scenario);
  if (result == 202)
    GTEST_SKIP() << "another velmora runs on this machine";
  EXPECT_EQ(result, 0) << "failed at step " << result;
}

TEST(SingleCopy, SecondCopyEndsSilentlyAndTheFirstRuns) {
  TempFolder folder;
  CopyProbe(folder.Path + "velmora");
  RunSingleCopyScenario([&] {
    Child first = Launch(folder.Path + "velmora");
    char line[6] = {};
    if (read(first.Output, line, 6) != 6 || std::string(line, 6) != "alone\n")
      return 1;
    Child second = Launch(folder.Path + "velmora");
    close(second.Input);
    second.Input = -1;
    if (ReadAll(second.Output) != "") // it ended before saying anything
      return 2;
    if (Finish(second) != 0)
      return 3;
    if (waitpid(first.Pid, nullptr, WNOHANG) != 0) // the first one still runs
      return 4;
    return Finish(first) == 0 ? 0 : 5;
  });
}

TEST(SingleCopy, AnyOtherProgramNameEndsAtOnce) {
  TempFolder folder;
  CopyProbe(folder.Path + "velmora-2");
  RunSingleCopyScenario([&] {
    Child other = Launch(folder.Path + "velmora-2");
    close(other.Input);
    other.Input = -1;
    if (ReadAll(other.Output) != "")
      return 1;
    return Finish(other) == 0 ? 0 : 2;
  });
}

// ---- Installing the libraries -----------------------------------------------------

const uint8_t TeskImage[] = {1, 2, 3, 4, 5};
const uint8_t OrvaImage[] = {9, 8, 7, 6, 5, 4};
const uint8_t PymoImage[] = {'p', 'y'};
const uint8_t UldaImage[] = {'u', 'l', 'd', 'a'};
const CarriedFile TestLibraries[] = {
    {"tesk.dll", TeskImage}, {"orva.dll", OrvaImage}, {"pymo.dll", PymoImage}, {"ulda.dll", UldaImage}};

ino_t Inode(const std::string &path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_ino;
}

TEST_F(StartUp, InstallLibrariesWritesEachImageIntoAPrivateFolder) {
  TempFolder data;
  setenv("XDG_DATA_HOME", (data.Path + "fresh/share").c_str(), 1);
  CarriedFiles = TestLibraries;
  InstallLibraries();
  EXPECT_EQ(LibraryFolder, data.Path + "fresh/share/Quensel/qz20/");
  struct stat info {};
  ASSERT_EQ(stat(LibraryFolder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  for (const CarriedFile &file : TestLibraries)
    EXPECT_EQ(ReadBytes(LibraryFolder + std::string(file.Name)),
              std::vector<uint8_t>(file.Bytes.begin(), file.Bytes.end()));
}

TEST_F(StartUp, InstallLibrariesRewritesAnyFileThatDiffers) {
  TempFolder data;
  setenv("XDG_DATA_HOME", data.Path.c_str(), 1);
  CarriedFiles = TestLibraries;
  std::string folder = data.Path + "Quensel/qz20/";
  std::filesystem::create_directories(folder);
  chmod(folder.c_str(), 0755); // an older start left it open to others
  struct Case {
    const char *What;
    std::vector<uint8_t> Before; // content of orva.dll before
    bool Kept;                   // the very same file stays
  };
  const Case cases[] = {
      {"identical", {9, 8, 7, 6, 5, 4}, true},
      {"same size, other bytes", {9, 8, 7, 6, 5, 0}, false},
      {"one byte longer", {9, 8, 7, 6, 5, 4, 3}, false},
      {"one byte shorter", {9, 8, 7, 6, 5}, false},
      {"empty", {}, false},
  };
  for (const Case &test : cases) {
    SCOPED_TRACE(test.What);
    WriteBytes(folder + "orva.dll", test.Before);
    ino_t before = Inode(folder + "orva.dll");
    InstallLibraries();
    EXPECT_EQ(ReadBytes(folder + "orva.dll"), std::vector<uint8_t>(std::begin(OrvaImage), std::end(OrvaImage)));
    EXPECT_EQ(Inode(folder + "orva.dll") == before, test.Kept);
  }
  struct stat info {};
  stat(folder.c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_FALSE(std::filesystem::exists(folder + "orva.dll.new"));
}

TEST_F(StartUp, InstallLibrariesIntoAnUnusableFolderWritesNothing) {
  TempFolder data;
  WriteBytes(data.Path + "file", {1});
  setenv("XDG_DATA_HOME", (data.Path + "file").c_str(), 1);
  CarriedFiles = TestLibraries;
  InstallLibraries();
  EXPECT_EQ(LibraryFolder, data.Path + "file/Quensel/qz20/");
  EXPECT_TRUE(RecordedMessages().empty());
}

// ---- Fonts ---------------------------------------------------------------------------

TEST_F(StartUp, CarriedFontsAnswerToTheFamiliesTheInterfaceAsksFor) {
  const char *files[] = {"DancingScript-Regular.otf", "OpenSans-Regular.ttf", "OpenSans-Light.ttf",
                         "DejaVuSansCondensed.ttf"};
  std::vector<std::string> names;
  std::vector<std::vector<uint8_t>> contents;
  for (const char *file : files) {
    names.push_back(std::string("fonts/") + file);
    contents.push_back(ReadBytes(std::string(VELMORA_SOURCE_DIR) + "/assets/fonts/" + file));
    ASSERT_FALSE(contents.back().empty()) << file;
  }
  std::vector<CarriedFile> carried;
  for (size_t i = 0; i < names.size(); i++)
    carried.push_back({names[i], contents[i]});
  CarriedFiles = carried;
  TempFolder runtime; // the private copies of the fonts go in here
  setenv("XDG_RUNTIME_DIR", runtime.Path.c_str(), 1);
  RegisterCarriedFonts();
  CreateFonts();
  const std::pair<FontHandle, const char *> fonts[] = {
      {FontTahoma10, "Tahoma"},
      {FontSegoe12, "Segoe UI"},
      {FontSegoe14, "Segoe UI"},
      {FontSegoeLight11, "Segoe UI Light"},
      {FontSegoeLight12, "Segoe UI Light"},
      {FontCalligraphy11, "Lucida Calligraphy"},
      {FontCalligraphy12, "Lucida Calligraphy"},
  };
  for (const auto &[font, family] : fonts)
    EXPECT_EQ(ResolvedFontFamily(font), family);
  CarriedFiles = {};
}

// ---- Loading the libraries -----------------------------------------------------------

class Loading : public StartUp {
protected:
  TempFolder Folder;
  void SetUp() override {
    StartUp::SetUp();
    LibraryFolder = Folder.Path;
    IsWindows10 = 0;
  }
  void TearDown() override {
    UnloadAudioLibraries();
    StartUp::TearDown();
  }
  void Place(const char *fake, const char *as) { WriteBytes(LibraryFolder + as, ReadBytes(fake)); }
};

TEST_F(Loading, EachMissingLibraryEndsWithItsMessage) {
  struct Case {
    const char *What;
    bool Orva, Tesk, Pymo, Ulda;
    const char *Caption;
    const char *Text;
  };
  const Case cases[] = {
      {"no orva", false, true, true, true, "QE", "Error open orva.dll"},
      {"no tesk", true, false, true, true, "QE", "Error open tesk.dll"},
      {"no pymo", true, true, false, true, "Quensel", "Error open pymo.dll"},
      {"no ulda", true, true, true, false, "QE", "Error open ulda.dll"},
  };
  for (const Case &test : cases) {
    SCOPED_TRACE(test.What);
    std::filesystem::remove_all(LibraryFolder);
    std::filesystem::create_directories(LibraryFolder);
    if (test.Orva)
      Place(FAKE_ORVA, "orva.dll");
    if (test.Tesk)
      Place(FAKE_TESK, "tesk.dll");
    if (test.Pymo)
      Place(FAKE_PYMO, "pymo.dll");
    if (test.Ulda)
      Place(FAKE_ULDA, "ulda.dll");
    std::string box = std::string("message box \\[") + test.Caption + "\\] \\[none\\] " + test.Text + "\n$";
    EXPECT_EXIT(LoadAudioLibraries(), ExitedWithCode(0), box);
  }
}

TEST_F(Loading, LibraryLackingAFunctionCountsAsMissing) {
  Place(FAKE_ORVA_PARTIAL, "orva.dll");
  Place(FAKE_TESK, "tesk.dll");
  EXPECT_EXIT(LoadAudioLibraries(), ExitedWithCode(0), "message box \\[QE\\] \\[none\\] Error open orva.dll\n$");
  // Not a library at all.
  WriteBytes(LibraryFolder + "orva.dll", {0x7F, 'E', 'L', 'F', 0});
  EXPECT_EXIT(LoadAudioLibraries(), ExitedWithCode(0), "message box \\[QE\\] \\[none\\] Error open orva.dll\n$");
}

TEST_F(Loading, PluginsAreNotNeededWhenTheCoreOpensEverything) {
  Place(FAKE_ORVA, "orva.dll");
  Place(FAKE_TESK, "tesk.dll");
  IsWindows10 = 1;
  LoadAudioLibraries();
  EXPECT_TRUE(RecordedMessages().empty());
  EXPECT_NE(Orva.ChannelStop, nullptr);
  EXPECT_NE(Tesk.ChannelSetVolume, nullptr);
  EXPECT_EQ(Plugins.FlacStreamCreateFile, nullptr);
}

TEST_F(Loading, AllFourBound) {
  Place(FAKE_ORVA, "orva.dll");
  Place(FAKE_TESK, "tesk.dll");
  Place(FAKE_PYMO, "pymo.dll");
  Place(FAKE_ULDA, "ulda.dll");
  LoadAudioLibraries();
  EXPECT_TRUE(RecordedMessages().empty());
  EXPECT_NE(Orva.ChannelGetData, nullptr);
  EXPECT_NE(Tesk.GetDeviceInfo, nullptr);
  EXPECT_NE(Plugins.FlacStreamCreateFile, nullptr);
  EXPECT_NE(Plugins.AlacStreamCreateFile, nullptr);
}

TEST_F(StartUp, AudioErrorTexts) {
  const std::pair<int, const char *> cases[] = {
      {0, "All is OK"},
      {8, "Tesk_ASIO_Init has Not been successfully called"},
      {9, "Tesk_ASIO_Start has/hasn't been called"},
      {44, "Codec is not available/supported"},
      {-1, "Some other mystery error"},
      {5, "Error code #5"},
      {-2, "Error code #-2"},
      {6000, "Error code #6000"},
  };
  for (const auto &[code, text] : cases) {
    ClearRecordedMessages();
    ShowAudioError(code);
    std::vector<RecordedMessage> shown = RecordedMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Caption, "Error");
    EXPECT_EQ(shown[0].Text, text);
    EXPECT_EQ(shown[0].Icon, MessageIcon::Error);
  }
}

} // namespace
