// Starting and stopping the worker, and the cycle it runs for each wake-up.
#include <errno.h>
#include <stdio.h>

#include "qxudps/qxudps_state_private.h"

#define QXUDPS_BROADCAST_ADDRESS "255.255.255.255"

namespace {

void copy_text(char *out, size_t size, const char *text) { snprintf(out, size, "%s", text); }

// Takes the settings of this cycle under the lock.
qxudps_cycle cycle_settings(void) {
  qxudps_locked hold;
  qxudps_cycle cycle{};
  cycle.proxy = qxudps_lib.proxy_address != nullptr;
  if (cycle.proxy) {
    copy_text(cycle.address, sizeof cycle.address, qxudps_lib.proxy_address);
    cycle.port = qxudps_lib.proxy_port != 0 ? qxudps_lib.proxy_port : QXUDPS_DEFAULT_PORT;
    copy_text(cycle.proxy_text, sizeof cycle.proxy_text, qxudps_lib.proxy_text);
  } else if (qxudps_lib.target_address[0] != '\0') {
    copy_text(cycle.address, sizeof cycle.address, qxudps_lib.target_address);
    cycle.port = qxudps_lib.target_port;
  } else {
    copy_text(cycle.address, sizeof cycle.address, QXUDPS_BROADCAST_ADDRESS);
    cycle.port = QXUDPS_DEFAULT_PORT;
  }
  cycle.lookup_names = qxudps_lib.lookup_names;
  cycle.search_key = qxudps_lib.search_key;
  cycle.setup_key = qxudps_lib.setup_key;
  return cycle;
}

// A request that got its error callback before it ran is dropped.
void fail_requests(void) {
  qxudps_error_callbacks();
  qxudps_locked hold;
  qxudps_lib.search_pending = 0;
  qxudps_lib.setup_pending = 0;
}

// Marks the kind done and calls its callback with the owner of the moment.
void finish_search(void) {
  qxudps_locked hold;
  qxudps_lib.search_pending = 0;
  qxudps_lib.search_done = 1;
  if (qxudps_lib.callbacks.search_done != nullptr) qxudps_lib.callbacks.search_done(qxudps_lib.search_owner);
}

void finish_setup(void) {
  qxudps_locked hold;
  qxudps_lib.setup_pending = 0;
  qxudps_lib.setup_done = 1;
  if (qxudps_lib.callbacks.setup_done != nullptr) qxudps_lib.callbacks.setup_done(qxudps_lib.setup_owner);
}

// Serves what the wake-up found requested: the search first, then the setup,
// on one socket.
void serve_requests(void) {
  const qxudps_cycle cycle = cycle_settings();
  if (qxudps_open_socket(&cycle) != 0) {
    fail_requests();
    return;
  }
  if (qxudps_lib.search_pending) {
    if (qxudps_send_search(&cycle) != 0 || qxudps_collect_replies(&cycle) != 0) {
      qxudps_close_socket();
      fail_requests();
      return;
    }
    finish_search();
  }
  if (qxudps_lib.setup_pending) {
    qxudps_do_setup(&cycle);
    finish_setup();
  }
  qxudps_close_socket();
}

void worker_main(void) {
  while (!qxudps_lib.stop) {
    {
      // A request made before this thread first got here stays visibly open.
      qxudps_locked hold;
      qxudps_lib.search_done = !qxudps_lib.search_pending;
      qxudps_lib.setup_done = !qxudps_lib.setup_pending;
      qxudps_lib.worker_idle = 1;
    }
    if (qx_sem_wait(&qxudps_lib.wake) != 0) {
      qxudps_record_error(QXUDPS_MSG_SEM_WAIT, 0);
      continue;
    }
    if (qxudps_lib.stop) break;
    {
      qxudps_locked hold;
      qxudps_lib.worker_idle = 0;
    }
    serve_requests();
  }
  // Under the lock, so that no request can post to the semaphore as it goes.
  qxudps_locked hold;
  qx_sem_destroy(&qxudps_lib.wake);
  qxudps_lib.initialised = 0;
}

}  // namespace

int qxudps_init(void) {
  qxudps_locked hold;
  qxudps_lib.callbacks = qxudps_callbacks{};
  if (qxudps_lib.initialised) {
    qxudps_record_error(QXUDPS_MSG_INIT_ALREADY, 0);
    return -1;
  }
  if (qx_sem_init(&qxudps_lib.wake) != 0) {
    qxudps_record_error(QXUDPS_MSG_SEM_INIT, errno);
    return -1;
  }
  if (qxudps_lock_ready() != 0) {
    qxudps_record_error(QXUDPS_MSG_MUTEX_INIT, 0);
    qx_sem_destroy(&qxudps_lib.wake);
    return -1;
  }
  qxudps_lib.search_key = qxudps_default_search_key;
  qxudps_lib.stop = 0;
  qxudps_lib.initialised = 1;
  qx_thread_t worker = qx_thread_start(worker_main);
  if (qx_thread_check(&worker) != 0) {
    qxudps_lib.initialised = 0;
    qx_sem_destroy(&qxudps_lib.wake);
    qxudps_record_error(QXUDPS_MSG_THREAD_CREATE, 0);
    return -1;
  }
  // The worker ends by itself after qxudps_uninit; nobody waits for it.
  qx_thread_detach(&worker);
  return 0;
}

int qxudps_uninit(void) {
  qxudps_locked hold;
  qxudps_lib.cursor = 0;
  qxudps_lib.search_pending = 0;
  qxudps_lib.setup_pending = 0;
  qxudps_lib.search_done = 1;
  qxudps_lib.setup_done = 1;
  qxudps_lib.worker_idle = 1;
  qxudps_lib.search_owner = nullptr;
  qxudps_lib.setup_owner = nullptr;
  if (qxudps_lib.initialised && !qxudps_lib.stop) {
    qxudps_lib.stop = 1;
    qx_sem_post(&qxudps_lib.wake);
  }
  return 0;
}

void qxudps_error_callbacks(void) {
  qxudps_locked hold;
  if (qxudps_lib.search_pending && qxudps_lib.callbacks.search_error != nullptr)
    qxudps_lib.callbacks.search_error(qxudps_lib.search_owner, &qxudps_lib.error);
  qxudps_setup_error_callback();
}

void qxudps_setup_error_callback(void) {
  qxudps_locked hold;
  if (qxudps_lib.setup_pending && qxudps_lib.callbacks.setup_error != nullptr)
    qxudps_lib.callbacks.setup_error(qxudps_lib.setup_owner, &qxudps_lib.error);
}
