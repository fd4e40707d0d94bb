// `sensors` and `values` print the texts of the window's list: the same
// device opened in the real window and read by the program gives the same
// six cells per sensor and the same device name.
#include <gtest/gtest.h>

#include <QLabel>

#include "tests/app/main_window_fixture.h"
#include "tests/cli/cli_process.h"

namespace cli_test {
namespace {

struct TGridCase {
  const char *Name;
  const char *Variant;
  const char *Command;  // "sensors" or "values"
};

std::ostream &operator<<(std::ostream &out, const TGridCase &c) { return out << c.Name; }

class CliGridTexts : public calibrator_test::MainWindowTest, public ::testing::WithParamInterface<TGridCase> {};

TEST_P(CliGridTexts, JsonHoldsTheTextsOfTheGrid) {
  const devsim::DeviceConfig config = qxsupport::SteadyVariant(GetParam().Variant);
  StartDevice(config);
  OpenDevice(QString::fromStdString(config.user), QString::fromStdString(config.password));
  const TTextFile password(config.password + "\n");
  const TCliRun run = RunCli({GetParam().Command, Address(), "--json", "--user", QString::fromStdString(config.user),
                              "--password-file", password.Path()});
  ASSERT_EQ(run.ExitCode, kExitOk) << Describe(run);
  const nlohmann::json document = run.Json();
  ASSERT_TRUE(document.is_object()) << Describe(run);
  EXPECT_EQ(document.value("address", ""), "127.0.0.1");
  EXPECT_EQ(document.value("port", 0), port_);
  EXPECT_EQ(document.value("complete", false), true);
  EXPECT_EQ(QString::fromStdString(document.value("device_name", "")), Control<QLabel>("NameLabel")->text());
  const nlohmann::json &sensors = document["sensors"];
  ASSERT_TRUE(sensors.is_array()) << Describe(run);
  const int rows = Grid()->rowCount() - 1;  // less the empty last row
  ASSERT_EQ(static_cast<int>(sensors.size()), rows) << Describe(run);
  ASSERT_EQ(rows, static_cast<int>(config.sensors.size()));
  const char *const keys[calibrator::kSensorColumnCount] = {"name", "id", "value", "calibration", "min", "max"};
  for (int row = 0; row < rows; ++row) {
    QStringList printed;
    for (const char *key : keys) printed << QString::fromStdString(sensors[row].value(key, "<missing>"));
    EXPECT_EQ(printed, Row(row)) << "sensor " << row;
  }
}

// The table shows the same cells: every one of the grid's texts is on the
// sensor's line.
TEST_P(CliGridTexts, TableShowsTheTextsOfTheGrid) {
  const devsim::DeviceConfig config = qxsupport::SteadyVariant(GetParam().Variant);
  StartDevice(config);
  OpenDevice(QString::fromStdString(config.user), QString::fromStdString(config.password));
  const TCliRun run = RunCli({GetParam().Command, Address(), "--user", QString::fromStdString(config.user)},
                             {{"ZELVO_PASSWORD", QString::fromStdString(config.password)}});
  ASSERT_EQ(run.ExitCode, kExitOk) << Describe(run);
  const QStringList lines = QString::fromStdString(run.Out).split('\n');
  ASSERT_GE(lines.size(), 2 + Grid()->rowCount() - 1) << Describe(run);
  EXPECT_EQ(lines[0], "Device: " + Control<QLabel>("NameLabel")->text());
  for (int row = 0; row + 1 < Grid()->rowCount(); ++row) {
    const QString &line = lines[2 + row];  // after the device and the titles
    for (const QString &cell : Row(row))
      EXPECT_TRUE(line.contains(cell)) << line.toStdString() << " lacks " << cell.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, CliGridTexts,
                         ::testing::Values(TGridCase{"thermometer_sensors", "thermometer", "sensors"},
                                           TGridCase{"thermometer_values", "thermometer", "values"},
                                           TGridCase{"hygrometer_sensors", "hygrometer", "sensors"},
                                           TGridCase{"accented_sensors", "accented", "sensors"},
                                           TGridCase{"accented_values", "accented", "values"},
                                           TGridCase{"meter_sensors", "meter-57", "sensors"},
                                           TGridCase{"idx_values", "idx", "values"}),
                         [](const auto &info) { return std::string(info.param.Name); });

// A wrong password fails every command that talks HTTP with exit 1 and the
// library's text beside the device's address.
struct TWrongPasswordCase {
  const char *Name;
  QStringList Args;  // after the command; "ADDRESS" stands for the device
};

std::ostream &operator<<(std::ostream &out, const TWrongPasswordCase &c) { return out << c.Name; }

class CliWrongPassword : public ::testing::TestWithParam<TWrongPasswordCase> {};

TEST_P(CliWrongPassword, FailsWithTheLibrarysTextAndTheAddress) {
  devsim::Server server;
  const int port = server.start(qxsupport::SteadyVariant("thermometer"));
  ASSERT_GT(port, 0) << server.error();
  const QString address = QString("127.0.0.1:%1").arg(port);
  const TTextFile wrong("not-the-password\n");
  const TTextFile devices(QString("127.0.0.1,%1,admin,\n").arg(port).toStdString());
  QStringList args;
  for (const QString &arg : GetParam().Args)
    args << (arg == "ADDRESS" ? address : arg == "DEVICES" ? devices.Path() : arg);
  args << "--user"
       << "admin"
       << "--password-file" << wrong.Path();
  const TCliRun run = RunCli(args);
  EXPECT_EQ(run.ExitCode, kExitDeviceFailure) << Describe(run);
  EXPECT_NE(run.Err.find("HTTP: Unauthorized"), std::string::npos) << Describe(run);
  EXPECT_NE(run.Err.find(address.toStdString()), std::string::npos) << Describe(run);
  EXPECT_EQ(server.sensor_calibration(101), 0.0);  // nothing was posted through
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliWrongPassword,
    ::testing::Values(TWrongPasswordCase{"sensors", {"sensors", "ADDRESS"}},
                      TWrongPasswordCase{"calibrate", {"calibrate", "ADDRESS", "--id", "101", "--offset", "1.0"}},
                      TWrongPasswordCase{"poll_setup", {"poll", "--devices", "DEVICES", "--setup"}}),
    [](const auto &info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace cli_test
