// Stereo downmix of the source's channels.
#include "orva_internal.h"

#include <algorithm>

namespace orva {

namespace {

// ITU-R BS.775 stereo downmix in the WAVE channel order: centre and
// surrounds at -3 dB (back centre at -6 dB), LFE dropped. Each output is then
// divided by the sum of its coefficients so full scale in every channel cannot
// exceed full scale. Beyond 8 channels there is no standard order: channels
// alternate left and right with equal weight.
constexpr float H = 0.70710678f;
struct Weights {
  float L[8];
  float R[8];
};
constexpr Weights Matrix[9] = {
    {},
    {},
    {},
    {{1, 0, H}, {0, 1, H}},                                         // FL FR FC
    {{1, 0, H, 0}, {0, 1, 0, H}},                                   // FL FR BL BR
    {{1, 0, H, H, 0}, {0, 1, H, 0, H}},                             // FL FR FC BL BR
    {{1, 0, H, 0, H, 0}, {0, 1, H, 0, 0, H}},                       // FL FR FC LFE BL BR
    {{1, 0, H, 0, 0.5f, H, 0}, {0, 1, H, 0, 0.5f, 0, H}},           // FL FR FC LFE BC SL SR
    {{1, 0, H, 0, H, 0, H, 0}, {0, 1, H, 0, 0, H, 0, H}},           // FL FR FC LFE BL BR SL SR
};

} // namespace

void MixToStereo(const float *in, uint32_t chans, uint32_t frames, float *out) {
  if (chans == 1) {
    for (uint32_t i = 0; i < frames; ++i)
      out[2 * i] = out[2 * i + 1] = in[i];
    return;
  }
  if (chans == 2) {
    std::copy(in, in + 2 * size_t(frames), out);
    return;
  }
  if (chans <= 8) {
    const Weights &w = Matrix[chans];
    float sumL = 0, sumR = 0;
    for (uint32_t c = 0; c < chans; ++c) {
      sumL += w.L[c];
      sumR += w.R[c];
    }
    float gl[8], gr[8];
    for (uint32_t c = 0; c < chans; ++c) {
      gl[c] = w.L[c] / sumL;
      gr[c] = w.R[c] / sumR;
    }
    for (uint32_t i = 0; i < frames; ++i, in += chans) {
      float l = 0, r = 0;
      for (uint32_t c = 0; c < chans; ++c) {
        l += gl[c] * in[c];
        r += gr[c] * in[c];
      }
      out[2 * i] = l;
      out[2 * i + 1] = r;
    }
    return;
  }
  const float gl = 1.0f / float((chans + 1) / 2), gr = 1.0f / float(chans / 2);
  for (uint32_t i = 0; i < frames; ++i, in += chans) {
    float l = 0, r = 0;
    for (uint32_t c = 0; c < chans; c += 2)
      l += in[c];
    for (uint32_t c = 1; c < chans; c += 2)
      r += in[c];
    out[2 * i] = l * gl;
    out[2 * i + 1] = r * gr;
  }
}

} // namespace orva
