/* The one library state of qxudps and the worker's internal steps. Flags
 * that callers read without the lock, and that the worker reads between its
 * steps, are atomics; everything else belongs to the lock or to the worker
 * thread alone, as marked. */
#ifndef QXUDPS_QXUDPS_STATE_PRIVATE_H
#define QXUDPS_QXUDPS_STATE_PRIVATE_H

#include <atomic>

#include "common/qx_socket.h"
#include "common/qx_thread.h"
#include "qxudps/qxudps_private.h"

#define QXUDPS_DEFAULT_PORT 9999 /* devices listen here; the proxy's port when none is given */
#define QXUDPS_ADDRESS_TEXT_SIZE QXUDPS_ADDR_SIZE

struct qxudps_state {
  /* Written by the worker only while collecting a search; read by callers
   * only when no search runs. */
  qxudps_device records[MAX_MODULES];
  uint8_t macs[MAX_MODULES][QXUDPS_MAC_BYTES];
  std::atomic<int> count{0};
  std::atomic<int> cursor{0};

  /* Request flags, written under the lock, read anywhere. */
  std::atomic<int> search_pending{0};
  std::atomic<int> setup_pending{0};
  std::atomic<int> search_done{1}; /* 1: no search requested or running */
  std::atomic<int> setup_done{1};
  std::atomic<int> worker_idle{1};
  std::atomic<int> initialised{0};
  std::atomic<int> stop{0};

  /* Under the lock. */
  int lookup_names = 0;
  void *search_owner = nullptr;
  void *setup_owner = nullptr;
  qxudps_device setup_request{};
  qxudps_callbacks callbacks{};
  qx_error_record error{};

  /* Under the lock; the worker takes a copy at the start of each cycle. */
  char *proxy_address = nullptr; /* null: direct mode */
  int proxy_port = QXUDPS_DEFAULT_PORT;
  char *proxy_text = nullptr;
  char target_address[QXUDPS_ADDRESS_TEXT_SIZE] = ""; /* empty: broadcast */
  int target_port = QXUDPS_DEFAULT_PORT;

  /* Under the lock; changed only while no request runs. */
  qx_tea_key search_key{};
  qx_tea_key setup_key{};

  /* What the socket of the last cycle was granted, and saw dropped. */
  std::atomic<int> receive_buffer{0};
  std::atomic<unsigned int> dropped{0};

  qx_sem_t wake{};
  qx_socket_t socket = QX_INVALID_SOCKET; /* worker thread only */
};

extern qxudps_state qxudps_lib;

/* The library lock: recursive, and alive for the whole process, so that no
 * caller can ever take a lock that a stopping worker destroyed. Failures to
 * take or release it are recorded and the operation goes on. */
void qxudps_lock(void);
void qxudps_unlock(void);

class qxudps_locked {
 public:
  qxudps_locked() { qxudps_lock(); }
  ~qxudps_locked() { qxudps_unlock(); }
  qxudps_locked(const qxudps_locked &) = delete;
  qxudps_locked &operator=(const qxudps_locked &) = delete;
};

/* 0 when the lock exists; -1 when the process could not create it. */
int qxudps_lock_ready(void);

/* What one worker cycle works with, copied from the settings at its start
 * so that a caller changing them mid-cycle cannot tear a datagram. */
struct qxudps_cycle {
  int proxy;                                  /* 1: through the proxy */
  char address[QXUDPS_ADDRESS_TEXT_SIZE];     /* destination, dotted */
  int port;                                   /* destination port */
  char proxy_text[QXUDPS_PROXY_TEXT_MAX + 1]; /* carried in the envelope */
  int lookup_names;
  qx_tea_key search_key;
  qx_tea_key setup_key;
};

/* Socket of one cycle; each records its failure and returns -1. */
int qxudps_open_socket(const qxudps_cycle *cycle);
void qxudps_close_socket(void);
/* Sends `length` bytes, in the proxy envelope of `kind` when the cycle goes
 * for one. */
int qxudps_send(const qxudps_cycle *cycle, int kind, const uint8_t *data, int length);

/* The steps of a search and of a setup on the open socket. */
int qxudps_send_search(const qxudps_cycle *cycle);
int qxudps_collect_replies(const qxudps_cycle *cycle);
void qxudps_do_setup(const qxudps_cycle *cycle);

/* Gives the error callbacks of the open requests (search first, then setup)
 * with the current owners, under the lock. */
void qxudps_error_callbacks(void);
/* Gives only the setup error callback. */
void qxudps_setup_error_callback(void);

#endif
