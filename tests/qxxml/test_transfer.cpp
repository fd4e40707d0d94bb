// Posts of setup documents to a simulated device: the request texts, the
// post credentials, the SNMP manager and its cache, the device's reply, and
// the faults of a device that refuses a post or spoils its reply.
#include <gtest/gtest.h>
#include <stdio.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "qxxml/qxxml_private.h"
#include "qxxml_test_support.h"
#include "tools/devsim/devsim.h"

using qxsupport::Eventually;
using qxtest::error_code;
using qxtest::kWorkerBound;

namespace {

const char kCalibration[] = "<Root><SenSet><Entry><ID>2</ID><Calib>-1.5</Calib></Entry></SenSet></Root>";

devsim::DeviceConfig device_with_traps() {
  devsim::DeviceConfig config;
  for (unsigned id = 1; id <= 3; id++) {
    devsim::Sensor sensor;
    sensor.id = id;
    sensor.name = "Sensor " + std::to_string(id);
    sensor.units = "C";
    sensor.value = 20.0 + id;
    config.sensors.push_back(sensor);
  }
  devsim::SnmpTrap first;
  first.ip = "127.0.0.21";
  first.port = 1162;
  first.enabled = true;
  devsim::SnmpTrap second = first;
  second.ip = "127.0.0.22";
  second.port = 2162;
  config.snmp_traps = {first, second};
  return config;
}

struct PostEvents {
  std::atomic<int> calls{0};
  std::atomic<bool> had_records{false};
  std::string calib_of_sensor_2;
};

class QxxmlTransfer : public qxtest::Library {
 protected:
  void SetUp() override {
    qxtest::Library::SetUp();
    ASSERT_GT(server.start(config()), 0) << server.error();
  }
  virtual devsim::DeviceConfig config() { return device_with_traps(); }
  int open(const char *set_user = "", const char *set_password = "") {
    qxxml_settings settings;
    qxxml_clr_settings_struct(&settings);
    snprintf(settings.set_user, sizeof settings.set_user, "%s", set_user);
    snprintf(settings.set_password, sizeof settings.set_password, "%s", set_password);
    settings.callbacks.post_done = [](int, void *owner, int, qxxml_setup *record, qxxml_setup_counts *) {
      auto *events = static_cast<PostEvents *>(owner);
      events->had_records = record != nullptr;
      if (record) events->calib_of_sensor_2 = record->SenSet_Entry_Calib[1];
      events->calls++;
    };
    return qxtest::open_running("127.0.0.1", server.port(), &settings, &events);
  }
  // Downloads the setup and returns the slot's live record, null on failure.
  qxxml_setup *download_setup(int slot) {
    qxxml_setup *setup = nullptr;
    qxxml_setup_counts *counts = nullptr;
    EXPECT_EQ(qxxml_get_setup(slot), 0);
    EXPECT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_SETUP, 20), 0);
    EXPECT_EQ(qxxml_get_setup_cache(slot, &setup, &counts), 0) << error_code(slot);
    return setup;
  }
  devsim::Request post(int slot, const char *document) {
    EXPECT_EQ(qxxml_send_setup_xml(slot, document, (int)strlen(document)), 0) << error_code(slot);
    EXPECT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_POST, 20), 0);
    auto request = server.last_post();
    EXPECT_TRUE(request.has_value());
    return request.value_or(devsim::Request{});
  }
  devsim::Server server;
  PostEvents events;
};

TEST_F(QxxmlTransfer, FragmentIsPostedWithTheDeclarationAddedAndItsLengthCounted) {
  int slot = open();
  devsim::Request request = post(slot, kCalibration);
  EXPECT_EQ(request.body.rfind("<?xml", 0), 0u) << request.body;
  EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
  EXPECT_EQ(request.header("Content-Type"), "text/xml");
  EXPECT_EQ(request.header("Authorization"), "") << "no post user: no authorization line";
  EXPECT_NE(request.body.find("<Calib>-1.5</Calib>"), std::string::npos);
}

