#include "app/main_loop.h"

#include "app/interface.h"
#include "app/startup.h"
#include "audio/libraries.h"
#include "playlist/list_view.h"
#include "playlist/lists.h"

struct ShortcutKey {
  uint32_t Key;
  unsigned Modifiers;
  int Event;
};

static const ShortcutKey MainShortcuts[] = {
    {KeySpace, 0, 200},          {'N', 0, 201},  {'S', 0, 202},
    {'P', 0, 203},               {KeyDelete, 0, 206}, {KeyUp, 0, 207},
    {KeyDown, 0, 208},           {KeyUp, ModifierShift, 209}, {KeyDown, ModifierShift, 210},
    {'C', ModifierShift, 211},
};

void SetUpMainLoop() {
  Orva.Init(0, 44100, 0x1000, nullptr, nullptr);
  Orva.SetDevice(0);
  Orva.SetConfig(1, 0);
  ActiveList = 1;
  PageStep = 6;
  PageLines = 12;
  if (CreatePopupMenu(ListMenu)) {
    AddMenuEntry(ListMenu, 216, "Sort by name");
    AddMenuEntry(ListMenu, 217, "Sort by random");
    AddMenuSeparator(ListMenu);
    AddMenuEntry(ListMenu, 214, "Write Playlist");
  }
  if (CreatePopupMenu(NamesMenu))
    AddMenuEntry(NamesMenu, 215, "Delete Playlist");
  for (const ShortcutKey &shortcut : MainShortcuts)
    AddShortcut(MainWindow, shortcut.Key, shortcut.Modifiers, shortcut.Event);
  AcceptFileDrops(MainWindow, true);
  EnableWindow(MainWindow, true);
  ActiveList = 3;
  DrawPlaylist();
  HighlightTab(3);
}

void CloseMainWindow() {
  CloseWindow(MainWindow);
  Orva.Free();
  EndProgram();
}

static void SwitchToList(int which) {
  ActiveList = static_cast<uint8_t>(which);
  DrawPlaylist();
  HighlightTab(which);
}

// The press first moves the window (it returns when the button is let go);
// then the press, where it happened, is judged against where things are now.
static void HandleLeftPress() {
  DragWindowWithPointer(MainWindow);
  if (!CursorOverWindow(MainWindow))
    return;
  if (CursorOverControl(List1Tab))
    SwitchToList(1);
  else if (CursorOverControl(List2Tab))
    SwitchToList(2);
  else if (CursorOverControl(ListsTab))
    SwitchToList(3);
  else if (CursorOverControl(CloseButton))
    CloseMainWindow();
  else if (CursorOverControl(MinimizeButton))
    MinimiseWindow(MainWindow);
}

static void HandleControlEvent(int control, int type) {
  if (control == CloseButton)
    type == ControlEnter ? DrawCloseButtonHot() : DrawCloseButton();
  else if (control == MinimizeButton)
    type == ControlEnter ? DrawMinimizeButtonHot() : DrawMinimizeButton();
}

void DispatchMainEvent(const WindowEvent &event) {
  switch (event.Kind) {
  case EventKind::LeftButtonDown:
    if (event.Window != MainWindow)
      return;
    ReadCursor();
    HandleLeftPress();
    return;
  case EventKind::LeftDoubleClick:
  case EventKind::RightButtonDown:
    ReadCursor();
    return;
  case EventKind::Control:
    HandleControlEvent(event.Number, event.Type);
    return;
  case EventKind::Minimised:
    EnableWindow(MainWindow, false);
    return;
  case EventKind::Restored:
    EnableWindow(MainWindow, true);
    return;
  case EventKind::CloseRequest:
    if (event.Window == MainWindow)
      CloseMainWindow();
    return;
  default:
    return;
  }
}

void RunMainLoop() {
  SetUpMainLoop();
  for (;;) {
    if (!WindowExists(MainWindow)) {
      Orva.Free();
      EndProgram();
    }
    WindowEvent event;
    if (WaitWindowEvent(event, -1))
      DispatchMainEvent(event);
  }
}
