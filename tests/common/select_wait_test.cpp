#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ostream>
#include <thread>

#include "common/qx_select_wait_private.h"
#include "tests/common/helper_thread.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

long elapsed_ms(steady_clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count());
}

qx_socket_set set_of(std::initializer_list<int> fds) {
  qx_socket_set set;
  qx_socket_set_clear(&set);
  for (int fd : fds) qx_socket_set_add(&set, fd);
  return set;
}

class CommonSelectWait : public ::testing::Test {
 protected:
  int near_[2] = {-1, -1};   // near_[0] is watched, near_[1] is its peer
  int quiet_[2] = {-1, -1};  // a pair on which nothing happens
  std::atomic<int> running_{1};

  void SetUp() override {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, near_), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, quiet_), 0);
  }
  void TearDown() override {
    for (int fd : {near_[0], near_[1], quiet_[0], quiet_[1]}) qx_socket_close(fd);
  }
  void close_peer() {
    qx_socket_close(near_[1]);
    near_[1] = -1;
  }
};

TEST_F(CommonSelectWait, NeverReadySocketFailsAfterItsAttempts) {
  qx_socket_set read = set_of({quiet_[0]});
  const auto start = steady_clock::now();
  EXPECT_EQ(qx_select_wait(&read, nullptr, nullptr, 2, &running_), -1);
  EXPECT_GE(elapsed_ms(start), 1900);
  EXPECT_LE(elapsed_ms(start), 2600);
  EXPECT_EQ(read.count, 1) << "a failed wait leaves the caller's set as it was";
}

TEST_F(CommonSelectWait, ReadySocketReturnsAtOnceWithSetsReduced) {
  ASSERT_EQ(qx_socket_send(near_[1], "x", 1), 1);
  qx_socket_set read = set_of({quiet_[0], near_[0]});
  qx_socket_set write = set_of({near_[0]});
  qx_socket_set error = set_of({quiet_[0], near_[0]});
  const auto start = steady_clock::now();
  EXPECT_EQ(qx_select_wait(&read, &write, &error, 5, &running_), 0);
  EXPECT_LT(elapsed_ms(start), 500);
  EXPECT_EQ(read.count, 1);
  EXPECT_EQ(read.fd[0], near_[0]);
  EXPECT_EQ(write.count, 1);
  EXPECT_EQ(error.count, 0);
}

enum class Event { kData, kPeerClosed, kNothing };
enum class Watch { kRead, kWrite, kError };

struct ReadinessRow {
  const char *name;
  Event event;
  Watch watch;
  int expected_result;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const ReadinessRow &row, std::ostream *os) { *os << row.name; }

// Each row waits at most one attempt, so a row that is not ready costs 1 s.
const ReadinessRow kReadinessRows[] = {
    {"data_is_readable", Event::kData, Watch::kRead, 0},
    {"end_of_stream_is_readable", Event::kPeerClosed, Watch::kRead, 0},
    {"room_is_writable", Event::kNothing, Watch::kWrite, 0},
    {"hang_up_is_error", Event::kPeerClosed, Watch::kError, 0},
    {"data_is_no_error", Event::kData, Watch::kError, -1},
};

class CommonSelectReadiness : public CommonSelectWait, public ::testing::WithParamInterface<ReadinessRow> {};

