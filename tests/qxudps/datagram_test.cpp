// Datagrams on the wire: the search, which replies are authentic, the setup
// of one device and the proxy envelope.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "qxudps/qxudps_private.h"
#include "tests/qxudps/udps_test_codec.h"

namespace {

udpstest::Key TestKey(const qx_tea_key &key) {
  return udpstest::Key{{key.k[0], key.k[1], key.k[2], key.k[3]}, key.delta};
}

const qx_tea_key &SearchKey() { return qxudps_default_search_key; }
const qx_tea_key kSetupKey = {{0xCAFEF00Du, 0x01020304u, 0x0BADC0DEu, 0x7FFFFFFFu}, QX_TEA_DELTA};
const qx_tea_key kNeverSetKey = {{0, 0, 0, 0}, 0};

// ---- Search ----

TEST(UdpsSearchDatagram, AddressesEveryDeviceAndEndsInAPrintableSignature) {
  uint8_t out[QXUDPS_DATAGRAM_SIZE + 1];
  memset(out, 0x5A, sizeof out);
  qxudps_build_search(out);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], 0xFF) << "byte " << i;
  EXPECT_EQ(std::string(reinterpret_cast<char *>(out) + 6, 26), "IIIIMMMMFFFFWWWWUC12345678");
  for (int i = 32; i < QXUDPS_DATAGRAM_SIZE; ++i) EXPECT_TRUE(isgraph(out[i]) || out[i] == ' ') << "byte " << i;
  EXPECT_EQ(out[QXUDPS_DATAGRAM_SIZE], 0x5A) << "wrote past the datagram";
}

TEST(UdpsSearchDatagram, DefaultKeyUsesTheRoundConstant) { EXPECT_EQ(SearchKey().delta, QX_TEA_DELTA); }

// ---- Authentic replies ----

std::vector<uint8_t> SignedReply(const qx_tea_key &key) {
  udpstest::Reply reply;
  reply.type = udpstest::TypeByte(31, 1);
  reply.extension = udpstest::TextItem(2, "Store 1");
  return udpstest::Encode(reply, TestKey(key));
}

TEST(UdpsReplyAuthentic, ReplySignedWithTheSearchKeyIsAccepted) {
  const std::vector<uint8_t> reply = SignedReply(SearchKey());
  EXPECT_EQ(qxudps_reply_authentic(reply.data(), static_cast<int>(reply.size()), &SearchKey()), 1);
  EXPECT_EQ(qxudps_reply_authentic(reply.data(), QXUDPS_DATAGRAM_SIZE, &SearchKey()), 1);
}

TEST(UdpsReplyAuthentic, ReplySignedWithAnotherKeyIsRefused) {
  const std::vector<uint8_t> reply = SignedReply(kSetupKey);
  EXPECT_EQ(qxudps_reply_authentic(reply.data(), static_cast<int>(reply.size()), &SearchKey()), 0);
}

TEST(UdpsReplyAuthentic, FortySevenBytesAreRefused) {
  const std::vector<uint8_t> reply = SignedReply(SearchKey());
  EXPECT_EQ(qxudps_reply_authentic(reply.data(), QXUDPS_DATAGRAM_SIZE - 1, &SearchKey()), 0);
}

TEST(UdpsReplyAuthentic, AnySingleWrongByteIsRefused) {
  const std::vector<uint8_t> reply = SignedReply(SearchKey());
  for (int position = 0; position < QXUDPS_DATAGRAM_SIZE; ++position) {
    for (uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
      std::vector<uint8_t> changed = reply;
      changed[position] ^= flip;
      EXPECT_EQ(qxudps_reply_authentic(changed.data(), static_cast<int>(changed.size()), &SearchKey()), 0)
          << "byte " << position << " xor " << int(flip);
    }
  }
}

// ---- Setup ----

constexpr uint8_t kMac[QXUDPS_MAC_BYTES] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

qxudps_device FoundDevice(unsigned type, uint8_t settings) {
  qxudps_device found = {};
  strcpy(found.mac, "00:1A:2B:3C:4D:5E");
  found.raw_version = 0x21;
  found.raw_type = udpstest::TypeByte(type, 3);
  found.raw_settings = settings;
  found.raw_byte29 = 0x9C;
  const uint8_t data[QXUDPS_BLOCK_SIZE] = {9, 8, 7, 6, 5, 4, 3, 2};
  memcpy(found.reply_data, data, sizeof data);
  return found;
}

