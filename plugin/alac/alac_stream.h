// ALAC stream: creation on a host file, the decoding callback, seeking and the
// operations the host calls.
#ifndef ULDA_ALAC_STREAM_H
#define ULDA_ALAC_STREAM_H

#include <cstdint>

#include "alac_decoder.h"
#include "mp4_reader.h"
#include "orva.h"

struct AlacInstance {
  HSTREAM handle;
  uint32_t flags;
  HOSTFILE file;
  AlacDecoder *decoder;
  Mp4Track track;
  uint32_t consumed;  // samples of frameBuffer already handed out
  uint32_t buffered;  // samples held in frameBuffer
  uint32_t readCapacity;
  uint8_t *readBuffer;
  uint8_t *frameBuffer;
  uint64_t length;
  uint32_t avgByteRate;
  uint32_t mediaStart;
  uint32_t nextFrame;
  // Where the host's offsets start after it was told the data start of a
  // buffered file; chunk offsets in the table are absolute and need it removed.
  uint32_t fileBase;
};

HSTREAM AlacCreateStream(HOSTFILE file, uint32_t flags);
uint32_t AlacDecodeProc(HSTREAM handle, void *buffer, uint32_t length, void *user);
// Frame holding sample frame target: its first sample frame (after seeking to
// it), or with checkOnly 1/0 whether its data are there; -1 when not found.
int64_t AlacLocateFrame(AlacInstance *stream, uint64_t target, bool checkOnly);

void AlacFreeStream(void *inst);
uint64_t AlacGetLength(void *inst, uint32_t mode);
void AlacGetInfo(void *inst, OrvaChannelInfo *info);
int AlacCanSetPosition(void *inst, uint64_t position, uint32_t mode);
uint64_t AlacGotoPosition(void *inst, uint64_t position, uint32_t mode);
int AlacGetAttribute(void *inst, uint32_t attrib, float *value, int write);

extern const OrvaPluginFuncs AlacFunctionTable;

#endif
