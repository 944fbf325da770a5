#include "options.h"

#include <charconv>
#include <cmath>

namespace kt::cli {
namespace {

const OptionSpec* FindSpec(std::span<const OptionSpec> specs, std::string_view name) {
  for (const OptionSpec& spec : specs) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

}  // namespace

std::optional<std::string> ParsedOptions::Value(std::string_view name) const {
  const auto found = values_.find(std::string(name));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

int ParsedOptions::Int(std::string_view name, int min, int max, int fallback) const {
  const std::optional<std::string> text = Value(name);
  if (!text) return fallback;
  int value = 0;
  const char* end = text->data() + text->size();
  const auto [stop, status] = std::from_chars(text->data(), end, value);
  if (text->empty() || status != std::errc() || stop != end || value < min || value > max) {
    throw UsageError(std::string(name) + " takes a whole number from " + std::to_string(min) +
                     " to " + std::to_string(max) + ", not '" + *text + "'");
  }
  return value;
}

std::optional<double> ParsedOptions::Seconds(std::string_view name, double max) const {
  const std::optional<std::string> text = Value(name);
  if (!text) return std::nullopt;
  double value = 0.0;
  const char* end = text->data() + text->size();
  const auto [stop, status] = std::from_chars(text->data(), end, value);
  if (text->empty() || status != std::errc() || stop != end || !std::isfinite(value) ||
      value <= 0.0 || value > max) {
    throw UsageError(std::string(name) + " takes a number of seconds above 0 and up to " +
                     std::to_string(static_cast<int>(max)) + ", not '" + *text + "'");
  }
  return value;
}

ParsedOptions ParseOptions(std::span<char* const> args, std::span<const OptionSpec> specs) {
  ParsedOptions parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view word = args[i];
    if (word == "--help" || word == "-h") {
      parsed.Set("--help", "");
      continue;
    }
    std::optional<std::string_view> value;
    if (const size_t equals = word.find('='); word.starts_with("--") && equals != word.npos) {
      value = word.substr(equals + 1);
      word = word.substr(0, equals);
    }
    const OptionSpec* spec = FindSpec(specs, word);
    if (spec == nullptr) {
      if (!word.starts_with("-")) {
        throw UsageError("unexpected argument '" + std::string(word) + "'");
      }
      throw UsageError("unknown option '" + std::string(word) + "'");
    }
    if (spec->value_name.empty()) {
      if (value) throw UsageError("option '" + std::string(word) + "' takes no value");
      parsed.Set(std::string(word), "");
      continue;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        throw UsageError("option '" + std::string(word) + "' needs a value (" +
                         std::string(spec->value_name) + ")");
      }
      value = args[++i];
    }
    parsed.Set(std::string(word), std::string(*value));
  }
  return parsed;
}

}  // namespace kt::cli
