#include "app/options_window.h"

#include "app/device_window.h"
#include "app/interface.h"
#include "app/settings.h"
#include "app/startup.h"
#include "platform/system.h"

// Values without a text of their own keep the "Off" text.
std::string ViewCoverText(uint8_t mode) {
  switch (mode) {
  case 1:
    return "View cover:  In the corner";
  case 2:
    return "View cover:  On the vinyl's label";
  default:
    return "View cover:  Off";
  }
}

std::string CoverTrackText(uint8_t value) { return value == 1 ? "Cover track:  On" : "Cover track:  Off"; }

std::string BlendPictureText(uint8_t value) { return value == 1 ? "Blend picture:  On" : "Blend picture:  Off"; }

static void ShowToggle(int control, int x, int y, int width, const std::string &off, const std::string &now) {
  CreateTextControl(OptionsWindow, control, x, y, width, 24, off, FontTahoma10, ColorDialogText, ColorDialogBack,
                    false);
  SetControlText(control, now);
}

void ShowOptions() {
  OpenWindow(OptionsWindow, 820, 560, "options", ColorDialogBack, WindowKeepAbove);
  CreateTextControl(OptionsWindow, OptionsStart, 200, 320, 60, 24, "Start", FontSegoe12, ColorDialogText,
                    ColorDialogBack, false);
  ShowToggle(ViewCoverToggle, 60, 120, 200, ViewCoverText(0), ViewCoverText(ViewCoverMode));
  ShowToggle(CoverTrackToggle, 60, 160, 160, CoverTrackText(0), CoverTrackText(CoverTrack));
  ShowToggle(BlendToggle, 60, 200, 160, BlendPictureText(0), BlendPictureText(BlendPicture));
  AddShortcut(OptionsWindow, KeyEscape, 0, EscapeEvent);

  static const int Texts[] = {OptionsStart, ViewCoverToggle, CoverTrackToggle, BlendToggle};
  for (;;) {
    WindowEvent event;
    if (!WaitWindowEvent(event, 20))
      continue;
    ReadCursor();
    if (!CursorOverWindow(OptionsWindow))
      continue;
    if (event.Kind == EventKind::LeftButtonDown) {
      if (CursorOverControl(ViewCoverToggle) && ViewCoverMode <= 2) {
        ViewCoverMode = (ViewCoverMode + 1) % 3;
        SetControlText(ViewCoverToggle, ViewCoverText(ViewCoverMode));
      }
      if (CursorOverControl(CoverTrackToggle)) {
        CoverTrack = CoverTrack != 0 ? 0 : 1;
        SetControlText(CoverTrackToggle, CoverTrackText(CoverTrack));
      }
      if (CursorOverControl(BlendToggle)) {
        BlendPicture = BlendPicture != 0 ? 0 : 1;
        SetControlText(BlendToggle, BlendPictureText(BlendPicture));
      }
      if (CursorOverControl(OptionsStart)) {
        RemoveShortcut(OptionsWindow, EscapeEvent);
        CloseWindow(OptionsWindow);
        Pause(20);
        return;
      }
    } else if (event.Kind == EventKind::MouseMove) {
      for (int text : Texts) {
        Colour colour = ControlTextColour(text);
        bool over = CursorOverControl(text);
        if (over && colour == ColorDialogText)
          SetControlColours(text, ColorDialogHot, ColorDialogBack);
        else if (!over && colour == ColorDialogHot)
          SetControlColours(text, ColorDialogText, ColorDialogBack);
      }
    } else if (event.Kind == EventKind::Menu && event.Number == EscapeEvent) {
      RemoveShortcut(OptionsWindow, EscapeEvent);
      CloseWindow(OptionsWindow);
      EndProgram();
    }
  }
}
