// Every fault mode, one row each: what a raw client receives from a device
// that has the fault.
#include <gtest/gtest.h>

#include <functional>

#include "tests/devsim/device_fixture.h"
#include "tests/devsim/xml_probe.h"
#include "tests/support/devsim_variant.h"
#include "tests/support/eventually.h"

namespace devsim_test {
namespace {

using devsim::FaultKind;
using devsim::FaultTarget;
using std::chrono::milliseconds;

// How long a fault change may take to reach the server's own thread.
constexpr milliseconds kFaultTakesEffect(2000);

constexpr const char *kDecl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

struct FaultRow {
  const char *name;
  devsim::Fault fault;
  const char *path;  // GET of this path
  milliseconds limit;
  std::function<void(const RawReply &)> check;
  const char *variant = "unknown-model";  // small documents, no credentials
};

void PrintTo(const FaultRow &row, std::ostream *os) { *os << row.name; }

void expect_document_with_status(const RawReply &r, int status) {
  EXPECT_EQ(r.status(), status);
  EXPECT_TRUE(r.closed);
  EXPECT_TRUE(XmlProbe(r.body()).well_formed()) << "the body is still the document";
  EXPECT_EQ(r.header("Content-Length"), std::to_string(r.body().size()));
}

FaultRow status_row(const char *name, int status) {
  return {name,
          {FaultKind::status, FaultTarget::all, status},
          "/values.xml",
          milliseconds(3000),
          [status](const RawReply &r) { expect_document_with_status(r, status); }};
}

FaultRow body_size_row(const char *name, long size) {
  return {name,
          {FaultKind::body_size, FaultTarget::values, size},
          "/values.xml",
          milliseconds(3000),
          [size](const RawReply &r) {
            EXPECT_EQ(r.status(), 200);
            EXPECT_EQ(r.body().size(), static_cast<std::size_t>(size));
            EXPECT_EQ(r.header("Content-Length"), std::to_string(size));
            EXPECT_EQ(r.body().rfind(kDecl, 0), 0u);
            EXPECT_TRUE(XmlProbe(r.body()).well_formed());
          }};
}

class DevsimFaults : public ::testing::TestWithParam<FaultRow> {};

TEST_P(DevsimFaults, RawClientReceivesWhatTheFaultPromises) {
  const FaultRow &row = GetParam();
  devsim::DeviceConfig config = qxsupport::SteadyVariant(row.variant);
  config.faults = {row.fault};
  RunningDevice device(config);
  const RawReply reply = raw_exchange(device.port(), get_request(row.path), row.limit);
  SCOPED_TRACE(reply.bytes.substr(0, 200));
  row.check(reply);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DevsimFaults,
    ::testing::Values(status_row("status_401", 401), status_row("status_404", 404), status_row("status_500", 500),
                      status_row("status_505", 505), status_row("status_302", 302), status_row("status_418", 418),
                      FaultRow{"stall_after_100_bytes",
                               {FaultKind::stall, FaultTarget::values, 100},
                               "/values.xml",
                               milliseconds(700),
                               [](const RawReply &r) {
                                 EXPECT_FALSE(r.closed) << "the device keeps the connection open";
                                 EXPECT_EQ(r.bytes.size(), 100u);
                                 EXPECT_EQ(r.status(), 200);
                               }},
                      FaultRow{"drip_one_byte_per_ms",
                               {FaultKind::drip, FaultTarget::values, 1},
                               "/values.xml",
                               milliseconds(8000),
                               [](const RawReply &r) {
                                 ASSERT_TRUE(r.closed);
                                 EXPECT_EQ(r.status(), 200);
                                 EXPECT_TRUE(XmlProbe(r.body()).well_formed());
                                 EXPECT_GT(r.receives, static_cast<int>(r.bytes.size() / 4)) << "bytes came one by one";
                                 EXPECT_GE(r.elapsed, milliseconds(r.bytes.size() / 2));
                               }},
                      FaultRow{"close_in_header_after_20_bytes",
                               {FaultKind::close_in_header, FaultTarget::values, 20},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 EXPECT_TRUE(r.closed);
                                 EXPECT_EQ(r.bytes, std::string("HTTP/1.0 200 OK\r\nContent-Type").substr(0, 20));
                               }},
                      FaultRow{"close_in_header_default",
                               {FaultKind::close_in_header, FaultTarget::values, 0},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 EXPECT_TRUE(r.closed);
                                 EXPECT_EQ(r.bytes.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
                                 EXPECT_EQ(r.bytes.find("\r\n\r\n"), std::string::npos);
                               }},
                      FaultRow{"split_header_in_pieces",
                               {FaultKind::split_header, FaultTarget::values, 30},
                               "/values.xml",
                               milliseconds(5000),
                               [](const RawReply &r) {
                                 expect_document_with_status(r, 200);
                                 const std::size_t pieces = (r.head().size() + 4 + 7) / 8;
                                 EXPECT_GE(r.receives, static_cast<int>(pieces) / 2);
                                 EXPECT_GE(r.elapsed, milliseconds(30 * (pieces - 1)));
                               }},
                      FaultRow{"long_header_over_1024_bytes",
                               {FaultKind::long_header, FaultTarget::values, 0},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 expect_document_with_status(r, 200);
                                 EXPECT_GT(r.head().size(), 1024u);
                                 EXPECT_EQ(r.header("Content-Type"), "text/xml");
                               }},
                      body_size_row("body_of_19999_bytes", 19999), body_size_row("body_of_20000_bytes", 20000),
                      FaultRow{"truncated_after_100_body_bytes",
                               {FaultKind::truncate_body, FaultTarget::values, 100},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 EXPECT_EQ(r.status(), 200);
                                 EXPECT_TRUE(r.closed);
                                 EXPECT_EQ(r.body().size(), 100u);
                                 EXPECT_EQ(r.body().rfind(kDecl, 0), 0u);
                                 EXPECT_FALSE(XmlProbe(r.body()).well_formed());
                               }},
                      FaultRow{"body_without_declaration",
                               {FaultKind::no_declaration, FaultTarget::values, 0},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 expect_document_with_status(r, 200);
                                 EXPECT_EQ(r.body().find("<?xml"), std::string::npos);
                                 EXPECT_EQ(r.body().rfind("<Root>", 0), 0u);
                               }},
                      FaultRow{"blank_line_in_the_middle",
                               {FaultKind::blank_line_in_body, FaultTarget::values, 0},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 expect_document_with_status(r, 200);
                                 const std::string body = r.body();
                                 const auto blank = body.find("\r\n\r\n");
                                 ASSERT_NE(blank, std::string::npos);
                                 EXPECT_GT(blank, body.size() / 3);
                                 EXPECT_LT(blank, body.size() * 2 / 3 + 200);
                               }},
                      FaultRow{"blank_line_after_the_first_chunk",
                               {FaultKind::blank_line_in_body, FaultTarget::values, 1100},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 const auto blank = r.body().find("\r\n\r\n");
                                 EXPECT_GE(blank, 1100u);
                                 EXPECT_LT(blank, r.body().size() - 100);
                                 EXPECT_TRUE(XmlProbe(r.body()).well_formed());
                               },
                               "hygrometer"},
                      FaultRow{"garbage_instead_of_a_reply",
                               {FaultKind::garbage, FaultTarget::values, 512},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 EXPECT_TRUE(r.closed);
                                 EXPECT_EQ(r.bytes.size(), 512u);
                                 EXPECT_EQ(r.status(), -1);
                               }},
                      FaultRow{"garbage_body",
                               {FaultKind::garbage_body, FaultTarget::values, 300},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 EXPECT_EQ(r.status(), 200);
                                 EXPECT_EQ(r.header("Content-Length"), "300");
                                 EXPECT_GE(r.body().size(), 300u - 4) << "noise may itself hold a blank line";
                                 EXPECT_FALSE(XmlProbe(r.body()).well_formed());
                               }},
                      FaultRow{"bare_ampersand_in_names",
                               {FaultKind::bare_ampersand, FaultTarget::setup, 0},
                               "/setup.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 EXPECT_EQ(r.status(), 200);
                                 EXPECT_TRUE(r.closed);
                                 EXPECT_EQ(r.header("Content-Length"), std::to_string(r.body().size()));
                                 EXPECT_NE(r.body().find("<Name>Büro & Flur</Name>"), std::string::npos);
                                 EXPECT_EQ(r.body().find("&amp;"), std::string::npos);
                                 EXPECT_NE(r.body().find("&lt;"), std::string::npos) << "only '&' goes bare";
                                 EXPECT_FALSE(XmlProbe(r.body()).well_formed());
                               },
                               "accented"},
                      FaultRow{"reply_shorter_than_a_status_line",
                               {FaultKind::short_status, FaultTarget::values, 0},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) {
                                 EXPECT_TRUE(r.closed);
                                 EXPECT_EQ(r.bytes, "HTTP/1.0");
                               }},
                      FaultRow{"not_listening",
                               {FaultKind::not_listening, FaultTarget::all, 0},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) { EXPECT_TRUE(r.refused); }},
                      FaultRow{"setup_fault_spares_values",
                               {FaultKind::status, FaultTarget::setup, 500},
                               "/values.xml",
                               milliseconds(3000),
                               [](const RawReply &r) { expect_document_with_status(r, 200); }},
                      FaultRow{"setup_fault_hits_setup",
                               {FaultKind::status, FaultTarget::setup, 500},
                               "/setup.xml",
                               milliseconds(3000),
                               [](const RawReply &r) { expect_document_with_status(r, 500); }},
                      FaultRow{"post_fault_spares_setup",
                               {FaultKind::short_status, FaultTarget::post, 0},
                               "/setup.xml",
                               milliseconds(3000),
                               [](const RawReply &r) { expect_document_with_status(r, 200); }},
                      FaultRow{"silent_accepts_and_never_answers",
                               {FaultKind::silent, FaultTarget::values, 0},
                               "/values.xml",
                               milliseconds(500),
                               [](const RawReply &r) {
                                 EXPECT_FALSE(r.refused);
                                 EXPECT_TRUE(r.bytes.empty());
                                 EXPECT_FALSE(r.closed);
                               }},
                      FaultRow{"unknown_paths_keep_their_404",
                               {FaultKind::status, FaultTarget::all, 200},
                               "/nothing",
                               milliseconds(3000),
                               [](const RawReply &r) { EXPECT_EQ(r.status(), 404); }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DevsimFaults, BodySizeFaultOnADocumentLongerThanAskedCutsIt) {
  devsim::DeviceConfig config = qxsupport::SteadyVariant("unknown-model");
  config.faults = {{FaultKind::body_size, FaultTarget::values, 50}};
  RunningDevice device(config);
  const RawReply r = device.get("/values.xml");
  EXPECT_EQ(r.body().size(), 50u);
  EXPECT_EQ(r.body().rfind(kDecl, 0), 0u);
}

