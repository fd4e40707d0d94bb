#include "app/calib_input.h"

#include <charconv>
#include <cmath>

#include "qxxml/qxxml_records.h"
#include "sdk/text_number.h"

namespace calibrator {

namespace {

// The device keeps a sensor's offset in a zero-terminated field of this many
// bytes; a longer posted text would be dropped whole by the setup filter.
constexpr std::size_t kCalibFieldBytes = sizeof(qxxml_setup::SenSet_Entry_Calib[0]);

// Far beyond every value that fits the field, and well inside float's range,
// so that narrowing to 32 bits below is always defined.
constexpr double kMagnitudeLimit = 1e7;

// The offset is posted with one decimal ("%.1f"); a text with more would be
// rounded on the way to the device.
constexpr int kPostedDecimals = 1;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// `text` without its leading and trailing blanks.
std::string Trimmed(const std::string &text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Checks for [+-]digits[sep digits] with at least one digit and at most
// `max_decimals` after the separator; for Ok, `number` receives the text
// with "," turned into ".".
TCalibInput CheckDecimal(const std::string &text, int max_decimals, std::string &number) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  int digits = 0;
  int decimals = 0;
  bool separator = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      ++digits;
      if (separator) ++decimals;
    } else if ((c == '.' || c == ',') && !separator) {
      separator = true;
    } else {
      return TCalibInput::NotANumber;
    }
  }
  if (digits == 0) return TCalibInput::NotANumber;
  if (decimals > max_decimals) return TCalibInput::TooManyDecimals;
  number = text;
  for (char &c : number)
    if (c == ',') c = '.';
  return TCalibInput::Ok;
}

}  // namespace

TCalibInput ReadDecimal(const std::string &text, int max_decimals, double &value) {
  std::string number;
  const TCalibInput status = CheckDecimal(Trimmed(text), max_decimals, number);
  if (status == TCalibInput::Ok) value = zelvoapi::text_to_double(number.c_str());
  return status;
}

TCalibReading ParseCalibration(const std::string &text) {
  TCalibReading reading;
  double value = 0;
  reading.Status = ReadDecimal(text, kPostedDecimals, value);
  if (reading.Status != TCalibInput::Ok) return reading;
  reading.Status = TCalibInput::OutOfRange;
  if (!(std::fabs(value) < kMagnitudeLimit)) return reading;
  const float narrowed = static_cast<float>(value);
  if (CalibrationText(narrowed).size() >= kCalibFieldBytes) return reading;
  reading.Status = TCalibInput::Ok;
  reading.Value = narrowed;
  return reading;
}

const char *CalibInputMessage(TCalibInput status) {
  switch (status) {
    case TCalibInput::Ok: return "";
    case TCalibInput::NotANumber: return "Enter a number, such as -1.5";
    case TCalibInput::TooManyDecimals: return "Enter a number with at most one decimal, such as 1.5 or -0,5";
    case TCalibInput::OutOfRange: return "Out of range: -9999.9 to 99999.9";
  }
  return "";
}

std::string CalibrationText(double value) {
  // Enough for any double in fixed notation with one decimal.
  char text[400];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
  return std::string(text, result.ec == std::errc() ? result.ptr : text);
}

}  // namespace calibrator
