// The user-interface model: numbered windows with numbered controls, images,
// fonts, timers, shortcuts, popup menus, message boxes and one FIFO of events.
// Two backends show it: GTK 3 on a display, and a headless one for tests that
// draws into the same surfaces, takes injected input and records message boxes.
//
// Everything here runs on the interface thread, except where a comment says
// "any thread". Colours are 0xBBGGRR. Positions of controls are window pixels;
// mouse positions and window rectangles are screen pixels.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using Colour = uint32_t; // 0xBBGGRR

struct ScreenRect {
  int X = 0, Y = 0, Width = 0, Height = 0;
};

// ---- Backend ----------------------------------------------------------------

enum class UiBackendKind { Headless, Gtk };

// Starts the model on the calling thread, which becomes the interface thread.
// The GTK backend fails (false) when no display can be opened.
bool StartUi(UiBackendKind kind);
// Closes every window and forgets all controls, images, menus and timers.
void StopUi();
bool IsUiStarted();
UiBackendKind ActiveUiBackend();
// Size of the screen windows are centred on.
ScreenRect ScreenArea();

// ---- Events -------------------------------------------------------------------

enum class EventKind : uint8_t {
  None,
  Timer,           // Number = timer
  LeftButtonDown,  // X, Y = screen position
  LeftDoubleClick, // X, Y
  RightButtonDown, // X, Y
  MouseMove,       // X, Y
  Control,         // Number = control, Type = ControlEnter / ControlLeave
  Menu,            // Number = menu entry or shortcut event
  FilesDropped,    // Text = paths joined by line feeds
  Minimised,
  Restored,
  CloseRequest,
};

enum ControlEventType { ControlEnter = 1, ControlLeave = 2 };

struct WindowEvent {
  EventKind Kind = EventKind::None;
  int Window = 0;
  int Number = 0;
  int Type = 0;
  int X = 0, Y = 0;
  std::string Text;
};

// Takes the oldest event of the program's windows. Waits at most timeoutMs for
// one (0: look without waiting; negative: without limit). False when none came.
bool WaitWindowEvent(WindowEvent &event, int timeoutMs);
// Appends an event to the FIFO. Any thread.
void PostWindowEvent(const WindowEvent &event);
// Drops the events waiting in the FIFO (input that arrived during a long job).
void DiscardWindowEvents();

// Raw input as the backends report it (tests call these on the headless
// backend). The model turns it into events: input to a missing or disabled
// window is dropped, keys become shortcut events, moves give control events.
void InjectMouseDown(int window, int screenX, int screenY, bool right, bool doubleClick);
void InjectMouseMove(int window, int screenX, int screenY);
void InjectMouseLeave(int window);
// True when the key was a shortcut of the window (and so taken).
bool InjectKey(int window, uint32_t key, unsigned modifiers);
void InjectFilesDropped(int window, std::string_view paths);
void InjectCloseRequest(int window);
void InjectMinimised(int window, bool minimised);
void InjectMenuChoice(int window, int event);

// ---- Windows ------------------------------------------------------------------

enum WindowFlags : unsigned {
  WindowKeepAbove = 1, // stays above other windows (start-up windows)
};

// Opens a borderless window of fixed size, centred on the screen. A window of
// the same number is closed first.
bool OpenWindow(int window, int width, int height, std::string_view title, Colour background, unsigned flags);
void CloseWindow(int window);
bool WindowExists(int window);
bool GetWindowRect(int window, ScreenRect &rect);
void MoveWindowTo(int window, int screenX, int screenY);
// 0 = invisible, 255 = opaque.
void SetWindowOpacity(int window, uint8_t alpha);
int WindowOpacity(int window); // -1 when no such window
void ActivateWindow(int window);
void MinimiseWindow(int window);
bool IsWindowMinimised(int window);
// A disabled window takes no mouse or keyboard input; timers still fire.
void EnableWindow(int window, bool enabled);
bool IsWindowEnabled(int window);
void AcceptFileDrops(int window, bool accept);
// Moves the window with the pointer until the left button is released (the
// borderless window's caption drag); returns at once on the headless backend.
void DragWindowWithPointer(int window);
// Lets the screen catch up with what was drawn, before a long job on the
// interface thread; input that arrives meanwhile waits in the FIFO.
void UpdateWindows();
// Paints the whole window (background and controls) as it is shown: for tests
// and for the GTK backend. Null when there is no such window; the caller
// destroys the surface.
cairo_surface_t *RenderWindow(int window);

// ---- Controls -----------------------------------------------------------------
// Control numbers are unique in the program, as the windows use them.

using FontHandle = int; // 0 = none

// A canvas owns an image surface of its size that the program draws on; call
// RefreshControl after drawing so that the screen follows.
bool CreateCanvas(int window, int control, int x, int y, int width, int height);
bool CreateTextControl(int window, int control, int x, int y, int width, int height, std::string_view text,
                       FontHandle font, Colour textColour, Colour background, bool centred);
bool CreateImageControl(int window, int control, int x, int y, int width, int height, int image);
// An editable single-line text field without a border.
bool CreateInputControl(int window, int control, int x, int y, int width, int height, FontHandle font,
                        Colour text, Colour background);
