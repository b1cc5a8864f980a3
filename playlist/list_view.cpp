#include "playlist/list_view.h"

#include <cmath>
#include <cstdio>

#include "app/interface.h"
#include "app/startup.h"
#include "playlist/lists.h"

static constexpr int LinePitch = 32;

void DrawPlaylist() {
  cairo_surface_t *canvas = CanvasSurface(ListCanvas);
  if (!canvas)
    return;
  DrawImage(canvas, ListBackground, 0, 0);
  // A copy, so that a list changed by what the drawing calls cannot move under us.
  if (ActiveList == 3) {
    std::vector<std::string> names = PlaylistNames;
    for (size_t i = 0; i < names.size(); i++) {
      int row = static_cast<int>(i) - NamesPage * PageStep;
      Colour colour = static_cast<int>(i) == NamesSelected ? ColorActive : ColorText;
      if (row >= 0 && row < PageLines)
        DrawText(canvas, 4, row * LinePitch + 2, names[i], FontSegoeLight12, colour);
    }
  } else {
    std::vector<Track> list = ActiveList == 1 ? List1 : List2;
    int page = ActiveList == 1 ? List1Page : List2Page;
    int selected = ActiveList == 1 ? List1Selected : List2Selected;
    for (size_t i = 0; i < list.size(); i++) {
      int row = static_cast<int>(i) - page * PageStep;
      if (row < 0 || row >= PageLines)
        continue;
      Colour colour = static_cast<int>(i) == selected ? ColorActive : ColorText;
      int y = row * LinePitch + 2;
      DrawText(canvas, 40 - TextWidth(list[i].Duration, FontSegoeLight12), y, list[i].Duration, FontSegoeLight12,
               colour);
      DrawText(canvas, 55, y, list[i].Caption, FontSegoeLight12, colour);
    }
  }
  RefreshControl(ListCanvas);
}

std::string ListTimeText(int64_t bytes, int32_t rate) {
  // Each step cut to whole units, as the header has always counted.
  double seconds = std::trunc(static_cast<double>(bytes) / rate / 8);
  double minutes = std::trunc(static_cast<double>(bytes) / rate / 8 / 60);
  double hours = std::trunc(static_cast<double>(bytes) / rate / 8 / 60 / 60);
  long s = static_cast<long>(std::fmod(seconds, 60));
  char text[32];
  if (hours == 0)
    snprintf(text, sizeof text, "%3ld:%02ld", static_cast<long>(minutes), s);
  else
    snprintf(text, sizeof text, "%2ld:%02ld:%02ld", static_cast<long>(std::fmod(hours, 99)),
             static_cast<long>(std::fmod(minutes, 60)), s);
  return text;
}

static void DrawListTab(int control, int background, int64_t bytes, const char *caption, uint8_t highlighted) {
  cairo_surface_t *canvas = CanvasSurface(control);
  if (!canvas)
    return;
  Colour colour = highlighted == 1 ? ColorTabHot : ColorLabel;
  DrawImage(canvas, background, 0, 0);
  // Without a rate there is no time to show (and nothing to divide by).
  if (bytes == 0 || ListRate <= 0)
    DrawText(canvas, 4, 2, caption, FontCalligraphy12, colour);
  else
    DrawText(canvas, 1, 2, ListTimeText(bytes, ListRate), FontCalligraphy12, colour);
  RefreshControl(control);
}

void DrawList1Tab(uint8_t highlighted) { DrawListTab(List1Tab, List1TabBackground, List1Bytes, "List 1", highlighted); }

void DrawList2Tab(uint8_t highlighted) { DrawListTab(List2Tab, List2TabBackground, List2Bytes, "List 2", highlighted); }

void DrawListsTab(uint8_t highlighted) {
  cairo_surface_t *canvas = CanvasSurface(ListsTab);
  if (!canvas)
    return;
  DrawImage(canvas, ListsTabBackground, 0, 0);
  DrawText(canvas, 4, 2, "Lists", FontCalligraphy12, highlighted == 1 ? ColorTabHot : ColorLabel);
  RefreshControl(ListsTab);
}

void HighlightTab(int which) {
  if (which < 1 || which > 3)
    return;
  DrawList1Tab(which == 1);
  DrawList2Tab(which == 2);
  DrawListsTab(which == 3);
}
