#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>

#include "sync.h"
#include "system.h"
#include "ui_internal.h"

// ---- Model state (interface thread) ------------------------------------------

static const UiBackend *Backend = nullptr;
static UiBackendKind BackendKind = UiBackendKind::Headless;
static std::map<int, WindowRecord> Windows;
static std::map<int, ControlRecord> Controls;
static std::map<int, MenuRecord> Menus;

// ---- State shared with other threads (under QueueLock) -----------------------

struct TimerRecord {
  int Interval = 0;
  uint64_t NextDue = 0;
};

struct MessageRequest {
  std::string Text, Caption;
  MessageIcon Icon = MessageIcon::None;
  bool Done = false;
};

static std::mutex QueueLock;
static std::condition_variable QueueChanged;
static std::deque<WindowEvent> Queue;
static std::map<std::pair<int, int>, TimerRecord> Timers; // (window, timer)
static std::deque<MessageRequest *> MessageRequests;
static std::condition_variable MessageAnswered;
static bool WakeRequested = false;

WindowRecord *FindWindowRecord(int window) {
  auto found = Windows.find(window);
  return found == Windows.end() ? nullptr : &found->second;
}

ControlRecord *FindControlRecord(int control) {
  auto found = Controls.find(control);
  return found == Controls.end() ? nullptr : &found->second;
}

// ---- Backend -------------------------------------------------------------------

bool StartUi(UiBackendKind kind) {
  if (Backend)
    StopUi();
  MarkMainThread();
  const UiBackend *chosen = kind == UiBackendKind::Gtk ? &GtkUiBackend : &HeadlessUiBackend;
  if (!chosen->Start())
    return false;
  Backend = chosen;
  BackendKind = kind;
  return true;
}

void StopUi() {
  if (!Backend)
    return;
  while (!Windows.empty())
    CloseWindow(Windows.begin()->first);
  Menus.clear();
  FreeAllImages();
  Backend->Stop();
  Backend = nullptr;
  std::lock_guard<std::mutex> hold(QueueLock);
  Queue.clear();
  Timers.clear();
}

bool IsUiStarted() { return Backend != nullptr; }
UiBackendKind ActiveUiBackend() { return BackendKind; }
ScreenRect ScreenArea() { return Backend ? Backend->Screen() : ScreenRect{0, 0, 1920, 1080}; }

// ---- Events ----------------------------------------------------------------------

void WaitForPostedEvent(int timeoutMs) {
  std::unique_lock<std::mutex> hold(QueueLock);
  QueueChanged.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                        [] { return !Queue.empty() || !MessageRequests.empty() || WakeRequested; });
  WakeRequested = false;
}

bool HasPostedEvents() {
  std::lock_guard<std::mutex> hold(QueueLock);
  return !Queue.empty();
}

void WakePostedEventWaiters() {
  {
    std::lock_guard<std::mutex> hold(QueueLock);
    WakeRequested = true;
  }
  QueueChanged.notify_all();
}

void PostWindowEvent(const WindowEvent &event) {
  {
    std::lock_guard<std::mutex> hold(QueueLock);
    Queue.push_back(event);
  }
  QueueChanged.notify_all();
  if (Backend && !IsMainThread())
    Backend->WakeUp();
}

void DiscardWindowEvents() {
  std::lock_guard<std::mutex> hold(QueueLock);
  Queue.clear();
}

// Shows the boxes other threads asked for; their callers wait for the answer.
static void ServeMessageRequests() {
  for (;;) {
    MessageRequest *request;
    {
      std::lock_guard<std::mutex> hold(QueueLock);
      if (MessageRequests.empty())
        return;
      request = MessageRequests.front();
      MessageRequests.pop_front();
    }
    Backend->ShowMessage(request->Text, request->Caption, request->Icon);
    {
      std::lock_guard<std::mutex> hold(QueueLock);
      request->Done = true;
    }
    MessageAnswered.notify_all();
  }
}

