#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstring>
#include <thread>

#include "platform/sync.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "test_support.h"

namespace {

// ---- System -----------------------------------------------------------------

TEST(Semaphore, CountsUpToItsMaximumAndWaitsWithATimeout) {
  CountingSemaphore semaphore;
  InitSemaphore(semaphore, 0, 2);
  EXPECT_TRUE(ReleaseSemaphore(semaphore));
  EXPECT_TRUE(ReleaseSemaphore(semaphore));
  EXPECT_FALSE(ReleaseSemaphore(semaphore)); // past the maximum: refused, count unchanged
  EXPECT_TRUE(WaitSemaphore(semaphore, 0));
  EXPECT_TRUE(WaitSemaphore(semaphore, 0));
  uint64_t start = MonotonicMilliseconds();
  EXPECT_FALSE(WaitSemaphore(semaphore, 50));
  EXPECT_GE(MonotonicMilliseconds() - start, 50u);
}

TEST(Semaphore, ReleaseFromAnotherThreadWakesTheWaiter) {
  CountingSemaphore semaphore;
  InitSemaphore(semaphore, 0, 0x7FFFFFFF);
  std::thread releaser([&] {
    Pause(30);
    ReleaseSemaphore(semaphore);
  });
  EXPECT_TRUE(WaitSemaphore(semaphore, -1));
  releaser.join();
}

TEST(Threads, StartRunAndWait) {
  static std::atomic<int> Ran{0};
  static int Seven = 7;
  ThreadHandle thread = StartThread([](void *value) { Ran = *static_cast<int *>(value); }, &Seven, true);
  ASSERT_NE(thread, 0u);
  EXPECT_TRUE(WaitThread(thread, 4000));
  EXPECT_FALSE(IsThreadRunning(thread));
  EXPECT_EQ(Ran, 7);
}

TEST(Buffers, ReadAsZeroAgainAfterZeroing) {
  const size_t size = 8 << 20;
  auto *buffer = static_cast<uint8_t *>(AllocateZeroedBuffer(size));
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer[size - 1], 0);
  memset(buffer, 0xAB, size);
  ZeroBuffer(buffer, size);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[size / 2], 0);
  EXPECT_EQ(buffer[size - 1], 0);
  FreeBuffer(buffer, size);
}

TEST(Folders, FollowXdgAndFallBackToHome) {
  setenv("HOME", "/home/someone", 1);
  setenv("XDG_DATA_HOME", "/data/", 1);
  setenv("XDG_CONFIG_HOME", "relative/config", 1); // invalid by the rules: ignored
  EXPECT_EQ(DataHomeFolder(), "/data/");
  EXPECT_EQ(ConfigHomeFolder(), "/home/someone/.config/");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(DataHomeFolder(), "/home/someone/.local/share/");
}

TEST(Text, ConversionsKeepEveryCharacterAndReplaceBrokenOnes) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00E9\u20AC\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"a\u00E9\u20AC\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD83D)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD"); // overlong
  EXPECT_EQ(DecodeAnsi("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(DecodeAnsi("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
}

// ---- Interface model ------------------------------------------------------------

class Model : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(StartUi(UiBackendKind::Headless));
    ClearRecordedMessages();
  }
  void TearDown() override { StopUi(); }
};

TEST_F(Model, WindowsAreCentredAndControlsHitTestInScreenPixels) {
  ASSERT_TRUE(OpenWindow(20, 820, 560, "Velmora", 0x101010, 0));
  ScreenRect window, control;
  ASSERT_TRUE(GetWindowRect(20, window));
  EXPECT_EQ(window.X, (1920 - 820) / 2);
  EXPECT_EQ(window.Y, (1080 - 560) / 2);
  ASSERT_TRUE(CreateCanvas(20, 30, 770, 0, 50, 24));
  ASSERT_TRUE(GetControlScreenRect(30, control));
  EXPECT_EQ(control.X, window.X + 770);
  CloseWindow(20);
  EXPECT_FALSE(ControlExists(30));
  EXPECT_FALSE(GetControlScreenRect(30, control));
}

