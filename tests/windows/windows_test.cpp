// The start window, the device and options windows and the main window on the
// headless backend, with the output library and the core library replaced by
// fakes and the user's input played from a script whenever a window waits.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <set>

#include "app/asio_driver.h"
#include "app/carried.h"
#include "app/device_window.h"
#include "app/interface.h"
#include "app/main_loop.h"
#include "app/options_window.h"
#include "app/settings.h"
#include "app/startup.h"
#include "audio/libraries.h"
#include "playlist/list_view.h"
#include "playlist/lists.h"
#include "tests/startup/test_support.h"

using ::testing::ExitedWithCode;

namespace {

// ---- A fake output library -------------------------------------------------------

struct FakeDevice {
  std::u16string Name;
  std::set<int> Rates;
  bool Opens = true;
};

std::vector<FakeDevice> Devices;
int OpenDevice = -1;
int InitCalls = 0, FreeCalls = 0;

const std::set<int> AllRates = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000, 705600, 768000};

int FakeGetDeviceInfo(int32_t device, TeskDeviceInfo *info) {
  if (device < 0 || device >= static_cast<int>(Devices.size()))
    return 0;
  info->name = Devices[device].Name.c_str();
  return 1;
}
int FakeInit(int32_t device, uint32_t) {
  InitCalls++;
  if (!Devices[device].Opens)
    return 0;
  OpenDevice = device;
  return 1;
}
int FakeFree() {
  FreeCalls++;
  OpenDevice = -1;
  return 1;
}
int FakeCheckRate(double rate) {
  // Only the low byte counts: 0x100 is a refusal.
  return OpenDevice >= 0 && Devices[OpenDevice].Rates.count(static_cast<int>(rate)) ? 1 : 0x100;
}
int FakeSetUnicode(int) { return 1; }

int FakeOrvaInit(int, uint32_t, uint32_t, void *, const void *) { return 1; }
int FakeOrvaFree() {
  fprintf(stderr, "core library freed\n");
  return 1;
}
int FakeOrvaSetConfig(uint32_t, uint32_t) { return 1; }
int FakeOrvaSetDevice(uint32_t) { return 1; }

// ---- The user, as a script ---------------------------------------------------------

// Each step acts when it can (its window is up) and then says so; steps run in
// order, one per look for input.
std::deque<std::function<bool()>> Script;
std::set<int> WindowsSeen;

void PlayScript() {
  for (int window : {DeviceWindow, OptionsWindow, SplashWindow})
    if (WindowExists(window))
      WindowsSeen.insert(window);
  if (!Script.empty() && Script.front()())
    Script.pop_front();
}

int WindowOf(int control) {
  for (int window : {MainWindow, DeviceWindow, OptionsWindow, SplashWindow}) {
    ScreenRect rect, place;
    if (GetWindowRect(window, rect) && GetControlScreenRect(control, place)) {
      // The control numbers are unique: the first window that holds it.
      if (place.X >= rect.X && place.Y >= rect.Y && place.X < rect.X + rect.Width && place.Y < rect.Y + rect.Height)
        return window;
    }
  }
  return 0;
}

std::function<bool()> MoveTo(int control) {
  return [control] {
    ScreenRect place;
    if (!GetControlScreenRect(control, place))
      return false;
    InjectMouseMove(WindowOf(control), place.X + 2, place.Y + 2);
    return true;
  };
}

std::function<bool()> Click(int control) {
  return [control] {
    ScreenRect place;
    if (!GetControlScreenRect(control, place))
      return false;
    int window = WindowOf(control);
    InjectMouseMove(window, place.X + 2, place.Y + 2);
    InjectMouseDown(window, place.X + 2, place.Y + 2, false, false);
    return true;
  };
}

// With the pointer over the window: windows ignore keys while it is elsewhere.
std::function<bool()> Press(int window, uint32_t key) {
  return [window, key] {
    ScreenRect rect;
    if (!GetWindowRect(window, rect))
      return false;
    SetHeadlessCursor(rect.X + rect.Width / 2, rect.Y + rect.Height / 2);
    return InjectKey(window, key, 0);
  };
}

// Runs a check once the control is there.
std::function<bool()> When(int control, std::function<void()> check) {
  return [control, check] {
    if (!ControlExists(control))
      return false;
    check();
    return true;
  };
}

