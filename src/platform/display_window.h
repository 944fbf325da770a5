// What the live display needs of the window it draws into: its client size,
// whether it is visible, and the calls that end it (release its device
// context, destroy it, unregister its window class).
//
// On Windows the handle is an HWND and these are the user-interface calls
// themselves. Elsewhere there are no windows, so a display-window substitute
// stands in: a registry of windows, each with a client size, a visibility flag
// and a 24-bit pixel memory that its device context draws into, so that what
// was drawn can be read back. Every function accepts null or stale handles
// and answers with its failure result; none of them throws.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gdi.h"

namespace kt::platform {

// Longest window class name, terminator included, in UTF-16 units.
inline constexpr size_t kWindowClassNameChars = 256;

// The client area's width and height (GetClientRect). False, leaving both
// unchanged, for a null or dead window or null outputs.
bool GetDisplayClientSize(void* window, int* width, int* height);

// Whether the window is visible (IsWindowVisible); false for a null or dead
// window.
bool IsDisplayWindowVisible(void* window);

// Releases a device context obtained for `window` (ReleaseDC). False when the
// context does not belong to the window or either handle is dead.
bool ReleaseDisplayDc(void* window, DeviceContext dc);

// Destroys the window (DestroyWindow). False for a null or dead window. On
// Windows only the thread that created a window can destroy it.
bool DestroyDisplayWindow(void* window);

// Unregisters the window class of that name for the host process's module
// (UnregisterClassW). False for a null or empty name, a class that is not
// registered, or one that still has windows (Windows only).
bool UnregisterDisplayWindowClass(const char16_t* class_name);

#if !defined(_WIN32)
// The display-window substitute. Windows live in a process-wide registry and
// are safe to use from any thread; a window's pixels belong to the drawing
// layer, which serialises every transfer into them.

// Registers a window class name so that UnregisterDisplayWindowClass has
// something to remove. False for a null, empty or over-long name (255 units
// at most) or one already registered.
bool RegisterDisplayWindowClass(const char16_t* class_name);

// Creates a window with a client area of `width` x `height` (0 is allowed: an
// empty client area) and the given visibility. Its pixels start black. Null
// for negative or huge sizes or when memory runs out.
void* CreateDisplayWindow(int width, int height, bool visible);

// Resizes the client area; the pixels become black. The window's device
// context stays the same handle and draws into the new memory.
bool SetDisplayClientSize(void* window, int width, int height);

// Shows or hides the window.
bool ShowDisplayWindow(void* window, bool visible);

// The window's own device context (as for a window class with a private
// device context: each call gives the same handle, which lives as long as the
// window). Null for a null or dead window.
DeviceContext GetDisplayDc(void* window);

// Copies the client area's pixels into `out`: rows from the top of the client
// area down, width x 3 bytes each (blue, green, red), no padding. False for a
// null or dead window, a null `out` or one shorter than width x height x 3.
bool ReadDisplayPixels(void* window, uint8_t* out, size_t out_bytes);
#endif

}  // namespace kt::platform
