#include "app/interface.h"

#include <string>

#include "app/asio_driver.h"
#include "app/carried.h"
#include "app/device_window.h"
#include "app/main_loop.h"
#include "app/options_window.h"
#include "app/settings.h"
#include "app/startup.h"
#include "audio/buffers.h"
#include "audio/libraries.h"
#include "platform/system.h"
#include "platform/text.h"
#include "playlist/list_view.h"

Colour ColorBackground, ColorText, ColorActive, ColorLabel, ColorTabHot, ColorCaptionBack, ColorTitleBack,
    ColorInfoText, ColorCloseBack, ColorCloseHot, ColorMinimizeBack, ColorMinimizeHot, ColorGlyph, ColorChevron,
    ColorDialogText, ColorDialogBack, ColorDialogHot, ColorDisabledText;

CursorPoint CursorPos;

void InitPalette() {
  ColorBackground = 0x101010;
  ColorText = 0xEFEFEF;
  ColorActive = 0x60F060;
  ColorLabel = 0xE0E0E0;
  ColorTabHot = 0xA0F0A0;
  ColorCaptionBack = 0x060606;
  ColorTitleBack = 0x000000;
  ColorInfoText = 0x828282;
  ColorCloseBack = 0x000000;
  ColorCloseHot = 0x332C85;
  ColorMinimizeBack = 0x000000;
  ColorMinimizeHot = 0x202060;
  ColorGlyph = 0xEFEFEF;
  ColorChevron = 0xA2A2A2;
  ColorDialogText = 0xFFFFFF;
  ColorDialogBack = 0x161616;
  ColorDialogHot = 0x60F060;
  ColorDisabledText = 0xA1A1A1;
}

// ---- Hit tests and transparency ---------------------------------------------------

void ReadCursor() {
  CursorPos = {};
  int x, y;
  if (ReadScreenCursor(x, y))
    CursorPos = {x, y};
}

static bool CursorInside(const ScreenRect &rect) {
  // Left and top edges belong to the rectangle, right and bottom do not.
  return CursorPos.X >= rect.X && CursorPos.X < rect.X + rect.Width && CursorPos.Y >= rect.Y &&
         CursorPos.Y < rect.Y + rect.Height;
}

bool CursorOverControl(int control) {
  ScreenRect rect;
  return GetControlScreenRect(control, rect) && CursorInside(rect);
}

bool CursorOverWindow(int window) {
  ScreenRect rect;
  return GetWindowRect(window, rect) && CursorInside(rect);
}

void SetWindowAlpha(int window, int alpha) {
  if (WindowExists(window))
    SetWindowOpacity(window, static_cast<uint8_t>(alpha < 0 ? 0 : alpha > 255 ? 255 : alpha));
}

// ---- The window buttons -------------------------------------------------------------

static void DrawCloseGlyph(Colour back) {
  cairo_surface_t *canvas = CanvasSurface(CloseButton);
  if (!canvas)
    return;
  FillBox(canvas, 0, 0, 50, 24, back);
  DrawLine(canvas, 20, 7, 11, 11, ColorGlyph);
  DrawLine(canvas, 20, 17, 11, -11, ColorGlyph);
  RefreshControl(CloseButton);
}

static void DrawMinimizeGlyph(Colour back) {
  cairo_surface_t *canvas = CanvasSurface(MinimizeButton);
  if (!canvas)
    return;
  FillBox(canvas, 0, 0, 50, 24, back);
  DrawLine(canvas, 20, 17, 11, 1, ColorGlyph);
  RefreshControl(MinimizeButton);
}

void DrawCloseButton() { DrawCloseGlyph(ColorCloseBack); }
void DrawCloseButtonHot() { DrawCloseGlyph(ColorCloseHot); }
void DrawMinimizeButton() { DrawMinimizeGlyph(ColorMinimizeBack); }
void DrawMinimizeButtonHot() { DrawMinimizeGlyph(ColorMinimizeHot); }

static void DrawChevron(cairo_surface_t *canvas, int apexX, int apexY, int dy) {
  DrawLine(canvas, apexX, apexY, -7, dy, ColorChevron);
  DrawLine(canvas, apexX, apexY, 7, dy, ColorChevron);
}

void DrawPageButtons() {
  if (cairo_surface_t *up = CanvasSurface(PageUpButton)) {
    DrawImage(up, PageUpBackground, 0, 0);
    DrawChevron(up, 17, 9, 7);
    DrawChevron(up, 17, 17, 7);
    RefreshControl(PageUpButton);
  }
  if (cairo_surface_t *down = CanvasSurface(PageDownButton)) {
    DrawImage(down, PageDownBackground, 0, 0);
    DrawChevron(down, 17, 17, -7);
    DrawChevron(down, 17, 25, -7);
    RefreshControl(PageDownButton);
  }
}

void WipeListCanvas() {
  if (cairo_surface_t *canvas = CanvasSurface(ListCanvas)) {
    DrawImage(canvas, ListBackground, 0, 0);
    RefreshControl(ListCanvas);
  }
}

// ---- The main window ----------------------------------------------------------------

