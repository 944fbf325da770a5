// The display-window substitute. A window is a client size, a visibility flag
// and a top-down 24-bit section selected into a memory device context of its
// own, so the drawing layer paints into it exactly as GDI paints into a
// window's client area (logical row 0 at the top). Windows and class names
// live in registries under one mutex; handles are tokens that are never
// reused, so a stale handle finds nothing instead of freed memory.

#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <unordered_map>

#include "platform/display_window.h"
#include "platform/mutex.h"

namespace kt::platform {
namespace {

// Largest client side the substitute accepts; a real screen is far smaller.
constexpr int kMaxClientSide = 16384;

struct SubstituteWindow {
  int width = 0;
  int height = 0;
  bool visible = false;
  DeviceContext dc = nullptr;  // lives as long as the window
  Bitmap section = nullptr;    // selected into dc; at least 1 x 1 even for an empty client
  Bitmap stock = nullptr;      // what dc held before the first section
};

struct Registry {
  Mutex mutex;
  // Both guarded by mutex, as is every window they reach.
  std::unordered_map<uintptr_t, std::unique_ptr<SubstituteWindow>> windows GUARDED_BY(mutex);
  std::set<std::u16string> class_names GUARDED_BY(mutex);
  uintptr_t last_token GUARDED_BY(mutex) = 0;  // tokens count up and are never reused
};

// Never destroyed, so that a call from a thread still running at process exit
// finds a valid registry.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

// Called with the registry's mutex held.
SubstituteWindow* Find(Registry& registry, void* handle) REQUIRES(registry.mutex) {
  if (handle == nullptr) return nullptr;
  const auto found = registry.windows.find(reinterpret_cast<uintptr_t>(handle));
  return found == registry.windows.end() ? nullptr : found->second.get();
}

bool ValidSize(int width, int height) {
  return width >= 0 && height >= 0 && width <= kMaxClientSide && height <= kMaxClientSide;
}

// A zeroed top-down 24-bit section for a client area of that size; 1 x 1 for
// an empty one, because a section cannot be empty.
Bitmap MakeClientSection(int width, int height, void** pixels) {
  BitmapInfoHeader header{};
  header.size = kBitmapInfoHeaderSize;
  header.width = width > 0 ? width : 1;
  header.height = -(height > 0 ? height : 1);
  header.planes = 1;
  header.bit_count = 24;
  header.compression = kCompressionNone;
  return CreateDibSection(header, pixels);
}

void DeleteWindowObjects(SubstituteWindow& window) {
  if (window.dc != nullptr) {
    if (window.stock != nullptr) SelectBitmap(window.dc, window.stock);
    DeleteDc(window.dc);
  }
  if (window.section != nullptr) DeleteBitmap(window.section);
  window.dc = nullptr;
  window.section = nullptr;
  window.stock = nullptr;
}

// Length of a zero-terminated name, or kWindowClassNameChars when it has no
// terminator within that many units.
size_t NameLength(const char16_t* name) {
  size_t length = 0;
  while (length < kWindowClassNameChars && name[length] != u'\0') ++length;
  return length;
}

}  // namespace

bool GetDisplayClientSize(void* handle, int* width, int* height) {
  if (width == nullptr || height == nullptr) return false;
  Registry& registry = TheRegistry();
  MutexLock lock(registry.mutex);
  const SubstituteWindow* window = Find(registry, handle);
  if (window == nullptr) return false;
  *width = window->width;
  *height = window->height;
  return true;
}

bool IsDisplayWindowVisible(void* handle) {
  Registry& registry = TheRegistry();
  MutexLock lock(registry.mutex);
  const SubstituteWindow* window = Find(registry, handle);
  return window != nullptr && window->visible;
}

bool ReleaseDisplayDc(void* handle, DeviceContext dc) {
  Registry& registry = TheRegistry();
  MutexLock lock(registry.mutex);
  const SubstituteWindow* window = Find(registry, handle);
  // The window keeps its private context, as Windows does for such classes.
  return window != nullptr && dc != nullptr && window->dc == dc;
}

bool DestroyDisplayWindow(void* handle) {
  if (handle == nullptr) return false;
  std::unique_ptr<SubstituteWindow> window;
  Registry& registry = TheRegistry();
  MutexLock lock(registry.mutex);
  const auto found = registry.windows.find(reinterpret_cast<uintptr_t>(handle));
  if (found == registry.windows.end()) return false;
  window = std::move(found->second);
  registry.windows.erase(found);
  DeleteWindowObjects(*window);
  return true;
}

bool UnregisterDisplayWindowClass(const char16_t* class_name) {
  if (class_name == nullptr || class_name[0] == u'\0') return false;
  const size_t length = NameLength(class_name);
  if (length >= kWindowClassNameChars) return false;
  try {
    Registry& registry = TheRegistry();
    MutexLock lock(registry.mutex);
    return registry.class_names.erase(std::u16string(class_name, length)) != 0;
  } catch (...) {
    return false;
  }
}

bool RegisterDisplayWindowClass(const char16_t* class_name) {
  if (class_name == nullptr || class_name[0] == u'\0') return false;
  if (NameLength(class_name) >= kWindowClassNameChars) return false;
  try {
    Registry& registry = TheRegistry();
    MutexLock lock(registry.mutex);
    return registry.class_names.insert(std::u16string(class_name)).second;
  } catch (...) {
    return false;
  }
}

void* CreateDisplayWindow(int width, int height, bool visible) {
  if (!ValidSize(width, height)) return nullptr;
  auto window = std::unique_ptr<SubstituteWindow>(new (std::nothrow) SubstituteWindow);
  if (!window) return nullptr;
  window->width = width;
  window->height = height;
  window->visible = visible;
  window->dc = CreateMemoryDc();
  void* pixels = nullptr;
  window->section = MakeClientSection(width, height, &pixels);
  if (window->dc == nullptr || window->section == nullptr) {
    DeleteWindowObjects(*window);
    return nullptr;
  }
  window->stock = SelectBitmap(window->dc, window->section);
  if (window->stock == nullptr) {
    DeleteWindowObjects(*window);
    return nullptr;
  }
  try {
    Registry& registry = TheRegistry();
    MutexLock lock(registry.mutex);
    const uintptr_t token = ++registry.last_token;
    registry.windows.emplace(token, std::move(window));
    return reinterpret_cast<void*>(token);
  } catch (...) {
    if (window) DeleteWindowObjects(*window);
    return nullptr;
  }
}

bool SetDisplayClientSize(void* handle, int width, int height) {
  if (!ValidSize(width, height)) return false;
  Registry& registry = TheRegistry();
  MutexLock lock(registry.mutex);
  SubstituteWindow* window = Find(registry, handle);
  if (window == nullptr) return false;
  void* pixels = nullptr;
  const Bitmap section = MakeClientSection(width, height, &pixels);
  if (section == nullptr) return false;
  const Bitmap previous = SelectBitmap(window->dc, section);
  if (previous == nullptr) {
    DeleteBitmap(section);
    return false;
  }
  DeleteBitmap(previous);
  window->section = section;
  window->width = width;
  window->height = height;
  return true;
}

bool ShowDisplayWindow(void* handle, bool visible) {
  Registry& registry = TheRegistry();
  MutexLock lock(registry.mutex);
  SubstituteWindow* window = Find(registry, handle);
  if (window == nullptr) return false;
  window->visible = visible;
  return true;
}

DeviceContext GetDisplayDc(void* handle) {
  Registry& registry = TheRegistry();
  MutexLock lock(registry.mutex);
  const SubstituteWindow* window = Find(registry, handle);
  return window != nullptr ? window->dc : nullptr;
}

bool ReadDisplayPixels(void* handle, uint8_t* out, size_t out_bytes) {
  if (out == nullptr) return false;
  Registry& registry = TheRegistry();
  MutexLock lock(registry.mutex);
  const SubstituteWindow* window = Find(registry, handle);
  if (window == nullptr) return false;
  const size_t row_bytes = static_cast<size_t>(window->width) * 3;
  const size_t needed = row_bytes * static_cast<size_t>(window->height);
  if (out_bytes < needed) return false;
  if (needed == 0) return true;

  // Copy through the drawing layer into a private section, so the read is
  // serialised with any transfer into the window.
  void* pixels = nullptr;
  const Bitmap copy = MakeClientSection(window->width, window->height, &pixels);
  const DeviceContext copy_dc = CreateMemoryDc();
  bool done = false;
  if (copy != nullptr && copy_dc != nullptr) {
    const Bitmap stock = SelectBitmap(copy_dc, copy);
    if (stock != nullptr) {
      done = BlitCopy(copy_dc, 0, 0, window->width, window->height, window->dc, 0, 0);
      SelectBitmap(copy_dc, stock);
    }
  }
  if (done) {
    // Only this call knows the copy, so it can be read without the drawing
    // layer: top-down rows padded to a multiple of 4 bytes.
    const size_t stride = (row_bytes + 3) / 4 * 4;
    const auto* rows = static_cast<const uint8_t*>(pixels);
    for (int y = 0; y < window->height; ++y) {
      std::memcpy(out + static_cast<size_t>(y) * row_bytes, rows + static_cast<size_t>(y) * stride,
                  row_bytes);
    }
  }
  if (copy_dc != nullptr) DeleteDc(copy_dc);
  if (copy != nullptr) DeleteBitmap(copy);
  return done;
}

}  // namespace kt::platform
