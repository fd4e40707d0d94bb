// The tree parser on hostile input: entity expansion bombs, deep nesting,
// truncated documents and allocations that fail.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "qxxml/qxdom/qxdom.h"
#include "qxxml/qxdom/qxdom_private.h"
#include "tests/qxxml/qxdom_test_support.h"

namespace {

using qxdom_test::chain_faults;
using qxdom_test::dump;
using qxdom_test::Parsed;

// Ten levels of entities that each stand for ten of the level below:
// 10^levels copies of "lol".
std::string laughs(int levels, const std::string &use) {
  std::string text = "<!DOCTYPE lolz [\n<!ENTITY lol0 \"lol\">\n";
  for (int i = 1; i <= levels; i++) {
    text += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; k++) text += "&lol" + std::to_string(i - 1) + ";";
    text += "\">\n";
  }
  return text + "]>\n" + use;
}

// An entity chain e<n> -> e<n-1> -> ... -> e0 = "x".
std::string chain(int length) {
  std::string text = "<!DOCTYPE a [<!ENTITY e0 \"x\">";
  for (int i = 1; i <= length; i++) {
    text += "<!ENTITY e" + std::to_string(i) + " \"&e" + std::to_string(i - 1) + ";\">";
  }
  return text + "]><a>&e" + std::to_string(length) + ";</a>";
}

const std::string expansion_error = "entity expansion too large";

TEST(EntityLimits, BillionLaughsInTextStopsWithAnError) {
  auto started = std::chrono::steady_clock::now();
  Parsed parsed(laughs(9, "<lolz>&lol9;</lolz>"));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_NE(parsed.error().find(expansion_error), std::string::npos) << parsed.error();
  EXPECT_LT(seconds, 5.0);
  EXPECT_LE(strlen(parsed.root()->text), QXDOM_EXPANSION_MAX);
}

TEST(EntityLimits, BillionLaughsInAttributeStopsWithAnError) {
  Parsed parsed(laughs(9, "<lolz x=\"&lol9;\"/>"));
  EXPECT_NE(parsed.error().find(expansion_error), std::string::npos) << parsed.error();
}

TEST(EntityLimits, BillionLaughsInsideDeclarationsStopsWithAnError) {
  // Parameter entities expand when declared, so the bomb goes off in the subset.
  std::string text = "<!DOCTYPE a [<!ENTITY % p0 \"lol\">";
  for (int i = 1; i <= 9; i++) {
    text += "<!ENTITY % p" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; k++) text += "%p" + std::to_string(i - 1) + ";";
    text += "\">";
  }
  Parsed parsed(text + "]><a/>");
  EXPECT_NE(parsed.error().find(expansion_error), std::string::npos) << parsed.error();
}

TEST(EntityLimits, ManyUsesOfOneLargeEntityStopWithAnError) {
  std::string text = "<!DOCTYPE a [<!ENTITY big \"" + std::string(50000, 'b') + "\">]><a>";
  for (int i = 0; i < 100; i++) text += "&big;";
  Parsed parsed(text + "</a>");
  EXPECT_NE(parsed.error().find(expansion_error), std::string::npos) << parsed.error();
}

TEST(EntityLimits, ModerateExpansionIsRead) {
  Parsed parsed(laughs(3, "<lolz>&lol3;</lolz>"));
  EXPECT_EQ(parsed.error(), "");
  EXPECT_EQ(strlen(parsed.root()->text), 3000u);
}

TEST(EntityLimits, PredefinedEntitiesAreNotCharged) {
  // Far more predefined references than the budget would allow as bytes of
  // replacement text: each stands for one character only.
  std::string text = "<a>";
  for (size_t i = 0; i < QXDOM_EXPANSION_MAX / 4; i++) text += "&lt;";
  Parsed parsed(text + "</a>");
  EXPECT_EQ(parsed.error(), "");
  EXPECT_EQ(strlen(parsed.root()->text), QXDOM_EXPANSION_MAX / 4);
}

TEST(EntityLimits, NestingDepthIsBounded) {
  struct Row {
    int length;
    std::string error;
  } rows[] = {{QXDOM_NESTING_MAX - 1, ""}, {QXDOM_NESTING_MAX + 8, "[error near line 1]: entity nesting too deep"}};
  for (const Row &row : rows) {
    Parsed parsed(chain(row.length));
    EXPECT_EQ(parsed.error(), row.error) << row.length;
    if (row.error.empty()) {
      EXPECT_STREQ(parsed.root()->text, "x");
    }
  }
}

