/* The readiness wait of the device libraries' network code. C++ only: the
 * stop mark is the worker's atomic slot state. Shared by common/ and the
 * device libraries it supports (qxxml, qxudps); nothing above them uses it. */
#ifndef QX_SELECT_WAIT_PRIVATE_H
#define QX_SELECT_WAIT_PRIVATE_H

#include <atomic>

#include "common/qx_socket.h"

/* qx_select_wait result when the stop mark turned 0 during the wait. */
#define QX_WAIT_STOPPED (-2)

/* Waits for readiness in `attempts` waits of 1 second each; any set may be
 * null. Every attempt starts from the caller's sets. Each attempt is waited
 * out in slices of 50 ms, and after each slice the stop mark (when given) is
 * looked at first: 0 returns QX_WAIT_STOPPED at once, so a close is noticed
 * within 50 ms. Otherwise, when a socket is ready, each set is reduced to its
 * ready sockets and 0 is returned. A failed wait counts as an attempt without
 * readiness; -1 after the last attempt.
 *
 * Readiness per set:
 *  - read: data, end of stream, or a pending error (a recv will not block);
 *  - write: room to send, or a pending error or hang-up (a send will not
 *    block). A connect that failed is therefore reported writable, and the
 *    caller's getpeername tells it apart from a completed connect;
 *  - error: a pending error, a hang-up, or urgent data.
 * A descriptor that is not open is reported in every set that holds it, so
 * the caller's next call fails at once instead of waiting out its attempts. */
QX_EXPORT int qx_select_wait(qx_socket_set *read, qx_socket_set *write, qx_socket_set *error, int attempts,
                             const std::atomic<int> *stop_mark);

#endif