TEST_F(QxxmlTransfer, ReplyIsParsedAsTheNewSetupAndDelivered) {
  int slot = open();
  post(slot, kCalibration);
  EXPECT_EQ(error_code(slot), QX_ERR_NONE);
  EXPECT_EQ(qxxml_finish(slot, QXXML_FINISH_SETUP), 0) << "a post finishes the setup type too";
  ASSERT_TRUE(Eventually([&] { return events.calls == 1; }, kWorkerBound));
  EXPECT_TRUE(events.had_records);
  EXPECT_EQ(events.calib_of_sensor_2, "-1.5");
  qxxml_setup *setup;
  qxxml_setup_counts *counts;
  ASSERT_EQ(qxxml_get_setup_cache(slot, &setup, &counts), 0);
  EXPECT_STREQ(setup->SenSet_Entry_Calib[1], "-1.5");
}

TEST_F(QxxmlTransfer, PostUserWithEmptyPasswordSendsUserAndColon) {
  int slot = open("user", "");
  EXPECT_EQ(post(slot, kCalibration).header("Authorization"), "Basic dXNlcjo=");
}

TEST_F(QxxmlTransfer, SnmpManagerIsPostedAsWrittenWithoutAuthorization) {
  int slot = open("admin", "secret");
  ASSERT_EQ(qxxml_set_snmp_manager(slot, "192.168.1.10", 162), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_POST, 20), 0);
  auto request = server.last_post();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->header("Authorization"), "");
  EXPECT_EQ(request->body,
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root>\n<SnmpTraps>\n<Entry>\n<Idx>1</Idx>\n"
            "<Community>qorvel</Community>\n<IPaddr>192.168.1.10</IPaddr>\n<Port>162</Port>\n<E>1</E>\n"
            "</Entry>\n</SnmpTraps>\n</Root>");
}

TEST_F(QxxmlTransfer, SnmpManagerAddressWithMarkupCannotAddElements) {
  int slot = open();
  ASSERT_EQ(qxxml_set_snmp_manager(slot, "1.2.3.4</IPaddr><Port>9&", 162), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_POST, 20), 0);
  auto request = server.last_post();
  ASSERT_TRUE(request);
  EXPECT_NE(request->body.find("<IPaddr>1.2.3.4&lt;/IPaddr&gt;&lt;Port&gt;9&amp;</IPaddr>\n<Port>162</Port>"),
            std::string::npos)
      << request->body;
}

TEST_F(QxxmlTransfer, SnmpManagerAddressThatWouldNotFitIsRefused) {
  int slot = open();
  const std::string address(QXXML_DOC_MAX / 2, '&');  // each becomes "&amp;"
  EXPECT_EQ(qxxml_set_snmp_manager(slot, address.c_str(), 162), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_BUFFER_FULL);
}

TEST_F(QxxmlTransfer, SnmpCacheIsEmptyBeforeARefreshAndHoldsTheFirstReceiverAfter) {
  int slot = open();
  char ip[16];
  int port = 0;
  EXPECT_EQ(qxxml_get_snmp_manager_cache(slot, ip, &port), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_ADDRESS_NOT_FOUND);
  ASSERT_EQ(qxxml_get_snmp_manager(slot), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_SNMP, 20), 0);
  ASSERT_EQ(qxxml_get_snmp_manager_cache(slot, ip, &port), 0);
  EXPECT_STREQ(ip, "127.0.0.21");
  EXPECT_EQ(port, 1162);
}

