#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <string>

#include "common/qx_socket.h"
#include "tests/common/resolver_spy.h"

namespace {

int int_option(int s, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  getsockopt(s, level, name, &value, &size);
  return value;
}

// The settings qx_socket_option can change, to tell what a call changed.
struct OptionState {
  bool nonblocking;
  int nodelay;
  int reuseaddr;
  int sndbuf;
  int linger_on;
  int linger_seconds;

  static OptionState of(int s) {
    linger l{};
    socklen_t size = sizeof l;
    getsockopt(s, SOL_SOCKET, SO_LINGER, &l, &size);
    return {(fcntl(s, F_GETFL) & O_NONBLOCK) != 0,
            int_option(s, IPPROTO_TCP, TCP_NODELAY),
            int_option(s, SOL_SOCKET, SO_REUSEADDR),
            int_option(s, SOL_SOCKET, SO_SNDBUF),
            l.l_onoff,
            l.l_linger};
  }
  bool operator==(const OptionState &o) const {
    return nonblocking == o.nonblocking && nodelay == o.nodelay && reuseaddr == o.reuseaddr && sndbuf == o.sndbuf &&
           linger_on == o.linger_on && linger_seconds == o.linger_seconds;
  }
};

class CommonSocketOption : public ::testing::Test {
 protected:
  int s_ = -1;
  void SetUp() override {
    ASSERT_EQ(qx_socket_startup(), 0);
    s_ = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(s_, 0);
  }
  void TearDown() override { qx_socket_close(s_); }
};

TEST_F(CommonSocketOption, KindsWithoutOptionChangeNothing) {
  const OptionState before = OptionState::of(s_);
  for (int kind : {QX_SOCKET_NOTHING, 6, 9, -1}) {
    EXPECT_EQ(qx_socket_option(s_, kind), 0) << "kind " << kind;
    EXPECT_TRUE(OptionState::of(s_) == before) << "kind " << kind;
  }
  EXPECT_EQ(qx_socket_option(QX_INVALID_SOCKET, 9), 0);
}

TEST_F(CommonSocketOption, EachKindSetsItsOption) {
  ASSERT_FALSE(OptionState::of(s_).nonblocking);
  ASSERT_EQ(qx_socket_option(s_, QX_SOCKET_NONBLOCK), 0);
  EXPECT_TRUE(OptionState::of(s_).nonblocking);

  ASSERT_EQ(qx_socket_option(s_, QX_SOCKET_NODELAY), 0);
  EXPECT_NE(OptionState::of(s_).nodelay, 0);

  ASSERT_EQ(qx_socket_option(s_, QX_SOCKET_REUSEADDR), 0);
  EXPECT_NE(OptionState::of(s_).reuseaddr, 0);

  ASSERT_EQ(qx_socket_option(s_, QX_SOCKET_LINGER), 0);
  EXPECT_EQ(OptionState::of(s_).linger_on, 1);
  EXPECT_EQ(OptionState::of(s_).linger_seconds, 0);

  ASSERT_EQ(qx_socket_option(s_, QX_SOCKET_SNDBUF), 0);
  // Linux caps the request at wmem_max and reports twice the granted size.
  long wmem_max = 0;
  if (std::ifstream("/proc/sys/net/core/wmem_max") >> wmem_max) {
    EXPECT_EQ(OptionState::of(s_).sndbuf, 2 * std::min(wmem_max, 10485760L));
  }
}

TEST_F(CommonSocketOption, RefusedOptionReportsFailure) {
  for (int kind : {QX_SOCKET_NONBLOCK, QX_SOCKET_NODELAY, QX_SOCKET_REUSEADDR, QX_SOCKET_SNDBUF, QX_SOCKET_LINGER})
    EXPECT_EQ(qx_socket_option(QX_INVALID_SOCKET, kind), -1) << "kind " << kind;
}

struct ResolveRow {
  const char *name;
  const char *host;
  int result;
  const char *expected_prefix;  // the whole text when it ends in a digit
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const ResolveRow &row, std::ostream *os) { *os << row.name; }

const ResolveRow kResolveRows[] = {
    {"dotted_loopback", "127.0.0.1", 0, "127.0.0.1"},
    {"dotted_other_loopback", "127.1.2.3", 0, "127.1.2.3"},
    {"localhost", "localhost", 0, "127."},
    {"invalid_name", "no-such-device.invalid", -1, ""},
    {"empty_name", "", -1, ""},
};

class CommonResolve : public ::testing::TestWithParam<ResolveRow> {};

TEST_P(CommonResolve, WritesDottedTextZeroFilled) {
  const ResolveRow &row = GetParam();
  char out[16];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(qx_resolve(out, row.host), row.result);
  const std::string text(out, strnlen(out, sizeof out));
  ASSERT_LT(text.size(), sizeof out) << "text not terminated";
  EXPECT_EQ(text.rfind(row.expected_prefix, 0), 0u) << "got " << text;
  if (std::strlen(row.expected_prefix) > 4) {
    EXPECT_EQ(text, row.expected_prefix);
  }
  for (size_t i = text.size(); i < sizeof out; ++i) EXPECT_EQ(out[i], '\0') << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Names, CommonResolve, ::testing::ValuesIn(kResolveRows),
                         [](const ::testing::TestParamInfo<ResolveRow> &info) { return info.param.name; });

struct NeverResolvesRow {
  const char *name;
  const char *host;
  bool looked_up;  // whether the resolver is asked
};

void PrintTo(const NeverResolvesRow &row, std::ostream *os) { *os << row.name; }

// Names under .invalid are refused as unresolvable without asking the
// resolver, which would send the query to the name server; every other name
// is still looked up (the resolver spy of this program answers those
// without a query).
const NeverResolvesRow kNeverResolvesRows[] = {
    {"top_level_name", "invalid", false},
    {"name_under_it", "no-such-device.invalid", false},
    {"upper_case", "NO-SUCH-DEVICE.INVALID", false},
    {"mixed_case_with_trailing_dot", "device.Invalid.", false},
    {"top_level_with_trailing_dot", "invalid.", false},
    {"label_ending_in_invalid", "deviceinvalid", true},
    {"invalid_as_first_label", "invalid.example", true},
    {"longer_top_level", "device.invalids", true},
};

class CommonResolveNeverResolves : public ::testing::TestWithParam<NeverResolvesRow> {};

TEST_P(CommonResolveNeverResolves, NameUnderInvalidIsRefusedWithoutALookup) {
  const NeverResolvesRow &row = GetParam();
  char out[16];
  std::memset(out, 'x', sizeof out);
  const int before = common_test::LookupCount();
  EXPECT_EQ(qx_resolve(out, row.host), -1);
  EXPECT_EQ(common_test::LookupCount() - before, row.looked_up ? 1 : 0);
  for (size_t i = 0; i < sizeof out; ++i) EXPECT_EQ(out[i], '\0') << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Names, CommonResolveNeverResolves, ::testing::ValuesIn(kNeverResolvesRows),
                         [](const ::testing::TestParamInfo<NeverResolvesRow> &info) { return info.param.name; });

TEST(CommonResolveArguments, NullNameIsRefused) {
  char out[16];
  EXPECT_EQ(qx_resolve(out, nullptr), -1);
  EXPECT_EQ(qx_resolve(nullptr, "127.0.0.1"), -1);
}

TEST(CommonSocketSend, SendToClosedPeerFailsWithoutSigpipe) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  qx_socket_close(pair[1]);
  // Without MSG_NOSIGNAL this would end the test program with SIGPIPE.
  errno = 0;
  EXPECT_EQ(qx_socket_send(pair[0], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  qx_socket_close(pair[0]);
}

TEST(CommonSocketSend, SendsWholeSmallBuffer) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  EXPECT_EQ(qx_socket_send(pair[0], "hello", 5), 5);
  char in[8] = {};
  EXPECT_EQ(recv(pair[1], in, sizeof in, 0), 5);
  EXPECT_STREQ(in, "hello");
  EXPECT_EQ(qx_socket_send(pair[0], "x", -1), -1);
  qx_socket_close(pair[0]);
  qx_socket_close(pair[1]);
}

TEST(CommonSocketSet, AddHasAndLimits) {
  qx_socket_set set;
  qx_socket_set_clear(&set);
  EXPECT_EQ(set.count, 0);
  EXPECT_EQ(qx_socket_set_add(&set, -1), -1);
  for (int fd = 0; fd < QX_SOCKET_SET_MAX; ++fd) ASSERT_EQ(qx_socket_set_add(&set, fd + 100), 0) << "fd " << fd + 100;
  EXPECT_EQ(qx_socket_set_add(&set, 99), -1) << "a full set must refuse";
  EXPECT_EQ(qx_socket_set_add(&set, 100), 0) << "a member is not added twice";
  EXPECT_EQ(set.count, QX_SOCKET_SET_MAX);
  EXPECT_EQ(qx_socket_set_has(&set, 163), 1);
  EXPECT_EQ(qx_socket_set_has(&set, 99), 0);
  qx_socket_set_clear(&set);
  EXPECT_EQ(qx_socket_set_has(&set, 100), 0);
}

}  // namespace