TEST(DevsimFaults, PostFaultStillAppliesTheDocument) {
  devsim::DeviceConfig config = qxsupport::SteadyVariant("unknown-model");
  config.faults = {{FaultKind::truncate_body, FaultTarget::post, 60}};
  RunningDevice device(config);
  const RawReply r = device.post("<Root><SenSet><Entry><ID>101</ID><Calib>0.5</Calib></Entry></SenSet></Root>");
  EXPECT_EQ(r.body().size(), 60u);
  EXPECT_EQ(device.server().sensor_calibration(101), 0.5);
}

TEST(DevsimFaults, FaultsChangeWhileTheDeviceRuns) {
  RunningDevice device(qxsupport::SteadyVariant("unknown-model"));
  const int port = device.port();
  EXPECT_EQ(device.get("/values.xml").status(), 200);

  device.server().set_fault({FaultKind::not_listening, FaultTarget::all, 0});
  // The listener closes on the server's own thread; wait for it to take effect.
  RawReply r;
  const auto refused = [&] {
    r = raw_exchange(port, get_request("/values.xml"));
    return r.refused;
  };
  EXPECT_TRUE(qxsupport::Eventually(refused, kFaultTakesEffect));
  EXPECT_TRUE(r.refused);
  EXPECT_EQ(device.server().port(), port) << "the port stays reserved for the device";

  device.server().set_fault({FaultKind::status, FaultTarget::values, 418});
  device.server().set_fault({FaultKind::none, FaultTarget::all, 0});  // clears not-listening
  EXPECT_TRUE(qxsupport::Eventually([&] { return !refused(); }, kFaultTakesEffect));
  EXPECT_EQ(r.status(), 418);

  device.server().clear_faults();
  EXPECT_EQ(device.get("/values.xml").status(), 200);
}

TEST(DevsimFaults, DroppedStallIsClosedAndTheDeviceServesOn) {
  devsim::DeviceConfig config = qxsupport::SteadyVariant("unknown-model");
  config.faults = {{FaultKind::stall, FaultTarget::setup, 5}};
  RunningDevice device(config);
  for (int i = 0; i < 40; ++i) {  // more than the device's 32 connections at once
    const RawReply r = raw_exchange(device.port(), get_request("/setup.xml"), milliseconds(20));
    EXPECT_EQ(r.bytes, "HTTP/") << i;
  }
  EXPECT_EQ(device.get("/values.xml").status(), 200);
}

}  // namespace
}  // namespace devsim_test
