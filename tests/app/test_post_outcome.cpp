// What the program says after a failed post, from the library's error code
// and from what the read-back found.
#include <gtest/gtest.h>

#include "app/post_outcome.h"
#include "common/qx_error.h"

namespace calibrator_test {
namespace {

using calibrator::TPostOutcome;

struct OutcomeCase {
  const char *name;
  int32_t code;
  TPostOutcome outcome;
};

void PrintTo(const OutcomeCase &c, std::ostream *out) { *out << c.name; }

class AppPostOutcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(AppPostOutcome, RefusedOnlyWhenTheDeviceCannotHaveTakenThePost) {
  EXPECT_EQ(calibrator::PostOutcomeOf(GetParam().code), GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, AppPostOutcome,
    ::testing::Values(OutcomeCase{"bad_request", QX_ERR_HTTP_400, TPostOutcome::kRefused},
                      OutcomeCase{"expectation_failed", QX_ERR_HTTP_417, TPostOutcome::kRefused},
                      OutcomeCase{"server_error", QX_ERR_HTTP_500, TPostOutcome::kRefused},
                      OutcomeCase{"version_not_supported", QX_ERR_HTTP_505, TPostOutcome::kRefused},
                      OutcomeCase{"connect_refused", QX_ERR_SOCKET_CONNECT, TPostOutcome::kRefused},
                      OutcomeCase{"busy", QX_ERR_ACTION_NOT_FINISH, TPostOutcome::kRefused},
                      OutcomeCase{"no_http_reply", QX_ERR_HTTP_NOT_FOUND, TPostOutcome::kAmbiguous},
                      OutcomeCase{"unreadable_document", QX_ERR_FILE_NOT_VALID, TPostOutcome::kAmbiguous},
                      OutcomeCase{"not_xml", QX_ERR_XML_NOT_VALID, TPostOutcome::kAmbiguous},
                      OutcomeCase{"unknown_status", QX_ERR_HTTP_UNKNOWN, TPostOutcome::kAmbiguous},
                      OutcomeCase{"too_large", QX_ERR_FILE_TOO_LARGE, TPostOutcome::kAmbiguous},
                      OutcomeCase{"timeout", QX_ERR_TIMEOUT, TPostOutcome::kAmbiguous},
                      OutcomeCase{"reset", QX_ERR_RECV, TPostOutcome::kAmbiguous},
                      OutcomeCase{"send_cut", QX_ERR_SEND, TPostOutcome::kAmbiguous}),
    [](const ::testing::TestParamInfo<OutcomeCase> &info) { return std::string(info.param.name); });

struct LineCase {
  const char *name;
  std::optional<double> held;
  double posted;
  const char *line;
};

void PrintTo(const LineCase &c, std::ostream *out) { *out << c.name; }

class AppReadBackLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(AppReadBackLine, ComparesWhatTheDeviceHoldsWithWhatWasPosted) {
  const LineCase &c = GetParam();
  EXPECT_EQ(calibrator::CalibrationReadBackLine(3, c.held, c.posted).toStdString(), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AppReadBackLine,
    ::testing::Values(LineCase{"as_posted", 1.5, 1.5, "Calibration of sensor 3: the device now holds 1.5, as posted"},
                      // The post carries single precision; the document's text reads back as double.
                      LineCase{"single_precision", 2.7, static_cast<double>(2.7f),
                               "Calibration of sensor 3: the device now holds 2.7, as posted"},
                      LineCase{"kept_old", 0.0, -1.5,
                               "Calibration of sensor 3: the device now holds 0, not the -1.5 posted"},
                      LineCase{"gone", std::nullopt, 1.5,
                               "Calibration of sensor 3: the device no longer lists the sensor (posted 1.5)"}),
    [](const ::testing::TestParamInfo<LineCase> &info) { return std::string(info.param.name); });

TEST(AppPostFailureLine, RefusalSaysNotAppliedAndAmbiguitySaysMay) {
  EXPECT_EQ(calibrator::PostFailureLine(TPostOutcome::kRefused, 3, "HTTP: Forbidden").toStdString(),
            "Calibration of sensor 3 was not applied: HTTP: Forbidden");
  EXPECT_EQ(calibrator::PostFailureLine(TPostOutcome::kAmbiguous, 3, "File not valid").toStdString(),
            "Calibration of sensor 3 may have been applied: the device's reply could not be read (File not valid)");
}

TEST(AppVerdictLine, NamesTheSensorAndItsIdAndSaysWhatTheDeviceHolds) {
  EXPECT_EQ(calibrator::VerifiedLine("Incubator", 102, "0.0", "0.3").toStdString(),
            "Calibration of Incubator (ID 102) verified: 0.0 \u2192 0.3");
  EXPECT_EQ(calibrator::NotAppliedLine("Incubator", 102, "0.0", "0.5").toStdString(),
            "Calibration of Incubator (ID 102) NOT applied: the device reports 0.0 (posted 0.5)");
  EXPECT_EQ(calibrator::NotVerifiedLine("Lab, \"B\"", 7, "HTTP: Forbidden").toStdString(),
            "Calibration of Lab, \"B\" (ID 7) could not be verified: HTTP: Forbidden");
}

}  // namespace
}  // namespace calibrator_test
