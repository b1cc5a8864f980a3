// Files the program carries inside itself: the four library images, the fonts
// and the pictures, embedded byte for byte at build time.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

struct CarriedFile {
  std::string_view Name; // "orva.dll", "turntable.png", "fonts/<face>.ttf", ...
  std::span<const uint8_t> Bytes;
};

// Set by the program's entry before start-up (tests set their own).
extern std::span<const CarriedFile> CarriedFiles;

// The file of that name, or null when the program carries none.
const CarriedFile *FindCarriedFile(std::string_view name);