std::vector<uint8_t> SettingsBytes(std::u16string name, std::vector<uint8_t> tail) {
  std::vector<uint8_t> bytes = {0xEB, 0xAF, 0x34, 0x01};
  for (char16_t unit : name) {
    bytes.push_back(unit & 0xFF);
    bytes.push_back(unit >> 8);
  }
  bytes.insert(bytes.end(), {0x0D, 0, 0x0A, 0});
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

class Windows : public ::testing::Test {
protected:
  TempFolder Home;
  std::string SettingsPath;

  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("XDG_CONFIG_HOME", Home.Path.c_str(), 1);
    SettingsPath = Home.Path + "velmora/lp.is";
    ASSERT_TRUE(StartUi(UiBackendKind::Headless));
    Tesk = {};
    Tesk.GetDeviceInfo = FakeGetDeviceInfo;
    Tesk.Init = FakeInit;
    Tesk.Free = FakeFree;
    Tesk.CheckRate = FakeCheckRate;
    Tesk.SetUnicode = FakeSetUnicode;
    Orva = {};
    Orva.Init = FakeOrvaInit;
    Orva.Free = FakeOrvaFree;
    Orva.SetConfig = FakeOrvaSetConfig;
    Orva.SetDevice = FakeOrvaSetDevice;
    Devices = {{u"Card one", {48000}}, {u"Null output", AllRates}};
    OpenDevice = -1;
    InitCalls = FreeCalls = 0;
    Script.clear();
    WindowsSeen.clear();
    ChosenDevice = {};
    AsioDevice = 0;
    SetHeadlessIdleHook(PlayScript);
    InitPalette();
    CreateFonts();
  }
  void TearDown() override {
    SetHeadlessIdleHook(nullptr);
    StopUi();
  }
};

// ---- Start-up paths ------------------------------------------------------------------

TEST_F(Windows, StartUpPaths) {
  // The end mark is never read: 0xEE tells a file left alone from one written anew.
  const std::vector<uint8_t> unchanged = SettingsBytes(u"Null output", {0, 1, 1, 1, 1, 0, 1, 0xEE});
  struct Case {
    const char *What;
    std::vector<uint8_t> File; // empty: no lp.is
    std::vector<FakeDevice> Drivers;
    std::vector<std::function<bool()>> Input;
    bool Asked;     // device and options windows shown
    bool Rewritten; // lp.is written
  };
  const std::set<int> upTo384 = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
  const std::vector<FakeDevice> usual = {{u"Card one", {48000}}, {u"Null output", upTo384}};
  const std::vector<std::function<bool()>> pickAndStart = {Click(FirstDriverLine + 1), Click(OptionsStart)};
  auto then = [](std::function<bool()> first, std::vector<std::function<bool()>> rest) {
    rest.insert(rest.begin(), first);
    return rest;
  };
  const Case cases[] = {
      {"valid file, same driver", unchanged, usual, {}, false, false},
      {"valid file, Return", unchanged, usual, then(Press(SplashWindow, KeyReturn), pickAndStart), true, true},
      {"valid file, click", unchanged, usual, then(Click(SplashCanvas), pickAndStart), true, true},
      {"no file, Space", {}, usual, {Press(SplashWindow, KeySpace)}, false, false},
      {"no file", {}, usual, pickAndStart, true, true},
      {"driver lost 384 kHz", unchanged, {{u"Null output", {44100, 48000, 96000, 192000}}},
       {Click(FirstDriverLine), Click(OptionsStart)}, true, true},
      {"driver gained 705.6 and 768 kHz", unchanged, {{u"Null output", AllRates}}, {}, false, false},
      {"driver no longer plays 44.1 kHz", SettingsBytes(u"Null output", {0, 0, 0, 0, 1, 0, 1, 0xEE}),
       {{u"Null output", {48000}}, {u"Other", {44100}}}, {Click(FirstDriverLine + 1), Click(OptionsStart)}, true,
       true},
      {"driver cannot be opened", unchanged, {{u"Null output", AllRates, false}, {u"Spare", AllRates}},
       {Click(FirstDriverLine + 1), Click(OptionsStart)}, true, true},
      {"driver gone", unchanged, {{u"Card one", AllRates}}, {Click(FirstDriverLine), Click(OptionsStart)}, true,
       true},
  };
  for (const Case &test : cases) {
    SCOPED_TRACE(test.What);
    std::filesystem::remove(SettingsPath);
    if (!test.File.empty()) {
      std::filesystem::create_directories(Home.Path + "velmora");
      WriteBytes(SettingsPath, test.File);
    }
    Devices = test.Drivers;
    Script.assign(test.Input.begin(), test.Input.end());
    WindowsSeen.clear();
    ChosenDevice = {};
    AsioDevice = 0;

    bool ask = PrepareInterface();
    ask = RunStartWindow(ask);
    AskDeviceAndOptions(ask);

    EXPECT_EQ(ask, test.Asked);
    EXPECT_TRUE(WindowsSeen.count(SplashWindow));
    EXPECT_EQ(WindowsSeen.count(DeviceWindow) == 1, test.Asked);
    EXPECT_EQ(WindowsSeen.count(OptionsWindow) == 1, test.Asked);
    EXPECT_TRUE(Script.empty());
    EXPECT_FALSE(WindowExists(SplashWindow));
    std::vector<uint8_t> now = ReadBytes(SettingsPath);
    if (test.Rewritten)
      EXPECT_TRUE(!now.empty() && now.back() == 0xFF);
    else
      EXPECT_EQ(now, test.File);
    EXPECT_EQ(OpenDevice, -1) << "a driver was left open";
  }
}

