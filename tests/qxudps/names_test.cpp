// The name lookup and name setting over HTTP, against the simulator and
// against a raw peer that answers with exactly the bytes a case gives.
#include <arpa/inet.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "qxudps/qxudps.h"
#include "qxudps/qxudps_private.h"
#include "tests/support/ports.h"
#include "tools/devsim/devsim.h"

namespace {

const char kLookupRequest[] = "GET /values.xml HTTP/1.0\r\n\r\n";
const char kReplyHeader[] = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n";
// Left in the error record before a case, to see whether the case wrote it.
const char kEarlierFailure[] = "Send failed";
const int kEarlierErrno = EPIPE;
const size_t kNameMax = QXUDPS_NAME_SIZE - 1;
const char kNameBefore[] = "name before";
const unsigned int kNamedType = 6;  // a type whose devices have a name

// A lookup or a post of this test talks to one peer at a time, so a slice of
// the peer's waits, not its whole bound, is what a stop costs.
const int kPeerSliceMs = 20;
const int kPeerSendTimeoutS = 5;

qx_error_record Recorded() {
  qx_error_record record;
  qxudps_error(&record);
  return record;
}

void RecordEarlierFailure() { qxudps_record_error(kEarlierFailure, kEarlierErrno); }

std::string Reply(const std::string &body) { return kReplyHeader + body; }

std::string NameElement(const std::string &text) { return "<DeviceName>" + text + "</DeviceName>"; }

// A reply of exactly `size` bytes that names "Sized".
std::string ReplyOfSize(size_t size) {
  std::string reply = Reply(NameElement("Sized"));
  reply.append(size - reply.size(), ' ');
  return reply;
}

// How the raw peer ends the connection after its reply.
enum class Ending { close, keep_open, reset };

// Accepts one connection on a loopback port, reads the request head, sends
// `reply` and ends as told. Stopped and joined by its destructor.
class RawPeer {
 public:
  RawPeer(std::string reply, Ending ending) : reply_(std::move(reply)), ending_(ending) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listener_, 1) != 0 || getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
      ADD_FAILURE() << "raw peer: no listening socket: " << strerror(errno);
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }

  ~RawPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }

  RawPeer(const RawPeer &) = delete;
  RawPeer &operator=(const RawPeer &) = delete;

  int port() const { return port_; }

  std::string request() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return request_;
  }

 private:
  // Waits in short slices for `events` on `fd` until they come or the peer
  // is stopped.
  bool WaitFor(int fd, short events) {
    while (!stop_) {
      pollfd entry = {fd, events, 0};
      if (poll(&entry, 1, kPeerSliceMs) > 0) return true;
    }
    return false;
  }

  void Serve() {
    if (!WaitFor(listener_, POLLIN)) return;
    const int connection = accept(listener_, nullptr, nullptr);
    if (connection < 0) return;
    const timeval send_timeout = {kPeerSendTimeoutS, 0};
    setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof send_timeout);
    ReadHead(connection);
    for (size_t sent = 0; sent < reply_.size();) {
      const ssize_t n = send(connection, reply_.data() + sent, reply_.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    if (ending_ == Ending::keep_open) {
      while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(kPeerSliceMs));
    } else if (ending_ == Ending::reset) {
      const linger reset = {1, 0};
      setsockopt(connection, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    close(connection);
  }

  void ReadHead(int connection) {
    std::string head;
    char chunk[256];
    while (head.find("\r\n\r\n") == std::string::npos && WaitFor(connection, POLLIN)) {
      const ssize_t n = recv(connection, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      head.append(chunk, static_cast<size_t>(n));
    }
    std::lock_guard<std::mutex> hold(mutex_);
    request_ = head;
  }

  const std::string reply_;
  const Ending ending_;
  int listener_ = -1;
  int port_ = -1;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::string request_;
  std::thread thread_;
};

// ---- Lookup against replies of given bytes ----

struct LookupRow {
  const char *name;
  std::string reply;
  Ending ending;
  const char *error;  // null: the lookup succeeds
  std::string expected_name;
  int expected_errno;
};

void PrintTo(const LookupRow &row, std::ostream *os) { *os << row.name; }

class UdpsNameLookup : public ::testing::TestWithParam<LookupRow> {};

// A lookup that succeeds writes the name and leaves the error record as it
// was; one that fails records its reason and leaves the name as it was.
TEST_P(UdpsNameLookup, ReadsTheNameOrRecordsWhyNot) {
  const LookupRow &row = GetParam();
  RawPeer peer(row.reply, row.ending);
  ASSERT_GT(peer.port(), 0);
  RecordEarlierFailure();
  char name[QXUDPS_NAME_SIZE];
  strcpy(name, kNameBefore);

  const int result = qxudps_fetch_name("127.0.0.1", peer.port(), name, kNamedType);

  const qx_error_record record = Recorded();
  if (row.error == nullptr) {
    EXPECT_EQ(result, 0) << record.text;
    EXPECT_EQ(std::string(name), row.expected_name);
    EXPECT_STREQ(record.text, kEarlierFailure);
  } else {
    EXPECT_EQ(result, -1);
    EXPECT_STREQ(name, kNameBefore);
    EXPECT_STREQ(record.text, row.error);
    EXPECT_EQ(record.sys_errno, row.expected_errno);
  }
  EXPECT_EQ(peer.request(), kLookupRequest);
}

const std::string k150 = std::string(100, 'a') + std::string(50, 'b');
const std::string kE = "\xC3\xA9";  // U+00E9 in UTF-8

const LookupRow kLookupRows[] = {
    {"name", Reply(NameElement("Store 1")), Ending::close, nullptr, "Store 1", 0},
    {"empty_name", Reply(NameElement("")), Ending::close, nullptr, "", 0},
    {"blanks_kept", Reply(NameElement("  Store 1 ")), Ending::close, nullptr, "  Store 1 ", 0},
    {"first_element_counts", Reply(NameElement("one") + NameElement("two")), Ending::close, nullptr, "one", 0},
    {"tag_in_the_header_counts", "HTTP/1.0 200 OK\r\nX: " + NameElement("head") + "\r\n\r\n" + NameElement("body"),
     Ending::close, nullptr, "head", 0},
    {"name_of_150_characters_gives_the_first_99", Reply(NameElement(k150)), Ending::close, nullptr,
     k150.substr(0, kNameMax), 0},
    {"predefined_references_decoded", Reply(NameElement("A&amp;B &lt;1&gt; &quot;q&quot; &apos;")), Ending::close,
     nullptr, "A&B <1> \"q\" '", 0},
    {"character_references_decoded", Reply(NameElement("&#38;&#x26;&#233;")), Ending::close, nullptr, "&&" + kE, 0},
    {"unknown_and_bare_references_kept", Reply(NameElement("a &nbsp; b & c")), Ending::close, nullptr, "a &nbsp; b & c",
     0},
    {"cut_applies_to_the_decoded_text", Reply(NameElement(std::string(98, 'a') + "&amp;&amp;")), Ending::close, nullptr,
     std::string(98, 'a') + "&", 0},
    {"character_across_the_cut_left_out", Reply(NameElement(std::string(98, 'a') + kE + "x")), Ending::close, nullptr,
     std::string(98, 'a'), 0},
    {"character_ending_at_the_cut_kept", Reply(NameElement(std::string(97, 'a') + kE + "x")), Ending::close, nullptr,
     std::string(97, 'a') + kE, 0},
    {"reply_of_99999_bytes_accepted", ReplyOfSize(UDPS_XML_FILE_SIZE - 1), Ending::close, nullptr, "Sized", 0},
    {"reply_of_100000_bytes_refused", ReplyOfSize(UDPS_XML_FILE_SIZE), Ending::close,
     "XML file size >= UDPS_XML_FILE_SIZE", "", 0},
    {"closing_tag_missing", Reply("<DeviceName>Store 1"), Ending::close, "DeviceName not found", "", 0},
    {"opening_tag_missing", Reply("Store 1</DeviceName>"), Ending::close, "DeviceName not found", "", 0},
    {"closing_tag_first", Reply("</DeviceName><DeviceName>Store 1"), Ending::close, "DeviceName not found", "", 0},
    {"empty_reply", "", Ending::close, "XML file not found", "", 0},
    {"connection_reset", "", Ending::reset, "Recv failed", "", ECONNRESET},
};

INSTANTIATE_TEST_SUITE_P(Rows, UdpsNameLookup, ::testing::ValuesIn(kLookupRows),
                         [](const ::testing::TestParamInfo<LookupRow> &info) { return std::string(info.param.name); });

// ---- Lookup against peers that cannot be reached ----

struct UnreachableRow {
  const char *name;
  const char *address;
  int port;  // kRefused: a loopback port nobody listens on
  const char *error;
  int expected_errno;
};

const int kRefused = -1;

void PrintTo(const UnreachableRow &row, std::ostream *os) { *os << row.name; }

class UdpsNameUnreachable : public ::testing::TestWithParam<UnreachableRow> {};

// The name stays and the reason is recorded with the errno of the call that
// failed, none where no call did.
TEST_P(UdpsNameUnreachable, LookupRecordsWhyAndKeepsTheName) {
  const UnreachableRow &row = GetParam();
  int port = row.port;
  if (port == kRefused) {
    port = qxsupport::RefusedPort();
    ASSERT_GT(port, 0);
  }
  char name[QXUDPS_NAME_SIZE];
  strcpy(name, kNameBefore);
  RecordEarlierFailure();

  EXPECT_EQ(qxudps_fetch_name(row.address, port, name, kNamedType), -1);

  const qx_error_record record = Recorded();
  EXPECT_STREQ(record.text, row.error);
  EXPECT_EQ(record.sys_errno, row.expected_errno);
  EXPECT_STREQ(name, kNameBefore);
}

// Addresses are dotted text and never looked up: a host name is refused
// before any query could leave the machine.
const UnreachableRow kUnreachableRows[] = {
    {"refused_port", "127.0.0.1", kRefused, "Socket connect failure", ECONNREFUSED},
    {"host_name_not_resolved", "localhost", 80, "Connect module failed", 0},
    {"reserved_name_not_resolved", "no-such-device.invalid", 80, "Connect module failed", 0},
    {"port_zero", "127.0.0.1", 0, "Connect module failed", 0},
    {"port_beyond_65535", "127.0.0.1", 65536, "Connect module failed", 0},
};

INSTANTIATE_TEST_SUITE_P(Rows, UdpsNameUnreachable, ::testing::ValuesIn(kUnreachableRows),
                         [](const ::testing::TestParamInfo<UnreachableRow> &info) {
                           return std::string(info.param.name);
                         });

// ---- Silence ----

// A device that keeps the connection open after its reply ends it by falling
// silent: the lookup takes what came after one wait, and the silence after
// data is no timeout worth recording.
TEST(UdpsNameSilence, PeerThatKeepsTheConnectionOpenGivesWhatItSent) {
  RawPeer peer(Reply(NameElement("Store 1")), Ending::keep_open);
  ASSERT_GT(peer.port(), 0);
  RecordEarlierFailure();
  char name[QXUDPS_NAME_SIZE] = "";

  EXPECT_EQ(qxudps_fetch_name("127.0.0.1", peer.port(), name, kNamedType), 0);

  EXPECT_STREQ(name, "Store 1");
  const qx_error_record record = Recorded();
  EXPECT_STREQ(record.text, kEarlierFailure);
  EXPECT_EQ(record.sys_errno, kEarlierErrno);
}

// Silence before any byte is noted as a timeout, yet the receive does not
// fail, and what the buffer held stays.
TEST(UdpsNameSilence, SilenceBeforeAnyByteIsNotedAndEndsTheReply) {
  RawPeer peer("", Ending::keep_open);
  ASSERT_GT(peer.port(), 0);
  ASSERT_EQ(qxudps_tcp_connect("127.0.0.1", peer.port()), 0) << Recorded().text;
  ASSERT_EQ(qxudps_tcp_send(kLookupRequest, sizeof kLookupRequest - 1), 0) << Recorded().text;
  RecordEarlierFailure();
  std::vector<char> buffer(UDPS_XML_FILE_SIZE);
  strcpy(buffer.data(), "held");
  int length = 4;

  EXPECT_EQ(qxudps_tcp_receive(buffer.data(), &length), 0);
  qxudps_tcp_close();

  EXPECT_EQ(length, 4);
  EXPECT_STREQ(buffer.data(), "held");
  const qx_error_record record = Recorded();
  EXPECT_STREQ(record.text, "Socket timeout");
  EXPECT_EQ(record.sys_errno, 0);
}

// A receive appends to what the buffer holds and keeps it zero terminated,
// and when the peer closes, nothing is recorded over an earlier failure.
TEST(UdpsNameTcp, ReceiveAppendsAndLeavesAnEarlierFailure) {
  RawPeer peer("reply", Ending::close);
  ASSERT_GT(peer.port(), 0);
  ASSERT_EQ(qxudps_tcp_connect("127.0.0.1", peer.port()), 0) << Recorded().text;
  ASSERT_EQ(qxudps_tcp_send(kLookupRequest, sizeof kLookupRequest - 1), 0) << Recorded().text;
  RecordEarlierFailure();
  std::vector<char> buffer(UDPS_XML_FILE_SIZE);
  strcpy(buffer.data(), "held ");
  int length = 5;

  EXPECT_EQ(qxudps_tcp_receive(buffer.data(), &length), 0);
  qxudps_tcp_close();

  EXPECT_EQ(length, 10);
  EXPECT_STREQ(buffer.data(), "held reply");
  EXPECT_STREQ(Recorded().text, kEarlierFailure);
  EXPECT_EQ(peer.request(), kLookupRequest);
}

TEST(UdpsNameTcp, SendAndReceiveWithoutAConnectionFail) {
  qxudps_tcp_close();
  EXPECT_EQ(qxudps_tcp_send(kLookupRequest, sizeof kLookupRequest - 1), -1);
  EXPECT_STREQ(Recorded().text, "Send failed");
  char buffer[QXUDPS_TCP_CHUNK] = "";
  int length = 0;
  EXPECT_EQ(qxudps_tcp_receive(buffer, &length), -1);
  EXPECT_STREQ(Recorded().text, "Recv failed");
  EXPECT_EQ(length, 0);
}

// ---- Setting against the simulator ----

// A device that wants credentials for every post but a name-only one, so
// that a post that is anything more is refused.
devsim::DeviceConfig NamedDevice() {
  devsim::DeviceConfig config;
  config.device_name = "Simulated device";
  config.user = "admin";
  config.password = "secret";
  config.name_post_without_auth = true;
  return config;
}

struct NameRow {
  const char *name;
  std::string text;
  std::string expected;  // the name the device ends up with
};

void PrintTo(const NameRow &row, std::ostream *os) { *os << row.name; }

class UdpsNameSetting : public ::testing::TestWithParam<NameRow> {};

// The device receives exactly the name, whatever markup it holds, in a
// well-formed name-only post; the lookup then reads the same name back.
TEST_P(UdpsNameSetting, DeviceTakesTheNameAndLookupReadsItBack) {
  const NameRow &row = GetParam();
  devsim::Server device;
  ASSERT_GT(device.start(NamedDevice()), 0) << device.error();
  const devsim::DeviceConfig before = device.config();

  ASSERT_EQ(qxudps_set_name("127.0.0.1", device.port(), row.text.c_str(), kNamedType), 0) << Recorded().text;

  const std::optional<devsim::Request> post = device.last_post();
  ASSERT_TRUE(post.has_value());
  EXPECT_EQ(post->status, 200) << post->body;
  EXPECT_EQ(post->path, "/setup.xml");
  EXPECT_EQ(post->header("Authorization"), "");
  EXPECT_EQ(post->header("Content-Length"), std::to_string(post->body.size()));
  const devsim::DeviceConfig after = device.config();
  EXPECT_EQ(after.device_name, row.expected);
  EXPECT_EQ(after.network.telnet_port, before.network.telnet_port);
  EXPECT_EQ(after.network.ip, before.network.ip);

  char name[QXUDPS_NAME_SIZE] = "";
  ASSERT_EQ(qxudps_fetch_name("127.0.0.1", device.port(), name, kNamedType), 0) << Recorded().text;
  EXPECT_EQ(std::string(name), row.expected);
}

const NameRow kNameRows[] = {
    {"plain", "Store 1", "Store 1"},
    {"ampersand", "a&b", "a&b"},
    {"markup", "<b>cold</b> > warm", "<b>cold</b> > warm"},
    {"quotes", "say \"hi\" it's", "say \"hi\" it's"},
    {"text_that_looks_like_a_reference", "&amp; &#38;", "&amp; &#38;"},
    {"injection_cannot_change_another_field",
     "x</Name></Network><Network><TelnetPort>99</TelnetPort><IPAddr>127.0.0.9</IPAddr><Name>y",
     "x</Name></Network><Network><TelnetPort>99</TelnetPort><IPAddr>127.0.0.9</IPAddr><Name>y"},
    {"utf8", "K\xC3\xBChlraum 2", "K\xC3\xBChlraum 2"},
    {"longest_name_of_references", std::string(kNameMax, '&'), std::string(kNameMax, '&')},
    {"longer_than_a_record_holds", std::string(kNameMax + 20, 'n'), std::string(kNameMax, 'n')},
};

INSTANTIATE_TEST_SUITE_P(Rows, UdpsNameSetting, ::testing::ValuesIn(kNameRows),
                         [](const ::testing::TestParamInfo<NameRow> &info) { return std::string(info.param.name); });

class UdpsNameSettingRefused : public ::testing::TestWithParam<unsigned int> {};

// Devices of these types take no name: nothing is connected (the port is
// refused, which would show as a connect failure) and the refusal is
// recorded without a system error.
TEST_P(UdpsNameSettingRefused, TypeWithoutNameIsRefused) {
  const int port = qxsupport::RefusedPort();
  ASSERT_GT(port, 0);
  RecordEarlierFailure();

  EXPECT_EQ(qxudps_set_name("127.0.0.1", port, "Store 1", GetParam()), -1);

  const qx_error_record record = Recorded();
  EXPECT_STREQ(record.text, "This device 'set name via xml' not support");
  EXPECT_EQ(record.sys_errno, 0);
}

INSTANTIATE_TEST_SUITE_P(Types, UdpsNameSettingRefused, ::testing::Values(0u, 1u, 5u, 7u, 20u, 27u, 31u, 1000u),
                         [](const ::testing::TestParamInfo<unsigned int> &info) {
                           return "type_" + std::to_string(info.param);
                         });

TEST(UdpsNameSettingUse, RefusedConnectionIsRecorded) {
  const int port = qxsupport::RefusedPort();
  ASSERT_GT(port, 0);

  EXPECT_EQ(qxudps_set_name("127.0.0.1", port, "Store 1", kNamedType), -1);

  const qx_error_record record = Recorded();
  EXPECT_STREQ(record.text, "Socket connect failure");
  EXPECT_EQ(record.sys_errno, ECONNREFUSED);
}

// The simulator escapes what it serves; the lookup decodes it.
TEST(UdpsNameSettingUse, LookupDecodesTheNameTheDeviceServes) {
  devsim::DeviceConfig config = NamedDevice();
  config.device_name = "Lab <A> & B";
  devsim::Server device;
  ASSERT_GT(device.start(config), 0) << device.error();
  char name[QXUDPS_NAME_SIZE] = "";

  ASSERT_EQ(qxudps_fetch_name("127.0.0.1", device.port(), name, kNamedType), 0) << Recorded().text;

  EXPECT_STREQ(name, "Lab <A> & B");
}

}  // namespace
