// Library life, slot numbering and limits, completion queries, waits and
// loaded documents of qxxml.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "qxxml/qxxml_private.h"
#include "qxxml_test_support.h"

using qxsupport::Eventually;
using qxtest::error_code;
using qxtest::kWorkerBound;

namespace {

const char kValues[] =
    "<?xml version=\"1.0\"?>\n<Root><Agent><Model>36</Model></Agent>"
    "<SenSet><Entry><ID>1</ID><Value>21.5</Value></Entry></SenSet></Root>";

TEST(QxxmlLibrary, SecondInitIsCountedAndNeedsItsOwnUninit) {
  ASSERT_EQ(qxxml_init(), 0);
  EXPECT_EQ(qxxml_init(), -1);
  EXPECT_EQ(error_code(0), QX_ERR_MODULE_IN_USE);
  EXPECT_EQ(qxxml_uninit(), -1);
  EXPECT_EQ(error_code(0), QX_ERR_MODULE_IN_USE);
  EXPECT_EQ(qxxml_uninit(), 0);
  EXPECT_EQ(qxxml_uninit(), 0) << "uninit of an uninitialised library succeeds";
  EXPECT_EQ(qxxml_init(), 0) << "the library can start again";
  EXPECT_EQ(qxxml_uninit(), 0);
}

TEST(QxxmlLibrary, CountRef2ZeroLetsOneUninitTearDown) {
  ASSERT_EQ(qxxml_init(), 0);
  EXPECT_EQ(qxxml_init(), -1);
  EXPECT_EQ(qxxml_init(), -1);
  qxxml_count_ref2zero();
  EXPECT_EQ(qxxml_uninit(), 0);
  EXPECT_EQ(qxxml_init(), 0) << "a fresh init succeeds: the library was torn down";
  EXPECT_EQ(qxxml_uninit(), 0);
}

TEST(QxxmlLibrary, OpenBeforeInitIsRefused) {
  EXPECT_EQ(qxxml_open("127.0.0.1", 80, nullptr, nullptr), -1);
  EXPECT_EQ(error_code(0), QX_ERR_THREAD_NOT_RUN);
}

TEST(QxxmlErrors, PrintShowsTextCodeSystemTextAndErrno) {
  qxxml_set_error_errno(5, QX_ERR_THREAD_NOT_RUN, ENOENT);
  testing::internal::CaptureStdout();
  int printed = qxxml_error_print(5);
  std::string out = testing::internal::GetCapturedStdout();
  std::string expected =
      std::string("Thread not run (40): ") + strerror(ENOENT) + " (" + std::to_string(ENOENT) + ")\n";
  EXPECT_EQ(out, expected);
  EXPECT_EQ(printed, static_cast<int>(expected.size()));
}

TEST(QxxmlErrors, LaterFailureReplacesEarlierOnlyOnItsSlot) {
  qxxml_set_error(0, QX_ERR_IP_NOT_VALID);
  qxxml_set_error(5, QX_ERR_SOCKET_CONNECT);
  qxxml_set_error(5, QX_ERR_NONE);
  qx_error_record record;
  qxxml_error(5, &record);
  EXPECT_EQ(record.code, QX_ERR_NONE);
  EXPECT_STREQ(record.text, "NULL");
  EXPECT_EQ(error_code(0), QX_ERR_IP_NOT_VALID);
}

using QxxmlSlots = qxtest::Library;

TEST_F(QxxmlSlots, HostTextOf99CharactersOpensAnd100IsRefused) {
  std::string host99(99, 'a');
  int slot = qxxml_open(host99.c_str(), 80, nullptr, nullptr);
  EXPECT_GT(slot, 0);
  std::string host100(100, 'a');
  EXPECT_EQ(qxxml_open(host100.c_str(), 80, nullptr, nullptr), -1);
  EXPECT_EQ(error_code(0), QX_ERR_IP_NOT_VALID);
}

TEST_F(QxxmlSlots, PortOutsideTheTcpRangeIsRefusedInsteadOfWrapping) {
  for (int port : {0, -1, 65536, 70000}) {
    qxxml_set_error(0, QX_ERR_NONE);
    EXPECT_EQ(qxxml_open("127.0.0.1", port, nullptr, nullptr), -1) << port;
    EXPECT_EQ(error_code(0), QX_ERR_IP_NOT_VALID) << port;
  }
  EXPECT_GT(qxxml_open("127.0.0.1", 65535, nullptr, nullptr), 0);
}

TEST_F(QxxmlSlots, NumbersAdvanceAcrossClosesAndWrapToTheLowestFree) {
  int first = qxtest::open_running("127.0.0.1", 80);
  int second = qxtest::open_running("127.0.0.1", 80);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
  EXPECT_EQ(qxxml_close(first), 0);
  EXPECT_EQ(qxtest::open_running("127.0.0.1", 80), 3) << "a closed lower slot is not reused while higher ones are free";
  // Fill up to slot 99 and check that the next open wraps to the freed slot 1.
  for (int expected = 4; expected <= 99; expected++) {
    int slot = qxxml_open("127.0.0.1", 80, nullptr, nullptr);
    ASSERT_EQ(slot, expected);
    ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_STARTED, 5), 0);
  }
  EXPECT_EQ(qxxml_close(50), 0);
  // Slot 99's worker moved next_slot to slot 1, the only free slot then.
  EXPECT_EQ(qxxml_open("127.0.0.1", 80, nullptr, nullptr), 1);
}

