#ifndef QX_ERROR_H
#define QX_ERROR_H

#include "common/qx_export.h"

/* Width of both text fields of an error record; the longest table message
 * has 37 characters, so every message fits with room to spare. */
#define QX_ERROR_TEXT_MAX 104
/* Codes are dense: 0 .. QX_ERROR_CODE_COUNT - 1, code = table position. */
#define QX_ERROR_CODE_COUNT 90

/* The code table: X(name, code, message). A code is its position and is never
 * renumbered, because callers store codes and compare them. Messages are the
 * texts records carry, spelling included. Names are QX_ERR_ followed by what
 * failed; the HTTP statuses 400..505 are named by their number. */
#define QX_ERROR_TABLE(X)                                           \
  X(QX_ERR_NONE, 0, "NULL")                                         \
  X(QX_ERR_ACTION_NOT_FINISH, 1, "Action not finish")               \
  X(QX_ERR_ACTION_NOT_VALID, 2, "Action not valid")                 \
  X(QX_ERR_INDEX_NOT_FOUND, 3, "Index not found")                   \
  X(QX_ERR_INDEX_NOT_VALID, 4, "Index not valid")                   \
  X(QX_ERR_MEMORY_NOT_FOUND, 5, "Memory not found")                 \
  X(QX_ERR_FILE_OPEN, 6, "File open failure")                       \
  X(QX_ERR_FILE_WRITE, 7, "File write failure")                     \
  X(QX_ERR_FILE_READ, 8, "File read failure")                       \
  X(QX_ERR_FILE_CLOSE, 9, "File close failure")                     \
  X(QX_ERR_FILE_NOT_FOUND, 10, "File not found")                    \
  X(QX_ERR_FILE_NOT_VALID, 11, "File not valid")                    \
  X(QX_ERR_FILE_TOO_LARGE, 12, "File size >= buffer_size_max")      \
  X(QX_ERR_IP_NOT_VALID, 13, "IP not valid")                        \
  X(QX_ERR_ADDRESS_NOT_FOUND, 14, "IP:PORT not found")              \
  X(QX_ERR_ADDRESS_IN_USE, 15, "IP:PORT already use")               \
  X(QX_ERR_ID_NOT_FOUND, 16, "ID not found")                        \
  X(QX_ERR_ID_IN_USE, 17, "ID already use")                         \
  X(QX_ERR_ID_TOO_LARGE, 18, "ID >= QXXML_ID_COUNT_MAX")            \
  X(QX_ERR_TIMEOUT, 19, "Timeout")                                  \
  X(QX_ERR_SEM_INIT, 20, "Semaphore init failed")                   \
  X(QX_ERR_SEM_POST, 21, "Semaphore post failed")                   \
  X(QX_ERR_SEM_WAIT, 22, "Semaphore wait failed")                   \
  X(QX_ERR_MUTEX_INIT, 23, "Mutex init failed")                     \
  X(QX_ERR_MUTEX_LOCK, 24, "Mutex lock failed")                     \
  X(QX_ERR_MUTEX_UNLOCK, 25, "Mutex unlock failed")                 \
  X(QX_ERR_SOCKET_INIT, 26, "Socket init failed")                   \
  X(QX_ERR_SOCKET_CREATE, 27, "Socket create failed")               \
  X(QX_ERR_SOCKET_CONNECT, 28, "Socket connect failure")            \
  X(QX_ERR_SOCKET_NONBLOCK, 29, "Socket nonblock setup failed")     \
  X(QX_ERR_SELECT_WRITE, 30, "Socket select write failure")         \
  X(QX_ERR_SELECT_READ, 31, "Socket select read failure")           \
  X(QX_ERR_SELECT, 32, "Socket select failure")                     \
  X(QX_ERR_SELECT_TIMEOUT, 33, "Socket select timeout")             \
  X(QX_ERR_RECV, 34, "Recv failed")                                 \
  X(QX_ERR_SEND, 35, "Send failed")                                 \
  X(QX_ERR_THREAD0_NOT_EXIT, 36, "Thread 0 not exit")               \
  X(QX_ERR_THREAD0_CREATE, 37, "Thread 0 creation failed")          \
  X(QX_ERR_THREAD_CREATE, 38, "Thread creation failed")             \
  X(QX_ERR_THREAD_NOT_EXIT, 39, "Thread not exit")                  \
  X(QX_ERR_THREAD_NOT_RUN, 40, "Thread not run")                    \
  X(QX_ERR_MODULES_FULL, 41, "Count modules = QX*_MODULES_MAX")     \
  X(QX_ERR_PASSWORD_TOO_LONG, 42, "p_password >= AUTHENTICATE_MAX") \
  X(QX_ERR_USER_TOO_LONG, 43, "p_user >= AUTHENTICATE_MAX")         \
  X(QX_ERR_XML_PARSER_CREATE, 44, "Create XML parser failure")      \
  X(QX_ERR_XML_NOT_VALID, 45, "XML file not valid")                 \
  X(QX_ERR_HTTP_NOT_FOUND, 46, "HTTP not found")                    \
  X(QX_ERR_HTTP_400, 47, "HTTP: Bad Request")                       \
  X(QX_ERR_HTTP_401, 48, "HTTP: Unauthorized")                      \
  X(QX_ERR_HTTP_402, 49, "HTTP: Payment Required")                  \
  X(QX_ERR_HTTP_403, 50, "HTTP: Forbidden")                         \
  X(QX_ERR_HTTP_404, 51, "HTTP: Not Found")                         \
  X(QX_ERR_HTTP_405, 52, "HTTP: Method Not Allowed")                \
  X(QX_ERR_HTTP_406, 53, "HTTP: Not Acceptable")                    \
  X(QX_ERR_HTTP_407, 54, "HTTP: Proxy Authentication Required")     \
  X(QX_ERR_HTTP_408, 55, "HTTP: Request Timeout")                   \
  X(QX_ERR_HTTP_409, 56, "HTTP: Conflict")                          \
  X(QX_ERR_HTTP_410, 57, "HTTP: Gone")                              \
  X(QX_ERR_HTTP_411, 58, "HTTP: Length Required")                   \
  X(QX_ERR_HTTP_412, 59, "HTTP: Precondition Failed")               \
  X(QX_ERR_HTTP_413, 60, "HTTP: Request Entity Too Large")          \
  X(QX_ERR_HTTP_414, 61, "HTTP: Request-URI Too Long")              \
  X(QX_ERR_HTTP_415, 62, "HTTP: Unsupported Media Type")            \
  X(QX_ERR_HTTP_416, 63, "HTTP: Requested Range Not Satisfiable")   \
  X(QX_ERR_HTTP_417, 64, "HTTP: Expectation Failed")                \
  X(QX_ERR_HTTP_500, 65, "HTTP: Internal Server Error")             \
  X(QX_ERR_HTTP_501, 66, "HTTP: Not Implemented")                   \
  X(QX_ERR_HTTP_502, 67, "HTTP: Bad Gateway")                       \
  X(QX_ERR_HTTP_503, 68, "HTTP: Service Unavailable")               \
  X(QX_ERR_HTTP_504, 69, "HTTP: Gateway Timeout")                   \
  X(QX_ERR_HTTP_505, 70, "HTTP Version Not Supported")              \
  X(QX_ERR_HTTP_UNKNOWN, 71, "HTTP unknown")                        \
  X(QX_ERR_NUMBER_NOT_IN_RANGE, 72, "Number not in range")          \
  X(QX_ERR_UNKNOWN_VALUE, 73, "Unknown value")                      \
  X(QX_ERR_NO_DATA, 74, "No data")                                  \
  X(QX_ERR_BUFFER_FULL, 75, "Buffer is full")                       \
  X(QX_ERR_CHECKSUM, 76, "Checksum is failure")                     \
  X(QX_ERR_PAGE_ALLOC, 77, "Memory for page not alloc")             \
  X(QX_ERR_BUFFER_ALLOC, 78, "Memory for buffer not alloc")         \
  X(QX_ERR_TEA_AUTH, 79, "TEA authorization failure")               \
  X(QX_ERR_MODULE_IN_USE, 80, "Modul use more somewhere")           \
  X(QX_ERR_LENGTH_TOO_LARGE, 81, "Length > LENGTH_MAX")             \
  X(QX_ERR_SOCKET_REUSEADDR, 82, "Socket reuseaddr setup failed")   \
  X(QX_ERR_SOCKET_SNDBUF, 83, "Socket sndbuf setup failed")         \
  X(QX_ERR_SOCKET_MAXSEG, 84, "Socket maxseg setup failed")         \
  X(QX_ERR_POINTER_NULL, 85, "Assert: Pointer is NULL")             \
  X(QX_ERR_SERVER_CREATE, 86, "Server create failed")               \
  X(QX_ERR_CLIENT_CONNECT, 87, "Client connect failed")             \
  X(QX_ERR_SOCKET_LINGER, 88, "Socket linger setup failed")         \
  X(QX_ERR_RESOLVE, 89, "Resolve address failed")

