// A search on the socket of the cycle: the datagram, the reply collection
// and the name lookups that may follow it.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>

#include "qxudps/qxudps_state_private.h"

#define QXUDPS_QUIET_MS 1000       /* collecting ends after this long without a datagram */
#define QXUDPS_PROXY_QUIET_MS 3000 /* the proxy relays, so its replies may come later */
#define QXUDPS_REPLY_BUFFER 512    /* longer datagrams are refused as failed receives */

namespace {

// One datagram with its sender and the kernel's count of datagrams it has
// dropped on this socket so far.
struct datagram {
  uint8_t data[QXUDPS_REPLY_BUFFER];
  ssize_t length;
  bool truncated;
  sockaddr_in from;
  uint32_t dropped;
  bool has_dropped;
};

ssize_t receive(qx_socket_t s, datagram *d) {
  iovec part{d->data, sizeof d->data};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(uint32_t))];
  msghdr message{};
  message.msg_name = &d->from;
  message.msg_namelen = sizeof d->from;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  do {
    d->length = recvmsg(s, &message, 0);
  } while (d->length < 0 && errno == EINTR);
  d->truncated = (message.msg_flags & MSG_TRUNC) != 0;
  d->has_dropped = false;
  if (d->length < 0) return d->length;
  for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
      memcpy(&d->dropped, CMSG_DATA(c), sizeof d->dropped);
      d->has_dropped = true;
    }
  }
  return d->length;
}

// The proxy relays every reply, so a datagram from anywhere else is no
// reply. The sender is compared as the system prints it.
bool from_proxy(const datagram &d, const qxudps_cycle *cycle) {
  char sender[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, &d.from.sin_addr, sender, sizeof sender) == nullptr) return false;
  return strcmp(sender, cycle->address) == 0;
}

bool already_listed(const char *mac) {
  const int count = qxudps_lib.count;
  for (int i = 0; i < count; ++i)
    if (strcmp(qxudps_lib.records[i].mac, mac) == 0) return true;
  return false;
}

enum take_result { TAKEN, IGNORED, LIST_FULL };

take_result take_reply(const datagram &d, const qxudps_cycle *cycle) {
  if (cycle->proxy && !from_proxy(d, cycle)) return IGNORED;
  const int length = static_cast<int>(d.length);
  if (!qxudps_reply_authentic(d.data, length, &cycle->search_key)) return IGNORED;
  qxudps_device record;
  uint8_t mac[QXUDPS_MAC_BYTES];
  qxudps_decode_reply(d.data, length, &record, mac);
  if (already_listed(record.mac)) return IGNORED;
  const int count = qxudps_lib.count;
  if (count >= MAX_MODULES) return LIST_FULL;
  qxudps_lib.records[count] = record;
  memcpy(qxudps_lib.macs[count], mac, sizeof mac);
  qxudps_lib.count = count + 1;
  return TAKEN;
}

void lookup_names(void) {
  const int count = qxudps_lib.count;
  for (int i = 0; i < count; ++i) {
    qxudps_device &record = qxudps_lib.records[i];
    if (qxudps_in_name_set(record.type)) qxudps_fetch_name(record.ip, record.port, record.name, record.type);
  }
}

}  // namespace

int qxudps_send_search(const qxudps_cycle *cycle) {
  uint8_t search[QXUDPS_DATAGRAM_SIZE];
  qxudps_build_search(search);
  return qxudps_send(cycle, QXUDPS_PROXY_SEARCH, search, sizeof search);
}

int qxudps_collect_replies(const qxudps_cycle *cycle) {
  memset(qxudps_lib.records, 0, sizeof qxudps_lib.records);
  qxudps_lib.count = 0;
  qxudps_lib.dropped = 0;
  const int quiet_ms = cycle->proxy ? QXUDPS_PROXY_QUIET_MS : QXUDPS_QUIET_MS;
  datagram d;
  for (;;) {
    const qxudps_wait waited = qxudps_wait_ready(qxudps_lib.socket, POLLIN, quiet_ms);
    if (waited == QXUDPS_WAIT_EXPIRED) break;
    if (waited == QXUDPS_WAIT_FAILED) {
      qxudps_record_error(QXUDPS_MSG_SELECT, errno);
      return -1;
    }
    if (receive(qxudps_lib.socket, &d) < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) qxudps_record_error(QXUDPS_MSG_RECV, errno);
      continue;
    }
    if (d.has_dropped) qxudps_lib.dropped = d.dropped;
    // Linux cuts a datagram longer than the buffer without failing the
    // receive; a cut reply is as unusable as a failed one.
    if (d.truncated) {
      qxudps_record_error(QXUDPS_MSG_RECV, EMSGSIZE);
      continue;
    }
    if (d.length == 0) continue;
    if (take_reply(d, cycle) == LIST_FULL) {
      qxudps_record_error(QXUDPS_MSG_LIST_FULL, 0);
      break;
    }
  }
  if (cycle->lookup_names) lookup_names();
  return 0;
}
