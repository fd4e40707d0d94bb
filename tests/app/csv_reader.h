// A reader of RFC 4180 text for the tests of the calibration record,
// independent of the writer: records of fields, quoted fields with doubled
// quotes and line breaks inside.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace calibrator_test {

inline std::vector<std::vector<std::string>> ReadCsv(const std::string &text) {
  std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    std::string &field = records.back().back();
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      records.back().emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      records.emplace_back(1);
    } else {
      field += c;
    }
  }
  if (records.back() == std::vector<std::string>(1)) records.pop_back();  // after the last line end
  return records;
}

inline std::string FileText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace calibrator_test
