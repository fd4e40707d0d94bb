// The HTTP/1.0 side of a device: credentials, paths, request reading, the
// request log, and a server that starts and stops cleanly.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "tests/devsim/device_fixture.h"
#include "tests/devsim/xml_probe.h"
#include "tests/support/devsim_variant.h"
#include "tests/support/eventually.h"

namespace devsim_test {
namespace {

using std::chrono::milliseconds;

const char *kCalibration = "<Root><SenSet><Entry><ID>101</ID><Calib>0.5</Calib></Entry></SenSet></Root>";

struct AuthRow {
  const char *name;
  bool post;
  const char *user;  // nullptr: no Authorization line
  const char *password;
  int status;
};

void PrintTo(const AuthRow &row, std::ostream *os) { *os << row.name; }

class DevsimAuth : public ::testing::TestWithParam<AuthRow> {};

TEST_P(DevsimAuth, SetupNeedsTheConfiguredCredentials) {
  const AuthRow &row = GetParam();
  RunningDevice device(qxsupport::SteadyVariant("thermometer"));  // admin / admin
  const std::string auth = row.user ? basic_auth(row.user, row.password) : "";
  const RawReply reply = row.post ? device.post(kCalibration, auth) : device.get("/setup.xml", auth);
  EXPECT_EQ(reply.status(), row.status);
  EXPECT_TRUE(reply.closed);
  if (row.status == 401) {
    EXPECT_EQ(reply.header("WWW-Authenticate").rfind("Basic realm=", 0), 0u) << reply.head();
    EXPECT_EQ(device.server().sensor_calibration(101), 0.0) << "a refused post must change nothing";
  } else {
    EXPECT_TRUE(XmlProbe(reply.body()).well_formed());
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, DevsimAuth,
                         ::testing::Values(AuthRow{"get_without", false, nullptr, nullptr, 401},
                                           AuthRow{"get_wrong_password", false, "admin", "nimda", 401},
                                           AuthRow{"get_wrong_user", false, "root", "admin", 401},
                                           AuthRow{"get_empty_password", false, "admin", "", 401},
                                           AuthRow{"get_right", false, "admin", "admin", 200},
                                           AuthRow{"post_without", true, nullptr, nullptr, 401},
                                           AuthRow{"post_wrong", true, "admin", "x", 401},
                                           AuthRow{"post_right", true, "admin", "admin", 200}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(DevsimHttp, ValuesNeedNoCredentials) {
  RunningDevice device(qxsupport::SteadyVariant("thermometer"));
  EXPECT_EQ(device.get("/values.xml").status(), 200);
}

TEST(DevsimHttp, DeviceWithoutCredentialsServesSetupToAnyone) {
  RunningDevice device(qxsupport::SteadyVariant("hygrometer"));
  EXPECT_EQ(device.get("/setup.xml").status(), 200);
  EXPECT_EQ(device.get("/setup.xml", basic_auth("any", "thing")).status(), 200);
}

TEST(DevsimHttp, StatusOfOtherRequests) {
  struct Row {
    const char *request;
    int status;
  };
  const Row rows[] = {
      {"GET /index.html HTTP/1.0\r\n\r\n", 404},
      {"GET /values.xml?x=1 HTTP/1.0\r\n\r\n", 200},
      {"POST /values.xml HTTP/1.0\r\nContent-Length: 0\r\n\r\n", 405},
      {"DELETE /setup.xml HTTP/1.0\r\n\r\n", 405},
      {"PUT /other HTTP/1.0\r\n\r\n", 501},
      {"POST /setup.xml HTTP/1.0\r\nContent-Type: text/xml\r\n\r\n<Root/>", 411},
      {"POST /setup.xml HTTP/1.0\r\nContent-Length: 99999999\r\n\r\n", 413},
      {"POST /setup.xml HTTP/1.0\r\nContent-Length: 12x\r\n\r\n", 400},
      {"GARBAGE\r\n\r\n", 400},
      {"GET /values.xml\r\n\r\n", 400},
      {"GET /values.xml HTTP/1.0\r\nno colon here\r\n\r\n", 400},
      {"GET /values.xml HTTP/1.0\n\n", 200},
  };
  RunningDevice device(qxsupport::SteadyVariant("hygrometer"));
  for (const Row &row : rows) {
    const RawReply reply = raw_exchange(device.port(), row.request);
    EXPECT_EQ(reply.status(), row.status) << row.request;
    EXPECT_TRUE(reply.closed) << row.request;
  }
}

TEST(DevsimHttp, OverlongRequestHeadIsRefused) {
  RunningDevice device(qxsupport::SteadyVariant("hygrometer"));
  const std::string request = "GET /values.xml HTTP/1.0\r\nX-Long: " + std::string(9000, 'a') + "\r\n\r\n";
  EXPECT_EQ(raw_exchange(device.port(), request).status(), 400);
}

TEST(DevsimHttp, PostBodyIsReadToContentLengthAcrossSeveralSends) {
  RunningDevice device(qxsupport::SteadyVariant("hygrometer"));
  const std::string body = kCalibration;
  const std::string head =
      "POST /setup.xml HTTP/1.0\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\n\r\n";
  // The head and the first half of the body, then a pause, then the rest:
  // the device must wait for all Content-Length bytes.
  RawReply first_part = raw_exchange(device.port(), head + body.substr(0, 20), milliseconds(300));
  EXPECT_EQ(first_part.bytes, "") << "no reply before the whole body has arrived";
  EXPECT_EQ(device.server().request_count(), 0u);

  // Bytes beyond Content-Length are not part of the document.
  const RawReply reply = raw_exchange(device.port(), head + body + "TRAILING JUNK");
  EXPECT_EQ(reply.status(), 200);
  ASSERT_TRUE(device.server().last_post());
  EXPECT_EQ(device.server().last_post()->body, body);
  EXPECT_EQ(device.server().sensor_calibration(101), 0.5);
}

TEST(DevsimHttp, LastPostKeepsHeadersAndBodyAndTheLogCountsRequests) {
  RunningDevice device(qxsupport::SteadyVariant("thermometer"));
  EXPECT_FALSE(device.server().last_post());
  device.get("/values.xml");
  device.post(kCalibration, basic_auth("admin", "admin"));
  device.get("/nothing");

  const auto post = device.server().last_post();
  ASSERT_TRUE(post);
  EXPECT_EQ(post->method, "POST");
  EXPECT_EQ(post->path, "/setup.xml");
  EXPECT_EQ(post->body, kCalibration);
  EXPECT_EQ(post->header("content-type"), "text/xml");
  EXPECT_EQ(post->header("Authorization"), basic_auth("admin", "admin"));
  EXPECT_EQ(post->head.rfind("POST /setup.xml HTTP/1.0\r\n", 0), 0u);
  EXPECT_EQ(post->status, 200);

  EXPECT_EQ(device.server().request_count(), 3u);
  const auto log = device.server().requests();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].path, "/values.xml");
  EXPECT_EQ(log[0].status, 200);
  EXPECT_EQ(log[2].status, 404);
}

TEST(DevsimHttp, ObserverSeesEveryRequestWithItsStatus) {
  std::mutex mutex;
  std::vector<std::string> seen;
  devsim::Server server;
  const int port = server.start(qxsupport::SteadyVariant("thermometer"), [&](const devsim::Request &r) {
    std::lock_guard<std::mutex> lock(mutex);
    seen.push_back(r.method + " " + r.path + " " + std::to_string(r.status));
  });
  ASSERT_GT(port, 0);
  raw_exchange(port, get_request("/setup.xml"));
  raw_exchange(port, get_request("/values.xml"));
  server.stop();
  EXPECT_EQ(seen, (std::vector<std::string>{"GET /setup.xml 401", "GET /values.xml 200"}));
}

TEST(DevsimHttp, StalledConnectionDoesNotHoldUpOtherRequests) {
  RunningDevice device(qxsupport::SteadyVariant("thermometer"));
  device.server().set_fault({devsim::FaultKind::stall, devsim::FaultTarget::setup, 10});
  std::thread stalled([&] { raw_exchange(device.port(), get_request("/setup.xml"), milliseconds(1500)); });
  std::this_thread::sleep_for(milliseconds(100));
  const RawReply values = raw_exchange(device.port(), get_request("/values.xml"), milliseconds(1000));
  EXPECT_EQ(values.status(), 200);
  EXPECT_LT(values.elapsed, milliseconds(1000));
  stalled.join();
}

TEST(DevsimHttp, StopEndsStalledConnectionsAtOnce) {
  devsim::Server server;
  devsim::DeviceConfig config = qxsupport::SteadyVariant("thermometer");
  config.faults = {{devsim::FaultKind::stall, devsim::FaultTarget::all, 20}};
  const int port = server.start(config);
  ASSERT_GT(port, 0);
  RawReply reply;
  std::thread client([&] { reply = raw_exchange(port, get_request("/values.xml"), milliseconds(5000)); });
  EXPECT_TRUE(qxsupport::Eventually([&] { return server.request_count() > 0; }, milliseconds(5000)));
  const auto before = std::chrono::steady_clock::now();
  server.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(500));
  client.join();
  EXPECT_TRUE(reply.closed);
  EXPECT_EQ(reply.bytes.size(), 20u);
  EXPECT_LT(reply.elapsed, milliseconds(2000));
}

TEST(DevsimHttp, ManyClientsAtOnceAllGetTheirDocument) {
  RunningDevice device(qxsupport::SteadyVariant("max-sensors"));
  std::vector<std::thread> clients;
  std::atomic<int> ok{0};
  for (int i = 0; i < 8; ++i)
    clients.emplace_back([&] {
      for (int k = 0; k < 5; ++k)
        if (XmlProbe(device.get("/setup.xml").body()).well_formed()) ++ok;
    });
  for (auto &c : clients) c.join();
  EXPECT_EQ(ok.load(), 40);
  EXPECT_EQ(device.server().request_count(), 40u);
}

TEST(DevsimServer, RefusesAddressesOutsideLoopback) {
  for (const char *address : {"0.0.0.0", "192.168.1.10", "10.0.0.1", "localhost", "::1", "128.0.0.1"}) {
    devsim::DeviceConfig config = qxsupport::SteadyVariant("hygrometer");
    config.bind_address = address;
    devsim::Server server;
    EXPECT_EQ(server.start(config), -1) << address;
    EXPECT_FALSE(server.error().empty()) << address;
  }
  devsim::DeviceConfig config = qxsupport::SteadyVariant("hygrometer");
  config.bind_address = "127.0.0.2";
  devsim::Server server;
  EXPECT_GT(server.start(config), 0) << server.error();
  EXPECT_EQ(server.address(), "127.0.0.2");
}

TEST(DevsimServer, RestartsAfterStopAndRefusesADoubleStart) {
  devsim::Server server;
  const int first = server.start(qxsupport::SteadyVariant("hygrometer"));
  ASSERT_GT(first, 0);
  EXPECT_EQ(server.start(qxsupport::SteadyVariant("hygrometer")), -1);
  EXPECT_TRUE(server.running());
  server.stop();
  EXPECT_FALSE(server.running());
  EXPECT_TRUE(raw_exchange(first, get_request("/values.xml")).refused);
  const int second = server.start(qxsupport::SteadyVariant("hygrometer"));
  ASSERT_GT(second, 0);
  EXPECT_EQ(raw_exchange(second, get_request("/values.xml")).status(), 200);
}

TEST(DevsimServer, FixedPortIsUsedAndABusyOneReported) {
  devsim::Server a;
  const int port = a.start(qxsupport::SteadyVariant("hygrometer"));
  ASSERT_GT(port, 0);
  devsim::DeviceConfig same = qxsupport::SteadyVariant("hygrometer");
  same.port = port;
  devsim::Server b;
  EXPECT_EQ(b.start(same), -1);
  EXPECT_NE(b.error().find(std::to_string(port)), std::string::npos) << b.error();
  a.stop();
  EXPECT_EQ(b.start(same), port);
}

}  // namespace
}  // namespace devsim_test
