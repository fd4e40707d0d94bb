/* HTTP/1.0 exchange with a device: one TCP connection per request, the
 * reply read until the device closes, the body parsed into the slot. */
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

#include <chrono>

#include "qxxml/qxxml_private.h"

enum {
  CONNECT_WAITS = 5,  /* one-second waits for a connect to complete */
  SEND_WAITS = 5,     /* ... for the socket to take a request */
  RECEIVE_WAITS = 10, /* ... in a row without data before a reply counts as over */
  /* A reply header is gathered across reads up to this size, so that no
   * header byte can end up in the body; longer headers are refused. */
  HEADER_MAX = 4096,
  /* Status line "HTTP/1.x NNN": the code stands at bytes 9 to 11. */
  STATUS_AT = 9,
  HEADER_SCAN_FROM = 14,
  /* "user:password" of two 99-character texts, Base64 encoded, with the
   * request line and header around it. */
  CREDENTIALS_MAX = 2 * QXXML_AUTH_MAX,
  CREDENTIALS_BASE64_MAX = 4 * ((CREDENTIALS_MAX + 2) / 3) + 1,
  REQUEST_MAX = CREDENTIALS_BASE64_MAX + 128,
  /* The longest one transaction (connect, send and receive of a download or
   * a post) may take. A document is at most 20000 bytes, which a device that
   * is alive delivers in far less than a second; the silence rule alone does
   * not end a device that keeps trickling bytes (one byte every 9 s holds a
   * download for two days). 30 s leaves a slow connect (5 s) and a slow
   * device room many times over. */
  TRANSACTION_LIMIT_MS = 30000,
  WAIT_MS = 1000, /* one readiness wait */
};

static std::atomic<int> transaction_limit_ms{TRANSACTION_LIMIT_MS};
static std::atomic<int> silence_waits{RECEIVE_WAITS};

int qxxml_set_transaction_limit_ms(int ms) { return transaction_limit_ms.exchange(ms); }
int qxxml_set_silence_waits(int waits) { return silence_waits.exchange(waits); }

static long long now_ms(void) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void qxxml_begin_transaction(int slot) {
  qxxml_slots[slot].transaction_end_ms = now_ms() + transaction_limit_ms.load();
}

static bool transaction_expired(int slot) { return now_ms() >= qxxml_slots[slot].transaction_end_ms; }

/* How many of a phase's `most` one-second waits fit before the transaction's
 * deadline: fewer when it comes first, 0 once it has passed. A wait begun
 * just before the deadline may run past it by less than a second. */
static int waits_left(int slot, int most) {
  long long left = qxxml_slots[slot].transaction_end_ms - now_ms();
  if (left <= 0) return 0;
  long long waits = (left + WAIT_MS - 1) / WAIT_MS;
  return waits < most ? (int)waits : most;
}

/* A wait that ended without readiness: the transaction's deadline when it
 * has passed, else the phase's own code. Neither is a failed system call. */
static int wait_failure(int slot, int code) { return transaction_expired(slot) ? QX_ERR_TIMEOUT : code; }

static const std::atomic<int> *stop_mark(int slot) { return &qxxml_slots[slot].slot.state; }

void qxxml_close_socket(int slot) {
  qx_socket_t &socket = qxxml_slots[slot].socket;
  if (socket != QX_INVALID_SOCKET) qx_socket_close(socket);
  socket = QX_INVALID_SOCKET;
}

/* Records the failure of a connect and reports it to the caller. */
static int connect_failed(int slot, int module, int code, int sys_errno) {
  qxxml_set_error_errno(slot, code, sys_errno);
  qxxml_slot &s = qxxml_slots[slot].slot;
  if (s.settings.callbacks.connect_failed)
    s.settings.callbacks.connect_failed(slot, s.owner, module, &qxxml_slots[slot].error);
  return -1;
}

/* The error number of a connect that the readiness wait reported as done:
 * the connect's own (SO_ERROR) when it failed, getpeername's when the socket
 * has no peer all the same, 0 when it is connected. */
static int connect_result(qx_socket_t sock) {
  int pending = 0;
  socklen_t pending_len = sizeof pending;
  if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &pending, &pending_len) != 0) return errno;
  if (pending != 0) return pending;
  struct sockaddr_in peer;
  socklen_t peer_len = sizeof peer;
  return getpeername(sock, (struct sockaddr *)&peer, &peer_len) == 0 ? 0 : errno;
}

