#include "common/qx_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const int kOn = 1;
// Large enough that one whole request buffer is accepted by a single send.
const int kSendBufferBytes = 10485760;
// Linger on with 0 seconds: close discards unsent data and resets the peer.
const linger kLingerReset = {1, 0};

struct SocketOption {
  int kind;
  int level;
  int name;
  const void *value;
  socklen_t size;
};

const SocketOption kOptions[] = {
    {QX_SOCKET_NODELAY, IPPROTO_TCP, TCP_NODELAY, &kOn, sizeof kOn},
    {QX_SOCKET_REUSEADDR, SOL_SOCKET, SO_REUSEADDR, &kOn, sizeof kOn},
    {QX_SOCKET_SNDBUF, SOL_SOCKET, SO_SNDBUF, &kSendBufferBytes, sizeof kSendBufferBytes},
    {QX_SOCKET_LINGER, SOL_SOCKET, SO_LINGER, &kLingerReset, sizeof kLingerReset},
};

int set_nonblocking(qx_socket_t s) {
  const int flags = fcntl(s, F_GETFL);
  if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return -1;
  return 0;
}

// The reserved top-level name that never resolves.
const char kNeverResolves[] = "invalid";

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True for "invalid" and every name under it, in any case, with or without
// the trailing dot of a fully qualified name. ASCII-only comparison: the
// locale's case rules (a Turkish dotless i) must not decide it.
bool never_resolves(const char *name) {
  std::size_t length = std::strlen(name);
  if (length > 0 && name[length - 1] == '.') --length;
  const std::size_t label = sizeof kNeverResolves - 1;
  if (length < label) return false;
  const char *tail = name + length - label;
  for (std::size_t i = 0; i < label; ++i) {
    if (ascii_lower(tail[i]) != kNeverResolves[i]) return false;
  }
  return length == label || tail[-1] == '.';
}

}  // namespace

void qx_socket_set_clear(qx_socket_set *set) {
  if (set != nullptr) set->count = 0;
}

int qx_socket_set_has(const qx_socket_set *set, qx_socket_t s) {
  if (set == nullptr) return 0;
  for (int i = 0; i < set->count && i < QX_SOCKET_SET_MAX; ++i) {
    if (set->fd[i] == s) return 1;
  }
  return 0;
}

int qx_socket_set_add(qx_socket_set *set, qx_socket_t s) {
  if (set == nullptr || s < 0) return -1;
  if (qx_socket_set_has(set, s)) return 0;
  if (set->count < 0 || set->count >= QX_SOCKET_SET_MAX) return -1;
  set->fd[set->count++] = s;
  return 0;
}

int qx_socket_startup(void) { return 0; }

int qx_socket_option(qx_socket_t s, int kind) {
  if (kind == QX_SOCKET_NONBLOCK) return set_nonblocking(s);
  for (const SocketOption &option : kOptions) {
    if (option.kind == kind) return setsockopt(s, option.level, option.name, option.value, option.size) == 0 ? 0 : -1;
  }
  return 0;  // QX_SOCKET_NOTHING and every kind outside the table
}

void qx_socket_close(qx_socket_t s) {
  // Not retried on EINTR: Linux releases the descriptor even then, and a
  // second close could hit a descriptor another thread has just opened.
  if (s != QX_INVALID_SOCKET) close(s);
}

int qx_resolve(char out[16], const char *name) {
  if (out == nullptr) return -1;
  std::memset(out, 0, 16);
  if (name == nullptr || never_resolves(name)) return -1;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;  // one entry per address instead of one per socket type
  addrinfo *found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return -1;
  const auto *address = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
  const bool written = inet_ntop(AF_INET, &address->sin_addr, out, INET_ADDRSTRLEN) != nullptr;
  freeaddrinfo(found);
  if (!written) {
    std::memset(out, 0, 16);
    return -1;
  }
  return 0;
}

long qx_socket_send(qx_socket_t s, const void *data, long length) {
  if (length < 0) {
    errno = EINVAL;
    return -1;
  }
  long sent;
  do {
    sent = send(s, data, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent;
}