TEST_F(Model, EventsComeInOrderAndInputToADisabledWindowIsDropped) {
  OpenWindow(20, 100, 100, "", 0, 0);
  AddShortcut(20, 'S', 0, 202);
  AddShortcut(20, KeyUp, ModifierShift, 209);
  EXPECT_TRUE(InjectKey(20, 'S', 0));
  EXPECT_FALSE(InjectKey(20, 'Q', 0));
  EXPECT_TRUE(InjectKey(20, KeyUp, ModifierShift));
  InjectMouseDown(20, 5, 6, false, false);
  WindowEvent event;
  ASSERT_TRUE(WaitWindowEvent(event, 0));
  EXPECT_EQ(event.Kind, EventKind::Menu);
  EXPECT_EQ(event.Number, 202);
  ASSERT_TRUE(WaitWindowEvent(event, 0));
  EXPECT_EQ(event.Number, 209);
  ASSERT_TRUE(WaitWindowEvent(event, 0));
  EXPECT_EQ(event.Kind, EventKind::LeftButtonDown);
  EXPECT_EQ(event.X, 5);
  EXPECT_FALSE(WaitWindowEvent(event, 0));

  MinimiseWindow(20);
  ASSERT_TRUE(WaitWindowEvent(event, 0));
  EXPECT_EQ(event.Kind, EventKind::Minimised);
  EXPECT_FALSE(InjectKey(20, 'S', 0));
  InjectMinimised(20, false);
  EnableWindow(20, false);
  InjectMouseDown(20, 5, 6, true, false);
  InjectFilesDropped(20, "/a.flac");
  ASSERT_TRUE(WaitWindowEvent(event, 0));
  EXPECT_EQ(event.Kind, EventKind::Restored);
  EXPECT_FALSE(WaitWindowEvent(event, 0));
}

TEST_F(Model, MovesGiveEnterAndLeaveOfCanvases) {
  OpenWindow(20, 820, 560, "", 0, 0);
  ScreenRect window;
  GetWindowRect(20, window);
  CreateCanvas(20, 30, 770, 0, 50, 24);
  CreateTextControl(20, 32, 0, 0, 720, 24, "", 0, 0, 0, false); // text controls give no control events
  auto move = [&](int x, int y) { InjectMouseMove(20, window.X + x, window.Y + y); };
  move(10, 10);
  move(770, 0);
  move(819, 23);
  move(820, 23);
  std::vector<std::pair<int, int>> controlEvents;
  WindowEvent event;
  while (WaitWindowEvent(event, 0))
    if (event.Kind == EventKind::Control)
      controlEvents.push_back({event.Number, event.Type});
  EXPECT_EQ(controlEvents, (std::vector<std::pair<int, int>>{{30, ControlEnter}, {30, ControlLeave}}));
}

TEST_F(Model, TimersFireWhenDueAndStopWhenStopped) {
  OpenWindow(20, 100, 100, "", 0, 0);
  uint64_t start = MonotonicMilliseconds();
  std::thread starter([] { StartTimer(20, 117, 40); }); // other threads may start timers
  starter.join();
  WindowEvent event;
  ASSERT_TRUE(WaitWindowEvent(event, 2000));
  EXPECT_EQ(event.Kind, EventKind::Timer);
  EXPECT_EQ(event.Number, 117);
  EXPECT_GE(MonotonicMilliseconds() - start, 40u);
  StopTimer(20, 117);
  EXPECT_FALSE(WaitWindowEvent(event, 100));
}

TEST_F(Model, MessageBoxesFromAnyThreadAreRecorded) {
  std::thread other([] { ShowMessageBox("Memory error", "Error", MessageIcon::Error); });
  other.join();
  ShowMessageBox("Slow system #B (CPU count)", "Velmora", MessageIcon::Information);
  std::vector<RecordedMessage> shown = RecordedMessages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].Text, "Memory error");
  EXPECT_EQ(shown[1].Caption, "Velmora");
  EXPECT_EQ(shown[1].Icon, MessageIcon::Information);
}

// ---- Images and drawing -------------------------------------------------------------

uint32_t Pixel(cairo_surface_t *surface, int x, int y) {
  cairo_surface_flush(surface);
  return reinterpret_cast<uint32_t *>(cairo_image_surface_get_data(surface) +
                                      y * cairo_image_surface_get_stride(surface))[x];
}

