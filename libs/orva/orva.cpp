// orva's public functions: the stream table, errors, and the channel calls.
#include "orva_internal.h"

#include <atomic>
#include <unordered_map>

namespace orva {

namespace {

thread_local int LastError = ORVA_OK;

// Handles map to shared records so that a free racing a read on another
// thread waits for the read instead of pulling memory from under it.
std::mutex TableLock;
std::unordered_map<HSTREAM, std::shared_ptr<Stream>> Streams;
HSTREAM NextHandle = 1;

std::atomic<bool> Initialized{false};

void ReleaseStream(Stream &s) {
  if (s.Kind == StreamKind::Sound)
    CloseSoundStream(s);
  else if (s.Funcs && s.Funcs->Free)
    s.Funcs->Free(s.Inst);
  s.Inst = nullptr;
  CloseHostFile(s.File); // the file belongs to the stream
  s.File = nullptr;
  s.Freed = true;
}

HSTREAM CreateStreamOnFile(HOSTFILE handle, uint32_t flags) {
  auto *file = static_cast<HostFile *>(handle);
  auto s = std::make_shared<Stream>();
  s->Flags = flags;
  s->FileName = file->Name;
  if (OpenSoundStream(*s, file)) {
    s->File = file;
    file->Owner = AddStream(s);
    if (!file->Owner) {
      CloseSoundStream(*s);
      CloseHostFile(file);
      SetError(ORVA_ERROR_MEM);
      return 0;
    }
    SetError(ORVA_OK);
    return file->Owner;
  }
  const int soundError = GetError();
  HSTREAM h = CreateStreamThroughPlugins(file, flags);
  if (h)
    return h;
  const int pluginError = GetError();
  CloseHostFile(file); // a plug-in that failed leaves the file to us
  SetError(pluginError != ORVA_OK ? pluginError : soundError);
  return 0;
}

// Looks up and locks a live stream; sets error 5 when there is none.
struct Locked {
  std::shared_ptr<Stream> S;
  std::unique_lock<std::recursive_mutex> Guard;
  explicit operator bool() const { return S != nullptr; }
  Stream *operator->() const { return S.get(); }
};

Locked LockStream(HSTREAM handle) {
  Locked l;
  auto s = FindStream(handle);
  if (s) {
    l.Guard = std::unique_lock(s->Lock);
    if (!s->Freed)
      l.S = std::move(s);
    else
      l.Guard.unlock();
  }
  if (!l.S)
    SetError(ORVA_ERROR_HANDLE);
  return l;
}

uint64_t TotalFrames(Stream &s) { return s.Kind == StreamKind::Sound ? s.Frames : PluginStreamFrames(s); }

} // namespace

void SetError(int code) { LastError = code; }
int GetError() { return LastError; }

HSTREAM AddStream(std::shared_ptr<Stream> stream) {
  std::lock_guard guard(TableLock);
  if (Streams.size() >= 0xFFFFFFF0u)
    return 0;
  while (NextHandle == 0 || Streams.count(NextHandle))
    ++NextHandle;
  HSTREAM h = NextHandle++;
  stream->Handle = h;
  Streams.emplace(h, std::move(stream));
  return h;
}

std::shared_ptr<Stream> FindStream(HSTREAM handle) {
  std::lock_guard guard(TableLock);
  auto it = Streams.find(handle);
  return it == Streams.end() ? nullptr : it->second;
}

std::shared_ptr<Stream> TakeStream(HSTREAM handle) {
  std::lock_guard guard(TableLock);
  auto it = Streams.find(handle);
  if (it == Streams.end())
    return nullptr;
  auto s = std::move(it->second);
  Streams.erase(it);
  return s;
}

std::vector<HSTREAM> ListStreams() {
  std::lock_guard guard(TableLock);
  std::vector<HSTREAM> out;
  for (auto &entry : Streams)
    out.push_back(entry.first);
  return out;
}

HPLUGIN LoadPlugin(const char *path);

} // namespace orva

using namespace orva;

