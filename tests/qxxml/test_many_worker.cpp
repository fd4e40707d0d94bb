// Passes of multi-device slots against simulated devices: callbacks per
// module and per pass, failures kept per module, modules switched off, posts
// with each module's own credentials, empty passes and the module getters.
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/qx_base64.h"
#include "qxxml/qxxml_private.h"
#include "qxxml_many_support.h"

using qxtest::error_code;
using qxtest::run_pass;

namespace {

const char kCalibration[] = "<Root><SenSet><Entry><ID>1</ID><Calib>-1.5</Calib></Entry></SenSet></Root>";

class QxxmlManyWorker : public qxtest::Library {
 protected:
  void SetUp() override {
    qxtest::Library::SetUp();
    slot = qxtest::open_many_running(&events);
    ASSERT_GT(slot, 0);
  }
  // Starts `count` named devices and lists each as a module of the slot.
  void add_devices(int count, bool with_credentials = false) {
    std::vector<devsim::DeviceConfig> configs;
    for (int i = 0; i < count; i++) {
      configs.push_back(qxtest::named_device(i));
      if (with_credentials) {
        configs.back().user = "user" + std::to_string(i);
        configs.back().password = "secret" + std::to_string(i);
      }
    }
    std::string why;
    ASSERT_TRUE(fleet.start(configs, &why)) << why;
    for (int i = 0; i < count; i++) {
      qxxml_settings settings = qxtest::credentials(configs[i].user, configs[i].password);
      ASSERT_EQ(qxxml_add_module(slot, "127.0.0.1", fleet[i].port(), &settings), i);
    }
  }
  std::string module_values(int module) {
    char *text = nullptr;
    int length = 0;
    if (qxxml_get_values_xml_many(slot, module, &text, &length) != 0) return "";
    return std::string(text, length);
  }
  qxtest::Fleet fleet;
  qxtest::ManyEvents events;
  int slot = -1;
};

TEST_F(QxxmlManyWorker, UnreachableSecondModuleIsDeliveredNullAndKeepsItsFailure) {
  add_devices(1);
  ASSERT_EQ(qxxml_add_module(slot, "127.0.0.1", qxsupport::RefusedPort(), nullptr), 1);
  ASSERT_EQ(run_pass(slot, qxxml_get_values, QXXML_FINISH_VALUES), 0);

  ASSERT_EQ(events.values_calls.size(), 2u);
  EXPECT_EQ(events.values_calls[0].module, 0);
  EXPECT_TRUE(events.values_calls[0].had_records);
  EXPECT_EQ(events.values_calls[0].device_name, "Device 0");
  EXPECT_EQ(events.values_calls[1].module, 1);
  EXPECT_FALSE(events.values_calls[1].had_records);
  EXPECT_EQ(events.many_values, 1);
  EXPECT_EQ(error_code(slot), QX_ERR_NONE) << "the slot's record is cleared at the end of the pass";

  qx_error_record record;
  ASSERT_EQ(qxxml_error_many(slot, 1, &record), 0);
  EXPECT_EQ(record.code, QX_ERR_SOCKET_CONNECT);
  ASSERT_EQ(qxxml_error_many(slot, 0, &record), 0);
  EXPECT_EQ(record.code, QX_ERR_NONE);

  char *text = nullptr;
  int length = 0;
  EXPECT_EQ(qxxml_get_values_xml_many(slot, 1, &text, &length), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_SOCKET_CONNECT) << "the module's failure shows on the slot";
  EXPECT_NE(module_values(0).find("<DeviceName>Device 0</DeviceName>"), std::string::npos);

  char ip[16];
  int port = 0;
  ASSERT_EQ(qxxml_get_module_many(slot, 0, ip, &port), 0);
  EXPECT_STREQ(ip, "127.0.0.1") << "the download resolved the module's address";
  int failed_at = 0;
  EXPECT_EQ(qxxml_get_values_many_status(slot, 1, &failed_at), -1);
  EXPECT_GT(failed_at, 0) << "a failed download has a time too";
}

TEST_F(QxxmlManyWorker, SwitchedOffModuleKeepsItsDocumentsAndIsSkipped) {
  add_devices(2);
  ASSERT_EQ(run_pass(slot, qxxml_get_values, QXXML_FINISH_VALUES), 0);
  ASSERT_EQ(run_pass(slot, qxxml_get_setup, QXXML_FINISH_SETUP), 0);
  std::string before = module_values(1);
  ASSERT_NE(before.find("Device 1"), std::string::npos);
  size_t requests = fleet[1].request_count();

  const int flags[] = {1, 0};
  ASSERT_EQ(qxxml_active_modules(slot, flags), 0);
  events.values_calls.clear();
  ASSERT_EQ(run_pass(slot, qxxml_get_values, QXXML_FINISH_VALUES), 0);

  EXPECT_EQ(fleet[1].request_count(), requests) << "module 1 was not contacted";
  ASSERT_EQ(events.values_calls.size(), 1u);
  EXPECT_EQ(events.values_calls[0].module, 0);
  EXPECT_EQ(module_values(1), before);
  qxxml_setup *setup = nullptr;
  qxxml_setup_counts *counts = nullptr;
  ASSERT_EQ(qxxml_get_setup_cache_many(slot, 1, &setup, &counts), 0);
  EXPECT_STREQ(setup->Agent_DeviceName, "Device 1");
  EXPECT_EQ(counts->SenSet_count, 1);
}

TEST_F(QxxmlManyWorker, PostReachesEveryDeviceWithEachModulesOwnCredentials) {
  const int count = 3;
  add_devices(count, true);
  ASSERT_EQ(run_pass(slot, qxxml_get_setup, QXXML_FINISH_SETUP), 0);
  ASSERT_EQ(events.setup_calls.size(), (size_t)count);
  for (const auto &call : events.setup_calls) EXPECT_TRUE(call.had_records) << "setup download of " << call.module;

  ASSERT_EQ(qxxml_send_setup_xml_many(slot, kCalibration, (int)strlen(kCalibration)), 0) << error_code(slot);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_POST, 60), 0);
  EXPECT_EQ(qxxml_finish(slot, QXXML_FINISH_SETUP), 0) << "a post pass finishes the setup type too";
  EXPECT_EQ(events.many_setup, 1) << "a post pass calls no pass callback";

  ASSERT_EQ(events.post_calls.size(), (size_t)count);
  for (int i = 0; i < count; i++) {
    SCOPED_TRACE("module " + std::to_string(i));
    EXPECT_TRUE(events.post_calls[i].had_records);
    std::string credentials = "user" + std::to_string(i) + ":secret" + std::to_string(i);
    char encoded[128] = {0};
    qx_base64_encode(credentials.data(), (int)credentials.size(), encoded, (int)sizeof encoded - 1);
    std::optional<devsim::Request> post = fleet[i].last_post();
    ASSERT_TRUE(post.has_value());
    EXPECT_EQ(post->header("Authorization"), std::string("Basic ") + encoded);
    EXPECT_EQ(post->status, 200);
    EXPECT_EQ(fleet[i].sensor_calibration(1), -1.5);
    qxxml_setup copy;
    qxxml_setup_counts counts;
    ASSERT_EQ(qxxml_get_setup_cache_many_copy(slot, i, &copy, &counts), 0);
    EXPECT_STREQ(copy.SenSet_Entry_Calib[0], "-1.5") << "the module keeps the device's reply";
  }
}