void FreeControl(int control);
bool ControlExists(int control);
void SetControlRect(int control, int x, int y, int width, int height);
bool GetControlScreenRect(int control, ScreenRect &rect);
void SetControlText(int control, std::string_view text);
std::string ControlText(int control);
void SetControlColours(int control, Colour text, Colour background);
Colour ControlTextColour(int control);
void SetControlFont(int control, FontHandle font);
void FocusControl(int control);
cairo_surface_t *CanvasSurface(int control); // null when not a canvas
void RefreshControl(int control);

// ---- Cursor -------------------------------------------------------------------

// The pointer's screen position; false when it cannot be read.
bool ReadScreenCursor(int &x, int &y);
// Headless backend: where the pointer is (the injected mouse input moves it too).
void SetHeadlessCursor(int x, int y);
// Headless backend: called on the interface thread whenever the program looks
// for input and none is waiting, so that a test can act when a window has come
// up. Empty: none.
void SetHeadlessIdleHook(std::function<void()> hook);
// Headless backend: the next window drag moves the window by this much.
void SetHeadlessDragOffset(int dx, int dy);
// Headless backend: each opacity a window was given, in order.
std::vector<int> HeadlessOpacitySteps(int window);

// ---- Timers ---------------------------------------------------------------------

// Any thread. A timer event is queued when the interval has passed and the
// FIFO holds nothing else, never more than one per timer.
void StartTimer(int window, int timer, int milliseconds);
void StopTimer(int window, int timer);
void StopAllTimers(int window);

// ---- Shortcuts ------------------------------------------------------------------

enum Key : uint32_t {
  KeyReturn = 0x0D,
  KeyEscape = 0x1B,
  KeySpace = 0x20,
  KeyDelete = 0x7F,
  KeyUp = 0x100,
  KeyDown = 0x101,
  // Letters are their upper-case ASCII codes.
};
enum Modifier : unsigned { ModifierShift = 1, ModifierControl = 2 };

void AddShortcut(int window, uint32_t key, unsigned modifiers, int event);
void RemoveShortcut(int window, int event);
void RemoveAllShortcuts(int window);

// ---- Popup menus ----------------------------------------------------------------

bool CreatePopupMenu(int menu);
bool AddMenuEntry(int menu, int event, std::string_view text);
bool AddMenuSeparator(int menu);
// Shows the menu at the pointer; a choice arrives later as a Menu event.
void ShowPopupMenu(int menu, int window);

// ---- Message boxes --------------------------------------------------------------

enum class MessageIcon { None, Information, Error };

// Shows a modal box with an OK button and waits until it is closed. Any thread:
// from another thread the box comes up when the interface thread next waits
// for events (WaitWindowEvent), and the caller waits until it is closed.
void ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon);

struct RecordedMessage {
  std::string Caption;
  std::string Text;
  MessageIcon Icon = MessageIcon::None;
};
// Headless backend: the boxes shown so far, oldest first. Each box is also
// written to standard error, so that a test can see boxes shown by a process
// that ended.
std::vector<RecordedMessage> RecordedMessages();
void ClearRecordedMessages();

// ---- File requester -------------------------------------------------------------

struct FileFilter {
  std::string Name;
  std::vector<std::string> Extensions; // without dot, matched in any case
};
// Several files may be chosen; empty when the user chooses nothing.
std::vector<std::string> ChooseFilesToOpen(std::string_view title, std::span<const FileFilter> filters);
// Headless backend: what the next requester answers.
void SetHeadlessFileChoice(std::vector<std::string> paths);

// ---- Images -----------------------------------------------------------------------
// Images are numbered, ARGB surfaces; a number in use is replaced.

bool LoadImageFromMemory(int image, std::span<const uint8_t> data); // PNG or JPEG
bool LoadImageFromFile(int image, const std::string &path);
bool CreateImage(int image, int width, int height, Colour fill);
// A copy of the rectangle of source (parts outside it are transparent).
bool GrabImage(int image, int source, int x, int y, int width, int height);
bool CopyImage(int image, int source);
bool ScaleImage(int image, int width, int height, bool smooth);
void FreeImage(int image);
bool ImageExists(int image);
int ImageWidth(int image);
int ImageHeight(int image);
cairo_surface_t *ImageSurface(int image);

// ---- Drawing on a canvas's or an image's surface ----------------------------------

// alpha 255 replaces the pixels; below it the box is blended over them.
void FillBox(cairo_surface_t *target, int x, int y, int width, int height, Colour colour, uint8_t alpha = 255);
// A one-pixel line from (x, y) spanning width x height pixels (negative spans
// go left or up), so (20, 7) spanning 11 x 11 ends at (30, 17).
void DrawLine(cairo_surface_t *target, int x, int y, int width, int height, Colour colour);
// Blends the image over the target at the given overall opacity.
void DrawImage(cairo_surface_t *target, int image, int x, int y, uint8_t opacity = 255);
// Transparent text: only the glyphs are drawn, top-left at (x, y).
void DrawText(cairo_surface_t *target, int x, int y, std::string_view text, FontHandle font, Colour colour);
int TextWidth(std::string_view text, FontHandle font);
int TextHeight(std::string_view text, FontHandle font);

// ---- Fonts --------------------------------------------------------------------------

// Makes the faces of a font file usable by this process only; with a family
// given, they also answer to that family name.
bool RegisterAppFont(const std::string &path, std::string_view family);
// A font by family name and size in points at 96 dots per inch, normal weight.
FontHandle LoadFont(std::string_view family, int points);
// The family the font system actually picked for a request.
std::string ResolvedFontFamily(FontHandle font);