TEST_F(Windows, AcceptedSavedDriverBecomesTheChoice) {
  std::filesystem::create_directories(Home.Path + "velmora");
  WriteBytes(SettingsPath, SettingsBytes(u"Null output", {3, 1, 1, 1, 0, 1, 0, 0xFF}));
  bool ask = PrepareInterface();
  EXPECT_FALSE(RunStartWindow(ask));
  EXPECT_EQ(ChosenDevice.Name, "Null output");
  EXPECT_EQ(AsioDevice, 1);
  EXPECT_EQ(ChosenDevice.Rate768k, 1);
  EXPECT_EQ(OutputChannel, 3);
  EXPECT_EQ(ViewCoverMode, 0);
  EXPECT_EQ(CoverTrack, 1);
  EXPECT_EQ(BlendPicture, 0);
}

// ---- The device window ----------------------------------------------------------------

TEST_F(Windows, DeviceLinesShowTheRatesOfEachFamilyUpToTheFirstRefusal) {
  const std::u16string longName(70, u'x');
  struct Case {
    FakeDevice Driver;
    std::string Line;
  };
  const Case cases[] = {
      {{u"Null output", AllRates}, "Null output  pcm 44.1/48.0/88.2/96.0/176.4/192.0/352.8/384.0/705.6/768.0 kHz"},
      {{u"Card", {44100, 48000, 88200, 96000}}, "Card  pcm 44.1/48.0/88.2/96.0 kHz"},
      {{u"Gap", {44100, 176400, 48000}}, "Gap  pcm 44.1/48.0 kHz"},
      {{u"Only 44", {44100, 96000}}, "Only 44  pcm 44.1 kHz"},
      {{u"No 44", {48000, 96000}}, "No 44"},
      {{u"Closed", AllRates, false}, "Closed"},
      {{longName, {44100}}, std::string(60, 'x') + "  pcm 44.1 kHz"},
      {{u"K\u00f6ln \U0001F3B5", {44100}}, "K\xc3\xb6ln \xf0\x9f\x8e\xb5  pcm 44.1 kHz"},
  };
  for (const Case &test : cases) {
    SCOPED_TRACE(test.Line);
    Devices = {test.Driver};
    std::vector<AsioDriverEntry> entries = ListAudioDevices();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(DriverLineText(entries[0]), test.Line);
  }
  // The family of 48 kHz is tested whatever the 44.1 kHz one gave.
  Devices = {{u"No 44", {48000, 96000}}};
  EXPECT_EQ(ListAudioDevices()[0].Rate96k, 1);
  // A name is cut inside the line only, and never inside a surrogate pair.
  Devices = {{longName, {44100}}, {std::u16string(59, u'y') + u"\U0001F3B5", {}}};
  std::vector<AsioDriverEntry> entries = ListAudioDevices();
  EXPECT_EQ(entries[0].Name, std::string(70, 'x'));
  EXPECT_EQ(DriverLineText(entries[1]), std::string(59, 'y'));
  // Each driver opened and released once.
  EXPECT_EQ(InitCalls, 2 + static_cast<int>(std::size(cases)) + 1);
  EXPECT_EQ(FreeCalls, InitCalls);
}

