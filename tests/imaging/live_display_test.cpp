// The live display: drawing a frame's colour surface into a display window.
//
// Off Windows the windows are the display-window substitute, whose pixels the
// tests read back. Under wine without a display, Windows refuses to create any
// window except message-only ones, which are never visible; there the drawing
// is checked on real GDI through DrawToClient into a memory device context,
// and Draw, PrepareScratch and Teardown against a real message-only window.

#include "imaging/live_display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/dib_surface.h"
#include "platform/display_window.h"
#include "platform/gdi.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kt {
namespace {

// Gives every pixel of a 24-bit surface a colour naming its stored row and
// column (both below 4096).
void FillWithCoordinates(CDibSurface& surface) {
  for (int r = 0; r < surface.height(); ++r) {
    uint8_t* row = surface.pixels() + r * surface.stride();
    for (int c = 0; c < surface.width(); ++c) {
      row[c * 3 + 0] = static_cast<uint8_t>(c);
      row[c * 3 + 1] = static_cast<uint8_t>(r);
      row[c * 3 + 2] = static_cast<uint8_t>(((c >> 8) & 0x0F) | ((r >> 8) << 4) | 0x80);
    }
  }
}

struct Source {
  int row;  // -1: never drawn (black)
  int column;
};

Source SourceOf(const uint8_t* p) {
  if ((p[2] & 0x80) == 0) return {-1, -1};
  return {p[1] | (((p[2] >> 4) & 0x07) << 8), p[0] | ((p[2] & 0x0F) << 8)};
}

// A client area to draw into, read back top row first.
class Client {
 public:
  Client(int width, int height) : width_(width), height_(height) {
#if defined(_WIN32)
    platform::BitmapInfoHeader header{};
    header.size = 40;
    header.width = width;
    header.height = -height;  // top-down, as a window's client area is addressed
    header.planes = 1;
    header.bit_count = 24;
    bitmap_ = platform::CreateDibSection(header, &bits_);
    dc_ = platform::CreateMemoryDc();
    if (bitmap_ && dc_) displaced_ = platform::SelectBitmap(dc_, bitmap_);
#else
    window_ = platform::CreateDisplayWindow(width, height, true);
    dc_ = platform::GetDisplayDc(window_);
    display_.Attach(window_, dc_, nullptr);
#endif
  }
  ~Client() {
#if defined(_WIN32)
    if (displaced_) platform::SelectBitmap(dc_, displaced_);
    if (bitmap_) platform::DeleteBitmap(bitmap_);
    if (dc_) platform::DeleteDc(dc_);
#endif
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool ok() const { return dc_ != nullptr; }

  bool Draw(const CDibSurface& colour, CDibSurface& scratch, int fetch_row_order) {
#if defined(_WIN32)
    ::GdiFlush();
    const bool drawn =
        LiveDisplay::DrawToClient(colour, scratch, fetch_row_order, dc_, width_, height_);
    ::GdiFlush();
#else
    const bool drawn = display_.Draw(colour, scratch, fetch_row_order);
#endif
    Read();
    return drawn;
  }

  // Where the pixel at client row y (from the top), column x came from, as
  // read after the last Draw.
  Source At(int y, int x) const {
    return SourceOf(pixels_.data() + (static_cast<size_t>(y) * width_ + x) * 3);
  }

 private:
  void Read() {
    pixels_.assign(static_cast<size_t>(width_) * height_ * 3, 0);
#if defined(_WIN32)
    const int stride = (width_ * 3 + 3) / 4 * 4;
    for (int y = 0; y < height_; ++y) {
      std::memcpy(pixels_.data() + static_cast<size_t>(y) * width_ * 3,
                  static_cast<const uint8_t*>(bits_) + y * stride, static_cast<size_t>(width_) * 3);
    }
#else
    ASSERT_TRUE(platform::ReadDisplayPixels(window_, pixels_.data(), pixels_.size()));
#endif
  }

  int width_;
  int height_;
  platform::DeviceContext dc_ = nullptr;
  std::vector<uint8_t> pixels_;
#if defined(_WIN32)
  void* bits_ = nullptr;
  platform::Bitmap bitmap_ = nullptr;
  platform::Bitmap displaced_ = nullptr;
#else
  void* window_ = nullptr;
  LiveDisplay display_;  // owns window_ and destroys it
#endif
};

class LiveDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(colour_.Create(384, 288, 24), 1);
    FillWithCoordinates(colour_);
  }
  CDibSurface colour_;
  CDibSurface scratch_;
};