// Takes a queued event, or else a due timer; under QueueLock.
static bool TakeEvent(WindowEvent &event, uint64_t now, uint64_t &nextDue) {
  if (!Queue.empty()) {
    event = std::move(Queue.front());
    Queue.pop_front();
    return true;
  }
  nextDue = UINT64_MAX;
  auto earliest = Timers.end();
  for (auto timer = Timers.begin(); timer != Timers.end(); ++timer)
    if (earliest == Timers.end() || timer->second.NextDue < earliest->second.NextDue)
      earliest = timer;
  if (earliest == Timers.end())
    return false;
  if (earliest->second.NextDue > now) {
    nextDue = earliest->second.NextDue;
    return false;
  }
  event = WindowEvent{};
  event.Kind = EventKind::Timer;
  event.Window = earliest->first.first;
  event.Number = earliest->first.second;
  // A late timer fires once and starts over: ticks are not saved up.
  earliest->second.NextDue = now + static_cast<uint64_t>(earliest->second.Interval);
  return true;
}

bool WaitWindowEvent(WindowEvent &event, int timeoutMs) {
  if (!Backend)
    return false;
  uint64_t deadline = MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs > 0 ? timeoutMs : 0);
  for (;;) {
    ServeMessageRequests();
    Backend->Pump(0);
    uint64_t now = MonotonicMilliseconds();
    uint64_t nextDue;
    {
      std::lock_guard<std::mutex> hold(QueueLock);
      if (TakeEvent(event, now, nextDue))
        return true;
    }
    if (timeoutMs == 0 || (timeoutMs > 0 && now >= deadline))
      return false;
    uint64_t until = timeoutMs < 0 ? nextDue : std::min(deadline, nextDue);
    // Without limit and without timers, wake up now and then all the same.
    uint64_t wait = until == UINT64_MAX ? 1000 : (until > now ? until - now : 0);
    Backend->Pump(static_cast<int>(std::min<uint64_t>(wait, 1000)));
  }
}

// ---- Input -------------------------------------------------------------------------

static WindowRecord *InputWindow(int window) {
  WindowRecord *record = FindWindowRecord(window);
  return record && record->Enabled && !record->Minimised ? record : nullptr;
}

static WindowEvent MakeEvent(EventKind kind, int window) {
  WindowEvent event;
  event.Kind = kind;
  event.Window = window;
  return event;
}

static bool ControlContains(const WindowRecord &window, const ControlRecord &control, int screenX, int screenY) {
  int x = screenX - window.X, y = screenY - window.Y;
  return x >= control.X && x < control.X + control.Width && y >= control.Y && y < control.Y + control.Height;
}

static int CanvasUnder(const WindowRecord &window, int screenX, int screenY) {
  for (auto number = window.Controls.rbegin(); number != window.Controls.rend(); ++number) {
    const ControlRecord *control = FindControlRecord(*number);
    if (control && control->Kind == ControlKind::Canvas && ControlContains(window, *control, screenX, screenY))
      return control->Number;
  }
  return 0;
}

static void SetHoverControl(WindowRecord &window, int control) {
  if (window.HoverControl == control)
    return;
  if (window.HoverControl) {
    WindowEvent leave = MakeEvent(EventKind::Control, window.Number);
    leave.Number = window.HoverControl;
    leave.Type = ControlLeave;
    PostWindowEvent(leave);
  }
  window.HoverControl = control;
  if (control) {
    WindowEvent enter = MakeEvent(EventKind::Control, window.Number);
    enter.Number = control;
    enter.Type = ControlEnter;
    PostWindowEvent(enter);
  }
}

void InjectMouseDown(int window, int screenX, int screenY, bool right, bool doubleClick) {
  if (ActiveUiBackend() == UiBackendKind::Headless)
    SetHeadlessCursor(screenX, screenY);
  if (!InputWindow(window))
    return;
  EventKind kind = right ? EventKind::RightButtonDown
                         : (doubleClick ? EventKind::LeftDoubleClick : EventKind::LeftButtonDown);
  WindowEvent event = MakeEvent(kind, window);
  event.X = screenX;
  event.Y = screenY;
  PostWindowEvent(event);
}

