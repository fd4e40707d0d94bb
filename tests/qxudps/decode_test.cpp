// Decoding search replies: the fixed part's texts, the capability bits by
// type code, the extension list of type-31 devices and the model texts.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <set>
#include <string>

#include "qxudps/qxudps_private.h"
#include "tests/qxudps/udps_test_codec.h"

namespace {

const udpstest::Key kKey = {{0x11111111u, 0x22222222u, 0x33333333u, 0x44444444u}, udpstest::kDelta};
const char kReserved[] = "Reserved for future devices";

struct Decoded {
  qxudps_device record;
  uint8_t mac[QXUDPS_MAC_BYTES];
};

Decoded Decode(const udpstest::Reply &reply) {
  const std::vector<uint8_t> bytes = udpstest::Encode(reply, kKey);
  Decoded out;
  memset(&out, 0xA5, sizeof out);  // the decoder must overwrite every field
  qxudps_decode_reply(bytes.data(), static_cast<int>(bytes.size()), &out.record, out.mac);
  return out;
}

// Capability bits 0-6 and has_name as '0'/'1' characters.
std::string Flags(const qxudps_device &d) {
  const uint8_t flags[] = {d.cap_bit0, d.cap_bit1, d.cap_bit2, d.cap_bit3,
                           d.cap_bit4, d.cap_bit5, d.cap_bit6, d.has_name};
  std::string text;
  for (uint8_t flag : flags) text += flag == 1 ? '1' : flag == 0 ? '0' : '?';
  return text;
}

// ---- The fixed part ----

struct FixedRow {
  const char *name;
  udpstest::Reply reply;
  const char *mac;
  const char *ip;
  const char *addr_n;
  const char *version;
};

void PrintTo(const FixedRow &row, std::ostream *os) { *os << row.name; }

udpstest::Reply TypicalReply() {
  udpstest::Reply reply;
  const uint8_t mac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0xFE};
  memcpy(reply.mac, mac, sizeof mac);
  reply.version = 0x3C;                   // minor 3, build 12
  reply.type = udpstest::TypeByte(5, 6);  // type 5, major 6
  return reply;
}

udpstest::Reply HighestReply() {
  udpstest::Reply reply;
  memset(reply.mac, 0xFF, sizeof reply.mac);
  memset(reply.ip, 0xFF, sizeof reply.ip);
  memset(reply.addr_n, 0xFF, sizeof reply.addr_n);
  reply.version = 0xFF;
  reply.type = udpstest::TypeByte(30, 7);
  return reply;
}

udpstest::Reply LowestReply() {
  udpstest::Reply reply;
  memset(reply.mac, 0, sizeof reply.mac);
  memset(reply.ip, 0, sizeof reply.ip);
  memset(reply.addr_n, 0, sizeof reply.addr_n);
  return reply;
}

const FixedRow kFixedRows[] = {
    {"typical", TypicalReply(), "00:1A:2B:3C:4D:FE", "127.0.0.1", "192.0.2.7", "6.3.12"},
    {"highest_values", HighestReply(), "FF:FF:FF:FF:FF:FF", "255.255.255.255", "255.255.255.255", "7.15.15"},
    {"lowest_values", LowestReply(), "00:00:00:00:00:00", "0.0.0.0", "0.0.0.0", "0.0.0"},
};

class UdpsDecodeFixed : public ::testing::TestWithParam<FixedRow> {};

TEST_P(UdpsDecodeFixed, MacAddressAndVersionTexts) {
  const FixedRow &row = GetParam();
  const Decoded d = Decode(row.reply);
  EXPECT_STREQ(d.record.mac, row.mac);
  EXPECT_STREQ(d.record.ip, row.ip);
  EXPECT_STREQ(d.record.addr_n, row.addr_n);
  EXPECT_STREQ(d.record.version, row.version);
  EXPECT_EQ(0, memcmp(d.mac, row.reply.mac, QXUDPS_MAC_BYTES));
  EXPECT_EQ(d.record.ver_major, row.reply.type & 7);
  EXPECT_EQ(d.record.ver_minor, row.reply.version >> 4);
  EXPECT_EQ(d.record.ver_build, row.reply.version & 15);
  EXPECT_EQ(d.record.raw_version, row.reply.version);
  EXPECT_EQ(d.record.raw_type, row.reply.type);
}

INSTANTIATE_TEST_SUITE_P(Replies, UdpsDecodeFixed, ::testing::ValuesIn(kFixedRows),
                         [](const ::testing::TestParamInfo<FixedRow> &info) { return info.param.name; });