static bool LoadCarriedPicture(int image, std::string_view name) {
  const CarriedFile *file = FindCarriedFile(name);
  return file && LoadImageFromMemory(image, file->Bytes);
}

// A canvas whose background image is the piece of the photo under it, drawn
// at once so that the canvas looks like a hole in the window.
static void CreatePhotoCanvas(int control, int x, int y, int width, int height, int background) {
  CreateCanvas(MainWindow, control, x, y, width, height);
  GrabImage(background, TurntableImage, x, y - PhotoTop, width, height);
}

static void DrawBackground(int control, int background) {
  if (cairo_surface_t *canvas = CanvasSurface(control)) {
    DrawImage(canvas, background, 0, 0);
    RefreshControl(control);
  }
}

static void DrawButtonCaption(int control, int background, const char *caption) {
  if (cairo_surface_t *canvas = CanvasSurface(control)) {
    DrawImage(canvas, background, 0, 0);
    DrawText(canvas, 4, 2, caption, FontCalligraphy12, ColorLabel);
    RefreshControl(control);
  }
}

struct CaptionPlace {
  int Control;
  const char *Text;
  int X, Y;
};
static const CaptionPlace Captions[] = {
    {PauseCaption, "Pause", 12, 82},
    {NextCaption, "Next", 12, 124},
    {StopCaption, "Stop", 12, 166},
    {PlayCaption, "Play", 12, 208},
};

void OpenMainWindow() {
  OpenWindow(MainWindow, 820, 560, "Velmora", ColorBackground, 0);
  SetWindowAlpha(MainWindow, 0);

  LoadCarriedPicture(TurntableImage, "turntable.png");
  CreateImageControl(MainWindow, TurntableView, 0, PhotoTop, 820, 536, TurntableImage);
  LoadCarriedPicture(LabelMask, "labelmask.png");

  if (ViewCoverMode == 1) {
    CreatePhotoCanvas(CoverCanvas, 680, 32, 128, 128, CornerBackground);
    DrawBackground(CoverCanvas, CornerBackground);
  }

  CreateTextControl(MainWindow, InfoText, 0, 0, 0, 0, "", FontSegoeLight12, ColorInfoText, ColorTitleBack, false);

  CreateCanvas(MainWindow, CloseButton, 770, 0, 50, 24);
  DrawCloseButton();
  CreateCanvas(MainWindow, MinimizeButton, 720, 0, 50, 24);
  DrawMinimizeButton();

  CreatePhotoCanvas(RateCanvas, 12, 32, 76, 22, RateBackground);
  DrawBackground(RateCanvas, RateBackground);
  CreatePhotoCanvas(TitleCanvas, 150, 80, 470, 28, TitleBackground);
  DrawBackground(TitleCanvas, TitleBackground);
  CreatePhotoCanvas(ListCanvas, 100, 122, 570, 400, ListBackground);
  if (ViewCoverMode == 2)
    CopyImage(PlainListBackground, ListBackground);
  DrawBackground(ListCanvas, ListBackground);

  CreatePhotoCanvas(PageUpButton, 744, 224, 36, 36, PageUpBackground);
  CreatePhotoCanvas(PageDownButton, 744, 392, 36, 36, PageDownBackground);
  DrawPageButtons();

  for (const CaptionPlace &caption : Captions)
    CreateTextControl(MainWindow, caption.Control, caption.X, caption.Y, 0, 0, caption.Text, FontCalligraphy12,
                      ColorLabel, ColorCaptionBack, false);

  CreatePhotoCanvas(List1Tab, 8, 270, 76, 26, List1TabBackground);
  DrawList1Tab(0);
  CreatePhotoCanvas(List2Tab, 8, 310, 76, 26, List2TabBackground);
  DrawList2Tab(0);
  CreatePhotoCanvas(ListsTab, 8, 354, 76, 26, ListsTabBackground);
  DrawListsTab(0);

  CreatePhotoCanvas(OpenButton, 8, 410, 76, 26, OpenBackground);
  CreatePhotoCanvas(EmptyButton, 8, 450, 76, 26, EmptyBackground);
  DrawButtonCaption(OpenButton, OpenBackground, "Open");
  DrawButtonCaption(EmptyButton, EmptyBackground, "Clear");

  SetControlRect(InfoText, 0, 0, 720, 24);
  for (const CaptionPlace &caption : Captions)
    SetControlRect(caption.Control, caption.X, caption.Y, 62, 30);
}

void FadeInMainWindow() {
  for (int alpha = 5; alpha <= 255; alpha += 5) {
    SetWindowAlpha(MainWindow, alpha);
    Pause(1);
  }
}

// ---- Start ---------------------------------------------------------------------------

bool PrepareInterface() {
  CreateFonts();
  Tesk.SetUnicode(1);
  Orva.SetConfig(42, 1);
  OutputChannel = 0;
  ViewCoverMode = 2;
  CoverTrack = 0;
  BlendPicture = 1;
  LoadSettings();
  bool ask = true;
  if (SettingsLoaded == 1) {
    OutputChannel = SavedOutputChannel;
    ViewCoverMode = SavedViewCoverMode;
    CoverTrack = SavedCoverTrack;
    BlendPicture = SavedBlendPicture;
    ask = false;
  }
  InitPalette();
  return ask;
}

