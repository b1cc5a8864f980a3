#include "app/device_window.h"

#include "app/interface.h"
#include "app/settings.h"
#include "app/startup.h"
#include "audio/libraries.h"
#include "platform/system.h"
#include "platform/text.h"

struct RateStep {
  uint8_t AsioDriverEntry::*Flag;
  double Rate;
  const char *Suffix;
};

// Ascending, as the line lists them.
static const RateStep Rates[] = {
    {&AsioDriverEntry::Rate44k1, 44100, "44.1"},   {&AsioDriverEntry::Rate48k, 48000, "/48.0"},
    {&AsioDriverEntry::Rate88k2, 88200, "/88.2"},  {&AsioDriverEntry::Rate96k, 96000, "/96.0"},
    {&AsioDriverEntry::Rate176k4, 176400, "/176.4"}, {&AsioDriverEntry::Rate192k, 192000, "/192.0"},
    {&AsioDriverEntry::Rate352k8, 352800, "/352.8"}, {&AsioDriverEntry::Rate384k, 384000, "/384.0"},
    {&AsioDriverEntry::Rate705k6, 705600, "/705.6"}, {&AsioDriverEntry::Rate768k, 768000, "/768.0"},
};

// A family is tested upwards and stops at the first refused rate.
static void TestRateFamily(AsioDriverEntry &entry, int first) {
  for (int i = first; i < 10; i += 2) {
    if ((Tesk.CheckRate(Rates[i].Rate) & 0xFF) == 0)
      return;
    entry.*Rates[i].Flag = 1;
  }
}

std::vector<AsioDriverEntry> ListAudioDevices() {
  std::vector<AsioDriverEntry> entries;
  for (int device = 0; device < 12; device++) {
    TeskDeviceInfo info{};
    if (!Tesk.GetDeviceInfo(device, &info))
      break;
    AsioDriverEntry entry;
    entry.DriverNumber = static_cast<uint8_t>(device);
    if (info.name)
      entry.Name = Utf16ToUtf8(static_cast<const char16_t *>(info.name));
    if (Tesk.Init(device, 0)) {
      TestRateFamily(entry, 0);
      TestRateFamily(entry, 1);
    }
    Tesk.Free();
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string DriverLineText(const AsioDriverEntry &entry) {
  // Sixty UTF-16 units, never half a surrogate pair.
  std::u16string name = Utf8ToUtf16(entry.Name);
  if (name.size() > 60)
    name.resize(name[59] >= 0xD800 && name[59] < 0xDC00 ? 59 : 60);
  std::string line = Utf16ToUtf8(name);
  if (!entry.Rate44k1)
    return line;
  line += "  pcm ";
  for (const RateStep &step : Rates)
    if (entry.*step.Flag)
      line += step.Suffix;
  return line + " kHz";
}

static void DrawDeviceCloseBox() {
  cairo_surface_t *canvas = CanvasSurface(DeviceCloseBox);
  if (!canvas)
    return;
  FillBox(canvas, 0, 0, 50, 36, ColorDialogBack);
  DrawLine(canvas, 20, 11, 15, 15, ColorDialogText);
  DrawLine(canvas, 20, 25, 15, -15, ColorDialogText);
  RefreshControl(DeviceCloseBox);
}

[[noreturn]] static void LeaveWithoutPick() {
  RemoveShortcut(DeviceWindow, EscapeEvent);
  CloseWindow(DeviceWindow);
  EndProgram();
}

void ChooseAudioDevice() {
  OpenWindow(DeviceWindow, 820, 560, "audio device", ColorDialogBack, WindowKeepAbove);
  CreateCanvas(DeviceWindow, DeviceCloseBox, 770, 0, 50, 36);
  DrawDeviceCloseBox();
  CreateTextControl(DeviceWindow, DeviceHeading, 0, 8, 770, 24, "Select ASIO driver", FontTahoma10, ColorDialogText,
                    ColorDialogBack, true);
  std::vector<AsioDriverEntry> entries = ListAudioDevices();
  for (size_t k = 0; k < entries.size(); k++) {
    int line = FirstDriverLine + static_cast<int>(k);
    CreateTextControl(DeviceWindow, line, 40, 60 + 32 * static_cast<int>(k), 760, 22, DriverLineText(entries[k]),
                      FontTahoma10, entries[k].Rate44k1 ? ColorDialogText : ColorDisabledText, ColorDialogBack,
                      false);
  }
  AddShortcut(DeviceWindow, KeyEscape, 0, EscapeEvent);

  for (;;) {
    WindowEvent event;
    if (!WaitWindowEvent(event, 20))
      continue;
    ReadCursor();
    if (!CursorOverWindow(DeviceWindow))
      continue;
    if (event.Kind == EventKind::LeftButtonDown) {
      for (size_t k = 0; k < entries.size(); k++) {
        if (!entries[k].Rate44k1 || !CursorOverControl(FirstDriverLine + static_cast<int>(k)))
          continue;
        ChosenDevice = entries[k];
        AsioDevice = entries[k].DriverNumber;
        OutputChannel = 0;
        RemoveShortcut(DeviceWindow, EscapeEvent);
        CloseWindow(DeviceWindow);
        Pause(20);
        return;
      }
      if (CursorOverControl(DeviceCloseBox))
        LeaveWithoutPick();
    } else if (event.Kind == EventKind::MouseMove) {
      for (size_t k = 0; k < entries.size(); k++) {
        int line = FirstDriverLine + static_cast<int>(k);
        Colour colour = ControlTextColour(line);
        bool over = CursorOverControl(line);
        if (over && colour == ColorDialogText)
          SetControlColours(line, ColorDialogHot, ColorDialogBack);
        else if (!over && colour == ColorDialogHot)
          SetControlColours(line, ColorDialogText, ColorDialogBack);
      }
    } else if (event.Kind == EventKind::Menu && event.Number == EscapeEvent) {
      LeaveWithoutPick();
    }
  }
}