/* Closes the half-made connection and reports why it failed. */
static int abandon_connect(int slot, int module, int code, int sys_errno) {
  qxxml_close_socket(slot);
  return connect_failed(slot, module, code, sys_errno);
}

int qxxml_connect(int slot, int module, char *ip16, const char *host, int port) {
  qx_socket_t &sock = qxxml_slots[slot].socket;
  if (qx_socket_startup() != 0) return connect_failed(slot, module, QX_ERR_SOCKET_INIT, 0);
  if (host[0] != '\0' && qx_resolve(ip16, host) != 0) {
    memset(ip16, 0, 16);
    return connect_failed(slot, module, QX_ERR_RESOLVE, 0); /* the resolver's codes are no errno */
  }
  qxxml_close_socket(slot);
  sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock == QX_INVALID_SOCKET) return connect_failed(slot, module, QX_ERR_SOCKET_CREATE, errno);
  if (qx_socket_option(sock, QX_SOCKET_NONBLOCK) != 0)
    return abandon_connect(slot, module, QX_ERR_SOCKET_NONBLOCK, errno);
  struct sockaddr_in address;
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons((unsigned short)port);
  if (inet_pton(AF_INET, ip16, &address.sin_addr) != 1) return abandon_connect(slot, module, QX_ERR_SOCKET_CONNECT, 0);
  if (connect(sock, (struct sockaddr *)&address, sizeof address) != 0 && errno != EINPROGRESS)
    return abandon_connect(slot, module, QX_ERR_SOCKET_CONNECT, errno);
  qx_socket_set writable;
  qx_socket_set_clear(&writable);
  qx_socket_set_add(&writable, sock);
  int r = qx_select_wait(nullptr, &writable, nullptr, waits_left(slot, CONNECT_WAITS), stop_mark(slot));
  if (r == QX_WAIT_STOPPED) return QXXML_STOPPED;
  if (r != 0) return abandon_connect(slot, module, wait_failure(slot, QX_ERR_SOCKET_CONNECT), 0);
  int refused = connect_result(sock);
  if (refused != 0) return abandon_connect(slot, module, QX_ERR_SOCKET_CONNECT, refused);
  qxxml_slot &s = qxxml_slots[slot].slot;
  if (s.settings.callbacks.connected) s.settings.callbacks.connected(slot, s.owner, module);
  return 0;
}

/* Sends the whole request. A fresh connection takes a request at once, so
 * the socket is offered the rest first and waited for only when it takes
 * nothing; a close and the deadline are checked before each offer, as the
 * wait would. */
int qxxml_send(int slot, const char *text, int length) {
  qx_socket_t sock = qxxml_slots[slot].socket;
  int sent = 0;
  while (sent < length) {
    if (stop_mark(slot)->load() == 0) return QXXML_STOPPED;
    if (transaction_expired(slot)) {
      qxxml_set_error(slot, QX_ERR_TIMEOUT);
      return -1;
    }
    long n = qx_socket_send(sock, text + sent, length - sent);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      qx_socket_set writable;
      qx_socket_set_clear(&writable);
      qx_socket_set_add(&writable, sock);
      int r = qx_select_wait(nullptr, &writable, nullptr, waits_left(slot, SEND_WAITS), stop_mark(slot));
      if (r == QX_WAIT_STOPPED) return QXXML_STOPPED;
      if (r != 0) {
        qxxml_set_error(slot, wait_failure(slot, QX_ERR_SELECT_WRITE));
        return -1;
      }
      continue;
    }
    if (n <= 0) {
      qxxml_set_error_errno(slot, QX_ERR_SEND, n < 0 ? errno : 0);
      return -1;
    }
    sent += (int)n;
  }
  return 0;
}

/* Maps an HTTP status to its error code: 400..417 and 500..505 refuse the
 * reply with the code named after the status; every other status is
 * accepted (0). The codes of each range run in status order. */
