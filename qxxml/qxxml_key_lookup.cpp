/* Path tables: every split of every table path into element names becomes a
 * step (state, name) → state in one open-addressing hash table, so that a
 * start element costs one hash of its name and one comparison. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "qxxml/qxxml_keys_private.h"
#include "qxxml/qxxml_records.h"

namespace {

/* One step: the element name is a piece of the target's table path. Steps
 * and slots are kept small, 16 and 2 bytes, so that a setup table's hot part
 * stays in the first-level cache beside libxml2's own data. */
struct path_step {
  const char *name;
  uint16_t from;
  uint16_t to;
  uint16_t length;
};

/* A slot holds its step's index + 1; at least half the slots stay empty, so
 * every probe ends. */
constexpr uint16_t kEmptySlot = 0;
/* States, steps and the names of steps are counted in 16 bits. */
constexpr size_t kCountMax = UINT16_MAX;

/* Hashes only the state, the length and three bytes of the name: element
 * names are short and differ there, and a step found by the hash is still
 * compared whole. A start element then costs no loop over its name. */
uint32_t step_hash(int from, const char *name, size_t length) {
  uint32_t hash = static_cast<uint32_t>(from) * 2654435761u;
  hash ^= static_cast<uint32_t>(length) * 2246822519u;
  if (length > 0) {
    hash ^= static_cast<uint32_t>(static_cast<unsigned char>(name[0])) * 3266489917u;
    hash ^= static_cast<uint32_t>(static_cast<unsigned char>(name[length / 2])) * 668265263u;
    hash ^= static_cast<uint32_t>(static_cast<unsigned char>(name[length - 1])) * 374761393u;
  }
  return hash ^ (hash >> 15);
}

/* Where a path's parts end: the end of each part but the last one is a
 * '_' and the end of the last one is the path's end. An empty first part
 * (a path beginning with '_') has no state of its own. */
int part_ends(const char *path, size_t *ends) {
  int count = 0;
  const size_t length = strlen(path);
  for (size_t i = 1; i < length; i++)
    if (path[i] == '_') {
      if (count == QXXML_PATH_PARTS_MAX) return -1;
      ends[count++] = i;
    }
  if (count == QXXML_PATH_PARTS_MAX) return -1;
  ends[count++] = length;
  return count;
}

}  // namespace

struct qxxml_path_table {
  int state_count;
  int *rows; /* per state */
  int step_count;
  path_step *steps;
  uint32_t slot_mask;
  uint16_t *slots; /* step index + 1, or kEmptySlot */
};

namespace {

int find_step(const qxxml_path_table *t, int from, const char *name, size_t length, uint32_t *free_slot) {
  for (uint32_t i = step_hash(from, name, length) & t->slot_mask;; i = (i + 1) & t->slot_mask) {
    const uint16_t slot = t->slots[i];
    if (slot == kEmptySlot) {
      if (free_slot) *free_slot = i;
      return QXXML_PATH_NONE;
    }
    const path_step &s = t->steps[slot - 1];
    if (s.from == from && s.length == length && memcmp(s.name, name, length) == 0) return s.to;
  }
}

/* The state reached from from by the name, added with a new state when no
 * such step exists yet (to_known: an existing state it must lead to). */
int add_step(qxxml_path_table *t, int from, const char *name, size_t length, int to_known) {
  uint32_t free_slot = 0;
  const int found = find_step(t, from, name, length, &free_slot);
  if (found != QXXML_PATH_NONE) return found;
  int to = to_known;
  if (to == QXXML_PATH_NONE) {
    to = t->state_count++;
    t->rows[to] = -1;
  }
  t->steps[t->step_count] =
      path_step{name, static_cast<uint16_t>(from), static_cast<uint16_t>(to), static_cast<uint16_t>(length)};
  t->slots[free_slot] = static_cast<uint16_t>(++t->step_count);
  return to;
}

/* Adds the states of every part end of path and the steps between any two
 * of them; the state of the whole path gets row unless an earlier row has
 * the same path. */
void add_path(qxxml_path_table *t, const char *path, const size_t *ends, int count, int row) {
  int states[QXXML_PATH_PARTS_MAX];
  for (int j = 0; j < count; j++) {
    /* From the empty path the name is the whole prefix: no '_' before it. */
    states[j] = add_step(t, QXXML_PATH_ROOT, path, ends[j], QXXML_PATH_NONE);
    for (int i = 0; i < j; i++) {
      const size_t start = ends[i] + 1;
      if (ends[j] > start) add_step(t, states[i], path + start, ends[j] - start, states[j]);
    }
  }
  if (t->rows[states[count - 1]] < 0) t->rows[states[count - 1]] = row;
}

qxxml_path_table *build_document_paths(const qxxml_key *keys, int key_count, int list_count) {
  const char *paths[QXXML_SETUP_KEY_COUNT + QXXML_LIST_COUNT];
  int count = 0;
  for (int i = 0; i < key_count; i++) paths[count++] = keys[i].key;
  for (int i = 0; i < list_count; i++) paths[count++] = qxxml_lists[i].entry_path;
  return qxxml_path_table_create(paths, count);
}

}  // namespace

