#include "playlist/lists.h"

std::vector<Track> List1;
std::vector<Track> List2;
uint8_t ActiveList = 3;
int32_t ListRate = 0;
int64_t List1Bytes = 0;
int64_t List2Bytes = 0;
int32_t List1Selected = 0, List2Selected = 0, NamesSelected = 0;
int32_t List1Page = 0, List2Page = 0, NamesPage = 0;
int32_t PageLines = 12;
int32_t PageStep = 6;
