#include "common/qx_error.h"

#include <cerrno>
#include <cstring>

namespace {

// Code = position; codes are never renumbered because callers store them.
const char *const kMessages[QX_ERROR_CODE_COUNT] = {
    "NULL",                                   // 0
    "Action not finish",                      // 1
    "Action not valid",                       // 2
    "Index not found",                        // 3
    "Index not valid",                        // 4
    "Memory not found",                       // 5
    "File open failure",                      // 6
    "File write failure",                     // 7
    "File read failure",                      // 8
    "File close failure",                     // 9
    "File not found",                         // 10
    "File not valid",                         // 11
    "File size >= buffer_size_max",           // 12
    "IP not valid",                           // 13
    "IP:PORT not found",                      // 14
    "IP:PORT already use",                    // 15
    "ID not found",                           // 16
    "ID already use",                         // 17
    "ID >= QXXML_ID_COUNT_MAX",               // 18
    "Timeout",                                // 19
    "Semaphore init failed",                  // 20
    "Semaphore post failed",                  // 21
    "Semaphore wait failed",                  // 22
    "Mutex init failed",                      // 23
    "Mutex lock failed",                      // 24
    "Mutex unlock failed",                    // 25
    "Socket init failed",                     // 26
    "Socket create failed",                   // 27
    "Socket connect failure",                 // 28
    "Socket nonblock setup failed",           // 29
    "Socket select write failure",            // 30
    "Socket select read failure",             // 31
    "Socket select failure",                  // 32
    "Socket select timeout",                  // 33
    "Recv failed",                            // 34
    "Send failed",                            // 35
    "Thread 0 not exit",                      // 36
    "Thread 0 creation failed",               // 37
    "Thread creation failed",                 // 38
    "Thread not exit",                        // 39
    "Thread not run",                         // 40
    "Count modules = QX*_MODULES_MAX",        // 41
    "p_password >= AUTHENTICATE_MAX",         // 42
    "p_user >= AUTHENTICATE_MAX",             // 43
    "Create XML parser failure",              // 44
    "XML file not valid",                     // 45
    "HTTP not found",                         // 46
    "HTTP: Bad Request",                      // 47 (HTTP 400)
    "HTTP: Unauthorized",                     // 48
    "HTTP: Payment Required",                 // 49
    "HTTP: Forbidden",                        // 50
    "HTTP: Not Found",                        // 51
    "HTTP: Method Not Allowed",               // 52
    "HTTP: Not Acceptable",                   // 53
    "HTTP: Proxy Authentication Required",    // 54
    "HTTP: Request Timeout",                  // 55
    "HTTP: Conflict",                         // 56
    "HTTP: Gone",                             // 57
    "HTTP: Length Required",                  // 58
    "HTTP: Precondition Failed",              // 59
    "HTTP: Request Entity Too Large",         // 60
    "HTTP: Request-URI Too Long",             // 61
    "HTTP: Unsupported Media Type",           // 62
    "HTTP: Requested Range Not Satisfiable",  // 63
    "HTTP: Expectation Failed",               // 64 (HTTP 417)
    "HTTP: Internal Server Error",            // 65 (HTTP 500)
    "HTTP: Not Implemented",                  // 66
    "HTTP: Bad Gateway",                      // 67
    "HTTP: Service Unavailable",              // 68
    "HTTP: Gateway Timeout",                  // 69
    "HTTP Version Not Supported",             // 70 (HTTP 505), no colon by design
    "HTTP unknown",                           // 71
    "Number not in range",                    // 72
    "Unknown value",                          // 73
    "No data",                                // 74
    "Buffer is full",                         // 75
    "Checksum is failure",                    // 76
    "Memory for page not alloc",              // 77
    "Memory for buffer not alloc",            // 78
    "TEA authorization failure",              // 79
    "Modul use more somewhere",               // 80
    "Length > LENGTH_MAX",                    // 81
    "Socket reuseaddr setup failed",          // 82
    "Socket sndbuf setup failed",             // 83
    "Socket maxseg setup failed",             // 84
    "Assert: Pointer is NULL",                // 85
    "Server create failed",                   // 86
    "Client connect failed",                  // 87
    "Socket linger setup failed",             // 88
    "Resolve address failed",                 // 89
};

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
  const int saved_errno = errno;
  if (record == nullptr) return;
  std::memset(record, 0, sizeof *record);
  copy_text(record->text, text);
  char buffer[QX_ERROR_TEXT_MAX] = {};
  errno_text(strerror_r(saved_errno, buffer, sizeof buffer), buffer, record->sys_text);
  record->sys_errno = saved_errno;
  record->code = code;
  errno = saved_errno;
}
