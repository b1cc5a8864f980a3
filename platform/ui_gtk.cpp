// The GTK 3 backend (X11): each window is an undecorated fixed-size toplevel
// whose face one drawing area paints from the model; input fields are real
// entries on top. Input goes back into the model through the Inject calls.
// The model's headers come first: X11's macros (None) would break them.
#include "system.h"
#include "ui_internal.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>

struct GtkWindowParts {
  GtkWidget *Window = nullptr;
  GtkWidget *Layout = nullptr; // GtkFixed
  GtkWidget *Face = nullptr;   // GtkDrawingArea
  int Number = 0;
};

static bool Dragging = false;
// Screen position of the last left press: a drag moves the window by as much
// as the pointer moved since then, even when it moved before the drag began.
static int PressX = 0, PressY = 0;
static bool Pressed = false;

static GtkWindowParts *PartsOf(WindowRecord &window) { return static_cast<GtkWindowParts *>(window.Native); }

static bool GtkStart() {
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(nullptr, nullptr))
    return false;
  return GDK_IS_X11_DISPLAY(gdk_display_get_default());
}

static ScreenRect GtkScreen() {
  GdkDisplay *display = gdk_display_get_default();
  GdkMonitor *monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display)
    monitor = gdk_display_get_monitor(display, 0);
  if (!monitor)
    return {0, 0, 1920, 1080};
  GdkRectangle area;
  gdk_monitor_get_geometry(monitor, &area);
  return {area.x, area.y, area.width, area.height};
}

static void PumpPending() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

// Keeps the model's idea of where the window is in step with the screen.
static void NotePosition(WindowRecord &window, double rootX, double rootY, double x, double y) {
  window.X = static_cast<int>(rootX - x);
  window.Y = static_cast<int>(rootY - y);
}

static gboolean OnDraw(GtkWidget *, cairo_t *cr, gpointer data) {
  if (WindowRecord *window = FindWindowRecord(GPOINTER_TO_INT(data)))
    PaintWindowContent(cr, *window);
  return TRUE;
}

static gboolean OnButtonPress(GtkWidget *, GdkEventButton *event, gpointer data) {
  WindowRecord *window = FindWindowRecord(GPOINTER_TO_INT(data));
  if (!window || Dragging)
    return TRUE;
  NotePosition(*window, event->x_root, event->y_root, event->x, event->y);
  int x = static_cast<int>(event->x_root), y = static_cast<int>(event->y_root);
  if (event->button == 1 && event->type == GDK_BUTTON_PRESS) {
    PressX = x;
    PressY = y;
    Pressed = true;
    InjectMouseDown(window->Number, x, y, false, false);
  }
  else if (event->button == 1 && event->type == GDK_2BUTTON_PRESS)
    InjectMouseDown(window->Number, x, y, false, true);
  else if (event->button == 3 && event->type == GDK_BUTTON_PRESS)
    InjectMouseDown(window->Number, x, y, true, false);
  return TRUE;
}

static gboolean OnMotion(GtkWidget *, GdkEventMotion *event, gpointer data) {
  WindowRecord *window = FindWindowRecord(GPOINTER_TO_INT(data));
  if (!window || Dragging)
    return TRUE;
  NotePosition(*window, event->x_root, event->y_root, event->x, event->y);
  InjectMouseMove(window->Number, static_cast<int>(event->x_root), static_cast<int>(event->y_root));
  return TRUE;
}

static gboolean OnLeave(GtkWidget *, GdkEventCrossing *event, gpointer data) {
  if (event->mode == GDK_CROSSING_NORMAL)
    InjectMouseLeave(GPOINTER_TO_INT(data));
  return FALSE;
}

