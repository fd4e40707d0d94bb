#include "common/qx_base64.h"

#include <array>
#include <climits>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Used when the caller asks for its own line length but gives a negative one.
const int kDefaultLineLength = 64;

// What the decoder does with each byte: 0..63 are alphabet values.
enum CharClass : unsigned char {
  kLineEnd = 64,  // CR, LF: always skipped
  kBlank,         // backspace, tab, vertical tab, space
  kOther,
  kPadding,
};

constexpr std::array<unsigned char, 256> make_classes() {
  std::array<unsigned char, 256> classes{};
  for (auto &c : classes) c = kOther;
  for (int value = 0; value < 64; ++value)
    classes[static_cast<unsigned char>(kAlphabet[value])] = static_cast<unsigned char>(value);
  classes['\r'] = classes['\n'] = kLineEnd;
  classes['\b'] = classes['\t'] = classes['\v'] = classes[' '] = kBlank;
  classes['='] = kPadding;
  return classes;
}

constexpr std::array<unsigned char, 256> kClasses = make_classes();

void set_error(int *error, int value) {
  if (error != nullptr) *error = value;
}

int line_length_for(int mode, int line_length) {
  switch (mode & 0x0F) {
    case QX_BASE64_LINES_GIVEN: return line_length < 0 ? kDefaultLineLength : line_length;
    case QX_BASE64_LINES_64: return 64;
    case QX_BASE64_LINES_76: return 76;
    default: return 0;
  }
}

// Writes characters and puts CR LF between lines (never after the last one,
// so exactly the needed size is written whatever the capacity).
struct LineWriter {
  char *out;
  int line_length;
  int column = 0;
  int position = 0;

  void put(char c) {
    if (line_length > 0 && column == line_length) {
      out[position++] = '\r';
      out[position++] = '\n';
      column = 0;
    }
    out[position++] = c;
    ++column;
  }
};

int base64_encode_core(const unsigned char *data, int length, char *out, int capacity, int line_length, int *error) {
  set_error(error, QX_BASE64_OK);
  if (length < 0 || (data == nullptr && length > 0)) {
    set_error(error, QX_BASE64_BAD_ARGUMENT);
    return 0;
  }
  const long long characters = 4LL * ((length + 2LL) / 3);
  long long needed = characters;
  if (line_length > 0 && characters > 0)  // CR LF pairs between lines; none for empty text
    needed += 2 * ((characters + line_length - 1) / line_length - 1);
  if (needed > INT_MAX) {
    set_error(error, QX_BASE64_BAD_ARGUMENT);
    return 0;
  }
  if (out == nullptr) return static_cast<int>(needed);
  if (capacity < needed) {
    set_error(error, QX_BASE64_NO_ROOM);
    return 0;
  }

  LineWriter writer{out, line_length};
  for (int i = 0; i < length; i += 3) {
    const int present = length - i < 3 ? length - i : 3;
    unsigned int group = static_cast<unsigned int>(data[i]) << 16;
    if (present > 1) group |= static_cast<unsigned int>(data[i + 1]) << 8;
    if (present > 2) group |= data[i + 2];
    // A group of n bytes carries n + 1 characters; the rest are padding.
    for (int k = 0; k < 4; ++k) writer.put(k <= present ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=');
  }
  return static_cast<int>(needed);
}

int base64_decode_core(const char *text, int length, unsigned char *out, int capacity, int flags, const char **bad,
                       int *error) {
  set_error(error, QX_BASE64_OK);
  if (bad != nullptr) *bad = nullptr;
  if (length < 0 || (text == nullptr && length > 0)) {
    set_error(error, QX_BASE64_BAD_ARGUMENT);
    return 0;
  }
  // Every started group of 4 characters may give 3 bytes; skipped
  // characters only lower the real count, so the output stays below this.
  const int needed = 3 * (length / 4 + (length % 4 != 0 ? 1 : 0));
  if (out == nullptr) return needed;
  if (capacity < needed) {
    set_error(error, QX_BASE64_NO_ROOM);
    return 0;
  }

  unsigned int group = 0;
  int filled = 0;
  int padding = 0;
  int written = 0;
  for (int i = 0; i < length; ++i) {
    const unsigned char cls = kClasses[static_cast<unsigned char>(text[i])];
    unsigned int value = 0;
    if (cls == kPadding) {
      ++padding;
    } else if (cls < 64) {
      value = cls;
      padding = 0;
    } else {
      const int refused = cls == kBlank ? QX_BASE64_STRICT_BLANK : cls == kOther ? QX_BASE64_STRICT_OTHER : 0;
      if (flags & refused) {
        set_error(error, QX_BASE64_BAD_CHARACTER);
        if (bad != nullptr) *bad = text + i;
        return 0;
      }
      continue;
    }
    group = (group << 6) | value;
    if (++filled < 4) continue;
    // Three or more padding characters leave less than one whole byte.
    const int bytes = padding >= 3 ? 0 : 3 - padding;
    for (int k = 0; k < bytes; ++k) out[written++] = static_cast<unsigned char>(group >> (16 - 8 * k));
    if (padding > 0) break;
    group = 0;
    filled = 0;
  }
  return written;
}

}  // namespace

int qx_base64_encode(const void *data, int length, char *out, int capacity) {
  return base64_encode_core(static_cast<const unsigned char *>(data), length, out, capacity, 0, nullptr);
}

int qx_base64_encode_ex(const void *data, int length, char *out, int capacity, int mode, int line_length, int *error) {
  return base64_encode_core(static_cast<const unsigned char *>(data), length, out, capacity,
                            line_length_for(mode, line_length), error);
}

int qx_base64_decode(const char *text, int length, void *out, int capacity) {
  return base64_decode_core(text, length, static_cast<unsigned char *>(out), capacity, 0, nullptr, nullptr);
}

int qx_base64_decode_ex(const char *text, int length, void *out, int capacity, int flags, const char **bad,
                        int *error) {
  return base64_decode_core(text, length, static_cast<unsigned char *>(out), capacity, flags, bad, error);
}
