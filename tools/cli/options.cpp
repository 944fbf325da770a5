#include "options.h"

// GCC 12 sees a null dereference in the standard library's string moves as
// CLI11 inlines them (a false positive; the pointer comes from a vector that
// just grew). The warning is silenced for CLI11's code only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnull-dereference"
#include <CLI/CLI.hpp>
#pragma GCC diagnostic pop

#include <charconv>
#include <cmath>
#include <cstdio>
#include <deque>

namespace kt::cli {
namespace {

// The number as a whole string, or nothing when any of it is not a number.
template <typename Number>
std::optional<Number> ParseWhole(const std::string& text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value);
  if (text.empty() || status != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::string FormatLimit(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::optional<std::string> ParsedOptions::Value(std::string_view name) const {
  const auto found = values_.find(name);
  if (found == values_.end() || found->second.empty()) return std::nullopt;
  return found->second.back();
}

std::vector<std::string> ParsedOptions::Values(std::string_view name) const {
  const auto found = values_.find(name);
  if (found == values_.end()) return {};
  return found->second;
}

int ParsedOptions::Int(std::string_view name, int min, int max, int fallback) const {
  const std::optional<std::string> text = Value(name);
  if (!text) return fallback;
  const std::optional<int> value = ParseWhole<int>(*text);
  if (!value || *value < min || *value > max) {
    throw UsageError(std::string(name) + " takes a whole number from " + std::to_string(min) +
                     " to " + std::to_string(max) + ", not '" + *text + "'");
  }
  return *value;
}

std::optional<double> ParsedOptions::Seconds(std::string_view name, double max) const {
  const std::optional<std::string> text = Value(name);
  if (!text) return std::nullopt;
  const std::optional<double> value = ParseWhole<double>(*text);
  if (!value || !std::isfinite(*value) || *value <= 0.0 || *value > max) {
    throw UsageError(std::string(name) + " takes a number of seconds above 0 and up to " +
                     std::to_string(static_cast<int>(max)) + ", not '" + *text + "'");
  }
  return value;
}

std::optional<double> ParsedOptions::Number(std::string_view name, double min, double max) const {
  const std::optional<std::string> text = Value(name);
  if (!text) return std::nullopt;
  const std::optional<double> value = ParseWhole<double>(*text);
  if (!value || !std::isfinite(*value) || *value < min || *value > max) {
    throw UsageError(std::string(name) + " takes a number from " + FormatLimit(min) + " to " +
                     FormatLimit(max) + ", not '" + *text + "'");
  }
  return value;
}

void RefuseWithoutTable(std::string_view what) {
  throw UsageError(std::string(what) +
                   " needs a calibration table to turn raw codes into temperatures: load one "
                   "with --table FILE ('kolthermo table --layout 4000 --output table.bin' "
                   "writes one for the simulated camera)");
}

ParsedOptions ParseOptions(std::span<char* const> args, std::span<const OptionSpec> specs) {
  // Help pages are the tool's own (main.cpp); CLI11 only records the flag.
  CLI::App app;
  app.set_help_flag();
  bool help = false;
  app.add_flag("-h,--help", help);

  struct Bound {
    const OptionSpec* spec;
    CLI::Option* option;
    std::vector<std::string> values;
  };
  // A deque keeps every bound vector where CLI11 was told it is.
  std::deque<Bound> bound;
  for (const OptionSpec& spec : specs) {
    Bound& entry = bound.emplace_back(Bound{&spec, nullptr, {}});
    const std::string name(spec.name);
    if (spec.value_name.empty()) {
      // "--flag=1" is refused rather than read as a value.
      entry.option = app.add_flag(name)->disable_flag_override();
      continue;
    }
    // One value per occurrence: "--spot 1,2 3,4" leaves "3,4" as a stray word.
    entry.option = app.add_option(name, entry.values)
                       ->type_name(std::string(spec.value_name))
                       ->allow_extra_args(false)
                       ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  }

  // CLI11 reads argv with the program's name first.
  std::vector<const char*> words{"kolthermo"};
  words.insert(words.end(), args.begin(), args.end());
  try {
    app.parse(static_cast<int>(words.size()), words.data());
  } catch (const CLI::ParseError& error) {
    throw UsageError(error.what());
  }

  ParsedOptions parsed;
  if (help) parsed.Add("--help", "");
  for (Bound& entry : bound) {
    if (entry.option->count() == 0) continue;
    const std::string name(entry.spec->name);
    if (entry.spec->value_name.empty()) {
      parsed.Add(name, "");
      continue;
    }
    if (!entry.spec->repeatable && entry.values.size() > 1) {
      entry.values.erase(entry.values.begin(), entry.values.end() - 1);
    }
    for (std::string& value : entry.values) parsed.Add(name, std::move(value));
  }
  return parsed;
}

}  // namespace kt::cli
