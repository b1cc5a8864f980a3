#include "audio/procedures.h"

#include "app/startup.h"

// The output callback and the decoder thread register here once they exist;
// until then playback is not started and nothing looks them up.
void RegisterAudioProcedures() {}
