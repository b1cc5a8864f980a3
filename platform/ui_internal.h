// Records of the interface model and the operations table a backend fills.
// Only the platform layer includes this.
#pragma once

#include "ui.h"

#include <string>
#include <vector>

enum class ControlKind { Canvas, Text, Image, Input };

struct ControlRecord {
  int Number = 0;
  int Window = 0;
  ControlKind Kind = ControlKind::Canvas;
  int X = 0, Y = 0, Width = 0, Height = 0;
  std::string Text;
  FontHandle Font = 0;
  Colour TextColour = 0;
  Colour Background = 0;
  bool Centred = false;
  int Image = 0;                      // image control: the image shown
  cairo_surface_t *Surface = nullptr; // canvas: what the program draws on
  void *Widget = nullptr;             // backend's own object, if any
};

struct ShortcutRecord {
  uint32_t Key = 0;
  unsigned Modifiers = 0;
  int Event = 0;
};

struct WindowRecord {
  int Number = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  std::string Title;
  Colour Background = 0;
  unsigned Flags = 0;
  int Alpha = 255;
  bool Enabled = true;
  bool Minimised = false;
  bool AcceptDrops = false;
  int HoverControl = 0;
  std::vector<int> Controls; // in creation order, later ones on top
  std::vector<ShortcutRecord> Shortcuts;
  void *Native = nullptr; // backend's own object
};

struct MenuEntryRecord {
  int Event = 0; // 0 = separator
  std::string Text;
};

struct MenuRecord {
  int Number = 0;
  std::vector<MenuEntryRecord> Entries;
};

// One backend: a constant table of operations over the model's records.
struct UiBackend {
  bool (*Start)();
  void (*Stop)();
  ScreenRect (*Screen)();
  void (*OpenWindow)(WindowRecord &window);
  void (*CloseWindow)(WindowRecord &window);
  void (*ApplyWindowState)(WindowRecord &window); // position, opacity, sensitivity, drops
  void (*ActivateWindow)(WindowRecord &window);
  void (*MinimiseWindow)(WindowRecord &window);
  void (*CreateControl)(WindowRecord &window, ControlRecord &control);
  void (*FreeControl)(WindowRecord &window, ControlRecord &control);
  void (*RefreshControl)(WindowRecord &window, ControlRecord &control); // content or place changed
  std::string (*InputText)(ControlRecord &control);
  void (*SetInputText)(ControlRecord &control);
  void (*FocusControl)(ControlRecord &control);
  // Handles the backend's pending input, waiting at most timeoutMs (0: do not
  // wait) for something to happen; WakeUp ends the wait early. Any thread may wake.
  void (*Pump)(int timeoutMs);
  void (*WakeUp)();
  bool (*ReadCursor)(int &x, int &y);
  void (*ShowMessage)(std::string_view text, std::string_view caption, MessageIcon icon);
  void (*ShowMenu)(const MenuRecord &menu, WindowRecord &window);
  std::vector<std::string> (*ChooseFiles)(std::string_view title, std::span<const FileFilter> filters);
  void (*DragWindow)(WindowRecord &window);
};

extern const UiBackend HeadlessUiBackend;
extern const UiBackend GtkUiBackend;

WindowRecord *FindWindowRecord(int window);
ControlRecord *FindControlRecord(int control);
// Paints the window's background and controls into cr (window coordinates).
void PaintWindowContent(cairo_t *cr, const WindowRecord &window);
// Headless pump: waits until an event is posted or the time has passed.
void WaitForPostedEvent(int timeoutMs);
void WakePostedEventWaiters();
// True when events wait in the FIFO. Any thread.
bool HasPostedEvents();
// Drawing of fonts, shared by the model's painting and the drawing functions.
void DrawTextWithCairo(cairo_t *cr, double x, double y, std::string_view text, FontHandle font, Colour colour);
void FreeAllImages();
