// Offset arithmetic of a calibration against a reference instrument.
//
// The operator reads a reference instrument and types its reading; the new
// offset is the one that moves the shown value onto the reference:
//   new offset = current offset + (reference - shown value),
// rounded to the one decimal the offset is posted with.
#ifndef APP_CALIBRATION_MATH_H
#define APP_CALIBRATION_MATH_H

#include <string>

namespace calibrator {

enum class TReferenceStatus {
  Ok,
  NoNumericValue,        // the sensor shows no number ("-", a switch state)
  NoNumericCalibration,  // the sensor has no numeric offset
  NotANumber,            // the reference text is not a decimal number
  OutOfRange,            // the computed offset does not fit the device's field
};

struct TReferenceOffset {
  TReferenceStatus Status = TReferenceStatus::NotANumber;
  float Offset = 0;  // set when Status is Ok: already at the posted precision
};

// Why a sensor offers no reference reading, as its tooltip says it; empty
// when it offers one. The texts are the grid's display texts of the sensor.
std::string ReferenceUnavailableReason(const std::string &value_text, const std::string &calibration_text);

// The offset for `reference_text` (blanks, an optional sign, digits with at
// most one "." or "," separator, any number of decimals, blanks), given the
// sensor's shown value and current offset in their display texts.
TReferenceOffset OffsetFromReference(const std::string &value_text, const std::string &calibration_text,
                                     const std::string &reference_text);

// The message for a status other than Ok.
const char *ReferenceMessage(TReferenceStatus status);

// True when a read-back offset equals the posted one at the posted precision.
bool SameAtPostedPrecision(double read_back, double posted);

}  // namespace calibrator

#endif