void InjectMouseMove(int window, int screenX, int screenY) {
  if (ActiveUiBackend() == UiBackendKind::Headless)
    SetHeadlessCursor(screenX, screenY);
  WindowRecord *record = InputWindow(window);
  if (!record)
    return;
  WindowEvent event = MakeEvent(EventKind::MouseMove, window);
  event.X = screenX;
  event.Y = screenY;
  PostWindowEvent(event);
  SetHoverControl(*record, CanvasUnder(*record, screenX, screenY));
}

void InjectMouseLeave(int window) {
  if (WindowRecord *record = FindWindowRecord(window))
    SetHoverControl(*record, 0);
}

bool InjectKey(int window, uint32_t key, unsigned modifiers) {
  WindowRecord *record = InputWindow(window);
  if (!record)
    return false;
  for (const ShortcutRecord &shortcut : record->Shortcuts) {
    if (shortcut.Key == key && shortcut.Modifiers == modifiers) {
      WindowEvent event = MakeEvent(EventKind::Menu, window);
      event.Number = shortcut.Event;
      PostWindowEvent(event);
      return true;
    }
  }
  return false;
}

void InjectFilesDropped(int window, std::string_view paths) {
  WindowRecord *record = InputWindow(window);
  if (!record || !record->AcceptDrops)
    return;
  WindowEvent event = MakeEvent(EventKind::FilesDropped, window);
  event.Text = paths;
  PostWindowEvent(event);
}

void InjectCloseRequest(int window) {
  if (FindWindowRecord(window))
    PostWindowEvent(MakeEvent(EventKind::CloseRequest, window));
}

void InjectMinimised(int window, bool minimised) {
  WindowRecord *record = FindWindowRecord(window);
  if (!record || record->Minimised == minimised)
    return;
  record->Minimised = minimised;
  PostWindowEvent(MakeEvent(minimised ? EventKind::Minimised : EventKind::Restored, window));
}

void InjectMenuChoice(int window, int event) {
  if (!FindWindowRecord(window))
    return;
  WindowEvent choice = MakeEvent(EventKind::Menu, window);
  choice.Number = event;
  PostWindowEvent(choice);
}

// ---- Windows ----------------------------------------------------------------------

bool OpenWindow(int window, int width, int height, std::string_view title, Colour background, unsigned flags) {
  if (!Backend || width <= 0 || height <= 0)
    return false;
  if (FindWindowRecord(window))
    CloseWindow(window);
  ScreenRect screen = Backend->Screen();
  WindowRecord &record = Windows[window];
  record.Number = window;
  record.Width = width;
  record.Height = height;
  record.X = screen.X + (screen.Width - width) / 2;
  record.Y = screen.Y + (screen.Height - height) / 2;
  record.Title = title;
  record.Background = background;
  record.Flags = flags;
  Backend->OpenWindow(record);
  return true;
}

void CloseWindow(int window) {
  WindowRecord *record = FindWindowRecord(window);
  if (!record)
    return;
  std::vector<int> controls = record->Controls;
  for (int control : controls)
    FreeControl(control);
  StopAllTimers(window);
  Backend->CloseWindow(*record);
  Windows.erase(window);
  // Events of a closed window must not reach the next one of that number.
  std::lock_guard<std::mutex> hold(QueueLock);
  std::erase_if(Queue, [window](const WindowEvent &event) { return event.Window == window; });
}

bool WindowExists(int window) { return FindWindowRecord(window) != nullptr; }

bool GetWindowRect(int window, ScreenRect &rect) {
  const WindowRecord *record = FindWindowRecord(window);
  if (!record)
    return false;
  rect = {record->X, record->Y, record->Width, record->Height};
  return true;
}

void MoveWindowTo(int window, int screenX, int screenY) {
  if (WindowRecord *record = FindWindowRecord(window)) {
    record->X = screenX;
    record->Y = screenY;
    Backend->ApplyWindowState(*record);
  }
}

void SetWindowOpacity(int window, uint8_t alpha) {
  if (WindowRecord *record = FindWindowRecord(window)) {
    record->Alpha = alpha;
    Backend->ApplyWindowState(*record);
  }
}

int WindowOpacity(int window) {
  const WindowRecord *record = FindWindowRecord(window);
  return record ? record->Alpha : -1;
}