TEST_F(LiveDisplayTest, FrameSizedClientIsAnExactMirrorOrAPlainCopy) {
  for (int order : {0, 17}) {
    Client client(384, 288);
    ASSERT_TRUE(client.ok());
    ASSERT_TRUE(client.Draw(colour_, scratch_, order));
    for (int y = 0; y < 288; ++y) {
      // Order 0: stored row 0 at the top. Otherwise the bottom-up picture as is.
      const int expected_row = order == 0 ? y : 287 - y;
      for (int x : {0, 1, 200, 383}) {
        const Source s = client.At(y, x);
        ASSERT_EQ(s.row, expected_row) << "order " << order << " row " << y;
        ASSERT_EQ(s.column, x);
      }
    }
    EXPECT_TRUE(scratch_.empty()) << "a frame-sized client needs no scratch surface";
  }
}

TEST_F(LiveDisplayTest, DoubleSizeClientShowsTwoByTwoBlocks) {
  for (int order : {17, 0}) {
    Client client(768, 576);
    ASSERT_TRUE(client.ok());
    ASSERT_TRUE(client.Draw(colour_, scratch_, order));
    ASSERT_EQ(scratch_.width(), 768);
    ASSERT_EQ(scratch_.height(), 576);
    ASSERT_EQ(scratch_.bits_per_pixel(), 24);
    if (order != 0) {
      // Source pixel (0, 0) of stored row 0 fills stored rows 0 and 1 of the scratch.
      for (int r : {0, 1}) {
        for (int c : {0, 1}) {
          const Source s = SourceOf(scratch_.pixels() + r * scratch_.stride() + c * 3);
          EXPECT_EQ(s.row, 0);
          EXPECT_EQ(s.column, 0);
        }
      }
    }
    for (int y = 0; y < 576; ++y) {
      const int expected_row = order == 0 ? y / 2 : 287 - y / 2;
      for (int x = 0; x < 768; x += 7) {
        const Source s = client.At(y, x);
        ASSERT_EQ(s.row, expected_row) << "order " << order << " row " << y;
        ASSERT_EQ(s.column, x / 2);
      }
    }
  }
}

TEST_F(LiveDisplayTest, SmallClientSamplesByTruncatedRatio) {
  Client client(100, 50);
  ASSERT_TRUE(client.ok());
  ASSERT_TRUE(client.Draw(colour_, scratch_, 1));
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 100; ++x) {
      const Source s = client.At(y, x);
      ASSERT_EQ(s.row, (49 - y) * 288 / 50);  // client row y is scratch stored row 49 - y
      ASSERT_EQ(s.column, x * 384 / 100);
    }
  }
}

TEST_F(LiveDisplayTest, NothingToDrawIntoDrawsNothing) {
  ASSERT_EQ(scratch_.Create(10, 10, 24), 1);
  EXPECT_FALSE(LiveDisplay::DrawToClient(colour_, scratch_, 1, nullptr, 100, 50));
  EXPECT_FALSE(LiveDisplay::DrawToClient(colour_, scratch_, 1, colour_.device_context(), 0, 50));
  EXPECT_FALSE(LiveDisplay::DrawToClient(colour_, scratch_, 1, colour_.device_context(), 9, -1));
  EXPECT_EQ(scratch_.width(), 10);

  LiveDisplay none;
  EXPECT_FALSE(none.Draw(colour_, scratch_, 0));
  EXPECT_FALSE(none.PrepareScratch(scratch_));
  EXPECT_EQ(scratch_.width(), 10);
}

TEST(LiveDisplayAttachTest, TakesOneDisplayAndBoundsTheClassName) {
  LiveDisplay display;
  std::u16string too_long(LiveDisplay::kClassNameChars, u'x');
  EXPECT_FALSE(display.Attach(nullptr, nullptr, too_long.c_str()));
  too_long.pop_back();  // 255 units and the terminator fit
  EXPECT_TRUE(display.Attach(nullptr, nullptr, too_long.c_str()));
  EXPECT_EQ(std::u16string(display.class_name()), too_long);
  EXPECT_FALSE(display.Attach(nullptr, nullptr, u"Other"));
  display.Teardown();
  EXPECT_EQ(display.class_name()[0], u'\0');
  EXPECT_TRUE(display.Attach(nullptr, nullptr, u"Other"));
}

#if !defined(_WIN32)