qxudps_device Request() {
  qxudps_device request = {};
  strcpy(request.mac, "00:1A:2B:3C:4D:5E");
  strcpy(request.ip, "127.0.0.42");
  strcpy(request.addr_m, "255.255.0.0");
  strcpy(request.addr_f, "127.0.0.1");
  strcpy(request.addr_w, "");           // empty: no address
  strcpy(request.addr_n, "300.1.2.3");  // no dotted address
  request.port = 0x2345;
  return request;
}

struct Built {
  std::vector<uint8_t> bytes;
  qxudps_device found;
};

Built Build(const qxudps_device &request, qxudps_device found, const qx_tea_key &setup_key) {
  uint8_t out[QXUDPS_SETUP_MAX];
  const int length = qxudps_build_setup(&request, &found, kMac, &SearchKey(), &setup_key, out);
  return Built{std::vector<uint8_t>(out, out + length), found};
}

std::vector<uint8_t> Slice(const std::vector<uint8_t> &bytes, int from, int count) {
  return std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + from + count);
}

TEST(UdpsSetupDatagram, FixedPartFromTheRequestAndTheFoundDevice) {
  const Built built = Build(Request(), FoundDevice(5, 0), kSetupKey);
  ASSERT_EQ(built.bytes.size(), static_cast<size_t>(QXUDPS_DATAGRAM_SIZE));
  const std::vector<uint8_t> &b = built.bytes;
  EXPECT_EQ(Slice(b, 0, 6), std::vector<uint8_t>(kMac, kMac + 6));
  EXPECT_EQ(Slice(b, 6, 4), (std::vector<uint8_t>{127, 0, 0, 42}));
  EXPECT_EQ(Slice(b, 10, 4), (std::vector<uint8_t>{255, 255, 0, 0}));
  EXPECT_EQ(Slice(b, 14, 4), (std::vector<uint8_t>{127, 0, 0, 1}));
  EXPECT_EQ(Slice(b, 18, 4), (std::vector<uint8_t>{255, 255, 255, 255}));
  EXPECT_EQ(Slice(b, 24, 4), (std::vector<uint8_t>{255, 255, 255, 255}));
  EXPECT_EQ(b[22], 0x21);
  EXPECT_EQ(b[23], udpstest::TypeByte(5, 3));
  EXPECT_EQ(b[29], 0x9C);
  EXPECT_EQ(b[30], 0x23);
  EXPECT_EQ(b[31], 0x45);
  EXPECT_EQ(Slice(b, 32, 8), (std::vector<uint8_t>{9, 8, 7, 6, 5, 4, 3, 2}));
  EXPECT_EQ(Slice(b, 40, 8), udpstest::CbcMac(b.data(), TestKey(SearchKey())));
}

TEST(UdpsSetupDatagram, DeviceAskingForTheSetupKeyGetsIt) {
  qxudps_device found = FoundDevice(5, 0);
  found.cap_bit0 = 1;
  const Built built = Build(Request(), found, kSetupKey);
  EXPECT_EQ(Slice(built.bytes, 40, 8), udpstest::CbcMac(built.bytes.data(), TestKey(kSetupKey)));
}

// A setup key that was never set still signs: with zeros, delta included.
TEST(UdpsSetupDatagram, SetupKeyNeverSetSignsWithZeros) {
  qxudps_device found = FoundDevice(5, 0);
  found.cap_bit0 = 1;
  const Built built = Build(Request(), found, kNeverSetKey);
  EXPECT_EQ(Slice(built.bytes, 40, 8), udpstest::CbcMac(built.bytes.data(), udpstest::Key{{0, 0, 0, 0}, 0}));
  EXPECT_NE(Slice(built.bytes, 40, 8), udpstest::CbcMac(built.bytes.data(), TestKey(SearchKey())));
}

TEST(UdpsSetupDatagram, ExtendedDeviceGetsTheNameItem) {
  qxudps_device request = Request();
  strcpy(request.name, "Warehouse1");
  const Built built = Build(request, FoundDevice(QXUDPS_TYPE_EXTENDED, 0), kSetupKey);
  ASSERT_EQ(built.bytes.size(), 61u);
  EXPECT_EQ(built.bytes[48], 2);
  EXPECT_EQ(built.bytes[49], 10);
  EXPECT_EQ(std::string(built.bytes.begin() + 50, built.bytes.begin() + 60), "Warehouse1");
  EXPECT_EQ(built.bytes[60], 0xFF);

  uint8_t envelope[QXUDPS_ENVELOPE_MAX];
  EXPECT_EQ(qxudps_wrap_proxy(QXUDPS_PROXY_SETUP, "p", built.bytes.data(), 61, envelope), 80);
  EXPECT_EQ(envelope[0], QXUDPS_PROXY_SETUP);
}

