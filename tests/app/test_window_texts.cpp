// The main window's own texts: the warning about a document that did not
// arrive whole, and the status line of a request.
#include <gtest/gtest.h>

#include "app/document_quality.h"
#include "app/request_status.h"
#include "sdk/io_xml.h"

namespace calibrator {
namespace {

struct QualityCase {
  const char *name;
  qxxml_doc_quality quality;
  int sensors;
  const char *setup_warning;  // "" for none
  const char *reply_warning;  // "" for none
};

void PrintTo(const QualityCase &c, std::ostream *out) { *out << c.name; }

class AppDocumentQuality : public ::testing::TestWithParam<QualityCase> {};

TEST_P(AppDocumentQuality, WarnsOfWhatIsMissingAndWhy) {
  const QualityCase &c = GetParam();
  const bool incomplete = *c.setup_warning != '\0';
  EXPECT_EQ(IsIncomplete(c.quality), incomplete);
  EXPECT_EQ(IncompleteSetupWarning("127.0.0.1:18100", c.quality, c.sensors), c.setup_warning);
  EXPECT_EQ(IncompleteReplyWarning("127.0.0.1:18100", "Set calibration", c.quality), c.reply_warning);
}

INSTANTIATE_TEST_SUITE_P(
    Qualities, AppDocumentQuality,
    ::testing::Values(
        QualityCase{"whole", {0, 0, 0}, 4, "", ""},
        QualityCase{"silence",
                    {1, 0, 0},
                    3,
                    "Warning: the setup from 127.0.0.1:18100 is incomplete (the device stopped sending); 3 sensors "
                    "shown",
                    "Warning: the reply of 127.0.0.1:18100 to Set calibration is incomplete (the device stopped "
                    "sending)"},
        QualityCase{"not_well_formed",
                    {0, 1, 12},
                    1,
                    "Warning: the setup from 127.0.0.1:18100 is incomplete (not well-formed at line 12); 1 sensor "
                    "shown",
                    "Warning: the reply of 127.0.0.1:18100 to Set calibration is incomplete (not well-formed at line "
                    "12)"},
        QualityCase{"silence_mid_document",
                    {1, 1, 40},
                    0,
                    "Warning: the setup from 127.0.0.1:18100 is incomplete (the device stopped sending; not "
                    "well-formed at line 40); 0 sensors shown",
                    "Warning: the reply of 127.0.0.1:18100 to Set calibration is incomplete (the device stopped "
                    "sending; not well-formed at line 40)"},
        QualityCase{"no_line",
                    {0, 1, 0},
                    2,
                    "Warning: the setup from 127.0.0.1:18100 is incomplete (not well-formed); 2 sensors shown",
                    "Warning: the reply of 127.0.0.1:18100 to Set calibration is incomplete (not well-formed)"}),
    [](const ::testing::TestParamInfo<QualityCase> &info) { return std::string(info.param.name); });

struct StatusCase {
  const char *name;
  int32_t action;
  TRequestPhase phase;
  const char *status;
};

void PrintTo(const StatusCase &c, std::ostream *out) { *out << c.name; }

class AppRequestStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(AppRequestStatus, NamesTheRequestAndTheAddress) {
  const StatusCase &c = GetParam();
  EXPECT_EQ(RequestStatus(c.action, c.phase, "127.0.0.1:8080"), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, AppRequestStatus,
    ::testing::Values(StatusCase{"setup_connecting", zelvoapi::xaGetSetup, TRequestPhase::kConnecting,
                                 "Connecting to 127.0.0.1:8080 to download the setup..."},
                      StatusCase{"setup_transferring", zelvoapi::xaGetSetup, TRequestPhase::kTransferring,
                                 "Downloading the setup from 127.0.0.1:8080..."},
                      StatusCase{"values_transferring", zelvoapi::xaGetValues, TRequestPhase::kTransferring,
                                 "Downloading the values from 127.0.0.1:8080..."},
                      StatusCase{"calibration_connecting", zelvoapi::xaSetCalibration, TRequestPhase::kConnecting,
                                 "Connecting to 127.0.0.1:8080 to post the calibration..."},
                      StatusCase{"calibration_transferring", zelvoapi::xaSetCalibration, TRequestPhase::kTransferring,
                                 "Posting the calibration to 127.0.0.1:8080..."},
                      StatusCase{"name_transferring", zelvoapi::xaSetName, TRequestPhase::kTransferring,
                                 "Posting the name to 127.0.0.1:8080..."},
                      StatusCase{"unknown_action", zelvoapi::xaIdle, TRequestPhase::kConnecting,
                                 "Waiting for 127.0.0.1:8080..."}),
    [](const ::testing::TestParamInfo<StatusCase> &info) { return std::string(info.param.name); });

TEST(AppRequestStatusElapsed, CountsWholeSecondsFromTheFirst) {
  const struct {
    int64_t elapsed_ms;
    const char *status;
  } rows[] = {{0, "Waiting..."}, {999, "Waiting..."}, {1000, "Waiting... 1 s"}, {10500, "Waiting... 10 s"}};
  for (const auto &row : rows) EXPECT_EQ(WithElapsed("Waiting...", row.elapsed_ms), row.status) << row.elapsed_ms;
}

}  // namespace
}  // namespace calibrator