TEST(UdpsDecodeFields, EveryFieldOfTheFixedPartLandsInItsPlace) {
  udpstest::Reply reply = TypicalReply();
  reply.settings = 0xA5;  // bits 0, 2, 5 and 7
  reply.byte29 = 0x9C;
  reply.port = 0x1F90;
  const Decoded d = Decode(reply);
  EXPECT_STREQ(d.record.addr_m, "255.255.255.0");
  EXPECT_STREQ(d.record.addr_f, "127.0.0.254");
  EXPECT_STREQ(d.record.addr_w, "10.0.0.9");
  EXPECT_EQ(d.record.port, 8080);
  EXPECT_EQ(d.record.raw_settings, 0xA5u);
  EXPECT_EQ(d.record.raw_byte29, 0x9Cu);
  const uint8_t bits[] = {d.record.setting_bit0, d.record.setting_bit1, d.record.setting_bit2,
                          d.record.setting_bit3, d.record.setting_bit4, d.record.setting_bit5};
  const uint8_t expected[] = {1, 0, 1, 0, 0, 1};
  EXPECT_EQ(0, memcmp(bits, expected, sizeof bits));
  EXPECT_EQ(0, memcmp(d.record.reply_data, reply.data, QXUDPS_BLOCK_SIZE));
  const std::vector<uint8_t> code = udpstest::CbcMac(udpstest::Encode(reply, kKey).data(), kKey);
  EXPECT_EQ(0, memcmp(d.record.reply_auth, code.data(), QXUDPS_BLOCK_SIZE));
  EXPECT_STREQ(d.record.name, "");
  EXPECT_EQ(d.record.type, 5);
}

// ---- Capability bits of devices without an extension list ----

struct CapabilityRow {
  unsigned code;
  const char *flags;  // cap_bit0 .. cap_bit6, has_name
};

void PrintTo(const CapabilityRow &row, std::ostream *os) { *os << "type " << row.code; }

const CapabilityRow kCapabilityRows[] = {
    {0, "00011110"},  {1, "00000100"},  {2, "01100101"},  {3, "01000101"},  {4, "01000101"},  {5, "01000100"},
    {6, "01000101"},  {7, "00011110"},  {8, "01000100"},  {9, "00011110"},  {10, "01000101"}, {11, "01000101"},
    {12, "01000101"}, {13, "01100101"}, {14, "01100101"}, {15, "01100101"}, {16, "01100101"}, {17, "01100101"},
    {18, "00011110"}, {19, "00011110"}, {20, "01100100"}, {21, "01000101"}, {22, "01100101"}, {23, "01100101"},
    {24, "01100101"}, {25, "01100101"}, {26, "01100101"}, {27, "00000100"}, {28, "00000100"}, {29, "00000100"},
    {30, "00000100"},
};

class UdpsDecodeCapabilities : public ::testing::TestWithParam<CapabilityRow> {};

