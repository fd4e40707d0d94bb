#ifndef QX_THREAD_H
#define QX_THREAD_H

#include <pthread.h>

#include "common/qx_export.h"

QX_BEGIN_DECLS

/* A lock the holding thread may take again; it must release it as often as
 * it took it. */
typedef struct qx_thread_mutex_t {
  pthread_mutex_t mutex;
} qx_thread_mutex_t;

/* Each returns 0, or -1 when the platform reports a failure. */
QX_EXPORT int qx_thread_mutex_init(qx_thread_mutex_t *m);
QX_EXPORT int qx_thread_mutex_lock(qx_thread_mutex_t *m);
QX_EXPORT int qx_thread_mutex_unlock(qx_thread_mutex_t *m);
QX_EXPORT void qx_thread_mutex_destroy(qx_thread_mutex_t *m);

/* Binary semaphore: count 0 after init, at most 1. */
typedef struct qx_sem_t {
  pthread_mutex_t mutex;
  pthread_cond_t posted;
  int count;   /* 0 or 1 */
  int waiters; /* threads inside qx_sem_wait; destroy refuses while any */
} qx_sem_t;

/* 0, or -1 when the semaphore cannot be created. */
QX_EXPORT int qx_sem_init(qx_sem_t *s);
/* Raises the count to 1; -1 when it already is 1 (a second wake-up is
 * dropped) or the post fails. */
QX_EXPORT int qx_sem_post(qx_sem_t *s);
/* Waits without time limit until the count is 1, then lowers it to 0;
 * -1 only when the wait itself fails. */
QX_EXPORT int qx_sem_wait(qx_sem_t *s);
/* Non-zero when the semaphore was destroyed, 0 otherwise (for example while
 * a thread still waits on it). */
QX_EXPORT int qx_sem_destroy(qx_sem_t *s);

/* Identifies a started thread until it is joined or detached. */
typedef struct qx_thread_t {
  pthread_t id;
  int valid; /* 1 while the handle exists */
} qx_thread_t;

/* Starts `entry` on a new thread with the default stack size; the returned
 * handle has `valid` 0 when the thread could not be started. */
QX_EXPORT qx_thread_t qx_thread_start(void (*entry)(void));
/* 0 when `t` holds a handle, -1 otherwise. */
QX_EXPORT int qx_thread_check(const qx_thread_t *t);
/* Waits at most 3000 ms for the thread to end. 0 and the handle released when
 * it ended; -1 and the handle kept when it still runs (or `t` holds none). */
QX_EXPORT int qx_thread_join(qx_thread_t *t);
/* Releases the handle without waiting; 0. */
QX_EXPORT int qx_thread_detach(qx_thread_t *t);

/* Sleeps at least `ms` milliseconds (none when `ms` <= 0). */
QX_EXPORT void qx_sleep_ms(int ms);
/* Wall-clock time in whole seconds since 1970-01-01 UTC. */
QX_EXPORT int qx_time_seconds(void);

QX_END_DECLS

#endif