static std::string DriverName(int device, bool &listed) {
  TeskDeviceInfo info{};
  listed = Tesk.GetDeviceInfo(device, &info) != 0;
  if (!listed || !info.name)
    return {};
  return Utf16ToUtf8(static_cast<const char16_t *>(info.name));
}

static bool RateAccepted(double rate) { return (Tesk.CheckRate(rate) & 0xFF) != 0; }

// Is the remembered driver still there, unchanged in what lp.is recorded of
// it? Then it becomes the choice without asking.
static bool AcceptSavedDriver() {
  for (int device = 0; device < 12; device++) {
    bool listed;
    std::string name = DriverName(device, listed);
    if (!listed)
      return false;
    if (name != SavedDriverName)
      continue;
    if (!Tesk.Init(device, 0)) {
      Tesk.Free();
      return false;
    }
    AsioDriverEntry entry;
    // Each rate of a family only counts when the one below it does.
    uint8_t *family44[] = {&entry.Rate44k1, &entry.Rate88k2, &entry.Rate176k4, &entry.Rate352k8, &entry.Rate705k6};
    uint8_t *family48[] = {&entry.Rate48k, &entry.Rate96k, &entry.Rate192k, &entry.Rate384k, &entry.Rate768k};
    const double rates44[] = {44100, 88200, 176400, 352800, 705600};
    const double rates48[] = {48000, 96000, 192000, 384000, 768000};
    for (int i = 0; i < 5 && RateAccepted(rates44[i]); i++)
      *family44[i] = 1;
    if (entry.Rate44k1)
      for (int i = 0; i < 5 && RateAccepted(rates48[i]); i++)
        *family48[i] = 1;
    Tesk.Free();
    if (entry.Rate44k1 == 1 && entry.Rate96k == SavedRate96k && entry.Rate192k == SavedRate192k &&
        entry.Rate384k == SavedRate384k) {
      entry.Name = name;
      ChosenDevice = entry;
      AsioDevice = static_cast<uint8_t>(device);
      return true;
    }
    return false;
  }
  return false;
}

bool RunStartWindow(bool ask) {
  OpenWindow(SplashWindow, 420, 280, "Velmora pcm", ColorBackground, WindowKeepAbove);
  CreateCanvas(SplashWindow, SplashCanvas, 0, 0, 420, 280);
  if (cairo_surface_t *canvas = CanvasSurface(SplashCanvas)) {
    FillBox(canvas, 0, 0, 420, 280, ColorBackground);
    if (LoadCarriedPicture(SplashImage, "splash.png"))
      DrawImage(canvas, SplashImage, 0, 0);
    FreeImage(SplashImage);
    RefreshControl(SplashCanvas);
  }
  // The driver check below may take a moment: show the picture meanwhile.
  UpdateWindows();
  if (!ask)
    ask = !AcceptSavedDriver();
  StartTimer(SplashWindow, SplashTimer, 800);
  AddShortcut(SplashWindow, KeyReturn, 0, ReturnEvent);
  AddShortcut(SplashWindow, KeySpace, 0, SpaceEvent);
  for (bool waiting = true; waiting;) {
    WindowEvent event;
    if (!WaitWindowEvent(event, 0)) {
      Pause(20);
      continue;
    }
    if (event.Kind == EventKind::LeftButtonDown) {
      ask = true;
      waiting = false;
    } else if (event.Kind == EventKind::Menu && event.Number == ReturnEvent) {
      ask = true;
      waiting = false;
    } else if (event.Kind == EventKind::Menu && event.Number == SpaceEvent) {
      ask = false;
      waiting = false;
    } else if (event.Kind == EventKind::Timer && event.Number == SplashTimer) {
      waiting = false;
    } else {
      Pause(20);
    }
  }
  StopAllTimers(SplashWindow);
  RemoveAllShortcuts(SplashWindow);
  CloseWindow(SplashWindow);
  return ask;
}

void AskDeviceAndOptions(bool ask) {
  if (!ask)
    return;
  ChooseAudioDevice();
  ShowOptions();
  SaveSettings();
}

static void DrainEventQueue() {
  int quiet = 0;
  while (quiet < 2) {
    WindowEvent event;
    if (WaitWindowEvent(event, 0)) {
      quiet = 0;
      Pause(1);
    } else {
      quiet++;
    }
  }
}

void StartInterface() {
  bool ask = PrepareInterface();
  ask = RunStartWindow(ask);
  AskDeviceAndOptions(ask);
  OpenMainWindow();
  ActivateWindow(MainWindow);
  Pause(20);
  FadeInMainWindow();
  if (!AllocateAudioBuffers()) {
    // Playback would write through a missing buffer: say so instead.
    ShowMessageBox("Not enough memory for the audio buffers", "Velmora", MessageIcon::Information);
    EndProgram();
  }
  DrainEventQueue();
  Pause(200);
  RunMainLoop();
}
