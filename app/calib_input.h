// Reading of the calibration offset the operator types into the dialog.
//
// The offset is written into a physical device, so a typing slip must not
// turn into a silently wrong value: only a plain decimal number is taken,
// only with as many decimals as the posted text carries (a second decimal
// would be rounded away behind the operator's back), and only one whose
// posted text fits the device's Calib field.
#ifndef APP_CALIB_INPUT_H
#define APP_CALIB_INPUT_H

#include <string>

namespace calibrator {

enum class TCalibInput {
  Ok,
  NotANumber,       // anything but blanks around an optionally signed decimal number
  TooManyDecimals,  // more digits after the separator than the posted text keeps
  OutOfRange,       // its one-decimal text does not fit the device's Calib field
};

struct TCalibReading {
  TCalibInput Status = TCalibInput::NotANumber;
  float Value = 0;  // set when Status is Ok; the dialog hands out 32-bit values
};

// Reads `text`: blanks, an optional sign, digits with at most one "." or ","
// as decimal separator and at most `max_decimals` digits after it (at least
// one digit in all), blanks. Sets `value` only when the result is Ok; never
// OutOfRange.
TCalibInput ReadDecimal(const std::string &text, int max_decimals, double &value);

// Reads `text` (UTF-8): blanks, an optional sign, digits with at most one
// "." or "," as decimal separator and at most one digit after it (at least
// one digit in all), blanks.
TCalibReading ParseCalibration(const std::string &text);

// The message the dialog shows for a rejected text; empty for Ok.
const char *CalibInputMessage(TCalibInput status);

// `value` printed with one decimal as "%.1f" prints it, but always with "."
// whatever the process locale: the form in which the offset is shown and posted.
std::string CalibrationText(double value);

}  // namespace calibrator

#endif
