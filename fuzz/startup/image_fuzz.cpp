// Picture decoding (PNG and JPEG covers come from the user's folders), then
// the scalings the cover display does with what was decoded.
#include <cstdint>
#include <span>

#include "platform/ui.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (!LoadImageFromMemory(50, std::span<const uint8_t>(data, size)))
    return 0;
  if (ImageWidth(50) * ImageHeight(50) <= 512 * 512) {
    ScaleImage(50, 258, 222, true);
    ScaleImage(50, 128, 128, false);
  }
  FreeImage(50);
  return 0;
}
