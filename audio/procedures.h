// Entries of the procedure-name table that the audio engine provides.
#pragma once

// Registers "AsioProc()" and "AudioThread()" with their entry points.
void RegisterAudioProcedures();