class SubstituteWindowTest : public LiveDisplayTest {
 protected:
  void Attach(int width, int height, bool visible) {
    window_ = platform::CreateDisplayWindow(width, height, visible);
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(display_.Attach(window_, platform::GetDisplayDc(window_), nullptr));
  }
  std::vector<uint8_t> Pixels() {
    int w = 0;
    int h = 0;
    EXPECT_TRUE(platform::GetDisplayClientSize(window_, &w, &h));
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 3);
    EXPECT_TRUE(platform::ReadDisplayPixels(window_, pixels.data(), pixels.size()));
    return pixels;
  }
  void* window_ = nullptr;
  LiveDisplay display_;
};

TEST_F(SubstituteWindowTest, HiddenWindowDrawsNothingAndKeepsTheScratch) {
  Attach(768, 576, false);
  ASSERT_EQ(scratch_.Create(10, 10, 24), 1);
  scratch_.pixels()[0] = 0x5A;
  EXPECT_FALSE(display_.Draw(colour_, scratch_, 1));
  EXPECT_FALSE(display_.PrepareScratch(scratch_));
  EXPECT_EQ(scratch_.width(), 10);
  EXPECT_EQ(scratch_.pixels()[0], 0x5A);
  EXPECT_EQ(Pixels(), std::vector<uint8_t>(768 * 576 * 3, 0));

  ASSERT_TRUE(platform::ShowDisplayWindow(window_, true));
  EXPECT_TRUE(display_.Draw(colour_, scratch_, 1));
  EXPECT_EQ(scratch_.width(), 768);
}

TEST_F(SubstituteWindowTest, EmptyClientOrNoDeviceContextDrawsNothing) {
  Attach(0, 50, true);
  EXPECT_FALSE(display_.Draw(colour_, scratch_, 0));
  ASSERT_TRUE(platform::SetDisplayClientSize(window_, 100, 0));
  EXPECT_FALSE(display_.Draw(colour_, scratch_, 0));
  EXPECT_TRUE(scratch_.empty());

  LiveDisplay no_dc;
  void* window = platform::CreateDisplayWindow(100, 50, true);
  ASSERT_TRUE(no_dc.Attach(window, nullptr, nullptr));
  EXPECT_FALSE(no_dc.Draw(colour_, scratch_, 0));
  EXPECT_FALSE(no_dc.PrepareScratch(scratch_));
  EXPECT_TRUE(scratch_.empty());
}

TEST_F(SubstituteWindowTest, NewClientSizeRecreatesTheScratchBeforeDrawing) {
  Attach(768, 576, true);
  ASSERT_TRUE(display_.PrepareScratch(scratch_));
  EXPECT_EQ(scratch_.width(), 768);
  EXPECT_EQ(scratch_.height(), 576);
  ASSERT_TRUE(display_.Draw(colour_, scratch_, 0));

  ASSERT_TRUE(platform::SetDisplayClientSize(window_, 100, 50));
  ASSERT_TRUE(display_.Draw(colour_, scratch_, 0));
  EXPECT_EQ(scratch_.width(), 100);
  EXPECT_EQ(scratch_.height(), 50);
  const std::vector<uint8_t> pixels = Pixels();
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 100; ++x) {
      const Source s = SourceOf(pixels.data() + (y * 100 + x) * 3);
      // Client row y is scratch stored row 49 - y, which the mirrored
      // sampling read from source row 287 - trunc((49 - y) x 5.76).
      ASSERT_EQ(s.row, 287 - (49 - y) * 288 / 50);
      ASSERT_EQ(s.column, x * 384 / 100);
    }
  }
}

TEST_F(SubstituteWindowTest, TeardownReleasesWhatExistsOnce) {
  ASSERT_TRUE(platform::RegisterDisplayWindowClass(u"KtLiveDisplayTest"));
  window_ = platform::CreateDisplayWindow(8, 8, true);
  const platform::DeviceContext dc = platform::GetDisplayDc(window_);
  ASSERT_TRUE(display_.Attach(window_, dc, u"KtLiveDisplayTest"));
  display_.Teardown();
  EXPECT_EQ(display_.window(), nullptr);
  EXPECT_EQ(display_.device_context(), nullptr);
  EXPECT_EQ(display_.class_name()[0], u'\0');
  int w = 0;
  int h = 0;
  EXPECT_FALSE(platform::GetDisplayClientSize(window_, &w, &h));  // destroyed
  EXPECT_FALSE(platform::ReleaseDisplayDc(window_, dc));
  EXPECT_FALSE(platform::BlitCopy(dc, 0, 0, 1, 1, colour_.device_context(), 0, 0));
  EXPECT_FALSE(platform::UnregisterDisplayWindowClass(u"KtLiveDisplayTest"));  // already gone
  display_.Teardown();

  // A class name alone is unregistered; nothing else is touched.
  ASSERT_TRUE(platform::RegisterDisplayWindowClass(u"KtLiveDisplayTest"));
  ASSERT_TRUE(display_.Attach(nullptr, nullptr, u"KtLiveDisplayTest"));
  display_.Teardown();
  EXPECT_TRUE(platform::RegisterDisplayWindowClass(u"KtLiveDisplayTest"));
  EXPECT_TRUE(platform::UnregisterDisplayWindowClass(u"KtLiveDisplayTest"));
}

