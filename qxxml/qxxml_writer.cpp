/* Setup writer: turns a setup record and its counts back into a complete
 * setup.xml text. It mirrors the setup key table: one element per key, in
 * table order, nested as the key's path says, and the keys below an Entry
 * repeated once per entry the counts report. Texts are escaped: the parse
 * resolved the device's references, so a stored "&" or "</Name>" is
 * content, and written raw it would make the post malformed or close an
 * element early. */
#include <string.h>

#include "common/qx_xml_text.h"
#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_private.h"

namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
/* The deepest key, Root_SenSet_Entry_Dest_Snmp1, has three group elements
 * below Root; room to spare. */
constexpr int kDepthMax = 8;

struct name_view {
  const char *text;
  size_t length;
};

bool same_name(name_view a, name_view b) { return a.length == b.length && memcmp(a.text, b.text, a.length) == 0; }

/* Splits a key below "Root_" into its group elements and its leaf; returns
 * the number of groups. */
size_t split_path(const char *key, name_view *groups, name_view *leaf) {
  const char *p = key + strlen("Root_");
  size_t count = 0;
  for (const char *end = strchr(p, '_'); end && count < kDepthMax; end = strchr(p, '_')) {
    groups[count++] = {p, static_cast<size_t>(end - p)};
    p = end + 1;
  }
  *leaf = {p, strlen(p)};
  return count;
}

struct qxxml_writer {
  char *out;
  size_t length;
  bool full;                 /* the document would pass the buffer: nothing more is appended */
  name_view open[kDepthMax]; /* group elements open below Root, outermost first */
  size_t depth;

  void append(const char *text, size_t n) {
    /* One byte of the buffer stays for the terminating zero. */
    if (full || length + n >= QXXML_DOC_MAX) {
      full = true;
      return;
    }
    memcpy(out + length, text, n);
    length += n;
  }
  void append(const char *text) { append(text, strlen(text)); }
  void append_escaped(const char *text, size_t n) {
    if (full) return;
    const int written =
        qx_xml_escape(text, static_cast<int>(n), out + length, static_cast<int>(QXXML_DOC_MAX - length));
    if (written < 0)
      full = true;
    else
      length += static_cast<size_t>(written);
  }
  void tag(const char *opening, name_view name) {
    append(opening);
    append(name.text, name.length);
    append(">");
  }

  /* Closes the open groups that are not a prefix of groups, innermost first,
   * then opens the groups not yet open, each on a line of its own. */
  void enter(const name_view *groups, size_t count) {
    size_t common = 0;
    while (common < depth && common < count && same_name(open[common], groups[common])) common++;
    while (depth > common) tag("\n</", open[--depth]);
    while (depth < count) {
      open[depth] = groups[depth];
      tag("\n<", open[depth++]);
    }
  }

  /* Writes the element of row with the text of entry, inside its groups. */
  void leaf(const qxxml_setup *record, const qxxml_key *row, int entry) {
    name_view groups[kDepthMax];
    name_view name;
    enter(groups, split_path(row->key, groups, &name));
    /* The devices' documents leave one empty line before AlarmAction. */
    if (row->id == QXXML_SETUP_ID_BinaryInSet_AlarmAction) append("\n");
    const char *text = qxxml_field(record, row, entry);
    tag("\n<", name);
    /* strnlen: a caller's record whose field lacks its zero is written up to
     * the field's end, never past it. */
    append_escaped(text, strnlen(text, static_cast<size_t>(row->bytes)));
    tag("</", name);
  }
};

/* Writes the run of keys below the Entry of one list, starting at row first,
 * once per counted entry; returns the row after the run. */
int write_entries(qxxml_writer *w, const qxxml_setup *record, const qxxml_setup_counts *counts, int first) {
  const int list = qxxml_setup_keys[first].list;
  int end = first;
  while (end < QXXML_SETUP_KEY_COUNT && qxxml_setup_keys[end].list == list) end++;

  name_view groups[kDepthMax];
  name_view leaf;
  split_path(qxxml_setup_keys[first].key, groups, &leaf);
  w->enter(groups, 1); /* the list element, also when it has no entries */

  /* A count may exceed the capacity (the parser counts every Entry); only
   * the entries the arrays hold are written. */
  int entries = qxxml_list_count(counts, list);
  if (entries > qxxml_lists[list].capacity) entries = qxxml_lists[list].capacity;
  for (int entry = 0; entry < entries; entry++) {
    for (int row = first; row < end; row++) w->leaf(record, &qxxml_setup_keys[row], entry);
    w->enter(groups, 1);
  }
  return end;
}

}  // namespace

int qxxml_write_setup_document(const qxxml_setup *record, const qxxml_setup_counts *counts, char *out) {
  if (!record || !counts || !out) {
    qxxml_set_error(0, QX_ERR_POINTER_NULL);
    return -1;
  }
  qxxml_writer w = {};
  w.out = out;
  w.append(kDeclaration);
  w.append("\n<Root>");
  for (int row = 0; row < QXXML_SETUP_KEY_COUNT;) {
    if (qxxml_setup_keys[row].list >= 0) {
      row = write_entries(&w, record, counts, row);
    } else {
      w.leaf(record, &qxxml_setup_keys[row], 0);
      row++;
    }
  }
  w.enter(nullptr, 0);
  w.append("\n</Root>");
  /* A document that does not fit is refused whole: a cut one would post a
   * setup that silently lacks its tail. */
  if (w.full) {
    out[0] = '\0';
    qxxml_set_error(0, QX_ERR_BUFFER_FULL);
    return -1;
  }
  out[w.length] = '\0';
  return 0;
}
