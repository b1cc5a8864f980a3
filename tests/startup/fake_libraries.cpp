// Stand-ins for the four audio libraries: every name the player binds, doing
// nothing. Built once per library; FAKE_LEAVE_OUT drops one name of orva.
#include <cstdint>

#define FAKE(name) extern "C" __attribute__((visibility("default"))) int name() { return 0; }

#ifdef FAKE_ORVA
FAKE(Orva_ChannelGetData)
FAKE(Orva_StreamCreateFile)
FAKE(Orva_ChannelGetLength)
FAKE(Orva_ChannelGetPosition)
FAKE(Orva_ErrorGetCode)
FAKE(Orva_Init)
FAKE(Orva_Free)
FAKE(Orva_StreamFree)
FAKE(Orva_SetDevice)
FAKE(Orva_SetConfig)
FAKE(Orva_ChannelBytes2Seconds)
FAKE(Orva_ChannelGetAttribute)
FAKE(Orva_ChannelSetPosition)
FAKE(Orva_ChannelSetDevice)
#ifndef FAKE_LEAVE_OUT
FAKE(Orva_ChannelStop)
#endif
#endif

#ifdef FAKE_TESK
FAKE(Tesk_ASIO_GetDeviceInfo)
FAKE(Tesk_ASIO_Init)
FAKE(Tesk_ASIO_Free)
FAKE(Tesk_ASIO_ErrorGetCode)
FAKE(Tesk_ASIO_CheckRate)
FAKE(Tesk_ASIO_SetRate)
FAKE(Tesk_ASIO_Start)
FAKE(Tesk_ASIO_Stop)
FAKE(Tesk_ASIO_SetUnicode)
FAKE(Tesk_ASIO_IsStarted)
FAKE(Tesk_ASIO_ChannelReset)
FAKE(Tesk_ASIO_ChannelEnable)
FAKE(Tesk_ASIO_ChannelJoin)
FAKE(Tesk_ASIO_ChannelPause)
FAKE(Tesk_ASIO_ChannelSetFormat)
FAKE(Tesk_ASIO_ChannelSetVolume)
#endif

#ifdef FAKE_PYMO
FAKE(Orva_FLAC_StreamCreateFile)
#endif

#ifdef FAKE_ULDA
FAKE(Orva_ALAC_StreamCreateFile)
#endif