TEST_F(Windows, DeviceListStopsAtTwelveOrAtTheFirstGap) {
  Devices.assign(14, {u"Same", {44100}});
  EXPECT_EQ(ListAudioDevices().size(), 12u);
}

TEST_F(Windows, GreyLinesCannotBePickedAndAPickResetsTheChannel) {
  Devices = {{u"Grey", {48000}}, {u"Null output", AllRates}, {u"Card", {44100}}};
  OutputChannel = 5;
  std::map<int, Colour> colours;
  Script = {
      When(FirstDriverLine + 2,
           [&] {
             for (int k = 0; k < 3; k++)
               colours[k] = ControlTextColour(FirstDriverLine + k);
           }),
      MoveTo(FirstDriverLine + 1),
      When(FirstDriverLine + 1, [&] { colours[10] = ControlTextColour(FirstDriverLine + 1); }),
      MoveTo(FirstDriverLine),
      When(FirstDriverLine, [&] {
        colours[11] = ControlTextColour(FirstDriverLine + 1);
        colours[12] = ControlTextColour(FirstDriverLine);
      }),
      Click(FirstDriverLine), // grey: no pick
      Click(FirstDriverLine + 2),
  };
  ChooseAudioDevice();
  EXPECT_EQ(colours[0], ColorDisabledText);
  EXPECT_EQ(colours[1], ColorDialogText);
  EXPECT_EQ(colours[2], ColorDialogText);
  EXPECT_EQ(colours[10], ColorDialogHot);  // under the pointer
  EXPECT_EQ(colours[11], ColorDialogText); // left again
  EXPECT_EQ(colours[12], ColorDisabledText);
  EXPECT_EQ(ChosenDevice.Name, "Card");
  EXPECT_EQ(AsioDevice, 2);
  EXPECT_EQ(OutputChannel, 0);
  EXPECT_FALSE(WindowExists(DeviceWindow));
}

TEST_F(Windows, InputWhileThePointerIsOutsideIsIgnored) {
  Script = {
      When(FirstDriverLine + 1,
           [] {
             SetHeadlessCursor(0, 0);
             InjectKey(DeviceWindow, KeyEscape, 0);
           }),
      Click(FirstDriverLine + 1),
  };
  ChooseAudioDevice();
  EXPECT_EQ(ChosenDevice.Name, "Null output");
}

TEST_F(Windows, LeavingTheDeviceWindowEndsTheProgramWithoutSettings) {
  const std::vector<std::function<bool()>> ways[] = {
      {Press(DeviceWindow, KeyEscape)},
      {Click(DeviceCloseBox)},
  };
  for (const auto &way : ways) {
    Script.assign(way.begin(), way.end());
    EXPECT_EXIT(AskDeviceAndOptions(true), ExitedWithCode(0), "");
  }
  EXPECT_FALSE(std::filesystem::exists(SettingsPath));
}

// ---- The options window -------------------------------------------------------------------

TEST_F(Windows, OptionTogglesCycleAndTheirTextsFollow) {
  ViewCoverMode = 2;
  CoverTrack = 0;
  BlendPicture = 1;
  std::vector<std::string> texts;
  auto note = [&](int control) { return When(control, [&texts, control] { texts.push_back(ControlText(control)); }); };
  Script = {note(ViewCoverToggle), note(CoverTrackToggle), note(BlendToggle)};
  for (int i = 0; i < 3; i++) {
    Script.push_back(Click(ViewCoverToggle));
    Script.push_back(note(ViewCoverToggle));
  }
  for (int control : {CoverTrackToggle, BlendToggle})
    for (int i = 0; i < 2; i++) {
      Script.push_back(Click(control));
      Script.push_back(note(control));
    }
  Script.push_back(MoveTo(BlendToggle));
  Script.push_back(When(BlendToggle, [&] { texts.push_back(ControlTextColour(BlendToggle) == ColorDialogHot ? "hot" : "cold"); }));
  Script.push_back(MoveTo(OptionsStart));
  Script.push_back(When(BlendToggle, [&] { texts.push_back(ControlTextColour(BlendToggle) == ColorDialogHot ? "hot" : "cold"); }));
  Script.push_back(Click(OptionsStart));
  ShowOptions();
  const std::vector<std::string> expected = {
      "View cover:  On the vinyl's label", "Cover track:  Off", "Blend picture:  On",
      "View cover:  Off", "View cover:  In the corner", "View cover:  On the vinyl's label",
      "Cover track:  On", "Cover track:  Off", "Blend picture:  Off", "Blend picture:  On", "hot", "cold",
  };
  EXPECT_EQ(texts, expected);
  EXPECT_EQ(ViewCoverMode, 2);
  EXPECT_FALSE(WindowExists(OptionsWindow));
}

