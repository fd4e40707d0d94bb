/* Library-internal lookup of element paths in a table of paths: the parser
 * finds the key of each element once, at its start, instead of comparing the
 * path with every key whenever text arrives.
 *
 * A path is the names of the open elements joined by '_' ("Root_SenSet_Entry").
 * Names may hold '_' themselves, so a table path is reached by every split of
 * it into names: "Root_Agent_Model" by Root, Agent, Model as well as by Root,
 * Agent_Model. A state stands for the path of the elements opened so far
 * while that path can still lead to a table path; the walk starts at
 * QXXML_PATH_ROOT, takes one step per start element and, since a state is
 * fixed by the open elements, returns to the previous state at each end
 * element. Once a step yields QXXML_PATH_NONE no element below it can reach a
 * table path either. */
#ifndef QXXML_QXXML_KEYS_PRIVATE_H
#define QXXML_QXXML_KEYS_PRIVATE_H

#include <stddef.h>

/* The state before any element, the empty path. */
#define QXXML_PATH_ROOT 0
/* No table path begins with the path walked. */
#define QXXML_PATH_NONE (-1)
/* Table paths have at most this many '_'-separated parts. Each step adds at
 * least one part, so a walk that still has a state is at most this many
 * elements deep. */
#define QXXML_PATH_PARTS_MAX 15

typedef struct qxxml_path_table qxxml_path_table;

/* Builds a table of count paths; row i is paths[i], and a path listed twice
 * keeps its first row. Null when memory runs out or a path has more than
 * QXXML_PATH_PARTS_MAX parts. The paths must outlive the table. */
qxxml_path_table *qxxml_path_table_create(const char *const *paths, int count);
void qxxml_path_table_free(qxxml_path_table *table);

/* The state after an element named name (length bytes, no '_' added) opens
 * below state; QXXML_PATH_NONE when no table path begins with the result, and
 * always from QXXML_PATH_NONE. */
int qxxml_path_step(const qxxml_path_table *table, int state, const char *name, size_t length);

/* The row whose path is exactly the path of state, or -1. */
int qxxml_path_row(const qxxml_path_table *table, int state);

/* The table of a document kind, built once at first use (safe from any
 * thread) and kept for the life of the program: rows 0 to the kind's key
 * count − 1 are its key table's rows, the next ones the entry paths of the
 * lists the kind counts, in qxxml_lists order. Null for another kind or when
 * memory ran out. */
const qxxml_path_table *qxxml_document_paths(int kind);

#endif
