// Discovery against the simulator with a raw UDP client: searches and their
// replies, the search faults, setups and the proxy envelope.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "tests/devsim/raw_http_client.h"
#include "tests/devsim/udp_probe.h"
#include "tests/support/devsim_variant.h"
#include "tests/support/eventually.h"
#include "tools/devsim/devsim.h"

namespace devsim_test {
namespace {

using devsim::FaultKind;
using devsim::FaultTarget;
using std::chrono::milliseconds;

// Replies on loopback follow at once; the quiet interval only bounds the wait.
constexpr milliseconds kQuiet(300);
constexpr milliseconds kLimit(10000);
constexpr milliseconds kApplied(2000);
constexpr std::size_t kFixed = 48;
constexpr std::size_t kPortAt = 30;
constexpr std::size_t kSettingsAt = 28;
constexpr std::size_t kTypeAt = 23;
constexpr int kExtendedType = 31;
constexpr unsigned char kListEnd = 0xFF;
constexpr int kEnvelopeSearch = 1;
constexpr int kEnvelopeSetup = 2;

// Devices and the responder for them, stopped in reverse order.
class Fleet {
 public:
  explicit Fleet(const std::vector<std::string> &variants) {
    std::vector<devsim::Server *> pointers;
    for (const std::string &v : variants) {
      servers_.push_back(std::make_unique<devsim::Server>());
      EXPECT_GT(servers_.back()->start(qxsupport::SteadyVariant(v)), 0) << servers_.back()->error();
      pointers.push_back(servers_.back().get());
    }
    udp_port_ = responder_.start(pointers);
    EXPECT_GT(udp_port_, 0) << responder_.error();
  }

  int udp_port() const { return udp_port_; }
  devsim::Server &server(std::size_t i) { return *servers_[i]; }
  devsim::UdpResponder &responder() { return responder_; }

  std::vector<Received> ask(const UdpProbe &probe, const std::string &datagram) {
    probe.send(udp_port_, datagram);
    return probe.collect(kQuiet, kLimit);
  }
  std::vector<std::string> search(const UdpProbe &probe) {
    std::vector<std::string> bytes;
    for (Received &r : ask(probe, search_datagram())) bytes.push_back(std::move(r.bytes));
    return bytes;
  }
  // The server whose MAC the reply carries.
  devsim::Server *owner(const std::string &reply) {
    for (auto &s : servers_)
      if (mac_text(reply) == s->config().mac) return s.get();
    return nullptr;
  }

  static std::string mac_text(const std::string &reply) {
    char text[18];
    const auto *b = reinterpret_cast<const unsigned char *>(reply.data());
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
    return text;
  }