TEST_F(QxxmlSlots, NinetyNinthOpenTakesTheLastFreeSlotWhichNeverRuns) {
  for (int i = 1; i <= 98; i++) ASSERT_EQ(qxtest::open_running("127.0.0.1", 80), i);
  qxxml_set_error(0, QX_ERR_NONE);
  int last = qxxml_open("127.0.0.1", 80, nullptr, nullptr);
  EXPECT_EQ(last, 99);
  EXPECT_TRUE(Eventually([] { return error_code(0) == QX_ERR_ID_TOO_LARGE; }, kWorkerBound));
  EXPECT_EQ(qxxml_wait_finish(last, QXXML_FINISH_STARTED, 1), -1);
  EXPECT_EQ(error_code(0), QX_ERR_TIMEOUT);
  EXPECT_EQ(qxxml_close(last), 0) << "a slot whose start failed still closes";
}

TEST_F(QxxmlSlots, FinishReportsFieldsOfAFreshSlot) {
  int slot = qxtest::open_running("127.0.0.1", 80);
  ASSERT_GT(slot, 0);
  struct Row {
    int type;
    int result;
  } rows[] = {{QXXML_FINISH_STARTED, 0},      {QXXML_FINISH_STARTED_ALT, 0}, {QXXML_FINISH_VALUES, -1},
              {QXXML_FINISH_VALUES_ALT, -1},  {QXXML_FINISH_SETUP, -1},      {QXXML_FINISH_SETUP_ALT, -1},
              {QXXML_FINISH_SNMP, 0},         {QXXML_FINISH_POST, 0},        {QXXML_FINISH_POST_ALT, 0},
              {QXXML_FINISH_LOAD_VALUES, -1}, {QXXML_FINISH_LOAD_SETUP, -1}};
  for (const Row &row : rows) {
    qxxml_set_error(0, QX_ERR_NONE);
    EXPECT_EQ(qxxml_finish(slot, row.type), row.result) << "type " << row.type;
    EXPECT_EQ(error_code(0), row.result == 0 ? QX_ERR_NONE : QX_ERR_ACTION_NOT_FINISH) << "type " << row.type;
  }
  EXPECT_EQ(qxxml_finish(slot, QXXML_FINISH_TYPE_MAX + 1), -1);
  EXPECT_EQ(error_code(0), QX_ERR_ACTION_NOT_VALID);
}