TEST_P(CommonSelectReadiness, Row) {
  const ReadinessRow &row = GetParam();
  if (row.event == Event::kData) {
    ASSERT_EQ(qx_socket_send(near_[1], "x", 1), 1);
  }
  if (row.event == Event::kPeerClosed) close_peer();
  qx_socket_set watched = set_of({near_[0]});
  qx_socket_set *sets[3] = {nullptr, nullptr, nullptr};
  sets[static_cast<int>(row.watch)] = &watched;
  EXPECT_EQ(qx_select_wait(sets[0], sets[1], sets[2], 1, &running_), row.expected_result);
  if (row.expected_result == 0) {
    EXPECT_EQ(qx_socket_set_has(&watched, near_[0]), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Events, CommonSelectReadiness, ::testing::ValuesIn(kReadinessRows),
                         [](const ::testing::TestParamInfo<ReadinessRow> &info) { return info.param.name; });

TEST_F(CommonSelectWait, StopMarkEndsWaitWithinOneAttempt) {
  qx_socket_set read = set_of({quiet_[0]});
  common_test::Helper closer([this] {
    std::this_thread::sleep_for(milliseconds(300));
    running_ = 0;
  });
  const auto start = steady_clock::now();
  EXPECT_EQ(qx_select_wait(&read, nullptr, nullptr, 10, &running_), QX_WAIT_STOPPED);
  EXPECT_LE(elapsed_ms(start), 1600);
  EXPECT_TRUE(closer.finished_within(milliseconds(1000)));
}

TEST_F(CommonSelectWait, StopMarkIsLookedAtBeforeReadiness) {
  running_ = 0;
  qx_socket_set write = set_of({near_[0]});
  EXPECT_EQ(qx_select_wait(nullptr, &write, nullptr, 3, &running_), QX_WAIT_STOPPED);
}

TEST_F(CommonSelectWait, NoStopMarkAndNoAttempts) {
  qx_socket_set write = set_of({near_[0]});
  EXPECT_EQ(qx_select_wait(nullptr, &write, nullptr, 1, nullptr), 0);
  const auto start = steady_clock::now();
  EXPECT_EQ(qx_select_wait(nullptr, &write, nullptr, 0, &running_), -1);
  EXPECT_LT(elapsed_ms(start), 100);
}

TEST_F(CommonSelectWait, DescriptorAboveSelectLimitIsWatched) {
  const int high_fd = 1500;
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_cur <= static_cast<rlim_t>(high_fd)) {
    if (limit.rlim_max <= static_cast<rlim_t>(high_fd))
      GTEST_SKIP() << "descriptor limit " << limit.rlim_max << " too low";
    limit.rlim_cur = high_fd + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
  }
  ASSERT_EQ(dup2(near_[0], high_fd), high_fd);
  ASSERT_EQ(qx_socket_send(near_[1], "x", 1), 1);
  qx_socket_set read = set_of({quiet_[0], high_fd});
  EXPECT_EQ(qx_select_wait(&read, nullptr, nullptr, 2, &running_), 0);
  EXPECT_EQ(read.count, 1);
  EXPECT_EQ(read.fd[0], high_fd);
  qx_socket_close(high_fd);
}

TEST_F(CommonSelectWait, ClosedDescriptorIsReportedAtOnce) {
  const int closed = dup(quiet_[0]);
  ASSERT_GE(closed, 0);
  qx_socket_close(closed);
  qx_socket_set read = set_of({closed});
  qx_socket_set write = set_of({closed});
  const auto start = steady_clock::now();
  EXPECT_EQ(qx_select_wait(&read, &write, nullptr, 3, &running_), 0);
  EXPECT_LT(elapsed_ms(start), 500);
  EXPECT_EQ(read.count, 1);
  EXPECT_EQ(write.count, 1);
}

// A loopback TCP port that refuses connections: bound, never listening.
class CommonSelectConnect : public ::testing::Test {
 protected:
  int server_ = -1;
  int client_ = -1;
  sockaddr_in address_{};
  std::atomic<int> running_{1};

  void SetUp() override {
    server_ = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(server_, 0);
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server_, reinterpret_cast<sockaddr *>(&address_), sizeof address_), 0);
    socklen_t size = sizeof address_;
    ASSERT_EQ(getsockname(server_, reinterpret_cast<sockaddr *>(&address_), &size), 0);
    client_ = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(client_, 0);
    ASSERT_EQ(qx_socket_option(client_, QX_SOCKET_NONBLOCK), 0);
  }
  void TearDown() override {
    qx_socket_close(client_);
    qx_socket_close(server_);
  }
  // 0 when the connect is under way, -1 when it finished (or failed) at once.
  int start_connect() {
    const int rc = connect(client_, reinterpret_cast<sockaddr *>(&address_), sizeof address_);
    return rc < 0 && errno == EINPROGRESS ? 0 : -1;
  }
  bool has_peer() {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    return getpeername(client_, reinterpret_cast<sockaddr *>(&peer), &size) == 0;
  }
};

TEST_F(CommonSelectConnect, RefusedConnectIsWritableAndHasNoPeer) {
  if (start_connect() != 0) GTEST_SKIP() << "the refusal was reported by connect itself";
  qx_socket_set write = set_of({client_});
  EXPECT_EQ(qx_select_wait(nullptr, &write, nullptr, 5, &running_), 0);
  EXPECT_EQ(qx_socket_set_has(&write, client_), 1);
  EXPECT_FALSE(has_peer());
}

TEST_F(CommonSelectConnect, CompletedConnectIsWritableAndHasPeer) {
  ASSERT_EQ(listen(server_, 1), 0);
  const int rc = start_connect();
  qx_socket_set write = set_of({client_});
  EXPECT_EQ(qx_select_wait(nullptr, &write, nullptr, 5, &running_), 0);
  EXPECT_EQ(write.count, 1);
  EXPECT_TRUE(has_peer()) << "connect result " << rc;
}

}  // namespace
