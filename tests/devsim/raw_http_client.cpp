#include "tests/devsim/raw_http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace devsim_test {

using Clock = std::chrono::steady_clock;

int RawReply::status() const {
  if (bytes.size() < 12 || bytes.compare(0, 7, "HTTP/1.") != 0 || bytes[8] != ' ') return -1;
  int code = 0;
  for (int i = 9; i < 12; ++i) {
    if (bytes[i] < '0' || bytes[i] > '9') return -1;
    code = code * 10 + (bytes[i] - '0');
  }
  return code;
}

std::string RawReply::head() const {
  const auto end = bytes.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : bytes.substr(0, end);
}

std::string RawReply::body() const {
  const auto end = bytes.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : bytes.substr(end + 4);
}

std::string RawReply::header(const std::string &name) const {
  const std::string h = "\r\n" + head() + "\r\n";
  const std::string key = "\r\n" + name + ": ";
  const auto at = h.find(key);
  if (at == std::string::npos) return "";
  const auto start = at + key.size();
  return h.substr(start, h.find("\r\n", start) - start);
}

RawReply raw_exchange(int port, const std::string &request, std::chrono::milliseconds limit, std::size_t stop_after) {
  RawReply reply;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + limit;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return reply;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
    reply.refused = errno == ECONNREFUSED;
    close(fd);
    return reply;
  }
  std::size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  char buf[4096];
  while (reply.bytes.size() < stop_after) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) {
      reply.closed = true;
      break;
    }
    reply.bytes.append(buf, static_cast<std::size_t>(n));
    ++reply.receives;
  }
  reply.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  close(fd);
  return reply;
}

std::string basic_auth(const std::string &user, const std::string &password) {
  static const char *kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string in = user + ":" + password;
  std::string out;
  for (std::size_t i = 0; i < in.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kAlphabet[v & 63] : '=';
  }
  return "Basic " + out;
}

std::string get_request(const std::string &path, const std::string &authorization) {
  std::string r = "GET " + path + " HTTP/1.0\r\n";
  if (!authorization.empty()) r += "Authorization: " + authorization + "\r\n";
  return r + "\r\n";
}

std::string post_request(const std::string &body, const std::string &authorization) {
  std::string r = "POST /setup.xml HTTP/1.0\r\n";
  if (!authorization.empty()) r += "Authorization: " + authorization + "\r\n";
  r += "Content-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  return r + body;
}

}  // namespace devsim_test
