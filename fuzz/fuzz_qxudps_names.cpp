// Fuzz entry of the name look-up: the input is the whole reply of a device's
// values.xml, served once by an in-process server on loopback that reads
// the request and then sends the reply and closes. A name found must end
// inside its field; a look-up that fails must leave the name as it was.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_peer.h"
#include "qxudps/qxudps_private.h"

namespace {

const char kLoopback[] = "127.0.0.1";
const char kRequestEnd[] = "\r\n\r\n";
const int kAcceptWaitMs = 2000;
const int kBacklog = 4;
const size_t kRequestMax = 1024;
const char kUnchanged = 0x5A;  // what the name held before the look-up

struct Listener {
  int fd = -1;
  int port = 0;
};

// One listening socket serves every run.
const Listener &listener() {
  static const Listener kListener = [] {
    Listener l;
    l.fd = socket(AF_INET, SOCK_STREAM, 0);
    fuzz_check(l.fd >= 0, "listening socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    fuzz_check(inet_pton(AF_INET, kLoopback, &address.sin_addr) == 1, "loopback address");
    fuzz_check(bind(l.fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0, "bind");
    fuzz_check(listen(l.fd, kBacklog) == 0, "listen");
    socklen_t length = sizeof address;
    fuzz_check(getsockname(l.fd, reinterpret_cast<sockaddr *>(&address), &length) == 0, "bound port");
    l.port = ntohs(address.sin_port);
    return l;
  }();
  return kListener;
}

// Serves one connection: takes the request, then sends the reply and closes.
void serve(int listen_fd, const uint8_t *reply, size_t length) {
  pollfd ready{listen_fd, POLLIN, 0};
  if (poll(&ready, 1, kAcceptWaitMs) != 1) return;
  int fd = accept(listen_fd, nullptr, nullptr);
  if (fd < 0) return;
  std::string request;
  char chunk[256];
  while (request.size() < kRequestMax && request.find(kRequestEnd) == std::string::npos) {
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    request.append(chunk, static_cast<size_t>(n));
  }
  size_t sent = 0;
  while (sent < length) {
    ssize_t n = send(fd, reply + sent, length - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const Listener &l = listener();
  fuzz_peer &server = fuzz_peer::instance();
  server.start([&] { serve(l.fd, data, size); });
  char name[QXUDPS_NAME_SIZE];
  memset(name, kUnchanged, sizeof name);
  int r = qxudps_fetch_name(kLoopback, l.port, name, QXUDPS_TYPE_EXTENDED);
  server.wait();
  fuzz_check(r == 0 || r == -1, "look-up result");
  if (r == 0) {
    fuzz_check(memchr(name, '\0', sizeof name) != nullptr, "name ends in its field");
  } else {
    for (char c : name) fuzz_check(c == kUnchanged, "failed look-up leaves the name");
  }
  return 0;
}
