#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <iterator>
#include <string>

#include "common/qx_error.h"

namespace {

struct MessageRow {
  int code;
  const char *text;
};

// Every code with its message, in table order.
const MessageRow kExpectedMessages[] = {
    {0, "NULL"},
    {1, "Action not finish"},
    {2, "Action not valid"},
    {3, "Index not found"},
    {4, "Index not valid"},
    {5, "Memory not found"},
    {6, "File open failure"},
    {7, "File write failure"},
    {8, "File read failure"},
    {9, "File close failure"},
    {10, "File not found"},
    {11, "File not valid"},
    {12, "File size >= buffer_size_max"},
    {13, "IP not valid"},
    {14, "IP:PORT not found"},
    {15, "IP:PORT already use"},
    {16, "ID not found"},
    {17, "ID already use"},
    {18, "ID >= QXXML_ID_COUNT_MAX"},
    {19, "Timeout"},
    {20, "Semaphore init failed"},
    {21, "Semaphore post failed"},
    {22, "Semaphore wait failed"},
    {23, "Mutex init failed"},
    {24, "Mutex lock failed"},
    {25, "Mutex unlock failed"},
    {26, "Socket init failed"},
    {27, "Socket create failed"},
    {28, "Socket connect failure"},
    {29, "Socket nonblock setup failed"},
    {30, "Socket select write failure"},
    {31, "Socket select read failure"},
    {32, "Socket select failure"},
    {33, "Socket select timeout"},
    {34, "Recv failed"},
    {35, "Send failed"},
    {36, "Thread 0 not exit"},
    {37, "Thread 0 creation failed"},
    {38, "Thread creation failed"},
    {39, "Thread not exit"},
    {40, "Thread not run"},
    {41, "Count modules = QX*_MODULES_MAX"},
    {42, "p_password >= AUTHENTICATE_MAX"},
    {43, "p_user >= AUTHENTICATE_MAX"},
    {44, "Create XML parser failure"},
    {45, "XML file not valid"},
    {46, "HTTP not found"},
    {47, "HTTP: Bad Request"},
    {48, "HTTP: Unauthorized"},
    {49, "HTTP: Payment Required"},
    {50, "HTTP: Forbidden"},
    {51, "HTTP: Not Found"},
    {52, "HTTP: Method Not Allowed"},
    {53, "HTTP: Not Acceptable"},
    {54, "HTTP: Proxy Authentication Required"},
    {55, "HTTP: Request Timeout"},
    {56, "HTTP: Conflict"},
    {57, "HTTP: Gone"},
    {58, "HTTP: Length Required"},
    {59, "HTTP: Precondition Failed"},
    {60, "HTTP: Request Entity Too Large"},
    {61, "HTTP: Request-URI Too Long"},
    {62, "HTTP: Unsupported Media Type"},
    {63, "HTTP: Requested Range Not Satisfiable"},
    {64, "HTTP: Expectation Failed"},
    {65, "HTTP: Internal Server Error"},
    {66, "HTTP: Not Implemented"},
    {67, "HTTP: Bad Gateway"},
    {68, "HTTP: Service Unavailable"},
    {69, "HTTP: Gateway Timeout"},
    {70, "HTTP Version Not Supported"},
    {71, "HTTP unknown"},
    {72, "Number not in range"},
    {73, "Unknown value"},
    {74, "No data"},
    {75, "Buffer is full"},
    {76, "Checksum is failure"},
    {77, "Memory for page not alloc"},
    {78, "Memory for buffer not alloc"},
    {79, "TEA authorization failure"},
    {80, "Modul use more somewhere"},
    {81, "Length > LENGTH_MAX"},
    {82, "Socket reuseaddr setup failed"},
    {83, "Socket sndbuf setup failed"},
    {84, "Socket maxseg setup failed"},
    {85, "Assert: Pointer is NULL"},
    {86, "Server create failed"},
    {87, "Client connect failed"},
    {88, "Socket linger setup failed"},
    {89, "Resolve address failed"},
};

TEST(CommonErrorTable, EveryCodeHasItsMessage) {
  ASSERT_EQ(std::size(kExpectedMessages), static_cast<size_t>(QX_ERROR_CODE_COUNT));
  for (const MessageRow &row : kExpectedMessages) {
    char out[QX_ERROR_TEXT_MAX];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(qx_error_i2s(row.code, out), 0) << "code " << row.code;
    EXPECT_STREQ(out, row.text) << "qx_error_i2s, code " << row.code;
    EXPECT_STREQ(qx_error_message(row.code), row.text) << "qx_error_message, code " << row.code;
  }
}

TEST(CommonErrorTable, HttpVersionMessageHasNoColonUnlikeOtherHttpStatuses) {
  char out[QX_ERROR_TEXT_MAX] = {};
  qx_error_i2s(70, out);
  EXPECT_STREQ(out, "HTTP Version Not Supported");
  for (int code = 47; code <= 69; ++code)
    EXPECT_EQ(std::string(qx_error_message(code)).rfind("HTTP: ", 0), 0u) << "code " << code;
}

TEST(CommonErrorTable, SlotLimitMessage) {
  char out[QX_ERROR_TEXT_MAX] = {};
  EXPECT_EQ(qx_error_i2s(18, out), 0);
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

TEST(CommonErrorTable, NullOutputIsRefused) { EXPECT_EQ(qx_error_i2s(1, nullptr), -1); }

class CommonErrorCapture : public ::testing::Test {
 protected:
  qx_error_record record_;
  void SetUp() override { std::memset(&record_, 'x', sizeof record_); }
};

TEST_F(CommonErrorCapture, FillsEveryFieldAndKeepsErrno) {
  errno = EACCES;
  qx_error_capture(&record_, 40, qx_error_message(40));
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(record_.code, 40);
  EXPECT_EQ(record_.sys_errno, EACCES);
  EXPECT_STREQ(record_.text, "Thread not run");
  EXPECT_STREQ(record_.sys_text, std::strerror(EACCES));
}

TEST_F(CommonErrorCapture, CodeZeroRecordsNullTextAndCurrentErrno) {
  errno = ENOENT;
  qx_error_capture(&record_, 0, qx_error_message(0));
  EXPECT_EQ(record_.code, 0);
  EXPECT_STREQ(record_.text, "NULL");
  EXPECT_EQ(record_.sys_errno, ENOENT);
  EXPECT_STREQ(record_.sys_text, std::strerror(ENOENT));
}

TEST_F(CommonErrorCapture, UnknownCodeIsStoredAsGivenWithEntryZeroText) {
  errno = 0;
  qx_error_capture(&record_, 123, qx_error_message(123));
  EXPECT_EQ(record_.code, 123);
  EXPECT_STREQ(record_.text, "NULL");
  EXPECT_EQ(record_.sys_errno, 0);
}

TEST_F(CommonErrorCapture, LongTextIsTruncatedInsideTheField) {
  const std::string long_text(300, 'm');
  qx_error_capture(&record_, 5, long_text.c_str());
  EXPECT_EQ(std::string(record_.text), long_text.substr(0, QX_ERROR_TEXT_MAX - 1));
}

TEST_F(CommonErrorCapture, NullTextGivesEmptyText) {
  qx_error_capture(&record_, 7, nullptr);
  EXPECT_STREQ(record_.text, "");
  EXPECT_EQ(record_.code, 7);
}

TEST_F(CommonErrorCapture, SecondCaptureReplacesTheFirst) {
  errno = EPERM;
  qx_error_capture(&record_, 12, qx_error_message(12));
  errno = EINTR;
  qx_error_capture(&record_, 1, qx_error_message(1));
  EXPECT_EQ(record_.code, 1);
  EXPECT_STREQ(record_.text, "Action not finish");
  EXPECT_EQ(record_.sys_errno, EINTR);
  EXPECT_STREQ(record_.sys_text, std::strerror(EINTR));
}

}  // namespace