static_assert(QX_ERR_HTTP_417 - QX_ERR_HTTP_400 == 417 - 400, "client error codes run in status order");
static_assert(QX_ERR_HTTP_505 - QX_ERR_HTTP_500 == 505 - 500, "server error codes run in status order");
static int status_code_error(int status) {
  if (status >= 400 && status <= 417) return QX_ERR_HTTP_400 + (status - 400);
  if (status >= 500 && status <= 505) return QX_ERR_HTTP_500 + (status - 500);
  return QX_ERR_NONE;
}

int qxxml_read_reply_header(int slot, const char *header, int length) {
  int state = 0;
  int end = -1;
  for (int i = HEADER_SCAN_FROM; i < length && end < 0; i++) {
    char c = header[i];
    if (c == '\r' && (state == 0 || state == 2))
      state++;
    else if (c == '\n' && (state == 1 || state == 3))
      state++;
    else
      state = 0;
    if (state == 4) end = i + 1;
  }
  if (end < 0) return 0;
  int status = 0;
  for (int i = STATUS_AT; i < STATUS_AT + 3; i++) {
    if (header[i] < '0' || header[i] > '9') break;
    status = status * 10 + (header[i] - '0');
  }
  int code = status_code_error(status);
  if (code != QX_ERR_NONE) {
    qxxml_set_error(slot, code);
    return -1;
  }
  return end;
}

/* Waits until the socket has data, the reply falls silent or the slot is
 * closed: 0 when there is something to read, 1 after marking a silent end,
 * -1 after recording the transaction's deadline, or QXXML_STOPPED. */
static int wait_readable(int slot, qx_socket_t sock) {
  qx_socket_set readable;
  qx_socket_set_clear(&readable);
  qx_socket_set_add(&readable, sock);
  int r = qx_select_wait(&readable, nullptr, nullptr, waits_left(slot, silence_waits.load()), stop_mark(slot));
  if (r == QX_WAIT_STOPPED) return QXXML_STOPPED;
  /* A device that keeps sending never falls silent: the deadline ends it. */
  if (transaction_expired(slot)) {
    qxxml_set_error(slot, QX_ERR_TIMEOUT);
    return -1;
  }
  if (r == 0) return 0;
  /* Silent for ten seconds: the reply is over, but the device never said
   * so by closing; what arrived may be only part of it. */
  qxxml_slots[slot].arriving.ended_by_silence = 1;
  return 1;
}

/* Where the next read goes: the header being gathered, else the rest of the
 * body's room. A body that already fills its room (the last byte is kept
 * for the zero) reads into `probe`, where any byte proves it too large. */
struct read_target {
  char *at;
  int room;
};

static read_target next_target(bool in_body, char *header, int header_len, char *body, int length, int capacity,
                               char *probe) {
  if (!in_body) return {header + header_len, HEADER_MAX - header_len};
  int room = capacity - 1 - length;
  return room > 0 ? read_target{body + length, room} : read_target{probe, 1};
}

/* Reads whatever the socket holds before waiting: a reply that has already
 * arrived then costs one read per buffer, not a wait and a read per small
 * piece. The outcomes are those of a wait before every read: the deadline
 * and a close are checked before each read as a wait would, and only a
 * socket with nothing to read waits for data. */
int qxxml_receive(int slot, char *body, int *length) {
  qx_socket_t sock = qxxml_slots[slot].socket;
  int capacity = *length;
  *length = 0;
  char header[HEADER_MAX];
  char probe[1];
  int header_len = 0;
  bool in_body = false;
  for (;;) {
    if (stop_mark(slot)->load() == 0) return QXXML_STOPPED;
    if (transaction_expired(slot)) {
      qxxml_set_error(slot, QX_ERR_TIMEOUT);
      return -1;
    }
    read_target target = next_target(in_body, header, header_len, body, *length, capacity, probe);
    long n = recv(sock, target.at, (size_t)target.room, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      int waited = wait_readable(slot, sock);
      if (waited == 0) continue;
      if (waited == 1) break;
      return waited;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      qxxml_set_error_errno(slot, QX_ERR_RECV, errno);
      return -1;
    }
    if (n == 0) break;
    if (target.at == probe) {
      qxxml_set_error(slot, QX_ERR_FILE_TOO_LARGE);
      return -1;
    }
    if (in_body) {
      *length += (int)n;
      body[*length] = '\0';
      continue;
    }
    header_len += (int)n;
    int begin = qxxml_read_reply_header(slot, header, header_len);
    if (begin < 0) return -1;
    if (begin == 0) {
      if (header_len == HEADER_MAX) {
        qxxml_set_error(slot, QX_ERR_FILE_TOO_LARGE);
        return -1;
      }
      continue;
    }
    /* The header's last read may have brought the start of the body. */
    in_body = true;
    int part_len = header_len - begin;
    if (part_len >= capacity) {
      qxxml_set_error(slot, QX_ERR_FILE_TOO_LARGE);
      return -1;
    }
    memcpy(body, header + begin, (size_t)part_len);
    *length = part_len;
    body[*length] = '\0';
  }
  /* The connection ended (or fell silent) before a complete header: there
   * is no HTTP reply to take a body from. */
  if (!in_body) {
    qxxml_set_error(slot, QX_ERR_HTTP_NOT_FOUND);
    return -1;
  }
  return 0;
}

