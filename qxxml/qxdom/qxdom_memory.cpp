// Allocation and the growable lists behind the public pointer lists.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "qxxml/qxdom/qxdom_private.h"

char qxdom_empty_text[1] = "";
char *qxdom_empty_attributes[2] = {nullptr, qxdom_empty_text};

namespace {

// Allocations still allowed before every one fails; negative: no limit.
std::atomic<long> allocations_left{-1};

bool allocation_refused() {
  long n = allocations_left.load(std::memory_order_relaxed);
  while (n > 0 && !allocations_left.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
  }
  return n == 0;
}

// Grows *cap (in elements) so that it holds at least need; false on overflow
// or when memory runs out, the block then unchanged.
template <typename T>
bool reserve(T **block, size_t *cap, size_t need) {
  if (need <= *cap) return true;
  size_t grown = *cap < 8 ? 8 : *cap;
  while (grown < need) {
    if (grown > SIZE_MAX / 2 / sizeof(T)) return false;
    grown *= 2;
  }
  T *moved = static_cast<T *>(qxdom_realloc(*block, grown * sizeof(T)));
  if (!moved) return false;
  *block = moved;
  *cap = grown;
  return true;
}

}  // namespace

void qxdom_fail_allocations_after(long n) { allocations_left.store(n, std::memory_order_relaxed); }

void *qxdom_malloc(size_t size) { return allocation_refused() ? nullptr : malloc(size ? size : 1); }

void *qxdom_realloc(void *block, size_t size) {
  return allocation_refused() ? nullptr : realloc(block, size ? size : 1);
}

char *qxdom_strdup(const char *text) {
  size_t n = strlen(text) + 1;
  char *copy = static_cast<char *>(qxdom_malloc(n));
  if (copy) memcpy(copy, text, n);
  return copy;
}

bool qxdom_list_append(qxdom_list *list, char *const *items, size_t n, char mark) {
  // Room for the items, the null and the marks pointer; the marks string
  // keeps room for its zero.
  if (!reserve(&list->items, &list->cap, list->used + n + 2)) return false;
  if (!reserve(&list->marks, &list->marks_cap, list->marks_used + 2)) return false;
  memcpy(list->items + list->used, items, n * sizeof(char *));
  list->used += n;
  if (mark) list->marks[list->marks_used++] = mark;
  list->marks[list->marks_used] = '\0';
  list->items[list->used] = nullptr;
  list->items[list->used + 1] = list->marks;
  return true;
}

void qxdom_list_free(qxdom_list *list) {
  free(list->items);
  free(list->marks);
  *list = qxdom_list{};
}

qxdom_list *qxdom_set_list(qxdom_set *set, const char *name, bool create) {
  for (size_t i = 0; i < set->count; i++) {
    if (strcmp(set->lists[i].items[0], name) == 0) return &set->lists[i];
  }
  if (!create) return nullptr;
  // The view needs one slot more than the lists, for its null.
  if (!reserve(&set->lists, &set->cap, set->count + 1)) return nullptr;
  if (!reserve(&set->view, &set->view_cap, set->count + 2)) return nullptr;
  qxdom_list *list = &set->lists[set->count];
  *list = qxdom_list{};
  char *head = const_cast<char *>(name);
  if (!qxdom_list_append(list, &head, 1, 0)) {
    qxdom_list_free(list);
    return nullptr;
  }
  set->view[set->count++] = list->items;
  set->view[set->count] = nullptr;
  return list;
}

void qxdom_set_sync(qxdom_set *set, const qxdom_list *list) { set->view[list - set->lists] = list->items; }

void qxdom_set_free(qxdom_set *set) {
  for (size_t i = 0; i < set->count; i++) qxdom_list_free(&set->lists[i]);
  free(set->lists);
  free(set->view);
  *set = qxdom_set{};
}

size_t qxdom_attribute_count(char *const *attributes) {
  size_t n = 0;
  while (attributes[2 * n]) n++;
  return n;
}

char **qxdom_attributes_build(char *const *pairs, const char *marks, size_t n) {
  if (n == 0) return qxdom_empty_attributes;
  // Pointers: the pairs, the null and the marks pointer; then the marks.
  size_t pointers = 2 * n + 2;
  char **list = static_cast<char **>(qxdom_malloc(pointers * sizeof(char *) + n + 1));
  if (!list) return nullptr;
  char *list_marks = reinterpret_cast<char *>(list + pointers);
  memcpy(list, pairs, 2 * n * sizeof(char *));
  memcpy(list_marks, marks, n);
  list_marks[n] = '\0';
  list[2 * n] = nullptr;
  list[2 * n + 1] = list_marks;
  return list;
}
