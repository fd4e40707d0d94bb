// The client's side of discovery, written for the tests from the published
// algorithms and independent of the simulator: TEA, its CBC-MAC, the CRC of
// the proxy envelope, and a raw UDP socket on loopback.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace devsim_test {

struct TestKey {
  std::uint32_t k[4];
  std::uint32_t delta;
};

constexpr std::uint32_t kTestDelta = 0x9E3779B9u;

void tea_encrypt_block(std::uint32_t &left, std::uint32_t &right, const TestKey &key);
// Code of the first 40 bytes of `datagram`, 8 bytes.
std::string mac_of(const std::string &datagram, const TestKey &key);
bool authentic(const std::string &datagram, const TestKey &key);
// `datagram` with bytes 40-47 replaced by its code under `key`.
std::string signed_with(std::string datagram, const TestKey &key);
std::uint16_t crc16_xmodem_test(const std::string &data);

TestKey default_search_key();
std::string search_datagram();
std::string in_envelope(int kind, const std::string &proxy_text, const std::string &payload);

struct Received {
  std::string bytes;
  std::string from;  // sender address, dotted
  int from_port = 0;
};

// A UDP socket on 127.0.0.1, a free port.
class UdpProbe {
 public:
  UdpProbe();
  ~UdpProbe();
  UdpProbe(const UdpProbe &) = delete;
  UdpProbe &operator=(const UdpProbe &) = delete;

  bool ok() const { return fd_ >= 0; }
  void send(int port, const std::string &datagram) const;
  // Datagrams received until `quiet` passes without one, or `limit` in all.
  std::vector<Received> collect(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) const;

 private:
  int fd_ = -1;
};

}  // namespace devsim_test