TEST(InputLimits, OversizedInputIsRefusedUnread) {
  // The length alone decides; the parser never touches the buffer.
  char buffer[] = "<a/>";
  qxdom_document *doc = qxdom_parse_memory(buffer, QXDOM_INPUT_MAX + 1);
  ASSERT_NE(doc, nullptr);
  EXPECT_STREQ(doc->error, "[error near line 1]: document too large");
  EXPECT_STREQ(buffer, "<a/>");
  qxdom_release(&doc->node);
}

TEST(DeepNesting, HundredThousandLevelsParseSerializeAndRelease) {
  const int depth = 100000;
  std::string text;
  for (int i = 0; i < depth; i++) text += "<e>";
  text += "x";
  for (int i = 0; i < depth; i++) text += "</e>";
  Parsed parsed(text);
  ASSERT_EQ(parsed.error(), "");
  char *serialized = qxdom_serialize(parsed.root());
  ASSERT_NE(serialized, nullptr);
  EXPECT_EQ(std::string(serialized), text);
  free(serialized);
}

TEST(Truncation, EveryPrefixOfTheSampleParsesSafely) {
  const std::string sample = qxdom_test::fixture("sample.xml");
  ASSERT_GT(sample.size(), 500u);
  const size_t complete = sample.find("</Root>") + strlen("</Root>");
  for (size_t n = 0; n <= sample.size(); n++) {
    Parsed parsed(sample.substr(0, n));
    ASSERT_NE(parsed.doc(), nullptr);
    // A prefix that ends before the root's end tag is always an error; the
    // one that ends with its '>' is complete.
    if (n < complete) {
      EXPECT_NE(parsed.error(), "") << "prefix " << n;
    } else if (n == complete || n == sample.size()) {
      EXPECT_EQ(parsed.error(), "") << "prefix " << n;
    }
    ASSERT_EQ(chain_faults(parsed.root()), "") << "prefix " << n;
    char *serialized = qxdom_serialize(parsed.root());
    ASSERT_NE(serialized, nullptr);
    free(serialized);
  }
}

// Runs make() with every allocation from the n-th on failing, for growing n,
// until a run needs no failing allocation. Every run must end cleanly (the
// sanitizers check that nothing leaks or is touched after release).
template <typename Run>
int run_with_failing_allocations(Run run) {
  for (long n = 0; n < 100000; n++) {
    qxdom_fail_allocations_after(n);
    bool hit = run();
    qxdom_fail_allocations_after(-1);
    if (!hit) return static_cast<int>(n);
  }
  return -1;
}

TEST(AllocationFailure, ParseEndsWithOutOfMemoryOrSucceeds) {
  const std::string sample = qxdom_test::fixture("sample.xml");
  const std::string expected = dump(Parsed(sample).root());
  int runs = run_with_failing_allocations([&] {
    Parsed parsed(sample);
    if (!parsed.doc()) return true;  // not even the document record
    if (parsed.error().find("out of memory") != std::string::npos) {
      EXPECT_EQ(chain_faults(parsed.root()), "");
      return true;
    }
    EXPECT_EQ(parsed.error(), "");
    EXPECT_EQ(dump(parsed.root()), expected);
    return false;
  });
  EXPECT_GT(runs, 20);
}

TEST(AllocationFailure, SerializeGivesNullOrTheWholeText) {
  Parsed parsed(qxdom_test::fixture("sample.xml"));
  char *whole = qxdom_serialize(parsed.root());
  ASSERT_NE(whole, nullptr);
  int runs = run_with_failing_allocations([&] {
    char *text = qxdom_serialize(parsed.root());
    if (!text) return true;
    EXPECT_STREQ(text, whole);
    free(text);
    return false;
  });
  EXPECT_GE(runs, 1);
  free(whole);
}

TEST(AllocationFailure, EditsChangeNothingWhenMemoryRunsOut) {
  int runs = run_with_failing_allocations([&] {
    qxdom_document *doc = qxdom_create("r");
    if (!doc) return true;
    qxdom_mark(&doc->node, QXDOM_COPY_STRINGS);
    bool hit = false;
    qxdom_node *child = qxdom_insert_child(&doc->node, "c", 0);
    hit |= !child;
    hit |= !qxdom_put_attribute(&doc->node, "a", "1");
    hit |= !qxdom_put_attribute(&doc->node, "b", "2");
    hit |= !qxdom_put_attribute(&doc->node, "a", nullptr);
    hit |= !qxdom_replace_text(&doc->node, "text");
    if (!hit) {
      EXPECT_EQ(dump(&doc->node), "r[b=2]\"text\"(c@0)");
    } else {
      EXPECT_EQ(chain_faults(&doc->node), "");
    }
    qxdom_release(&doc->node);
    return hit;
  });
  EXPECT_GE(runs, 5);
}

}  // namespace
