// lp.is as its reader sees it: any bytes, read through a stream.
#include <cstdint>
#include <cstdio>

#include "app/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (!file)
    return 0;
  ReadSettingsStream(file);
  fclose(file);
  return 0;
}
