// Images, drawing on surfaces, fonts and text of the interface model.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>

#include <fontconfig/fontconfig.h>
#include <jpeglib.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <png.h>

#include "system.h"
#include "ui_internal.h"

// Pictures larger than this are refused rather than allocated: no cover or
// asset comes near it, and a hostile header cannot make us take gigabytes.
static constexpr int MaxImageSide = 16384;
static constexpr int64_t MaxImagePixels = 64LL * 1024 * 1024;

static std::map<int, cairo_surface_t *> Images;

static bool AcceptableSize(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= MaxImageSide && height <= MaxImageSide &&
         width * height <= MaxImagePixels;
}

static void StoreImage(int image, cairo_surface_t *surface) {
  FreeImage(image);
  Images[image] = surface;
}

static cairo_surface_t *NewSurface(int width, int height) {
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return surface;
}

// ---- Decoding ------------------------------------------------------------------

static uint32_t Premultiplied(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  auto scale = [a](uint8_t v) { return static_cast<uint32_t>((v * a + 127) / 255); };
  return static_cast<uint32_t>(a) << 24 | scale(r) << 16 | scale(g) << 8 | scale(b);
}

static cairo_surface_t *DecodePng(std::span<const uint8_t> data) {
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
    return nullptr;
  if (!AcceptableSize(image.width, image.height)) {
    png_image_free(&image);
    return nullptr;
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return nullptr;
  }
  int width = static_cast<int>(image.width), height = static_cast<int>(image.height);
  cairo_surface_t *surface = NewSurface(width, height);
  if (!surface)
    return nullptr;
  uint8_t *rows = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; y++) {
    auto *row = reinterpret_cast<uint32_t *>(rows + static_cast<ptrdiff_t>(y) * stride);
    const uint8_t *in = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    for (int x = 0; x < width; x++, in += 4)
      row[x] = Premultiplied(in[0], in[1], in[2], in[3]);
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

struct JpegFailure {
  jpeg_error_mgr Manager;
  jmp_buf Jump;
};

static void LeaveJpeg(j_common_ptr info) { longjmp(reinterpret_cast<JpegFailure *>(info->err)->Jump, 1); }
static void QuietJpeg(j_common_ptr) {}

// Everything that must survive a longjmp lives in this record, outside the
// frame that setjmp saves.
struct JpegJob {
  jpeg_decompress_struct Info;
  JpegFailure Failure;
  cairo_surface_t *Surface = nullptr;
  std::vector<uint8_t> Row;
};

static bool RunJpegJob(JpegJob &job, std::span<const uint8_t> data) {
  job.Info.err = jpeg_std_error(&job.Failure.Manager);
  job.Failure.Manager.error_exit = LeaveJpeg;
  job.Failure.Manager.output_message = QuietJpeg;
  if (setjmp(job.Failure.Jump))
    return false;
  jpeg_create_decompress(&job.Info);
  jpeg_mem_src(&job.Info, data.data(), static_cast<unsigned long>(data.size()));
  if (jpeg_read_header(&job.Info, TRUE) != JPEG_HEADER_OK)
    return false;
  bool cmyk = job.Info.jpeg_color_space == JCS_CMYK || job.Info.jpeg_color_space == JCS_YCCK;
  job.Info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  if (!AcceptableSize(job.Info.image_width, job.Info.image_height))
    return false;
  jpeg_start_decompress(&job.Info);
  int width = static_cast<int>(job.Info.output_width), height = static_cast<int>(job.Info.output_height);
  int components = job.Info.output_components;
  if (!AcceptableSize(width, height) || (components != 3 && components != 4))
    return false;
  job.Surface = NewSurface(width, height);
  if (!job.Surface)
    return false;
  job.Row.resize(static_cast<size_t>(width) * static_cast<size_t>(components));
  uint8_t *rows = cairo_image_surface_get_data(job.Surface);
  int stride = cairo_image_surface_get_stride(job.Surface);
  cairo_surface_flush(job.Surface);
  while (job.Info.output_scanline < job.Info.output_height) {
    int y = static_cast<int>(job.Info.output_scanline);
    JSAMPROW row = job.Row.data();
    if (jpeg_read_scanlines(&job.Info, &row, 1) != 1)
      return false;
    auto *out = reinterpret_cast<uint32_t *>(rows + static_cast<ptrdiff_t>(y) * stride);
    const uint8_t *in = job.Row.data();
    for (int x = 0; x < width; x++, in += components) {
      if (cmyk) {
        // Such files store inverted ink values (Adobe's convention).
        unsigned k = in[3];
        out[x] = Premultiplied(static_cast<uint8_t>(in[0] * k / 255), static_cast<uint8_t>(in[1] * k / 255),
                               static_cast<uint8_t>(in[2] * k / 255), 255);
      } else {
        out[x] = Premultiplied(in[0], in[1], in[2], 255);
      }
    }
  }
  jpeg_finish_decompress(&job.Info);
  cairo_surface_mark_dirty(job.Surface);
  return true;
}

static cairo_surface_t *DecodeJpeg(std::span<const uint8_t> data) {
  JpegJob job;
  memset(&job.Info, 0, sizeof job.Info);
  bool done = RunJpegJob(job, data);
  jpeg_destroy_decompress(&job.Info);
  if (!done && job.Surface) {
    cairo_surface_destroy(job.Surface);
    job.Surface = nullptr;
  }
  return job.Surface;
}

bool LoadImageFromMemory(int image, std::span<const uint8_t> data) {
  static const uint8_t PngMark[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  cairo_surface_t *surface = nullptr;
  if (data.size() >= 8 && memcmp(data.data(), PngMark, 8) == 0)
    surface = DecodePng(data);
  else if (data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
    surface = DecodeJpeg(data);
  if (!surface)
    return false;
  StoreImage(image, surface);
  return true;
}

bool LoadImageFromFile(int image, const std::string &path) {
  std::vector<uint8_t> data;
  return ReadWholeFile(path, data) && LoadImageFromMemory(image, data);
}

// ---- Image operations ---------------------------------------------------------------

bool CreateImage(int image, int width, int height, Colour fill) {
  if (!AcceptableSize(width, height))
    return false;
  cairo_surface_t *surface = NewSurface(width, height);
  if (!surface)
    return false;
  FillBox(surface, 0, 0, width, height, fill);
  StoreImage(image, surface);
  return true;
}

bool GrabImage(int image, int source, int x, int y, int width, int height) {
  cairo_surface_t *from = ImageSurface(source);
  if (!from || !AcceptableSize(width, height))
    return false;
  cairo_surface_t *surface = NewSurface(width, height);
  if (!surface)
    return false;
  cairo_t *cr = cairo_create(surface);
  cairo_set_source_surface(cr, from, -x, -y);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  StoreImage(image, surface);
  return true;
}

bool CopyImage(int image, int source) {
  if (image == source)
    return ImageExists(image);
  return ImageExists(source) && GrabImage(image, source, 0, 0, ImageWidth(source), ImageHeight(source));
}

// Pixel repetition: each target pixel takes the source pixel it falls in, so a
// whole factor k repeats every pixel k x k times.
static void ScaleNearest(cairo_surface_t *from, cairo_surface_t *to) {
  int fromWidth = cairo_image_surface_get_width(from), fromHeight = cairo_image_surface_get_height(from);
  int toWidth = cairo_image_surface_get_width(to), toHeight = cairo_image_surface_get_height(to);
  int fromStride = cairo_image_surface_get_stride(from), toStride = cairo_image_surface_get_stride(to);
  cairo_surface_flush(from);
  cairo_surface_flush(to);
  const uint8_t *in = cairo_image_surface_get_data(from);
  uint8_t *out = cairo_image_surface_get_data(to);
  for (int y = 0; y < toHeight; y++) {
    int sy = static_cast<int>(static_cast<int64_t>(y) * fromHeight / toHeight);
    auto *row = reinterpret_cast<uint32_t *>(out + static_cast<ptrdiff_t>(y) * toStride);
    auto *source = reinterpret_cast<const uint32_t *>(in + static_cast<ptrdiff_t>(sy) * fromStride);
    for (int x = 0; x < toWidth; x++)
      row[x] = source[static_cast<int64_t>(x) * fromWidth / toWidth];
  }
  cairo_surface_mark_dirty(to);
}

static void ScaleSmooth(cairo_surface_t *from, cairo_surface_t *to) {
  double sx = static_cast<double>(cairo_image_surface_get_width(to)) / cairo_image_surface_get_width(from);
  double sy = static_cast<double>(cairo_image_surface_get_height(to)) / cairo_image_surface_get_height(from);
  cairo_t *cr = cairo_create(to);
  cairo_scale(cr, sx, sy);
  cairo_set_source_surface(cr, from, 0, 0);
  cairo_pattern_t *pattern = cairo_get_source(cr);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
  // Pad rather than fade to transparent at the edges.
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
}

bool ScaleImage(int image, int width, int height, bool smooth) {
  cairo_surface_t *from = ImageSurface(image);
  if (!from || !AcceptableSize(width, height))
    return false;
  cairo_surface_t *to = NewSurface(width, height);
  if (!to)
    return false;
  if (smooth)
    ScaleSmooth(from, to);
  else
    ScaleNearest(from, to);
  StoreImage(image, to);
  return true;
}

void FreeImage(int image) {
  auto found = Images.find(image);
  if (found == Images.end())
    return;
  cairo_surface_destroy(found->second);
  Images.erase(found);
}

void FreeAllImages() {
  while (!Images.empty())
    FreeImage(Images.begin()->first);
}

bool ImageExists(int image) { return Images.count(image) != 0; }

int ImageWidth(int image) {
  cairo_surface_t *surface = ImageSurface(image);
  return surface ? cairo_image_surface_get_width(surface) : 0;
}

int ImageHeight(int image) {
  cairo_surface_t *surface = ImageSurface(image);
  return surface ? cairo_image_surface_get_height(surface) : 0;
}

cairo_surface_t *ImageSurface(int image) {
  auto found = Images.find(image);
  return found == Images.end() ? nullptr : found->second;
}

// ---- Drawing ----------------------------------------------------------------------------

static void SetColour(cairo_t *cr, Colour colour, double alpha) {
  cairo_set_source_rgba(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0, ((colour >> 16) & 0xFF) / 255.0,
                        alpha);
}

void FillBox(cairo_surface_t *target, int x, int y, int width, int height, Colour colour, uint8_t alpha) {
  if (!target || width <= 0 || height <= 0)
    return;
  cairo_t *cr = cairo_create(target);
  cairo_rectangle(cr, x, y, width, height);
  SetColour(cr, colour, alpha / 255.0);
  cairo_set_operator(cr, alpha == 255 ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
  cairo_fill(cr);
  cairo_destroy(cr);
}

void DrawLine(cairo_surface_t *target, int x, int y, int width, int height, Colour colour) {
  if (!target || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE)
    return;
  int targetWidth = cairo_image_surface_get_width(target), targetHeight = cairo_image_surface_get_height(target);
  int stride = cairo_image_surface_get_stride(target);
  cairo_surface_flush(target);
  uint8_t *data = cairo_image_surface_get_data(target);
  uint32_t pixel = 0xFF000000u | (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
  // Endpoints are the first and the last pixel of the span (Bresenham).
  int x1 = x + (width > 0 ? width - 1 : width < 0 ? width + 1 : 0);
  int y1 = y + (height > 0 ? height - 1 : height < 0 ? height + 1 : 0);
  int dx = std::abs(x1 - x), dy = -std::abs(y1 - y);
  int stepX = x < x1 ? 1 : -1, stepY = y < y1 ? 1 : -1;
  int error = dx + dy;
  for (;;) {
    if (x >= 0 && y >= 0 && x < targetWidth && y < targetHeight)
      reinterpret_cast<uint32_t *>(data + static_cast<ptrdiff_t>(y) * stride)[x] = pixel;
    if (x == x1 && y == y1)
      break;
    int twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x += stepX;
    }
    if (twice <= dx) {
      error += dx;
      y += stepY;
    }
  }
  cairo_surface_mark_dirty(target);
}

void DrawImage(cairo_surface_t *target, int image, int x, int y, uint8_t opacity) {
  cairo_surface_t *source = ImageSurface(image);
  if (!target || !source)
    return;
  cairo_t *cr = cairo_create(target);
  cairo_set_source_surface(cr, source, x, y);
  cairo_paint_with_alpha(cr, opacity / 255.0);
  cairo_destroy(cr);
}

// ---- Fonts and text ------------------------------------------------------------------------

static std::vector<PangoFontDescription *> Fonts; // handle n is Fonts[n - 1]

static PangoFontDescription *FontDescription(FontHandle font) {
  return font > 0 && static_cast<size_t>(font) <= Fonts.size() ? Fonts[static_cast<size_t>(font) - 1] : nullptr;
}

bool RegisterAppFont(const std::string &path, std::string_view family) {
  FcConfig *config = FcConfigGetCurrent();
  if (!config || !FileExists(path))
    return false;
  // Makes sure the application set exists before our own patterns go in.
  if (!FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8 *>(path.c_str())))
    return false;
  if (!family.empty()) {
    FcFontSet *set = FcConfigGetFonts(config, FcSetApplication);
    int faces = 1;
    for (int face = 0; set && face < faces; face++) {
      FcPattern *pattern = FcFreeTypeQuery(reinterpret_cast<const FcChar8 *>(path.c_str()),
                                           static_cast<unsigned>(face), nullptr, &faces);
      if (!pattern)
        break;
      std::vector<std::string> own;
      FcChar8 *name;
      for (int i = 0; FcPatternGetString(pattern, FC_FAMILY, i, &name) == FcResultMatch; i++)
        own.push_back(reinterpret_cast<const char *>(name));
      FcPatternDel(pattern, FC_FAMILY);
      std::string wanted(family);
      FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(wanted.c_str()));
      for (const std::string &name_ : own)
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name_.c_str()));
      if (!FcFontSetAdd(set, pattern))
        FcPatternDestroy(pattern);
    }
  }
  // Pango caches what fontconfig said before.
  PangoFontMap *map = pango_cairo_font_map_get_default();
  if (PANGO_IS_FC_FONT_MAP(map))
    pango_fc_font_map_config_changed(PANGO_FC_FONT_MAP(map));
  return true;
}