static uint32_t KeyOf(guint keyval) {
  switch (keyval) {
  case GDK_KEY_Return:
  case GDK_KEY_KP_Enter:
    return KeyReturn;
  case GDK_KEY_Escape:
    return KeyEscape;
  case GDK_KEY_space:
    return KeySpace;
  case GDK_KEY_Delete:
  case GDK_KEY_KP_Delete:
    return KeyDelete;
  case GDK_KEY_Up:
  case GDK_KEY_KP_Up:
    return KeyUp;
  case GDK_KEY_Down:
  case GDK_KEY_KP_Down:
    return KeyDown;
  default:
    break;
  }
  guint upper = gdk_keyval_to_upper(keyval);
  if (upper >= GDK_KEY_A && upper <= GDK_KEY_Z)
    return 'A' + (upper - GDK_KEY_A);
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9)
    return '0' + (keyval - GDK_KEY_0);
  return 0;
}

static gboolean OnKeyPress(GtkWidget *, GdkEventKey *event, gpointer data) {
  uint32_t key = KeyOf(event->keyval);
  if (!key)
    return FALSE;
  unsigned modifiers = 0;
  if (event->state & GDK_SHIFT_MASK)
    modifiers |= ModifierShift;
  if (event->state & GDK_CONTROL_MASK)
    modifiers |= ModifierControl;
  // A shortcut wins over a focused input field, as the windows expect.
  return InjectKey(GPOINTER_TO_INT(data), key, modifiers) ? TRUE : FALSE;
}

static gboolean OnDelete(GtkWidget *, GdkEvent *, gpointer data) {
  InjectCloseRequest(GPOINTER_TO_INT(data));
  return TRUE; // the program decides when the window goes
}

static gboolean OnWindowState(GtkWidget *, GdkEventWindowState *event, gpointer data) {
  if (event->changed_mask & GDK_WINDOW_STATE_ICONIFIED)
    InjectMinimised(GPOINTER_TO_INT(data), (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0);
  return FALSE;
}

static gboolean OnConfigure(GtkWidget *widget, GdkEventConfigure *, gpointer data) {
  if (WindowRecord *window = FindWindowRecord(GPOINTER_TO_INT(data))) {
    if (!Dragging)
      gtk_window_get_position(GTK_WINDOW(widget), &window->X, &window->Y);
  }
  return FALSE;
}

static void OnDropReceived(GtkWidget *, GdkDragContext *context, gint, gint, GtkSelectionData *selection, guint,
                           guint time, gpointer data) {
  gchar **uris = gtk_selection_data_get_uris(selection);
  std::string paths;
  for (gchar **uri = uris; uri && *uri; uri++) {
    gchar *path = g_filename_from_uri(*uri, nullptr, nullptr);
    if (!path)
      continue;
    if (!paths.empty())
      paths += '\n';
    paths += path;
    g_free(path);
  }
  g_strfreev(uris);
  gtk_drag_finish(context, !paths.empty(), FALSE, time);
  if (!paths.empty())
    InjectFilesDropped(GPOINTER_TO_INT(data), paths);
}

static void GtkOpenWindow(WindowRecord &window) {
  auto *parts = new GtkWindowParts;
  parts->Number = window.Number;
  gpointer number = GINT_TO_POINTER(window.Number);
  parts->Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow *top = GTK_WINDOW(parts->Window);
  gtk_window_set_title(top, window.Title.c_str());
  gtk_window_set_decorated(top, FALSE);
  gtk_window_set_resizable(top, FALSE);
  gtk_widget_set_size_request(parts->Window, window.Width, window.Height);
  gtk_window_move(top, window.X, window.Y);
  gtk_window_set_keep_above(top, (window.Flags & WindowKeepAbove) != 0);
  parts->Layout = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(parts->Window), parts->Layout);
  parts->Face = gtk_drawing_area_new();
  gtk_widget_set_size_request(parts->Face, window.Width, window.Height);
  gtk_widget_add_events(parts->Face, GDK_BUTTON_PRESS_MASK | GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK);
  gtk_fixed_put(GTK_FIXED(parts->Layout), parts->Face, 0, 0);
  g_signal_connect(parts->Face, "draw", G_CALLBACK(OnDraw), number);
  g_signal_connect(parts->Face, "button-press-event", G_CALLBACK(OnButtonPress), number);
  g_signal_connect(parts->Face, "motion-notify-event", G_CALLBACK(OnMotion), number);
  g_signal_connect(parts->Face, "leave-notify-event", G_CALLBACK(OnLeave), number);
  g_signal_connect(parts->Window, "key-press-event", G_CALLBACK(OnKeyPress), number);
  g_signal_connect(parts->Window, "delete-event", G_CALLBACK(OnDelete), number);
  g_signal_connect(parts->Window, "window-state-event", G_CALLBACK(OnWindowState), number);
  g_signal_connect(parts->Window, "configure-event", G_CALLBACK(OnConfigure), number);
  g_signal_connect(parts->Window, "drag-data-received", G_CALLBACK(OnDropReceived), number);
  gtk_widget_set_opacity(parts->Window, window.Alpha / 255.0);
  window.Native = parts;
  gtk_widget_show_all(parts->Window);
  gtk_window_move(top, window.X, window.Y);
  PumpPending();
}

