// Host resolution and the port text of the connection fields.
#include <gtest/gtest.h>

#include <optional>

#include "app/device_address.h"

namespace calibrator {
namespace {

TEST(AppDeviceAddress, ResolvesLoopbackNamesAndRejectsUnknownOnes) {
  const struct {
    const char *name;
    const char *dotted;  // "" for no address
  } rows[] = {
      {"127.0.0.1", "127.0.0.1"},
      {"127.0.0.5", "127.0.0.5"},
      {"localhost", "127.0.0.1"},
      {"no-such-device.invalid", ""},
  };
  for (const auto &row : rows) EXPECT_EQ(ResolveIPv4(row.name), row.dotted) << "name " << row.name;
}

struct PortCase {
  const char *name;
  const char *text;
  std::optional<int> port;  // nothing: not a port
};

void PrintTo(const PortCase &c, std::ostream *out) { *out << c.name << " '" << c.text << "'"; }

class AppPortText : public ::testing::TestWithParam<PortCase> {};

// Regression: a text that was no integer meant port 23, and one outside the
// port range went to the library, which refused it as "IP not valid".
TEST_P(AppPortText, TakesOnlyAWholeNumberInThePortRange) {
  const PortCase &c = GetParam();
  EXPECT_EQ(PortOfText(c.text), c.port);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AppPortText,
    ::testing::Values(PortCase{"usual", "8080", 8080}, PortCase{"http", "80", 80}, PortCase{"lowest", "1", 1},
                      PortCase{"highest", "65535", 65535}, PortCase{"blanks_around", " 80 ", 80},
                      PortCase{"leading_zero", "080", 80}, PortCase{"letter", "P", std::nullopt},
                      PortCase{"empty", "", std::nullopt}, PortCase{"zero", "0", std::nullopt},
                      PortCase{"one_past_the_range", "65536", std::nullopt},
                      PortCase{"far_past_the_range", "83536", std::nullopt},
                      PortCase{"past_int", "99999999999", std::nullopt}, PortCase{"negative", "-1", std::nullopt},
                      PortCase{"plus_sign", "+80", std::nullopt}, PortCase{"trailing_letter", "80x", std::nullopt},
                      PortCase{"decimal", "8.0", std::nullopt}, PortCase{"inner_blank", "80 80", std::nullopt}),
    [](const ::testing::TestParamInfo<PortCase> &info) { return std::string(info.param.name); });

TEST(AppPortTextError, NamesTheTextAndTheRange) {
  const QString message = PortTextError("83536");
  EXPECT_TRUE(message.contains("\"83536\"")) << qPrintable(message);
  EXPECT_TRUE(message.contains(QString("%1 to %2").arg(kPortMin).arg(kPortMax))) << qPrintable(message);
}

}  // namespace
}  // namespace calibrator
