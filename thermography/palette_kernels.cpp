#include "palette_kernels.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

// On x86-64 Linux the hot loops are built twice, for AVX2 and for any x86-64,
// and the loader picks one; elsewhere (the Windows DLLs must run on any
// processor) the baseline build only. The loader picks through an ifunc
// resolver that runs while the library is being relocated, before a
// sanitizer's runtime is ready (ThreadSanitizer crashes there), so sanitizer
// builds keep the baseline build too.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
#define KT_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KT_VECTOR_CLONES
#endif

namespace kt::thermography {

// Colours are stored as R, G, B in the low three bytes of a word.
static_assert(std::endian::native == std::endian::little);
namespace {

// The loops below avoid branches and conditional reductions, which GCC 12
// does not vectorise: choices are made with all-ones masks instead.

// The bits of -999.0f, "no temperature".
constexpr int32_t kNoTemperatureBits = static_cast<int32_t>(0xC479C000u);

int32_t BitsOf(float t) {
  int32_t bits;
  std::memcpy(&bits, &t, sizeof bits);
  return bits;
}

// All ones for -999.0, an infinity or a NaN; zero for a temperature.
int32_t NoTemperatureMask(int32_t bits) {
  return -static_cast<int32_t>(((bits & 0x7F800000) == 0x7F800000) | (bits == kNoTemperatureBits));
}

// An integer that orders as the float does (an involution on the bits).
int32_t OrderKey(int32_t bits) { return bits ^ ((bits >> 31) & 0x7FFFFFFF); }

float FloatOfKey(int32_t key) {
  const int32_t bits = OrderKey(key);
  float t;
  std::memcpy(&t, &bits, sizeof t);
  return t;
}

// `mask` all ones: `chosen`; zero: `value`.
int32_t Choose(int32_t value, int32_t chosen, int32_t mask) {
  return value ^ ((value ^ chosen) & mask);
}

}  // namespace

KT_VECTOR_CLONES
bool TemperatureExtremes(const float* temperatures, size_t count, float& low, float& high) {
  constexpr int32_t kTop = std::numeric_limits<int32_t>::max();
  constexpr int32_t kBottom = std::numeric_limits<int32_t>::min();
  int32_t lowest = kTop;
  int32_t highest = kBottom;
  for (size_t i = 0; i < count; ++i) {
    const int32_t bits = BitsOf(temperatures[i]);
    const int32_t key = OrderKey(bits);
    const int32_t none = NoTemperatureMask(bits);
    lowest = std::min(lowest, Choose(key, kTop, none));
    highest = std::max(highest, Choose(key, kBottom, none));
  }
  if (lowest > highest) return false;
  low = FloatOfKey(lowest);
  high = FloatOfKey(highest);
  return true;
}

KT_VECTOR_CLONES
void CodePixels(const float* temperatures, size_t count, const CodeRule& rule, uint16_t* codes) {
  const CodeRule r = rule;
  const int32_t no_temperature_code = r.no_temperature_code;
  const int32_t isotherm_code = r.isotherm_code;
  for (size_t i = 0; i < count; ++i) {
    const float t = temperatures[i];
    // The clamps keep every value, -999.0, infinities and NaN included, in
    // 0..top_code, so the conversion to an integer is always defined; those
    // pixels' codes are then replaced.
    float x = (t - r.low) * r.scale + r.bias;
    x = x > 0.0f ? x : 0.0f;  // a NaN becomes 0
    x = x < r.top_code ? x : r.top_code;
    const int32_t isotherm = -static_cast<int32_t>((t >= r.iso_low) & (t <= r.iso_high));
    const int32_t none = NoTemperatureMask(BitsOf(t));
    // The isotherm code lies above every level and the no-temperature code
    // above that, so taking the larger code lets each one win.
    int32_t code = static_cast<int32_t>(x);
    code = std::max(code, isotherm & isotherm_code);
    code = std::max(code, none & no_temperature_code);
    codes[i] = static_cast<uint16_t>(code);
  }
}

void CountCodes(const uint16_t* codes, size_t count, uint32_t* histogram) {
  for (size_t i = 0; i < count; ++i) ++histogram[codes[i]];
}

void PaintPixels(const uint16_t* codes, size_t count, const uint32_t* colours, uint8_t* rgb) {
  // Eight pixels are 24 bytes, stored as three 64-bit words built in
  // registers: a store per pixel would make the stores the limit.
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t p[8];
    for (int k = 0; k < 8; ++k) p[k] = colours[codes[i + k]];
    const uint64_t w0 = p[0] | (p[1] << 24) | (p[2] << 48);
    const uint64_t w1 = (p[2] >> 16) | (p[3] << 8) | (p[4] << 32) | (p[5] << 56);
    const uint64_t w2 = (p[5] >> 8) | (p[6] << 16) | (p[7] << 40);
    std::memcpy(rgb + 3 * i, &w0, sizeof w0);
    std::memcpy(rgb + 3 * i + 8, &w1, sizeof w1);
    std::memcpy(rgb + 3 * i + 16, &w2, sizeof w2);
  }
  for (; i < count; ++i) {
    const uint32_t c = colours[codes[i]];
    uint8_t* p = rgb + 3 * i;
    p[0] = static_cast<uint8_t>(c);
    p[1] = static_cast<uint8_t>(c >> 8);
    p[2] = static_cast<uint8_t>(c >> 16);
  }
}

}  // namespace kt::thermography