std::vector<uint8_t> EncodePng(cairo_surface_t *surface) {
  std::vector<uint8_t> bytes;
  cairo_surface_write_to_png_stream(
      surface,
      [](void *closure, const unsigned char *data, unsigned int length) {
        auto *out = static_cast<std::vector<uint8_t> *>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &bytes);
  return bytes;
}

std::vector<uint8_t> EncodeJpeg(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char *out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (int x = 0; x < width; x++)
    row[x * 3] = r, row[x * 3 + 1] = g, row[x * 3 + 2] = b;
  while (info.next_scanline < info.image_height) {
    JSAMPROW line = row.data();
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  jpeg_destroy_compress(&info);
  free(out);
  return bytes;
}

TEST_F(Model, PngAndJpegDecodeAndBrokenOnesAreRefused) {
  cairo_surface_t *source = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 3, 2);
  FillBox(source, 0, 0, 3, 2, 0x0000FF);         // red
  FillBox(source, 2, 1, 1, 1, 0xFF0000, 255);    // blue corner
  std::vector<uint8_t> png = EncodePng(source);
  cairo_surface_destroy(source);
  ASSERT_TRUE(LoadImageFromMemory(48, png));
  EXPECT_EQ(ImageWidth(48), 3);
  EXPECT_EQ(Pixel(ImageSurface(48), 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Pixel(ImageSurface(48), 2, 1), 0xFF0000FFu);

  ASSERT_TRUE(LoadImageFromMemory(50, EncodeJpeg(16, 8, 0, 200, 0)));
  EXPECT_EQ(ImageHeight(50), 8);
  uint32_t green = Pixel(ImageSurface(50), 5, 5);
  EXPECT_NEAR(static_cast<int>((green >> 8) & 0xFF), 200, 4);
  EXPECT_LE(static_cast<int>(green >> 16 & 0xFF), 4);

  std::vector<uint8_t> cut(png.begin(), png.begin() + static_cast<ptrdiff_t>(png.size() / 2));
  std::vector<uint8_t> jpeg = EncodeJpeg(16, 8, 1, 2, 3);
  std::vector<uint8_t> jpegCut(jpeg.begin(), jpeg.begin() + 20);
  const std::vector<uint8_t> broken[] = {{}, {0x89, 'P', 'N', 'G'}, cut, jpegCut, {0xFF, 0xD8, 0xFF, 0, 0, 0}};
  for (const auto &bytes : broken)
    EXPECT_FALSE(LoadImageFromMemory(51, bytes));
  EXPECT_FALSE(ImageExists(51));
  EXPECT_FALSE(LoadImageFromFile(51, "/nonexistent/cover.png"));
}

TEST_F(Model, ScalingWithoutSmoothingRepeatsPixels) {
  ASSERT_TRUE(CreateImage(50, 2, 1, 0x000000));
  FillBox(ImageSurface(50), 1, 0, 1, 1, 0xFFFFFF);
  ASSERT_TRUE(ScaleImage(50, 6, 3, false));
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 6; x++)
      EXPECT_EQ(Pixel(ImageSurface(50), x, y), x < 3 ? 0xFF000000u : 0xFFFFFFFFu) << x << "," << y;
  ASSERT_TRUE(ScaleImage(50, 258, 222, true));
  EXPECT_EQ(ImageWidth(50), 258);
  EXPECT_EQ(ImageHeight(50), 222);
  EXPECT_FALSE(ScaleImage(50, 0, 10, true));
}

TEST_F(Model, GrabTakesThePieceUnderACanvas) {
  CreateImage(48, 820, 536, 0x000000);
  FillBox(ImageSurface(48), 680, 8, 1, 1, 0x00FF00);
  ASSERT_TRUE(GrabImage(51, 48, 680, 8, 128, 128));
  EXPECT_EQ(Pixel(ImageSurface(51), 0, 0), 0xFF00FF00u);
  EXPECT_EQ(Pixel(ImageSurface(51), 1, 0), 0xFF000000u);
}

TEST_F(Model, LinesSpanTheirPixelsAndBoxesBlend) {
  cairo_surface_t *canvas = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 50, 24);
  FillBox(canvas, 0, 0, 50, 24, 0x000000);
  DrawLine(canvas, 20, 7, 11, 11, 0xEFEFEF);
  DrawLine(canvas, 20, 17, 11, -11, 0xEFEFEF);
  EXPECT_EQ(Pixel(canvas, 20, 7), 0xFFEFEFEFu);
  EXPECT_EQ(Pixel(canvas, 30, 17), 0xFFEFEFEFu);
  EXPECT_EQ(Pixel(canvas, 31, 18), 0xFF000000u);
  EXPECT_EQ(Pixel(canvas, 20, 17), 0xFFEFEFEFu);
  EXPECT_EQ(Pixel(canvas, 30, 7), 0xFFEFEFEFu);
  DrawLine(canvas, 20, 17, 11, 1, 0x0000FF); // a bar
  EXPECT_EQ(Pixel(canvas, 30, 17), 0xFFFF0000u);
  EXPECT_EQ(Pixel(canvas, 31, 17), 0xFF000000u);
  FillBox(canvas, 0, 0, 10, 10, 0xFFFFFF, 64); // white at alpha 64 over black
  EXPECT_NEAR(static_cast<int>(Pixel(canvas, 0, 0) & 0xFF), 64, 1);
  cairo_surface_destroy(canvas);
}

TEST_F(Model, RegisteredFontAnswersToTheFamilyAskedFor) {
  std::string path = std::string(VELMORA_SOURCE_DIR) + "/assets/fonts/DancingScript-Regular.otf";
  if (!FileExists(path))
    path = "/usr/share/fonts/opentype/dancingscript/DancingScript-Regular.otf";
  ASSERT_TRUE(FileExists(path));
  ASSERT_TRUE(RegisterAppFont(path, "Lucida Calligraphy"));
  FontHandle font = LoadFont("Lucida Calligraphy", 12);
  EXPECT_EQ(ResolvedFontFamily(font), "Lucida Calligraphy");
  EXPECT_GT(TextWidth("Play", font), 10);
  // 12 points at 96 dots per inch are 16 pixels of em; the line is a bit taller.
  EXPECT_GE(TextHeight("Play", font), 16);
  EXPECT_LE(TextHeight("Play", font), 32);
}

} // namespace
