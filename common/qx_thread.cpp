#include "common/qx_thread.h"

#include <cerrno>
#include <ctime>
#include <new>

namespace {

// A join gives a thread this long to end before its caller decides what to
// do with a thread that hangs.
const long kJoinLimitMs = 3000;

int result(int platform_result) { return platform_result == 0 ? 0 : -1; }

// pthread hands one pointer to a new thread; it carries the argument-less entry.
struct StartBlock {
  void (*entry)(void);
};

void *run_entry(void *argument) {
  void (*entry)(void) = static_cast<StartBlock *>(argument)->entry;
  delete static_cast<StartBlock *>(argument);
  entry();
  return nullptr;
}

timespec deadline_after_ms(long ms) {
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);  // pthread_timedjoin_np measures on this clock
  deadline.tv_sec += ms / 1000;
  deadline.tv_nsec += (ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  return deadline;
}

}  // namespace

int qx_thread_mutex_init(qx_thread_mutex_t *m) {
  if (m == nullptr) return -1;
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) return -1;
  int rc = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  if (rc == 0) rc = pthread_mutex_init(&m->mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
  return result(rc);
}

int qx_thread_mutex_lock(qx_thread_mutex_t *m) { return m == nullptr ? -1 : result(pthread_mutex_lock(&m->mutex)); }

int qx_thread_mutex_unlock(qx_thread_mutex_t *m) { return m == nullptr ? -1 : result(pthread_mutex_unlock(&m->mutex)); }

void qx_thread_mutex_destroy(qx_thread_mutex_t *m) {
  if (m != nullptr) pthread_mutex_destroy(&m->mutex);
}

int qx_sem_init(qx_sem_t *s) {
  if (s == nullptr || pthread_mutex_init(&s->mutex, nullptr) != 0) return -1;
  if (pthread_cond_init(&s->posted, nullptr) != 0) {
    pthread_mutex_destroy(&s->mutex);
    return -1;
  }
  s->count = 0;
  s->waiters = 0;
  return 0;
}

int qx_sem_post(qx_sem_t *s) {
  if (s == nullptr || pthread_mutex_lock(&s->mutex) != 0) return -1;
  int rc = -1;
  if (s->count == 0) {
    s->count = 1;
    rc = result(pthread_cond_signal(&s->posted));
  }
  pthread_mutex_unlock(&s->mutex);
  return rc;
}

int qx_sem_wait(qx_sem_t *s) {
  if (s == nullptr || pthread_mutex_lock(&s->mutex) != 0) return -1;
  int rc = 0;
  s->waiters += 1;
  while (s->count == 0 && rc == 0) rc = pthread_cond_wait(&s->posted, &s->mutex);
  s->waiters -= 1;
  if (rc == 0) s->count = 0;
  pthread_mutex_unlock(&s->mutex);
  return result(rc);
}

int qx_sem_destroy(qx_sem_t *s) {
  // Destroying a condition that a thread still waits on is undefined, so a
  // semaphore with waiters is refused and left usable.
  if (s == nullptr || pthread_mutex_lock(&s->mutex) != 0) return 0;
  const bool in_use = s->waiters > 0;
  pthread_mutex_unlock(&s->mutex);
  if (in_use) return 0;
  pthread_cond_destroy(&s->posted);
  return pthread_mutex_destroy(&s->mutex) == 0 ? 1 : 0;
}

qx_thread_t qx_thread_start(void (*entry)(void)) {
  qx_thread_t thread{};
  if (entry == nullptr) return thread;
  StartBlock *block = new (std::nothrow) StartBlock{entry};
  if (block == nullptr) return thread;
  if (pthread_create(&thread.id, nullptr, run_entry, block) != 0) {
    delete block;
    return thread;
  }
  thread.valid = 1;
  return thread;
}

int qx_thread_check(const qx_thread_t *t) { return t != nullptr && t->valid ? 0 : -1; }

int qx_thread_join(qx_thread_t *t) {
  if (qx_thread_check(t) != 0) return -1;
  const timespec deadline = deadline_after_ms(kJoinLimitMs);
  if (pthread_timedjoin_np(t->id, nullptr, &deadline) != 0) return -1;
  t->valid = 0;
  return 0;
}

int qx_thread_detach(qx_thread_t *t) {
  if (qx_thread_check(t) == 0) {
    pthread_detach(t->id);
    t->valid = 0;
  }
  return 0;
}

void qx_sleep_ms(int ms) {
  if (ms <= 0) return;
  timespec remaining{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

int qx_time_seconds(void) { return static_cast<int>(time(nullptr)); }