TEST_F(QxxmlSlots, WaitRefusesBadTypeAndSlotsThatDoNotRun) {
  EXPECT_EQ(qxxml_wait_finish(1, QXXML_FINISH_TYPE_MAX + 1, 1), -1);
  EXPECT_EQ(error_code(0), QX_ERR_ACTION_NOT_VALID);
  EXPECT_EQ(qxxml_wait_finish(7, QXXML_FINISH_VALUES, 1), -1);
  EXPECT_EQ(error_code(7), QX_ERR_THREAD_NOT_RUN);
}

TEST_F(QxxmlSlots, WaitThatFindsItsTypeFinishedReturnsAtOnceAndStopsWaiting) {
  int slot = qxtest::open_running("127.0.0.1", 80);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_POST, 10), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(qxxml_slots[slot].slot.waiting.load(), 0);
}

TEST_F(QxxmlSlots, WaitTimesOutWithinItsBound) {
  int slot = qxtest::open_running("127.0.0.1", 80);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_VALUES, 1), -1);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(error_code(0), QX_ERR_TIMEOUT);
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LE(took, std::chrono::milliseconds(3200));
}

TEST_F(QxxmlSlots, RequestsOnSlotsThatDoNotRunRecordThreadNotRun) {
  char *text;
  int length;
  EXPECT_EQ(qxxml_get_values(4), -1);
  EXPECT_EQ(error_code(4), QX_ERR_THREAD_NOT_RUN);
  EXPECT_EQ(qxxml_get_setup(4), -1);
  EXPECT_EQ(qxxml_load_setup(4, kValues, 10), -1);
  EXPECT_EQ(qxxml_type_of(4), -1);
  EXPECT_EQ(qxxml_get_values(100), -1);
  EXPECT_EQ(error_code(0), QX_ERR_ID_TOO_LARGE);
  qxxml_set_error(4, QX_ERR_NONE);
  EXPECT_EQ(qxxml_get_values_xml(4, &text, &length), -1);
  EXPECT_EQ(error_code(4), QX_ERR_ACTION_NOT_FINISH) << "never requested: not finished";
}

TEST_F(QxxmlSlots, LoadOf19999BytesIsAcceptedAnd20000Refused) {
  int slot = qxtest::open_running("127.0.0.1", 80);
  std::string text(kValues);
  text.append(19999 - text.size(), ' ');
  EXPECT_EQ(qxxml_load_values(slot, text.c_str(), 20000), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_LENGTH_TOO_LARGE);
  ASSERT_EQ(qxxml_load_values(slot, text.c_str(), 19999), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_LOAD_VALUES, 5), 0);
  EXPECT_EQ(qxxml_finish(slot, QXXML_FINISH_VALUES), 0) << "a loaded parse finishes the values download type too";
  qxxml_values *record;
  qxxml_values_counts *counts;
  ASSERT_EQ(qxxml_get_values_cache(slot, &record, &counts), 0);
  EXPECT_STREQ(record->SenSet_Entry_Value[0], "21.5");
  EXPECT_EQ(counts->SenSet_count, 1);
}

TEST_F(QxxmlSlots, DocumentGettersNeedADeclaration) {
  int slot = qxtest::open_running("127.0.0.1", 80);
  const char bare[] = "<Root><Agent><Model>36</Model></Agent></Root>";
  ASSERT_EQ(qxxml_load_setup(slot, bare, sizeof bare - 1), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_LOAD_SETUP, 5), 0);
  char *text;
  int length;
  EXPECT_EQ(qxxml_get_setup_xml(slot, &text, &length), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_FILE_NOT_VALID);
  // libxml2 sets up no parser for an empty text: the parse itself fails.
  ASSERT_EQ(qxxml_load_values(slot, "", 0), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_LOAD_VALUES, 5), 0);
  EXPECT_EQ(qxxml_get_values_xml(slot, &text, &length), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_XML_NOT_VALID);
  // A pre-parse hook that takes the empty text leaves an empty document.
  qxxml_callbacks callbacks;
  qxxml_clr_callback(0, &callbacks);
  callbacks.pre_parse_hook = [](int, void *, char *, int, int) { return 0; };
  ASSERT_EQ(qxxml_callback(slot, &callbacks), 0);
  ASSERT_EQ(qxxml_load_values(slot, "", 0), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_LOAD_VALUES, 5), 0);
  EXPECT_EQ(qxxml_get_values_xml(slot, &text, &length), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_FILE_NOT_FOUND);
  qxxml_clr_callback(0, &callbacks);
  ASSERT_EQ(qxxml_callback(slot, &callbacks), 0);
  ASSERT_EQ(qxxml_load_values(slot, kValues, sizeof kValues - 1), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_LOAD_VALUES, 5), 0);
  ASSERT_EQ(qxxml_get_values_xml(slot, &text, &length), 0);
  EXPECT_EQ(std::string(text, length), kValues);
}