TEST_F(QxxmlManyWorker, PostToAModuleNeverDownloadedFailsToConnect) {
  add_devices(1);
  ASSERT_EQ(qxxml_send_setup_xml_many(slot, kCalibration, (int)strlen(kCalibration)), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_POST, 60), 0);
  ASSERT_EQ(events.post_calls.size(), 1u);
  EXPECT_FALSE(events.post_calls[0].had_records);
  qx_error_record record;
  ASSERT_EQ(qxxml_error_many(slot, 0, &record), 0);
  EXPECT_EQ(record.code, QX_ERR_SOCKET_CONNECT) << "a failed post is kept in the module";
  EXPECT_FALSE(fleet[0].last_post().has_value());
}

void calibrate_sensor_1(qxxml_setup *setup) {
  snprintf(setup->SenSet_Entry_Calib[0], sizeof setup->SenSet_Entry_Calib[0], "2.5");
}

TEST_F(QxxmlManyWorker, SetupPostEditsEachModulesOwnRecord) {
  add_devices(2);
  ASSERT_EQ(run_pass(slot, qxxml_get_setup, QXXML_FINISH_SETUP), 0);
  ASSERT_EQ(qxxml_send_setup_many(slot, calibrate_sensor_1), 0) << error_code(slot);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_POST, 60), 0);
  for (int i = 0; i < 2; i++) {
    EXPECT_EQ(fleet[i].sensor_calibration(1), 2.5) << i;
    std::optional<devsim::Request> post = fleet[i].last_post();
    ASSERT_TRUE(post.has_value());
    EXPECT_NE(post->body.find("Probe " + std::to_string(i)), std::string::npos) << "each module's own record";
  }
}