TEST_F(QxxmlTransfer, CredentialLimitsCheckTheUserFirst) {
  int slot = open();
  std::string n99(99, 'x'), n100(100, 'x');
  struct Row {
    const std::string &user, &password;
    int result, code;
  } rows[] = {{n99, n99, 0, QX_ERR_NONE},
              {n100, n99, -1, QX_ERR_USER_TOO_LONG},
              {n99, n100, -1, QX_ERR_PASSWORD_TOO_LONG},
              {n100, n100, -1, QX_ERR_USER_TOO_LONG}};
  for (const Row &row : rows) {
    qxxml_set_error(slot, QX_ERR_NONE);
    EXPECT_EQ(qxxml_authenticate_set(slot, row.user.c_str(), row.password.c_str()), row.result);
    EXPECT_EQ(error_code(slot), row.code) << row.user.size() << "/" << row.password.size();
    EXPECT_EQ(qxxml_authenticate_get(slot, row.user.c_str(), row.password.c_str()), row.result);
  }
}

TEST_F(QxxmlTransfer, FailedPreparationLeavesNothingPending) {
  int slot = open();
  // The filter refuses a document whose last Idx is empty.
  const char refused[] = "<Root><SenSet><Entry><Idx></Idx><Calib>1.0</Calib></Entry></SenSet></Root>";
  size_t before = server.request_count();
  EXPECT_EQ(qxxml_send_setup_xml(slot, refused, sizeof refused - 1), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_POINTER_NULL);
  EXPECT_EQ(qxxml_finish(slot, QXXML_FINISH_POST), 0) << "the earlier value stands";
  ASSERT_EQ(qxxml_get_values(slot), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_VALUES, 20), 0);
  EXPECT_EQ(server.request_count(), before + 1) << "only the values download went out";
  EXPECT_FALSE(server.last_post());
}

TEST_F(QxxmlTransfer, PostedCalibrationShowsInTheReadingsAfterTheApplyDelay) {
  int slot = open();
  qxxml_setup *setup = download_setup(slot);
  ASSERT_TRUE(setup);
  double before = atof(setup->SenSet_Entry_Value[1]);
  post(slot, kCalibration);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  setup = download_setup(slot);
  ASSERT_TRUE(setup);
  EXPECT_STREQ(setup->SenSet_Entry_Calib[1], "-1.5");
  EXPECT_NEAR(atof(setup->SenSet_Entry_Value[1]), before - 1.5, 0.3) << "reading shifted by the new calibration";
}

TEST_F(QxxmlTransfer, WholeSetupRecordIsWrittenFilteredAndPosted) {
  int slot = open();
  qxxml_setup *live = download_setup(slot);
  ASSERT_TRUE(live);
  const qxxml_setup_counts *counts = qxxml_slots[slot].setup_counts;
  auto edited = std::make_unique<qxxml_setup>(*live);
  qxxml_setup_counts edited_counts = *counts;
  snprintf(edited->SenSet_Entry_Name[0], sizeof edited->SenSet_Entry_Name[0], "Renamed");
  ASSERT_EQ(qxxml_send_setup(slot, edited.get(), &edited_counts), 0) << error_code(slot);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_POST, 20), 0);
  auto request = server.last_post();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->body.find("<Agent>"), std::string::npos) << "read-only blocks are filtered out";
  EXPECT_EQ(server.config().sensors[0].name, "Renamed");
}

// A device that refuses the post, answers it with garbage, or applies it and
// then fails the reply: the post ends with the slot's error record saying
// how (a refusal by its HTTP status), the callback still runs, and the slot
// takes the next post once the device behaves.
struct PostFaultRow {
  const char *name;
  const char *fault;  // in the simulator's text form, at the post
  int code;           // the slot's error afterwards
  bool records;       // the callback gets the setup record, whole or as far as it was read
  bool spoiled;       // the record's quality flags the reply
  bool applied;       // the device took the offset
};

void PrintTo(const PostFaultRow &row, std::ostream *out) { *out << row.name << " (" << row.fault << ")"; }

