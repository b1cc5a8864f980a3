/* pymo: orva's FLAC plug-in. */
#ifndef PYMO_H
#define PYMO_H

#include "orva.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opens through the host's file functions (the full flags reach the open, so
 * a UTF-16 name works). 0 on failure with the host's error code set: 41 when
 * the file is not FLAC, the host's own code when it cannot be opened. */
ORVA_EXPORT HSTREAM Orva_FLAC_StreamCreateFile(int mem, const void *file, uint64_t offset, uint64_t length,
                                               uint32_t flags);
/* Face 0: OrvaPluginInfo; face 1: the OrvaPluginCreateProc; else null. */
ORVA_EXPORT const void *Orvaplugin(uint32_t face);

#ifdef __cplusplus
}
#endif

/* The creation proc on an open host file positioned at 0; on failure the file
 * is left open for the caller. */
HSTREAM PymoCreateStream(HOSTFILE file, uint32_t flags);

#endif
