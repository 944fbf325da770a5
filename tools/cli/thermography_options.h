// The thermography options of snap and record: object correction
// (--emissivity, --reflected), colouring (--palette, --range, --isotherm,
// --scale-bar) and measurements (--spot, --box), read into the structures of
// the thermography library. Every value is checked here, before a camera is
// opened or a file written.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kolthermo/kolthermo_measure.h"
#include "kolthermo/kolthermo_palette.h"
#include "kolthermo/kolthermo_thermography.h"
#include "options.h"

namespace kt::cli {

// Reflected and atmosphere temperature when --reflected is not given.
inline constexpr float kDefaultReflectedCelsius = 20.0f;
// Averaging radius of a --spot without one.
inline constexpr int kDefaultSpotRadius = 1;
inline constexpr int kMaxSpotRadius = 50;
// Pixels that meet an isotherm are drawn in this colour (none of the
// palettes is this pure a green at either end).
inline constexpr unsigned char kIsothermRgb[3] = {0, 255, 0};

struct MeasuredRegion {
  std::string label;  // "spot 192,144 r1", "box 10,20 30x40"
  KolThermoRegion region;
};

struct ThermographyOptions {
  // Emissivity 1 and no atmosphere when --emissivity is not given.
  KolThermoObjectParams object{1.0f, kDefaultReflectedCelsius, 1.0f, kDefaultReflectedCelsius};
  bool correct = false;  // --emissivity given: temperatures are corrected
  bool colour = false;   // any colouring option: pictures are drawn here
  bool scale_bar = false;
  KolThermoColorOptions colours{};
  std::vector<MeasuredRegion> regions;  // spots first, then boxes, as given
  // The first option given that needs temperatures ("--spot"), for messages.
  std::optional<std::string> first_temperature_option;
};

// The options' entries in the help pages of snap and record.
inline constexpr std::array kThermographyOptions{
    OptionSpec{"--emissivity", "E",
               "correct temperatures for an object of emissivity E, 0 < E <= 1\n"
               "(default 1: none)"},
    OptionSpec{"--reflected", "C",
               "with --emissivity: the reflected (surroundings') temperature\n"
               "in degrees Celsius (default 20)"},
    OptionSpec{"--palette", "NAME",
               "draw the picture with iron, rainbow (default), white-hot,\n"
               "black-hot, arctic or lava (bmp, png and jpeg stills, video\n"
               "recordings)"},
    OptionSpec{"--range", "RANGE",
               "colour range: auto (minimum to maximum, default),\n"
               "histogram (equalised) or LOW:HIGH in degrees"},
    OptionSpec{"--isotherm", "ISO", "draw pixels above:T, below:T or in LOW:HIGH degrees green"},
    OptionSpec{"--scale-bar", "", "add a colour scale with degree labels on the right"},
    OptionSpec{"--spot", "X,Y[,R]",
               "measure the disc of radius R (default 1) around pixel X,Y\n"
               "(0,0 is the top left); may be repeated",
               true},
    OptionSpec{"--box", "X,Y,W,H",
               "measure the W x H box with top left pixel X,Y; may be\n"
               "repeated",
               true},
};

// Reads and checks the options of a picture `width` x `height` pixels.
// Throws UsageError naming the option and the value.
ThermographyOptions ReadThermographyOptions(const ParsedOptions& options, int width, int height);

// Parsers of single values, exposed for tests. Each throws UsageError.
// "auto", "histogram" or "LOW:HIGH" (degrees, LOW below HIGH).
void ParseRange(std::string_view text, KolThermoColorOptions* colours);
// "above:T", "below:T" or "LOW:HIGH".
void ParseIsotherm(std::string_view text, KolThermoColorOptions* colours);
// "X,Y" or "X,Y,R"; the disc must lie inside the picture.
MeasuredRegion ParseSpot(std::string_view text, int width, int height);
// "X,Y,W,H"; the box must lie inside the picture.
MeasuredRegion ParseBox(std::string_view text, int width, int height);

}  // namespace kt::cli
