#include "comma_locale.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zelvoapi {

namespace {

// The compiled locale, removed when the test process ends.
struct TLocaleDir {
  std::string path;
  bool built = false;
  TLocaleDir() {
    char pattern[] = "/tmp/sdk-locale-XXXXXX";
    if (!mkdtemp(pattern)) return;
    path = pattern;
    std::string command = "localedef -i de_DE -f UTF-8 " + path + "/de_DE.UTF-8 >/dev/null 2>&1";
    built = std::system(command.c_str()) == 0 || std::filesystem::exists(path + "/de_DE.UTF-8/LC_NUMERIC");
    if (built) setenv("LOCPATH", path.c_str(), 1);
  }
  ~TLocaleDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

bool UseCommaLocale() {
  static TLocaleDir dir;
  if (!dir.built || !std::setlocale(LC_ALL, "de_DE.UTF-8")) return false;
  return std::localeconv()->decimal_point[0] == ',';
}

}  // namespace zelvoapi
