// The six false-colour palettes of the thermography library, 256 colours
// each, index 0 the cold end.
#pragma once

#include <array>
#include <cstdint>

namespace kt::thermography {

inline constexpr int kPaletteEntries = 256;

struct Rgb {
  uint8_t r, g, b;
};

using PaletteTable = std::array<Rgb, kPaletteEntries>;

// The palette with that KOLTHERMO_PALETTE_* number, or null for an unknown
// one. The tables are built on first use (thread-safe) and never change.
const PaletteTable* FindPalette(int palette);

// The palette's lower-case name, or null.
const char* PaletteNameOf(int palette);

// The palette of that name, or -1.
int PaletteNamed(const char* name);

}  // namespace kt::thermography
