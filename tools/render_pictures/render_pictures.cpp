// Renders the player's three pictures: the turntable photograph behind the main
// window, the start window's picture and the mask that shapes a cover into the
// record label. Everything is computed from fixed numbers and a fixed-seed hash,
// so the same build writes the same bytes every time.
//
//   render_pictures <output folder> [<fonts folder>]
//
// The fonts folder (default: next to the output, assets/fonts) supplies the
// faces for the few printed words; the PNGs in assets/ are made with
//   build/tools/render_pictures/render_pictures assets assets/fonts

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb Scale(Rgb a, double k) { return {a.r * k, a.g * k, a.b * k}; }
Rgb Add(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
double SmoothStep(double e0, double e1, double x) {
  double t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// ---------------------------------------------------------------- noise
// Integer hash noise: no library random generator, so the pictures are the same
// on every machine and with every standard library.

double Hash2(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
               seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return h / 4294967296.0;
}

double ValueNoise(double x, double y, uint32_t seed) {
  double fx = std::floor(x), fy = std::floor(y);
  int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
  double tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  double a = Hash2(ix, iy, seed), b = Hash2(ix + 1, iy, seed);
  double c = Hash2(ix, iy + 1, seed), d = Hash2(ix + 1, iy + 1, seed);
  return a + (b - a) * tx + (c - a) * ty + (a - b - c + d) * tx * ty;
}

double Fbm(double x, double y, int octaves, uint32_t seed) {
  double sum = 0, amp = 0.5, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * ValueNoise(x, y, seed + i * 7919u);
    norm += amp;
    x *= 2.03;
    y *= 2.03;
    amp *= 0.5;
  }
  return sum / norm;
}

double Noise1(double x, uint32_t seed) { return ValueNoise(x, 0.5, seed); }

// ---------------------------------------------------------------- the scene
// Scene coordinates are pixels of the 820 x 536 photograph. The camera looks
// down at the deck from the front, so circles appear as ellipses squashed to
// 222/258 of their width: the ratio of the label the cover is shown on.

constexpr double Squash = 222.0 / 258.0;
constexpr double CentreX = 370, CentreY = 292;     // spindle: centre of the label ellipse
constexpr double LabelRx = 129, LabelRy = 111;     // 258 x 222 at (241, 181)
constexpr double RecordRx = 262, RecordRy = RecordRx * Squash;
constexpr double PlatterRx = 273, PlatterRy = PlatterRx * Squash;
constexpr double PlatterSide = 9;                  // visible height of the platter's rim
constexpr double LightAngle = -2.35;               // light from the upper left (screen angle)

// Control strip on the left, under the captions, tabs and the two buttons.
constexpr double StripX0 = 5, StripY0 = 46, StripX1 = 91, StripY1 = 530, StripRadius = 7;

struct Options {
  bool label = true;        // false: vinyl continues under the label (for the mask)
  bool pageButtons = true;  // the main window's page buttons sit on these
  bool labelPrint = true;   // off where the name is written large anyway
};

Rgb Walnut(double x, double y) {
  // Quarter-sawn walnut: grain along the width of the deck whose spacing wanders,
  // each growth ring darkening gradually and ending in a sharp latewood line.
  double t = y * 0.105 + 7.0 * Fbm(x * 0.0016, y * 0.0055, 4, 11) + 1.2 * Fbm(x * 0.011, y * 0.035, 3, 12);
  double ring = t - std::floor(t);
  double late = std::pow(ring, 4.0) * (1 - SmoothStep(0.93, 1.0, ring));
  double ringId = std::floor(t);
  double ringTone = Hash2(static_cast<int32_t>(ringId), 0, 17) - 0.5;  // each ring its own shade
  // Open pores: short dark dashes along the grain.
  double pore = SmoothStep(0.62, 0.80, ValueNoise(x * 0.22, y * 1.6, 13));
  // Broad bands of lighter and darker heartwood, and a slow ripple of figure.
  double band = Fbm(x * 0.0011, y * 0.0065, 4, 14);
  double ripple = 0.5 + 0.5 * std::sin(x * 0.045 + 6 * Fbm(x * 0.004, y * 0.02, 2, 15));
  Rgb light{0.300, 0.175, 0.100};
  Rgb dark{0.080, 0.045, 0.030};
  double v = 0.20 + 0.62 * band + 0.10 * ringTone - 0.34 * late - 0.16 * pore + 0.05 * ripple;
  Rgb wood = Mix(dark, light, Clamp01(v));
  // A touch of walnut's purple in the darker streaks.
  return Add(wood, Rgb{0.006, 0.0, 0.010 * (1 - Clamp01(v))});
}

double PlinthLight(double x, double y) {
  // Soft key light from the upper left, dimmer towards the lower right corner.
  double dx = (x - 120) / 900, dy = (y + 60) / 700;
  double fall = 1.05 - 0.55 * std::sqrt(dx * dx + dy * dy);
  // Satin lacquer: a faint broad reflection band across the upper left.
  double band = std::exp(-std::pow((x * 0.55 + y - 210) / 120, 2)) * 0.10;
  return fall + band;
}

// Distance in pixels outside an axis-aligned ellipse (negative inside), close
// enough near the edge for anti-aliasing and soft shadows.
double EllipseDistance(double x, double y, double cx, double cy, double rx, double ry) {
  double u = (x - cx) / rx, v = (y - cy) / ry;
  double r = std::sqrt(u * u + v * v);
  if (r < 1e-9) return -std::min(rx, ry);
  double gx = u / rx, gy = v / ry;
  double grad = std::sqrt(gx * gx + gy * gy) / r;
  return (r - 1) / grad;
}

double RoundRectDistance(double x, double y, double x0, double y0, double x1, double y1, double rad) {
  double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  double hx = (x1 - x0) / 2 - rad, hy = (y1 - y0) / 2 - rad;
  double qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
  double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - rad;
}

Rgb ControlStrip(double x, double y, Rgb under) {
  double d = RoundRectDistance(x, y, StripX0, StripY0, StripX1, StripY1, StripRadius);
  if (d > 1.5) return under;
  // Satin black anodised plate, brushed along its length, set into the wood.
  double brush = ValueNoise(x * 0.9, y * 0.012, 21) * 0.5 + ValueNoise(x * 2.1, y * 0.02, 22) * 0.5;
  double lit = 0.040 + 0.014 * brush + 0.016 * (1 - (y - StripY0) / (StripY1 - StripY0));
  Rgb plate{lit, lit * 1.02, lit * 1.07};
  // Chamfer: the upper and left edges catch the light, the others fall away.
  if (d > -2.5) {
    double nx = 0, ny = 0;
    double cx = (StripX0 + StripX1) / 2, cy = (StripY0 + StripY1) / 2;
    double qx = x - cx, qy = y - cy;
    double hx = (StripX1 - StripX0) / 2 - StripRadius, hy = (StripY1 - StripY0) / 2 - StripRadius;
    double ex = std::fabs(qx) > hx ? (qx > 0 ? qx - hx : qx + hx) : 0;
    double ey = std::fabs(qy) > hy ? (qy > 0 ? qy - hy : qy + hy) : 0;
    double len = std::sqrt(ex * ex + ey * ey);
    if (len > 1e-6) {
      nx = ex / len;
      ny = ey / len;
    } else if (hx - std::fabs(qx) < hy - std::fabs(qy)) {
      nx = qx > 0 ? 1 : -1;
    } else {
      ny = qy > 0 ? 1 : -1;
    }
    double facing = -(nx * 0.6 + ny * 0.8);  // towards the upper left
    double edge = SmoothStep(-2.5, -0.8, d) * (1 - SmoothStep(0.2, 1.5, d));
    plate = Add(plate, Scale(Rgb{0.30, 0.30, 0.31}, edge * std::max(0.0, facing) * 0.8));
    plate = Scale(plate, 1 - 0.5 * edge * std::max(0.0, -facing));
  }
  double cover = 1 - SmoothStep(0.5, 1.5, d);
  return Mix(under, plate, cover);
}

Rgb RecordSurface(double x, double y, const Options& opt) {
  double u = (x - CentreX) / RecordRx, v = (y - CentreY) / RecordRy;
  double r = std::sqrt(u * u + v * v);
  double theta = std::atan2(v, u);
  double rpx = r * RecordRx;  // radius in pixels across the width

  // Where the light lies across the disc: a bow-tie reflection along the radius
  // pointing at the lamp, as grooves scatter light sideways.
  double ang = std::remainder(theta - LightAngle, Pi);
  double bow = std::exp(-std::pow(ang / 0.26, 2)) + 0.25 * std::exp(-std::pow(ang / 0.7, 2));
  double bowNarrow = std::exp(-std::pow(ang / 0.11, 2));

  Rgb vinyl{0.030, 0.031, 0.034};
  // A broad, dim reflection of the room across the upper left of the disc.
  double room = 0.022 * std::exp(-(std::pow(x - 250, 2) + std::pow(y - 150, 2)) / (2 * 170.0 * 170.0));
  vinyl = Add(vinyl, Rgb{room, room, room * 1.1});

  const double labelR = LabelRx / RecordRx;
  const double grooveIn = 0.600, grooveOut = 0.950;
  static const double Gaps[] = {0.668, 0.735, 0.793, 0.842, 0.893};

  bool grooved = r > grooveIn && r < grooveOut;
  double gapShade = 0;
  for (double g : Gaps) gapShade = std::max(gapShade, 1 - SmoothStep(0.0012, 0.0032, std::fabs(r - g)));

  Rgb sheen{0.20, 0.205, 0.215};
  if (grooved) {
    double fine = Noise1(rpx * 1.35, 31);               // individual turns of the groove
    double track = Fbm(rpx * 0.09, 0.5, 3, 32);          // louder and quieter passages
    double g = (0.55 + 0.45 * fine) * (0.6 + 0.7 * track);
    double strength = (0.75 + 0.35 * r) * (1 - 0.85 * gapShade);
    vinyl = Add(vinyl, Scale(sheen, bow * g * strength * 1.45));
    vinyl = Add(vinyl, Scale(Rgb{1, 1, 1}, 0.012 * g));
    // Fade of the grooved band's edges into the smooth land.
    double edge = SmoothStep(grooveIn, grooveIn + 0.004, r) * (1 - SmoothStep(grooveOut - 0.004, grooveOut, r));
    vinyl = Mix(Rgb{0.030, 0.031, 0.034}, vinyl, 0.35 + 0.65 * edge);
  }
  // Smooth land (lead-in, gaps, run-out) mirrors the lamp as a thin streak.
  double land = grooved ? gapShade : 1.0;
  vinyl = Add(vinyl, Scale(Rgb{0.16, 0.16, 0.17}, land * bowNarrow * 0.55 * SmoothStep(0.52, 0.9, r)));
  // Run-out groove: a few widely spaced turns near the label.
  if (r > 0.515 && r < 0.585) {
    double s = std::fabs(std::remainder(rpx - 3.0 * theta / (2 * Pi), 6.0));
    vinyl = Add(vinyl, Scale(sheen, (1 - SmoothStep(0.3, 0.9, s)) * (0.05 + 0.4 * bow)));
  }
  // The raised bead at the rim catches light on the side facing the lamp.
  double rimLit = std::max(0.0, std::cos(theta - LightAngle));
  double bead = SmoothStep(0.975, 0.990, r);
  vinyl = Add(vinyl, Scale(Rgb{0.20, 0.20, 0.21}, bead * (0.08 + 0.55 * rimLit * rimLit)));
  // A low step where the label's pressing ring meets the vinyl.
  double ring = 1 - SmoothStep(0.0, 0.012, std::fabs(r - (labelR + 0.018)));
  vinyl = Add(vinyl, Scale(Rgb{0.12, 0.12, 0.13}, ring * (0.10 + 0.5 * rimLit)));

  if (!opt.label) return vinyl;

  double ld = EllipseDistance(x, y, CentreX, CentreY, LabelRx, LabelRy);
  if (ld > 0.8) return vinyl;  // the mask is opaque from here out: pure vinyl

  // Label: deep oxblood paper, dark enough for light text, a thin gold ring.
  double lu = (x - CentreX) / LabelRx, lv = (y - CentreY) / LabelRy;
  double lr = std::sqrt(lu * lu + lv * lv);
  Rgb paper{0.255, 0.040, 0.050};
  double fibre = Fbm(x * 0.35, y * 0.35, 3, 41);
  paper = Scale(paper, 0.90 + 0.18 * fibre);
  double gloss = std::exp(-(std::pow(x - (CentreX - 50), 2) + std::pow(y - (CentreY - 55), 2)) / (2 * 60.0 * 60.0));
  paper = Add(paper, Scale(Rgb{0.09, 0.05, 0.045}, gloss));
  paper = Scale(paper, 1.0 - 0.25 * SmoothStep(0.6, 1.0, lr) * std::max(0.0, -std::cos(theta - LightAngle)));
  Rgb gold{0.52, 0.38, 0.16};
  double goldRing = (1 - SmoothStep(0.35, 1.0, std::fabs(lr * LabelRx - 0.905 * LabelRx))) +
                    0.6 * (1 - SmoothStep(0.25, 0.8, std::fabs(lr * LabelRx - 0.875 * LabelRx)));
  paper = Mix(paper, gold, Clamp01(goldRing) * 0.85);
  double inner = 1 - SmoothStep(0.25, 0.8, std::fabs(lr * LabelRx - 0.30 * LabelRx));
  paper = Mix(paper, gold, inner * 0.55);
  return Mix(paper, vinyl, SmoothStep(-1.2, 0.8, ld));
}

Rgb PlatterRimTop(double x, double y) {
  // Polished chamfer around the record, facing up: bright towards the lamp.
  double u = (x - CentreX) / PlatterRx, v = (y - CentreY) / PlatterRy;
  double theta = std::atan2(v, u);
  double lit = std::max(0.0, std::cos(theta - LightAngle));
  double glint = std::pow(lit, 6);
  double back = 0.5 + 0.5 * std::sin(theta);  // far side darker under the title
  double val = 0.09 + 0.20 * glint + 0.05 * back;
  return Rgb{val, val * 1.01, val * 1.04};
}

Rgb PlatterSideFace(double x, double t) {
  // The platter's turned rim: a cylinder of brushed aluminium, lit from the
  // upper left, with the room mirrored in bands along its curve.
  double s = Clamp01((x - CentreX) / PlatterRx * 0.5 + 0.5);
  double phi = std::asin(std::clamp((x - CentreX) / PlatterRx, -1.0, 1.0));
  double key = std::pow(std::max(0.0, std::cos(phi + 0.75)), 3);
  double window = std::exp(-std::pow((s - 0.28) / 0.05, 2)) * 0.35 + std::exp(-std::pow((s - 0.70) / 0.10, 2)) * 0.12;
  double brush = ValueNoise(x * 0.6, t * 0.02, 51) * 0.04;
  double val = 0.12 + 0.40 * key + window + brush;
  // Top lip bright, lower part shaded towards the plinth.
  double lip = 1 - SmoothStep(0.0, 1.6, t);
  double low = SmoothStep(PlatterSide * 0.5, PlatterSide, t);
  val = val * (1 - 0.45 * low) + 0.25 * lip;
  // Strobe marks turned into the rim.
  double mark = std::fabs(std::remainder(phi * 95.0, 1.0));
  double inBand = SmoothStep(2.5, 3.5, t) * (1 - SmoothStep(5.5, 6.5, t));
  val *= 1 - 0.35 * inBand * (1 - SmoothStep(0.15, 0.35, mark)) * (0.3 + 0.7 * std::cos(phi));
  return Rgb{val, val * 1.005, val * 1.03};
}

// Base layer: plinth, strip, platter, record and label, one sample per pixel with
// analytic edge coverage.
Rgb SceneBase(double x, double y, const Options& opt) {
  Rgb col = Scale(Walnut(x, y), PlinthLight(x, y));

  // Contact shadow of the platter on the wood, thrown down and right.
  double sd = EllipseDistance(x, y, CentreX + 7, CentreY + PlatterSide + 9, PlatterRx + 4, PlatterRy + 4);
  double shadow = 1 - SmoothStep(-10, 26, sd);
  col = Scale(col, 1 - 0.75 * shadow);

  col = ControlStrip(x, y, col);

  // Platter rim seen from the front.
  double dx = (x - CentreX) / PlatterRx;
  if (std::fabs(dx) < 1) {
    double half = PlatterRy * std::sqrt(1 - dx * dx);
    double top = CentreY + half;  // lower edge of the top face
    double t = y - top;
    if (t > -1 && t < PlatterSide + 1) {
      double cover = SmoothStep(-0.5, 0.5, PlatterSide - t);
      // The silhouette's own edge at the far left and right of the rim.
      double sideEdge = SmoothStep(0, 1.2, (1 - std::fabs(dx)) * PlatterRx);
      col = Mix(col, PlatterSideFace(x, std::max(0.0, t)), cover * sideEdge);
    }
  }
  double pd = EllipseDistance(x, y, CentreX, CentreY, PlatterRx, PlatterRy);
  if (pd < 1) {
    Rgb top = PlatterRimTop(x, y);
    double rd = EllipseDistance(x, y, CentreX, CentreY, RecordRx, RecordRy);
    if (rd < 1) {
      // The record lifts a little off the platter: a thin shadow on the rim.
      Rgb rec = RecordSurface(x, y, opt);
      top = Mix(rec, top, SmoothStep(-0.6, 0.6, rd));
    } else {
      double u = (x - CentreX) / PlatterRx, v = (y - CentreY) / PlatterRy;
      double th = std::atan2(v, u);
      double away = std::max(0.0, -std::cos(th - LightAngle));
      top = Scale(top, 1 - 0.6 * away * (1 - SmoothStep(0, 5, rd)));
      // Polished outer lip of the platter.
      double lip = SmoothStep(-2.6, -1.4, pd) * (1 - SmoothStep(-0.9, 0.0, pd));
      double facing = std::max(0.0, std::cos(th - LightAngle));
      top = Add(top, Scale(Rgb{0.30, 0.30, 0.31}, lip * (0.15 + 0.6 * facing)));
    }
    col = Mix(top, col, SmoothStep(-0.6, 0.6, pd));
  }
  return col;
}

// ---------------------------------------------------------------- surfaces

struct Picture {
  int width = 0, height = 0;
  cairo_surface_t* surface = nullptr;
};

Picture CreatePicture(int w, int h) {
  Picture p;
  p.width = w;
  p.height = h;
  p.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  return p;
}

uint8_t ToByte(double v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0)); }