void ActivateWindow(int window) {
  if (WindowRecord *record = FindWindowRecord(window))
    Backend->ActivateWindow(*record);
}

void MinimiseWindow(int window) {
  if (WindowRecord *record = FindWindowRecord(window))
    Backend->MinimiseWindow(*record);
}

bool IsWindowMinimised(int window) {
  const WindowRecord *record = FindWindowRecord(window);
  return record && record->Minimised;
}

void EnableWindow(int window, bool enabled) {
  if (WindowRecord *record = FindWindowRecord(window)) {
    record->Enabled = enabled;
    Backend->ApplyWindowState(*record);
  }
}

bool IsWindowEnabled(int window) {
  const WindowRecord *record = FindWindowRecord(window);
  return record && record->Enabled;
}

void AcceptFileDrops(int window, bool accept) {
  if (WindowRecord *record = FindWindowRecord(window)) {
    record->AcceptDrops = accept;
    Backend->ApplyWindowState(*record);
  }
}

void UpdateWindows() {
  if (Backend)
    Backend->Pump(0);
}

void DragWindowWithPointer(int window) {
  if (WindowRecord *record = FindWindowRecord(window))
    Backend->DragWindow(*record);
}

static void SetSourceColour(cairo_t *cr, Colour colour, double alpha = 1.0) {
  cairo_set_source_rgba(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0, ((colour >> 16) & 0xFF) / 255.0,
                        alpha);
}

void PaintWindowContent(cairo_t *cr, const WindowRecord &window) {
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  SetSourceColour(cr, window.Background);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  for (int number : window.Controls) {
    const ControlRecord *control = FindControlRecord(number);
    if (!control || control->Kind == ControlKind::Input)
      continue; // input fields are real widgets of the backend
    cairo_save(cr);
    cairo_rectangle(cr, control->X, control->Y, control->Width, control->Height);
    cairo_clip(cr);
    if (control->Kind == ControlKind::Canvas && control->Surface) {
      cairo_set_source_surface(cr, control->Surface, control->X, control->Y);
      cairo_paint(cr);
    } else if (control->Kind == ControlKind::Image) {
      if (cairo_surface_t *image = ImageSurface(control->Image)) {
        cairo_set_source_surface(cr, image, control->X, control->Y);
        cairo_paint(cr);
      }
    } else if (control->Kind == ControlKind::Text) {
      SetSourceColour(cr, control->Background);
      cairo_paint(cr);
      double x = control->X;
      if (control->Centred)
        x += (control->Width - TextWidth(control->Text, control->Font)) / 2;
      DrawTextWithCairo(cr, x, control->Y, control->Text, control->Font, control->TextColour);
    }
    cairo_restore(cr);
  }
  cairo_restore(cr);
}

cairo_surface_t *RenderWindow(int window) {
  const WindowRecord *record = FindWindowRecord(window);
  if (!record)
    return nullptr;
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, record->Width, record->Height);
  cairo_t *cr = cairo_create(surface);
  PaintWindowContent(cr, *record);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  return surface;
}

// ---- Controls -------------------------------------------------------------------------

static ControlRecord *AddControl(int window, int control, ControlKind kind, int x, int y, int width, int height) {
  WindowRecord *owner = FindWindowRecord(window);
  if (!owner || width < 0 || height < 0)
    return nullptr;
  if (FindControlRecord(control))
    FreeControl(control);
  ControlRecord &record = Controls[control];
  record.Number = control;
  record.Window = window;
  record.Kind = kind;
  record.X = x;
  record.Y = y;
  record.Width = width;
  record.Height = height;
  owner->Controls.push_back(control);
  return &record;
}

bool CreateCanvas(int window, int control, int x, int y, int width, int height) {
  ControlRecord *record = AddControl(window, control, ControlKind::Canvas, x, y, width, height);
  if (!record)
    return false;
  record->Surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  // A new canvas shows the window's background until something is drawn.
  FillBox(record->Surface, 0, 0, width, height, FindWindowRecord(window)->Background);
  Backend->CreateControl(*FindWindowRecord(window), *record);
  return true;
}

