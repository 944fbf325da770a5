// Iron, arctic and lava are a few control points joined by straight lines in
// RGB. The points are chosen so that the luma (0.2126 R + 0.7152 G +
// 0.0722 B) rises from each point to the next: a straight line between two
// colours changes luma linearly, so the whole palette then reads darker to
// lighter, cold to hot, the order thermographers expect.
//
// Rainbow is the core library's false-colour palette (the colours of
// KolThermo_GetColor), built by the very same source file
// (src/imaging/palette.cpp is compiled into this library as well) so that
// there is one definition of it, sampled at 256 evenly spaced positions of
// its 360 with its first and last colours at the ends.
#include "palette_tables.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "imaging/palette.h"
#include "kolthermo/kolthermo_palette.h"

namespace kt::thermography {
namespace {

struct ControlPoint {
  double position;  // 0 (cold end) to 1 (hot end), increasing
  Rgb colour;
};

uint8_t Mix(uint8_t a, uint8_t b, double t) {
  return static_cast<uint8_t>(std::lround(a + (b - a) * t));
}

PaletteTable Interpolated(std::initializer_list<ControlPoint> points) {
  PaletteTable table{};
  const ControlPoint* lower = points.begin();
  for (int i = 0; i < kPaletteEntries; ++i) {
    const double position = static_cast<double>(i) / (kPaletteEntries - 1);
    while (lower + 2 < points.end() && (lower + 1)->position < position) ++lower;
    const ControlPoint& upper = *(lower + 1);
    const double t = (position - lower->position) / (upper.position - lower->position);
    table[i] = Rgb{Mix(lower->colour.r, upper.colour.r, t), Mix(lower->colour.g, upper.colour.g, t),
                   Mix(lower->colour.b, upper.colour.b, t)};
  }
  return table;
}

// Black through indigo, purple, red, orange and yellow to white.
PaletteTable Iron() {
  return Interpolated({{0.00, {0, 0, 0}},
                       {0.10, {30, 0, 90}},
                       {0.25, {110, 0, 150}},
                       {0.45, {200, 30, 100}},
                       {0.60, {235, 90, 20}},
                       {0.80, {255, 180, 0}},
                       {0.92, {255, 230, 90}},
                       {1.00, {255, 255, 255}}});
}

// Cold in navy, blue and cyan; the warm end turns gold and pale.
PaletteTable Arctic() {
  return Interpolated({{0.00, {0, 0, 30}},
                       {0.30, {20, 40, 160}},
                       {0.55, {30, 140, 210}},
                       {0.70, {150, 200, 220}},
                       {0.85, {240, 200, 90}},
                       {1.00, {255, 245, 200}}});
}

// Black through deep blue and crimson to red, orange, yellow and cream.
PaletteTable Lava() {
  return Interpolated({{0.00, {0, 0, 0}},
                       {0.15, {20, 30, 80}},
                       {0.35, {120, 20, 60}},
                       {0.55, {220, 40, 10}},
                       {0.75, {255, 130, 0}},
                       {0.90, {255, 210, 40}},
                       {1.00, {255, 255, 220}}});
}

PaletteTable Grey(bool white_hot) {
  PaletteTable table{};
  for (int i = 0; i < kPaletteEntries; ++i) {
    const auto level = static_cast<uint8_t>(white_hot ? i : kPaletteEntries - 1 - i);
    table[i] = Rgb{level, level, level};
  }
  return table;
}

PaletteTable Rainbow() {
  uint32_t core[kPaletteSize];
  BuildPalette(core);
  PaletteTable table{};
  for (int i = 0; i < kPaletteEntries; ++i) {
    // Rounded to the nearest of the core's positions: 0 -> 0, 255 -> 359.
    const int source = (i * (kPaletteSize - 1) + (kPaletteEntries - 1) / 2) / (kPaletteEntries - 1);
    const uint32_t entry = core[source];
    table[i] = Rgb{static_cast<uint8_t>(entry), static_cast<uint8_t>(entry >> 8),
                   static_cast<uint8_t>(entry >> 16)};
  }
  return table;
}

struct AllPalettes {
  PaletteTable tables[KOLTHERMO_PALETTE_COUNT] = {Iron(),      Rainbow(), Grey(true),
                                                  Grey(false), Arctic(),  Lava()};
};

constexpr const char* kNames[KOLTHERMO_PALETTE_COUNT] = {"iron",      "rainbow", "white-hot",
                                                         "black-hot", "arctic",  "lava"};

}  // namespace

const PaletteTable* FindPalette(int palette) {
  if (palette < 0 || palette >= KOLTHERMO_PALETTE_COUNT) return nullptr;
  static const AllPalettes all;
  return &all.tables[palette];
}

const char* PaletteNameOf(int palette) {
  if (palette < 0 || palette >= KOLTHERMO_PALETTE_COUNT) return nullptr;
  return kNames[palette];
}

int PaletteNamed(const char* name) {
  if (name == nullptr) return -1;
  for (int i = 0; i < KOLTHERMO_PALETTE_COUNT; ++i) {
    if (std::strcmp(name, kNames[i]) == 0) return i;
  }
  return -1;
}

}  // namespace kt::thermography
