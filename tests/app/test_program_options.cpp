// The built program's answers to its command line on a machine without a
// display: the options that end before the window opens must not need one.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <string>

#include "app/program_info.h"

namespace {

// Far beyond a start-up that prints and exits; a hang fails instead of
// stalling the run.
constexpr int kRunLimitMs = 10000;

struct OptionCase {
  const char *name;
  QStringList arguments;
  bool succeeds;           // exit code 0, else a non-zero one
  std::string stdout_has;  // empty: nothing checked
  std::string stderr_has;  // empty: nothing checked
};

void PrintTo(const OptionCase &c, std::ostream *out) { *out << c.name; }

// The test's environment without anything that leads to a display.
QProcessEnvironment WithoutDisplay() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
  return environment;
}

class AppProgramOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(AppProgramOptions, AnswerWithoutADisplay) {
  const OptionCase &c = GetParam();
  QProcess program;
  program.setProcessEnvironment(WithoutDisplay());
  program.start(CALIBRATOR_COMMAND, c.arguments);
  ASSERT_TRUE(program.waitForStarted(kRunLimitMs)) << program.errorString().toStdString();
  if (!program.waitForFinished(kRunLimitMs)) {
    program.kill();
    program.waitForFinished(kRunLimitMs);
    FAIL() << "the program did not end within " << kRunLimitMs << " ms";
  }
  const std::string out = program.readAllStandardOutput().toStdString();
  const std::string err = program.readAllStandardError().toStdString();
  ASSERT_EQ(program.exitStatus(), QProcess::NormalExit) << "stderr: " << err;
  if (c.succeeds) {
    EXPECT_EQ(program.exitCode(), 0) << "stderr: " << err;
  } else {
    EXPECT_NE(program.exitCode(), 0);
  }
  if (!c.stdout_has.empty()) {
    EXPECT_NE(out.find(c.stdout_has), std::string::npos) << "stdout: " << out;
  }
  if (!c.stderr_has.empty()) {
    EXPECT_NE(err.find(c.stderr_has), std::string::npos) << "stderr: " << err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Options, AppProgramOptions,
    ::testing::Values(OptionCase{"help", {"--help"}, true, "--port <port>", ""},
                      OptionCase{"help_short", {"-h"}, true, "Usage: ", ""},
                      OptionCase{"version",
                                 {"--version"},
                                 true,
                                 std::string(calibrator::kProgramTitle) + " " + calibrator::kProgramVersion,
                                 ""},
                      OptionCase{"unknown_option", {"--colour"}, false, "", "Unknown option 'colour'"},
                      OptionCase{"port_not_a_number", {"--port", "P"}, false, "", "--port"},
                      OptionCase{"help_names_the_search_target", {"--help"}, true, "--search-target", ""},
                      OptionCase{"help_names_the_apply_wait", {"--help"}, true, "--apply-wait <ms>", ""},
                      OptionCase{"help_names_the_record", {"--help"}, true, "--record <file>", ""},
                      OptionCase{"apply_wait_too_long",
                                 {"--apply-wait", "60001"},
                                 false,
                                 "",
                                 "--apply-wait needs a whole number of milliseconds from 0 to 60000"},
                      OptionCase{"search_target_not_an_address",
                                 {"--search-target", "devices.invalid"},
                                 false,
                                 "",
                                 "--search-target needs a dotted IPv4 address"}),
    [](const ::testing::TestParamInfo<OptionCase> &info) { return std::string(info.param.name); });

}  // namespace