TEST(DisplayWindowSubstituteTest, RefusesBadHandlesAndBuffers) {
  void* window = platform::CreateDisplayWindow(4, 2, true);
  ASSERT_NE(window, nullptr);
  std::vector<uint8_t> pixels(4 * 2 * 3);
  EXPECT_FALSE(platform::ReadDisplayPixels(window, pixels.data(), pixels.size() - 1));
  EXPECT_FALSE(platform::ReadDisplayPixels(window, nullptr, pixels.size()));
  EXPECT_TRUE(platform::ReadDisplayPixels(window, pixels.data(), pixels.size()));
  EXPECT_EQ(platform::CreateDisplayWindow(-1, 2, true), nullptr);
  EXPECT_FALSE(platform::SetDisplayClientSize(window, 4, -2));
  EXPECT_FALSE(platform::ReleaseDisplayDc(window, nullptr));
  EXPECT_FALSE(platform::RegisterDisplayWindowClass(u""));
  EXPECT_FALSE(platform::UnregisterDisplayWindowClass(u"KtNeverRegistered"));
  ASSERT_TRUE(platform::DestroyDisplayWindow(window));

  void* unknown = reinterpret_cast<void*>(uintptr_t{0x7fff0000});
  for (void* stale : {window, unknown, static_cast<void*>(nullptr)}) {
    EXPECT_FALSE(platform::DestroyDisplayWindow(stale));
    EXPECT_FALSE(platform::IsDisplayWindowVisible(stale));
    EXPECT_FALSE(platform::ShowDisplayWindow(stale, true));
    EXPECT_FALSE(platform::SetDisplayClientSize(stale, 4, 4));
    EXPECT_EQ(platform::GetDisplayDc(stale), nullptr);
    EXPECT_FALSE(platform::ReadDisplayPixels(stale, pixels.data(), pixels.size()));
  }
}

#else  // Windows

// A real window of a class the test registers. Top-level and child windows
// cannot be created under wine without a display; a message-only window can,
// and it is never visible.
class Win32DisplayTest : public LiveDisplayTest {
 protected:
  static constexpr const wchar_t* kClass = L"KtLiveDisplayTest";
  void SetUp() override {
    LiveDisplayTest::SetUp();
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    ASSERT_NE(RegisterClassW(&wc), 0);
    window_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                              nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    if (IsWindow(window_)) DestroyWindow(window_);
    UnregisterClassW(kClass, GetModuleHandleW(nullptr));
  }
  HWND window_ = nullptr;
};

TEST_F(Win32DisplayTest, InvisibleWindowDrawsNothingAndKeepsTheScratch) {
  LiveDisplay display;
  HDC dc = GetDC(window_);
  ASSERT_TRUE(display.Attach(window_, reinterpret_cast<platform::DeviceContext>(dc), nullptr));
  ASSERT_EQ(scratch_.Create(10, 10, 24), 1);
  EXPECT_FALSE(platform::IsDisplayWindowVisible(window_));
  EXPECT_FALSE(display.Draw(colour_, scratch_, 1));
  EXPECT_FALSE(display.PrepareScratch(scratch_));
  EXPECT_EQ(scratch_.width(), 10);
  display.Teardown();
  EXPECT_FALSE(IsWindow(window_));
}

TEST_F(Win32DisplayTest, TeardownDestroysTheWindowAndUnregistersTheClass) {
  LiveDisplay display;
  ASSERT_TRUE(display.Attach(window_, nullptr, u"KtLiveDisplayTest"));
  display.Teardown();
  EXPECT_FALSE(IsWindow(window_));
  WNDCLASSW wc{};
  EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), kClass, &wc));
  EXPECT_EQ(display.window(), nullptr);
  EXPECT_EQ(display.class_name()[0], u'\0');
  display.Teardown();
  EXPECT_FALSE(platform::DestroyDisplayWindow(window_));
  EXPECT_FALSE(platform::UnregisterDisplayWindowClass(u"KtLiveDisplayTest"));
}

#endif

}  // namespace
}  // namespace kt
