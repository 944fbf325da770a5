// Whether the AVX2 loops of this library may run: they are compiled in on
// x86-64 Linux only (GCC and Clang, function-level target attributes, so the
// rest of the library stays plain x86-64) and chosen at run time when the CPU
// has AVX2 and FMA. Elsewhere, the Windows DLLs included, the plain loops run
// on any CPU.
#pragma once

#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define KT_THERMO_AVX2 1
#define KT_THERMO_TARGET_AVX2 __attribute__((target("avx2,fma")))
#else
#define KT_THERMO_AVX2 0
#endif

namespace kt::thermography {

inline bool CpuHasAvx2() {
#if KT_THERMO_AVX2
  static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return has;
#else
  return false;
#endif
}

}  // namespace kt::thermography
