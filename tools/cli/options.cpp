#include "tools/cli/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace zelvocli {

const std::vector<TOptionSpec> kCommonOptions = {
    {"--help", false},
    {"--json", false},
};

TArguments::TArguments(const std::vector<std::string> &args, const std::vector<TOptionSpec> &specs) {
  for (std::size_t i = 0; i < args.size() && error_.empty(); ++i) {
    const std::string &arg = args[i];
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      positional_.push_back(arg);
      continue;
    }
    auto known = [&](const std::vector<TOptionSpec> &list) {
      return std::find_if(list.begin(), list.end(), [&](const TOptionSpec &s) { return arg == s.Name; });
    };
    const TOptionSpec *spec = nullptr;
    if (auto it = known(specs); it != specs.end()) spec = &*it;
    if (auto it = known(kCommonOptions); it != kCommonOptions.end()) spec = &*it;
    if (!spec) {
      error_ = "unknown option " + arg;
    } else if (values_.count(arg)) {
      error_ = "option " + arg + " given twice";
    } else if (!spec->TakesValue) {
      values_[arg] = "";
    } else if (i + 1 >= args.size()) {
      error_ = "option " + arg + " needs a value";
    } else {
      values_[arg] = args[++i];
    }
  }
}

std::optional<std::string> TArguments::Value(const std::string &name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::optional<long> ParseInteger(const std::string &text, long min, long max) {
  if (text.empty()) return std::nullopt;
  char *end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || value < min || value > max) return std::nullopt;
  return value;
}

std::optional<double> ParseNumber(const std::string &text) {
  if (text.empty()) return std::nullopt;
  char *end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);  // the program runs in the "C" numeric locale
  if (*end != '\0' || errno != 0) return std::nullopt;
  return value;
}

}  // namespace zelvocli
