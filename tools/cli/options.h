// Command-line options of the subcommands: "--name value", "--name=value" and
// flags, checked against each subcommand's table so that a typo is a usage
// error and never silently ignored.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

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
};

class ParsedOptions {
 public:
  bool Has(std::string_view name) const { return values_.contains(std::string(name)); }
  std::optional<std::string> Value(std::string_view name) const;

  // The option's value as a whole number in [min, max]; `fallback` when absent.
  int Int(std::string_view name, int min, int max, int fallback) const;
  // The option's value as seconds, more than 0 and at most `max`.
  std::optional<double> Seconds(std::string_view name, double max) const;

  void Set(std::string name, std::string value) { values_[std::move(name)] = std::move(value); }

 private:
  std::map<std::string, std::string> values_;
};

// Parses `args` (the words after the subcommand's name). "--help" and "-h" are
// always accepted and recorded as "--help". Throws UsageError.
ParsedOptions ParseOptions(std::span<char* const> args, std::span<const OptionSpec> specs);

}  // namespace kt::cli