TEST_F(Windows, OptionValuesWithoutATextKeepTheOffText) {
  ViewCoverMode = 7;
  CoverTrack = 4;
  std::string view, track;
  Script = {When(ViewCoverToggle,
                 [&] {
                   view = ControlText(ViewCoverToggle);
                   track = ControlText(CoverTrackToggle);
                 }),
            Click(ViewCoverToggle), Click(CoverTrackToggle), Click(OptionsStart)};
  ShowOptions();
  EXPECT_EQ(view, "View cover:  Off");
  EXPECT_EQ(track, "Cover track:  Off");
  EXPECT_EQ(ViewCoverMode, 7); // unknown modes stay as they are
  EXPECT_EQ(CoverTrack, 0);    // any other value counts as on
}

TEST_F(Windows, EscapeInTheOptionsWindowEndsTheProgram) {
  Script = {Press(OptionsWindow, KeyEscape)};
  EXPECT_EXIT(ShowOptions(), ExitedWithCode(0), "");
}

// ---- Hit tests and the main window ----------------------------------------------------------

TEST_F(Windows, CursorOverControlTakesTheTopLeftEdgesOnly) {
  ASSERT_TRUE(OpenWindow(MainWindow, 820, 560, "Velmora", ColorBackground, 0));
  ASSERT_TRUE(CreateCanvas(MainWindow, List1Tab, 8, 270, 76, 26));
  ScreenRect window;
  ASSERT_TRUE(GetWindowRect(MainWindow, window));
  int left = window.X + 8, top = window.Y + 270;
  struct Case {
    int X, Y;
    bool Over;
  };
  const Case cases[] = {
      {left, top, true},           {left + 75, top + 25, true}, {left + 76, top, false},
      {left, top + 26, false},     {left - 1, top, false},      {left, top - 1, false},
  };
  for (const Case &test : cases) {
    CursorPos = {test.X, test.Y};
    EXPECT_EQ(CursorOverControl(List1Tab), test.Over) << test.X - left << "," << test.Y - top;
  }
  CursorPos = {window.X + 819, window.Y + 559};
  EXPECT_TRUE(CursorOverWindow(MainWindow));
  CursorPos = {window.X + 820, window.Y};
  EXPECT_FALSE(CursorOverWindow(MainWindow));
  EXPECT_FALSE(CursorOverControl(999));
}

TEST_F(Windows, MainWindowFadesInOverFiftyOneSteps) {
  OpenMainWindow();
  FadeInMainWindow();
  std::vector<int> expected = {255, 0}; // opened, then made invisible
  for (int alpha = 5; alpha <= 255; alpha += 5)
    expected.push_back(alpha);
  EXPECT_EQ(HeadlessOpacitySteps(MainWindow), expected);
  EXPECT_EQ(expected.size() - 2, 51u);
}

uint32_t PixelAt(cairo_surface_t *surface, int x, int y) {
  cairo_surface_flush(surface);
  const uint8_t *row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  return reinterpret_cast<const uint32_t *>(row)[x] & 0xFFFFFF;
}

uint32_t Rgb(Colour colour) { return (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF); }

class MainWindowTest : public Windows {
protected:
  std::vector<uint8_t> Photo, Mask;
  std::vector<CarriedFile> Files;
  void SetUp() override {
    Windows::SetUp();
    Photo = ReadBytes(std::string(VELMORA_SOURCE_DIR) + "/assets/turntable.png");
    Mask = ReadBytes(std::string(VELMORA_SOURCE_DIR) + "/assets/labelmask.png");
    Files = {{"turntable.png", Photo}, {"labelmask.png", Mask}};
    CarriedFiles = Files;
  }
};

