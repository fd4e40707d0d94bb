// `set-network` changes nothing without --yes, and with it sends the setup
// that changes the simulated device's port.
#include <gtest/gtest.h>

#include "tests/cli/cli_process.h"
#include "tests/cli/udp_fleet.h"

namespace cli_test {
namespace {

using CliSetNetwork = UdpFleet;

constexpr const char *kNewPort = "40001";

TEST_F(CliSetNetwork, WithoutYesChangesNothing) {
  Start({"hygrometer", "thermometer"});
  const TCliRun run = RunCli({"set-network", QString::fromStdString(configs_[1].mac), "--ip", "127.0.0.1", "--port",
                              kNewPort, "--target", Target(), "--json"});
  ASSERT_EQ(run.ExitCode, kExitOk) << Describe(run);
  EXPECT_EQ(responder_.setups_applied(), 0u);
  EXPECT_EQ(servers_[1]->config().network.http_port, configs_[1].network.http_port);
  const nlohmann::json document = run.Json();
  ASSERT_TRUE(document.is_object()) << Describe(run);
  EXPECT_EQ(document.value("sent", true), false);
  EXPECT_EQ(document.value("mac", ""), configs_[1].mac);
  EXPECT_EQ(document["current"].value("port", 0), servers_[1]->port());
  EXPECT_EQ(document["new"].value("port", 0), std::stoi(kNewPort));
  EXPECT_EQ(document["new"].value("address", ""), "127.0.0.1");
}

TEST_F(CliSetNetwork, WithYesChangesThePortOfThatDeviceOnly) {
  Start({"hygrometer", "thermometer"});
  // The MAC is matched whatever its case.
  const QString mac = QString::fromStdString(configs_[1].mac).toLower();
  const TCliRun run =
      RunCli({"set-network", mac, "--ip", "127.0.0.1", "--port", kNewPort, "--target", Target(), "--yes"});
  ASSERT_EQ(run.ExitCode, kExitOk) << Describe(run);
  EXPECT_EQ(responder_.setups_applied(), 1u);
  EXPECT_EQ(servers_[1]->config().network.http_port, kNewPort);
  EXPECT_EQ(servers_[0]->config().network.http_port, configs_[0].network.http_port);
}

TEST_F(CliSetNetwork, UnknownMacIsADeviceFailure) {
  Start({"hygrometer"});
  const TCliRun run = RunCli(
      {"set-network", "02:00:00:00:00:99", "--ip", "127.0.0.1", "--port", kNewPort, "--target", Target(), "--yes"});
  EXPECT_EQ(run.ExitCode, kExitDeviceFailure) << Describe(run);
  EXPECT_NE(run.Err.find("02:00:00:00:00:99"), std::string::npos) << Describe(run);
  EXPECT_EQ(responder_.setups_applied(), 0u);
}

// A device that checks setups under its own key takes the setup only when
// --setup-key gives that key.
struct TKeyCase {
  const char *Name;
  const char *Key;
  bool Applied;
};

std::ostream &operator<<(std::ostream &out, const TKeyCase &c) { return out << c.Name; }

class CliSetNetworkKey : public UdpFleet, public ::testing::WithParamInterface<TKeyCase> {};

TEST_P(CliSetNetworkKey, DeviceTakesTheSetupOnlyUnderItsKey) {
  Start({"idx"});
  RunCli({"set-network", QString::fromStdString(configs_[0].mac), "--ip", "127.0.0.1", "--port", kNewPort,
          "--setup-key", GetParam().Key, "--target", Target(), "--yes"});
  EXPECT_EQ(servers_[0]->config().network.http_port == kNewPort, GetParam().Applied)
      << "port " << servers_[0]->config().network.http_port;
}

INSTANTIATE_TEST_SUITE_P(Keys, CliSetNetworkKey,
                         ::testing::Values(TKeyCase{"its_key", "0x00010203,0x04050607,0x08090A0B,0x0C0D0E0F", true},
                                           TKeyCase{"decimal_words", "66051,67438087,134810123,202182159", true},
                                           TKeyCase{"another_key", "1,2,3,4", false}),
                         [](const auto &info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace cli_test
