// The offset computed from a reference reading, and the comparison of a
// read-back offset with the posted one.
#include <gtest/gtest.h>

#include "app/calib_input.h"
#include "app/calibration_math.h"

namespace calibrator {
namespace {

struct ReferenceCase {
  const char *name;
  const char *value;
  const char *calibration;
  const char *reference;
  TReferenceStatus status;
  const char *posted;  // the offset's posted text when Ok
};

class AppReferenceOffset : public testing::TestWithParam<ReferenceCase> {};

TEST_P(AppReferenceOffset, ComputesThePostedOffset) {
  const ReferenceCase &c = GetParam();
  const TReferenceOffset result = OffsetFromReference(c.value, c.calibration, c.reference);
  EXPECT_EQ(result.Status, c.status);
  if (c.status == TReferenceStatus::Ok) {
    EXPECT_EQ(CalibrationText(result.Offset), c.posted);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppReferenceOffset,
    testing::Values(ReferenceCase{"ReferenceAboveValue", "21.2", "0.0", "22.0", TReferenceStatus::Ok, "0.8"},
                    ReferenceCase{"ReferenceBelowValue", "21.2", "0.0", "20.5", TReferenceStatus::Ok, "-0.7"},
                    ReferenceCase{"PositiveOffsetGrows", "21.2", "1.5", "22.0", TReferenceStatus::Ok, "2.3"},
                    ReferenceCase{"NegativeOffsetShrinks", "21.2", "-1.5", "20.0", TReferenceStatus::Ok, "-2.7"},
                    ReferenceCase{"NegativeOffsetCrossesZero", "18.0", "-1.5", "20.0", TReferenceStatus::Ok, "0.5"},
                    ReferenceCase{"EqualReadingKeepsOffset", "21.2", "0.3", "21.2", TReferenceStatus::Ok, "0.3"},
                    ReferenceCase{"HalfRoundsUp", "20.00", "1.0", "20.05", TReferenceStatus::Ok, "1.1"},
                    ReferenceCase{"NegativeHalfRoundsDown", "20.05", "0.0", "20.00", TReferenceStatus::Ok, "-0.1"},
                    ReferenceCase{"BelowHalfRoundsDown", "20.00", "1.0", "20.049", TReferenceStatus::Ok, "1.0"},
                    ReferenceCase{"CommaSeparator", "21.2", "0.0", " 22,4 ", TReferenceStatus::Ok, "1.2"},
                    ReferenceCase{"SignedReference", "-5.0", "0.0", "-4.5", TReferenceStatus::Ok, "0.5"},
                    ReferenceCase{"NoValue", "-", "0.0", "20", TReferenceStatus::NoNumericValue, ""},
                    ReferenceCase{"SwitchState", "On", "0.0", "20", TReferenceStatus::NoNumericValue, ""},
                    ReferenceCase{"NoCalibration", "21.2", "-", "20", TReferenceStatus::NoNumericCalibration, ""},
                    ReferenceCase{"EmptyReference", "21.2", "0.0", "", TReferenceStatus::NotANumber, ""},
                    ReferenceCase{"WordReference", "21.2", "0.0", "twenty", TReferenceStatus::NotANumber, ""},
                    ReferenceCase{"TwoSeparators", "21.2", "0.0", "2.1.0", TReferenceStatus::NotANumber, ""},
                    ReferenceCase{"OffsetTooLarge", "0.0", "0.0", "100000", TReferenceStatus::OutOfRange, ""},
                    ReferenceCase{"HugeReference", "0.0", "0.0", "1e400", TReferenceStatus::NotANumber, ""},
                    ReferenceCase{"ManyDigits", "0.0", "0.0", "99999999999999999999999", TReferenceStatus::OutOfRange,
                                  ""}),
    [](const testing::TestParamInfo<ReferenceCase> &info) { return std::string(info.param.name); });

TEST(AppReferenceAvailability, NamesWhyASensorOffersNoReference) {
  EXPECT_EQ(ReferenceUnavailableReason("21.2", "0.0"), "");
  EXPECT_EQ(ReferenceUnavailableReason("-", "0.0"), ReferenceMessage(TReferenceStatus::NoNumericValue));
  EXPECT_EQ(ReferenceUnavailableReason("Off", "-"), ReferenceMessage(TReferenceStatus::NoNumericValue));
  EXPECT_EQ(ReferenceUnavailableReason("12", "-"), ReferenceMessage(TReferenceStatus::NoNumericCalibration));
}

TEST(AppPostedPrecision, ComparesAtOneDecimal) {
  EXPECT_TRUE(SameAtPostedPrecision(1.5, 1.5f));
  EXPECT_TRUE(SameAtPostedPrecision(0.1, 0.1f));  // a float's 0.1 is not a double's
  EXPECT_TRUE(SameAtPostedPrecision(-2.70, -2.7f));
  EXPECT_FALSE(SameAtPostedPrecision(0.0, 1.5f));
  EXPECT_FALSE(SameAtPostedPrecision(1.4, 1.5f));
  EXPECT_FALSE(SameAtPostedPrecision(-1.5, 1.5f));
}

}  // namespace
}  // namespace calibrator
