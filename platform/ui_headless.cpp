// The headless backend: the model with no display. Canvases still draw into
// their surfaces, input is injected by the caller, message boxes are recorded
// and answered at once.
#include <cstdio>
#include <mutex>
#include <utility>

#include "ui_internal.h"

static std::mutex RecordLock;
static std::vector<RecordedMessage> Recorded;
static std::vector<std::string> NextFileChoice;
static int CursorX = 0, CursorY = 0;

static const char *IconName(MessageIcon icon) {
  switch (icon) {
  case MessageIcon::Information:
    return "information";
  case MessageIcon::Error:
    return "error";
  default:
    return "none";
  }
}

static void RecordMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
  std::lock_guard<std::mutex> hold(RecordLock);
  Recorded.push_back({std::string(caption), std::string(text), icon});
  fprintf(stderr, "message box [%.*s] [%s] %.*s\n", static_cast<int>(caption.size()), caption.data(), IconName(icon),
          static_cast<int>(text.size()), text.data());
  fflush(stderr);
}

std::vector<RecordedMessage> RecordedMessages() {
  std::lock_guard<std::mutex> hold(RecordLock);
  return Recorded;
}

void ClearRecordedMessages() {
  std::lock_guard<std::mutex> hold(RecordLock);
  Recorded.clear();
}

void SetHeadlessCursor(int x, int y) {
  CursorX = x;
  CursorY = y;
}

void SetHeadlessFileChoice(std::vector<std::string> paths) { NextFileChoice = std::move(paths); }

static bool HeadlessReadCursor(int &x, int &y) {
  x = CursorX;
  y = CursorY;
  return true;
}

static std::vector<std::string> HeadlessChooseFiles(std::string_view, std::span<const FileFilter>) {
  return std::exchange(NextFileChoice, {});
}

static void HeadlessMinimise(WindowRecord &window) { InjectMinimised(window.Number, true); }

const UiBackend HeadlessUiBackend = {
    .Start = [] { return true; },
    .Stop = [] {},
    .Screen = [] { return ScreenRect{0, 0, 1920, 1080}; },
    .OpenWindow = [](WindowRecord &) {},
    .CloseWindow = [](WindowRecord &) {},
    .ApplyWindowState = [](WindowRecord &) {},
    .ActivateWindow = [](WindowRecord &) {},
    .MinimiseWindow = HeadlessMinimise,
    .CreateControl = [](WindowRecord &, ControlRecord &) {},
    .FreeControl = [](WindowRecord &, ControlRecord &) {},
    .RefreshControl = [](WindowRecord &, ControlRecord &) {},
    .InputText = [](ControlRecord &control) { return control.Text; },
    .SetInputText = [](ControlRecord &) {},
    .FocusControl = [](ControlRecord &) {},
    .Pump = [](int timeoutMs) {
      if (timeoutMs > 0)
        WaitForPostedEvent(timeoutMs);
    },
    .WakeUp = WakePostedEventWaiters,
    .ReadCursor = HeadlessReadCursor,
    .ShowMessage = RecordMessage,
    .ShowMenu = [](const MenuRecord &, WindowRecord &) {},
    .ChooseFiles = HeadlessChooseFiles,
    .DragWindow = [](WindowRecord &) {},
};
