/* The key tables and the list table, generated from the document tables of
 * qxxml_records.h. */
#include "qxxml/qxxml_records.h"

#define QXXML_KEY_FIELD(record, prefix, name, bytes) \
  {"Root_" #name, prefix##name, bytes, 1, -1, offsetof(record, name)},
#define QXXML_KEY_ENTRY(record, prefix, list, leaf, bytes)            \
  {"Root_" #list "_Entry_" #leaf, prefix##list##_Entry_##leaf, bytes, \
   QXXML_CAPACITY_##list,         QXXML_LIST_##list,           offsetof(record, list##_Entry_##leaf)},

#define QXXML_VALUES_FIELD(name, bytes) QXXML_KEY_FIELD(qxxml_values, QXXML_VALUES_ID_, name, bytes)
#define QXXML_VALUES_ENTRY(list, leaf, bytes) QXXML_KEY_ENTRY(qxxml_values, QXXML_VALUES_ID_, list, leaf, bytes)
const qxxml_key qxxml_values_keys[QXXML_VALUES_KEY_COUNT] = {QXXML_VALUES_KEYS(QXXML_VALUES_FIELD, QXXML_VALUES_ENTRY)};

#define QXXML_SETUP_FIELD(name, bytes) QXXML_KEY_FIELD(qxxml_setup, QXXML_SETUP_ID_, name, bytes)
#define QXXML_SETUP_ENTRY(list, leaf, bytes) QXXML_KEY_ENTRY(qxxml_setup, QXXML_SETUP_ID_, list, leaf, bytes)
const qxxml_key qxxml_setup_keys[QXXML_SETUP_KEY_COUNT] = {QXXML_SETUP_KEYS(QXXML_SETUP_FIELD, QXXML_SETUP_ENTRY)};

#define QXXML_LIST_ROW(list, capacity) \
  {#list, "Root_" #list "_Entry", capacity, offsetof(qxxml_setup_counts, list##_count)},
const qxxml_list_info qxxml_lists[QXXML_LIST_COUNT] = {QXXML_SETUP_LISTS(QXXML_LIST_ROW)};