 private:
  std::vector<std::unique_ptr<devsim::Server>> servers_;
  devsim::UdpResponder responder_;
  int udp_port_ = -1;
};

int port_of(const std::string &reply) {
  return (static_cast<unsigned char>(reply[kPortAt]) << 8) | static_cast<unsigned char>(reply[kPortAt + 1]);
}

std::string ip_of(const std::string &reply) {
  const auto *b = reinterpret_cast<const unsigned char *>(reply.data()) + 6;
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

int type_of(const std::string &reply) { return static_cast<unsigned char>(reply[kTypeAt]) >> 3; }

// The extension items by type; `ended` tells whether the list end came last.
struct Items {
  std::map<int, std::string> values;
  bool ended = false;
};

Items items_of(const std::string &reply) {
  Items items;
  std::size_t at = kFixed;
  while (at + 2 <= reply.size() && static_cast<unsigned char>(reply[at]) != kListEnd) {
    const std::size_t length = static_cast<unsigned char>(reply[at + 1]);
    if (at + 2 + length > reply.size()) return items;
    items.values[static_cast<unsigned char>(reply[at])] = reply.substr(at + 2, length);
    at += 2 + length;
  }
  items.ended = at + 1 == reply.size() && static_cast<unsigned char>(reply[at]) == kListEnd;
  return items;
}

std::string escaped(std::string text) {
  for (std::size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1))
    text.insert(at + 1, "amp;");
  return text;
}

TEST(DevsimUdpCipher, TeaAndCrcMatchTheirPublishedValues) {
  std::uint32_t left = 0, right = 0;
  tea_encrypt_block(left, right, TestKey{{0, 0, 0, 0}, kTestDelta});
  EXPECT_EQ(left, 0x41EA3A0Au);
  EXPECT_EQ(right, 0x94BAA940u);
  EXPECT_EQ(crc16_xmodem_test("123456789"), 0x31C3);
}

TEST(DevsimUdpSearch, EveryDeviceAnswersOnceWithAnAuthenticReplyThatReachesIt) {
  UdpProbe probe;
  ASSERT_TRUE(probe.ok());
  Fleet fleet({"thermometer", "family5", "idx", "accented"});
  const std::vector<std::string> replies = fleet.search(probe);
  ASSERT_EQ(replies.size(), 4u);
  std::set<devsim::Server *> owners;
  for (const std::string &reply : replies) {
    SCOPED_TRACE(Fleet::mac_text(reply));
    EXPECT_TRUE(authentic(reply, default_search_key()));
    devsim::Server *server = fleet.owner(reply);
    ASSERT_NE(server, nullptr);
    owners.insert(server);
    const devsim::DeviceConfig config = server->config();
    EXPECT_EQ(ip_of(reply), server->address());
    EXPECT_EQ(port_of(reply), server->port());
    EXPECT_EQ(type_of(reply), config.discovery.type_code);
    EXPECT_EQ(static_cast<unsigned char>(reply[kSettingsAt]), config.discovery.settings);
    if (type_of(reply) == kExtendedType) {
      const Items items = items_of(reply);
      EXPECT_TRUE(items.ended);
      EXPECT_EQ(items.values.at(1), std::string(1, static_cast<char>(config.discovery.capabilities)));
      EXPECT_EQ(items.values.at(2), config.device_name);
      EXPECT_EQ(items.values.count(3) ? items.values.at(3) : "", config.discovery.model_text);
    } else {
      EXPECT_EQ(reply.size(), kFixed);
    }
    const RawReply values = raw_exchange(port_of(reply), get_request("/values.xml"));
    EXPECT_EQ(values.status(), 200);
    EXPECT_NE(values.body().find("<DeviceName>" + escaped(config.device_name) + "</DeviceName>"), std::string::npos);
  }
  EXPECT_EQ(owners.size(), 4u);
  EXPECT_EQ(fleet.responder().searches_answered(), 1u);
}

struct IgnoredRow {
  const char *name;
  std::function<std::string()> datagram;
};

void PrintTo(const IgnoredRow &row, std::ostream *os) { *os << row.name; }

class DevsimUdpIgnored : public ::testing::TestWithParam<IgnoredRow> {};

TEST_P(DevsimUdpIgnored, GetsNoReplyAndTheNextSearchStillDoes) {
  UdpProbe probe;
  ASSERT_TRUE(probe.ok());
  Fleet fleet({"thermometer"});
  EXPECT_TRUE(fleet.ask(probe, GetParam().datagram()).empty());
  EXPECT_EQ(fleet.search(probe).size(), 1u);
}

std::string with_byte_changed(std::string d, std::size_t at) {
  d[at] = static_cast<char>(d[at] ^ 0x20);
  return d;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DevsimUdpIgnored,
    ::testing::Values(IgnoredRow{"signature_changed", [] { return with_byte_changed(search_datagram(), 40); }},
                      IgnoredRow{"filler_changed", [] { return with_byte_changed(search_datagram(), 10); }},
                      IgnoredRow{"broadcast_mac_changed", [] { return with_byte_changed(search_datagram(), 0); }},
                      IgnoredRow{"one_byte_short", [] { return search_datagram().substr(0, kFixed - 1); }},
                      IgnoredRow{"one_byte_long", [] { return search_datagram() + "x"; }},
                      IgnoredRow{"envelope_with_wrong_crc",
                                 [] {
                                   return with_byte_changed(in_envelope(kEnvelopeSearch, "proxy", search_datagram()),
                                                            17);
                                 }},
                      IgnoredRow{"empty", [] { return std::string(); }}),
    [](const auto &info) { return std::string(info.param.name); });

struct SearchFaultRow {
  const char *name;
  devsim::Fault fault;
  // Replies with the fault, and the one reply without it.
  std::function<void(const std::vector<std::string> &, const std::string &)> check;
};

void PrintTo(const SearchFaultRow &row, std::ostream *os) { *os << row.name; }

class DevsimUdpFaults : public ::testing::TestWithParam<SearchFaultRow> {};

TEST_P(DevsimUdpFaults, ReplyIsSpoiledAsTheFaultSays) {
  UdpProbe probe;
  ASSERT_TRUE(probe.ok());
  Fleet fleet({"thermometer"});
  const std::vector<std::string> normal = fleet.search(probe);
  ASSERT_EQ(normal.size(), 1u);
  fleet.server(0).set_fault(GetParam().fault);
  GetParam().check(fleet.search(probe), normal[0]);
}

// Positions where two equally long datagrams differ.
std::vector<std::size_t> differences(const std::string &a, const std::string &b) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    if (a[i] != b[i]) at.push_back(i);
  return at;
}

SearchFaultRow short_row(const char *name, long value, std::size_t size) {
  return {name,
          {FaultKind::short_reply, FaultTarget::search, value},
          [size](const std::vector<std::string> &r, const std::string &normal) {
            ASSERT_EQ(r.size(), 1u);
            EXPECT_EQ(r[0], normal.substr(0, size));
          }};
}

SearchFaultRow unauthentic_row(const char *name, long value, std::size_t changed) {
  return {name,
          {FaultKind::unauthentic_reply, FaultTarget::search, value},
          [changed](const std::vector<std::string> &r, const std::string &normal) {
            ASSERT_EQ(r.size(), 1u);
            EXPECT_EQ(r[0].size(), normal.size());
            EXPECT_EQ(differences(r[0], normal), std::vector<std::size_t>{changed});
            EXPECT_FALSE(authentic(r[0], default_search_key()));
          }};
}

SearchFaultRow duplicate_row(const char *name, long value, std::size_t copies) {
  return {name,
          {FaultKind::duplicate_reply, FaultTarget::search, value},
          [copies](const std::vector<std::string> &r, const std::string &normal) {
            EXPECT_EQ(r, std::vector<std::string>(copies, normal));
          }};
}

SearchFaultRow oversized_row(const char *name, long value, std::size_t size) {
  return {name,
          {FaultKind::oversized_reply, FaultTarget::search, value},
          [size](const std::vector<std::string> &r, const std::string &normal) {
            ASSERT_EQ(r.size(), 1u);
            EXPECT_EQ(r[0].size(), size);
            EXPECT_EQ(r[0].substr(0, normal.size()), normal);
            EXPECT_TRUE(authentic(r[0], default_search_key()));
          }};
}

SearchFaultRow burst_row(const char *name, long value, std::size_t devices) {
  return {name,
          {FaultKind::reply_burst, FaultTarget::search, value},
          [devices](const std::vector<std::string> &r, const std::string &normal) {
            ASSERT_EQ(r.size(), devices);
            std::set<std::string> macs;
            for (const std::string &reply : r) {
              macs.insert(reply.substr(0, 6));
              EXPECT_TRUE(authentic(reply, default_search_key()));
              EXPECT_EQ(port_of(reply), port_of(normal));
              EXPECT_EQ(reply.substr(0, 3), normal.substr(0, 3)) << "the maker's part of the MAC stays";
            }
            EXPECT_EQ(macs.size(), devices) << "every device of the burst has its own MAC";
          }};
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DevsimUdpFaults,
    ::testing::Values(short_row("short_default_47_bytes", 0, 47), short_row("short_20_bytes", 20, 20),
                      unauthentic_row("unauthentic_last_code_byte", 0, 47),
                      unauthentic_row("unauthentic_first_mac_byte", 1, 0),
                      unauthentic_row("unauthentic_port_byte", 31, 30), duplicate_row("duplicate_default_twice", 0, 2),
                      duplicate_row("duplicate_five_times", 5, 5), oversized_row("oversized_default_600_bytes", 0, 600),
                      oversized_row("oversized_513_bytes", 513, 513), burst_row("burst_default_1000_devices", 0, 1000),
                      burst_row("burst_of_3_devices", 3, 3)),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DevsimUdpFaults, SearchFaultsLeaveHttpAlone) {
  UdpProbe probe;
  ASSERT_TRUE(probe.ok());
  Fleet fleet({"thermometer"});
  fleet.server(0).set_fault({FaultKind::short_reply, FaultTarget::all, 0});
  EXPECT_EQ(raw_exchange(fleet.server(0).port(), get_request("/values.xml")).status(), 200);
  ASSERT_EQ(fleet.search(probe).size(), 1u);
  EXPECT_EQ(fleet.search(probe)[0].size(), 47u);
}

constexpr int kNewPort = 4321;
constexpr unsigned char kNewSettings = 0x2D;
const TestKey kIdxSetupKey{{0x00010203u, 0x04050607u, 0x08090A0Bu, 0x0C0D0E0Fu}, kTestDelta};
const TestKey kWrongKey{{1, 2, 3, 4}, kTestDelta};

// A setup for the device of `reply`: new port, settings and (type 31) name.
std::string setup_for(const std::string &reply, const TestKey &key, const std::string &name) {
  std::string d = reply.substr(0, kFixed);
  d[kPortAt] = static_cast<char>(kNewPort >> 8);
  d[kPortAt + 1] = static_cast<char>(kNewPort & 0xFF);
  d[kSettingsAt] = static_cast<char>(kNewSettings);
  d = signed_with(d, key);
  if (type_of(reply) == kExtendedType) {
    d.push_back(2);
    d.push_back(static_cast<char>(name.size()));
    d += name;
    d.push_back(static_cast<char>(kListEnd));
  }
  return d;
}

struct SetupRow {
  const char *name;
  const char *variant;
  TestKey key;
  bool applied;
  bool enveloped = false;
};

void PrintTo(const SetupRow &row, std::ostream *os) { *os << row.name; }

class DevsimUdpSetup : public ::testing::TestWithParam<SetupRow> {};

TEST_P(DevsimUdpSetup, AppliesOnlyWhatTheDevicesKeyAuthenticates) {
  const SetupRow &row = GetParam();
  UdpProbe probe;
  ASSERT_TRUE(probe.ok());
  Fleet fleet({row.variant});
  const std::vector<std::string> replies = fleet.search(probe);
  ASSERT_EQ(replies.size(), 1u);
  const devsim::DeviceConfig before = fleet.server(0).config();
  const std::string name = "Hall 7 north";
  const std::string setup = setup_for(replies[0], row.key, name);
  probe.send(fleet.udp_port(), row.enveloped ? in_envelope(kEnvelopeSetup, "proxy", setup) : setup);
  // Datagrams are handled in order: once this search is answered, the setup was seen.
  ASSERT_EQ(fleet.search(probe).size(), 1u);
  const devsim::DeviceConfig after = fleet.server(0).config();
  if (!row.applied) {
    EXPECT_EQ(fleet.responder().setups_applied(), 0u);
    EXPECT_EQ(after.network.http_port, before.network.http_port);
    EXPECT_EQ(after.discovery.settings, before.discovery.settings);
    return;
  }
  EXPECT_EQ(fleet.responder().setups_applied(), 1u);
  EXPECT_EQ(after.network.http_port, std::to_string(kNewPort));
  EXPECT_EQ(after.network.ip, ip_of(replies[0]));
  EXPECT_EQ(after.discovery.settings, kNewSettings);
  EXPECT_EQ(after.device_name, type_of(replies[0]) == kExtendedType ? name : before.device_name);
  const RawReply setup_xml =
      raw_exchange(fleet.server(0).port(),
                   get_request("/setup.xml", before.user.empty() ? "" : basic_auth(before.user, before.password)));
  EXPECT_NE(setup_xml.body().find("<HTTPport>" + std::to_string(kNewPort) + "</HTTPport>"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DevsimUdpSetup,
    ::testing::Values(SetupRow{"type_6_under_search_key", "thermometer", default_search_key(), true},
                      SetupRow{"type_31_with_name_under_search_key", "accented", default_search_key(), true},
                      SetupRow{"cap_bit0_under_setup_key", "idx", kIdxSetupKey, true},
                      SetupRow{"cap_bit0_refuses_search_key", "idx", default_search_key(), false},
                      SetupRow{"wrong_key_refused", "thermometer", kWrongKey, false},
                      SetupRow{"type_31_in_envelope", "accented", default_search_key(), true, true},
                      SetupRow{"cap_bit0_in_envelope", "idx", kIdxSetupKey, true, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DevsimUdpSetup, CapBit0WithoutKeyExpectsZeroKeyAndZeroDelta) {
  UdpProbe probe;
  ASSERT_TRUE(probe.ok());
  devsim::DeviceConfig config = qxsupport::SteadyVariant("idx");
  std::fill(std::begin(config.discovery.setup_key), std::end(config.discovery.setup_key), 0u);
  devsim::Server server;
  ASSERT_GT(server.start(config), 0);
  devsim::UdpResponder responder;
  const int port = responder.start({&server});
  ASSERT_GT(port, 0);
  probe.send(port, search_datagram());
  const std::vector<Received> replies = probe.collect(kQuiet, kLimit);
  ASSERT_EQ(replies.size(), 1u);
  probe.send(port, setup_for(replies[0].bytes, TestKey{{0, 0, 0, 0}, 0}, "Zero"));
  EXPECT_TRUE(qxsupport::Eventually([&] { return responder.setups_applied() == 1; }, kApplied));
  EXPECT_EQ(server.config().device_name, "Zero");
}

TEST(DevsimUdpProxy, EnvelopedSearchIsAnsweredFromTheResponderAddress) {
  UdpProbe probe;
  ASSERT_TRUE(probe.ok());
  Fleet fleet({"thermometer", "accented"});
  const std::vector<std::string> bare = fleet.search(probe);
  const std::vector<Received> got =
      fleet.ask(probe, in_envelope(kEnvelopeSearch, "a-longer-proxy-text", search_datagram()));
  ASSERT_EQ(got.size(), 2u);
  for (const Received &r : got) {
    EXPECT_EQ(r.from, "127.0.0.1");
    EXPECT_EQ(r.from_port, fleet.udp_port());
    EXPECT_NE(std::find(bare.begin(), bare.end(), r.bytes), bare.end()) << "replies come without the envelope";
  }
}

TEST(DevsimUdpResponder, RefusesAddressesOutsideLoopbackAndSecondStart) {
  devsim::UdpResponder responder;
  EXPECT_EQ(responder.start({}, 0, "192.0.2.1"), -1);
  EXPECT_NE(responder.error().find("loopback"), std::string::npos);
  ASSERT_GT(responder.start({}), 0);
  EXPECT_EQ(responder.start({}), -1);
  EXPECT_EQ(responder.error(), "already running");
  responder.stop();
}

}  // namespace
}  // namespace devsim_test
