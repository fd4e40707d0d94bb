// How a slot's last document of a kind arrived, as qxxml_get_doc_quality
// tells it: whole, cut off, not well-formed, or ended by the device falling
// silent; for downloads, post replies and loaded documents; and what the
// query refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ostream>
#include <string>

#include "qxxml/qxxml_private.h"
#include "qxxml_test_support.h"
#include "tools/devsim/devsim.h"

using qxsupport::Eventually;
using qxtest::error_code;
using qxtest::kWorkerBound;

bool operator==(const qxxml_doc_quality &a, const qxxml_doc_quality &b) {
  return a.ended_by_silence == b.ended_by_silence && a.not_well_formed == b.not_well_formed &&
         a.error_line == b.error_line;
}

void PrintTo(const qxxml_doc_quality &q, std::ostream *out) {
  *out << "{ended_by_silence " << q.ended_by_silence << ", not_well_formed " << q.not_well_formed << ", error_line "
       << q.error_line << "}";
}

namespace {

constexpr qxxml_doc_quality kWhole = {0, 0, 0};

// One wait without data ends a reply here instead of ten: the rule is the
// same, the test does not sit out ten seconds per silent device.
constexpr int kQuickSilenceWaits = 1;
// Bound of a wait for an action: a silent reply ends after about a second.
constexpr int kActionWaitSeconds = 10;

// The second name holds the '&' that a device may fail to escape.
constexpr const char *kSecondName = "Store & Cellar";
// Where the documents below are cut: inside the second sensor's entry,
// after the first one closed.
constexpr const char *kCutBefore = "<Name>Store";

devsim::DeviceConfig two_sensor_device(bool prefixed_root) {
  devsim::DeviceConfig config;
  config.device_name = "Quality bench";
  config.prefixed_root = prefixed_root;
  devsim::Sensor boiler;
  boiler.id = 101;
  boiler.name = "Boiler";
  boiler.units = "C";
  boiler.value = 22.5;
  devsim::Sensor store = boiler;
  store.id = 102;
  store.name = kSecondName;
  config.sensors = {boiler, store};
  return config;
}

// The header a device sends before its body (status line, Content-Type,
// Content-Length, blank line), so that a stall can be placed in the body.
size_t reply_header_size(size_t body_size) {
  return std::string("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body_size) +
                     "\r\n\r\n")
      .size();
}

// The parser's line of a byte offset: lines count from 1.
int line_at(const std::string &text, size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

std::string replaced(std::string text, const std::string &placeholder, size_t value) {
  size_t at = text.find(placeholder);
  if (at != std::string::npos) text.replace(at, placeholder.size(), std::to_string(value));
  return text;
}

// What the completion callbacks saw, read in the callback on the worker.
struct Seen {
  std::atomic<int> calls{0};
  qxxml_doc_quality quality{};
  int query_result = 0;
};

void note(int slot, void *owner, int kind) {
  Seen *seen = static_cast<Seen *>(owner);
  seen->query_result = qxxml_get_doc_quality(slot, kind, &seen->quality);
  seen->calls++;
}

qxxml_settings settings_noting_quality() {
  qxxml_settings settings;
  qxxml_clr_settings_struct(&settings);
  settings.callbacks.values_done = [](int slot, void *owner, int, qxxml_values *, qxxml_values_counts *) {
    note(slot, owner, QXXML_DOC_VALUES);
  };
  settings.callbacks.setup_done = [](int slot, void *owner, int, qxxml_setup *, qxxml_setup_counts *) {
    note(slot, owner, QXXML_DOC_SETUP);
  };
  settings.callbacks.post_done = [](int slot, void *owner, int, qxxml_setup *, qxxml_setup_counts *) {
    note(slot, owner, QXXML_DOC_SETUP);
  };
  return settings;
}

qxxml_doc_quality quality_of(int slot, int kind) {
  qxxml_doc_quality quality = {-1, -1, -1};
  EXPECT_EQ(qxxml_get_doc_quality(slot, kind, &quality), 0) << error_code(slot);
  return quality;
}

class QxxmlDocQuality : public qxtest::Library {
 protected:
  void SetUp() override {
    qxtest::Library::SetUp();
    previous_waits_ = qxxml_set_silence_waits(kQuickSilenceWaits);
  }
  void TearDown() override {
    server.stop();
    qxxml_set_silence_waits(previous_waits_);
    qxtest::Library::TearDown();
  }
  int open_noting(int port) {
    qxxml_settings settings = settings_noting_quality();
    return qxtest::open_running("127.0.0.1", port, &settings, &seen);
  }

  devsim::Server server;
  Seen seen;
  int previous_waits_ = 0;
};

enum class Action { values, setup, post };

const char kCalibrationPost[] = "<Root><SenSet><Entry><ID>102</ID><Calib>-1.5</Calib></Entry></SenSet></Root>";

struct ArrivalRow {
  const char *name;
  Action action;
  // The device's fault; "{at}" becomes the body offset of fault_at, and
  // "{reply_at}" that offset counted from the start of the reply.
  const char *fault;
  // Where in the document the fault sits; null: nowhere, the line is 0.
  const char *fault_at;
  bool prefixed_root;
  int code;  // the slot's code once the action finished
  int ended_by_silence;
  int not_well_formed;
  // What the record holds of the second sensor's name; null: the action
  // failed and the record is not read.
  const char *second_name;
};

void PrintTo(const ArrivalRow &row, std::ostream *out) { *out << row.name; }

class QxxmlDocArrival : public QxxmlDocQuality, public ::testing::WithParamInterface<ArrivalRow> {};

TEST_P(QxxmlDocArrival, QualityTellsHowTheDocumentArrived) {
  const ArrivalRow &row = GetParam();
  const bool values = row.action == Action::values;
  const int kind = values ? QXXML_DOC_VALUES : QXXML_DOC_SETUP;
  const int other_kind = values ? QXXML_DOC_SETUP : QXXML_DOC_VALUES;
  devsim::DeviceConfig config = two_sensor_device(row.prefixed_root);
  ASSERT_GT(server.start(config), 0) << server.error();
  // The post changes a calibration, which comes after the cut: its reply
  // holds the same text before it as the document served now.
  const std::string document = values ? server.values_document() : server.setup_document();
  size_t at = 0;
  if (row.fault_at) {
    at = document.find(row.fault_at);
    ASSERT_NE(at, std::string::npos) << row.fault_at;
  }
  if (row.fault[0] != '\0') {
    std::string fault = replaced(row.fault, "{at}", at);
    fault = replaced(fault, "{reply_at}", reply_header_size(document.size()) + at);
    auto parsed = devsim::parse_fault(fault);
    ASSERT_TRUE(parsed) << fault;
    server.set_fault(*parsed);
  }
  int slot = open_noting(server.port());
  ASSERT_GT(slot, 0);

  int finish = QXXML_FINISH_POST;
  if (row.action == Action::values) {
    ASSERT_EQ(qxxml_get_values(slot), 0);
    finish = QXXML_FINISH_VALUES;
  } else if (row.action == Action::setup) {
    ASSERT_EQ(qxxml_get_setup(slot), 0);
    finish = QXXML_FINISH_SETUP;
  } else {
    ASSERT_EQ(qxxml_send_setup_xml(slot, kCalibrationPost, sizeof kCalibrationPost - 1), 0);
  }
  ASSERT_EQ(qxxml_wait_finish(slot, finish, kActionWaitSeconds), 0) << "the action finished";
  EXPECT_EQ(error_code(slot), row.code) << "the action's result is what it always was";

  const qxxml_doc_quality expected = {row.ended_by_silence, row.not_well_formed,
                                      row.fault_at && row.not_well_formed ? line_at(document, at) : 0};
  EXPECT_EQ(quality_of(slot, kind), expected);
  EXPECT_EQ(quality_of(slot, other_kind), kWhole) << "the other kind had no document yet";
  ASSERT_TRUE(Eventually([&] { return seen.calls == 1; }, kWorkerBound));
  EXPECT_EQ(seen.query_result, 0);
  EXPECT_EQ(seen.quality, expected) << "the completion callback already sees it";

  if (!row.second_name) return;
  const char *names[2];
  if (values) {
    qxxml_values *record;
    qxxml_values_counts *counts;
    ASSERT_EQ(qxxml_get_values_cache(slot, &record, &counts), 0) << error_code(slot);
    names[0] = record->SenSet_Entry_Name[0];
    names[1] = record->SenSet_Entry_Name[1];
  } else {
    qxxml_setup *record;
    qxxml_setup_counts *counts;
    ASSERT_EQ(qxxml_get_setup_cache(slot, &record, &counts), 0) << error_code(slot);
    names[0] = record->SenSet_Entry_Name[0];
    names[1] = record->SenSet_Entry_Name[1];
  }
  EXPECT_STREQ(names[0], "Boiler") << "what came before the fault is kept";
  EXPECT_STREQ(names[1], row.second_name);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QxxmlDocArrival,
    ::testing::Values(
        ArrivalRow{"WholeSetup", Action::setup, "", nullptr, false, QX_ERR_NONE, 0, 0, kSecondName},
        ArrivalRow{"WholeValues", Action::values, "", nullptr, false, QX_ERR_NONE, 0, 0, kSecondName},
        ArrivalRow{"WholePostReply", Action::post, "", nullptr, false, QX_ERR_NONE, 0, 0, kSecondName},
        ArrivalRow{"PrefixedSetupRootIsWhole", Action::setup, "", nullptr, true, QX_ERR_NONE, 0, 0, kSecondName},
        ArrivalRow{"PrefixedValuesRootIsWhole", Action::values, "", nullptr, true, QX_ERR_NONE, 0, 0, kSecondName},
        ArrivalRow{"SetupCutMidDocument", Action::setup, "truncate:{at}@setup", kCutBefore, false, QX_ERR_NONE, 0, 1,
                   ""},
        ArrivalRow{"ValuesCutMidDocument", Action::values, "truncate:{at}@values", kCutBefore, false, QX_ERR_NONE, 0, 1,
                   ""},
        ArrivalRow{"PostReplyCutMidDocument", Action::post, "truncate:{at}@post", kCutBefore, false, QX_ERR_NONE, 0, 1,
                   ""},
        ArrivalRow{"BareAmpersandInAName", Action::setup, "bare-ampersand@setup", "&amp;", false, QX_ERR_NONE, 0, 1,
                   "Store "},
        ArrivalRow{"SilenceMidDocument", Action::setup, "stall:{reply_at}@setup", kCutBefore, false, QX_ERR_NONE, 1, 1,
                   ""},
        ArrivalRow{"SilenceAfterTheWholeDocument", Action::setup, "stall:30000@setup", nullptr, false, QX_ERR_NONE, 1,
                   0, kSecondName},
        ArrivalRow{"SilenceInTheHeaderFailsButIsTold", Action::setup, "stall:20@setup", nullptr, false,
                   QX_ERR_HTTP_NOT_FOUND, 1, 0, nullptr},
        ArrivalRow{"RefusedDownloadHasNoDocument", Action::setup, "status:404@setup", nullptr, false, QX_ERR_HTTP_404,
                   0, 0, nullptr}),
    [](const ::testing::TestParamInfo<ArrivalRow> &info) { return std::string(info.param.name); });

// Each action tells of its own document: flags of an earlier one do not
// stay, and a load never ended by silence.
TEST_F(QxxmlDocQuality, EachActionReportsOnlyItsOwnDocument) {
  devsim::DeviceConfig config = two_sensor_device(false);
  ASSERT_GT(server.start(config), 0) << server.error();
  const std::string document = server.setup_document();
  const size_t at = document.find(kCutBefore);
  ASSERT_NE(at, std::string::npos);
  server.set_fault({devsim::FaultKind::stall, devsim::FaultTarget::setup,
                    static_cast<long>(reply_header_size(document.size()) + at)});
  int slot = open_noting(server.port());
  ASSERT_GT(slot, 0);
  ASSERT_EQ(qxxml_get_setup(slot), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_SETUP, kActionWaitSeconds), 0);
  ASSERT_EQ(quality_of(slot, QXXML_DOC_SETUP), (qxxml_doc_quality{1, 1, line_at(document, at)}));

  ASSERT_EQ(qxxml_load_setup(slot, document.data(), static_cast<int>(document.size())), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_LOAD_SETUP, kActionWaitSeconds), 0);
  EXPECT_EQ(quality_of(slot, QXXML_DOC_SETUP), kWhole) << "the loaded document is whole";

