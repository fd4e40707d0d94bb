#include "app/calibration_record.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace calibrator {

namespace {

constexpr const char *kColumns[] = {
    "Time",    "Device address", "Port",          "Device name",       "Sensor ID",     "Sensor name",
    "Unit",    "Value before",   "Offset before", "Reference reading", "Offset posted", "Offset read back",
    "Verdict",
};

constexpr const char *kLineEnd = "\r\n";

// A field in quotes when it holds a separator, a quote or a line break,
// with its quotes doubled.
std::string Quoted(const std::string &field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (const char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string Line(const std::vector<std::string> &fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i != 0) line += ',';
    line += Quoted(fields[i]);
  }
  return line + kLineEnd;
}

// Writes `text` to the open `file` and closes it; empty or the reason.
std::string WriteAndClose(std::FILE *file, const std::string &text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int write_errno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written) return std::strerror(write_errno);
  if (!closed) return std::strerror(errno);
  return std::string();
}

}  // namespace

const char *VerdictText(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::Verified: return "verified";
    case TVerdict::NotApplied: return "not applied";
    case TVerdict::NotVerified: return "not verified";
  }
  return "";
}

std::string IsoTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[sizeof "2026-12-10T21:04:05+0100"];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0) return std::string();
  // strftime writes the offset as +hhmm; ISO 8601's extended form has +hh:mm.
  std::string iso = text;
  iso.insert(iso.size() - 2, ":");
  return iso;
}

std::vector<std::string> CsvFields(const TCalibrationRow &row) {
  return {row.Time,         row.Host,           std::to_string(row.Port), row.DeviceName,   std::to_string(row.Id),
          row.SensorName,   row.Unit,           row.ValueBefore,          row.OffsetBefore, row.Reference,
          row.OffsetPosted, row.OffsetReadBack, VerdictText(row.Verdict)};
}

std::string CsvHeader() { return Line(std::vector<std::string>(std::begin(kColumns), std::end(kColumns))); }

std::string CsvRow(const TCalibrationRow &row) { return Line(CsvFields(row)); }

std::string SaveCsv(const std::string &path, const std::vector<TCalibrationRow> &rows) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) return std::strerror(errno);
  std::string text = CsvHeader();
  for (const TCalibrationRow &row : rows) text += CsvRow(row);
  return WriteAndClose(file, text);
}

std::string AppendCsv(const std::string &path, const TCalibrationRow &row) {
  std::FILE *file = std::fopen(path.c_str(), "ab");
  if (!file) return std::strerror(errno);
  // Whatever the position after opening, the end tells whether the file is new.
  const bool fresh = std::fseek(file, 0, SEEK_END) == 0 && std::ftell(file) == 0;
  return WriteAndClose(file, (fresh ? CsvHeader() : std::string()) + CsvRow(row));
}

}  // namespace calibrator