struct Recorder {
  std::atomic<int> values_calls{0};
  std::atomic<bool> had_records{false};
  std::atomic<int> close_result{1};
};

void record_values(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts) {
  auto *r = static_cast<Recorder *>(owner);
  EXPECT_EQ(module, -1);
  r->had_records = record != nullptr && counts != nullptr;
  r->values_calls++;
  (void)slot;
}

void close_from_callback(int slot, void *owner, int, qxxml_values *, qxxml_values_counts *) {
  auto *r = static_cast<Recorder *>(owner);
  r->close_result = qxxml_close_for_callback(slot);
  r->values_calls++;
}

TEST_F(QxxmlSlots, ValuesCallbackReceivesCopiesOfTheParsedRecord) {
  Recorder recorder;
  qxxml_settings settings;
  qxxml_clr_settings_struct(&settings);
  settings.callbacks.values_done = record_values;
  int slot = qxtest::open_running("127.0.0.1", 80, &settings, &recorder);
  ASSERT_EQ(qxxml_load_values(slot, kValues, sizeof kValues - 1), 0);
  ASSERT_TRUE(Eventually([&] { return recorder.values_calls == 1; }, kWorkerBound));
  EXPECT_TRUE(recorder.had_records);
}

TEST_F(QxxmlSlots, CloseForCallbackFreesTheSlotForTheNextOpen) {
  Recorder recorder;
  qxxml_settings settings;
  qxxml_clr_settings_struct(&settings);
  settings.callbacks.values_done = close_from_callback;
  int slot = qxtest::open_running("127.0.0.1", 80, &settings, &recorder);
  int other = qxtest::open_running("127.0.0.1", 80);
  ASSERT_EQ(qxxml_load_values(slot, kValues, sizeof kValues - 1), 0);
  ASSERT_TRUE(Eventually([&] { return recorder.values_calls == 1; }, kWorkerBound));
  EXPECT_EQ(recorder.close_result, 0);
  EXPECT_TRUE(Eventually([&] { return qxxml_slots[slot].slot.state.load() == 0; }, kWorkerBound));
  EXPECT_EQ(qxxml_finish(slot, QXXML_FINISH_STARTED), -1) << "the slot no longer runs";
  // Close the other slot, so that next_slot wraps back over the freed one.
  ASSERT_EQ(qxxml_close(other), 0);
  std::vector<int> opened;
  for (int i = 0; i < 98; i++) opened.push_back(qxxml_open("127.0.0.1", 80, nullptr, nullptr));
  EXPECT_NE(std::find(opened.begin(), opened.end(), slot), opened.end()) << "slot " << slot << " was handed out again";
}

TEST_F(QxxmlSlots, UnreachableDeviceFinishesTheDownloadWithNullRecords) {
  Recorder recorder;
  qxxml_settings settings;
  qxxml_clr_settings_struct(&settings);
  settings.callbacks.values_done = record_values;
  int slot = qxtest::open_running("127.0.0.1", qxsupport::RefusedPort(), &settings, &recorder);
  recorder.had_records = true;
  ASSERT_EQ(qxxml_get_values(slot), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_VALUES, 10), 0);
  EXPECT_TRUE(Eventually([&] { return recorder.values_calls == 1; }, kWorkerBound));
  EXPECT_FALSE(recorder.had_records);
  char *text;
  int length;
  EXPECT_EQ(qxxml_get_values_xml(slot, &text, &length), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_SOCKET_CONNECT);
}

}  // namespace
