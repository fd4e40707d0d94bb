// `poll` over a fleet: one record per device and pass, the failed ones with
// their error text, and the failure exit code when any device failed in the
// last pass.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/cli/cli_process.h"
#include "tests/support/devsim_variant.h"
#include "tests/support/ports.h"
#include "tools/devsim/devsim.h"

namespace cli_test {
namespace {

constexpr int kDevices = 20;
constexpr int kUnreachable = 7;  // the entry whose port nobody listens on

// Twenty thermometers, one of them replaced by a refused port, listed in the
// format of `json` with their password in the variable POLL_PASSWORD.
class CliPoll : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    for (int i = 0; i < kDevices; ++i) {
      if (i == kUnreachable) {
        ports_.push_back(qxsupport::RefusedPort());
        ASSERT_GT(ports_.back(), 0);
        continue;
      }
      auto server = std::make_unique<devsim::Server>();
      devsim::DeviceConfig config = qxsupport::SteadyVariant("thermometer");
      config.device_name = "Poll " + std::to_string(i);
      ports_.push_back(server->start(config));
      ASSERT_GT(ports_.back(), 0) << server->error();
      servers_.push_back(std::move(server));
    }
  }

  std::string DeviceList(bool json) const {
    nlohmann::json list = nlohmann::json::array();
    std::string csv = "address,port,user,password_env\n";
    for (int port : ports_) {
      list.push_back({{"address", "127.0.0.1"}, {"port", port}, {"user", "admin"}, {"password_env", "POLL_PASSWORD"}});
      csv += "127.0.0.1," + std::to_string(port) + ",admin,POLL_PASSWORD\n";
    }
    return json ? list.dump() : csv;
  }

  std::vector<std::unique_ptr<devsim::Server>> servers_;
  std::vector<int> ports_;
};

TEST_P(CliPoll, NineteenRecordsOneErrorExitOne) {
  const TTextFile devices(DeviceList(GetParam()));
  const TCliRun run =
      RunCli({"poll", "--devices", devices.Path(), "--setup", "--json", "--count", "2"}, {{"POLL_PASSWORD", "admin"}});
  EXPECT_EQ(run.ExitCode, kExitDeviceFailure) << Describe(run);
  const std::vector<nlohmann::json> records = run.JsonLines();
  ASSERT_EQ(records.size(), 2u * kDevices) << Describe(run);
  for (int pass = 1; pass <= 2; ++pass) {
    int ok = 0;
    for (int i = 0; i < kDevices; ++i) {
      const nlohmann::json &record = records[static_cast<std::size_t>((pass - 1) * kDevices + i)];
      ASSERT_TRUE(record.is_object()) << Describe(run);
      EXPECT_EQ(record.value("pass", 0), pass);
      EXPECT_EQ(record.value("address", ""), "127.0.0.1");
      EXPECT_EQ(record.value("port", 0), ports_[static_cast<std::size_t>(i)]);
      if (record.value("ok", false)) {
        ++ok;
        EXPECT_EQ(record.value("device_name", ""), "Poll " + std::to_string(i));
        EXPECT_EQ(record["sensors"].size(), 4u);
      } else {
        EXPECT_EQ(i, kUnreachable);
        EXPECT_FALSE(record.value("error", "").empty()) << record.dump();
      }
    }
    EXPECT_EQ(ok, kDevices - 1) << "pass " << pass;
  }
  const std::string unreachable = "127.0.0.1:" + std::to_string(ports_[kUnreachable]) + ": ";
  EXPECT_NE(run.Err.find(unreachable), std::string::npos) << Describe(run);
}

INSTANTIATE_TEST_SUITE_P(Formats, CliPoll, ::testing::Values(false, true),
                         [](const auto &info) { return std::string(info.param ? "json_list" : "csv_list"); });

// A fleet that answers in full gives exit 0 and one human line per device.
TEST(CliPollText, AllAnsweringGivesExitZero) {
  devsim::Server a, b;
  const int port_a = a.start(qxsupport::SteadyVariant("hygrometer"));
  const int port_b = b.start(qxsupport::SteadyVariant("hygrometer"));
  ASSERT_GT(port_a, 0);
  ASSERT_GT(port_b, 0);
  const TTextFile devices("127.0.0.1," + std::to_string(port_a) + "\n127.0.0.1," + std::to_string(port_b) + "\n");
  const TCliRun run = RunCli({"poll", "--devices", devices.Path()});
  EXPECT_EQ(run.ExitCode, kExitOk) << Describe(run);
  EXPECT_EQ(run.Out, "1 127.0.0.1:" + std::to_string(port_a) + " OK Store room climate (3 sensors)\n1 127.0.0.1:" +
                         std::to_string(port_b) + " OK Store room climate (3 sensors)\n");
}

// Every device is read with its own user and password variable, an entry
// that names none with the command line's, and a wrong password fails only
// its own device.
TEST(CliPollCredentials, EachDeviceUsesItsOwn) {
  struct TAccount {
    const char *User;
    const char *Password;
    const char *ListedUser;  // empty: the command line's --user
    const char *PasswordEnv;
  };
  const std::vector<TAccount> accounts = {
      {"alpha", "one", "alpha", "ALPHA_PASSWORD"},
      {"beta", "two", "beta", "BETA_PASSWORD"},
      {"gamma", "three", "gamma", "BETA_PASSWORD"},  // the wrong variable
      {"delta", "four", "", ""},
  };
  constexpr std::size_t kWrong = 2;
  std::vector<std::unique_ptr<devsim::Server>> servers;
  std::vector<int> ports;
  std::string csv;
  for (const TAccount &account : accounts) {
    devsim::DeviceConfig config = qxsupport::SteadyVariant("thermometer");
    config.user = account.User;
    config.password = account.Password;
    servers.push_back(std::make_unique<devsim::Server>());
    ports.push_back(servers.back()->start(config));
    ASSERT_GT(ports.back(), 0) << servers.back()->error();
    csv += "127.0.0.1," + std::to_string(ports.back()) + "," + account.ListedUser + "," + account.PasswordEnv + "\n";
  }
  const TTextFile devices(csv);
  const TCliRun run = RunCli({"poll", "--devices", devices.Path(), "--setup", "--json", "--user", "delta"},
                             {{"ALPHA_PASSWORD", "one"}, {"BETA_PASSWORD", "two"}, {"ZELVO_PASSWORD", "four"}});
  EXPECT_EQ(run.ExitCode, kExitDeviceFailure) << Describe(run);
  const std::vector<nlohmann::json> records = run.JsonLines();
  ASSERT_EQ(records.size(), accounts.size()) << Describe(run);
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    EXPECT_EQ(records[i].value("port", 0), ports[i]);
    EXPECT_EQ(records[i].value("ok", true), i != kWrong) << records[i].dump();
  }
  EXPECT_EQ(records[kWrong].value("error", ""), "HTTP: Unauthorized");
}

// The connection serves each address and port once: a device listed twice
// is a mistake in the list, refused before anything is read.
TEST(CliPollText, DeviceListedTwiceIsUsageError) {
  const TTextFile devices("127.0.0.1,1\n127.0.0.1,2\n127.0.0.1,1\n");
  const TCliRun run = RunCli({"poll", "--devices", devices.Path()});
  EXPECT_EQ(run.ExitCode, kExitUsage) << Describe(run);
  EXPECT_NE(run.Err.find("cannot poll 127.0.0.1:1: IP:PORT already use"), std::string::npos) << Describe(run);
  EXPECT_EQ(run.Out, "");
}

}  // namespace
}  // namespace cli_test