extern "C" {

static void HostSetError(int code) { SetError(code); }

const OrvaHostFunctions _ = {
    HostSetError,
    nullptr,
    CreatePluginStream,
    {},
    OpenHostFile,
    OpenHostURL,
    OpenHostUserFile,
    CloseHostFile,
    nullptr,
    AttachFileToStream,
    HostFileFlags,
    nullptr,
    ReadHostFile,
    SeekHostFile,
    HostFilePosition,
    HostFileAtEnd,
    nullptr,
    SetHostFileRate,
};

uint32_t Orva_GetVersion(void) { return ORVA_VERSION; }

// Nothing plays through orva, so initialisation only guards against a second
// Init; decoding works without it.
int Orva_Init(int, uint32_t, uint32_t, void *, const void *) {
  if (Initialized.exchange(true)) {
    SetError(ORVA_ERROR_ALREADY);
    return 0;
  }
  SetError(ORVA_OK);
  return 1;
}

int Orva_Free(void) {
  for (HSTREAM h : ListStreams()) {
    if (auto s = TakeStream(h)) {
      std::lock_guard guard(s->Lock);
      if (!s->Freed)
        ReleaseStream(*s);
    }
  }
  Initialized = false;
  SetError(ORVA_OK);
  return 1;
}

// No option changes decoding; they are accepted so callers need not care.
int Orva_SetConfig(uint32_t, uint32_t) {
  SetError(ORVA_OK);
  return 1;
}

// Device 0 is "no sound", the only device a decoder needs; 1 is accepted too.
int Orva_SetDevice(uint32_t device) {
  if (device > 1) {
    SetError(ORVA_ERROR_DEVICE);
    return 0;
  }
  SetError(ORVA_OK);
  return 1;
}

int Orva_ErrorGetCode(void) { return LastError; }

HSTREAM Orva_StreamCreateFile(int mem, const void *file, uint64_t offset, uint64_t length, uint32_t flags) {
  HOSTFILE f = OpenHostFile(mem, file, offset, length, flags, 0);
  return f ? CreateStreamOnFile(f, flags) : 0;
}

HSTREAM Orva_StreamCreateFileUser(uint32_t system, uint32_t flags, const OrvaFileProcs *procs, void *user) {
  HOSTFILE f = OpenHostUserFile(system, flags, procs, user, 0);
  return f ? CreateStreamOnFile(f, flags) : 0;
}

int Orva_StreamFree(HSTREAM handle) {
  auto s = TakeStream(handle);
  if (!s) {
    SetError(ORVA_ERROR_HANDLE);
    return 0;
  }
  std::lock_guard guard(s->Lock);
  if (!s->Freed)
    ReleaseStream(*s);
  SetError(ORVA_OK);
  return 1;
}

int Orva_ChannelSetDevice(HSTREAM handle, uint32_t device) {
  Locked s = LockStream(handle);
  if (!s)
    return 0;
  if (device > 1) {
    SetError(ORVA_ERROR_DEVICE);
    return 0;
  }
  SetError(ORVA_OK);
  return 1;
}

int Orva_ChannelStop(HSTREAM handle) {
  Locked s = LockStream(handle);
  if (!s)
    return 0;
  SetError(ORVA_OK);
  return 1;
}

uint64_t Orva_ChannelGetLength(HSTREAM handle, uint32_t mode) {
  Locked s = LockStream(handle);
  if (!s)
    return ~uint64_t(0);
  if (mode != ORVA_POS_BYTE) {
    SetError(ORVA_ERROR_NOTAVAIL);
    return ~uint64_t(0);
  }
  uint64_t frames = TotalFrames(*s.S);
  if (frames == ~uint64_t(0)) {
    SetError(ORVA_ERROR_NOTAVAIL);
    return frames;
  }
  SetError(ORVA_OK);
  return frames * OutputFrameBytes;
}

uint64_t Orva_ChannelGetPosition(HSTREAM handle, uint32_t mode) {
  Locked s = LockStream(handle);
  if (!s)
    return ~uint64_t(0);
  if (mode != ORVA_POS_BYTE) {
    SetError(ORVA_ERROR_NOTAVAIL);
    return ~uint64_t(0);
  }
  SetError(ORVA_OK);
  return s->Position;
}

// Positions are rounded down to a whole output frame.
int Orva_ChannelSetPosition(HSTREAM handle, uint64_t pos, uint32_t mode) {
  Locked s = LockStream(handle);
  if (!s)
    return 0;
  if (mode != ORVA_POS_BYTE) {
    SetError(ORVA_ERROR_NOTAVAIL);
    return 0;
  }
  const uint64_t frame = pos / OutputFrameBytes;
  const uint64_t total = TotalFrames(*s.S);
  if (total != ~uint64_t(0) && frame > total) {
    SetError(ORVA_ERROR_POSITION);
    return 0;
  }
  if (frame == total) {
    // The very end: nothing to decode, and no plug-in need find a frame there.
    if (s->Kind == StreamKind::Plugin) {
      s->Carry.clear();
      s->SourceEnded = true;
    }
    s->Ended = true;
  } else {
    bool ok = s->Kind == StreamKind::Sound ? SeekSoundStream(*s.S, frame) : SeekPluginStream(*s.S, frame);
    if (!ok)
      return 0;
    s->Ended = false;
  }
  s->Position = frame * OutputFrameBytes;
  SetError(ORVA_OK);
  return 1;
}

uint32_t Orva_ChannelGetData(HSTREAM handle, void *buffer, uint32_t length) {
  Locked s = LockStream(handle);
  if (!s)
    return ~uint32_t(0);
  const uint32_t frames = length / OutputFrameBytes; // whole frames only
  if (!buffer && frames) {
    SetError(ORVA_ERROR_ILLPARAM);
    return ~uint32_t(0);
  }
  if (s->Ended) {
    SetError(ORVA_ERROR_NOTAVAIL);
    return ~uint32_t(0);
  }
  float *out = static_cast<float *>(buffer);
  uint32_t done = s->Kind == StreamKind::Sound ? ReadSoundStream(*s.S, out, frames)
                                               : ReadPluginStream(*s.S, out, frames);
  s->Position += uint64_t(done) * OutputFrameBytes;
  if (done == 0 && frames && s->Ended) {
    SetError(ORVA_ERROR_NOTAVAIL);
    return ~uint32_t(0);
  }
  SetError(ORVA_OK);
  return done * OutputFrameBytes;
}

int Orva_ChannelGetAttribute(HSTREAM handle, uint32_t attrib, float *value) {
  Locked s = LockStream(handle);
  if (!s)
    return 0;
  if (!value) {
    SetError(ORVA_ERROR_ILLPARAM);
    return 0;
  }
  if (attrib == ORVA_ATTRIB_FREQ) {
    *value = float(s->Freq);
    SetError(ORVA_OK);
    return 1;
  }
  if (attrib == ORVA_ATTRIB_BITRATE) {
    if (s->Kind == StreamKind::Plugin) {
      if (!s->Funcs || !s->Funcs->GetAttribute) {
        SetError(ORVA_ERROR_ILLTYPE);
        return 0;
      }
      SetError(ORVA_OK);
      return s->Funcs->GetAttribute(s->Inst, attrib, value, 0) ? (SetError(ORVA_OK), 1) : 0;
    }
    // Uncompressed: the source's own rate in kilobits per second.
    *value = float(double(s->Freq) * s->Chans * s->OrigRes / 1000.0);
    SetError(ORVA_OK);
    return 1;
  }
  SetError(ORVA_ERROR_ILLTYPE);
  return 0;
}

double Orva_ChannelBytes2Seconds(HSTREAM handle, uint64_t pos) {
  Locked s = LockStream(handle);
  if (!s)
    return -1;
  SetError(ORVA_OK);
  return double(pos) / OutputFrameBytes / s->Freq;
}

int Orva_ChannelGetInfo(HSTREAM handle, OrvaChannelInfo *info) {
  Locked s = LockStream(handle);
  if (!s)
    return 0;
  if (!info) {
    SetError(ORVA_ERROR_ILLPARAM);
    return 0;
  }
  *info = OrvaChannelInfo{};
  info->freq = s->Freq;
  info->chans = s->Chans;
  info->flags = s->Flags;
  info->ctype = s->Ctype;
  info->origres = s->OrigRes;
  info->plugin = s->Plugin;
  info->filename = s->FileName.empty() ? nullptr : s->FileName.c_str();
  if (s->Kind == StreamKind::Plugin && s->Funcs && s->Funcs->GetInfo)
    s->Funcs->GetInfo(s->Inst, info);
  SetError(ORVA_OK);
  return 1;
}

HPLUGIN Orva_PluginLoad(const char *path, uint32_t flags) {
  if (!path) {
    SetError(ORVA_ERROR_ILLPARAM);
    return 0;
  }
  if (flags & ORVA_UNICODE)
    return LoadPlugin(Utf16ToUtf8(reinterpret_cast<const char16_t *>(path)).c_str());
  return LoadPlugin(path);
}

} // extern "C"
