// A tiny HTTP client on raw sockets, independent of the project's client, to
// see exactly which bytes a simulated device sends and when it closes.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace devsim_test {

struct RawReply {
  std::string bytes;                     // everything received
  bool refused = false;                  // the connect was refused
  bool closed = false;                   // the device closed the connection before the deadline
  int receives = 0;                      // number of reads that returned data
  std::chrono::milliseconds elapsed{0};  // from connect to close or deadline

  int status() const;        // the code of an "HTTP/1.x NNN" status line, or -1
  std::string head() const;  // up to the first CR LF CR LF ("" when there is none)
  std::string body() const;  // after the first CR LF CR LF
  std::string header(const std::string &name) const;
};

// Connects to 127.0.0.1:port, sends `request` and reads until the device
// closes, `limit` passes, or `stop_after` bytes have arrived.
RawReply raw_exchange(int port, const std::string &request,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(5000),
                      std::size_t stop_after = static_cast<std::size_t>(-1));

std::string basic_auth(const std::string &user, const std::string &password);
std::string get_request(const std::string &path, const std::string &authorization = "");
std::string post_request(const std::string &body, const std::string &authorization = "");

}  // namespace devsim_test
