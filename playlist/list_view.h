// The list view painted on the photo: the list canvas and the three tab headers.
#pragma once

#include <cstdint>
#include <string>

// Full redraw of ListCanvas for ActiveList.
void DrawPlaylist();
void DrawList1Tab(uint8_t highlighted);
void DrawList2Tab(uint8_t highlighted);
void DrawListsTab(uint8_t highlighted);
// Draws all three headers, the given one (1, 2 or 3) highlighted.
void HighlightTab(int which);
// A list's playing time as its tab header shows it: " 45:07", " 1:05:07".
std::string ListTimeText(int64_t bytes, int32_t rate);
