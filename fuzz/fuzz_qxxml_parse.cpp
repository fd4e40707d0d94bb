// Fuzz entry of the path-table parse of values and setup documents. The
// first byte picks the kind and whether the root carries the prefix that
// some devices write; the rest is the document. Any document must leave
// every text field of the record zero-terminated inside its room, and a
// setup record written out as a document must parse back into a record that
// writes the same document.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_private.h"

namespace {

const int kSlot = 7;
const int kEchoSlot = 8;  // parses the written setup document
enum : uint8_t { kSetupBit = 1, kPrefixBit = 2 };

const char kPlainRoot[] = "<Root";
const char *prefixed_root(int kind) { return kind == QXXML_DOC_VALUES ? "<val:Root" : "<set:Root"; }

void release(int slot) {
  qxxml_slot_storage &s = qxxml_slots[slot];
  free(s.values);
  free(s.values_counts);
  free(s.setup);
  free(s.setup_counts);
  s.values = nullptr;
  s.values_counts = nullptr;
  s.setup = nullptr;
  s.setup_counts = nullptr;
}

void check_fields(const void *record, const qxxml_key *keys, int key_count) {
  if (!record) return;
  for (int k = 0; k < key_count; k++) {
    for (int entry = 0; entry < keys[k].entries; entry++) {
      const char *field = qxxml_field(record, &keys[k], entry);
      fuzz_check(memchr(field, '\0', static_cast<size_t>(keys[k].bytes)) != nullptr, "field zero-terminated");
    }
  }
}

// Parses text on slot in an exactly sized buffer, so that a read past the
// document is caught.
int parse(int slot, const std::string &text, int kind) {
  std::vector<char> buffer(text.begin(), text.end());
  return qxxml_parse_document(slot, buffer.empty() ? nullptr : buffer.data(), static_cast<int>(buffer.size()), kind);
}

void check_setup_echo(const qxxml_slot_storage &s) {
  std::vector<char> once(QXXML_DOC_MAX);
  if (qxxml_write_setup_document(s.setup, s.setup_counts, once.data()) != 0) return;
  release(kEchoSlot);
  fuzz_check(parse(kEchoSlot, once.data(), QXXML_DOC_SETUP) == 0, "written setup parses");
  const qxxml_slot_storage &echo = qxxml_slots[kEchoSlot];
  std::vector<char> twice(QXXML_DOC_MAX);
  fuzz_check(qxxml_write_setup_document(echo.setup, echo.setup_counts, twice.data()) == 0, "echo written");
  fuzz_check(strcmp(once.data(), twice.data()) == 0, "setup written, parsed and written again is unchanged");
  release(kEchoSlot);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const int kind = (data[0] & kSetupBit) ? QXXML_DOC_SETUP : QXXML_DOC_VALUES;
  std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
  if (data[0] & kPrefixBit) {
    size_t root = text.find(kPlainRoot);
    if (root != std::string::npos) text.replace(root, sizeof kPlainRoot - 1, prefixed_root(kind));
  }

  release(kSlot);
  int r = parse(kSlot, text, kind);
  fuzz_check(r == 0 || r == -1, "parse result");
  const qxxml_slot_storage &s = qxxml_slots[kSlot];
  check_fields(s.values, qxxml_values_keys, QXXML_VALUES_KEY_COUNT);
  check_fields(s.setup, qxxml_setup_keys, QXXML_SETUP_KEY_COUNT);
  if (r == 0 && kind == QXXML_DOC_SETUP && s.setup) check_setup_echo(s);
  release(kSlot);
  return 0;
}
