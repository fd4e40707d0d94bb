/* Library-internal state and helpers of qxxml. */
#ifndef QXXML_QXXML_PRIVATE_H
#define QXXML_QXXML_PRIVATE_H

#include <atomic>

#include "common/qx_select_wait_private.h"
#include "common/qxcommon.h"
#include "qxxml/qxxml.h"

/* Result handed up from a network wait that found its slot closed: the
 * worker abandons the transaction, delivers nothing and ends. */
#define QXXML_STOPPED (-2)

/* One connection slot. Fields the watcher or a network wait read without the
 * slot's lock are atomic; everything else is guarded by the slot's lock. */
struct qxxml_slot {
  char ip[16];
  char host[QXXML_HOST_MAX];
  int port;
  std::atomic<int> state; /* 0 free, -1 starting, 1 running; also the stop mark of network waits */
  int values_done;        /* -1 never requested, 0 pending, 1 finished */
  int setup_done;
  int values_load_done;
  int setup_load_done;
  int post_done;
  int snmp_done;
  char snmp_ip[16];
  int snmp_port;
  int snmp_request;
  int values_len;
  int setup_len;
  char values_buf[QXXML_DOC_MAX];
  char setup_buf[QXXML_DOC_MAX];
  char post_buf[QXXML_DOC_MAX];
  /* How the last document of each kind arrived (qxxml_get_doc_quality);
   * the worker zeroes them as it starts and publishes each on completion. */
  qxxml_doc_quality values_quality;
  qxxml_doc_quality setup_quality;
  qx_sem_t wake_sem;
  qx_sem_t wait_sem;
  std::atomic<int> wait_deadline;
  std::atomic<int> waiting;
  void *owner;
  qxxml_settings settings;
};

/* Everything the library keeps per slot index 0..99. */
struct qxxml_slot_storage {
  qxxml_slot slot;
  qx_error_record error;
  qx_thread_mutex_t lock;
  qx_thread_t thread;
  qx_socket_t socket;
  qxxml_values *values; /* parsed records: allocated by the parser on first use, freed at close */
  qxxml_values_counts *values_counts;
  qxxml_setup *setup;
  qxxml_setup_counts *setup_counts;
  /* -1 for a single-device slot, else the number of modules. Written by
   * qxxml_add_module and the open and close, which callers keep apart
   * from passes; a pass reads it anew for every module. */
  int module_count;
  qxxml_module *modules[QXXML_MODULES_MAX]; /* the first module_count are allocated */
  /* The worker created wake_sem (a start that failed early did not). Atomic:
   * a close that finds it 0 relies on the worker seeing state 0 instead. */
  std::atomic<int> wake_sem_ready;
  int release_pending;          /* a close timed out: release once the old worker has ended */
  long long transaction_end_ms; /* worker only: when the current transaction's time runs out (steady clock) */
  /* Worker only: how the document of the action in progress arrives. The
   * receive notes a silent end, the parse its first fatal error; the
   * completion (qxxml_stamp) publishes it as the slot's quality of its kind. */
  qxxml_doc_quality arriving;
};

extern qxxml_slot_storage qxxml_slots[QXXML_ID_COUNT_MAX];

/* What a library thread being started runs. */
enum { QXXML_THREAD_WATCHER = 0, QXXML_THREAD_WORKER = 1, QXXML_THREAD_MANY_WORKER = 2 };

/* Library-wide state, one per process. next_slot and thread_kind reach a new
 * thread while it holds the start_sem token, so they need no lock. */
struct qxxml_library {
  int ref_count = -1;  /* -1 not initialised, 0 initialised, n > 0 further qxxml_init calls outstanding */
  int next_slot = 1;   /* the slot the next open takes */
  int thread_kind = 0; /* what a starting thread runs: QXXML_THREAD_WATCHER, _WORKER or _MANY_WORKER */
  qx_sem_t start_sem;
  std::atomic<int> watcher_stop{0};
};

extern qxxml_library qxxml_lib;

/* Records "Thread not run" on a slot that is not running, or "ID >=
 * QXXML_ID_COUNT_MAX" on slot 0 for an index outside the table; true then. */
bool qxxml_refuse_not_running(int slot);
/* True when slot may be handed to a new open: it is free and no thread of an
 * earlier open that failed to close in time still runs on its buffers. */
bool qxxml_slot_is_free(int slot);
/* Releases what a closed slot holds once its worker has ended. */
void qxxml_release_slot(int slot);
/* Takes the next free slot and starts a thread of thread_kind on it: the
 * shared steps of qxxml_open and qxxml_open_many. module_count is -1 for a
 * single-device slot, 0 for a multi-device one. */
int qxxml_open_slot(int thread_kind, const char *host, int port, const qxxml_settings *settings, void *owner,
                    int module_count);

/* Module list. qxxml_module_at is the module of a multi-device slot's
 * index, or null for an index outside 0..count-1 (checked before the
 * table is read) or a single-device slot. */
qxxml_module *qxxml_module_at(int slot, int module);
/* Frees a slot's module records in order up to the first empty pointer. */
void qxxml_free_modules(int slot);
/* The credentials a transaction of the module (-1: the slot itself) uses. */
const qxxml_settings *qxxml_credentials(int slot, int module);
/* Refuses with QX_ERR_ID_TOO_LARGE on slot 0 a slot index outside 1..99
 * and with QX_ERR_ID_NOT_FOUND a single-device slot; true then. */