// Fills the picture from the scene seen through a view: picture pixel (px, py)
// shows scene point (ox + px / zoom, oy + py / zoom).
void PaintBase(Picture& pic, double ox, double oy, double zoom, const Options& opt) {
  cairo_surface_flush(pic.surface);
  unsigned char* data = cairo_image_surface_get_data(pic.surface);
  int stride = cairo_image_surface_get_stride(pic.surface);
  for (int py = 0; py < pic.height; ++py) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(py) * stride);
    for (int px = 0; px < pic.width; ++px) {
      double x = ox + (px + 0.5) / zoom, y = oy + (py + 0.5) / zoom;
      Rgb c = SceneBase(x, y, opt);
      row[px] = 0xFF000000u | (uint32_t(ToByte(c.r)) << 16) | (uint32_t(ToByte(c.g)) << 8) | ToByte(c.b);
    }
  }
  cairo_surface_mark_dirty(pic.surface);
}

// Box blur of an A8 surface, three passes approximate a Gaussian.
void BlurAlpha(cairo_surface_t* s, int radius) {
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  unsigned char* d = cairo_image_surface_get_data(s);
  std::vector<int> line(std::max(w, h));
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) line[x] = d[y * stride + x];
      for (int x = 0; x < w; ++x) {
        int sum = 0, n = 0;
        for (int k = std::max(0, x - radius); k <= std::min(w - 1, x + radius); ++k) sum += line[k], ++n;
        d[y * stride + x] = static_cast<unsigned char>(sum / n);
      }
    }
    for (int x = 0; x < w; ++x) {
      for (int y = 0; y < h; ++y) line[y] = d[y * stride + x];
      for (int y = 0; y < h; ++y) {
        int sum = 0, n = 0;
        for (int k = std::max(0, y - radius); k <= std::min(h - 1, y + radius); ++k) sum += line[k], ++n;
        d[y * stride + x] = static_cast<unsigned char>(sum / n);
      }
    }
  }
  cairo_surface_mark_dirty(s);
}

