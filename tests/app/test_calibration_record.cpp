// The calibration record's CSV: quoting that survives any name, the header
// written once, and files that cannot be written named in the result.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/calibration_record.h"
#include "tests/app/csv_reader.h"

namespace calibrator {
namespace {

using calibrator_test::FileText;
using calibrator_test::ReadCsv;

TCalibrationRow Row(const std::string &sensor_name, TVerdict verdict) {
  TCalibrationRow row;
  row.Time = "2026-12-10T21:04:05+01:00";
  row.Host = "127.0.0.1";
  row.Port = 8080;
  row.DeviceName = "Lab, room \"B\"";
  row.Id = 3;
  row.SensorName = sensor_name;
  row.Unit =
      "\xC2\xB0"
      "C";
  row.ValueBefore = "21.2";
  row.OffsetBefore = "0.0";
  row.Reference = "22.0";
  row.OffsetPosted = "0.8";
  row.OffsetReadBack = verdict == TVerdict::NotVerified ? "" : "0.8";
  row.Verdict = verdict;
  return row;
}

class AppCalibrationRecord : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/calibration-record-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::remove((dir_ + "/record.csv").c_str());
    std::remove(dir_.c_str());
  }
  std::string dir_;
};

TEST_F(AppCalibrationRecord, SavedRowsReadBackFieldForField) {
  const std::vector<TCalibrationRow> rows = {Row("plain", TVerdict::Verified),
                                             Row("comma, \"quote\"\r\nand a line break", TVerdict::NotApplied),
                                             Row("bare\nline feed", TVerdict::NotVerified)};
  const std::string path = dir_ + "/record.csv";
  ASSERT_EQ(SaveCsv(path, rows), "");
  const auto records = ReadCsv(FileText(path));
  ASSERT_EQ(records.size(), rows.size() + 1);
  EXPECT_EQ(records[0].front(), "Time");
  EXPECT_EQ(records[0].back(), "Verdict");
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(records[i + 1], CsvFields(rows[i])) << "row " << i;
  EXPECT_EQ(records[2][12], "not applied");
  EXPECT_EQ(records[3][11], "");  // no read-back
}

TEST_F(AppCalibrationRecord, AppendWritesTheHeaderOnlyIntoANewFile) {
  const std::string path = dir_ + "/record.csv";
  ASSERT_EQ(AppendCsv(path, Row("first", TVerdict::Verified)), "");
  ASSERT_EQ(AppendCsv(path, Row("second", TVerdict::NotApplied)), "");
  const auto records = ReadCsv(FileText(path));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].front(), "Time");
  EXPECT_EQ(records[1][5], "first");
  EXPECT_EQ(records[2][5], "second");
}

TEST_F(AppCalibrationRecord, UnwritablePathsReturnTheReason) {
  const std::string missing = dir_ + "/no such folder/record.csv";
  EXPECT_NE(AppendCsv(missing, Row("x", TVerdict::Verified)), "");
  EXPECT_NE(SaveCsv(missing, {}), "");
  EXPECT_NE(AppendCsv(dir_, Row("x", TVerdict::Verified)), "");  // a folder, not a file
}

// Sets the process's time zone for one test and puts the old one back.
class TimeZone {
 public:
  explicit TimeZone(const char *zone) {
    if (const char *old = std::getenv("TZ")) old_ = old, had_ = true;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (had_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(AppCalibrationRecordTime, IsoWithTheOffsetFromUtc) {
  {
    TimeZone zone("UTC0");
    EXPECT_EQ(IsoTime(0), "1970-01-01T00:00:00+00:00");
  }
  {
    TimeZone zone("XST5");  // five hours west of UTC
    EXPECT_EQ(IsoTime(0), "1969-12-31T19:00:00-05:00");
  }
  {
    TimeZone zone("XST-5:30");
    EXPECT_EQ(IsoTime(0), "1970-01-01T05:30:00+05:30");
  }
}

}  // namespace
}  // namespace calibrator