bool qxxml_refuse_not_many(int slot);

/* Errors: the single place where qxxml records a failure; any thread.
 * qxxml_set_error records a failure that no system call reported (a refused
 * argument, a protocol fault, a time-out of the library's own): sys_errno 0
 * and sys_text empty. qxxml_set_error_errno records the failure of a system
 * call with the error number it left, saved right after the call because
 * any later call may change errno. */
void qxxml_set_error(int slot, int code);
void qxxml_set_error_errno(int slot, int code, int sys_errno);
void qxxml_copy_error(int slot, qx_error_record *destination, const qx_error_record *source);

/* Per-slot wrappers of the runtime primitives; each records its code on the
 * slot given and returns -1 on failure. */
int qxxml_lock_init(int slot);
int qxxml_lock(int slot);
int qxxml_unlock(int slot);
int qxxml_sem_create(qx_sem_t *semaphore);
int qxxml_sem_post(int slot, qx_sem_t *semaphore);
int qxxml_sem_wait(int slot, qx_sem_t *semaphore);
void qxxml_sem_destroy(qx_sem_t *semaphore);
int qxxml_thread_start(int slot, void (*entry)(void));
int qxxml_thread_join(int slot);
void qxxml_thread_detach(int slot);

/* Document model. The caller holds slot 0's lock around every parse. */
int qxxml_parse_document(int slot, char *text, int length, int kind);

/* Worker side. */
void qxxml_thread_entry(void);
/* First steps of every worker while it holds the start token: reserve the
 * next slot and create wake_sem; -1 (recorded on slot 0) ends the thread. */
int qxxml_worker_begin(int slot);
/* Marks the slot running and wakes a waiter of its start. */
void qxxml_worker_running(int slot);
/* The multi-device worker: one pass over the modules per request. */
void qxxml_many_worker(void);
/* Writes length bytes of text to the named file in text mode; 0, or -1
 * after recording QX_ERR_FILE_OPEN, _WRITE or _CLOSE on the slot. */
int qxxml_write_file(int slot, const char *file_name, const char *text, int length);
enum qxxml_kind { QXXML_KIND_VALUES, QXXML_KIND_SETUP, QXXML_KIND_POST };
/* Completes the slot's record of the kind: stamps it with the time of
 * completion and publishes how its document arrived as the slot's quality
 * of that kind (a post's reply is a setup). It runs before the marking
 * wakes a waiter and before the delivery, who may read both at once. */
void qxxml_stamp(int slot, qxxml_kind kind);
/* Delivers the kind's callback; for a module (index other than -1) it
 * first stamps the module's record copy of the kind with the time. */
void qxxml_deliver(int slot, int module, qxxml_kind kind, int failed);
void qxxml_mark_done(int slot, qxxml_kind kind, int snmp_flag);
/* Called by qxxml_close_for_callback on a worker thread: the slot is gone. */
void qxxml_abandon_worker(void);
/* True once qxxml_close_for_callback ran on the calling worker thread: the
 * worker must then return at once without touching its slot. */
bool qxxml_worker_abandoned(void);

/* Setup transfer: filters a caller's document and formats the POST request
 * with the settings' post credentials into post_buf. */
int qxxml_prepare_post(int slot, const char *document, int length, const qxxml_settings *settings, char *post_buf);
/* Refreshes the SNMP manager cache from the parsed setup. */
void qxxml_refresh_snmp_cache(int slot);

/* HTTP exchange, on the slot's worker thread. Each returns 0, -1 after
 * recording its failure, or QXXML_STOPPED when the slot was closed.
 * A transaction (a download or a post: connect, send and receive) has an
 * overall deadline besides the phases' own waits; when it passes, the
 * transaction fails with QX_ERR_TIMEOUT. qxxml_begin_transaction starts its
 * clock: the get and post transactions start it themselves, the caller of a
 * lone qxxml_connect starts it first. */
void qxxml_begin_transaction(int slot);
/* Sets the length of that deadline in ms for every later transaction and
 * returns the one before; for tests, which cannot wait out the 30 s. */
int qxxml_set_transaction_limit_ms(int ms);
/* Sets how many one-second waits in a row without data end a reply (10)
 * for every later receive and returns the one before; for tests, which
 * would otherwise sit out ten seconds per silent device. */
int qxxml_set_silence_waits(int waits);
int qxxml_connect(int slot, int module, char *ip16, const char *host, int port);
int qxxml_send(int slot, const char *text, int length);
int qxxml_receive(int slot, char *body, int *length);
/* Scans a gathered reply header: the body position once its blank line has
 * arrived, 0 before, -1 after recording a refusing status. */
int qxxml_read_reply_header(int slot, const char *header, int length);
void qxxml_close_socket(int slot);
int qxxml_get_transaction(int slot, char *ip16, const char *host, int port, char *body, int *length, int kind,
                          int module);
int qxxml_post_transaction(int slot, int module, char *ip16, const char *host, int port, const char *request,
                           char *reply, int *length);

#endif