TEST_F(MainWindowTest, EveryControlSitsOnThePieceOfThePhotoUnderIt) {
  struct Place {
    int Control, X, Y, Width, Height;
  };
  const Place places[] = {
      {TurntableView, 0, 24, 820, 536}, {InfoText, 0, 0, 720, 24},        {CloseButton, 770, 0, 50, 24},
      {MinimizeButton, 720, 0, 50, 24}, {RateCanvas, 12, 32, 76, 22},     {TitleCanvas, 150, 80, 470, 28},
      {ListCanvas, 100, 122, 570, 400}, {PageUpButton, 744, 224, 36, 36}, {PageDownButton, 744, 392, 36, 36},
      {PauseCaption, 12, 82, 62, 30},   {NextCaption, 12, 124, 62, 30},   {StopCaption, 12, 166, 62, 30},
      {PlayCaption, 12, 208, 62, 30},   {List1Tab, 8, 270, 76, 26},       {List2Tab, 8, 310, 76, 26},
      {ListsTab, 8, 354, 76, 26},       {OpenButton, 8, 410, 76, 26},     {EmptyButton, 8, 450, 76, 26},
  };
  for (uint8_t mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    ViewCoverMode = mode;
    FreeImage(PlainListBackground);
    OpenMainWindow();
    ScreenRect window;
    ASSERT_TRUE(GetWindowRect(MainWindow, window));
    EXPECT_EQ(window.Width, 820);
    EXPECT_EQ(window.Height, 560);
    EXPECT_EQ(WindowOpacity(MainWindow), 0);
    for (const Place &place : places) {
      ScreenRect rect;
      ASSERT_TRUE(GetControlScreenRect(place.Control, rect)) << place.Control;
      EXPECT_EQ(rect.X - window.X, place.X) << place.Control;
      EXPECT_EQ(rect.Y - window.Y, place.Y) << place.Control;
      EXPECT_EQ(rect.Width, place.Width) << place.Control;
      EXPECT_EQ(rect.Height, place.Height) << place.Control;
    }
    EXPECT_EQ(ControlExists(CoverCanvas), mode == 1);
    EXPECT_EQ(ImageExists(PlainListBackground), mode == 2);
    EXPECT_EQ(ControlText(PauseCaption), "Pause");
    EXPECT_EQ(ControlTextColour(PlayCaption), ColorLabel);
    // The list canvas shows exactly the photo beneath it, 24 pixels down.
    cairo_surface_t *photo = ImageSurface(TurntableImage);
    for (auto [x, y] : {std::pair{0, 0}, {569, 399}, {285, 200}})
      EXPECT_EQ(PixelAt(CanvasSurface(ListCanvas), x, y), PixelAt(photo, 100 + x, 122 - 24 + y));
    EXPECT_EQ(PixelAt(CanvasSurface(CloseButton), 1, 1), Rgb(ColorCloseBack));
    EXPECT_EQ(PixelAt(CanvasSurface(CloseButton), 20, 7), Rgb(ColorGlyph));
    EXPECT_EQ(PixelAt(CanvasSurface(CloseButton), 30, 17), Rgb(ColorGlyph));
    CloseWindow(MainWindow);
  }
}

TEST_F(MainWindowTest, ButtonsLightUpUnderThePointerAndMinimisingDisables) {
  OpenMainWindow();
  SetUpMainLoop();
  EXPECT_EQ(ActiveList, 3);
  auto run = [](std::function<bool()> step) {
    step();
    WindowEvent event;
    while (WaitWindowEvent(event, 0))
      DispatchMainEvent(event);
  };
  run(MoveTo(CloseButton));
  EXPECT_EQ(PixelAt(CanvasSurface(CloseButton), 1, 1), Rgb(ColorCloseHot));
  run(MoveTo(MinimizeButton));
  EXPECT_EQ(PixelAt(CanvasSurface(CloseButton), 1, 1), Rgb(ColorCloseBack));
  EXPECT_EQ(PixelAt(CanvasSurface(MinimizeButton), 1, 1), Rgb(ColorMinimizeHot));
  EXPECT_EQ(PixelAt(CanvasSurface(MinimizeButton), 25, 17), Rgb(ColorGlyph));
  run(Click(MinimizeButton));
  EXPECT_TRUE(IsWindowMinimised(MainWindow));
  EXPECT_FALSE(IsWindowEnabled(MainWindow));
  // Keys of a minimised window go nowhere.
  EXPECT_FALSE(InjectKey(MainWindow, 'P', 0));
  run([] {
    InjectMinimised(MainWindow, false);
    return true;
  });
  EXPECT_TRUE(IsWindowEnabled(MainWindow));
  EXPECT_TRUE(InjectKey(MainWindow, 'P', 0));
}

