// Streams whose samples come from a plug-in's decoding callback, in the
// plug-in's own format, and the loading of plug-ins.
#include "orva_internal.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

namespace orva {

namespace {

uint32_t SampleBytes(const Stream &s) { return (s.Flags & ORVA_SAMPLE_FLOAT) ? 4 : 2; }
uint32_t NativeFrameBytes(const Stream &s) { return s.Chans * SampleBytes(s); }

struct LoadedPlugin {
  void *Library = nullptr;
  OrvaPluginCreateProc Create = nullptr;
};
std::mutex PluginLock;
std::vector<LoadedPlugin> Plugins; // HPLUGIN = index + 1; never shrinks

} // namespace

HSTREAM CreatePluginStream(uint32_t freq, uint32_t chans, uint32_t flags, OrvaStreamProc proc, void *user,
                           const OrvaPluginFuncs *funcs) {
  if (!proc) {
    SetError(ORVA_ERROR_ILLPARAM);
    return 0;
  }
  if (freq == 0) {
    SetError(ORVA_ERROR_FREQ);
    return 0;
  }
  if (chans == 0 || chans > 8) {
    SetError(ORVA_ERROR_FORMAT);
    return 0;
  }
  auto s = std::make_shared<Stream>();
  s->Kind = StreamKind::Plugin;
  s->Freq = freq;
  s->Chans = chans;
  s->Flags = flags;
  s->Proc = proc;
  s->Inst = user;
  s->Funcs = funcs;
  s->OrigRes = SampleBytes(*s) * 8;
  HSTREAM h = AddStream(s);
  if (!h) {
    SetError(ORVA_ERROR_MEM);
    return 0;
  }
  SetError(ORVA_OK);
  return h;
}

void AttachFileToStream(HOSTFILE file, HSTREAM handle) {
  auto s = FindStream(handle);
  if (!s || !file)
    return;
  std::lock_guard guard(s->Lock);
  if (s->Freed || s->File == file)
    return;
  if (s->File)
    CloseHostFile(s->File);
  s->File = static_cast<HostFile *>(file);
  s->File->Owner = handle;
  if (s->FileName.empty())
    s->FileName = NameOfHostFile(file);
}

uint64_t PluginStreamFrames(Stream &s) {
  if (!s.Funcs || !s.Funcs->GetLength)
    return ~uint64_t(0);
  uint64_t bytes = s.Funcs->GetLength(s.Inst, ORVA_POS_BYTE);
  return bytes == ~uint64_t(0) ? bytes : bytes / NativeFrameBytes(s);
}

uint32_t ReadPluginStream(Stream &s, float *out, uint32_t frames) {
  const uint32_t frameBytes = NativeFrameBytes(s);
  const bool isFloat = s.Flags & ORVA_SAMPLE_FLOAT;
  const uint32_t chunk = ChunkFrames;
  s.Native.resize(size_t(chunk) * frameBytes);
  s.Samples.resize(size_t(chunk) * s.Chans);
  uint32_t done = 0;
  while (done < frames && !s.SourceEnded) {
    const uint32_t want = std::min(frames - done, chunk);
    uint8_t *native = s.Native.data();
    uint32_t have = uint32_t(s.Carry.size());
    if (have)
      memcpy(native, s.Carry.data(), have);
    s.Carry.clear();
    const uint32_t ask = want * frameBytes - have;
    const uint32_t r = s.Proc(s.Handle, native + have, ask, s.Inst);
    const uint32_t got = std::min(r & ~ORVA_STREAMPROC_END, ask);
    if (r & ORVA_STREAMPROC_END)
      s.SourceEnded = true;
    have += got;
    const uint32_t whole = have / frameBytes;
    const size_t count = size_t(whole) * s.Chans;
    float *samples = s.Samples.data();
    if (isFloat) {
      memcpy(samples, native, count * 4);
    } else {
      for (size_t i = 0; i < count; ++i) {
        int16_t v;
        memcpy(&v, native + 2 * i, 2);
        samples[i] = float(v) * (1.0f / 32768.0f);
      }
    }
    MixToStereo(samples, s.Chans, whole, out + 2 * size_t(done));
    done += whole;
    // An incomplete frame waits for the rest, unless the stream has ended.
    if (!s.SourceEnded)
      s.Carry.assign(native + size_t(whole) * frameBytes, native + have);
    if (got == 0 && !s.SourceEnded)
      break; // nothing more yet: a buffered file whose data have not arrived
  }
  if (s.SourceEnded)
    s.Ended = true;
  return done;
}

// Drops `frames` decoded frames; false when the plug-in could not supply them.
static bool DropPluginFrames(Stream &s, uint64_t frames) {
  std::vector<float> sink(2 * size_t(std::min<uint64_t>(frames, ChunkFrames)));
  while (frames > 0) {
    uint32_t want = uint32_t(std::min<uint64_t>(frames, ChunkFrames));
    uint32_t got = ReadPluginStream(s, sink.data(), want);
    frames -= got;
    if (got < want)
      return frames == 0;
  }
  return true;
}

bool SeekPluginStream(Stream &s, uint64_t frame) {
  const uint64_t frameBytes = NativeFrameBytes(s);
  const uint64_t target = frame * frameBytes;
  const uint64_t current = s.Position / OutputFrameBytes;
  uint64_t reached;
  if (s.Funcs && s.Funcs->SetPosition) {
    SetError(ORVA_OK);
    if (s.Funcs->CanSetPosition && !s.Funcs->CanSetPosition(s.Inst, target, ORVA_POS_BYTE)) {
      if (GetError() == ORVA_OK)
        SetError(ORVA_ERROR_POSITION);
      return false;
    }
    reached = s.Funcs->SetPosition(s.Inst, target, ORVA_POS_BYTE);
    if (reached == ~uint64_t(0) || reached > target || reached % frameBytes != 0) {
      if (GetError() == ORVA_OK || reached != ~uint64_t(0))
        SetError(ORVA_ERROR_POSITION);
      return false;
    }
    reached /= frameBytes;
    s.Carry.clear();
    s.SourceEnded = false;
    s.Ended = false;
  } else if (frame >= current) {
    reached = current; // no seeking in the plug-in: decode forward
  } else {
    SetError(ORVA_ERROR_POSITION);
    return false;
  }
  // The plug-in may land on the start of the frame holding the target.
  if (!DropPluginFrames(s, frame - reached)) {
    SetError(s.SourceEnded ? ORVA_ERROR_POSITION : ORVA_ERROR_NOTAVAIL);
    return false;
  }
  return true;
}

HPLUGIN LoadPlugin(const char *path) {
  void *lib = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
  if (!lib) {
    SetError(ORVA_ERROR_FILEOPEN);
    return 0;
  }
  auto query = reinterpret_cast<OrvaPluginQueryProc>(dlsym(lib, "Orvaplugin"));
  const auto *info = query ? static_cast<const OrvaPluginInfo *>(query(0)) : nullptr;
  auto create = query ? reinterpret_cast<OrvaPluginCreateProc>(const_cast<void *>(query(1))) : nullptr;
  if (!info || !create || (info->version >> 16) != (ORVA_VERSION >> 16)) {
    dlclose(lib);
    SetError(ORVA_ERROR_FILEFORM);
    return 0;
  }
  std::lock_guard guard(PluginLock);
  for (size_t i = 0; i < Plugins.size(); ++i) {
    if (Plugins[i].Library == lib) {
      dlclose(lib); // already loaded; drop the extra reference
      SetError(ORVA_OK);
      return HPLUGIN(i + 1);
    }
  }
  Plugins.push_back({lib, create});
  SetError(ORVA_OK);
  return HPLUGIN(Plugins.size());
}

HSTREAM CreateStreamThroughPlugins(HostFile *file, uint32_t flags) {
  std::vector<LoadedPlugin> plugins;
  {
    std::lock_guard guard(PluginLock);
    plugins = Plugins;
  }
  int error = ORVA_OK;
  for (size_t i = 0; i < plugins.size(); ++i) {
    // Each plug-in gets the file as if freshly opened, whatever the last one did to it.
    file->Origin = 0;
    if (!SeekHostFile(file, 0))
      break;
    SetError(ORVA_OK);
    HSTREAM h = plugins[i].Create(file, flags);
    if (h) {
      AttachFileToStream(file, h);
      if (auto s = FindStream(h)) {
        std::lock_guard guard(s->Lock);
        s->Plugin = HPLUGIN(i + 1);
      }
      SetError(ORVA_OK);
      return h;
    }
    // Keep the first reason more telling than "not my format".
    int e = GetError();
    if (error == ORVA_OK && e != ORVA_OK && e != ORVA_ERROR_FILEFORM)
      error = e;
  }
  SetError(error);
  return 0;
}

} // namespace orva
