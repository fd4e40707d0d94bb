#include "common/qx_error.h"

#include <cerrno>
#include <cstring>

namespace {

#define QX_ERROR_MESSAGE_ENTRY(name, code, message) message,
const char *const kMessages[] = {QX_ERROR_TABLE(QX_ERROR_MESSAGE_ENTRY)};
#undef QX_ERROR_MESSAGE_ENTRY
static_assert(sizeof kMessages / sizeof kMessages[0] == QX_ERROR_CODE_COUNT, "the table holds exactly 90 codes");

// Codes are dense: every entry's code is its position in the table.
#define QX_ERROR_CODE_ENTRY(name, code, message) code,
constexpr int kCodes[] = {QX_ERROR_TABLE(QX_ERROR_CODE_ENTRY)};
#undef QX_ERROR_CODE_ENTRY
constexpr bool codes_are_positions() {
  for (int i = 0; i < QX_ERROR_CODE_COUNT; ++i)
    if (kCodes[i] != i) return false;
  return true;
}
static_assert(codes_are_positions(), "every code is its position in the table");

const char kUnknownCode[] = "Unknown error code";

bool in_table(int code) { return code >= 0 && code < QX_ERROR_CODE_COUNT; }

// Copies at most QX_ERROR_TEXT_MAX - 1 characters and always terminates.
void copy_text(char *field, const char *text) {
  if (text == nullptr) {
    field[0] = '\0';
    return;
  }
  std::size_t length = strnlen(text, QX_ERROR_TEXT_MAX - 1);
  std::memcpy(field, text, length);
  field[length] = '\0';
}

// strerror_r comes in two shapes: the GNU one returns the text (which may be
// a static string instead of the buffer), the POSIX one fills the buffer.
// Only one of the two is used by a given C library.
[[maybe_unused]] void errno_text(const char *gnu_result, const char *, char *field) { copy_text(field, gnu_result); }
[[maybe_unused]] void errno_text(int posix_result, const char *buffer, char *field) {
  copy_text(field, posix_result == 0 ? buffer : "");
}

}  // namespace

int qx_error_i2s(int code, char *out) {
  if (out == nullptr) return -1;
  if (!in_table(code)) {
    copy_text(out, kUnknownCode);
    return -1;
  }
  copy_text(out, kMessages[code]);
  return 0;
}

const char *qx_error_message(int code) { return kMessages[in_table(code) ? code : 0]; }

void qx_error_capture(qx_error_record *record, int code, const char *text) {
  qx_error_capture_errno(record, code, text, errno);
}

void qx_error_capture_errno(qx_error_record *record, int code, const char *text, int sys_errno) {
  const int saved_errno = errno;
  if (record == nullptr) return;
  std::memset(record, 0, sizeof *record);
  copy_text(record->text, text);
  if (sys_errno != 0) {
    char buffer[QX_ERROR_TEXT_MAX] = {};
    errno_text(strerror_r(sys_errno, buffer, sizeof buffer), buffer, record->sys_text);
  }
  record->sys_errno = sys_errno;
  record->code = code;
  errno = saved_errno;
}
