#ifndef QX_SOCKET_H
#define QX_SOCKET_H

#include "common/qx_export.h"

typedef int qx_socket_t;
#define QX_INVALID_SOCKET (-1)

/* A socket set of the readiness wait holds at most this many sockets. */
#define QX_SOCKET_SET_MAX 64

/* Kinds of qx_socket_option. */
#define QX_SOCKET_NONBLOCK 0  /* non-blocking mode on */
#define QX_SOCKET_NODELAY 1   /* Nagle's algorithm off */
#define QX_SOCKET_REUSEADDR 2 /* address reuse on */
#define QX_SOCKET_SNDBUF 3    /* send buffer of 10485760 bytes */
#define QX_SOCKET_NOTHING 4   /* changes nothing */
#define QX_SOCKET_LINGER 5    /* linger on with 0 seconds: close resets */

QX_BEGIN_DECLS

typedef struct qx_socket_set {
  int count;
  qx_socket_t fd[QX_SOCKET_SET_MAX];
} qx_socket_set;

QX_EXPORT void qx_socket_set_clear(qx_socket_set *set);
/* 0; -1 when the set is full or `s` is negative. A socket already in the set
 * is not added twice. */
QX_EXPORT int qx_socket_set_add(qx_socket_set *set, qx_socket_t s);
/* 1 when `s` is in the set, 0 otherwise. */
QX_EXPORT int qx_socket_set_has(const qx_socket_set *set, qx_socket_t s);

/* Starts the platform's socket layer; 0. POSIX sockets need no start, but the
 * libraries call this before using sockets so that a port to a platform with
 * a socket layer start-up has one place to do it. */
QX_EXPORT int qx_socket_startup(void);

/* Applies option `kind` (QX_SOCKET_*); 0, or -1 when the platform refuses it.
 * A kind outside 0..5 does nothing and returns 0. */
QX_EXPORT int qx_socket_option(qx_socket_t s, int kind);

QX_EXPORT void qx_socket_close(qx_socket_t s);

/* Resolves a host name or dotted address to its first IPv4 address, written
 * as dotted text into `out` and zero-filled after it; 0. -1 when the name
 * does not resolve, with `out` zero-filled.
 * A name that is `invalid` or ends in `.invalid` (any case, with or without
 * a trailing dot) is refused that way at once, without a look-up: such names
 * are reserved never to resolve, yet a resolver asked about one would still
 * send the query to the configured name server, off this machine. */
QX_EXPORT int qx_resolve(char out[16], const char *name);

/* Sends without raising SIGPIPE on a closed peer and retries when a signal
 * interrupts the call; returns what send returns. */
QX_EXPORT long qx_socket_send(qx_socket_t s, const void *data, long length);

QX_END_DECLS

#endif
