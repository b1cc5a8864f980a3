/* orva: Velmora's core audio library. A decoder only: files become streams of
 * 32-bit float stereo (8 bytes a sample frame) that the caller pulls with
 * Orva_ChannelGetData. All lengths and positions are bytes of that output.
 * C linkage; the player binds these by name with dlsym. */
#ifndef ORVA_H
#define ORVA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ORVA_EXPORT __attribute__((visibility("default")))

typedef uint32_t HSTREAM; /* 0 = failure */
typedef uint32_t HPLUGIN; /* 0 = failure */
typedef void *HOSTFILE;   /* null = failure */

#define ORVA_VERSION 0x02040000u /* 2.4.0.0 */

/* Stream and file flags. Output is always float stereo whatever the flags;
 * ORVA_SAMPLE_FLOAT matters to plug-ins, whose native output it selects. */
#define ORVA_SAMPLE_FLOAT 0x100u
#define ORVA_STREAM_DECODE 0x200000u
#define ORVA_UNICODE 0x80000000u /* file name is UTF-16 (char16_t), else UTF-8 */

/* Error codes, one numbering shared with the output library. */
#define ORVA_OK 0
#define ORVA_ERROR_MEM 1
#define ORVA_ERROR_FILEOPEN 2
#define ORVA_ERROR_HANDLE 5
#define ORVA_ERROR_FORMAT 6
#define ORVA_ERROR_POSITION 7
#define ORVA_ERROR_INIT 8
#define ORVA_ERROR_ALREADY 14
#define ORVA_ERROR_DEVICE 23
#define ORVA_ERROR_ILLTYPE 19
#define ORVA_ERROR_ILLPARAM 20
#define ORVA_ERROR_FREQ 25
#define ORVA_ERROR_NOTFILE 27
#define ORVA_ERROR_NOTAVAIL 37
#define ORVA_ERROR_FILEFORM 41
#define ORVA_ERROR_CODEC 44
#define ORVA_ERROR_BUFFERED_INDEX 6000 /* buffered file whose media data precede its index */
#define ORVA_ERROR_UNKNOWN (-1)

#define ORVA_POS_BYTE 0u
#define ORVA_ATTRIB_FREQ 1u
#define ORVA_ATTRIB_BITRATE 12u

/* Channel types reported in OrvaChannelInfo.ctype. */
#define ORVA_CTYPE_WAV 0x10002u
#define ORVA_CTYPE_WAV_FLOAT 0x10003u
#define ORVA_CTYPE_AIFF 0x10006u
#define ORVA_CTYPE_FLAC 0x10900u
#define ORVA_CTYPE_ALAC 0x10E00u

typedef struct OrvaChannelInfo {
  uint32_t freq;    /* sample rate of the source, Hz */
  uint32_t chans;   /* channels of the source (output is always 2) */
  uint32_t flags;   /* stream flags */
  uint32_t ctype;   /* ORVA_CTYPE_* */
  uint32_t origres; /* bits per sample of the source */
  HPLUGIN plugin;   /* plug-in that made the stream, 0 for orva's own */
  const char *filename; /* null for memory and user files; valid until the stream is freed */
} OrvaChannelInfo;

ORVA_EXPORT uint32_t Orva_GetVersion(void);
ORVA_EXPORT int Orva_Init(int device, uint32_t freq, uint32_t flags, void *window, const void *clsid);
ORVA_EXPORT int Orva_Free(void);
ORVA_EXPORT int Orva_SetConfig(uint32_t option, uint32_t value);
ORVA_EXPORT int Orva_SetDevice(uint32_t device);
ORVA_EXPORT int Orva_ErrorGetCode(void); /* per calling thread; 0 after a call that succeeded */

/* mem non-zero: file points to length bytes of memory, and the file begins
 * offset bytes into them (the memory must outlive the stream). Otherwise file
 * names a file (UTF-8, or UTF-16 with ORVA_UNICODE), read from offset for
 * length bytes (0 = to its end). */
