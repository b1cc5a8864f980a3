// Binds the plug-in to the orva.dll it was loaded with. A constructor cannot
// make the load fail, so a wrong host version only switches the plug-in off.
#include "plugin.h"

__attribute__((constructor)) static void AttachToHost() { AlacAttach(&_, Orva_GetVersion()); }
