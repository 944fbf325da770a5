#include "imaging/live_display.h"

#include "imaging/resample.h"
#include "platform/gdi.h"

namespace kt {

LiveDisplay::~LiveDisplay() { Teardown(); }

bool LiveDisplay::Attach(void* window, platform::DeviceContext dc, const char16_t* class_name) {
  if (window_ != nullptr || dc_ != nullptr || class_name_[0] != u'\0') return false;
  size_t length = 0;
  if (class_name != nullptr) {
    while (length < kClassNameChars && class_name[length] != u'\0') ++length;
    if (length == kClassNameChars) return false;
  }
  for (size_t i = 0; i < length; ++i) class_name_[i] = class_name[i];
  class_name_[length] = u'\0';
  window_ = window;
  dc_ = dc;
  return true;
}

bool LiveDisplay::DrawableClient(int* width, int* height) const {
  int w = 0;
  int h = 0;
  if (!platform::GetDisplayClientSize(window_, &w, &h)) return false;
  if (!platform::IsDisplayWindowVisible(window_)) return false;
  if (w <= 0 || h <= 0 || dc_ == nullptr) return false;
  *width = w;
  *height = h;
  return true;
}

bool LiveDisplay::Draw(const CDibSurface& colour, CDibSurface& scratch, int fetch_row_order) const {
  int w = 0;
  int h = 0;
  if (!DrawableClient(&w, &h)) return false;
  return DrawToClient(colour, scratch, fetch_row_order, dc_, w, h);
}

bool LiveDisplay::DrawToClient(const CDibSurface& colour, CDibSurface& scratch, int fetch_row_order,
                               platform::DeviceContext dc, int client_width, int client_height) {
  if (dc == nullptr || client_width <= 0 || client_height <= 0) return false;
  const int w = client_width;
  const int h = client_height;
  const bool frame_size = w == colour.width() && h == colour.height();

  if (frame_size) {
    if (fetch_row_order != 0) {
      return platform::BlitCopy(dc, 0, 0, w, h, colour.device_context(), 0, 0);
    }
    // A source area with a negative height includes its origin row and runs
    // upwards from it, so the whole picture, mirrored, starts at row h - 1.
    // From row h the area would stick out by one row: the client's top row
    // would stay undrawn and the picture's top row would be lost.
    return platform::StretchBlitCopy(dc, 0, 0, w, h, colour.device_context(), 0,
                                     colour.height() - 1, colour.width(), -colour.height());
  }

  if (scratch.width() != w || scratch.height() != h) {
    scratch.Release();
    scratch.Create(w, h, 24);
  }
  scratch.ResampleFrom(fetch_row_order != 0 ? ResampleNearest : ResampleNearestMirrored, &colour,
                       nullptr, nullptr);
  return platform::BlitCopy(dc, 0, 0, w, h, scratch.device_context(), 0, 0);
}

bool LiveDisplay::PrepareScratch(CDibSurface& scratch) const {
  int w = 0;
  int h = 0;
  if (!DrawableClient(&w, &h)) return false;
  scratch.Release();
  return scratch.Create(w, h, 24);
}

void LiveDisplay::Teardown() {
  if (dc_ != nullptr) {
    platform::ReleaseDisplayDc(window_, dc_);
    dc_ = nullptr;
  }
  if (window_ != nullptr) {
    platform::DestroyDisplayWindow(window_);
    window_ = nullptr;
  }
  if (class_name_[0] != u'\0') {
    platform::UnregisterDisplayWindowClass(class_name_);
    class_name_[0] = u'\0';
  }
}

}  // namespace kt
