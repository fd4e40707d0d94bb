// Searches against simulated devices on loopback: what is found, what is
// refused, names, bursts and the proxy.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>
#include <thread>

#include "qxudps/qxudps_private.h"
#include "tests/qxudps/library_fixture.h"
#include "tests/qxudps/udps_test_codec.h"

namespace udpstest {
namespace {

using devsim::Fault;
using devsim::FaultKind;
using devsim::FaultTarget;

using Search = LibraryTest;

// The simulator keeps its own copy of the search signature and key: it
// answers only a search that carries the library's signature, and the
// library takes only replies under its key, so this also shows both agree.
TEST_F(Search, FindsEveryDeviceOnceWithTheAddressThatReachesIt) {
  Fleet fleet(Devices(3));
  fleet.server(1).set_fault({FaultKind::duplicate_reply, FaultTarget::search, 3});
  Start(fleet.udp_port());
  const auto asked = std::chrono::steady_clock::now();
  SearchAndWait();
  EXPECT_GE(std::chrono::steady_clock::now() - asked, milliseconds(1000))
      << "collecting ends only after a full quiet second";
  ASSERT_EQ(qxudps_count(), 3) << "the duplicates of the second device are dropped";
  for (std::size_t i = 0; i < fleet.size(); ++i) {
    const devsim::DeviceConfig config = fleet.server(i).config();
    const qxudps_device *found = Found(config.mac);
    ASSERT_NE(found, nullptr) << config.mac;
    EXPECT_STREQ(found->ip, "127.0.0.1");
    EXPECT_EQ(found->port, fleet.server(i).port());
    EXPECT_EQ(found->type, 6);
    EXPECT_STREQ(found->name, "") << "no names without the look-up";
  }
  EXPECT_EQ(log().all()[0].owner, this);
}

struct SpoiledRow {
  const char *name;
  Fault fault;
};

void PrintTo(const SpoiledRow &row, std::ostream *out) { *out << row.name; }

class SearchSpoiled : public LibraryTest, public ::testing::WithParamInterface<SpoiledRow> {};

// The spoiled device is left out; the others are found all the same.
TEST_P(SearchSpoiled, ReplyIsLeftOut) {
  Fleet fleet(Devices(2));
  fleet.server(0).set_fault(GetParam().fault);
  Start(fleet.udp_port());
  SearchAndWait();
  EXPECT_EQ(qxudps_count(), 1);
  EXPECT_EQ(Found(fleet.server(0).config().mac), nullptr);
  EXPECT_NE(Found(fleet.server(1).config().mac), nullptr);
  EXPECT_EQ(log().count(Event::search_done), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SearchSpoiled,
    ::testing::Values(SpoiledRow{"reply_of_47_bytes", {FaultKind::short_reply, FaultTarget::search, 47}},
                      SpoiledRow{"first_mac_byte_changed", {FaultKind::unauthentic_reply, FaultTarget::search, 1}},
                      SpoiledRow{"type_byte_changed", {FaultKind::unauthentic_reply, FaultTarget::search, 24}},
                      SpoiledRow{"port_byte_changed", {FaultKind::unauthentic_reply, FaultTarget::search, 32}},
                      SpoiledRow{"last_code_byte_changed", {FaultKind::unauthentic_reply, FaultTarget::search, 48}}),
    [](const ::testing::TestParamInfo<SpoiledRow> &info) { return std::string(info.param.name); });

TEST_F(Search, AnOversizedReplyRecordsRecvFailedAndTheSearchGoesOn) {
  Fleet fleet(Devices(2));
  fleet.server(0).set_fault({FaultKind::oversized_reply, FaultTarget::search, 600});
  Start(fleet.udp_port());
  SearchAndWait();
  EXPECT_EQ(ErrorText(), "Recv failed");
  EXPECT_EQ(qxudps_count(), 1);
  EXPECT_NE(Found(fleet.server(1).config().mac), nullptr);
  EXPECT_EQ(log().count(Event::search_done), 1u);
}

TEST_F(Search, NamesAreLookedUpOnlyForTypesThatHaveThem) {
  std::vector<devsim::DeviceConfig> configs = Devices(2);
  configs[1].discovery.type_code = 5;
  Fleet fleet(configs);
  Start(fleet.udp_port());
  SearchAndWait(1);
  ASSERT_EQ(qxudps_count(), 2);
  EXPECT_STREQ(Found(configs[0].mac)->name, "Device 1");
  EXPECT_EQ(Found(configs[0].mac)->has_name, 1);
  EXPECT_STREQ(Found(configs[1].mac)->name, "") << "type 5 has no name to read";
  EXPECT_EQ(fleet.server(1).request_count(), 0u);
  EXPECT_EQ(fleet.server(0).request_count(), 1u);
}

TEST_F(Search, AnExtendedDeviceBringsItsNameAndModelInTheReply) {
  std::vector<devsim::DeviceConfig> configs = Devices(1, QXUDPS_TYPE_EXTENDED);
  configs[0].discovery.capabilities = 0x03;
  configs[0].discovery.model_text = "Bench unit";
  Fleet fleet(configs);
  Start(fleet.udp_port());
  SearchAndWait();
  ASSERT_EQ(qxudps_count(), 1);
  const qxudps_device *found = Found(configs[0].mac);
  EXPECT_STREQ(found->name, "Device 1");
  EXPECT_STREQ(found->model, "Bench unit");
  EXPECT_EQ(found->cap_bit0, 1);
  EXPECT_EQ(found->cap_bit1, 1);
  EXPECT_EQ(found->cap_bit2, 0);
}

struct BurstRow {
  const char *name;
  long devices;
  int found;
  const char *error;
};

void PrintTo(const BurstRow &row, std::ostream *out) { *out << row.name; }

class SearchBurst : public LibraryTest, public ::testing::WithParamInterface<BurstRow> {};

// The devices of the burst answer all at once, in one device's stead.
TEST_P(SearchBurst, EveryDeviceAnsweringAtOnceIsCollected) {
  Fleet fleet(Devices(1));
  fleet.server(0).set_fault({FaultKind::reply_burst, FaultTarget::search, GetParam().devices});
  Start(fleet.udp_port());
  SearchAndWait();
  EXPECT_EQ(qxudps_count(), GetParam().found);
  EXPECT_EQ(qxudps_search_dropped(), 0u) << "receive buffer granted: " << qxudps_receive_buffer_size();
  EXPECT_EQ(ErrorText(), GetParam().error);
  std::set<std::string> macs;
  for (const qxudps_device &record : Records()) macs.insert(record.mac);
  EXPECT_EQ(macs.size(), static_cast<std::size_t>(GetParam().found));
}

INSTANTIATE_TEST_SUITE_P(Bursts, SearchBurst,
                         ::testing::Values(BurstRow{"a_full_list", MAX_MODULES, MAX_MODULES, ""},
                                           BurstRow{"one_more_than_fits", MAX_MODULES + 1, MAX_MODULES,
                                                    "Count modules >= MAX_MODULES"}),
                         [](const ::testing::TestParamInfo<BurstRow> &info) { return std::string(info.param.name); });

TEST_F(Search, ThroughTheProxyTheDevicesAreFound) {
  Fleet fleet(Devices(2));
  Start(fleet.udp_port());
  ASSERT_EQ(qxudps_set_proxy("127.0.0.1", fleet.udp_port(), "site-proxy"), 0);
  SearchAndWait();
  EXPECT_EQ(qxudps_count(), 2);
}

// The proxy's address is compared as text with the sender as the system
// prints it, so a differently written address takes no reply.
TEST_F(Search, AProxyAddressWrittenOtherwiseTakesNoReply) {
  Fleet fleet(Devices(2));
  Start(fleet.udp_port());
  ASSERT_EQ(qxudps_set_proxy("127.0.0.001", fleet.udp_port(), "site-proxy"), 0);
  SearchAndWait();
  EXPECT_EQ(fleet.responder().searches_answered(), 1u) << "the search did reach the proxy";
  EXPECT_EQ(qxudps_count(), 0);
}

// A stand-in proxy that answers every enveloped search with one authentic
// reply of its own and one sent from another loopback address.
class TwoSenderProxy {
 public:
  TwoSenderProxy() : proxy_(Bound("127.0.0.1")), other_(Bound("127.0.0.2")) {
    thread_ = std::thread([this] { Serve(); });
  }
  ~TwoSenderProxy() {
    shutdown(proxy_, SHUT_RDWR);
    thread_.join();
    close(proxy_);
    close(other_);
  }
  int port() const { return PortOf(proxy_); }

 private:
  static int Bound(const char *address) {
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    inet_pton(AF_INET, address, &at.sin_addr);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr *>(&at), sizeof at), 0) << address;
    return s;
  }
  static int PortOf(int s) {
    sockaddr_in at{};
    socklen_t length = sizeof at;
    getsockname(s, reinterpret_cast<sockaddr *>(&at), &length);
    return ntohs(at.sin_port);
  }
  void Serve() {
    uint8_t buffer[512];
    sockaddr_in client{};
    socklen_t length = sizeof client;
    const Key key{{qxudps_default_search_key.k[0], qxudps_default_search_key.k[1], qxudps_default_search_key.k[2],
                   qxudps_default_search_key.k[3]},
                  kDelta};
    while (recvfrom(proxy_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&client), &length) > 0) {
      Reply from_proxy, from_other;
      from_other.mac[5] = 0x99;
      for (int s : {proxy_, other_}) {
        const std::vector<uint8_t> reply = Encode(s == proxy_ ? from_proxy : from_other, key);
        sendto(s, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&client), length);
      }
    }
  }
  int proxy_;
  int other_;
  std::thread thread_;
};

TEST_F(Search, ThroughTheProxyRepliesFromOtherSendersAreDropped) {
  Fleet fleet(Devices(1));
  TwoSenderProxy proxy;
  Start(fleet.udp_port());
  ASSERT_EQ(qxudps_set_proxy("127.0.0.1", proxy.port(), "site-proxy"), 0);
  SearchAndWait();
  ASSERT_EQ(qxudps_count(), 1);
  EXPECT_STREQ(Records()[0].mac, "00:1A:2B:3C:4D:5E") << "only the proxy's own reply";
}

}  // namespace
}  // namespace udpstest
