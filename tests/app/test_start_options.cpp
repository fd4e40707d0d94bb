// Command-line options: they prefill the connection fields and say where the
// device search goes.
#include <gtest/gtest.h>

#include "app/start_options.h"

namespace calibrator {
namespace {

struct OptionsCase {
  const char *name;
  QStringList arguments;
  bool ok;
  TStartOptions expected;  // checked when ok
};

void PrintTo(const OptionsCase &c, std::ostream *out) { *out << c.name << ": " << qPrintable(c.arguments.join(' ')); }

class AppStartOptions : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(AppStartOptions, PrefillsOrRefuses) {
  const OptionsCase &c = GetParam();
  QCommandLineParser parser;
  AddStartOptions(parser);
  ASSERT_TRUE(parser.parse(QStringList{"zelvo-calibrator"} + c.arguments)) << qPrintable(parser.errorText());
  TStartOptions options;
  QString error;
  EXPECT_EQ(ReadStartOptions(parser, options, error), c.ok) << qPrintable(c.arguments.join(' '));
  EXPECT_EQ(error.isEmpty(), c.ok) << qPrintable(error);
  if (!c.ok) return;
  EXPECT_EQ(options.Host, c.expected.Host);
  EXPECT_EQ(options.Port, c.expected.Port);
  EXPECT_EQ(options.User, c.expected.User);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, AppStartOptions,
    ::testing::Values(OptionsCase{"none", {}, true, {}},
                      OptionsCase{"all",
                                  {"--host", "127.0.0.1", "--port", "8080", "--user", "admin"},
                                  true,
                                  {"127.0.0.1", "8080", "admin"}},
                      OptionsCase{"equals_form", {"--host=localhost", "--port=1"}, true, {"localhost", "1", ""}},
                      OptionsCase{"highest_port", {"--port", "65535"}, true, {"", "65535", ""}},
                      OptionsCase{"port_not_a_number", {"--port", "abc"}, false, {}},
                      OptionsCase{"port_zero", {"--port", "0"}, false, {}},
                      OptionsCase{"port_too_high", {"--port", "65536"}, false, {}},
                      OptionsCase{"port_with_sign", {"--port", "+80"}, false, {}},
                      OptionsCase{"port_past_int", {"--port", "99999999999"}, false, {}}),
    [](const ::testing::TestParamInfo<OptionsCase> &info) { return std::string(info.param.name); });

struct TargetCase {
  const char *name;
  const char *text;  // the value of --search-target
  bool ok;
  const char *address;  // checked when ok
  int port;
};

void PrintTo(const TargetCase &c, std::ostream *out) { *out << c.name << ": " << c.text; }

class AppSearchTargetOption : public ::testing::TestWithParam<TargetCase> {};

// Texts only: nothing is sent anywhere.
TEST_P(AppSearchTargetOption, TakesAnAddressAndAnOptionalPort) {
  const TargetCase &c = GetParam();
  QCommandLineParser parser;
  AddStartOptions(parser);
  ASSERT_TRUE(parser.parse({"zelvo-calibrator", "--search-target", c.text})) << qPrintable(parser.errorText());
  TStartOptions options;
  QString error;
  EXPECT_EQ(ReadStartOptions(parser, options, error), c.ok);
  EXPECT_EQ(options.SearchTarget.has_value(), c.ok);
  if (!c.ok) {
    EXPECT_TRUE(error.startsWith("--search-target ")) << qPrintable(error);
    EXPECT_TRUE(error.contains(QString("'%1'").arg(c.text))) << "names the text: " << qPrintable(error);
    return;
  }
  EXPECT_TRUE(error.isEmpty()) << qPrintable(error);
  EXPECT_EQ(options.SearchTarget->Address, c.address);
  EXPECT_EQ(options.SearchTarget->Port, c.port);
}

INSTANTIATE_TEST_SUITE_P(Targets, AppSearchTargetOption,
                         ::testing::Values(TargetCase{"address_alone_takes_the_devices_port", "127.0.0.1", true,
                                                      "127.0.0.1", 9999},
                                           TargetCase{"address_and_port", "127.0.0.1:40123", true, "127.0.0.1", 40123},
                                           TargetCase{"another_network", "192.0.2.10:1", true, "192.0.2.10", 1},
                                           TargetCase{"highest_port", "127.0.0.2:65535", true, "127.0.0.2", 65535},
                                           TargetCase{"host_name", "devices.invalid", false, "", 0},
                                           TargetCase{"three_numbers", "127.0.1", false, "", 0},
                                           TargetCase{"number_out_of_range", "127.0.0.256", false, "", 0},
                                           TargetCase{"empty", "", false, "", 0},
                                           TargetCase{"colon_without_port", "127.0.0.1:", false, "", 0},
                                           TargetCase{"port_zero", "127.0.0.1:0", false, "", 0},
                                           TargetCase{"port_too_high", "127.0.0.1:65536", false, "", 0},
                                           TargetCase{"port_not_a_number", "127.0.0.1:udp", false, "", 0},
                                           TargetCase{"two_ports", "127.0.0.1:80:81", false, "", 0}),
                         [](const ::testing::TestParamInfo<TargetCase> &info) { return std::string(info.param.name); });

struct ApplyWaitCase {
  const char *name;
  QStringList arguments;
  bool ok;
  int ms;  // checked when ok
};

void PrintTo(const ApplyWaitCase &c, std::ostream *out) { *out << c.name; }

class AppApplyWaitOption : public ::testing::TestWithParam<ApplyWaitCase> {};

TEST_P(AppApplyWaitOption, TakesMillisecondsFromZeroToAMinute) {
  const ApplyWaitCase &c = GetParam();
  QCommandLineParser parser;
  AddStartOptions(parser);
  ASSERT_TRUE(parser.parse(QStringList{"zelvo-calibrator"} + c.arguments)) << qPrintable(parser.errorText());
  TStartOptions options;
  QString error;
  EXPECT_EQ(ReadStartOptions(parser, options, error), c.ok);
  if (!c.ok) {
    EXPECT_TRUE(error.startsWith("--apply-wait ")) << qPrintable(error);
    return;
  }
  EXPECT_EQ(options.ApplyWaitMs, c.ms);
}

INSTANTIATE_TEST_SUITE_P(Waits, AppApplyWaitOption,
                         ::testing::Values(ApplyWaitCase{"default", {}, true, kApplyWaitDefaultMs},
                                           ApplyWaitCase{"none", {"--apply-wait", "0"}, true, 0},
                                           ApplyWaitCase{"three_seconds", {"--apply-wait=3000"}, true, 3000},
                                           ApplyWaitCase{"a_minute", {"--apply-wait", "60000"}, true, 60000},
                                           ApplyWaitCase{"past_a_minute", {"--apply-wait", "60001"}, false, 0},
                                           ApplyWaitCase{"negative", {"--apply-wait", "-1"}, false, 0},
                                           ApplyWaitCase{"seconds", {"--apply-wait", "3s"}, false, 0},
                                           ApplyWaitCase{"empty", {"--apply-wait", ""}, false, 0}),
                         [](const ::testing::TestParamInfo<ApplyWaitCase> &info) {
                           return std::string(info.param.name);
                         });

TEST(AppStartOptionsParser, RecordNamesTheFileAndIsEmptyWithoutIt) {
  QCommandLineParser parser;
  AddStartOptions(parser);
  ASSERT_TRUE(parser.parse({"zelvo-calibrator", "--record", "/tmp/trail.csv"}));
  TStartOptions options;
  QString error;
  ASSERT_TRUE(ReadStartOptions(parser, options, error));
  EXPECT_EQ(options.RecordPath, "/tmp/trail.csv");
  QCommandLineParser without;
  AddStartOptions(without);
  ASSERT_TRUE(without.parse({"zelvo-calibrator"}));
  ASSERT_TRUE(ReadStartOptions(without, options, error));
  EXPECT_TRUE(options.RecordPath.isEmpty());
}

TEST(AppStartOptionsParser, WithoutASearchTargetSearchesBroadcast) {
  QCommandLineParser parser;
  AddStartOptions(parser);
  ASSERT_TRUE(parser.parse({"zelvo-calibrator", "--host", "127.0.0.1"}));
  TStartOptions options;
  QString error;
  ASSERT_TRUE(ReadStartOptions(parser, options, error));
  EXPECT_FALSE(options.SearchTarget.has_value());
}

TEST(AppStartOptionsParser, ASearchTargetTheLibraryRefusesIsReportedWithItsReason) {
  TStartOptions options;
  QString error;
  EXPECT_TRUE(ApplySearchTarget(options, error)) << "no target, nothing to refuse";
  options.SearchTarget = TSearchTarget{"127.0.0.1", 40123};
  EXPECT_TRUE(ApplySearchTarget(options, error)) << qPrintable(error);
  // Only a text that the command line already refuses gets this far.
  options.SearchTarget = TSearchTarget{"devices.invalid", 40123};
  EXPECT_FALSE(ApplySearchTarget(options, error));
  EXPECT_TRUE(error.startsWith("--search-target devices.invalid:40123: ")) << qPrintable(error);
  EXPECT_GT(error.size(), QString("--search-target devices.invalid:40123: ").size()) << "with the library's reason";
}

TEST(AppStartOptionsParser, RejectsUnknownOptionsAndOffersHelpAndVersion) {
  QCommandLineParser parser;
  AddStartOptions(parser);
  EXPECT_FALSE(parser.parse({"zelvo-calibrator", "--password", "x"}));
  ASSERT_TRUE(parser.parse({"zelvo-calibrator", "--help", "--version"}));
  EXPECT_TRUE(parser.isSet("help"));
  EXPECT_TRUE(parser.isSet("version"));
}

}  // namespace
}  // namespace calibrator
