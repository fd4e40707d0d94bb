// Where a password comes from. There is no option that carries it, so that
// it never shows in a process list.
#pragma once

#include <optional>
#include <string>

namespace zelvocli {

struct TCredentials {
  std::string User;
  std::string Password;
};

// The password for `user`: the first line of `password_file` when given,
// else the environment variable ZELVO_PASSWORD, else a prompt without echo
// when standard input is a terminal, else empty. Nothing and `error` set
// when the file cannot be read.
std::optional<TCredentials> ReadCredentials(const std::string &user, const std::optional<std::string> &password_file,
                                            std::string &error);

// The first line of `path`, without its line end; nothing when unreadable.
std::optional<std::string> ReadFirstLine(const std::string &path);

}  // namespace zelvocli