// ---------------------------------------------------------------- text

FT_Library FontLibrary = nullptr;
cairo_font_face_t* ScriptFace = nullptr;  // the script face of the captions
cairo_font_face_t* SansFace = nullptr;    // small print on the deck
cairo_font_face_t* LightFace = nullptr;
const cairo_user_data_key_t FaceKey{};

// Loads a face that cairo owns from here on: the FreeType face is released
// when cairo drops its last reference.
cairo_font_face_t* LoadFace(const std::string& path) {
  if (!FontLibrary && FT_Init_FreeType(&FontLibrary) != 0) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(FontLibrary, path.c_str(), 0, &face) != 0) return nullptr;
  cairo_font_face_t* cf = cairo_ft_font_face_create_for_ft_face(face, 0);
  if (cairo_font_face_set_user_data(cf, &FaceKey, face, [](void* f) { FT_Done_Face(static_cast<FT_Face>(f)); }) !=
      CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(cf);
    FT_Done_Face(face);
    return nullptr;
  }
  return cf;
}

void SetFont(cairo_t* cr, cairo_font_face_t* face, double size) {
  cairo_set_font_face(cr, face);
  cairo_set_font_size(cr, size);
  cairo_font_options_t* o = cairo_font_options_create();
  cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, o);
  cairo_font_options_destroy(o);
}

