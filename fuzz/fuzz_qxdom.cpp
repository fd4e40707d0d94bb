// Fuzz entry of the qxdom tree parser and the meter reader built on it. Any
// input must parse without a fault into a tree whose child chains keep their
// invariants, and the tree written back out must parse again into a tree
// that writes the same text. Read as a meter document, it must add no more
// entries than the record holds and leave the text as it was.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "qxxml/qxdom/qxdom.h"
#include "qxxml/qxxml_meter_private.h"

namespace {

// The chains of node's children: parents, offsets in order, each name group
// headed by the first child of that name and listing all of them in order.
void check_children(const qxdom_node *node) {
  uint32_t offset = 0;
  const qxdom_node *expected_head = node->first_child;
  for (const qxdom_node *child = node->first_child; child; child = child->order_next) {
    fuzz_check(child->parent == node, "parent link");
    fuzz_check(child->text_offset >= offset, "offsets in document order");
    offset = child->text_offset;
    const qxdom_node *head = qxdom_find_child(node, child->name);
    const qxdom_node *same = head;
    while (same && same != child) same = same->same_next;
    fuzz_check(same == child, "child reachable through its name group");
    bool first_of_name = head == child;
    fuzz_check(first_of_name || !child->group_next, "group link only on a group head");
    if (first_of_name) {
      fuzz_check(child == expected_head, "name groups in order of first appearance");
      expected_head = child->group_next;
    }
  }
  fuzz_check(expected_head == nullptr, "no extra name groups");
}

// Visits every node without recursion, so that deep inputs cannot exhaust the stack.
void check_tree(const qxdom_node *root) {
  const qxdom_node *node = root;
  while (node) {
    fuzz_check(node->text != nullptr && node->attributes != nullptr, "fields never null");
    for (char *const *pair = node->attributes; pair[0]; pair += 2) {
      const char *value = qxdom_attribute(node, pair[0]);
      fuzz_check(value != nullptr, "own attribute found");
    }
    check_children(node);
    if (node->first_child) {
      node = node->first_child;
      continue;
    }
    while (node && node != root && !node->order_next) node = node->parent;
    node = node && node != root ? node->order_next : nullptr;
  }
}

// Parses an exactly sized copy, so that a read past the input is caught.
qxdom_document *parse_copy(const char *data, size_t size, std::vector<char> &buffer) {
  buffer.assign(data, data + size);
  return qxdom_parse_memory(buffer.empty() ? nullptr : buffer.data(), buffer.size());
}

void check_meter_reader(const uint8_t *data, size_t size) {
  auto *record = static_cast<qxxml_values *>(calloc(1, sizeof(qxxml_values)));
  fuzz_check(record != nullptr, "record allocated");
  qxxml_values_counts counts{};
  memcpy(record->Agent_Model, "45", 3);
  std::vector<char> text(data, data + size);
  qxxml_read_meter_tree(record, &counts, text.data(), static_cast<int>(size));
  fuzz_check(size == 0 || memcmp(text.data(), data, size) == 0, "reader leaves its text unchanged");
  fuzz_check(counts.SenSet_count <= QXXML_SENSOR_MAX, "sensor entries within capacity");
  fuzz_check(counts.BinaryInSet_count <= QXXML_BINARY_IN_MAX, "input entries within capacity");
  fuzz_check(counts.BinaryOutSet_count == 0, "outputs untouched");
  free(record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<char> buffer;
  qxdom_document *doc = parse_copy(reinterpret_cast<const char *>(data), size, buffer);
  fuzz_check(doc != nullptr, "document allocated");
  fuzz_check(strlen(doc->error) < QXDOM_ERROR_MAX, "error text bounded");
  if (doc->node.name) check_tree(&doc->node);

  char *once = qxdom_serialize(&doc->node);
  fuzz_check(once != nullptr, "serialized");
  std::vector<char> again_buffer;
  qxdom_document *again = parse_copy(once, strlen(once), again_buffer);
  fuzz_check(again != nullptr, "serialized text parsed");
  fuzz_check(!doc->node.name || again->error[0] == '\0', "serialized tree parses without error");
  char *twice = qxdom_serialize(&again->node);
  fuzz_check(twice != nullptr && strcmp(once, twice) == 0, "serializing is stable");

  free(twice);
  free(once);
  qxdom_release(&again->node);
  qxdom_release(&doc->node);

  check_meter_reader(data, size);
  return 0;
}
