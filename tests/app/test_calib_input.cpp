// The operator's calibration text: what is taken, what keeps the dialog open.
#include <gtest/gtest.h>

#include <clocale>

#include "app/calib_input.h"

namespace calibrator {
namespace {

struct CalibCase {
  const char *name;
  const char *text;
  TCalibInput status;
  float value;  // checked for Ok only
};

void PrintTo(const CalibCase &c, std::ostream *out) { *out << c.name << " '" << c.text << "'"; }

class AppCalibInput : public ::testing::TestWithParam<CalibCase> {};

TEST_P(AppCalibInput, ReadsOnlyPlainDecimalNumbersThatFitTheDevice) {
  const CalibCase &c = GetParam();
  const TCalibReading reading = ParseCalibration(c.text);
  EXPECT_EQ(reading.Status, c.status) << "text '" << c.text << "'";
  if (c.status == TCalibInput::Ok) {
    EXPECT_FLOAT_EQ(reading.Value, c.value) << "text '" << c.text << "'";
  }
  EXPECT_EQ(std::string(CalibInputMessage(reading.Status)).empty(), reading.Status == TCalibInput::Ok);
}

constexpr TCalibInput kOk = TCalibInput::Ok;
constexpr TCalibInput kNaN = TCalibInput::NotANumber;
constexpr TCalibInput kDecimals = TCalibInput::TooManyDecimals;
constexpr TCalibInput kRange = TCalibInput::OutOfRange;

INSTANTIATE_TEST_SUITE_P(
    Texts, AppCalibInput,
    ::testing::Values(
        CalibCase{"point", "0.5", kOk, 0.5f}, CalibCase{"comma", "1,5", kOk, 1.5f},
        CalibCase{"negative", "-1.5", kOk, -1.5f}, CalibCase{"plus", "+2", kOk, 2.0f},
        CalibCase{"blanks", " \t2.5  ", kOk, 2.5f}, CalibCase{"leading_separator", ".5", kOk, 0.5f},
        CalibCase{"trailing_separator", "3.", kOk, 3.0f}, CalibCase{"zero", "0", kOk, 0.0f},
        CalibCase{"largest", "99999.9", kOk, 99999.9f}, CalibCase{"smallest", "-9999.9", kOk, -9999.9f},
        CalibCase{"empty", "", kNaN, 0}, CalibCase{"blank_only", "   ", kNaN, 0}, CalibCase{"letters", "abc", kNaN, 0},
        CalibCase{"number_then_letters", "1.5abc", kNaN, 0}, CalibCase{"two_separators", "1.2.3", kNaN, 0},
        CalibCase{"mixed_separators", "1,2.3", kNaN, 0}, CalibCase{"sign_only", "-", kNaN, 0},
        CalibCase{"separator_only", ",", kNaN, 0}, CalibCase{"exponent", "1e3", kNaN, 0},
        CalibCase{"infinity", "inf", kNaN, 0}, CalibCase{"not_a_number", "nan", kNaN, 0},
        CalibCase{"hex", "0x10", kNaN, 0}, CalibCase{"inner_blank", "1 5", kNaN, 0},
        CalibCase{"two_signs", "--1", kNaN, 0}, CalibCase{"two_decimals", "2.75", kDecimals, 0},
        CalibCase{"two_decimals_comma", "0,25", kDecimals, 0}, CalibCase{"trailing_zero", "1.50", kDecimals, 0},
        CalibCase{"two_decimals_negative", "-0.04", kDecimals, 0},
        CalibCase{"two_decimals_past_field", "99999.96", kDecimals, 0}, CalibCase{"past_field", "100000", kRange, 0},
        CalibCase{"negative_past_field", "-10000", kRange, 0},
        CalibCase{"one_decimal_past_field", "100000.0", kRange, 0},
        CalibCase{"huge", "123456789012345678901234567890", kRange, 0}),
    [](const ::testing::TestParamInfo<CalibCase> &info) { return std::string(info.param.name); });

// A refusal names the form that is taken, so that the operator can retype.
TEST(AppCalibInput, MessagesSayWhatIsTaken) {
  const struct {
    TCalibInput status;
    const char *message;
  } rows[] = {
      {kOk, ""},
      {kNaN, "Enter a number, such as -1.5"},
      {kDecimals, "Enter a number with at most one decimal, such as 1.5 or -0,5"},
      {kRange, "Out of range: -9999.9 to 99999.9"},
  };
  for (const auto &row : rows) EXPECT_STREQ(CalibInputMessage(row.status), row.message) << int(row.status);
}

TEST(AppCalibText, PrintsOneDecimalAsPrintfDoes) {
  const struct {
    double value;
    const char *text;
  } rows[] = {{0, "0.0"},    {0.5, "0.5"},    {-1.5, "-1.5"},       {2.75, "2.8"},
              {2.25, "2.2"}, {-0.04, "-0.0"}, {12345.67, "12345.7"}};
  for (const auto &row : rows) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.1f", row.value);
    EXPECT_EQ(CalibrationText(row.value), row.text) << "value " << row.value;
    EXPECT_EQ(CalibrationText(row.value), expected) << "value " << row.value;
  }
}

TEST(AppCalibText, KeepsThePointUnderACommaLocale) {
  const char *previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  EXPECT_EQ(CalibrationText(-1.5), "-1.5");
  const TCalibReading reading = ParseCalibration("1,5");
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(reading.Status, TCalibInput::Ok);
  EXPECT_FLOAT_EQ(reading.Value, 1.5f);
}

}  // namespace
}  // namespace calibrator