TEST_F(QxxmlManyWorker, PostsOfManyAreRefusedOnASingleDeviceSlot) {
  int single = qxtest::open_running("127.0.0.1", 80);
  ASSERT_GT(single, 0);
  EXPECT_EQ(qxxml_send_setup_xml_many(single, kCalibration, (int)strlen(kCalibration)), -1);
  EXPECT_EQ(error_code(single), QX_ERR_ID_NOT_FOUND);
  EXPECT_EQ(qxxml_send_setup_many(single, calibrate_sensor_1), -1);
  EXPECT_EQ(error_code(single), QX_ERR_ID_NOT_FOUND);
  EXPECT_EQ(qxxml_finish(single, QXXML_FINISH_POST), 0) << "nothing was made pending";
}

// A pass that finds no module to serve.
struct EmptyPass {
  const char *name;
  int modules;  // listed, all switched off
  int (*request)(int slot);
  int type;
};

void PrintTo(const EmptyPass &row, std::ostream *os) { *os << row.name; }

int post_to_all(int slot) { return qxxml_send_setup_xml_many(slot, kCalibration, (int)strlen(kCalibration)); }

class QxxmlEmptyPass : public QxxmlManyWorker, public ::testing::WithParamInterface<EmptyPass> {};

TEST_P(QxxmlEmptyPass, CompletesAtOnce) {
  const EmptyPass &row = GetParam();
  if (row.modules > 0) {
    add_devices(row.modules);
    std::vector<int> off(row.modules, 0);
    ASSERT_EQ(qxxml_active_modules(slot, off.data()), 0);
  }
  // Far below the bound a waiter would otherwise run into.
  ASSERT_EQ(run_pass(slot, row.request, row.type, 30), 0);
  EXPECT_TRUE(events.values_calls.empty());
  EXPECT_TRUE(events.post_calls.empty());
  EXPECT_EQ(events.many_values, row.type == QXXML_FINISH_VALUES ? 1 : 0);
  for (size_t i = 0; i < fleet.size(); i++) EXPECT_EQ(fleet[i].request_count(), 0u) << i;
}