// ---------------------------------------------------------------- hardware
// Drawn with Cairo in scene coordinates on top of the base layer.

void MetalGradientAcross(cairo_pattern_t* g, double dark) {
  // A polished cylinder: dark edge, bright streak, mid body, reflected edge.
  cairo_pattern_add_color_stop_rgb(g, 0.00, 0.10 * dark, 0.10 * dark, 0.11 * dark);
  cairo_pattern_add_color_stop_rgb(g, 0.22, 0.55 * dark, 0.56 * dark, 0.58 * dark);
  cairo_pattern_add_color_stop_rgb(g, 0.34, 0.92 * dark, 0.93 * dark, 0.95 * dark);
  cairo_pattern_add_color_stop_rgb(g, 0.46, 0.48 * dark, 0.49 * dark, 0.52 * dark);
  cairo_pattern_add_color_stop_rgb(g, 0.78, 0.16 * dark, 0.16 * dark, 0.18 * dark);
  cairo_pattern_add_color_stop_rgb(g, 1.00, 0.30 * dark, 0.30 * dark, 0.32 * dark);
}

// A tube between two points, shaded as a cylinder.
void DrawTube(cairo_t* cr, double x0, double y0, double x1, double y1, double width, double dark = 1.0) {
  double dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
  double nx = -dy / len * width / 2, ny = dx / len * width / 2;
  cairo_pattern_t* g = cairo_pattern_create_linear(x0 - nx, y0 - ny, x0 + nx, y0 + ny);
  MetalGradientAcross(g, dark);
  cairo_move_to(cr, x0 - nx, y0 - ny);
  cairo_line_to(cr, x1 - nx, y1 - ny);
  cairo_line_to(cr, x1 + nx, y1 + ny);
  cairo_line_to(cr, x0 + nx, y0 + ny);
  cairo_close_path(cr);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * Pi);
  cairo_restore(cr);
}

// An upright cylinder standing on the deck (seen from the front and above):
// its side from base to top, then its top face.
void DrawPost(cairo_t* cr, double cx, double baseY, double rx, double height, double topLevel, double sideDark) {
  double ry = rx * Squash;
  double topY = baseY - height;
  cairo_pattern_t* g = cairo_pattern_create_linear(cx - rx, 0, cx + rx, 0);
  MetalGradientAcross(g, sideDark);
  cairo_move_to(cr, cx - rx, topY);
  cairo_line_to(cr, cx - rx, baseY);
  cairo_save(cr);
  cairo_translate(cr, cx, baseY);
  cairo_scale(cr, rx, ry);
  cairo_arc_negative(cr, 0, 0, 1, Pi, 0);
  cairo_restore(cr);
  cairo_line_to(cr, cx + rx, topY);
  cairo_close_path(cr);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  cairo_pattern_t* t = cairo_pattern_create_radial(cx - rx * 0.4, topY - ry * 0.5, 0, cx, topY, rx * 1.2);
  cairo_pattern_add_color_stop_rgb(t, 0, topLevel * 1.25, topLevel * 1.25, topLevel * 1.28);
  cairo_pattern_add_color_stop_rgb(t, 1, topLevel * 0.55, topLevel * 0.55, topLevel * 0.58);
  EllipsePath(cr, cx, topY, rx, ry);
  cairo_set_source(cr, t);
  cairo_fill(cr);
  cairo_pattern_destroy(t);
}