TEST_F(MainWindowTest, APressIsJudgedWhereItHappenedAfterTheWindowMoved) {
  OpenMainWindow();
  SetUpMainLoop();
  ScreenRect tab;
  ASSERT_TRUE(GetControlScreenRect(List2Tab, tab));
  // The press lands on "List 2"; the drag takes the window 40 pixels down,
  // which puts "List 1" under that screen point.
  SetHeadlessDragOffset(0, 40);
  InjectMouseDown(MainWindow, tab.X + 5, tab.Y + 5, false, false);
  WindowEvent event;
  while (WaitWindowEvent(event, 0))
    DispatchMainEvent(event);
  EXPECT_EQ(ActiveList, 1);
  // A press that ends outside the moved window does nothing.
  SetHeadlessDragOffset(0, 600);
  InjectMouseDown(MainWindow, tab.X + 5, tab.Y + 45, false, false);
  while (WaitWindowEvent(event, 0))
    DispatchMainEvent(event);
  EXPECT_EQ(ActiveList, 1);
}

TEST_F(MainWindowTest, CloseButtonAndCloseRequestEndTheProgram) {
  OpenMainWindow();
  SetUpMainLoop();
  auto closeBy = [](bool button) {
    if (button) {
      ScreenRect rect;
      GetControlScreenRect(CloseButton, rect);
      InjectMouseDown(MainWindow, rect.X + 3, rect.Y + 3, false, false);
    } else {
      InjectCloseRequest(MainWindow);
    }
    WindowEvent event;
    while (WaitWindowEvent(event, 0))
      DispatchMainEvent(event);
  };
  EXPECT_EXIT(closeBy(true), ExitedWithCode(0), "core library freed");
  EXPECT_EXIT(closeBy(false), ExitedWithCode(0), "core library freed");
}

// ---- Tab headers -----------------------------------------------------------------------------

TEST(ListTime, HeaderTexts) {
  struct Case {
    int64_t Seconds;
    const char *Text;
  };
  const Case cases[] = {
      {45 * 60 + 7, " 45:07"}, {59 * 60 + 59, " 59:59"}, {3600 + 5 * 60 + 7, " 1:05:07"},
      {73 * 60 + 20, " 1:13:20"}, {5, "  0:05"}, {99 * 3600 + 1, " 0:00:01"},
  };
  for (const Case &test : cases)
    EXPECT_EQ(ListTimeText(test.Seconds * 44100 * 8, 44100), test.Text) << test.Seconds;
}

TEST_F(MainWindowTest, TabsShowCaptionOrTimeAndTheActiveOneIsLit) {
  OpenMainWindow();
  auto lit = [](int control) {
    // The highlight is green, the plain caption grey and the photo brown.
    cairo_surface_t *canvas = CanvasSurface(control);
    for (int y = 0; y < 26; y++)
      for (int x = 0; x < 76; x++) {
        uint32_t pixel = PixelAt(canvas, x, y);
        if ((pixel >> 8 & 0xFF) > (pixel >> 16 & 0xFF) + 32)
          return true;
      }
    return false;
  };
  HighlightTab(2);
  EXPECT_FALSE(lit(List1Tab));
  EXPECT_TRUE(lit(List2Tab));
  EXPECT_FALSE(lit(ListsTab));
  HighlightTab(3);
  EXPECT_FALSE(lit(List2Tab));
  EXPECT_TRUE(lit(ListsTab));
  // The header's own look changes once the list holds audio.
  cairo_surface_t *empty = cairo_surface_create_similar_image(CanvasSurface(List1Tab), CAIRO_FORMAT_ARGB32, 76, 26);
  cairo_t *cr = cairo_create(empty);
  cairo_set_source_surface(cr, CanvasSurface(List1Tab), 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  List1Bytes = int64_t{73 * 60 + 20} * 44100 * 8;
  ListRate = 44100;
  DrawList1Tab(0);
  bool differs = false;
  for (int x = 0; x < 76 && !differs; x++)
    for (int y = 0; y < 26 && !differs; y++)
      differs = PixelAt(empty, x, y) != PixelAt(CanvasSurface(List1Tab), x, y);
  EXPECT_TRUE(differs);
  cairo_surface_destroy(empty);
  List1Bytes = 0;
  ListRate = 0;
}

} // namespace
