#include "tools/cli/credentials.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace zelvocli {

namespace {

constexpr const char *kPasswordVariable = "ZELVO_PASSWORD";

void StripLineEnd(std::string &line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

// Reads one line from the terminal with its echo off; the echo comes back
// whatever was typed.
std::string PromptWithoutEcho(const std::string &user) {
  std::fprintf(stderr, "Password for %s: ", user.empty() ? "the device" : user.c_str());
  std::fflush(stderr);
  termios saved{};
  const bool have_terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (have_terminal) {
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  std::string line;
  std::getline(std::cin, line);
  if (have_terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::fprintf(stderr, "\n");
  StripLineEnd(line);
  return line;
}

}  // namespace

std::optional<std::string> ReadFirstLine(const std::string &path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  std::string line;
  std::getline(file, line);
  if (file.bad()) return std::nullopt;
  StripLineEnd(line);
  return line;
}

std::optional<TCredentials> ReadCredentials(const std::string &user, const std::optional<std::string> &password_file,
                                            std::string &error) {
  TCredentials credentials{user, ""};
  if (password_file) {
    const std::optional<std::string> line = ReadFirstLine(*password_file);
    if (!line) {
      error = "cannot read the password file " + *password_file;
      return std::nullopt;
    }
    credentials.Password = *line;
  } else if (const char *variable = std::getenv(kPasswordVariable)) {
    credentials.Password = variable;
  } else if (!user.empty() && isatty(STDIN_FILENO)) {
    // Only a user name asks for a password: devices without credentials
    // take requests without one.
    credentials.Password = PromptWithoutEcho(user);
  }
  return credentials;
}

}  // namespace zelvocli
