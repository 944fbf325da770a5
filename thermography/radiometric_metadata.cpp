#include "radiometric_metadata.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kt::thermography {
namespace {

// 9999-12-31T23:59:59.999 UTC, the last time ISO 8601's four-digit year holds.
constexpr double kLastTime = 253402300799.999;

// The civil date of a day count since 1970-01-01 (proleptic Gregorian), so
// that no platform's gmtime (32-bit time_t, no gmtime_r) is involved.
void CivilFromDays(long long days, int& year, int& month, int& day) {
  days += 719468;
  const long long era = days / 146097;
  const long long day_of_era = days - era * 146097;
  const long long year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const long long day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const long long month_index = (5 * day_of_year + 2) / 153;
  day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
}

struct Broken {
  int year, month, day, hour, minute, second, millisecond;
};

Broken BreakDown(double time_s) {
  // To the nearest millisecond: a time given as x.123 may be held as
  // x.12299999.
  const long long total_ms = std::llround(time_s * 1000.0);
  const long long seconds = total_ms / 1000;
  Broken broken{};
  broken.millisecond = static_cast<int>(total_ms % 1000);
  CivilFromDays(seconds / 86400, broken.year, broken.month, broken.day);
  const long long in_day = seconds % 86400;
  broken.hour = static_cast<int>(in_day / 3600);
  broken.minute = static_cast<int>(in_day / 60 % 60);
  broken.second = static_cast<int>(in_day % 60);
  return broken;
}

// The table's name on one line: control characters would end the line early
// and make a reader see keys the SDK never wrote.
std::string OneLine(const char* text) {
  std::string line;
  for (const char* c = text; *c != '\0'; ++c) {
    line += static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F ? '?' : *c;
  }
  return line;
}

}  // namespace

bool ValidFrameSize(int width, int height) {
  return width > 0 && height > 0 &&
         static_cast<long long>(width) * static_cast<long long>(height) <= kMaxFramePixels;
}

bool ValidFrameInfo(const KolThermoFrameInfo* info) {
  return info == nullptr ||
         (std::isfinite(info->time_s) && info->time_s >= 0.0 && info->time_s <= kLastTime);
}

std::string ShortestFloat(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string DescriptionLines(const KolThermoFrameInfo* info, Units units) {
  std::string lines = units == Units::kCelsius
                          ? "units=C\nno_temperature=-999.0\n"
                          : "units=raw\nraw_range=0..16383 (sensor codes as they are)\n";
  if (info == nullptr) return lines;
  const Broken t = BreakDown(info->time_s);
  char time[40];
  std::snprintf(time, sizeof time, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  lines += "emissivity=" + ShortestFloat(info->emissivity) + "\n";
  lines += "reflected_c=" + ShortestFloat(info->reflected_c) + "\n";
  lines += "transmission=" + ShortestFloat(info->transmission) + "\n";
  lines += "atmosphere_c=" + ShortestFloat(info->atmosphere_c) + "\n";
  lines += "frame_id=" + std::to_string(info->frame_id) + "\n";
  lines += std::string("time=") + time + "\n";
  lines += "internal_c=" + ShortestFloat(info->internal_c) + "\n";
  if (info->table != nullptr) lines += "table=" + OneLine(info->table) + "\n";
  return lines;
}

std::string TiffDateTime(const KolThermoFrameInfo* info) {
  if (info == nullptr) return {};
  const Broken t = BreakDown(info->time_s);
  char text[32];
  std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

const char* SoftwareName() { return "KolThermo SDK " KOLTHERMO_THERMO_VERSION; }

}  // namespace kt::thermography
