// The interface's start and the main window: palette, window and control
// numbers, the hit-test services every window uses, and the turntable window.
#pragma once

#include <cstdint>

#include "platform/ui.h"

constexpr int MainWindow = 20;
constexpr int DeviceWindow = 21;
constexpr int OptionsWindow = 22;
constexpr int SplashWindow = 23;

// Controls of MainWindow.
constexpr int CloseButton = 30;
constexpr int MinimizeButton = 31;
constexpr int InfoText = 32;
constexpr int RateCanvas = 33;
constexpr int PlayCaption = 34;
constexpr int StopCaption = 35;
constexpr int NextCaption = 36;
constexpr int PauseCaption = 37;
constexpr int List1Tab = 38;
constexpr int List2Tab = 40;
constexpr int ListsTab = 42;
constexpr int OpenButton = 44;
constexpr int EmptyButton = 46;
constexpr int TurntableView = 49;
constexpr int ListCanvas = 61;
constexpr int CoverCanvas = 62;
constexpr int TitleCanvas = 63;
constexpr int PageUpButton = 64;
constexpr int PageDownButton = 65;
constexpr int SplashCanvas = 66;

// Images: the pictures and the pieces of the photo under each canvas.
constexpr int List1TabBackground = 39;
constexpr int List2TabBackground = 41;
constexpr int ListsTabBackground = 43;
constexpr int OpenBackground = 45;
constexpr int EmptyBackground = 47;
constexpr int TurntableImage = 48;
constexpr int CornerBackground = 51;
constexpr int LabelMask = 52;
constexpr int RateBackground = 54;
constexpr int ListBackground = 55;
constexpr int PlainListBackground = 56;
constexpr int TitleBackground = 57;
constexpr int PageUpBackground = 58;
constexpr int PageDownBackground = 59;
constexpr int SplashImage = 60;

// Timer and shortcut events of the start window.
constexpr int SplashTimer = 121;
constexpr int ReturnEvent = 444;
constexpr int SpaceEvent = 445;

// The photo is shown this far down, below the black strip of the window buttons.
constexpr int PhotoTop = 24;

extern Colour ColorBackground;
extern Colour ColorText;
extern Colour ColorActive;
extern Colour ColorLabel;
extern Colour ColorTabHot;
extern Colour ColorCaptionBack;
extern Colour ColorTitleBack;
extern Colour ColorInfoText;
extern Colour ColorCloseBack;
extern Colour ColorCloseHot;
extern Colour ColorMinimizeBack;
extern Colour ColorMinimizeHot;
extern Colour ColorGlyph;
extern Colour ColorChevron;
extern Colour ColorDialogText;
extern Colour ColorDialogBack;
extern Colour ColorDialogHot;
extern Colour ColorDisabledText;

struct CursorPoint {
  int32_t X = 0, Y = 0;
};
// Where the pointer was when last read: every hit test uses this, not the
// live position, so a press is judged where it happened.
extern CursorPoint CursorPos;

// Opens the interface and runs it; leaves only through EndProgram.
[[noreturn]] void StartInterface();

// The parts of StartInterface, in their order, for the tests.
// Fonts, library options, settings and palette; true when the user is to be
// asked for device and options (no usable lp.is).
bool PrepareInterface();
// The start window with the saved-driver check; gives the final ask flag.
bool RunStartWindow(bool ask);
// Device window, options window and lp.is, when asked.
void AskDeviceAndOptions(bool ask);
// Alpha 5, 10, ... 255 with 1 ms between the steps.
void FadeInMainWindow();

void InitPalette();
void OpenMainWindow();
void SetWindowAlpha(int window, int alpha);

void DrawCloseButton();
void DrawCloseButtonHot();
void DrawMinimizeButton();
void DrawMinimizeButtonHot();
void DrawPageButtons();
void WipeListCanvas();

void ReadCursor();
bool CursorOverControl(int control);
bool CursorOverWindow(int window);
