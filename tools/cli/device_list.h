// The devices of a poll, read from a CSV or JSON file: address, port, user,
// and the name of the environment variable that holds the password.
#pragma once

#include <string>
#include <vector>

namespace zelvocli {

struct TDeviceEntry {
  std::string Address;
  int Port = 0;
  std::string User;         // empty: the --user of the command line
  std::string PasswordEnv;  // empty: the password of the command line
};

// Reads `path`: JSON when its first non-blank character is '[' or '{', else
// CSV. False with `error` naming the file and, for CSV, the line.
bool ReadDeviceList(const std::string &path, std::vector<TDeviceEntry> &devices, std::string &error);

}  // namespace zelvocli
