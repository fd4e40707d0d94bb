// The TCP client of the name lookup and name setting: one short connection
// at a time to one device, every wait bounded by QXUDPS_TCP_WAIT_MS.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>

#include "common/qx_socket.h"
#include "qxudps/qxudps_private.h"

namespace {

const int kPortMin = 1;
const int kPortMax = 65535;

// Only the worker thread looks names up, one device after the other, so the
// library holds a single TCP socket.
qx_socket_t tcp_socket = QX_INVALID_SOCKET;

// Records the failure, closes the half-made connection and reports it.
int abandon(const char *text, int sys_errno) {
  qxudps_tcp_close();
  qxudps_record_error(text, sys_errno);
  return -1;
}

// The errno with which a connect that the wait reported as done failed (a
// refusal shows as writable too), or 0 when it is connected.
int connect_result() {
  int pending = 0;
  socklen_t pending_length = sizeof pending;
  if (getsockopt(tcp_socket, SOL_SOCKET, SO_ERROR, &pending, &pending_length) != 0) return errno;
  return pending;
}

}  // namespace

int qxudps_tcp_connect(const char *address, int port) {
  qxudps_tcp_close();
  tcp_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (tcp_socket == QX_INVALID_SOCKET) return abandon(QXUDPS_MSG_SOCKET_CREATE, errno);
  if (qx_socket_option(tcp_socket, QX_SOCKET_NONBLOCK) != 0) return abandon(QXUDPS_MSG_NONBLOCK, errno);

  // The address comes from a device's reply or a setup request as dotted
  // text; it is never looked up.
  struct sockaddr_in peer;
  memset(&peer, 0, sizeof peer);
  peer.sin_family = AF_INET;
  if (address == nullptr || inet_pton(AF_INET, address, &peer.sin_addr) != 1 || port < kPortMin || port > kPortMax)
    return abandon(QXUDPS_MSG_CONNECT_START, 0);
  peer.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(tcp_socket, reinterpret_cast<const struct sockaddr *>(&peer), sizeof peer) != 0 && errno != EINPROGRESS)
    return abandon(QXUDPS_MSG_CONNECT_START, errno);

  switch (qxudps_wait_ready(tcp_socket, POLLOUT, QXUDPS_TCP_WAIT_MS)) {
    case QXUDPS_READY: break;
    case QXUDPS_WAIT_EXPIRED: return abandon(QXUDPS_MSG_CONNECT, 0);
    case QXUDPS_WAIT_FAILED: return abandon(QXUDPS_MSG_CONNECT, errno);
  }
  const int refused = connect_result();
  if (refused != 0) return abandon(QXUDPS_MSG_CONNECT, refused);
  return 0;
}

int qxudps_tcp_send(const char *data, int length) {
  if (tcp_socket == QX_INVALID_SOCKET) {
    qxudps_record_error(QXUDPS_MSG_SEND, EBADF);
    return -1;
  }
  switch (qxudps_wait_ready(tcp_socket, POLLOUT, QXUDPS_TCP_WAIT_MS)) {
    case QXUDPS_READY: break;
    case QXUDPS_WAIT_EXPIRED: qxudps_record_error(QXUDPS_MSG_SELECT_WRITE, 0); return -1;
    case QXUDPS_WAIT_FAILED: qxudps_record_error(QXUDPS_MSG_SELECT_WRITE, errno); return -1;
  }
  // One call: the requests are a few hundred bytes, which an empty send
  // buffer always takes whole.
  if (qx_socket_send(tcp_socket, data, length) < 0) {
    qxudps_record_error(QXUDPS_MSG_SEND, errno);
    return -1;
  }
  return 0;
}

int qxudps_tcp_receive(char *buffer, int *length) {
  if (tcp_socket == QX_INVALID_SOCKET) {
    qxudps_record_error(QXUDPS_MSG_RECV, EBADF);
    return -1;
  }
  const int length_before = *length;
  for (;;) {
    // A device ends its reply by closing, or, if it keeps the connection,
    // by falling silent; either way what came so far is the reply, and a
    // wait that fails ends it too. Only silence before any byte is worth a
    // note, and even that is no failure.
    const qxudps_wait wait = qxudps_wait_ready(tcp_socket, POLLIN, QXUDPS_TCP_WAIT_MS);
    if (wait != QXUDPS_READY) {
      if (wait == QXUDPS_WAIT_EXPIRED && *length == length_before) qxudps_record_error(QXUDPS_MSG_SOCKET_TIMEOUT, 0);
      return 0;
    }
    char chunk[QXUDPS_TCP_CHUNK];
    const long received = recv(tcp_socket, chunk, sizeof chunk, 0);
    if (received == 0) return 0;
    if (received < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      qxudps_record_error(QXUDPS_MSG_RECV, errno);
      return -1;
    }
    if (*length + received >= UDPS_XML_FILE_SIZE) {
      qxudps_record_error(QXUDPS_MSG_REPLY_TOO_LARGE, 0);
      return -1;
    }
    memcpy(buffer + *length, chunk, static_cast<size_t>(received));
    *length += static_cast<int>(received);
    buffer[*length] = '\0';
  }
}

void qxudps_tcp_close(void) {
  if (tcp_socket != QX_INVALID_SOCKET) qx_socket_close(tcp_socket);
  tcp_socket = QX_INVALID_SOCKET;
}
