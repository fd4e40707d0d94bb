// Path tables: every way of splitting a table path into element names leads
// to its row, and nothing else does.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "qxxml/qxxml_keys_private.h"
#include "qxxml/qxxml_records.h"

namespace {

// The state after opening the elements of names in turn.
int walk(const qxxml_path_table *table, const std::vector<std::string> &names) {
  int state = QXXML_PATH_ROOT;
  for (const std::string &name : names) state = qxxml_path_step(table, state, name.data(), name.size());
  return state;
}

// Every split of path into names at its '_' separators: 2^(separators).
std::vector<std::vector<std::string>> splits(const std::string &path) {
  std::vector<size_t> separators;
  for (size_t i = 1; i < path.size(); i++)
    if (path[i] == '_') separators.push_back(i);
  std::vector<std::vector<std::string>> out;
  for (unsigned mask = 0; mask < (1u << separators.size()); mask++) {
    std::vector<std::string> names;
    size_t start = 0;
    for (size_t k = 0; k < separators.size(); k++) {
      if (!(mask & (1u << k))) continue;
      names.push_back(path.substr(start, separators[k] - start));
      start = separators[k] + 1;
    }
    names.push_back(path.substr(start));
    out.push_back(names);
  }
  return out;
}

struct KindCase {
  const char *name;
  int kind;
  const qxxml_key *keys;
  int key_count;
  int list_count;
};
void PrintTo(const KindCase &c, std::ostream *os) { *os << c.name; }

class DocumentPaths : public ::testing::TestWithParam<KindCase> {};

TEST_P(DocumentPaths, EverySplitOfAKeyOrEntryPathReachesItsRow) {
  const KindCase &c = GetParam();
  const qxxml_path_table *table = qxxml_document_paths(c.kind);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table, qxxml_document_paths(c.kind)) << "built once";
  std::vector<std::string> paths;
  for (int i = 0; i < c.key_count; i++) paths.push_back(c.keys[i].key);
  for (int i = 0; i < c.list_count; i++) paths.push_back(qxxml_lists[i].entry_path);
  for (size_t row = 0; row < paths.size(); row++)
    for (const std::vector<std::string> &names : splits(paths[row]))
      EXPECT_EQ(qxxml_path_row(table, walk(table, names)), static_cast<int>(row)) << paths[row];
}

TEST_P(DocumentPaths, PrefixesHaveNoRowAndOtherPathsNoState) {
  const qxxml_path_table *table = qxxml_document_paths(GetParam().kind);
  ASSERT_NE(table, nullptr);
  const int agent = walk(table, {"Root", "Agent"});
  EXPECT_NE(agent, QXXML_PATH_NONE);
  EXPECT_EQ(qxxml_path_row(table, agent), -1);
  EXPECT_EQ(qxxml_path_row(table, QXXML_PATH_ROOT), -1);
  // A part of a name, a name with a part too many, another root.
  EXPECT_EQ(walk(table, {"Root", "Agen"}), QXXML_PATH_NONE);
  EXPECT_EQ(walk(table, {"Root", "Agent", "Model", "X"}), QXXML_PATH_NONE);
  EXPECT_EQ(walk(table, {"Root", "Agent", "Modelx"}), QXXML_PATH_NONE);
  EXPECT_EQ(walk(table, {"root", "Agent", "Model"}), QXXML_PATH_NONE);
  EXPECT_EQ(walk(table, {"Root", "Agent_"}), QXXML_PATH_NONE);
  EXPECT_EQ(qxxml_path_step(table, QXXML_PATH_NONE, "Root", 4), QXXML_PATH_NONE);
  EXPECT_EQ(qxxml_path_row(table, QXXML_PATH_NONE), -1);
}

// The values table counts the first three lists only.
TEST(DocumentPathsKinds, ValuesHaveNoEntryPathsOfSetupOnlyListsAndOtherKindsNoTable) {
  const qxxml_path_table *values = qxxml_document_paths(QXXML_DOC_VALUES);
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(walk(values, {"Root", "TempRangeSet", "Entry"}), QXXML_PATH_NONE);
  EXPECT_EQ(qxxml_document_paths(QXXML_DOC_SETUP + 1), nullptr);
}

const KindCase kKinds[] = {
    {"Values", QXXML_DOC_VALUES, qxxml_values_keys, QXXML_VALUES_KEY_COUNT, QXXML_VALUES_LIST_COUNT},
    {"Setup", QXXML_DOC_SETUP, qxxml_setup_keys, QXXML_SETUP_KEY_COUNT, QXXML_LIST_COUNT},
};

INSTANTIATE_TEST_SUITE_P(Kinds, DocumentPaths, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<KindCase> &info) { return std::string(info.param.name); });

// --- Tables of any paths -------------------------------------------------------

struct table_deleter {
  void operator()(qxxml_path_table *t) const { qxxml_path_table_free(t); }
};
using table_ptr = std::unique_ptr<qxxml_path_table, table_deleter>;

TEST(PathTable, APathListedTwiceKeepsItsFirstRowAndEmptyPartsAreSteps) {
  const char *const paths[] = {"A_B", "A__C", "_D", "A_B", "A"};
  table_ptr table(qxxml_path_table_create(paths, 5));
  ASSERT_TRUE(table);
  EXPECT_EQ(qxxml_path_row(table.get(), walk(table.get(), {"A", "B"})), 0);
  EXPECT_EQ(qxxml_path_row(table.get(), walk(table.get(), {"A", "_C"})), 1);
  EXPECT_EQ(qxxml_path_row(table.get(), walk(table.get(), {"A_", "C"})), 1);
  EXPECT_EQ(qxxml_path_row(table.get(), walk(table.get(), {"_D"})), 2);
  EXPECT_EQ(qxxml_path_row(table.get(), walk(table.get(), {"A"})), 4);
  EXPECT_EQ(walk(table.get(), {"A", "", "C"}), QXXML_PATH_NONE);
}

TEST(PathTable, RefusesPathsOfTooManyParts) {
  std::string deep = "P";
  for (int i = 1; i < QXXML_PATH_PARTS_MAX; i++) deep += "_P";
  const std::string deeper = deep + "_P";
  const char *fits[] = {deep.c_str()};
  const char *too_deep[] = {"A", deeper.c_str()};
  table_ptr table(qxxml_path_table_create(fits, 1));
  ASSERT_TRUE(table);
  EXPECT_EQ(qxxml_path_row(table.get(), walk(table.get(), std::vector<std::string>(QXXML_PATH_PARTS_MAX, "P"))), 0);
  EXPECT_FALSE(table_ptr(qxxml_path_table_create(too_deep, 2)));
}

TEST(PathTable, AnEmptyTableHasOnlyTheRoot) {
  table_ptr table(qxxml_path_table_create(nullptr, 0));
  ASSERT_TRUE(table);
  EXPECT_EQ(walk(table.get(), {"Root"}), QXXML_PATH_NONE);
  EXPECT_EQ(qxxml_path_row(table.get(), QXXML_PATH_ROOT), -1);
}

}  // namespace