// Tonearm geometry (scene pixels).
// The counterweight stays below the corner where a cover may be shown (the
// photo shines through that picture), the base clear of the page buttons.
constexpr double PivotX = 714, PivotY = 208;         // centre of the base on the deck
constexpr double BaseR = 28;
constexpr double GimbalY = 180;                      // top of the bearing housing
constexpr double ArmEndX = 703, ArmEndY = 430;       // where the tube meets the headshell
constexpr double CounterTopY = 139;

// The outline of every raised part, used to throw shadows.
void TonearmSilhouette(cairo_t* cr) {
  EllipsePath(cr, PivotX, PivotY, BaseR, BaseR * Squash);
  cairo_fill(cr);
  cairo_rectangle(cr, PivotX - 14, GimbalY, 28, PivotY - GimbalY);
  cairo_fill(cr);
  cairo_rectangle(cr, PivotX - 14, CounterTopY, 28, 26);
  cairo_fill(cr);
  cairo_set_line_width(cr, 8);
  cairo_move_to(cr, PivotX, GimbalY);
  cairo_line_to(cr, ArmEndX, ArmEndY);
  cairo_line_to(cr, 690, 478);
  cairo_stroke(cr);
  cairo_rectangle(cr, 699, 396, 16, 32);
  cairo_fill(cr);
  EllipsePath(cr, CentreX, CentreY, 6, 6);
  cairo_fill(cr);
}

void DrawHeadshell(cairo_t* cr) {
  // Headshell turned a little towards the record, with its finger lift.
  cairo_save(cr);
  cairo_translate(cr, ArmEndX, ArmEndY);
  cairo_rotate(cr, 0.30);  // offset angle
  // Cartridge under the shell: only its sides and front show.
  cairo_pattern_t* c = cairo_pattern_create_linear(-7.5, 0, 7.5, 0);
  cairo_pattern_add_color_stop_rgb(c, 0, 0.02, 0.07, 0.04);
  cairo_pattern_add_color_stop_rgb(c, 0.3, 0.09, 0.27, 0.16);
  cairo_pattern_add_color_stop_rgb(c, 1, 0.02, 0.06, 0.035);
  cairo_rectangle(cr, -7.5, 22, 15, 28);
  cairo_set_source(cr, c);
  cairo_fill(cr);
  cairo_pattern_destroy(c);
  cairo_rectangle(cr, -7.5, 47, 15, 3.5);
  cairo_set_source_rgb(cr, 0.60, 0.46, 0.20);
  cairo_fill(cr);
  // Collar
  DrawTube(cr, 0, -2, 0, 11, 12, 0.9);
  // Shell plate
  cairo_pattern_t* g = cairo_pattern_create_linear(-10, 0, 10, 0);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.05, 0.05, 0.055);
  cairo_pattern_add_color_stop_rgb(g, 0.30, 0.34, 0.34, 0.36);
  cairo_pattern_add_color_stop_rgb(g, 0.50, 0.13, 0.13, 0.14);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.04, 0.04, 0.045);
  cairo_move_to(cr, -7, 10);
  cairo_line_to(cr, 7, 10);
  cairo_line_to(cr, 9, 42);
  cairo_curve_to(cr, 9, 46, -9, 46, -9, 42);
  cairo_close_path(cr);
  cairo_set_source(cr, g);
  cairo_fill_preserve(cr);
  cairo_set_source_rgba(cr, 0.7, 0.7, 0.72, 0.45);
  cairo_set_line_width(cr, 0.8);
  cairo_stroke(cr);
  cairo_pattern_destroy(g);
  // Mounting slots and screws
  cairo_set_source_rgb(cr, 0.02, 0.02, 0.02);
  cairo_set_line_width(cr, 2.2);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (double sx : {-4.0, 4.0}) {
    cairo_move_to(cr, sx, 24);
    cairo_line_to(cr, sx, 33);
  }
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 0.70, 0.70, 0.72);
  for (double sx : {-4.0, 4.0}) EllipsePath(cr, sx, 28, 1.3, 1.3);
  cairo_fill(cr);
  // Finger lift curling out to the left.
  cairo_set_line_width(cr, 2.4);
  cairo_move_to(cr, -8, 32);
  cairo_curve_to(cr, -15, 34, -19, 38, -18, 45);
  cairo_set_source_rgb(cr, 0.55, 0.56, 0.58);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void DrawTonearm(cairo_t* cr) {
  // Base plate
  cairo_pattern_t* plate = cairo_pattern_create_radial(PivotX - 10, PivotY - 9, 2, PivotX, PivotY, BaseR + 3);
  cairo_pattern_add_color_stop_rgb(plate, 0, 0.36, 0.36, 0.38);
  cairo_pattern_add_color_stop_rgb(plate, 0.7, 0.16, 0.16, 0.17);
  cairo_pattern_add_color_stop_rgb(plate, 1, 0.07, 0.07, 0.075);
  EllipsePath(cr, PivotX, PivotY, BaseR, BaseR * Squash);
  cairo_set_source(cr, plate);
  cairo_fill(cr);
  cairo_pattern_destroy(plate);
  EllipsePath(cr, PivotX, PivotY, BaseR, BaseR * Squash);
  cairo_set_source_rgba(cr, 0.75, 0.75, 0.78, 0.35);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  // Height collar and bearing housing
  DrawPost(cr, PivotX, PivotY + 2, 17, 10, 0.30, 0.55);
  DrawPost(cr, PivotX, PivotY - 8, 12, PivotY - 8 - GimbalY, 0.42, 0.85);

  // Stub and counterweight behind the pivot: a short drum with chamfered ends.
  DrawTube(cr, PivotX, CounterTopY + 10, PivotX, GimbalY, 6, 0.9);
  const double cwTop = CounterTopY, cwBot = CounterTopY + 26, cwR = 14;
  cairo_pattern_t* cw = cairo_pattern_create_linear(PivotX - cwR, 0, PivotX + cwR, 0);
  MetalGradientAcross(cw, 0.6);
  cairo_move_to(cr, PivotX - cwR + 3, cwTop);
  cairo_line_to(cr, PivotX + cwR - 3, cwTop);
  cairo_line_to(cr, PivotX + cwR, cwTop + 3);
  cairo_line_to(cr, PivotX + cwR, cwBot - 3);
  cairo_line_to(cr, PivotX + cwR - 3, cwBot);
  cairo_line_to(cr, PivotX - cwR + 3, cwBot);
  cairo_line_to(cr, PivotX - cwR, cwBot - 3);
  cairo_line_to(cr, PivotX - cwR, cwTop + 3);
  cairo_close_path(cr);
  cairo_set_source(cr, cw);
  cairo_fill(cr);
  cairo_pattern_destroy(cw);
  // Chamfer edges and a knurled grip band.
  cairo_set_line_width(cr, 0.8);
  for (double y : {cwTop + 3.0, cwBot - 3.0}) {
    cairo_move_to(cr, PivotX - cwR, y);
    cairo_line_to(cr, PivotX + cwR, y);
  }
  cairo_set_source_rgba(cr, 0.9, 0.9, 0.92, 0.25);
  cairo_stroke(cr);
  for (double y = cwTop + 8; y < cwTop + 16; y += 1.6) {
    cairo_move_to(cr, PivotX - cwR, y);
    cairo_line_to(cr, PivotX + cwR, y);
  }
  cairo_set_source_rgba(cr, 0, 0, 0, 0.30);
  cairo_stroke(cr);

  // Gimbal yoke at the pivot: a dark block holding the arm, bearing caps each side.
  cairo_pattern_t* yoke = cairo_pattern_create_linear(0, GimbalY - 9, 0, GimbalY + 9);
  cairo_pattern_add_color_stop_rgb(yoke, 0, 0.30, 0.30, 0.32);
  cairo_pattern_add_color_stop_rgb(yoke, 0.4, 0.12, 0.12, 0.13);
  cairo_pattern_add_color_stop_rgb(yoke, 1, 0.05, 0.05, 0.055);
  cairo_rectangle(cr, PivotX - 13, GimbalY - 8, 26, 17);
  cairo_set_source(cr, yoke);
  cairo_fill(cr);
  cairo_pattern_destroy(yoke);
  for (double sx : {-15.0, 15.0}) {
    DrawPost(cr, PivotX + sx, GimbalY + 4, 3.2, 8, 0.7, 0.9);
  }

  // Arm rest: a small pillar with a rubber cradle the tube lies in.
  DrawPost(cr, 707, 428, 5, 26, 0.45, 0.8);
  cairo_set_source_rgb(cr, 0.05, 0.05, 0.055);
  cairo_rectangle(cr, 697, 396, 18, 7);
  cairo_fill(cr);

  // Arm tube: straight, from the gimbal to the headshell.
  DrawTube(cr, PivotX, GimbalY, ArmEndX, ArmEndY, 9);
  // Cradle lip in front of the tube.
  cairo_set_source_rgb(cr, 0.08, 0.08, 0.085);
  cairo_rectangle(cr, 697, 401, 18, 5);
  cairo_fill(cr);
  cairo_set_source_rgba(cr, 0.7, 0.7, 0.72, 0.45);
  cairo_set_line_width(cr, 0.8);
  cairo_move_to(cr, 697, 401.4);
  cairo_line_to(cr, 715, 401.4);
  cairo_stroke(cr);

  DrawHeadshell(cr);

  // Cue lever beside the base.
  DrawPost(cr, 678, 240, 4.5, 13, 0.40, 0.7);
  DrawTube(cr, 678, 226, 690, 219, 3.2, 0.8);
  EllipsePath(cr, 690, 219, 2.6, 2.6);
  cairo_set_source_rgb(cr, 0.07, 0.07, 0.075);
  cairo_fill(cr);
  // Anti-skating dial.
  DrawPost(cr, 754, 182, 7, 6, 0.30, 0.6);
  cairo_set_source_rgb(cr, 0.8, 0.8, 0.82);
  cairo_set_line_width(cr, 1.0);
  cairo_move_to(cr, 754, 176);
  cairo_line_to(cr, 756, 172);
  cairo_stroke(cr);
}

