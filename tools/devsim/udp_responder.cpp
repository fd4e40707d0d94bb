// The UDP side of a simulated fleet: one thread waits on one loopback socket
// and answers searches and setups for every device it was given.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "tools/devsim/devsim.h"
#include "tools/devsim/discovery_wire_private.h"
#include "tools/devsim/net_private.h"

namespace devsim {

namespace {

// Larger than any datagram a client sends, so that nothing is cut unseen.
constexpr std::size_t kReceiveBuffer = 2048;
constexpr long kDefaultShortReply = 47;
constexpr long kDefaultWrongByte = 48;
constexpr long kDefaultCopies = 2;
constexpr long kDefaultOversized = 600;
constexpr long kDefaultBurst = 1000;
constexpr unsigned char kFlip = 0xFF;
// A burst gives its devices MACs that differ in the last three bytes.
constexpr std::size_t kBurstMacAt = 3;

long value_or(const Fault &f, long fallback) { return f.value > 0 ? f.value : fallback; }

Fault search_fault_of(const std::vector<Fault> &faults) {
  for (const Fault &f : faults)
    if (is_search_fault(f.kind)) return f;
  return {};
}

// The datagrams one device sends for one search, with its fault applied.
std::vector<std::string> replies_of(const Server &server) {
  const DeviceConfig config = server.config();
  unsigned char mac[6];
  if (!mac_bytes(config.mac, mac)) return {};
  const Fault fault = search_fault_of(server.faults());
  const std::string address = server.address();
  const int port = server.port();
  if (fault.kind == FaultKind::reply_burst) {
    std::vector<std::string> burst;
    const long count = value_or(fault, kDefaultBurst);
    for (long i = 0; i < count; ++i) {
      mac[kBurstMacAt] = static_cast<unsigned char>((i >> 16) & 0xFF);
      mac[kBurstMacAt + 1] = static_cast<unsigned char>((i >> 8) & 0xFF);
      mac[kBurstMacAt + 2] = static_cast<unsigned char>(i & 0xFF);
      burst.push_back(search_reply(config, mac, address, port));
    }
    return burst;
  }
  std::string reply = search_reply(config, mac, address, port);
  switch (fault.kind) {
    case FaultKind::short_reply:
      reply.resize(std::min<std::size_t>(reply.size(), static_cast<std::size_t>(value_or(fault, kDefaultShortReply))));
      break;
    case FaultKind::unauthentic_reply: {
      const auto at = std::min<std::size_t>(reply.size(), static_cast<std::size_t>(value_or(fault, kDefaultWrongByte)));
      reply[at - 1] = static_cast<char>(reply[at - 1] ^ kFlip);
      break;
    }
    case FaultKind::oversized_reply:
      reply.resize(std::max<std::size_t>(reply.size(), static_cast<std::size_t>(value_or(fault, kDefaultOversized))));
      break;
    case FaultKind::duplicate_reply: return std::vector<std::string>(value_or(fault, kDefaultCopies), reply);
    default: break;
  }
  return {reply};
}

}  // namespace

struct UdpResponder::Impl {
  mutable std::mutex mutex;
  std::string error;  // guarded by mutex
  std::atomic<int> port{-1};
  std::vector<Server *> devices;
  int fd = -1;
  int wake_read = -1;
  int wake_write = -1;
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::atomic<std::size_t> searches{0};
  std::atomic<std::size_t> setups{0};

  void answer_search(const sockaddr_in &to) {
    for (Server *server : devices) {
      if (!server->running()) continue;
      for (const std::string &reply : replies_of(*server))
        sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }
    ++searches;
  }

  void apply_setup(std::string_view datagram) {
    for (Server *server : devices) {
      if (!server->running()) continue;
      if (const auto setup = read_setup(datagram, server->config())) {
        server->apply_network_setup(*setup);
        ++setups;
        return;
      }
    }
  }

  void on_datagram(std::string_view datagram, const sockaddr_in &from) {
    const Unwrapped u = unwrap(datagram);
    if (is_search(u.payload))
      answer_search(from);
    else
      apply_setup(u.payload);
  }

  void loop() {
    char buf[kReceiveBuffer];
    while (!stopping.load()) {
      pollfd fds[2] = {{wake_read, POLLIN, 0}, {fd, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (!(fds[1].revents & POLLIN)) continue;
      sockaddr_in from{};
      socklen_t len = sizeof from;
      const ssize_t n =
          recvfrom(fd, buf, sizeof buf, MSG_DONTWAIT | MSG_TRUNC, reinterpret_cast<sockaddr *>(&from), &len);
      // A datagram longer than the buffer is none a client sends: dropped.
      if (n <= 0 || static_cast<std::size_t>(n) > sizeof buf) continue;
      on_datagram(std::string_view(buf, static_cast<std::size_t>(n)), from);
    }
  }

  int fail(const std::string &why) {
    close_fd(fd);
    std::lock_guard<std::mutex> lock(mutex);
    error = why;
    return -1;
  }
};

UdpResponder::UdpResponder() : impl_(std::make_unique<Impl>()) {}

UdpResponder::~UdpResponder() { stop(); }

int UdpResponder::start(std::vector<Server *> devices, int port, const std::string &address) {
  if (impl_->thread.joinable()) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->error = "already running";
    return -1;
  }
  if (!is_loopback_address(address)) return impl_->fail("not a loopback address: " + address);
  if (port < 0 || port > 65535) return impl_->fail("bad port " + std::to_string(port));
  impl_->fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (impl_->fd < 0) return impl_->fail(std::string("socket: ") + std::strerror(errno));
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  if (bind(impl_->fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0)
    return impl_->fail(address + ":" + std::to_string(port) + ": " + std::strerror(errno));
  socklen_t len = sizeof sa;
  getsockname(impl_->fd, reinterpret_cast<sockaddr *>(&sa), &len);
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) return impl_->fail("pipe failed");
  impl_->wake_read = pipe_fds[0];
  impl_->wake_write = pipe_fds[1];
  impl_->port = ntohs(sa.sin_port);
  impl_->devices = std::move(devices);
  impl_->stopping = false;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->error.clear();
  }
  impl_->thread = std::thread([this] { impl_->loop(); });
  return impl_->port.load();
}

void UdpResponder::stop() {
  if (!impl_->thread.joinable()) return;
  impl_->stopping = true;
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(impl_->wake_write, &byte, 1);
  impl_->thread.join();
  close_fd(impl_->fd);
  close_fd(impl_->wake_read);
  close_fd(impl_->wake_write);
  impl_->devices.clear();
}

int UdpResponder::port() const { return impl_->port.load(); }

std::string UdpResponder::error() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->error;
}

std::size_t UdpResponder::searches_answered() const { return impl_->searches; }

std::size_t UdpResponder::setups_applied() const { return impl_->setups; }

}  // namespace devsim
