// ulda's side of the host: the host table it works through, the forward-only
// file helpers, the version check and the exported entry points.
#ifndef ULDA_PLUGIN_H
#define ULDA_PLUGIN_H

#include <cstdint>

#include "orva.h"

// The host table every file and stream call goes through; set when the library
// is attached (tests put a fake host here).
extern const OrvaHostFunctions *HostFunctionTable;
// Set when the host's version was refused: the plug-in then does no work.
extern bool PluginRefused;

bool AlacHostVersionAccepted(uint32_t version);
// Takes the host table and checks the host's version; on a wrong version it
// reports on stderr and refuses all later work.
void AlacAttach(const OrvaHostFunctions *host, uint32_t version);

// Moves the file to target, reading forward when the host cannot seek.
// 0 on success, non-zero on failure.
int FileSeekForward(HOSTFILE file, uint64_t target);
int FileSkip(HOSTFILE file, int64_t count);

extern "C" {
ORVA_EXPORT HSTREAM Orva_ALAC_StreamCreateFile(int mem, const void *file, uint64_t offset, uint64_t length,
                                               uint32_t flags);
ORVA_EXPORT HSTREAM Orva_ALAC_StreamCreateURL(const char *url, uint64_t offset, uint32_t flags, void *proc,
                                              void *user);
ORVA_EXPORT HSTREAM Orva_ALAC_StreamCreateFileUser(uint32_t system, uint32_t flags, const OrvaFileProcs *procs,
                                                   void *user);
ORVA_EXPORT const void *Orvaplugin(uint32_t face);
}

#endif