  ASSERT_EQ(qxxml_get_setup(slot), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_SETUP, kActionWaitSeconds), 0);
  ASSERT_EQ(quality_of(slot, QXXML_DOC_SETUP).ended_by_silence, 1);
  server.clear_faults();
  ASSERT_EQ(qxxml_get_setup(slot), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_SETUP, kActionWaitSeconds), 0);
  EXPECT_EQ(quality_of(slot, QXXML_DOC_SETUP), kWhole) << "the device closed after the whole document";
}

// A slot index is used again by later opens: what an earlier open's
// documents left must not show on the new slot.
TEST_F(QxxmlDocQuality, NewSlotStartsWholeWhateverItsIndexHeldBefore) {
  const int index = qxxml_lib.next_slot;
  qxxml_slots[index].slot.values_quality = {1, 1, 7};
  qxxml_slots[index].slot.setup_quality = {1, 1, 9};
  int slot = qxtest::open_running("127.0.0.1", qxsupport::RefusedPort());
  ASSERT_EQ(slot, index);
  EXPECT_EQ(quality_of(slot, QXXML_DOC_VALUES), kWhole);
  EXPECT_EQ(quality_of(slot, QXXML_DOC_SETUP), kWhole);
}

// Loaded documents: the parser's judgement alone, or the pre-parse hook's
// in its place.
using PreParseHook = int (*)(int, void *, char *, int, int);