void KnobSilhouette(cairo_t* cr, double cx, double cy, double rx) {
  EllipsePath(cr, cx, cy, rx, rx * Squash);
  cairo_fill(cr);
  cairo_rectangle(cr, cx - rx, cy - 10, 2 * rx, 10);
  cairo_fill(cr);
}

// Recessed round button with a chrome ring: the page buttons sit on these.
void DrawRoundButton(cairo_t* cr, double cx, double cy, double r) {
  double ry = r * Squash;
  cairo_pattern_t* ring = cairo_pattern_create_linear(cx - r, cy - ry, cx + r, cy + ry);
  cairo_pattern_add_color_stop_rgb(ring, 0, 0.62, 0.62, 0.64);
  cairo_pattern_add_color_stop_rgb(ring, 0.5, 0.18, 0.18, 0.19);
  cairo_pattern_add_color_stop_rgb(ring, 1, 0.40, 0.40, 0.42);
  EllipsePath(cr, cx, cy, r, ry);
  cairo_set_source(cr, ring);
  cairo_fill(cr);
  cairo_pattern_destroy(ring);
  cairo_pattern_t* face = cairo_pattern_create_radial(cx - r * 0.3, cy - ry * 0.5, 1, cx, cy, r);
  cairo_pattern_add_color_stop_rgb(face, 0, 0.075, 0.075, 0.08);
  cairo_pattern_add_color_stop_rgb(face, 1, 0.018, 0.018, 0.02);
  EllipsePath(cr, cx, cy, r - 2.2, ry - 2.0);
  cairo_set_source(cr, face);
  cairo_fill(cr);
  cairo_pattern_destroy(face);
}

void DrawSpeedKnob(cairo_t* cr, double cx, double cy) {
  // A ribbed knob on the strip, pointing at the upper of two dots.
  double r = 17;
  DrawPost(cr, cx, cy + 6, r, 8, 0.32, 0.6);
  double ry = r * Squash, top = cy - 2;
  for (int i = 0; i < 36; ++i) {
    double a = i * 2 * Pi / 36;
    double c = std::cos(a);
    if (std::sin(a) < 0) continue;
    cairo_move_to(cr, cx + r * c, top + ry * std::sin(a));
    cairo_line_to(cr, cx + r * c, top + ry * std::sin(a) + 8);
  }
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
  cairo_set_line_width(cr, 0.8);
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 0.85, 0.85, 0.87);
  cairo_set_line_width(cr, 1.6);
  cairo_move_to(cr, cx - 4, top - 2);
  cairo_line_to(cr, cx - 11, top - 7);
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 0.55, 0.78, 0.55);
  EllipsePath(cr, cx - 26, top - 12, 1.6, 1.6);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.35, 0.35, 0.36);
  EllipsePath(cr, cx + 26, top - 12, 1.6, 1.6);
  cairo_fill(cr);
  // Printed speeds above the dots.
  SetFont(cr, SansFace, 8);
  cairo_set_source_rgb(cr, 0.50, 0.50, 0.51);
  for (auto [dx, label] : {std::pair{-26.0, "33"}, std::pair{26.0, "45"}}) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, label, &e);
    cairo_move_to(cr, cx + dx - e.x_advance / 2, top - 17);
    cairo_show_text(cr, label);
  }
}