bool CreateTextControl(int window, int control, int x, int y, int width, int height, std::string_view text,
                       FontHandle font, Colour textColour, Colour background, bool centred) {
  ControlRecord *record = AddControl(window, control, ControlKind::Text, x, y, width, height);
  if (!record)
    return false;
  record->Text = text;
  record->Font = font;
  record->TextColour = textColour;
  record->Background = background;
  record->Centred = centred;
  Backend->CreateControl(*FindWindowRecord(window), *record);
  return true;
}

bool CreateImageControl(int window, int control, int x, int y, int width, int height, int image) {
  ControlRecord *record = AddControl(window, control, ControlKind::Image, x, y, width, height);
  if (!record)
    return false;
  record->Image = image;
  Backend->CreateControl(*FindWindowRecord(window), *record);
  return true;
}

bool CreateInputControl(int window, int control, int x, int y, int width, int height, FontHandle font,
                        Colour textColour, Colour background) {
  ControlRecord *record = AddControl(window, control, ControlKind::Input, x, y, width, height);
  if (!record)
    return false;
  record->Font = font;
  record->TextColour = textColour;
  record->Background = background;
  Backend->CreateControl(*FindWindowRecord(window), *record);
  return true;
}

void FreeControl(int control) {
  ControlRecord *record = FindControlRecord(control);
  if (!record)
    return;
  if (WindowRecord *window = FindWindowRecord(record->Window)) {
    Backend->FreeControl(*window, *record);
    std::erase(window->Controls, control);
    if (window->HoverControl == control)
      window->HoverControl = 0;
  }
  if (record->Surface)
    cairo_surface_destroy(record->Surface);
  Controls.erase(control);
}

bool ControlExists(int control) { return FindControlRecord(control) != nullptr; }

static void RefreshRecord(ControlRecord &record) {
  if (WindowRecord *window = FindWindowRecord(record.Window))
    Backend->RefreshControl(*window, record);
}

