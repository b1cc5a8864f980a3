#include "orva.h"

extern "C" uint32_t Orva_GetVersion(void) { return ORVA_VERSION; }
