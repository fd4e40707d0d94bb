#include "tools/cli/device_list.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tools/cli/host_port.h"
#include "tools/cli/options.h"

namespace zelvocli {

namespace {

constexpr long kMaxPort = 65535;
constexpr std::size_t kCsvFields = 4;  // address, port, user, password variable

std::string Trim(const std::string &text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool CheckEntry(TDeviceEntry &entry, const std::string &port_text, std::string &error) {
  const std::optional<long> port =
      ParseInteger(port_text.empty() ? std::to_string(kDefaultHttpPort) : port_text, 1, kMaxPort);
  if (entry.Address.empty()) {
    error = "an entry has no address";
    return false;
  }
  if (!port) {
    error = "bad port \"" + port_text + "\" of " + entry.Address;
    return false;
  }
  entry.Port = static_cast<int>(*port);
  return true;
}

// A JSON array of objects, or an object whose "devices" is one; the port
// may be a number or a text.
bool ReadJson(const std::string &text, std::vector<TDeviceEntry> &devices, std::string &error) {
  const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  const nlohmann::json *list = &document;
  if (document.is_object() && document.contains("devices")) list = &document["devices"];
  if (!list->is_array()) {
    error = "expected a JSON array of devices";
    return false;
  }
  for (const nlohmann::json &item : *list) {
    if (!item.is_object()) {
      error = "every device must be a JSON object";
      return false;
    }
    auto text_of = [&](const char *key) {
      if (!item.contains(key)) return std::string();
      const nlohmann::json &value = item[key];
      return value.is_string() ? value.get<std::string>() : value.dump();
    };
    TDeviceEntry entry{text_of("address"), 0, text_of("user"), text_of("password_env")};
    if (!CheckEntry(entry, text_of("port"), error)) return false;
    devices.push_back(entry);
  }
  return true;
}

// One device a line; blank lines, lines starting with '#' and a first line
// starting with "address" are skipped.
bool ReadCsv(const std::string &text, std::vector<TDeviceEntry> &devices, std::string &error) {
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    line = Trim(line);
    if (line.empty() || line[0] == '#' || (number == 1 && line.rfind("address", 0) == 0)) continue;
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(Trim(cell));
    if (fields.size() > kCsvFields) {
      error = "line " + std::to_string(number) + ": more than address,port,user,password_env";
      return false;
    }
    fields.resize(kCsvFields);
    TDeviceEntry entry{fields[0], 0, fields[2], fields[3]};
    if (!CheckEntry(entry, fields[1], error)) {
      error = "line " + std::to_string(number) + ": " + error;
      return false;
    }
    devices.push_back(entry);
  }
  return true;
}

}  // namespace

bool ReadDeviceList(const std::string &path, std::vector<TDeviceEntry> &devices, std::string &error) {
  std::ifstream file(path);
  if (!file) {
    error = "cannot read " + path;
    return false;
  }
  std::stringstream content;
  content << file.rdbuf();
  const std::string text = content.str();
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  const bool json = first != std::string::npos && (text[first] == '[' || text[first] == '{');
  const bool read = json ? ReadJson(text, devices, error) : ReadCsv(text, devices, error);
  if (!read) error = path + ": " + error;
  return read;
}

}  // namespace zelvocli
