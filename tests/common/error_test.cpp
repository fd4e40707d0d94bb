#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <iterator>
#include <string>

#include "common/qx_error.h"

namespace {

struct MessageRow {
  int name;  // the code's named constant
  int code;  // the number callers store: never renumbered
  const char *text;
};

// Every code with its name, number and message, in table order.
const MessageRow kExpectedMessages[] = {
    {QX_ERR_NONE, 0, "NULL"},
    {QX_ERR_ACTION_NOT_FINISH, 1, "Action not finish"},
    {QX_ERR_ACTION_NOT_VALID, 2, "Action not valid"},
    {QX_ERR_INDEX_NOT_FOUND, 3, "Index not found"},
    {QX_ERR_INDEX_NOT_VALID, 4, "Index not valid"},
    {QX_ERR_MEMORY_NOT_FOUND, 5, "Memory not found"},
    {QX_ERR_FILE_OPEN, 6, "File open failure"},
    {QX_ERR_FILE_WRITE, 7, "File write failure"},
    {QX_ERR_FILE_READ, 8, "File read failure"},
    {QX_ERR_FILE_CLOSE, 9, "File close failure"},
    {QX_ERR_FILE_NOT_FOUND, 10, "File not found"},
    {QX_ERR_FILE_NOT_VALID, 11, "File not valid"},
    {QX_ERR_FILE_TOO_LARGE, 12, "File size >= buffer_size_max"},
    {QX_ERR_IP_NOT_VALID, 13, "IP not valid"},
    {QX_ERR_ADDRESS_NOT_FOUND, 14, "IP:PORT not found"},
    {QX_ERR_ADDRESS_IN_USE, 15, "IP:PORT already use"},
    {QX_ERR_ID_NOT_FOUND, 16, "ID not found"},
    {QX_ERR_ID_IN_USE, 17, "ID already use"},
    {QX_ERR_ID_TOO_LARGE, 18, "ID >= QXXML_ID_COUNT_MAX"},
    {QX_ERR_TIMEOUT, 19, "Timeout"},
    {QX_ERR_SEM_INIT, 20, "Semaphore init failed"},
    {QX_ERR_SEM_POST, 21, "Semaphore post failed"},
    {QX_ERR_SEM_WAIT, 22, "Semaphore wait failed"},
    {QX_ERR_MUTEX_INIT, 23, "Mutex init failed"},
    {QX_ERR_MUTEX_LOCK, 24, "Mutex lock failed"},
    {QX_ERR_MUTEX_UNLOCK, 25, "Mutex unlock failed"},
    {QX_ERR_SOCKET_INIT, 26, "Socket init failed"},
    {QX_ERR_SOCKET_CREATE, 27, "Socket create failed"},
    {QX_ERR_SOCKET_CONNECT, 28, "Socket connect failure"},
    {QX_ERR_SOCKET_NONBLOCK, 29, "Socket nonblock setup failed"},
    {QX_ERR_SELECT_WRITE, 30, "Socket select write failure"},
    {QX_ERR_SELECT_READ, 31, "Socket select read failure"},
    {QX_ERR_SELECT, 32, "Socket select failure"},
    {QX_ERR_SELECT_TIMEOUT, 33, "Socket select timeout"},
    {QX_ERR_RECV, 34, "Recv failed"},
    {QX_ERR_SEND, 35, "Send failed"},
    {QX_ERR_THREAD0_NOT_EXIT, 36, "Thread 0 not exit"},
    {QX_ERR_THREAD0_CREATE, 37, "Thread 0 creation failed"},
    {QX_ERR_THREAD_CREATE, 38, "Thread creation failed"},
    {QX_ERR_THREAD_NOT_EXIT, 39, "Thread not exit"},
    {QX_ERR_THREAD_NOT_RUN, 40, "Thread not run"},
    {QX_ERR_MODULES_FULL, 41, "Count modules = QX*_MODULES_MAX"},
    {QX_ERR_PASSWORD_TOO_LONG, 42, "p_password >= AUTHENTICATE_MAX"},
    {QX_ERR_USER_TOO_LONG, 43, "p_user >= AUTHENTICATE_MAX"},
    {QX_ERR_XML_PARSER_CREATE, 44, "Create XML parser failure"},
    {QX_ERR_XML_NOT_VALID, 45, "XML file not valid"},
    {QX_ERR_HTTP_NOT_FOUND, 46, "HTTP not found"},
    {QX_ERR_HTTP_400, 47, "HTTP: Bad Request"},
    {QX_ERR_HTTP_401, 48, "HTTP: Unauthorized"},
    {QX_ERR_HTTP_402, 49, "HTTP: Payment Required"},
    {QX_ERR_HTTP_403, 50, "HTTP: Forbidden"},
    {QX_ERR_HTTP_404, 51, "HTTP: Not Found"},
    {QX_ERR_HTTP_405, 52, "HTTP: Method Not Allowed"},
    {QX_ERR_HTTP_406, 53, "HTTP: Not Acceptable"},
    {QX_ERR_HTTP_407, 54, "HTTP: Proxy Authentication Required"},
    {QX_ERR_HTTP_408, 55, "HTTP: Request Timeout"},
    {QX_ERR_HTTP_409, 56, "HTTP: Conflict"},
    {QX_ERR_HTTP_410, 57, "HTTP: Gone"},
    {QX_ERR_HTTP_411, 58, "HTTP: Length Required"},
    {QX_ERR_HTTP_412, 59, "HTTP: Precondition Failed"},
    {QX_ERR_HTTP_413, 60, "HTTP: Request Entity Too Large"},
    {QX_ERR_HTTP_414, 61, "HTTP: Request-URI Too Long"},
    {QX_ERR_HTTP_415, 62, "HTTP: Unsupported Media Type"},
    {QX_ERR_HTTP_416, 63, "HTTP: Requested Range Not Satisfiable"},
    {QX_ERR_HTTP_417, 64, "HTTP: Expectation Failed"},
    {QX_ERR_HTTP_500, 65, "HTTP: Internal Server Error"},
    {QX_ERR_HTTP_501, 66, "HTTP: Not Implemented"},
    {QX_ERR_HTTP_502, 67, "HTTP: Bad Gateway"},
    {QX_ERR_HTTP_503, 68, "HTTP: Service Unavailable"},
    {QX_ERR_HTTP_504, 69, "HTTP: Gateway Timeout"},
    {QX_ERR_HTTP_505, 70, "HTTP Version Not Supported"},
    {QX_ERR_HTTP_UNKNOWN, 71, "HTTP unknown"},
    {QX_ERR_NUMBER_NOT_IN_RANGE, 72, "Number not in range"},
    {QX_ERR_UNKNOWN_VALUE, 73, "Unknown value"},
    {QX_ERR_NO_DATA, 74, "No data"},
    {QX_ERR_BUFFER_FULL, 75, "Buffer is full"},
    {QX_ERR_CHECKSUM, 76, "Checksum is failure"},
    {QX_ERR_PAGE_ALLOC, 77, "Memory for page not alloc"},
    {QX_ERR_BUFFER_ALLOC, 78, "Memory for buffer not alloc"},
    {QX_ERR_TEA_AUTH, 79, "TEA authorization failure"},
    {QX_ERR_MODULE_IN_USE, 80, "Modul use more somewhere"},
    {QX_ERR_LENGTH_TOO_LARGE, 81, "Length > LENGTH_MAX"},
    {QX_ERR_SOCKET_REUSEADDR, 82, "Socket reuseaddr setup failed"},
    {QX_ERR_SOCKET_SNDBUF, 83, "Socket sndbuf setup failed"},
    {QX_ERR_SOCKET_MAXSEG, 84, "Socket maxseg setup failed"},
    {QX_ERR_POINTER_NULL, 85, "Assert: Pointer is NULL"},
    {QX_ERR_SERVER_CREATE, 86, "Server create failed"},
    {QX_ERR_CLIENT_CONNECT, 87, "Client connect failed"},
    {QX_ERR_SOCKET_LINGER, 88, "Socket linger setup failed"},
    {QX_ERR_RESOLVE, 89, "Resolve address failed"},
};

TEST(CommonErrorTable, EveryCodeHasItsMessage) {
  ASSERT_EQ(std::size(kExpectedMessages), static_cast<size_t>(QX_ERROR_CODE_COUNT));
  for (const MessageRow &row : kExpectedMessages) {
    EXPECT_EQ(row.name, row.code) << "the name of code " << row.code << " stands for " << row.name;
    char out[QX_ERROR_TEXT_MAX];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(qx_error_i2s(row.code, out), 0) << "code " << row.code;
    EXPECT_STREQ(out, row.text) << "qx_error_i2s, code " << row.code;
    EXPECT_STREQ(qx_error_message(row.code), row.text) << "qx_error_message, code " << row.code;
  }
}

TEST(CommonErrorTable, HttpVersionMessageHasNoColonUnlikeOtherHttpStatuses) {
  char out[QX_ERROR_TEXT_MAX] = {};
  qx_error_i2s(QX_ERR_HTTP_505, out);
  EXPECT_STREQ(out, "HTTP Version Not Supported");
  for (int code = QX_ERR_HTTP_400; code <= QX_ERR_HTTP_504; ++code)
    EXPECT_EQ(std::string(qx_error_message(code)).rfind("HTTP: ", 0), 0u) << "code " << code;
}

TEST(CommonErrorTable, SlotLimitMessage) {
  char out[QX_ERROR_TEXT_MAX] = {};
  EXPECT_EQ(qx_error_i2s(QX_ERR_ID_TOO_LARGE, out), 0);
  EXPECT_STREQ(out, "ID >= QXXML_ID_COUNT_MAX");
}

TEST(CommonErrorTable, CodeOutsideTableIsRefusedWithoutReadingPastIt) {
  for (int code : {-1, QX_ERROR_CODE_COUNT, 1000, INT_MIN, INT_MAX}) {
    char out[QX_ERROR_TEXT_MAX];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(qx_error_i2s(code, out), -1) << "code " << code;
    EXPECT_STREQ(out, "Unknown error code") << "code " << code;
    // A record of an unknown code carries the text of entry 0.
    EXPECT_STREQ(qx_error_message(code), "NULL") << "code " << code;
  }
}

TEST(CommonErrorTable, NullOutputIsRefused) { EXPECT_EQ(qx_error_i2s(QX_ERR_ACTION_NOT_FINISH, nullptr), -1); }

class CommonErrorCapture : public ::testing::Test {
 protected:
  qx_error_record record_;
  void SetUp() override { std::memset(&record_, 'x', sizeof record_); }
};

TEST_F(CommonErrorCapture, FillsEveryFieldAndKeepsErrno) {
  errno = EACCES;
  qx_error_capture(&record_, QX_ERR_THREAD_NOT_RUN, qx_error_message(QX_ERR_THREAD_NOT_RUN));
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(record_.code, QX_ERR_THREAD_NOT_RUN);
  EXPECT_EQ(record_.sys_errno, EACCES);
  EXPECT_STREQ(record_.text, "Thread not run");
  EXPECT_STREQ(record_.sys_text, std::strerror(EACCES));
}

TEST_F(CommonErrorCapture, CodeZeroRecordsNullTextAndCurrentErrno) {
  errno = ENOENT;
  qx_error_capture(&record_, QX_ERR_NONE, qx_error_message(QX_ERR_NONE));
  EXPECT_EQ(record_.code, QX_ERR_NONE);
  EXPECT_STREQ(record_.text, "NULL");
  EXPECT_EQ(record_.sys_errno, ENOENT);
  EXPECT_STREQ(record_.sys_text, std::strerror(ENOENT));
}

TEST_F(CommonErrorCapture, UnknownCodeIsStoredAsGivenWithEntryZeroText) {
  const int code_outside_table = 123;
  errno = 0;
  qx_error_capture(&record_, code_outside_table, qx_error_message(code_outside_table));
  EXPECT_EQ(record_.code, code_outside_table);
  EXPECT_STREQ(record_.text, "NULL");
  EXPECT_EQ(record_.sys_errno, 0);
}

TEST_F(CommonErrorCapture, LongTextIsTruncatedInsideTheField) {
  const std::string long_text(300, 'm');
  qx_error_capture(&record_, QX_ERR_MEMORY_NOT_FOUND, long_text.c_str());
  EXPECT_EQ(std::string(record_.text), long_text.substr(0, QX_ERROR_TEXT_MAX - 1));
}

TEST_F(CommonErrorCapture, NullTextGivesEmptyText) {
  qx_error_capture(&record_, QX_ERR_FILE_WRITE, nullptr);
  EXPECT_STREQ(record_.text, "");
  EXPECT_EQ(record_.code, QX_ERR_FILE_WRITE);
}

TEST_F(CommonErrorCapture, SecondCaptureReplacesTheFirst) {
  errno = EPERM;
  qx_error_capture(&record_, QX_ERR_FILE_TOO_LARGE, qx_error_message(QX_ERR_FILE_TOO_LARGE));
  errno = EINTR;
  qx_error_capture(&record_, QX_ERR_ACTION_NOT_FINISH, qx_error_message(QX_ERR_ACTION_NOT_FINISH));
  EXPECT_EQ(record_.code, QX_ERR_ACTION_NOT_FINISH);
  EXPECT_STREQ(record_.text, "Action not finish");
  EXPECT_EQ(record_.sys_errno, EINTR);
  EXPECT_STREQ(record_.sys_text, std::strerror(EINTR));
}

TEST_F(CommonErrorCapture, GivenErrnoIsRecordedInsteadOfTheCurrentOne) {
  errno = EINPROGRESS;
  qx_error_capture_errno(&record_, QX_ERR_SOCKET_CONNECT, qx_error_message(QX_ERR_SOCKET_CONNECT), ECONNREFUSED);
  EXPECT_EQ(errno, EINPROGRESS);
  EXPECT_EQ(record_.code, QX_ERR_SOCKET_CONNECT);
  EXPECT_STREQ(record_.text, "Socket connect failure");
  EXPECT_EQ(record_.sys_errno, ECONNREFUSED);
  EXPECT_STREQ(record_.sys_text, std::strerror(ECONNREFUSED));
}

// A failure no system call reported carries no system text: neither a stale
// one nor the "Success" of errno 0.
TEST_F(CommonErrorCapture, NoFailedCallLeavesTheSystemFieldsEmpty) {
  errno = EINPROGRESS;
  qx_error_capture_errno(&record_, QX_ERR_HTTP_401, qx_error_message(QX_ERR_HTTP_401), 0);
  EXPECT_EQ(errno, EINPROGRESS);
  EXPECT_EQ(record_.code, QX_ERR_HTTP_401);
  EXPECT_STREQ(record_.text, "HTTP: Unauthorized");
  EXPECT_EQ(record_.sys_errno, 0);
  EXPECT_STREQ(record_.sys_text, "");
  errno = 0;
  qx_error_capture(&record_, QX_ERR_TIMEOUT, qx_error_message(QX_ERR_TIMEOUT));
  EXPECT_EQ(record_.sys_errno, 0);
  EXPECT_STREQ(record_.sys_text, "");
}

}  // namespace