ORVA_EXPORT HSTREAM Orva_StreamCreateFile(int mem, const void *file, uint64_t offset, uint64_t length, uint32_t flags);
/* Orva's own formats, then the loaded plug-ins, over caller callbacks
 * (system ORVA_FILESYSTEM_NOBUFFER or ORVA_FILESYSTEM_BUFFER). */
ORVA_EXPORT HSTREAM Orva_StreamCreateFileUser(uint32_t system, uint32_t flags, const struct OrvaFileProcs *procs,
                                              void *user);
ORVA_EXPORT int Orva_StreamFree(HSTREAM handle);

ORVA_EXPORT int Orva_ChannelSetDevice(HSTREAM handle, uint32_t device);
ORVA_EXPORT int Orva_ChannelStop(HSTREAM handle);
ORVA_EXPORT uint64_t Orva_ChannelGetLength(HSTREAM handle, uint32_t mode);   /* (uint64_t)-1 on failure */
ORVA_EXPORT uint64_t Orva_ChannelGetPosition(HSTREAM handle, uint32_t mode); /* (uint64_t)-1 on failure */
/* Sample-exact; pos is rounded down to a whole frame; the end itself is valid. */
ORVA_EXPORT int Orva_ChannelSetPosition(HSTREAM handle, uint64_t pos, uint32_t mode);
/* Bytes written, in whole 8-byte frames (a length that is not a multiple of 8
 * is rounded down); fewer than asked only at the end of the stream (or while
 * a buffered file's data has not arrived); (uint32_t)-1 once the stream has
 * ended. Any length works: the data are decoded in bounded pieces. */
ORVA_EXPORT uint32_t Orva_ChannelGetData(HSTREAM handle, void *buffer, uint32_t length);
ORVA_EXPORT int Orva_ChannelGetAttribute(HSTREAM handle, uint32_t attrib, float *value);
ORVA_EXPORT double Orva_ChannelBytes2Seconds(HSTREAM handle, uint64_t pos);
ORVA_EXPORT int Orva_ChannelGetInfo(HSTREAM handle, OrvaChannelInfo *info);

/* Loads a plug-in (a shared library exporting Orvaplugin); files that orva
 * does not read itself are offered to each loaded plug-in in turn. The path
 * is UTF-16 with ORVA_UNICODE in flags. Loading one twice gives the same handle. */
ORVA_EXPORT HPLUGIN Orva_PluginLoad(const char *path, uint32_t flags);

/* ---- Plug-in side ---------------------------------------------------- */

/* A plug-in's decoding callback: fills up to length bytes of its native
 * format (16-bit integers, or floats with ORVA_SAMPLE_FLOAT in the stream
 * flags, interleaved in its own channel count). ORVA_STREAMPROC_END in the
 * result marks the end of the stream. */
#define ORVA_STREAMPROC_END 0x80000000u
typedef uint32_t (*OrvaStreamProc)(HSTREAM handle, void *buffer, uint32_t length, void *user);

/* The operations a plug-in stream hands the host: 15 pointer-sized members.
 * Positions and lengths here are bytes of the plug-in's native output. */
typedef struct OrvaPluginFuncs {
  uintptr_t flags;
  void (*Free)(void *inst);
  uint64_t (*GetLength)(void *inst, uint32_t mode);
  void *reserved3;
  void *reserved4;
  void (*GetInfo)(void *inst, OrvaChannelInfo *info);
  int (*CanSetPosition)(void *inst, uint64_t pos, uint32_t mode);
  uint64_t (*SetPosition)(void *inst, uint64_t pos, uint32_t mode); /* position reached (may be earlier), or (uint64_t)-1 */
  void *reserved8;
  void *reserved9;
  void *reserved10;
  void *reserved11;
  void *reserved12;
  int (*GetAttribute)(void *inst, uint32_t attrib, float *value, int write);
  void *reserved14;
} OrvaPluginFuncs;