void DrawStartButton(cairo_t* cr, double cx, double cy) {
  DrawPost(cr, cx, cy + 5, 19, 5, 0.22, 0.5);
  DrawRoundButton(cr, cx, cy, 14);
  // Power lamp: a faint amber glow beside it.
  cairo_pattern_t* glow = cairo_pattern_create_radial(cx + 30, cy - 14, 0, cx + 30, cy - 14, 7);
  cairo_pattern_add_color_stop_rgba(glow, 0, 1.0, 0.62, 0.25, 0.9);
  cairo_pattern_add_color_stop_rgba(glow, 0.3, 0.9, 0.45, 0.12, 0.6);
  cairo_pattern_add_color_stop_rgba(glow, 1, 0.6, 0.25, 0.05, 0.0);
  cairo_arc(cr, cx + 30, cy - 14, 7, 0, 2 * Pi);
  cairo_set_source(cr, glow);
  cairo_fill(cr);
  cairo_pattern_destroy(glow);
}

void SceneShadows(cairo_t* cr) {
  TonearmSilhouette(cr);
  KnobSilhouette(cr, 48, 498, 19);
  KnobSilhouette(cr, 770, 492, 20);
}

// Gold print on the label, lying flat like the label itself.
void DrawLabelPrint(cairo_t* cr) {
  cairo_save(cr);
  cairo_translate(cr, CentreX, CentreY);
  cairo_scale(cr, 1, Squash);
  auto centred = [&](cairo_font_face_t* face, double size, double y, const char* text, double alpha) {
    SetFont(cr, face, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    cairo_move_to(cr, -e.x_advance / 2, y);
    cairo_set_source_rgba(cr, 0.78, 0.60, 0.30, alpha);
    cairo_show_text(cr, text);
  };
  centred(ScriptFace, 30, -50, "Velmora", 0.80);
  centred(SansFace, 8.5, 64, "S T E R E O", 0.70);
  centred(SansFace, 8.5, 80, "33 RPM", 0.70);
  cairo_restore(cr);
}

void DrawSpindle(cairo_t* cr) {
  DrawPost(cr, CentreX, CentreY + 1, 5.5, 9, 0.55, 1.0);
  cairo_pattern_t* tip = cairo_pattern_create_radial(CentreX - 2, CentreY - 10, 0.5, CentreX, CentreY - 8, 5.5);
  cairo_pattern_add_color_stop_rgb(tip, 0, 1.0, 1.0, 1.0);
  cairo_pattern_add_color_stop_rgb(tip, 0.4, 0.55, 0.55, 0.57);
  cairo_pattern_add_color_stop_rgb(tip, 1, 0.20, 0.20, 0.22);
  EllipsePath(cr, CentreX, CentreY - 8, 5.5, 5.5 * Squash);
  cairo_set_source(cr, tip);
  cairo_fill(cr);
  cairo_pattern_destroy(tip);
}

void SceneHardware(cairo_t* cr, const Options& opt) {
  if (opt.label && opt.labelPrint) DrawLabelPrint(cr);
  DrawSpindle(cr);
  if (opt.pageButtons) {
    DrawRoundButton(cr, 762, 218, 16);
    DrawRoundButton(cr, 762, 386, 16);
  }
  DrawTonearm(cr);
  DrawSpeedKnob(cr, 48, 498);
  DrawStartButton(cr, 770, 492);
}

// Draws everything raised above the deck, after its soft shadow.
void PaintHardware(Picture& pic, double ox, double oy, double zoom, const Options& opt) {
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, pic.width, pic.height);
  cairo_t* m = cairo_create(mask);
  cairo_scale(m, zoom, zoom);
  cairo_translate(m, -ox + 7, -oy + 10);  // light from the upper left
  cairo_set_source_rgb(m, 0, 0, 0);
  SceneShadows(m);
  cairo_destroy(m);
  BlurAlpha(mask, std::max(1, static_cast<int>(std::lround(4 * zoom))));

  cairo_t* cr = cairo_create(pic.surface);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.62);
  cairo_mask_surface(cr, mask, 0, 0);
  cairo_scale(cr, zoom, zoom);
  cairo_translate(cr, -ox, -oy);
  SceneHardware(cr, opt);
  cairo_destroy(cr);
  cairo_surface_destroy(mask);
}

// Photographic finish: a little grain and a soft falloff towards the corners.
// (ox, oy) places the picture inside a frame of fw x fh pixels, so that a crop
// gets exactly the grain and falloff of the whole.
void PaintFinish(Picture& pic, uint32_t seed, double vignette, int ox = 0, int oy = 0, int fw = 0, int fh = 0) {
  if (fw == 0) fw = pic.width, fh = pic.height;
  cairo_surface_flush(pic.surface);
  unsigned char* data = cairo_image_surface_get_data(pic.surface);
  int stride = cairo_image_surface_get_stride(pic.surface);
  for (int y = 0; y < pic.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < pic.width; ++x) {
      int fx = x + ox, fy = y + oy;
      double nx = (fx + 0.5) / fw - 0.5, ny = (fy + 0.5) / fh - 0.5;
      double fall = 1 - vignette * std::pow(nx * nx * 1.4 + ny * ny * 1.8, 1.3);
      double grain = (Hash2(fx, fy, seed) + Hash2(fx, fy, seed + 1) - 1.0) * 2.4;
      uint32_t p = row[x];
      auto ch = [&](int shift) {
        double v = ((p >> shift) & 0xFF) * fall + grain;
        return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L)) << shift;
      };
      row[x] = 0xFF000000u | ch(16) | ch(8) | ch(0);
    }
  }
  cairo_surface_mark_dirty(pic.surface);
}

// ---------------------------------------------------------------- output

