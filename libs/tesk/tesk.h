/* tesk: Velmora's output library. Lists the machine's playback devices (ALSA
 * hardware devices, the ALSA "default" device, then "Null output"), tells
 * which rates each takes exactly, and plays a callback's blocks on a thread
 * of its own, converted to the device's native sample format.
 * C linkage; the player binds these by name with dlsym.
 *
 * Every function returns non-zero on success (CheckRate: in its low 8 bits);
 * after a failure Tesk_ASIO_ErrorGetCode, called on the same thread, tells
 * why. Error codes share orva's numbering. */
#ifndef TESK_H
#define TESK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TESK_EXPORT __attribute__((visibility("default")))

#define TESK_OK 0
#define TESK_ERROR_MEM 1
#define TESK_ERROR_FILEOPEN 2     /* the Null output's capture file */
#define TESK_ERROR_DRIVER 3       /* no free or valid device: busy, vanished, or not a playback device */
#define TESK_ERROR_FORMAT 6       /* unsupported sample format */
#define TESK_ERROR_INIT 8         /* Tesk_ASIO_Init(device, 1) has not been called */
#define TESK_ERROR_START 9        /* started, or not started, when the call needs the other */
#define TESK_ERROR_ALREADY 14     /* already initialised or started */
#define TESK_ERROR_ILLPARAM 20
#define TESK_ERROR_DEVICE 23      /* illegal device number */
#define TESK_ERROR_FREQ 25        /* illegal or unsupported sample rate */
#define TESK_ERROR_UNKNOWN (-1)

#define TESK_MAX_DEVICES 12

/* Tesk_ASIO_Init flags: without TESK_INIT_PLAY the device is opened for
 * rate checks only. */
#define TESK_INIT_PLAY 1u

/* Sample format of a channel's callback data: 32-bit float. */
#define TESK_FORMAT_FLOAT 19

/* Tesk_ASIO_ChannelReset flags. */
#define TESK_RESET_ENABLE 1u /* undo Tesk_ASIO_ChannelEnable */
#define TESK_RESET_JOIN 2u   /* undo Tesk_ASIO_ChannelJoin */
#define TESK_RESET_PAUSE 4u  /* end a pause */

typedef struct TeskDeviceInfo {
  /* Zero-terminated name: UTF-16 (char16_t) after Tesk_ASIO_SetUnicode(1),
   * UTF-8 before. Valid until the next call for device 0, which lists the
   * devices anew. */
  const void *name;
  const char *driver; /* ALSA PCM name ("hw:0,0", "default"), or "null" */
} TeskDeviceInfo;

/* Fills buffer with up to length bytes of 32-bit float samples (two channels
 * interleaved when a second channel is joined) and returns the bytes written.
 * Runs on the library's output thread: it must not block. */
typedef uint32_t (*TeskAsioProc)(int input, uint32_t channel, void *buffer, uint32_t length, void *user);

TESK_EXPORT int Tesk_ASIO_SetUnicode(int unicode);
TESK_EXPORT int Tesk_ASIO_GetDeviceInfo(int32_t device, TeskDeviceInfo *info);
TESK_EXPORT int Tesk_ASIO_Init(int32_t device, uint32_t flags);
TESK_EXPORT int Tesk_ASIO_Free(void);
TESK_EXPORT int Tesk_ASIO_ErrorGetCode(void); /* per calling thread; 0 after a call that succeeded */
TESK_EXPORT int Tesk_ASIO_CheckRate(double rate);
TESK_EXPORT int Tesk_ASIO_SetRate(double rate);
TESK_EXPORT double Tesk_ASIO_GetRate(void); /* 0 when no rate is set */
/* buflen: period in sample frames, 0 for the device's default; threads is
 * unused (one output thread per device). */
TESK_EXPORT int Tesk_ASIO_Start(uint32_t buflen, uint32_t threads);
TESK_EXPORT int Tesk_ASIO_Stop(void); /* returns when no callback can run any more */
TESK_EXPORT int Tesk_ASIO_IsStarted(void);
TESK_EXPORT int Tesk_ASIO_ChannelEnable(int input, int32_t channel, TeskAsioProc proc, void *user);
TESK_EXPORT int Tesk_ASIO_ChannelJoin(int input, int32_t channel, int32_t channel2);
TESK_EXPORT int Tesk_ASIO_ChannelSetFormat(int input, int32_t channel, uint32_t format);
TESK_EXPORT int Tesk_ASIO_ChannelPause(int input, int32_t channel);
TESK_EXPORT int Tesk_ASIO_ChannelReset(int input, int32_t channel, uint32_t flags); /* channel -1: all */
/* channel -1: the overall level, 0.0 to 1.0. It outlives Free and Init, so a
 * caller can mute the first moments of the next start. */
TESK_EXPORT int Tesk_ASIO_ChannelSetVolume(int input, int32_t channel, float volume);

#ifdef __cplusplus
}
#endif
#endif
