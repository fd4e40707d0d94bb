#include "sdk/text_number.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <climits>

namespace zelvoapi {

namespace {

// The runtime's isspace in the "C" locale, which is what atol skips.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The "C" locale, created once: documents always write "." as the decimal
// point, while an application may have switched the process locale to one
// that expects ",".
locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

}  // namespace

int32_t text_to_int32(const char *text) {
  if (!text) return 0;
  while (IsBlank(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  long long value = 0;
  // Stop accumulating once past the 32-bit range: the result saturates.
  for (; *text >= '0' && *text <= '9' && value <= INT32_MAX; ++text) value = value * 10 + (*text - '0');
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

double text_to_double(const char *text) {
  if (!text) return 0;
  locale_t c = CLocale();
  return c ? strtod_l(text, nullptr, c) : strtod(text, nullptr);
}

bool format_fixed(char *out, std::size_t size, double value, int32_t decimals) {
  if (!out || size == 0) return false;
  out[0] = '\0';
  // A precision beyond the buffer cannot fit; refusing it early also spares
  // the conversion from working out hundreds of digits.
  if (decimals < 0 || static_cast<std::size_t>(decimals) >= size) return false;
  auto result = std::to_chars(out, out + size - 1, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) {
    out[0] = '\0';
    return false;
  }
  *result.ptr = '\0';
  return true;
}

}  // namespace zelvoapi
