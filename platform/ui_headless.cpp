// The headless backend: the model with no display. Canvases still draw into
// their surfaces, input is injected by the caller, message boxes are recorded
// and answered at once.
#include <cstdio>
#include <map>
#include <mutex>
#include <utility>

#include "ui_internal.h"

static std::mutex RecordLock;
static std::vector<RecordedMessage> Recorded;
static std::vector<std::string> NextFileChoice;
static int CursorX = 0, CursorY = 0;
static std::function<void()> IdleHook;
static int DragX = 0, DragY = 0;
static std::map<int, std::vector<int>> OpacitySteps;

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

void SetHeadlessIdleHook(std::function<void()> hook) { IdleHook = std::move(hook); }

void SetHeadlessDragOffset(int dx, int dy) {
  DragX = dx;
  DragY = dy;
}

std::vector<int> HeadlessOpacitySteps(int window) {
  auto found = OpacitySteps.find(window);
  return found == OpacitySteps.end() ? std::vector<int>{} : found->second;
}

static void HeadlessOpen(WindowRecord &window) { OpacitySteps[window.Number] = {window.Alpha}; }

static void HeadlessApplyState(WindowRecord &window) {
  std::vector<int> &steps = OpacitySteps[window.Number];
  if (steps.empty() || steps.back() != window.Alpha)
    steps.push_back(window.Alpha);
}

static void HeadlessDrag(WindowRecord &window) {
  window.X += std::exchange(DragX, 0);
  window.Y += std::exchange(DragY, 0);
}

static void HeadlessPump(int timeoutMs) {
  static bool InHook = false;
  // Only once the program has taken what was already given to it.
  if (IdleHook && !InHook && !HasPostedEvents()) {
    // A copy, so that the hook may replace itself; never run from inside itself.
    std::function<void()> hook = IdleHook;
    InHook = true;
    hook();
    InHook = false;
  }
  if (timeoutMs > 0)
    WaitForPostedEvent(timeoutMs);
}

const UiBackend HeadlessUiBackend = {
    .Start = [] { return true; },
    .Stop = [] {},
    .Screen = [] { return ScreenRect{0, 0, 1920, 1080}; },
    .OpenWindow = HeadlessOpen,
    .CloseWindow = [](WindowRecord &) {},
    .ApplyWindowState = HeadlessApplyState,
    .ActivateWindow = [](WindowRecord &) {},
    .MinimiseWindow = HeadlessMinimise,
    .CreateControl = [](WindowRecord &, ControlRecord &) {},
    .FreeControl = [](WindowRecord &, ControlRecord &) {},
    .RefreshControl = [](WindowRecord &, ControlRecord &) {},
    .InputText = [](ControlRecord &control) { return control.Text; },
    .SetInputText = [](ControlRecord &) {},
    .FocusControl = [](ControlRecord &) {},
    .Pump = HeadlessPump,
    .WakeUp = WakePostedEventWaiters,
    .ReadCursor = HeadlessReadCursor,
    .ShowMessage = RecordMessage,
    .ShowMenu = [](const MenuRecord &, WindowRecord &) {},
    .ChooseFiles = HeadlessChooseFiles,
    .DragWindow = HeadlessDrag,
};