enum qx_error_code {
#define QX_ERROR_ENUM_ENTRY(name, code, message) name = code,
  QX_ERROR_TABLE(QX_ERROR_ENUM_ENTRY)
#undef QX_ERROR_ENUM_ENTRY
};

QX_BEGIN_DECLS

/* The reason of the last failure, copied out by value by the caller. */
typedef struct qx_error_record {
  int sys_errno;                    /* errno of the recording thread */
  int code;                         /* table code (unused by free-text records) */
  char sys_text[QX_ERROR_TEXT_MAX]; /* runtime library text of sys_errno */
  char text[QX_ERROR_TEXT_MAX];     /* table message or free message text */
} qx_error_record;

/* Copies the message of `code` into `out`, which must hold at least
 * QX_ERROR_TEXT_MAX bytes; returns 0. A code outside 0..89 copies
 * "Unknown error code" and returns -1; a null `out` returns -1. */
QX_EXPORT int qx_error_i2s(int code, char *out);

/* The static message of `code`; a code outside the table gives the text of
 * entry 0, "NULL", which is what a record of an unknown code carries. */
QX_EXPORT const char *qx_error_message(int code);

/* Overwrites the whole record: `text` (truncated to QX_ERROR_TEXT_MAX - 1
 * characters, empty when null), `sys_text` and `sys_errno` from the current
 * errno (an errno of 0 leaves `sys_text` empty rather than "Success"), and
 * `code` as given. errno is left as it was. The caller provides any locking
 * the record needs. */
QX_EXPORT void qx_error_capture(qx_error_record *record, int code, const char *text);

/* As qx_error_capture, but `sys_errno` is the error number of the call that
 * failed, handed in by the caller instead of read from errno, which later
 * calls may have changed. 0 means no system call failed: `sys_errno` 0 and
 * `sys_text` empty. errno is left as it was. */
QX_EXPORT void qx_error_capture_errno(qx_error_record *record, int code, const char *text, int sys_errno);

QX_END_DECLS

#ifdef __cplusplus
static_assert(sizeof(qx_error_record) == 216, "error record layout is part of the interface");
#endif

#endif
