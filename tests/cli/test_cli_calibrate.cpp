// `calibrate` posts, waits, reads back and says by its exit code whether the
// device holds the posted offset.
#include <gtest/gtest.h>

#include <optional>

#include "tests/cli/cli_process.h"
#include "tests/support/devsim_variant.h"
#include "tools/devsim/devsim.h"

namespace cli_test {
namespace {

constexpr unsigned kSensor = 102;  // Incubator of the thermometer: 30.2 shown, offset 0.0

struct TCalibrateCase {
  const char *Name;
  const char *Fault;   // empty: none
  QStringList Args;    // after the address and the sensor
  int Exit;            // TExitCode
  double Held;         // the offset the device holds afterwards
  const char *Posted;  // the posted text in the JSON
};

std::ostream &operator<<(std::ostream &out, const TCalibrateCase &c) { return out << c.Name; }

class CliCalibrate : public ::testing::TestWithParam<TCalibrateCase> {};

TEST_P(CliCalibrate, ExitCodeSaysWhetherTheOffsetWasVerified) {
  const TCalibrateCase &c = GetParam();
  devsim::DeviceConfig config = qxsupport::SteadyVariant("thermometer");
  if (*c.Fault) config.faults.push_back(*devsim::parse_fault(c.Fault));
  devsim::Server server;
  const int port = server.start(config);
  ASSERT_GT(port, 0) << server.error();
  QStringList args = {"calibrate", QString("127.0.0.1:%1").arg(port),
                      "--id",      QString::number(kSensor),
                      "--user",    "admin",
                      "--json",    "--apply-wait",
                      "400"};
  args << c.Args;
  const TCliRun run = RunCli(args, {{"ZELVO_PASSWORD", "admin"}});
  EXPECT_EQ(run.ExitCode, c.Exit) << Describe(run);
  EXPECT_EQ(server.sensor_calibration(kSensor), std::optional<double>(c.Held));
  EXPECT_TRUE(server.last_post().has_value()) << "nothing was posted";
  const nlohmann::json document = run.Json();
  ASSERT_TRUE(document.is_object()) << Describe(run);
  EXPECT_EQ(document.value("id", 0), static_cast<int>(kSensor));
  EXPECT_EQ(document.value("port", 0), port);
  EXPECT_EQ(document.value("previous", ""), "0.0");
  EXPECT_EQ(document.value("posted", ""), c.Posted);
  EXPECT_EQ(document.value("read_back", ""), c.Exit == kExitOk ? c.Posted : "0.0");
  EXPECT_EQ(document.value("verified", false), c.Exit == kExitOk);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, CliCalibrate,
    ::testing::Values(
        TCalibrateCase{"offset_applied", "", {"--offset", "1.5"}, kExitOk, 1.5, "1.5"},
        TCalibrateCase{"negative_offset_with_comma", "", {"--offset", "-0,7"}, kExitOk, -0.7, "-0.7"},
        // 30.2 shown, reference 29.8: the offset moves it by -0.4.
        TCalibrateCase{"reference_applied", "", {"--reference", "29.8"}, kExitOk, -0.4, "-0.4"},
        TCalibrateCase{"offset_ignored", "ignore-post@post", {"--offset", "1.5"}, kExitNotApplied, 0.0, "1.5"},
        TCalibrateCase{"reference_ignored", "ignore-post@post", {"--reference", "31"}, kExitNotApplied, 0.0, "0.8"}),
    [](const auto &info) { return std::string(info.param.Name); });

// The human line names the sensor, both offsets and the verdict.
TEST(CliCalibrateText, SaysVerifiedOrNotApplied) {
  for (const bool ignore : {false, true}) {
    devsim::DeviceConfig config = qxsupport::SteadyVariant("hygrometer");  // no credentials
    if (ignore) config.faults.push_back(*devsim::parse_fault("ignore-post@post"));
    devsim::Server server;
    const int port = server.start(config);
    ASSERT_GT(port, 0) << server.error();
    const TCliRun run =
        RunCli({"calibrate", QString("127.0.0.1:%1").arg(port), "--id", "101", "--offset", "2", "--apply-wait", "0"});
    EXPECT_EQ(run.ExitCode, ignore ? kExitNotApplied : kExitOk) << Describe(run);
    const std::string expected = ignore ? "Sensor 101: offset 2.0 posted, device holds 0.0: NOT applied\n"
                                        : "Sensor 101: offset 2.0 posted, device holds 2.0: verified\n";
    EXPECT_EQ(run.Out, expected) << Describe(run);
  }
}

}  // namespace
}  // namespace cli_test
