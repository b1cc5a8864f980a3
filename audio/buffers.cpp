#include "audio/buffers.h"

#include "platform/system.h"

static_assert(BufferSize == 553528320);

uint8_t *DecodeBuffer = nullptr;
uint8_t *OutputBufferA = nullptr;
uint8_t *OutputBufferB = nullptr;

bool AllocateAudioBuffers() {
  // Mappings cost nothing until touched, so the three are taken at once even
  // though playback may never start.
  for (uint8_t **buffer : {&DecodeBuffer, &OutputBufferB, &OutputBufferA})
    if (!*buffer)
      *buffer = static_cast<uint8_t *>(AllocateZeroedBuffer(BufferSize));
  return DecodeBuffer && OutputBufferA && OutputBufferB;
}
