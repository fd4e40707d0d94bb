// The setup update filter: where moved Idx elements land when entries nest
// or repeat them, how they count towards the size of the body, and that a
// filtering leaves nothing behind for the next one, on this thread or on
// several at once.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "docmodel_slot.h"

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
constexpr size_t kSpare = 1024;
/* A filtered body holds at most this many characters before the declaration
 * is added. */
constexpr size_t kBodyMax = QXXML_DOC_MAX - 1;

struct Filtered {
  int result;
  std::string text;
  bool operator==(const Filtered &other) const { return result == other.result && text == other.text; }
};

std::ostream &operator<<(std::ostream &os, const Filtered &f) { return os << f.result << " \"" << f.text << "\""; }

Filtered filter(int slot, const std::string &doc) {
  std::vector<char> buffer(doc.begin(), doc.end());
  buffer.resize(doc.size() + kSpare, '\0');
  Filtered f;
  f.result = qxxml_filter_setup_update(slot, buffer.data(), static_cast<int>(buffer.size()));
  f.text.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
  return f;
}

struct PlacementCase {
  const char *name;
  std::string input;
  std::string expected;  // after the declaration line
};

void PrintTo(const PlacementCase &c, std::ostream *os) { *os << c.name; }

class FilterPlacement : public SlotRecords, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(FilterPlacement, PutsEveryIdxWhereItBelongs) {
  const PlacementCase &c = GetParam();
  const Filtered f = filter(kSlot, c.input);
  ASSERT_EQ(f.result, 0) << "code " << last_code(kSlot);
  EXPECT_EQ(f.text, kDeclaration + c.expected);
}

// An element's own text of n characters between its Idx and the rest, so
// that the body ends up exactly n + 33 characters long once the Idx moved.
std::string entry_with_text(size_t n) { return "<Root><E>" + std::string(n, 'x') + "<Idx>5</Idx></E></Root>"; }
constexpr size_t kMovedIdxOverhead = 33;

const PlacementCase kPlacementCases[] = {
    {"SeveralIdxOfOneElementKeepTheirOrder", "<Root><E><Idx>1</Idx><ID>5</ID><Idx>2</Idx></E></Root>",
     "<Root><E>\n<Idx>1</Idx>\n<Idx>2</Idx><ID>5</ID></E></Root>"},
    // The inner Idx belongs to the outer one, which is never written.
    {"IdxInsideAnIdxGoesWithIt", "<Root><E><Idx>1<Idx>2</Idx>3</Idx></E></Root>", "<Root><E>\n<Idx>1</Idx></E></Root>"},
    // Indexes are handed out in document order of their elements: once an
    // inner element has taken its Idx, its entry, which started before it,
    // gets none, and no later entry takes an index that is not its own.
    {"IdxOfAnInnerElementBeforeItsEntrysOwn", "<Root><E><S><Idx>1</Idx></S><Idx>2</Idx></E><E><Idx>3</Idx></E></Root>",
     "<Root><E><S>\n<Idx>1</Idx></S></E><E></E></Root>"},
    {"IdxOfARemovedBlockTakesNoPlace", "<Root><Agent><Idx>7</Idx></Agent><E><Idx>1</Idx></E></Root>",
     "<Root><E>\n<Idx>1</Idx></E></Root>"},
    {"IdxMovedAcrossLineFeedsFoldsThem", "<Root>\n\n<E>\n\n<ID>5</ID>\n\n<Idx>4</Idx>\n\n</E>\n\n</Root>",
     "<Root>\n<E>\n<Idx>4</Idx>\n<ID>5</ID>\n</E>\n</Root>"},
    {"BodyOfExactlyTheLimitWithAMovedIdx", entry_with_text(kBodyMax - kMovedIdxOverhead),
     "<Root><E>\n<Idx>5</Idx>" + std::string(kBodyMax - kMovedIdxOverhead, 'x') + "</E></Root>"},
};