class QxxmlTransferFault : public QxxmlTransfer, public ::testing::WithParamInterface<PostFaultRow> {
 protected:
  // The overall deadline ends the silent and the dripping device before the
  // silence would, within a second.
  static constexpr int kDeadlineMs = 600;
  static constexpr int kSilenceWaits = 1;
  void SetUp() override {
    previous_limit_ = qxxml_set_transaction_limit_ms(kDeadlineMs);
    previous_silence_ = qxxml_set_silence_waits(kSilenceWaits);
    QxxmlTransfer::SetUp();
  }
  void TearDown() override {
    QxxmlTransfer::TearDown();
    qxxml_set_transaction_limit_ms(previous_limit_);
    qxxml_set_silence_waits(previous_silence_);
  }
  devsim::DeviceConfig config() override {
    devsim::DeviceConfig config = device_with_traps();
    config.apply_delay_ms = 0;
    return config;
  }
  int previous_limit_ = 0;
  int previous_silence_ = 0;
};

TEST_P(QxxmlTransferFault, PostEndsWithItsErrorAndTheNextPostWorks) {
  const PostFaultRow &row = GetParam();
  const std::optional<devsim::Fault> fault = devsim::parse_fault(row.fault);
  ASSERT_TRUE(fault.has_value());
  server.set_fault(*fault);
  int slot = open();
  post(slot, kCalibration);
  EXPECT_EQ(error_code(slot), row.code);
  ASSERT_TRUE(Eventually([&] { return events.calls == 1; }, kWorkerBound)) << "the callback runs after a failure too";
  EXPECT_EQ(events.had_records, row.records);
  if (row.records) {
    qxxml_doc_quality quality{};
    ASSERT_EQ(qxxml_get_doc_quality(slot, QXXML_DOC_SETUP, &quality), 0);
    EXPECT_EQ(quality.not_well_formed != 0 || quality.ended_by_silence != 0, row.spoiled);
  }
  EXPECT_EQ(server.sensor_calibration(2), row.applied ? std::optional<double>(-1.5) : std::optional<double>(0.0));

  server.clear_faults();
  const char kRetry[] = "<Root><SenSet><Entry><ID>2</ID><Calib>0.5</Calib></Entry></SenSet></Root>";
  post(slot, kRetry);
  ASSERT_TRUE(Eventually([&] { return events.calls == 2; }, kWorkerBound));
  EXPECT_EQ(events.calib_of_sensor_2, "0.5");
  EXPECT_EQ(server.sensor_calibration(2), std::optional<double>(0.5));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, QxxmlTransferFault,
    ::testing::Values(PostFaultRow{"refused_bad_request", "status:400@post", QX_ERR_HTTP_400, false, false, false},
                      PostFaultRow{"refused_unavailable", "status:503@post", QX_ERR_HTTP_503, false, false, false},
                      PostFaultRow{"garbage", "garbage@post", QX_ERR_HTTP_NOT_FOUND, false, false, true},
                      PostFaultRow{"close_in_header", "close-in-header@post", QX_ERR_HTTP_NOT_FOUND, false, false,
                                   true},
                      PostFaultRow{"short_status", "short-status@post", QX_ERR_HTTP_NOT_FOUND, false, false, true},
                      PostFaultRow{"oversized", "body-size:300000@post", QX_ERR_FILE_TOO_LARGE, false, false, true},
                      PostFaultRow{"stall_past_the_deadline", "stall@post", QX_ERR_TIMEOUT, false, false, true},
                      PostFaultRow{"drip_past_the_deadline", "drip:50@post", QX_ERR_TIMEOUT, false, false, true},
                      // The transfer hands these on with their quality; the object layer refuses the text.
                      PostFaultRow{"garbage_body", "garbage-body@post", QX_ERR_NONE, true, true, true},
                      PostFaultRow{"truncated", "truncate@post", QX_ERR_NONE, true, true, true},
                      PostFaultRow{"no_declaration", "no-declaration@post", QX_ERR_NONE, true, false, true}),
    [](const ::testing::TestParamInfo<PostFaultRow> &info) { return std::string(info.param.name); });

}  // namespace
