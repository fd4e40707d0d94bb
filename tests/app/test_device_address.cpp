// Host resolution and the port text of the connection fields.
#include <gtest/gtest.h>

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

TEST(AppDeviceAddress, PortTextThatIsNoIntegerMeansPort23) {
  const struct {
    const char *text;
    int port;
  } rows[] = {{"80", 80}, {"8080", 8080}, {"abc", 23}, {"80x", 23}, {"8.0", 23}, {"-", 23}};
  for (const auto &row : rows) EXPECT_EQ(PortOfText(row.text), row.port) << "text '" << row.text << "'";
}

}  // namespace
}  // namespace calibrator