INSTANTIATE_TEST_SUITE_P(Rows, QxxmlEmptyPass,
                         ::testing::Values(EmptyPass{"values_empty_list", 0, qxxml_get_values, QXXML_FINISH_VALUES},
                                           EmptyPass{"values_all_off", 2, qxxml_get_values, QXXML_FINISH_VALUES},
                                           EmptyPass{"setup_all_off", 2, qxxml_get_setup, QXXML_FINISH_SETUP},
                                           EmptyPass{"post_empty_list", 0, post_to_all, QXXML_FINISH_POST},
                                           EmptyPass{"post_all_off", 2, post_to_all, QXXML_FINISH_POST}),
                         [](const ::testing::TestParamInfo<EmptyPass> &info) { return std::string(info.param.name); });

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(QxxmlManyWorker, ModuleDocumentGoesToAFileAndACopyWhole) {
  add_devices(1);
  ASSERT_EQ(qxxml_add_module(slot, "127.0.0.1", qxsupport::RefusedPort(), nullptr), 1);
  ASSERT_EQ(run_pass(slot, qxxml_get_values, QXXML_FINISH_VALUES), 0);
  std::string path = ::testing::TempDir() + "qxxml_module_" + std::to_string(getpid()) + ".xml";
  remove(path.c_str());

  EXPECT_EQ(qxxml_get_values_to_file_many(slot, 1, path.c_str()), -1);
  EXPECT_EQ(access(path.c_str(), F_OK), -1) << "a failed download creates no file";

  ASSERT_EQ(qxxml_get_values_to_file_many(slot, 0, path.c_str()), 0);
  std::string document = module_values(0);
  EXPECT_EQ(read_file(path), document);
  std::vector<char> copy(QXXML_DOC_MAX, 'x');
  int length = 0;
  ASSERT_EQ(qxxml_get_values_xml_many_copy(slot, 0, copy.data(), &length), 0);
  EXPECT_EQ(std::string(copy.data(), length), document);
  EXPECT_EQ(copy[length], '\0') << "the zero byte is copied too";
  remove(path.c_str());
}

TEST_F(QxxmlManyWorker, CallbackReadsTheModuleThroughTheModuleGetters) {
  add_devices(2);
  static std::vector<std::string> seen;
  seen.clear();
  qxxml_callbacks cb = qxtest::ManyEvents::callbacks();
  cb.values_done = [](int s, void *, int module, qxxml_values *, qxxml_values_counts *) {
    qxxml_values *record = nullptr;
    qxxml_values_counts *counts = nullptr;
    seen.push_back(qxxml_get_values_cache_many(s, module, &record, &counts) == 0 ? record->Agent_DeviceName : "");
  };
  ASSERT_EQ(qxxml_callback(slot, &cb), 0);
  ASSERT_EQ(run_pass(slot, qxxml_get_values, QXXML_FINISH_VALUES), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"Device 0", "Device 1"}));
}

TEST_F(QxxmlManyWorker, CloseDuringAPassEndsTheWorkerAndFreesTheModules) {
  add_devices(2);
  fleet[0].set_fault({devsim::FaultKind::silent, devsim::FaultTarget::values, 0});
  ASSERT_EQ(qxxml_get_values(slot), 0);
  ASSERT_TRUE(qxsupport::Eventually([&] { return fleet[0].request_count() > 0; }, qxtest::kWorkerBound));
  EXPECT_EQ(qxxml_close(slot), 0);
  EXPECT_EQ(qxxml_slots[slot].modules[0], nullptr);
  EXPECT_EQ(events.values_calls.size(), 0u) << "the abandoned pass delivers nothing";
  EXPECT_EQ(fleet[1].request_count(), 0u) << "the pass did not go on to the next module";
}

TEST_F(QxxmlManyWorker, LoadedDocumentStaysPendingOnAMultiDeviceSlot) {
  add_devices(1);
  const char document[] = "<?xml version=\"1.0\"?><Root/>";
  ASSERT_EQ(qxxml_load_values(slot, document, (int)strlen(document)), 0);
  ASSERT_EQ(run_pass(slot, qxxml_get_values, QXXML_FINISH_VALUES), 0);
  EXPECT_EQ(qxxml_finish(slot, QXXML_FINISH_LOAD_VALUES), -1);
  EXPECT_EQ(events.values_calls.size(), 1u) << "only the download was delivered";
}

}  // namespace
