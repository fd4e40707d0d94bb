// `search` lists every device that answered a UDP search with the
// documented fields.
#include <gtest/gtest.h>

#include "tests/cli/cli_process.h"
#include "tests/cli/udp_fleet.h"

namespace cli_test {
namespace {

using CliSearch = UdpFleet;

TEST_F(CliSearch, JsonListsEveryDeviceWithItsFields) {
  Start({"thermometer", "accented"});
  const TCliRun run = RunCli({"search", "--target", Target(), "--names", "--json"});
  ASSERT_EQ(run.ExitCode, kExitOk) << Describe(run);
  const nlohmann::json document = run.Json();
  ASSERT_TRUE(document.is_object()) << Describe(run);
  const nlohmann::json &devices = document["devices"];
  ASSERT_EQ(devices.size(), configs_.size()) << Describe(run);
  for (std::size_t i = 0; i < configs_.size(); ++i) {
    // Replies may come in any order: the MAC identifies the device.
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const nlohmann::json &d) { return d.value("mac", "") == configs_[i].mac; });
    ASSERT_NE(found, devices.end()) << configs_[i].mac << "\n" << Describe(run);
    EXPECT_EQ(found->value("address", ""), "127.0.0.1");
    EXPECT_EQ(found->value("port", 0), servers_[i]->port());
    EXPECT_EQ(found->value("name", ""), configs_[i].device_name);
    EXPECT_EQ(found->value("version", ""), configs_[i].version);
    EXPECT_FALSE(found->value("model", "").empty());
    EXPECT_EQ(found->value("type", -1), configs_[i].discovery.type_code);
    ASSERT_TRUE((*found)["capabilities"].is_number_integer()) << found->dump();
  }
  // The accented hub lists its capability bits itself: bit 0 is the setup key.
  const auto hub = std::find_if(devices.begin(), devices.end(),
                                [&](const nlohmann::json &d) { return d.value("mac", "") == configs_[1].mac; });
  EXPECT_EQ(hub->value("capabilities", -1) & 1, configs_[1].discovery.capabilities & 1);
}

TEST_F(CliSearch, TableNamesEveryDevice) {
  Start({"thermometer", "hygrometer"});
  const TCliRun run = RunCli({"search", "--target", Target()});
  ASSERT_EQ(run.ExitCode, kExitOk) << Describe(run);
  for (std::size_t i = 0; i < configs_.size(); ++i) {
    EXPECT_NE(run.Out.find(configs_[i].mac), std::string::npos) << Describe(run);
    EXPECT_NE(run.Out.find(std::to_string(servers_[i]->port())), std::string::npos) << Describe(run);
  }
  EXPECT_NE(run.Out.find("2 device(s) found"), std::string::npos) << Describe(run);
}

}  // namespace
}  // namespace cli_test
