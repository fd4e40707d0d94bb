// Test support of the document model: one slot's parsed records, used the
// way the worker uses them, and released after each case.
#ifndef TESTS_QXXML_DOCMODEL_SLOT_H
#define TESTS_QXXML_DOCMODEL_SLOT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_private.h"

inline int last_code(int slot) {
  qx_error_record record;
  qxxml_error(slot, &record);
  return record.code;
}

inline std::string read_fixture(const char *name) {
  std::ifstream file(std::string(QX_FIXTURES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(file) << name;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class SlotRecords : public ::testing::Test {
 public:
  static constexpr int kSlot = 7;

 protected:
  void SetUp() override {
    release();
    std::memset(&callbacks(), 0, sizeof(qxxml_callbacks));
    qxxml_slots[kSlot].slot.owner = this;
    qxxml_set_error(kSlot, QX_ERR_NONE);
    qxxml_set_error(0, QX_ERR_NONE);
  }
  void TearDown() override {
    std::memset(&callbacks(), 0, sizeof(qxxml_callbacks));
    release();
  }
  static void release() {
    qxxml_slot_storage &s = qxxml_slots[kSlot];
    std::free(s.values);
    std::free(s.values_counts);
    std::free(s.setup);
    std::free(s.setup_counts);
    s.values = nullptr;
    s.values_counts = nullptr;
    s.setup = nullptr;
    s.setup_counts = nullptr;
  }
  static qxxml_callbacks &callbacks() { return qxxml_slots[kSlot].slot.settings.callbacks; }

  // Parses doc on the slot; text keeps what the parser handed back.
  int parse(const std::string &doc, int kind) {
    text.assign(doc.begin(), doc.end());
    return qxxml_parse_document(kSlot, text.data(), static_cast<int>(text.size()), kind);
  }
  qxxml_values &values() { return *qxxml_slots[kSlot].values; }
  qxxml_values_counts &values_counts() { return *qxxml_slots[kSlot].values_counts; }
  qxxml_setup &setup() { return *qxxml_slots[kSlot].setup; }
  qxxml_setup_counts &setup_counts() { return *qxxml_slots[kSlot].setup_counts; }

  std::vector<char> text;
};

#endif
