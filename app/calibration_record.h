// The record of every calibration attempt since the program started, and
// its CSV form (RFC 4180, UTF-8, a header row) for saving and appending.
#ifndef APP_CALIBRATION_RECORD_H
#define APP_CALIBRATION_RECORD_H

#include <ctime>
#include <string>
#include <vector>

namespace calibrator {

enum class TVerdict {
  Verified,     // the read-back offset equals the posted one
  NotApplied,   // the device reports another offset than the posted one
  NotVerified,  // no read-back arrived to compare with
};

const char *VerdictText(TVerdict verdict);

// One attempt. Numbers are kept as the texts the window showed and posted,
// so that the record says exactly what the operator saw.
struct TCalibrationRow {
  std::string Time;  // ISO 8601 with the offset from UTC
  std::string Host;
  unsigned Port = 0;
  std::string DeviceName;
  int Id = 0;
  std::string SensorName;
  std::string Unit;
  std::string ValueBefore;
  std::string OffsetBefore;
  std::string Reference;  // empty when the offset was typed
  std::string OffsetPosted;
  std::string OffsetReadBack;  // empty when there was no read-back
  TVerdict Verdict = TVerdict::NotVerified;
};

// `when` in local time as ISO 8601 with its offset, e.g. 2026-12-10T21:04:05+01:00.
std::string IsoTime(std::time_t when);

// The header line and one row, each with its CRLF line end.
std::string CsvHeader();
std::string CsvRow(const TCalibrationRow &row);

// The fields of one row in header order.
std::vector<std::string> CsvFields(const TCalibrationRow &row);

// Writes the header and every row to `path`, replacing it. Empty on
// success, else the reason (the system's error text).
std::string SaveCsv(const std::string &path, const std::vector<TCalibrationRow> &rows);

// Appends `row` to `path`, writing the header first when the file is new or
// empty. Empty on success, else the reason.
std::string AppendCsv(const std::string &path, const TCalibrationRow &row);

}  // namespace calibrator

#endif
