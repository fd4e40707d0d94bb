// The command line of one sub-command: its positional arguments and its
// options, checked against the options the sub-command knows.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zelvocli {

struct TOptionSpec {
  const char *Name;  // with its leading "--"
  bool TakesValue;
};

// Options every sub-command knows.
extern const std::vector<TOptionSpec> kCommonOptions;

class TArguments {
 public:
  // Reads `args`; Error() is non-empty when an option is unknown, lacks its
  // value or is given twice.
  TArguments(const std::vector<std::string> &args, const std::vector<TOptionSpec> &specs);

  const std::string &Error() const { return error_; }
  const std::vector<std::string> &Positional() const { return positional_; }
  bool Has(const std::string &name) const { return values_.count(name) != 0; }
  std::optional<std::string> Value(const std::string &name) const;

 private:
  std::vector<std::string> positional_;
  std::map<std::string, std::string> values_;  // a flag maps to ""
  std::string error_;
};

// A whole decimal number in [min, max] or nothing.
std::optional<long> ParseInteger(const std::string &text, long min, long max);
// A decimal number, "." as separator, or nothing.
std::optional<double> ParseNumber(const std::string &text);

}  // namespace zelvocli
