// Command-line options of the subcommands: "--name value", "--name=value" and
// flags, checked against each subcommand's table so that a typo is a usage
// error and never silently ignored. The words are parsed by CLI11; the
// commands read the values through ParsedOptions, which turns them into
// numbers with the tool's own range checks and messages.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kt::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Bad usage: the message is printed with a hint to --help, exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The camera, the library or a file failed: exit status 1.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OptionSpec {
  std::string_view name;        // "--count"
  std::string_view value_name;  // "N"; empty for a flag
  std::string_view help;
  bool repeatable = false;  // may be given several times ("--spot A --spot B")
};

// Two option tables as one, for commands that share a group of options.
template <size_t A, size_t B>
constexpr std::array<OptionSpec, A + B> JoinOptions(const std::array<OptionSpec, A>& first,
                                                    const std::array<OptionSpec, B>& second) {
  std::array<OptionSpec, A + B> all{};
  for (size_t i = 0; i < A; ++i) all[i] = first[i];
  for (size_t i = 0; i < B; ++i) all[A + i] = second[i];
  return all;
}

class ParsedOptions {
 public:
  bool Has(std::string_view name) const { return values_.contains(std::string(name)); }
  // The option's value; given more than once, the last one.
  std::optional<std::string> Value(std::string_view name) const;
  // Every value of a repeatable option, in the order given.
  std::vector<std::string> Values(std::string_view name) const;

  // The option's value as a whole number in [min, max]; `fallback` when absent.
  int Int(std::string_view name, int min, int max, int fallback) const;
  // The option's value as seconds, more than 0 and at most `max`.
  std::optional<double> Seconds(std::string_view name, double max) const;
  // The option's value as a finite number in [min, max]; nothing when absent.
  std::optional<double> Number(std::string_view name, double min, double max) const;

  void Add(std::string name, std::string value) {
    values_[std::move(name)].push_back(std::move(value));
  }

 private:
  std::map<std::string, std::vector<std::string>, std::less<>> values_;
};

// Refuses a request for temperatures made without a calibration table
// (`what` is "the celsius-tiff format", "--spot", ...): without one every
// temperature would read "none". Throws UsageError saying how to load one.
[[noreturn]] void RefuseWithoutTable(std::string_view what);

// Parses `args` (the words after the subcommand's name). "--help" and "-h" are
// always accepted and recorded as "--help". An option that is not repeatable
// may still be given twice; the last value counts, as scripts that append an
// override expect. Throws UsageError.
ParsedOptions ParseOptions(std::span<char* const> args, std::span<const OptionSpec> specs);

}  // namespace kt::cli