TEST(UdpsSetupDatagram, LongestNameFitsTheBuffer) {
  qxudps_device request = Request();
  memset(request.name, 'n', QXUDPS_NAME_SIZE - 1);
  const Built built = Build(request, FoundDevice(QXUDPS_TYPE_EXTENDED, 0), kSetupKey);
  EXPECT_EQ(built.bytes.size(), static_cast<size_t>(QXUDPS_SETUP_MAX));
  EXPECT_EQ(built.bytes[49], QXUDPS_NAME_SIZE - 1);
}

struct SettingsRow {
  const char *name;
  uint8_t reported;    // the found device's settings byte
  uint8_t request[6];  // setting_bit0 .. setting_bit5 of the request
  uint8_t expected;
};

void PrintTo(const SettingsRow &row, std::ostream *os) { *os << row.name; }

// Bits 3, 6 and 7 are the device's own; the request's setting_bit3 never
// reaches the byte, and only the lowest bit of each request field counts.
const SettingsRow kSettingsRows[] = {
    {"kept_bits_stay_set", 0xFF, {0, 0, 0, 0, 0, 0}, 0xC8},
    {"request_sets_its_bits_only", 0x00, {1, 1, 1, 1, 1, 1}, 0x37},
    {"mixed", 0x4A, {1, 0, 1, 0, 1, 0}, 0x5D},
    {"lowest_bit_of_request_fields", 0x80, {2, 3, 0xFE, 0, 0xFF, 1}, 0xB2},
};

class UdpsSetupSettings : public ::testing::TestWithParam<SettingsRow> {};

TEST_P(UdpsSetupSettings, KeepBits3_6_7AndUpdateTheFoundDevice) {
  const SettingsRow &row = GetParam();
  qxudps_device request = Request();
  uint8_t *fields[] = {&request.setting_bit0, &request.setting_bit1, &request.setting_bit2,
                       &request.setting_bit3, &request.setting_bit4, &request.setting_bit5};
  for (int i = 0; i < 6; ++i) *fields[i] = row.request[i];
  const Built built = Build(request, FoundDevice(5, row.reported), kSetupKey);
  EXPECT_EQ(built.bytes[28], row.expected);
  EXPECT_EQ(built.found.raw_settings, row.expected);
}

INSTANTIATE_TEST_SUITE_P(Settings, UdpsSetupSettings, ::testing::ValuesIn(kSettingsRows),
                         [](const ::testing::TestParamInfo<SettingsRow> &info) { return info.param.name; });

// ---- Proxy envelope ----

TEST(UdpsProxyEnvelope, CarriesKindTextAndTheCrcLowByteFirst) {
  const std::string payload = "123456789";
  uint8_t out[QXUDPS_ENVELOPE_HEADER_SIZE + 9 + 1];
  memset(out, 0x5A, sizeof out);
  const int length =
      qxudps_wrap_proxy(QXUDPS_PROXY_SEARCH, "proxy-one", reinterpret_cast<const uint8_t *>(payload.data()), 9, out);
  ASSERT_EQ(length, QXUDPS_ENVELOPE_HEADER_SIZE + 9);
  EXPECT_EQ(out[0], QXUDPS_PROXY_SEARCH);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(out) + 1, 16), std::string("proxy-one") + std::string(7, '\0'));
  EXPECT_EQ(out[17], 0xC3);
  EXPECT_EQ(out[18], 0x31);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(out) + 19, 9), payload);
  EXPECT_EQ(out[length], 0x5A) << "wrote past the envelope";
}

TEST(UdpsProxyEnvelope, ProxyTextIsCutToFifteenCharacters) {
  const uint8_t payload[1] = {0};
  uint8_t out[QXUDPS_ENVELOPE_HEADER_SIZE + 1];
  qxudps_wrap_proxy(QXUDPS_PROXY_SETUP, "abcdefghijklmnopqrst", payload, 1, out);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(out) + 1, 16), std::string("abcdefghijklmno") + '\0');
}

}  // namespace
