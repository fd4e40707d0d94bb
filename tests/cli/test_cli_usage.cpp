// Bad command lines give the usage exit code with a message on standard
// error; --help of every command succeeds.
#include <gtest/gtest.h>

#include "tests/cli/cli_process.h"

namespace cli_test {
namespace {

struct TUsageCase {
  const char *Name;
  QStringList Args;
  const char *Message;  // part of the error line
};

std::ostream &operator<<(std::ostream &out, const TUsageCase &c) { return out << c.Name; }

class CliUsage : public ::testing::TestWithParam<TUsageCase> {};

TEST_P(CliUsage, ExitsWithUsageCodeAndMessage) {
  const TCliRun run = RunCli(GetParam().Args);
  EXPECT_EQ(run.ExitCode, kExitUsage) << Describe(run);
  EXPECT_NE(run.Err.find(GetParam().Message), std::string::npos) << Describe(run);
  EXPECT_EQ(run.Out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CliUsage,
    ::testing::Values(
        TUsageCase{"no_command", {}, "Usage: zelvo-cli COMMAND"},
        TUsageCase{"unknown_command", {"frobnicate"}, "unknown command frobnicate"},
        // A password never goes on the command line, where a process list shows it.
        TUsageCase{"password_option", {"sensors", "127.0.0.1", "--password", "x"}, "unknown option --password"},
        TUsageCase{"sensors_without_host", {"sensors"}, "expects one HOST[:PORT]"},
        TUsageCase{"values_bad_port", {"values", "127.0.0.1:70000"}, "not HOST[:PORT]"},
        TUsageCase{"calibrate_without_id", {"calibrate", "127.0.0.1", "--offset", "1"}, "--id N is required"},
        TUsageCase{"calibrate_both",
                   {"calibrate", "127.0.0.1", "--id", "1", "--offset", "1", "--reference", "2"},
                   "either --offset X or --reference R"},
        TUsageCase{"calibrate_bad_wait",
                   {"calibrate", "127.0.0.1", "--id", "1", "--offset", "1", "--apply-wait", "x"},
                   "--apply-wait"},
        TUsageCase{"poll_without_devices", {"poll"}, "--devices FILE is required"},
        TUsageCase{"poll_missing_file", {"poll", "--devices", "/nonexistent.invalid/list.csv"}, "cannot read"},
        TUsageCase{"search_bad_target", {"search", "--target", "localhost.invalid"}, "not a dotted ADDRESS[:PORT]"},
        TUsageCase{"search_bad_timeout", {"search", "--timeout", "0"}, "--timeout"},
        TUsageCase{"set_network_without_ip", {"set-network", "00:20:4A:00:00:01"}, "--ip A is required"},
        TUsageCase{"set_network_bad_key",
                   {"set-network", "00:20:4A:00:00:01", "--ip", "127.0.0.2", "--setup-key", "1,2,3"},
                   "--setup-key"},
        TUsageCase{"option_twice", {"sensors", "127.0.0.1", "--user", "a", "--user", "b"}, "given twice"}),
    [](const auto &info) { return std::string(info.param.Name); });

class CliHelp : public ::testing::TestWithParam<const char *> {};

TEST_P(CliHelp, PrintsUsageAndExitsZero) {
  const TCliRun run = RunCli({GetParam(), "--help"});
  EXPECT_EQ(run.ExitCode, kExitOk) << Describe(run);
  EXPECT_EQ(run.Out.rfind(std::string("Usage: zelvo-cli ") + GetParam(), 0), 0u) << Describe(run);
}

INSTANTIATE_TEST_SUITE_P(Commands, CliHelp,
                         ::testing::Values("search", "sensors", "values", "calibrate", "poll", "set-network"),
                         [](const auto &info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace cli_test