// Writes 8-bit RGBA (alpha not premultiplied), as the player's loader expects,
// without time stamps so that the bytes depend on the pixels alone.
bool WritePng(const Picture& pic, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, pic.width, pic.height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  cairo_surface_flush(pic.surface);
  const unsigned char* data = cairo_image_surface_get_data(pic.surface);
  int stride = cairo_image_surface_get_stride(pic.surface);
  std::vector<unsigned char> row(static_cast<size_t>(pic.width) * 4);
  for (int y = 0; y < pic.height; ++y) {
    auto* src = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < pic.width; ++x) {
      uint32_t p = src[x];
      unsigned a = p >> 24;
      auto un = [&](unsigned c) { return a ? static_cast<unsigned char>((c * 255 + a / 2) / a) : 0; };
      row[x * 4 + 0] = un((p >> 16) & 0xFF);
      row[x * 4 + 1] = un((p >> 8) & 0xFF);
      row[x * 4 + 2] = un(p & 0xFF);
      row[x * 4 + 3] = static_cast<unsigned char>(a);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

// ---------------------------------------------------------------- pictures

constexpr uint32_t TurntableSeed = 7001;
constexpr double TurntableVignette = 0.22;

Picture RenderTurntable() {
  Picture pic = CreatePicture(820, 536);
  PaintBase(pic, 0, 0, 1, Options{});
  PaintHardware(pic, 0, 0, 1, Options{});
  PaintFinish(pic, TurntableSeed, TurntableVignette);
  return pic;
}

// The cover is darkened, then this is drawn over it: outside the label it
// repeats the photograph's vinyl exactly, so the record shows no seam.
Picture RenderLabelMask() {
  Picture pic = CreatePicture(258, 222);
  Options bare;
  bare.label = false;
  PaintBase(pic, 241, 181, 1, bare);
  PaintFinish(pic, TurntableSeed, TurntableVignette, 241, 181, 820, 536);
  cairo_surface_flush(pic.surface);
  unsigned char* data = cairo_image_surface_get_data(pic.surface);
  int stride = cairo_image_surface_get_stride(pic.surface);
  for (int y = 0; y < pic.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < pic.width; ++x) {
      double sx = 241 + x + 0.5, sy = 181 + y + 0.5;
      double d = EllipseDistance(sx, sy, CentreX, CentreY, LabelRx, LabelRy);
      uint32_t a = static_cast<uint32_t>(std::lround(SmoothStep(-2.5, 1.0, d) * 255));
      uint32_t p = row[x];
      auto pm = [&](int shift) { return ((((p >> shift) & 0xFF) * a + 127) / 255) << shift; };
      row[x] = (a << 24) | pm(16) | pm(8) | pm(0);
    }
  }
  cairo_surface_mark_dirty(pic.surface);
  return pic;
}

Picture RenderSplash() {
  Picture pic = CreatePicture(420, 280);
  // A closer view of the deck's right side: record, label edge and tonearm.
  const double zoom = 0.66, ox = 310, oy = 66;
  Options view;
  view.pageButtons = false;
  view.labelPrint = false;
  PaintBase(pic, ox, oy, zoom, view);
  PaintHardware(pic, ox, oy, zoom, view);

  cairo_t* cr = cairo_create(pic.surface);
  // Darken the left for the name.
  cairo_pattern_t* fade = cairo_pattern_create_linear(0, 0, 250, 0);
  cairo_pattern_add_color_stop_rgba(fade, 0, 0.02, 0.015, 0.012, 0.80);
  cairo_pattern_add_color_stop_rgba(fade, 0.6, 0.02, 0.015, 0.012, 0.45);
  cairo_pattern_add_color_stop_rgba(fade, 1, 0.02, 0.015, 0.012, 0.0);
  cairo_rectangle(cr, 0, 0, 420, 280);
  cairo_set_source(cr, fade);
  cairo_fill(cr);
  cairo_pattern_destroy(fade);

  {
    SetFont(cr, ScriptFace, 58);
    cairo_text_extents_t e;
    cairo_text_extents(cr, "Velmora", &e);
    double x = 26, y = 150;
    cairo_move_to(cr, x + 1.5, y + 2);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_show_text(cr, "Velmora");
    cairo_pattern_t* gold = cairo_pattern_create_linear(0, y - 45, 0, y + 10);
    cairo_pattern_add_color_stop_rgb(gold, 0, 0.98, 0.88, 0.64);
    cairo_pattern_add_color_stop_rgb(gold, 0.55, 0.82, 0.64, 0.34);
    cairo_pattern_add_color_stop_rgb(gold, 1, 0.62, 0.44, 0.20);
    cairo_move_to(cr, x, y);
    cairo_set_source(cr, gold);
    cairo_show_text(cr, "Velmora");
    cairo_pattern_destroy(gold);
  }
  {
    SetFont(cr, LightFace, 12.5);
    cairo_move_to(cr, 32, 180);
    cairo_set_source_rgba(cr, 0.85, 0.85, 0.84, 0.85);
    cairo_show_text(cr, "lossless  \xC2\xB7  bit-perfect  \xC2\xB7  gapless");
  }
  cairo_destroy(cr);
  PaintFinish(pic, 7003, 0.30);
  return pic;
}

bool Save(Picture pic, const std::string& path) {
  bool ok = cairo_surface_status(pic.surface) == CAIRO_STATUS_SUCCESS && WritePng(pic, path);
  cairo_surface_destroy(pic.surface);
  if (!ok) std::fprintf(stderr, "render_pictures: cannot write %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: render_pictures <output folder> [<fonts folder>]\n");
    return 2;
  }
  std::string out = argv[1];
  std::string fonts = argc == 3 ? argv[2] : out + "/fonts";
  // The faces are part of the pictures: without them the tool makes none.
  ScriptFace = LoadFace(fonts + "/DancingScript-Regular.otf");
  SansFace = LoadFace(fonts + "/OpenSans-Regular.ttf");
  LightFace = LoadFace(fonts + "/OpenSans-Light.ttf");
  bool ok = ScriptFace && SansFace && LightFace;
  if (!ok) std::fprintf(stderr, "render_pictures: cannot load the faces in %s\n", fonts.c_str());
  if (ok) {
    ok = Save(RenderTurntable(), out + "/turntable.png");
    ok = Save(RenderSplash(), out + "/splash.png") && ok;
    ok = Save(RenderLabelMask(), out + "/labelmask.png") && ok;
  }
  for (cairo_font_face_t* f : {ScriptFace, SansFace, LightFace})
    if (f) cairo_font_face_destroy(f);
  // Empty cairo's caches so the faces go before their library.
  cairo_debug_reset_static_data();
  if (FontLibrary) FT_Done_FreeType(FontLibrary);
  return ok ? 0 : 1;
}
