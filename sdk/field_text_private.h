// Fixed-size text fields of the library records, read into strings and
// written from them without ever reaching past the field.
#ifndef SDK_FIELD_TEXT_PRIVATE_H
#define SDK_FIELD_TEXT_PRIVATE_H

#include <cstddef>
#include <cstring>
#include <string>

namespace zelvoapi {

// The field up to its first zero byte, or whole when it has none.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// Writes at most `limit` characters of `text` (up to its first zero byte)
// and clears the rest of the field, so that it always ends in a zero.
template <size_t N>
void PutText(char (&field)[N], const std::string &text, size_t limit = N - 1) {
  static_assert(N > 0, "a text field holds at least its zero byte");
  const size_t length = strnlen(text.c_str(), limit < N ? limit : N - 1);
  std::memcpy(field, text.data(), length);
  std::memset(field + length, 0, N - length);
}

}  // namespace zelvoapi

#endif
