// Shared between orva's source files; not installed, not part of the contract.
#ifndef ORVA_INTERNAL_H
#define ORVA_INTERNAL_H

#include "orva.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct SNDFILE_tag;

namespace orva {

void SetError(int code);
int GetError();

// ---- Host files -------------------------------------------------------

enum class FileKind { Local, Memory, User, Buffered };

struct HostFile {
  FileKind Kind = FileKind::Local;
  int Descriptor = -1;             // Local
  const uint8_t *Memory = nullptr; // Memory
  uint64_t Base = 0;               // Local/Memory: window start in the source
  uint64_t Size = 0;               // Local/Memory/User: window length
  uint64_t Position = 0;           // next read, counted in the source (after Base)
  uint64_t Origin = 0;             // offsets the caller sees count from here (FileSetRate)
  OrvaFileProcs Procs{};           // User/Buffered
  void *User = nullptr;
  std::vector<uint8_t> Arrived;    // Buffered: every byte received so far
  bool Arriving = false;           // Buffered: more may come
  HSTREAM Owner = 0;
  uint32_t Flags = 0;
  std::string Name;
};

HOSTFILE OpenHostFile(int mem, const void *file, uint64_t offset, uint64_t length, uint32_t flags, int);
HOSTFILE OpenHostUserFile(uint32_t system, uint32_t flags, const OrvaFileProcs *procs, void *user, int);
HOSTFILE OpenHostURL(const char *url, uint64_t offset, uint32_t flags, void *proc, void *user, int);
void CloseHostFile(HOSTFILE file);
uint32_t HostFileFlags(HOSTFILE file);
uint32_t ReadHostFile(HOSTFILE file, void *buffer, uint32_t length);
int SeekHostFile(HOSTFILE file, uint64_t offset);
uint64_t HostFilePosition(HOSTFILE file, uint32_t mode);
int HostFileAtEnd(HOSTFILE file);
void SetHostFileRate(HOSTFILE file, uint32_t rate, uint32_t start);
std::string NameOfHostFile(HOSTFILE file);
std::string Utf16ToUtf8(const char16_t *s);

// ---- Streams ----------------------------------------------------------

enum class StreamKind { Sound, Plugin };

struct SoundState; // libsndfile decoding, in sound_file.cpp

struct Stream {
  std::recursive_mutex Lock; // a plug-in may call back into orva from its callback
  HSTREAM Handle = 0;
  StreamKind Kind = StreamKind::Sound;
  bool Freed = false;
  uint32_t Freq = 0;
  uint32_t Chans = 0;
  uint32_t Flags = 0;
  uint32_t Ctype = 0;
  uint32_t OrigRes = 0;
  HPLUGIN Plugin = 0;
  std::string FileName;
  HostFile *File = nullptr; // owned
  uint64_t Position = 0;    // output bytes handed out since the start
  bool Ended = false;

  // Sound streams
  SoundState *Sound = nullptr;
  uint64_t Frames = 0;

  // Plug-in streams
  OrvaStreamProc Proc = nullptr;
  void *Inst = nullptr;
  const OrvaPluginFuncs *Funcs = nullptr;
  bool SourceEnded = false;       // the plug-in gave the end bit
  std::vector<uint8_t> Carry;     // native bytes of an incomplete frame

  // Scratch for one chunk of conversion, grown once to a bounded size.
  std::vector<uint8_t> Native;
  std::vector<float> Samples;
};

HSTREAM AddStream(std::shared_ptr<Stream> stream);
std::shared_ptr<Stream> FindStream(HSTREAM handle);
std::shared_ptr<Stream> TakeStream(HSTREAM handle);
std::vector<HSTREAM> ListStreams();

HSTREAM CreatePluginStream(uint32_t freq, uint32_t chans, uint32_t flags, OrvaStreamProc proc, void *user,
                           const OrvaPluginFuncs *funcs);
void AttachFileToStream(HOSTFILE file, HSTREAM handle);

// Output frames are 8 bytes: two floats.
constexpr uint32_t OutputFrameBytes = 8;
// Frames converted per step; bounds every scratch buffer whatever the request.
constexpr uint32_t ChunkFrames = 8192;

// Mixes frames of `chans` interleaved float samples into stereo.
void MixToStereo(const float *in, uint32_t chans, uint32_t frames, float *out);

// Sound files (WAV, AIFF) through libsndfile over a host file.
bool OpenSoundStream(Stream &stream, HostFile *file);
void CloseSoundStream(Stream &stream);
uint32_t ReadSoundStream(Stream &stream, float *out, uint32_t frames);
bool SeekSoundStream(Stream &stream, uint64_t frame);

// Plug-in streams
uint32_t ReadPluginStream(Stream &stream, float *out, uint32_t frames);
bool SeekPluginStream(Stream &stream, uint64_t frame);
uint64_t PluginStreamFrames(Stream &stream);

// Loaded plug-ins
HSTREAM CreateStreamThroughPlugins(HostFile *file, uint32_t flags);

} // namespace orva

#endif