/* Caller-supplied file callbacks (HostOpenUserFile). */
typedef struct OrvaFileProcs {
  void (*close)(void *user);
  uint64_t (*length)(void *user);
  /* Bytes read. For a buffered file (system 1): 0 = nothing more has arrived
   * yet, ORVA_FILE_EOF = no more data will come. */
  uint32_t (*read)(void *buffer, uint32_t length, void *user);
  int (*seek)(uint64_t offset, void *user); /* not used for buffered files */
} OrvaFileProcs;
#define ORVA_FILE_EOF 0xFFFFFFFFu
#define ORVA_FILESYSTEM_NOBUFFER 0u
#define ORVA_FILESYSTEM_BUFFER 1u

#define ORVA_FILE_BUFFERED 1u /* HostFileFlags: data still arriving */

/* HostFilePosition modes */
#define ORVA_FILEPOS_CURRENT 0u
#define ORVA_FILEPOS_AVAILABLE 1u
#define ORVA_FILEPOS_END 2u
#define ORVA_FILEPOS_ARRIVING 4u

typedef struct OrvaHostFunctions {
  void (*SetError)(int code);                                                          /* 0 */
  void *reserved1;                                                                     /* 1 */
  HSTREAM (*CreateStream)(uint32_t freq, uint32_t chans, uint32_t flags, OrvaStreamProc proc, void *user,
                          const OrvaPluginFuncs *funcs);                               /* 2 */
  void *reserved3[7];                                                                  /* 3..9 */
  HOSTFILE (*OpenFile)(int mem, const void *file, uint64_t offset, uint64_t length, uint32_t flags,
                       int reserved);                                                  /* 10 */
  HOSTFILE (*OpenURL)(const char *url, uint64_t offset, uint32_t flags, void *proc, void *user,
                      int reserved);                                                   /* 11 */
  HOSTFILE (*OpenUserFile)(uint32_t system, uint32_t flags, const OrvaFileProcs *procs, void *user,
                           int reserved);                                              /* 12 */
  void (*CloseFile)(HOSTFILE file);                                                    /* 13 */
  void *reserved14;                                                                    /* 14 */
  void (*SetFileStream)(HOSTFILE file, HSTREAM handle);                                /* 15: the stream owns the file */
  uint32_t (*FileFlags)(HOSTFILE file);                                                /* 16 */
  void *reserved17;                                                                    /* 17 */
  uint32_t (*FileRead)(HOSTFILE file, void *buffer, uint32_t length);                  /* 18 */
  int (*FileSeek)(HOSTFILE file, uint64_t offset);                                     /* 19 */
  uint64_t (*FilePosition)(HOSTFILE file, uint32_t mode);                              /* 20 */
  int (*FileAtEnd)(HOSTFILE file);                                                     /* 21 */
  void *reserved22;                                                                    /* 22 */
  /* 23: from then on the file's offsets count from start (a buffered file may
   * drop what lies before it) */
  void (*FileSetRate)(HOSTFILE file, uint32_t rate, uint32_t start);
} OrvaHostFunctions;

/* The host table, exported as data under the name "_". */
ORVA_EXPORT extern const OrvaHostFunctions _;

/* What a plug-in's Orvaplugin(0) returns. */
typedef struct OrvaPluginForm {
  uint32_t ctype;
  const char *name;
  const char *exts;
} OrvaPluginForm;
typedef struct OrvaPluginInfo {
  uint32_t version;
  uint32_t formatc;
  const OrvaPluginForm *formats;
} OrvaPluginInfo;
/* Orvaplugin(1) returns the creation function, called with a host file
 * positioned at 0. On failure it leaves the file open for the host. */
typedef HSTREAM (*OrvaPluginCreateProc)(HOSTFILE file, uint32_t flags);
typedef const void *(*OrvaPluginQueryProc)(uint32_t face);

#ifdef __cplusplus
}
#endif
#endif
