// The UDP socket of one worker cycle and the sending of datagrams.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>

#include <chrono>

#include "qxudps/qxudps_state_private.h"

#define QXUDPS_BIND_PORT_FIRST 9999
#define QXUDPS_BIND_PORT_LAST 9901
#define QXUDPS_BIND_ANY_PORT 0

namespace {

int bind_port(qx_socket_t s, int port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<uint16_t>(port));
  return bind(s, reinterpret_cast<const sockaddr *>(&local), sizeof local);
}

// Devices that answer one search all at once must fit the receive queue.
// A process allowed to exceed the system's ceiling (SO_RCVBUFFORCE) gets the
// whole buffer; others get what the ceiling allows. Neither is a failure: a
// burst that overflows is counted (SO_RXQ_OVFL) and reported instead.
void size_receive_buffer(qx_socket_t s) {
  const int wanted = QXUDPS_RECEIVE_BUFFER_WANTED;
  if (setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) != 0)
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
  int granted = 0;
  socklen_t length = sizeof granted;
  if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, &granted, &length) == 0) qxudps_lib.receive_buffer = granted;
  const int on = 1;
  setsockopt(s, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
}

int fail_closed(qx_socket_t s, const char *message, int sys_errno) {
  qx_socket_close(s);
  qxudps_record_error(message, sys_errno);
  return -1;
}

}  // namespace

int qxudps_open_socket(const qxudps_cycle *cycle) {
  if (qx_socket_startup() != 0) {
    qxudps_record_error(QXUDPS_MSG_SOCKET_INIT, errno);
    return -1;
  }
  const qx_socket_t s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (s < 0) {
    qxudps_record_error(QXUDPS_MSG_SOCKET_CREATE, errno);
    return -1;
  }
  const int on = 1;
  if (setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
    return fail_closed(s, QXUDPS_MSG_SOCKET_OPTION, errno);
  // Without a proxy the socket takes the devices' own port, or the nearest
  // free one below it; a proxy answers to whatever port the system gives.
  int bound = -1;
  if (cycle->proxy) {
    bound = bind_port(s, QXUDPS_BIND_ANY_PORT);
  } else {
    for (int port = QXUDPS_BIND_PORT_FIRST; port >= QXUDPS_BIND_PORT_LAST && bound != 0; --port)
      bound = bind_port(s, port);
  }
  if (bound != 0) return fail_closed(s, QXUDPS_MSG_BIND, errno);
  size_receive_buffer(s);
  if (qx_socket_option(s, QX_SOCKET_NONBLOCK) != 0) return fail_closed(s, QXUDPS_MSG_NONBLOCK, errno);
  qxudps_lib.socket = s;
  return 0;
}

void qxudps_close_socket(void) {
  if (qxudps_lib.socket == QX_INVALID_SOCKET) return;
  qx_socket_close(qxudps_lib.socket);
  qxudps_lib.socket = QX_INVALID_SOCKET;
}

int qxudps_send(const qxudps_cycle *cycle, int kind, const uint8_t *data, int length) {
  uint8_t envelope[QXUDPS_ENVELOPE_MAX];
  if (cycle->proxy) {
    length = qxudps_wrap_proxy(kind, cycle->proxy_text, data, length, envelope);
    data = envelope;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(cycle->port));
  // The proxy address is taken as written, in any notation inet_aton reads.
  if (inet_aton(cycle->address, &to.sin_addr) == 0) {
    qxudps_record_error(QXUDPS_MSG_SENDTO, EINVAL);
    return -1;
  }
  ssize_t sent;
  do {
    sent = sendto(qxudps_lib.socket, data, static_cast<size_t>(length), MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr *>(&to), sizeof to);
  } while (sent < 0 && errno == EINTR);
  if (sent != length) {
    qxudps_record_error(QXUDPS_MSG_SENDTO, sent < 0 ? errno : EMSGSIZE);
    return -1;
  }
  return 0;
}

qxudps_wait qxudps_wait_ready(qx_socket_t s, short events, int ms) {
  using clock = std::chrono::steady_clock;
  const clock::time_point deadline = clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
    if (left < 0) return QXUDPS_WAIT_EXPIRED;
    pollfd entry = {s, events, 0};
    const int ready = poll(&entry, 1, static_cast<int>(left));
    if (ready > 0) return QXUDPS_READY;
    if (ready == 0) return QXUDPS_WAIT_EXPIRED;
    if (errno != EINTR) return QXUDPS_WAIT_FAILED;
  }
}
