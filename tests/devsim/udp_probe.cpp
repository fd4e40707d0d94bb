#include "tests/devsim/udp_probe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "tools/devsim/discovery_wire_private.h"

namespace devsim_test {

namespace {

constexpr std::size_t kCodeAt = 40;
constexpr std::size_t kCodeSize = 8;
constexpr std::size_t kProxyTextSize = 16;
// Enough for a burst of a thousand replies on loopback.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
constexpr std::size_t kDatagramMax = 65536;

std::uint32_t word(const std::string &d, std::size_t at) {
  std::uint32_t w = 0;
  for (std::size_t i = 0; i < 4; ++i) w = (w << 8) | static_cast<unsigned char>(d[at + i]);
  return w;
}

void append_word(std::string &out, std::uint32_t w) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((w >> shift) & 0xFF));
}

sockaddr_in loopback(int port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return sa;
}

}  // namespace

void tea_encrypt_block(std::uint32_t &left, std::uint32_t &right, const TestKey &key) {
  std::uint32_t sum = 0;
  for (int round = 0; round < 32; ++round) {
    sum += key.delta;
    left += ((right << 4) + key.k[0]) ^ (right + sum) ^ ((right >> 5) + key.k[1]);
    right += ((left << 4) + key.k[2]) ^ (left + sum) ^ ((left >> 5) + key.k[3]);
  }
}

std::string mac_of(const std::string &datagram, const TestKey &key) {
  std::uint32_t left = 0, right = 0;
  for (std::size_t at = 0; at < kCodeAt; at += 8) {
    left ^= word(datagram, at);
    right ^= word(datagram, at + 4);
    tea_encrypt_block(left, right, key);
  }
  std::string code;
  append_word(code, left);
  append_word(code, right);
  return code;
}

bool authentic(const std::string &datagram, const TestKey &key) {
  return datagram.size() >= kCodeAt + kCodeSize && datagram.substr(kCodeAt, kCodeSize) == mac_of(datagram, key);
}

std::string signed_with(std::string datagram, const TestKey &key) {
  datagram.replace(kCodeAt, kCodeSize, mac_of(datagram, key));
  return datagram;
}

std::uint16_t crc16_xmodem_test(const std::string &data) {
  unsigned crc = 0;
  for (unsigned char c : data) {
    crc ^= static_cast<unsigned>(c) << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1);
  }
  return static_cast<std::uint16_t>(crc & 0xFFFF);
}

TestKey default_search_key() {
  using devsim::kSearchKey;
  return {{kSearchKey[0], kSearchKey[1], kSearchKey[2], kSearchKey[3]}, kTestDelta};
}

std::string search_datagram() {
  return std::string(6, '\xFF') + "IIIIMMMMFFFFWWWWUC12345678" + std::string(devsim::kSearchSignature);
}

std::string in_envelope(int kind, const std::string &proxy_text, const std::string &payload) {
  std::string out(1, static_cast<char>(kind));
  std::string text = proxy_text.substr(0, kProxyTextSize - 1);
  text.resize(kProxyTextSize, '\0');
  out += text;
  const std::uint16_t crc = crc16_xmodem_test(payload);
  out.push_back(static_cast<char>(crc & 0xFF));
  out.push_back(static_cast<char>(crc >> 8));
  return out + payload;
}

UdpProbe::UdpProbe() {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
  sockaddr_in sa = loopback(0);
  if (bind(fd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

UdpProbe::~UdpProbe() {
  if (fd_ >= 0) close(fd_);
}

void UdpProbe::send(int port, const std::string &datagram) const {
  const sockaddr_in to = loopback(port);
  sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
}

std::vector<Received> UdpProbe::collect(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) const {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + limit;
  std::vector<Received> got;
  std::string buf(kDatagramMax, '\0');
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::min(left, quiet).count())) <= 0) break;
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = recvfrom(fd_, buf.data(), buf.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&from), &len);
    if (n < 0) continue;
    char address[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
    got.push_back({std::string(buf.data(), static_cast<std::size_t>(n)), address, ntohs(from.sin_port)});
  }
  return got;
}

}  // namespace devsim_test
