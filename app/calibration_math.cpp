#include "app/calibration_math.h"

#include <cmath>
#include <cstdint>

#include "app/calib_input.h"

namespace calibrator {

namespace {

// A reference instrument may show more decimals than the offset keeps; they
// count in the difference and are rounded only in the result.
constexpr int kReferenceDecimals = 6;

// The difference is taken in millionths, so that the binary form of the
// decimal texts cannot tip a half one way or the other: halves round away
// from zero, as a technician rounds by hand.
double RoundToPosted(double offset) {
  // Far beyond every offset that fits the device's field; left as it is,
  // it is refused as out of range.
  constexpr double kLargest = 1e7;
  if (!(std::fabs(offset) < kLargest)) return offset;
  const std::int64_t millionths = std::llround(offset * 1e6);
  constexpr std::int64_t kPerTenth = 100000;
  const std::int64_t magnitude = (std::llabs(millionths) + kPerTenth / 2) / kPerTenth;
  return static_cast<double>(millionths < 0 ? -magnitude : magnitude) / 10;
}

bool ReadNumber(const std::string &text, int max_decimals, double &value) {
  return ReadDecimal(text, max_decimals, value) == TCalibInput::Ok;
}

}  // namespace

std::string ReferenceUnavailableReason(const std::string &value_text, const std::string &calibration_text) {
  double number = 0;
  if (!ReadNumber(value_text, kReferenceDecimals, number)) return ReferenceMessage(TReferenceStatus::NoNumericValue);
  if (!ReadNumber(calibration_text, kReferenceDecimals, number))
    return ReferenceMessage(TReferenceStatus::NoNumericCalibration);
  return std::string();
}

TReferenceOffset OffsetFromReference(const std::string &value_text, const std::string &calibration_text,
                                     const std::string &reference_text) {
  TReferenceOffset result;
  double value = 0, calibration = 0, reference = 0;
  if (!ReadNumber(value_text, kReferenceDecimals, value)) {
    result.Status = TReferenceStatus::NoNumericValue;
  } else if (!ReadNumber(calibration_text, kReferenceDecimals, calibration)) {
    result.Status = TReferenceStatus::NoNumericCalibration;
  } else if (!ReadNumber(reference_text, kReferenceDecimals, reference)) {
    result.Status = TReferenceStatus::NotANumber;
  } else {
    // The posted text is the one the operator could have typed: the same
    // checks apply to it as to a typed offset.
    const TCalibReading posted = ParseCalibration(CalibrationText(RoundToPosted(calibration + (reference - value))));
    result.Status = posted.Status == TCalibInput::Ok ? TReferenceStatus::Ok : TReferenceStatus::OutOfRange;
    result.Offset = posted.Value;
  }
  return result;
}

const char *ReferenceMessage(TReferenceStatus status) {
  switch (status) {
    case TReferenceStatus::Ok: return "";
    case TReferenceStatus::NoNumericValue: return "The sensor shows no numeric value to compare with a reference";
    case TReferenceStatus::NoNumericCalibration: return "The sensor has no numeric calibration offset";
    case TReferenceStatus::NotANumber: return "Enter the reference reading as a number, such as 21.35";
    case TReferenceStatus::OutOfRange: return "The computed offset is out of range: -9999.9 to 99999.9";
  }
  return "";
}

bool SameAtPostedPrecision(double read_back, double posted) {
  return CalibrationText(read_back) == CalibrationText(posted);
}

}  // namespace calibrator