struct LoadRow {
  const char *name;
  int kind;
  const char *text;
  PreParseHook hook;  // null: the library parses
  int code;
  int not_well_formed;
  int error_line;
};

void PrintTo(const LoadRow &row, std::ostream *out) { *out << row.name; }

int hook_takes(int, void *, char *, int, int) { return 0; }
int hook_refuses(int, void *, char *, int, int) { return 1; }

constexpr const char *kWholeSetup =
    "<?xml version=\"1.0\"?>\n<Root>\n<SenSet>\n<Entry>\n<Name>Boiler</Name>\n</Entry>\n</SenSet>\n</Root>\n";
constexpr const char *kSetupCutOnLine5 = "<?xml version=\"1.0\"?>\n<Root>\n<SenSet>\n<Entry>\n<Name>Boi";

class QxxmlLoadedQuality : public QxxmlDocQuality, public ::testing::WithParamInterface<LoadRow> {};

TEST_P(QxxmlLoadedQuality, QualityComesFromTheParse) {
  const LoadRow &row = GetParam();
  qxxml_settings settings;
  qxxml_clr_settings_struct(&settings);
  settings.callbacks.pre_parse_hook = row.hook;
  // Nothing is downloaded: the port is never connected.
  int slot = qxtest::open_running("127.0.0.1", qxsupport::RefusedPort(), &settings);
  ASSERT_GT(slot, 0);
  const int length = static_cast<int>(strlen(row.text));
  const bool values = row.kind == QXXML_DOC_VALUES;
  ASSERT_EQ(values ? qxxml_load_values(slot, row.text, length) : qxxml_load_setup(slot, row.text, length), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, values ? QXXML_FINISH_LOAD_VALUES : QXXML_FINISH_LOAD_SETUP, kActionWaitSeconds),
            0);
  EXPECT_EQ(error_code(slot), row.code);
  EXPECT_EQ(quality_of(slot, row.kind), (qxxml_doc_quality{0, row.not_well_formed, row.error_line}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, QxxmlLoadedQuality,
    ::testing::Values(
        LoadRow{"WholeSetup", QXXML_DOC_SETUP, kWholeSetup, nullptr, QX_ERR_NONE, 0, 0},
        LoadRow{"SetupCutOnLine5", QXXML_DOC_SETUP, kSetupCutOnLine5, nullptr, QX_ERR_NONE, 1, 5},
        LoadRow{"BareAmpersandOnLine3", QXXML_DOC_VALUES, "<Root>\n<SenSet><Entry>\n<Name>A & B</Name>\n", nullptr,
                QX_ERR_NONE, 1, 3},
        LoadRow{"MismatchedEndTagOnLine2", QXXML_DOC_SETUP, "<Root>\n<Agent>x</Other>\n</Root>", nullptr, QX_ERR_NONE,
                1, 2},
        LoadRow{"PrefixedValuesRootIsWhole", QXXML_DOC_VALUES,
                "<val:Root xmlns:val=\"urn:device\">\n<SenSet><Entry><Name>A</Name></Entry></SenSet>\n</val:Root>\n",
                nullptr, QX_ERR_NONE, 0, 0},
        // Only the kind's own prefix is rewritten, so only its end tag is forgiven.
        LoadRow{"EndTagOfTheOtherPrefixCounts", QXXML_DOC_SETUP, "<Root>\n<Agent>x</Agent>\n</val:Root>\n", nullptr,
                QX_ERR_NONE, 1, 3},
        LoadRow{"EmptyDocumentIsRefusedWhole", QXXML_DOC_SETUP, "", nullptr, QX_ERR_XML_NOT_VALID, 1, 0},
        LoadRow{"HookThatTakesABrokenDocument", QXXML_DOC_SETUP, kSetupCutOnLine5, hook_takes, QX_ERR_NONE, 0, 0},
        LoadRow{"HookThatRefusesAWholeDocument", QXXML_DOC_SETUP, kWholeSetup, hook_refuses, QX_ERR_XML_NOT_VALID, 1,
                0}),
    [](const ::testing::TestParamInfo<LoadRow> &info) { return std::string(info.param.name); });

// Refusals of the query: the code, the slot whose record holds it, and an
// answer left untouched.
enum class SlotKind { library, beyond_table, negative, closed, running };

struct RefusalRow {
  const char *name;
  SlotKind slot;
  int kind;
  bool null_quality;
  int code;
  bool on_library_slot;  // the code lands on slot 0 rather than on the slot asked about
};

void PrintTo(const RefusalRow &row, std::ostream *out) { *out << row.name; }

class QxxmlQualityRefusals : public QxxmlDocQuality, public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(QxxmlQualityRefusals, RefuseWithTheirCode) {
  const RefusalRow &row = GetParam();
  int running = qxtest::open_running("127.0.0.1", qxsupport::RefusedPort());
  ASSERT_GT(running, 0);
  int slot = running;
  switch (row.slot) {
    case SlotKind::library: slot = 0; break;
    case SlotKind::beyond_table: slot = QXXML_ID_COUNT_MAX; break;
    case SlotKind::negative: slot = -1; break;
    case SlotKind::closed: ASSERT_EQ(qxxml_close(slot), 0); break;
    case SlotKind::running: break;
  }
  qxxml_set_error(0, QX_ERR_NONE);
  const qxxml_doc_quality untouched = {5, 6, 7};
  qxxml_doc_quality quality = untouched;
  EXPECT_EQ(qxxml_get_doc_quality(slot, row.kind, row.null_quality ? nullptr : &quality), -1);
  EXPECT_EQ(error_code(row.on_library_slot ? 0 : slot), row.code);
  EXPECT_EQ(quality, untouched);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QxxmlQualityRefusals,
    ::testing::Values(
        RefusalRow{"LibrarySlot", SlotKind::library, QXXML_DOC_SETUP, false, QX_ERR_THREAD_NOT_RUN, true},
        RefusalRow{"SlotBeyondTheTable", SlotKind::beyond_table, QXXML_DOC_SETUP, false, QX_ERR_ID_TOO_LARGE, true},
        RefusalRow{"NegativeSlot", SlotKind::negative, QXXML_DOC_VALUES, false, QX_ERR_ID_TOO_LARGE, true},
        RefusalRow{"ClosedSlot", SlotKind::closed, QXXML_DOC_SETUP, false, QX_ERR_THREAD_NOT_RUN, false},
        RefusalRow{"KindBeyondSetup", SlotKind::running, QXXML_DOC_SETUP + 1, false, QX_ERR_ACTION_NOT_VALID, false},
        RefusalRow{"NegativeKind", SlotKind::running, -1, false, QX_ERR_ACTION_NOT_VALID, false},
        RefusalRow{"NullQuality", SlotKind::running, QXXML_DOC_VALUES, true, QX_ERR_POINTER_NULL, false}),
    [](const ::testing::TestParamInfo<RefusalRow> &info) { return std::string(info.param.name); });

}  // namespace