qxxml_path_table *qxxml_path_table_create(const char *const *paths, int count) {
  /* A path of n parts adds at most n states and n(n + 1)/2 steps. */
  size_t ends[QXXML_PATH_PARTS_MAX];
  size_t state_max = 1;
  size_t step_max = 0;
  for (int r = 0; r < count; r++) {
    const int parts = part_ends(paths[r], ends);
    if (parts < 0 || ends[parts - 1] > kCountMax) return nullptr;
    state_max += static_cast<size_t>(parts);
    step_max += static_cast<size_t>(parts) * static_cast<size_t>(parts + 1) / 2;
  }
  if (state_max > kCountMax || step_max > kCountMax) return nullptr;
  size_t slot_count = 2;
  while (slot_count < 2 * step_max) slot_count *= 2;

  qxxml_path_table *t = static_cast<qxxml_path_table *>(calloc(1, sizeof *t));
  if (!t) return nullptr;
  t->rows = static_cast<int *>(malloc(state_max * sizeof *t->rows));
  t->steps = static_cast<path_step *>(malloc((step_max ? step_max : 1) * sizeof *t->steps));
  t->slots = static_cast<uint16_t *>(calloc(slot_count, sizeof *t->slots));
  if (!t->rows || !t->steps || !t->slots) {
    qxxml_path_table_free(t);
    return nullptr;
  }
  t->slot_mask = static_cast<uint32_t>(slot_count - 1);
  t->state_count = 1;
  t->rows[QXXML_PATH_ROOT] = -1;
  for (int r = 0; r < count; r++) {
    const int parts = part_ends(paths[r], ends);
    if (parts > 0 && ends[parts - 1] > 0) add_path(t, paths[r], ends, parts, r);
  }
  return t;
}

void qxxml_path_table_free(qxxml_path_table *table) {
  if (!table) return;
  free(table->rows);
  free(table->steps);
  free(table->slots);
  free(table);
}

int qxxml_path_step(const qxxml_path_table *table, int state, const char *name, size_t length) {
  if (state == QXXML_PATH_NONE || length > kCountMax) return QXXML_PATH_NONE;
  return find_step(table, state, name, length, nullptr);
}

int qxxml_path_row(const qxxml_path_table *table, int state) {
  return state == QXXML_PATH_NONE ? -1 : table->rows[state];
}

const qxxml_path_table *qxxml_document_paths(int kind) {
  static const qxxml_path_table *const values =
      build_document_paths(qxxml_values_keys, QXXML_VALUES_KEY_COUNT, QXXML_VALUES_LIST_COUNT);
  static const qxxml_path_table *const setup =
      build_document_paths(qxxml_setup_keys, QXXML_SETUP_KEY_COUNT, QXXML_LIST_COUNT);
  if (kind == QXXML_DOC_VALUES) return values;
  if (kind == QXXML_DOC_SETUP) return setup;
  return nullptr;
}