INSTANTIATE_TEST_SUITE_P(Cases, FilterPlacement, ::testing::ValuesIn(kPlacementCases),
                         [](const ::testing::TestParamInfo<PlacementCase> &info) {
                           return std::string(info.param.name);
                         });

struct RefusalCase {
  const char *name;
  std::string input;
  int code;
};

void PrintTo(const RefusalCase &c, std::ostream *os) { *os << c.name; }

class FilterRefusal : public SlotRecords, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(FilterRefusal, RecordsTheCodeAndLeavesTheTextUnchanged) {
  const RefusalCase &c = GetParam();
  const Filtered f = filter(kSlot, c.input);
  EXPECT_EQ(f.result, -1);
  EXPECT_EQ(last_code(kSlot), c.code);
  EXPECT_EQ(f.text, c.input);
}

const RefusalCase kRefusalCases[] = {
    // The body fits without the moved Idx and not with it.
    {"MovedIdxMakesTheBodyOneTooLong", entry_with_text(kBodyMax - kMovedIdxOverhead + 1), QX_ERR_BUFFER_FULL},
    // An empty last Idx is reported before a body that would not fit.
    {"EmptyLastIdxBeforeABodyTooLong", "<Root><E>" + std::string(QXXML_DOC_MAX, 'x') + "</E><E><Idx></Idx></E></Root>",
     QX_ERR_POINTER_NULL},
};

INSTANTIATE_TEST_SUITE_P(Cases, FilterRefusal, ::testing::ValuesIn(kRefusalCases),
                         [](const ::testing::TestParamInfo<RefusalCase> &info) {
                           return std::string(info.param.name);
                         });

// Documents that end a filtering at every stage where it can stop.
const std::string kStoppingDocuments[] = {
    "<Root><E><Idx>1</Idx><ID>2</ID></E><Broken></Root>",
    "<Root>" + std::string(40, ' ') + "<E><Idx>" + std::string(100, '9') + "</Idx></E></Root>",
    "<Root><E><Idx>1</Idx></E><E><Idx></Idx></E></Root>",
    "<Root><E>" + std::string(QXXML_DOC_MAX, 'x') + "<Idx>1</Idx></E></Root>",
    entry_with_text(kBodyMax - kMovedIdxOverhead + 1),
};

const std::string kCalibration =
    "<Root><SenSet><Entry><ID>12</ID><Calib>0.5</Calib><Idx>3</Idx></Entry>\n<Entry><Idx>4</Idx></Entry></SenSet>"
    "<Agent><Idx>9</Idx></Agent></Root>";

// A thread of its own filters with a context that nothing used before.
Filtered filter_on_new_thread(int slot, const std::string &doc) {
  Filtered f;
  std::thread([&] { f = filter(slot, doc); }).join();
  return f;
}

TEST_F(FilterPlacement, FilteringAfterAnyStopGivesWhatAFreshFilteringGives) {
  const Filtered fresh = filter_on_new_thread(kSlot, kCalibration);
  ASSERT_EQ(fresh.result, 0);
  for (const std::string &stopping : kStoppingDocuments) {
    filter(kSlot, stopping);
    EXPECT_EQ(filter(kSlot, kCalibration), fresh) << "after " << stopping.substr(0, 60);
  }
}

// Threads that filter at the same time each get their own document back.
TEST_F(FilterPlacement, ThreadsFilteringAtOnceEachGetTheirOwnBody) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 50;
  std::vector<std::string> documents;
  std::vector<Filtered> expected;
  for (int t = 0; t < kThreads; t++) {
    const std::string index = std::to_string(100 + t);
    documents.push_back("<Root><SenSet><Entry><Name>" + std::string(200 * (t + 1), 'n') + "</Name><Idx>" + index +
                        "</Idx></Entry></SenSet></Root>");
    expected.push_back(filter_on_new_thread(kSlot, documents.back()));
    ASSERT_EQ(expected.back().result, 0);
  }
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; round++)
        if (!(filter(kSlot, documents[t]) == expected[t])) mismatches[t]++;
    });
  }
  for (std::thread &thread : threads) thread.join();
  for (int t = 0; t < kThreads; t++) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
