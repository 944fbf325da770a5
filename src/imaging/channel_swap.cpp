#include "imaging/channel_swap.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KOLTHERMO_SHUFFLE_SWAP 1
#include <immintrin.h>
#endif

namespace kt {
namespace {

void SwapPixels(uint8_t* out, const uint8_t* in, int32_t pixels) {
  for (int32_t j = 0; j < pixels; ++j, in += 3, out += 3) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
  }
}

#ifdef KOLTHERMO_SHUFFLE_SWAP
// One byte shuffle reorders five pixels at a time. Each 16-byte load and store
// also touches the first byte of the sixth pixel, so the loop stops while a
// sixth pixel exists in both ranges; the store's extra byte is rewritten by
// the next step.
__attribute__((target("ssse3"))) void SwapPixelsShuffling(uint8_t* out, const uint8_t* in,
                                                          int32_t pixels) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  int32_t j = 0;
  for (; j + 6 <= pixels; j += 5, in += 15, out += 15) {
    const __m128i five = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(five, order));
  }
  SwapPixels(out, in, pixels - j);
}

bool HasByteShuffle() {
  static const bool has = __builtin_cpu_supports("ssse3") != 0;
  return has;
}
#endif

}  // namespace

void CopySwappingBlueAndRed(uint8_t* out, const uint8_t* in, int32_t pixels) {
#ifdef KOLTHERMO_SHUFFLE_SWAP
  if (HasByteShuffle()) {
    SwapPixelsShuffling(out, in, pixels);
    return;
  }
#endif
  SwapPixels(out, in, pixels);
}

}  // namespace kt
