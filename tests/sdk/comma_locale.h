// A process locale whose decimal point is ",", built for the test run, to
// show that the layer's numbers do not follow the process locale.
#pragma once

#include <clocale>
#include <string>

namespace zelvoapi {

// Switches the process to a German UTF-8 locale, compiled with localedef
// into a temporary directory on first use. False when that is not possible
// (no localedef or locale sources); the caller then skips.
bool UseCommaLocale();

// Switches back to the "C" locale.
inline void UseCLocale() { std::setlocale(LC_ALL, "C"); }

}  // namespace zelvoapi
