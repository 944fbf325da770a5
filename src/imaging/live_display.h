// The live display: paints each published frame's colour picture into a
// display window, filling its client area. A client area of the frame's size
// takes one blit; any other size takes a nearest-neighbour pass into the
// scratch surface (always the client area's size) and a blit of that.
//
// Threads: Draw runs on the capture thread only. Attach, PrepareScratch and
// Teardown run on host threads while no capture thread runs, so the fields
// below need no lock of their own: the capture thread's start and end order
// every access.
#pragma once

#include <cstddef>

#include "imaging/dib_surface.h"
#include "platform/display_window.h"

namespace kt {

class LiveDisplay {
 public:
  // Room for a window class name, terminator included.
  static constexpr size_t kClassNameChars = platform::kWindowClassNameChars;

  LiveDisplay() = default;
  LiveDisplay(const LiveDisplay&) = delete;
  LiveDisplay& operator=(const LiveDisplay&) = delete;
  // Teardown: the display owns what was attached.
  ~LiveDisplay();

  // Hands the display a window, the device context to draw into it and the
  // name of the window's class, all of which it then owns and gives back at
  // Teardown. Any of them may be null (a null name is an empty one). Returns
  // false, taking nothing, while something is still attached or when the name
  // does not fit kClassNameChars with its terminator.
  bool Attach(void* window, platform::DeviceContext dc, const char16_t* class_name);

  // Draws `colour` (the current frame's 24-bit surface) into the window when
  // it is visible, its client area is not empty and there is a device
  // context. `fetch_row_order` is parameter 17: 0 draws stored row 0 in the
  // top row of the client area, nonzero draws a plain copy (stored row 0 at
  // the bottom). `scratch` is recreated whenever its size differs from the
  // client area's. Returns whether a blit drew the picture.
  bool Draw(const CDibSurface& colour, CDibSurface& scratch, int fetch_row_order) const;

  // The drawing once the client size is known: into `dc`, whose drawable area
  // is `client_width` x `client_height`, both positive. Draw calls it; it is
  // also how a memory device context can stand in for a window.
  static bool DrawToClient(const CDibSurface& colour, CDibSurface& scratch, int fetch_row_order,
                           platform::DeviceContext dc, int client_width, int client_height);

  // At acquisition start: (re)creates `scratch` at the client size, 24 bits
  // per pixel, when the window is visible, its client area is not empty and
  // there is a device context. Returns whether it did.
  bool PrepareScratch(CDibSurface& scratch) const;

  // Releases the device context against the window, destroys the window and
  // unregisters the class by name, each only if it exists, and forgets them.
  // Harmless when nothing is attached.
  void Teardown();

  void* window() const { return window_; }
  platform::DeviceContext device_context() const { return dc_; }
  // The class name, empty when there is none.
  const char16_t* class_name() const { return class_name_; }

 private:
  // The client size when the window can be drawn into: visible, a device
  // context, a non-empty client area.
  bool DrawableClient(int* width, int* height) const;

  void* window_ = nullptr;                     // null when there is none
  platform::DeviceContext dc_ = nullptr;       // device context of window_; null when none
  char16_t class_name_[kClassNameChars] = {};  // class of window_; empty when none
};

}  // namespace kt