/* Builds the download request; setup downloads carry Basic authentication
 * when a user name is set. Returns the request length. */
static int build_get_request(char *request, int capacity, int kind, const char *user, const char *password) {
  if (kind == QXXML_DOC_VALUES) return snprintf(request, (size_t)capacity, "GET /values.xml HTTP/1.0\r\n\r\n");
  if (user[0] == '\0') return snprintf(request, (size_t)capacity, "GET /setup.xml HTTP/1.0\r\n\r\n");
  char credentials[CREDENTIALS_MAX + 1] = {0};
  char encoded[CREDENTIALS_BASE64_MAX] = {0};
  int n = snprintf(credentials, sizeof credentials, "%s:%s", user, password);
  qx_base64_encode(credentials, n, encoded, (int)sizeof encoded - 1);
  return snprintf(request, (size_t)capacity, "GET /setup.xml HTTP/1.0\r\nAuthorization: Basic %s\r\n\r\n", encoded);
}

/* Sends a request on a fresh connection and receives the reply body. */
static int exchange(int slot, int module, char *ip16, const char *host, int port, const char *request, int request_len,
                    char *body, int *length) {
  qxxml_begin_transaction(slot);
  int r = qxxml_connect(slot, module, ip16, host, port);
  if (r != 0) return r;
  r = qxxml_send(slot, request, request_len);
  if (r == 0) r = qxxml_receive(slot, body, length);
  if (r == QXXML_STOPPED) return r; /* the slot's close owns the socket now */
  qxxml_close_socket(slot);
  return r;
}

static int parse_body(int slot, char *body, int length, int kind) {
  qxxml_lock(0);
  int r = qxxml_parse_document(slot, body, length, kind);
  qxxml_unlock(0);
  return r;
}

int qxxml_get_transaction(int slot, char *ip16, const char *host, int port, char *body, int *length, int kind,
                          int module) {
  if (qxxml_slots[slot].slot.state.load() == 0) {
    *length = 0;
    return -1;
  }
  /* A module of a multi-device slot authenticates with its own credentials. */
  const qxxml_settings *settings = qxxml_credentials(slot, module);
  char request[REQUEST_MAX] = {0};
  int request_len = build_get_request(request, sizeof request, kind, settings->get_user, settings->get_password);
  int r = exchange(slot, module, ip16, host, port, request, request_len, body, length);
  if (r == QXXML_STOPPED) return r;
  if (r != 0 || parse_body(slot, body, *length, kind) != 0) {
    *length = 0;
    return -1;
  }
  return 0;
}

int qxxml_post_transaction(int slot, int module, char *ip16, const char *host, int port, const char *request,
                           char *reply, int *length) {
  if (qxxml_slots[slot].slot.state.load() == 0) return -1;
  *length = QXXML_DOC_MAX;
  int r = exchange(slot, module, ip16, host, port, request, (int)strlen(request), reply, length);
  if (r == QXXML_STOPPED) return r;
  if (r == 0 && parse_body(slot, reply, *length, QXXML_DOC_SETUP) == 0) return 0;
  if (r == 0) *length = 0;
  qxxml_stamp(slot, QXXML_KIND_POST);
  qxxml_deliver(slot, module, QXXML_KIND_POST, 1);
  return -1;
}