void SetControlRect(int control, int x, int y, int width, int height) {
  ControlRecord *record = FindControlRecord(control);
  if (!record || width < 0 || height < 0)
    return;
  record->X = x;
  record->Y = y;
  if (record->Kind == ControlKind::Canvas && (width != record->Width || height != record->Height)) {
    cairo_surface_t *resized = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t *cr = cairo_create(resized);
    cairo_set_source_surface(cr, record->Surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(record->Surface);
    record->Surface = resized;
  }
  record->Width = width;
  record->Height = height;
  RefreshRecord(*record);
}

bool GetControlScreenRect(int control, ScreenRect &rect) {
  const ControlRecord *record = FindControlRecord(control);
  const WindowRecord *window = record ? FindWindowRecord(record->Window) : nullptr;
  if (!window)
    return false;
  rect = {window->X + record->X, window->Y + record->Y, record->Width, record->Height};
  return true;
}

void SetControlText(int control, std::string_view text) {
  ControlRecord *record = FindControlRecord(control);
  if (!record)
    return;
  record->Text = text;
  if (record->Kind == ControlKind::Input)
    Backend->SetInputText(*record);
  RefreshRecord(*record);
}

std::string ControlText(int control) {
  ControlRecord *record = FindControlRecord(control);
  if (!record)
    return {};
  if (record->Kind == ControlKind::Input)
    record->Text = Backend->InputText(*record);
  return record->Text;
}

void SetControlColours(int control, Colour text, Colour background) {
  if (ControlRecord *record = FindControlRecord(control)) {
    record->TextColour = text;
    record->Background = background;
    RefreshRecord(*record);
  }
}

Colour ControlTextColour(int control) {
  const ControlRecord *record = FindControlRecord(control);
  return record ? record->TextColour : 0;
}

void SetControlFont(int control, FontHandle font) {
  if (ControlRecord *record = FindControlRecord(control)) {
    record->Font = font;
    RefreshRecord(*record);
  }
}

void FocusControl(int control) {
  if (ControlRecord *record = FindControlRecord(control))
    Backend->FocusControl(*record);
}

cairo_surface_t *CanvasSurface(int control) {
  ControlRecord *record = FindControlRecord(control);
  return record && record->Kind == ControlKind::Canvas ? record->Surface : nullptr;
}

void RefreshControl(int control) {
  if (ControlRecord *record = FindControlRecord(control)) {
    if (record->Surface)
      cairo_surface_flush(record->Surface);
    RefreshRecord(*record);
  }
}

// ---- Cursor -----------------------------------------------------------------------------

bool ReadScreenCursor(int &x, int &y) { return Backend && Backend->ReadCursor(x, y); }

// ---- Timers --------------------------------------------------------------------------------

void StartTimer(int window, int timer, int milliseconds) {
  if (milliseconds <= 0)
    return;
  {
    std::lock_guard<std::mutex> hold(QueueLock);
    TimerRecord &record = Timers[{window, timer}];
    record.Interval = milliseconds;
    record.NextDue = MonotonicMilliseconds() + static_cast<uint64_t>(milliseconds);
  }
  // The interface thread may be asleep for longer than this timer's interval.
  WakePostedEventWaiters();
  if (Backend && !IsMainThread())
    Backend->WakeUp();
}

void StopTimer(int window, int timer) {
  std::lock_guard<std::mutex> hold(QueueLock);
  Timers.erase({window, timer});
  std::erase_if(Queue, [&](const WindowEvent &event) {
    return event.Kind == EventKind::Timer && event.Window == window && event.Number == timer;
  });
}

void StopAllTimers(int window) {
  std::lock_guard<std::mutex> hold(QueueLock);
  std::erase_if(Timers, [window](const auto &entry) { return entry.first.first == window; });
}

// ---- Shortcuts ---------------------------------------------------------------------------------

void AddShortcut(int window, uint32_t key, unsigned modifiers, int event) {
  WindowRecord *record = FindWindowRecord(window);
  if (!record)
    return;
  std::erase_if(record->Shortcuts,
                [&](const ShortcutRecord &shortcut) { return shortcut.Key == key && shortcut.Modifiers == modifiers; });
  record->Shortcuts.push_back({key, modifiers, event});
}

void RemoveShortcut(int window, int event) {
  if (WindowRecord *record = FindWindowRecord(window))
    std::erase_if(record->Shortcuts, [event](const ShortcutRecord &shortcut) { return shortcut.Event == event; });
}

void RemoveAllShortcuts(int window) {
  if (WindowRecord *record = FindWindowRecord(window))
    record->Shortcuts.clear();
}

// ---- Popup menus --------------------------------------------------------------------------------

bool CreatePopupMenu(int menu) {
  Menus[menu] = MenuRecord{menu, {}};
  return true;
}

bool AddMenuEntry(int menu, int event, std::string_view text) {
  auto found = Menus.find(menu);
  if (found == Menus.end() || event == 0)
    return false;
  found->second.Entries.push_back({event, std::string(text)});
  return true;
}

bool AddMenuSeparator(int menu) {
  auto found = Menus.find(menu);
  if (found == Menus.end())
    return false;
  found->second.Entries.push_back({0, {}});
  return true;
}

void ShowPopupMenu(int menu, int window) {
  auto found = Menus.find(menu);
  WindowRecord *record = FindWindowRecord(window);
  if (found != Menus.end() && record)
    Backend->ShowMenu(found->second, *record);
}

// ---- Message boxes ---------------------------------------------------------------------------------

void ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon) {
  if (!Backend) {
    // Nothing to show it with: say it on standard error rather than lose it.
    fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(), static_cast<int>(text.size()),
            text.data());
    return;
  }
  if (IsMainThread() || BackendKind == UiBackendKind::Headless) {
    Backend->ShowMessage(text, caption, icon);
    return;
  }
  MessageRequest request{std::string(text), std::string(caption), icon, false};
  std::unique_lock<std::mutex> hold(QueueLock);
  MessageRequests.push_back(&request);
  QueueChanged.notify_all();
  hold.unlock();
  Backend->WakeUp();
  hold.lock();
  MessageAnswered.wait(hold, [&] { return request.Done; });
}

// ---- File requester ------------------------------------------------------------------------------------

std::vector<std::string> ChooseFilesToOpen(std::string_view title, std::span<const FileFilter> filters) {
  return Backend ? Backend->ChooseFiles(title, filters) : std::vector<std::string>{};
}
