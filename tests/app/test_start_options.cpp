// Command-line options: they prefill the connection fields, nothing more.
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
