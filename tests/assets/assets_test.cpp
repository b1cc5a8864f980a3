// The committed pictures: their shapes, what the window relies on in them, and
// that they are exactly what the committed renderer makes.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;  // 8-bit RGBA rows, as stored
  const unsigned char* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

// Reads a PNG only if it is 8-bit RGBA, the form the player's loader is given.
bool ReadRgbaPng(const std::string& path, Image& img) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  bool ok = png_get_bit_depth(png, info) == 8 && png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB_ALPHA;
  if (ok) {
    img.width = static_cast<int>(png_get_image_width(png, info));
    img.height = static_cast<int>(png_get_image_height(png, info));
    img.rgba.resize(static_cast<size_t>(img.width) * img.height * 4);
    std::vector<png_bytep> rows(img.height);
    for (int y = 0; y < img.height; ++y) rows[y] = &img.rgba[static_cast<size_t>(y) * img.width * 4];
    png_read_image(png, rows.data());
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return ok;
}

std::string Asset(const char* name) { return std::string(ASSETS_DIR) + "/" + name; }

double Linear(unsigned char c) {
  double v = c / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
double Luminance(const unsigned char* p) {
  return 0.2126 * Linear(p[0]) + 0.7152 * Linear(p[1]) + 0.0722 * Linear(p[2]);
}

TEST(Pictures, AreRgbaOfTheSizesTheWindowsCutFrom) {
  struct Case {
    const char* name;
    int width, height;
  } cases[] = {{"turntable.png", 820, 536}, {"splash.png", 420, 280}, {"labelmask.png", 258, 222}};
  for (const Case& c : cases) {
    Image img;
    ASSERT_TRUE(ReadRgbaPng(Asset(c.name), img)) << c.name;
    EXPECT_EQ(img.width, c.width) << c.name;
    EXPECT_EQ(img.height, c.height) << c.name;
  }
}

TEST(Pictures, ListTextReadsOverTheRecord) {
  // The list lines (near-white 0xEFEFEF) are written over the photo in the list
  // canvas, 570 x 400 at (100, 122) of the window, i.e. (100, 98) of the photo.
  Image img;
  ASSERT_TRUE(ReadRgbaPng(Asset("turntable.png"), img));
  const double text = Luminance(std::vector<unsigned char>{0xEF, 0xEF, 0xEF}.data());
  int pixels = 0, weak = 0;
  for (int y = 98; y < 498; ++y) {
    for (int x = 100; x < 670; ++x) {
      const unsigned char* p = img.At(x, y);
      ASSERT_EQ(p[3], 255) << x << "," << y;
      double contrast = (text + 0.05) / (Luminance(p) + 0.05);
      ++pixels;
      if (contrast < 4.5) ++weak;
    }
  }
  // Highlights may glint here and there (the spindle, the rim's sheen), but
  // text must stay legible almost everywhere.
  EXPECT_LT(weak, pixels / 200) << weak << " of " << pixels << " pixels below 4.5:1";
}

TEST(Pictures, LabelMaskShapesTheCoverWithoutASeam) {
  Image mask, photo;
  ASSERT_TRUE(ReadRgbaPng(Asset("labelmask.png"), mask));
  ASSERT_TRUE(ReadRgbaPng(Asset("turntable.png"), photo));
  // Transparent inside the label ellipse, opaque record at the corners.
  EXPECT_EQ(mask.At(129, 111)[3], 0);
  EXPECT_EQ(mask.At(129, 3)[3], 0);
  EXPECT_EQ(mask.At(3, 111)[3], 0);
  for (auto [x, y] : {std::pair{0, 0}, {257, 0}, {0, 221}, {257, 221}}) {
    const unsigned char* p = mask.At(x, y);
    EXPECT_EQ(p[3], 255) << x << "," << y;
    EXPECT_LT(Luminance(p), 0.2) << x << "," << y;  // dark vinyl, its sheen included
  }
  // Where the mask is opaque it is the photo's own record, pixel for pixel, so
  // a cover on the label leaves no visible rectangle.
  int soft = 0;
  for (int y = 0; y < 222; ++y) {
    for (int x = 0; x < 258; ++x) {
      const unsigned char* m = mask.At(x, y);
      if (m[3] > 0 && m[3] < 255) ++soft;
      if (m[3] != 255) continue;
      const unsigned char* p = photo.At(241 + x, 181 + y);
      ASSERT_TRUE(m[0] == p[0] && m[1] == p[1] && m[2] == p[2]) << x << "," << y;
    }
  }
  EXPECT_GT(soft, 300) << "the label's edge should be soft";
}

std::vector<char> ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Pictures, AreWhatTheCommittedRendererMakes) {
  auto dir = std::filesystem::temp_directory_path() / ("velmora-pictures-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string cmd = std::string("'") + RENDER_PICTURES + "' '" + dir.string() + "' '" + ASSETS_DIR + "/fonts'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (const char* name : {"turntable.png", "splash.png", "labelmask.png"}) {
    auto made = ReadBytes(dir / name);
    ASSERT_FALSE(made.empty()) << name;
    EXPECT_TRUE(made == ReadBytes(Asset(name))) << name << " differs from a fresh rendering: re-run render_pictures";
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