FontHandle LoadFont(std::string_view family, int points) {
  if (points <= 0)
    return 0;
  PangoFontDescription *description = pango_font_description_new();
  std::string name(family);
  pango_font_description_set_family(description, name.c_str());
  pango_font_description_set_size(description, points * PANGO_SCALE);
  pango_font_description_set_weight(description, PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(description, PANGO_STYLE_NORMAL);
  Fonts.push_back(description);
  return static_cast<FontHandle>(Fonts.size());
}

static PangoLayout *MakeLayout(cairo_t *cr, std::string_view text, FontHandle font) {
  PangoLayout *layout = pango_cairo_create_layout(cr);
  PangoContext *context = pango_layout_get_context(layout);
  // Point sizes mean the same pixels on every screen: 96 dots per inch.
  pango_cairo_context_set_resolution(context, 96.0);
  cairo_font_options_t *options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_layout_context_changed(layout);
  if (PangoFontDescription *description = FontDescription(font))
    pango_layout_set_font_description(layout, description);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  return layout;
}

void DrawTextWithCairo(cairo_t *cr, double x, double y, std::string_view text, FontHandle font, Colour colour) {
  if (text.empty())
    return;
  cairo_save(cr);
  PangoLayout *layout = MakeLayout(cr, text, font);
  SetColour(cr, colour, 1.0);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
  cairo_restore(cr);
}

void DrawText(cairo_surface_t *target, int x, int y, std::string_view text, FontHandle font, Colour colour) {
  if (!target)
    return;
  cairo_t *cr = cairo_create(target);
  DrawTextWithCairo(cr, x, y, text, font, colour);
  cairo_destroy(cr);
}

static void MeasureText(std::string_view text, FontHandle font, int &width, int &height) {
  cairo_surface_t *scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t *cr = cairo_create(scratch);
  PangoLayout *layout = MakeLayout(cr, text, font);
  pango_layout_get_pixel_size(layout, &width, &height);
  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_destroy(scratch);
}

int TextWidth(std::string_view text, FontHandle font) {
  int width, height;
  MeasureText(text, font, width, height);
  return width;
}

int TextHeight(std::string_view text, FontHandle font) {
  int width, height;
  MeasureText(text, font, width, height);
  return height;
}

std::string ResolvedFontFamily(FontHandle font) {
  PangoFontDescription *description = FontDescription(font);
  if (!description)
    return {};
  PangoFontMap *map = pango_cairo_font_map_get_default();
  PangoContext *context = pango_font_map_create_context(map);
  PangoFont *loaded = pango_font_map_load_font(map, context, description);
  std::string family;
  if (loaded) {
    PangoFontDescription *found = pango_font_describe(loaded);
    if (const char *name = pango_font_description_get_family(found))
      family = name;
    pango_font_description_free(found);
    g_object_unref(loaded);
  }
  g_object_unref(context);
  return family;
}