static void GtkCloseWindow(WindowRecord &window) {
  GtkWindowParts *parts = PartsOf(window);
  if (!parts)
    return;
  gtk_widget_destroy(parts->Window);
  delete parts;
  window.Native = nullptr;
  PumpPending();
}

static void GtkApplyWindowState(WindowRecord &window) {
  GtkWindowParts *parts = PartsOf(window);
  if (!parts)
    return;
  int x, y;
  gtk_window_get_position(GTK_WINDOW(parts->Window), &x, &y);
  if (x != window.X || y != window.Y)
    gtk_window_move(GTK_WINDOW(parts->Window), window.X, window.Y);
  gtk_widget_set_opacity(parts->Window, window.Alpha / 255.0);
  gtk_widget_set_sensitive(parts->Layout, window.Enabled);
  if (window.AcceptDrops) {
    gtk_drag_dest_set(parts->Window, GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
    gtk_drag_dest_add_uri_targets(parts->Window);
  } else {
    gtk_drag_dest_unset(parts->Window);
  }
  // The opacity of a window without a compositor only shows on the next flush.
  gdk_display_flush(gdk_display_get_default());
}

static void GtkActivateWindow(WindowRecord &window) {
  if (GtkWindowParts *parts = PartsOf(window))
    gtk_window_present(GTK_WINDOW(parts->Window));
}

static void GtkMinimiseWindow(WindowRecord &window) {
  if (GtkWindowParts *parts = PartsOf(window))
    gtk_window_iconify(GTK_WINDOW(parts->Window));
}

static std::string CssColour(Colour colour) {
  char text[8];
  snprintf(text, sizeof text, "#%02x%02x%02x", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
  return text;
}

static void StyleEntry(ControlRecord &control) {
  auto *entry = static_cast<GtkWidget *>(control.Widget);
  std::string css = "entry { border: none; box-shadow: none; border-radius: 0; padding: 0 2px; min-height: 0; color: " +
                    CssColour(control.TextColour) + "; background: " + CssColour(control.Background) +
                    "; caret-color: " + CssColour(control.TextColour) + "; }";
  GtkCssProvider *provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(entry), GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

static void GtkCreateControl(WindowRecord &window, ControlRecord &control) {
  GtkWindowParts *parts = PartsOf(window);
  if (!parts)
    return;
  if (control.Kind == ControlKind::Input) {
    GtkWidget *entry = gtk_entry_new();
    gtk_entry_set_has_frame(GTK_ENTRY(entry), FALSE);
    gtk_widget_set_size_request(entry, control.Width, control.Height);
    control.Widget = entry;
    StyleEntry(control);
    gtk_fixed_put(GTK_FIXED(parts->Layout), entry, control.X, control.Y);
    gtk_widget_show(entry);
    return;
  }
  gtk_widget_queue_draw_area(parts->Face, control.X, control.Y, control.Width, control.Height);
}

static void GtkFreeControl(WindowRecord &window, ControlRecord &control) {
  GtkWindowParts *parts = PartsOf(window);
  if (!parts)
    return;
  if (control.Widget) {
    gtk_widget_destroy(static_cast<GtkWidget *>(control.Widget));
    control.Widget = nullptr;
  }
  gtk_widget_queue_draw_area(parts->Face, control.X, control.Y, control.Width, control.Height);
}

static void GtkRefreshControl(WindowRecord &window, ControlRecord &control) {
  GtkWindowParts *parts = PartsOf(window);
  if (!parts)
    return;
  if (control.Widget) {
    gtk_fixed_move(GTK_FIXED(parts->Layout), static_cast<GtkWidget *>(control.Widget), control.X, control.Y);
    gtk_widget_set_size_request(static_cast<GtkWidget *>(control.Widget), control.Width, control.Height);
    StyleEntry(control);
    return;
  }
  // A moved control leaves its old place stale, so paint the whole face.
  gtk_widget_queue_draw(parts->Face);
}

static std::string GtkInputText(ControlRecord &control) {
  if (!control.Widget)
    return control.Text;
  return gtk_entry_get_text(GTK_ENTRY(static_cast<GtkWidget *>(control.Widget)));
}

static void GtkSetInputText(ControlRecord &control) {
  if (control.Widget)
    gtk_entry_set_text(GTK_ENTRY(static_cast<GtkWidget *>(control.Widget)), control.Text.c_str());
}

static void GtkFocusControl(ControlRecord &control) {
  if (control.Widget)
    gtk_widget_grab_focus(static_cast<GtkWidget *>(control.Widget));
}

static gboolean EndPumpWait(gpointer fired) {
  *static_cast<bool *>(fired) = true;
  return G_SOURCE_REMOVE;
}

static void GtkPump(int timeoutMs) {
  PumpPending();
  if (timeoutMs <= 0)
    return;
  bool fired = false;
  guint source = g_timeout_add(static_cast<guint>(timeoutMs), EndPumpWait, &fired);
  g_main_context_iteration(nullptr, TRUE);
  if (!fired)
    g_source_remove(source);
  PumpPending();
}

static void GtkWakeUp() { g_main_context_wakeup(nullptr); }

static bool GtkReadCursor(int &x, int &y) {
  GdkDisplay *display = gdk_display_get_default();
  GdkSeat *seat = display ? gdk_display_get_default_seat(display) : nullptr;
  GdkDevice *pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (!pointer)
    return false;
  gdk_device_get_position(pointer, nullptr, &x, &y);
  return true;
}

static void GtkShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
  GtkMessageType type = icon == MessageIcon::Error         ? GTK_MESSAGE_ERROR
                        : icon == MessageIcon::Information ? GTK_MESSAGE_INFO
                                                           : GTK_MESSAGE_OTHER;
  std::string body(text);
  GtkWidget *dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, type, GTK_BUTTONS_OK, "%s", body.c_str());
  std::string title(caption);
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  PumpPending();
}

struct MenuChoice {
  int Window;
  int Event;
};

static void OnMenuItem(GtkMenuItem *, gpointer data) {
  auto *choice = static_cast<MenuChoice *>(data);
  InjectMenuChoice(choice->Window, choice->Event);
}

static void GtkShowMenu(const MenuRecord &menu, WindowRecord &window) {
  GtkWindowParts *parts = PartsOf(window);
  if (!parts)
    return;
  static GtkWidget *Shown = nullptr; // the previous popup lives until the next one
  if (Shown)
    gtk_widget_destroy(Shown);
  Shown = gtk_menu_new();
  for (const MenuEntryRecord &entry : menu.Entries) {
    GtkWidget *item;
    if (entry.Event == 0) {
      item = gtk_separator_menu_item_new();
    } else {
      item = gtk_menu_item_new_with_label(entry.Text.c_str());
      auto *choice = new MenuChoice{window.Number, entry.Event};
      g_signal_connect_data(item, "activate", G_CALLBACK(OnMenuItem), choice,
                            [](gpointer data, GClosure *) { delete static_cast<MenuChoice *>(data); },
                            GConnectFlags(0));
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(Shown), item);
  }
  gtk_menu_attach_to_widget(GTK_MENU(Shown), parts->Face, nullptr);
  gtk_widget_show_all(Shown);
  gtk_menu_popup_at_pointer(GTK_MENU(Shown), nullptr);
}

static gboolean MatchExtension(const GtkFileFilterInfo *info, gpointer data) {
  if (!info->filename)
    return FALSE;
  const char *dot = strrchr(info->filename, '.');
  if (!dot)
    return FALSE;
  for (const std::string &extension : *static_cast<const std::vector<std::string> *>(data))
    if (g_ascii_strcasecmp(dot + 1, extension.c_str()) == 0)
      return TRUE;
  return FALSE;
}

static std::vector<std::string> GtkChooseFiles(std::string_view title, std::span<const FileFilter> filters) {
  std::string caption(title);
  GtkWidget *dialog = gtk_file_chooser_dialog_new(caption.c_str(), nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                  GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser *chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_select_multiple(chooser, TRUE);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  for (const FileFilter &filter : filters) {
    GtkFileFilter *added = gtk_file_filter_new();
    gtk_file_filter_set_name(added, filter.Name.c_str());
    gtk_file_filter_add_custom(added, GTK_FILE_FILTER_FILENAME, MatchExtension,
                               const_cast<std::vector<std::string> *>(&filter.Extensions), nullptr);
    gtk_file_chooser_add_filter(chooser, added);
  }
  std::vector<std::string> chosen;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    GSList *names = gtk_file_chooser_get_filenames(chooser);
    for (GSList *name = names; name; name = name->next) {
      chosen.emplace_back(static_cast<const char *>(name->data));
      g_free(name->data);
    }
    g_slist_free(names);
  }
  gtk_widget_destroy(dialog);
  PumpPending();
  return chosen;
}

// Follows the pointer until the left button is released, moving the window by
// as much as the pointer moved since the press.
static void GtkDragWindow(WindowRecord &window) {
  GtkWindowParts *parts = PartsOf(window);
  GdkDisplay *display = gdk_display_get_default();
  GdkSeat *seat = display ? gdk_display_get_default_seat(display) : nullptr;
  GdkDevice *pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (!parts || !pointer)
    return;
  GdkWindow *root = gdk_screen_get_root_window(gdk_screen_get_default());
  int startX, startY;
  gdk_device_get_position(pointer, nullptr, &startX, &startY);
  if (Pressed) {
    startX = PressX;
    startY = PressY;
    Pressed = false;
  }
  int windowX = window.X, windowY = window.Y;
  GdkGrabStatus grab = gdk_seat_grab(seat, gtk_widget_get_window(parts->Window), GDK_SEAT_CAPABILITY_POINTER, FALSE,
                                     nullptr, nullptr, nullptr, nullptr);
  Dragging = true;
  for (;;) {
    PumpPending();
    int x, y;
    GdkModifierType state;
    gdk_window_get_device_position(root, pointer, &x, &y, &state);
    if (!(state & GDK_BUTTON1_MASK))
      break;
    if (x - startX + windowX != window.X || y - startY + windowY != window.Y) {
      window.X = windowX + x - startX;
      window.Y = windowY + y - startY;
      gtk_window_move(GTK_WINDOW(parts->Window), window.X, window.Y);
    }
    Pause(10);
  }
  Dragging = false;
  if (grab == GDK_GRAB_SUCCESS)
    gdk_seat_ungrab(seat);
  PumpPending();
}

const UiBackend GtkUiBackend = {
    .Start = GtkStart,
    .Stop = PumpPending,
    .Screen = GtkScreen,
    .OpenWindow = GtkOpenWindow,
    .CloseWindow = GtkCloseWindow,
    .ApplyWindowState = GtkApplyWindowState,
    .ActivateWindow = GtkActivateWindow,
    .MinimiseWindow = GtkMinimiseWindow,
    .CreateControl = GtkCreateControl,
    .FreeControl = GtkFreeControl,
    .RefreshControl = GtkRefreshControl,
    .InputText = GtkInputText,
    .SetInputText = GtkSetInputText,
    .FocusControl = GtkFocusControl,
    .Pump = GtkPump,
    .WakeUp = GtkWakeUp,
    .ReadCursor = GtkReadCursor,
    .ShowMessage = GtkShowMessage,
    .ShowMenu = GtkShowMenu,
    .ChooseFiles = GtkChooseFiles,
    .DragWindow = GtkDragWindow,
};