TEST_P(UdpsDecodeCapabilities, FollowFromTheTypeCode) {
  const CapabilityRow &row = GetParam();
  udpstest::Reply reply;
  reply.type = udpstest::TypeByte(row.code, 1);
  reply.port = 8123;
  const Decoded d = Decode(reply);
  EXPECT_EQ(Flags(d.record), row.flags);
  EXPECT_EQ(d.record.type, row.code);
  EXPECT_EQ(d.record.port2, row.flags[1] == '1' ? 8123 : 0);
  EXPECT_EQ(d.record.tlv6_value, 99);
  EXPECT_EQ(d.record.tlv7_value, 0);
  EXPECT_EQ(qxudps_in_name_set(row.code), row.flags[7] == '1' ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(TypeCodes, UdpsDecodeCapabilities, ::testing::ValuesIn(kCapabilityRows),
                         [](const ::testing::TestParamInfo<CapabilityRow> &info) {
                           return "type_" + std::to_string(info.param.code);
                         });

TEST(UdpsNameSet, CodesOutsideTheTypeByteAreNotInIt) {
  EXPECT_EQ(qxudps_in_name_set(31), 0);
  EXPECT_EQ(qxudps_in_name_set(32 + 6), 0);
  EXPECT_EQ(qxudps_in_name_set(0xFFFF), 0);
}

// ---- The extension list ----

struct ExtensionRow {
  const char *name;
  std::vector<uint8_t> list;
  const char *flags;  // cap_bit0 .. cap_bit6, has_name
  std::string device_name;
  std::string model;
  uint16_t type;
  uint16_t port2;
  uint16_t tlv6;
  uint16_t tlv7;
};

void PrintTo(const ExtensionRow &row, std::ostream *os) { *os << row.name; }

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto &part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

using udpstest::Item;
using udpstest::TextItem;
const std::vector<uint8_t> kEnd = {0xFF};

const ExtensionRow kExtensionRows[] = {
    {"no_list", {}, "00000000", "", kReserved, 31, 0, 0, 0},
    {"missing_item_1", Join({TextItem(2, "Store 1"), kEnd}), "00000001", "Store 1", kReserved, 31, 0, 0, 0},
    {"item_1_all_bits", Join({Item(1, {0x7F}), kEnd}), "11111110", "", kReserved, 31, 0, 0, 0},
    {"item_1_every_other_bit", Join({Item(1, {0x55}), kEnd}), "10101010", "", kReserved, 31, 0, 0, 0},
    {"item_1_high_bit_ignored", Join({Item(1, {0x80}), kEnd}), "00000000", "", kReserved, 31, 0, 0, 0},
    {"item_3_model", Join({TextItem(3, "Custom model X"), kEnd}), "00000000", "", "Custom model X", 31, 0, 0, 0},
    {"item_4_one_byte_keeps_model", Join({Item(4, {7}), kEnd}), "00000000", "", kReserved, 7, 0, 0, 0},
    {"item_4_two_bytes", Join({Item(4, {0x01, 0x02}), kEnd}), "00000000", "", kReserved, 0x0102, 0, 0, 0},
    {"item_4_three_bytes", Join({Item(4, {0, 0, 5}), kEnd}), "00000000", "", kReserved, 0, 0, 0, 0},
    {"items_5_6_7", Join({Item(5, {0x1F, 0x90}), Item(6, {42}), Item(7, {0x12, 0x34}), kEnd}), "00000000", "",
     kReserved, 31, 8080, 42, 0x1234},
    {"item_past_the_end", Join({Item(5, {0x1F, 0x90}), {6, 5, 1, 2}}), "00000000", "", kReserved, 31, 8080, 0, 0},
    {"item_header_cut_off", Join({Item(5, {0, 80}), {6}}), "00000000", "", kReserved, 31, 80, 0, 0},
    {"unknown_item_skipped", Join({Item(9, {6, 1, 2}), Item(6, {3}), kEnd}), "00000000", "", kReserved, 31, 0, 3, 0},
    {"end_marker_stops", Join({kEnd, Item(6, {3})}), "00000000", "", kReserved, 31, 0, 0, 0},
    {"list_ended_by_datagram", TextItem(2, "Hall"), "00000001", "Hall", kReserved, 31, 0, 0, 0},
    {"name_cut_to_99", Join({TextItem(2, std::string(150, 'n')), kEnd}), "00000001", std::string(99, 'n'), kReserved,
     31, 0, 0, 0},
    {"model_cut_to_100", Join({TextItem(3, std::string(150, 'm')), kEnd}), "00000000", "", std::string(100, 'm'), 31, 0,
     0, 0},
};

class UdpsDecodeExtension : public ::testing::TestWithParam<ExtensionRow> {};

TEST_P(UdpsDecodeExtension, ItemsSetTheirFields) {
  const ExtensionRow &row = GetParam();
  udpstest::Reply reply;
  reply.type = udpstest::TypeByte(31, 2);
  reply.port = 8000;
  reply.extension = row.list;
  const Decoded d = Decode(reply);
  EXPECT_EQ(Flags(d.record), row.flags);
  EXPECT_EQ(d.record.name, row.device_name);
  EXPECT_EQ(d.record.model, row.model);
  EXPECT_EQ(d.record.type, row.type);
  EXPECT_EQ(d.record.port2, row.port2);
  EXPECT_EQ(d.record.tlv6_value, row.tlv6);
  EXPECT_EQ(d.record.tlv7_value, row.tlv7);
  EXPECT_EQ(d.record.port, 8000);
}

INSTANTIATE_TEST_SUITE_P(Lists, UdpsDecodeExtension, ::testing::ValuesIn(kExtensionRows),
                         [](const ::testing::TestParamInfo<ExtensionRow> &info) { return info.param.name; });

// ---- Model texts ----

std::string Model(unsigned type) {
  char text[QXUDPS_MODEL_SIZE];
  memset(text, 'x', sizeof text);
  qxudps_model_text(text, type);
  return std::string(text, strnlen(text, sizeof text));
}

TEST(UdpsModelText, FixedTextsOfTheFirstAndTheUnusedCodes) {
  EXPECT_EQ(Model(0), "Unspecified device");
  EXPECT_EQ(Model(1), "Development version");
  for (unsigned type : {27u, 30u, 31u, 32u, 0xFFFFu}) EXPECT_EQ(Model(type), kReserved) << "type " << type;
}

TEST(UdpsModelText, ProductCodesHaveDistinctDesignations) {
  std::set<std::string> seen = {"Unspecified device", "Development version", kReserved};
  for (unsigned type = 2; type <= 26; ++type) {
    const std::string model = Model(type);
    EXPECT_FALSE(model.empty()) << "type " << type;
    EXPECT_LT(model.size(), static_cast<size_t>(QXUDPS_MODEL_SIZE)) << "type " << type;
    EXPECT_TRUE(seen.insert(model).second) << "type " << type << " repeats " << model;
  }
}

}  // namespace
