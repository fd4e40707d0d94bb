// Whole passes of a multi-device slot over many simulated devices: every
// module's document arrives intact and is its own device's. The pass over
// the full table of 500 is not part of the default run (see
// docs/performance.md for how to run it).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "qxxml_many_support.h"

using qxtest::error_code;
using qxtest::run_pass;

namespace {

class QxxmlManyFleet : public qxtest::Library {
 protected:
  // Starts `count` devices, lists them, runs a values and a setup pass and
  // checks every module's documents and records against its device.
  void pass_over(int count) {
    std::vector<devsim::DeviceConfig> configs;
    for (int i = 0; i < count; i++) configs.push_back(qxtest::named_device(i));
    std::string why;
    ASSERT_TRUE(fleet.start(configs, &why)) << why;
    int slot = qxtest::open_many_running(&events);
    ASSERT_GT(slot, 0);
    for (int i = 0; i < count; i++) ASSERT_EQ(qxxml_add_module(slot, "127.0.0.1", fleet[i].port(), nullptr), i);

    auto began = std::chrono::steady_clock::now();
    // Bounded far beyond a pass on loopback, so that only a fault reaches it.
    ASSERT_EQ(run_pass(slot, qxxml_get_values, QXXML_FINISH_VALUES, 300), 0);
    ASSERT_EQ(run_pass(slot, qxxml_get_setup, QXXML_FINISH_SETUP, 300), 0);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
    RecordProperty("two_passes_ms", std::to_string(took.count()));
    printf("%d modules: a values and a setup pass took %lld ms\n", count, (long long)took.count());

    EXPECT_EQ(events.many_values, 1);
    EXPECT_EQ(events.many_setup, 1);
    ASSERT_EQ(events.values_calls.size(), (size_t)count);
    ASSERT_EQ(events.setup_calls.size(), (size_t)count);
    for (int i = 0; i < count; i++) {
      SCOPED_TRACE("module " + std::to_string(i));
      std::string name = "Device " + std::to_string(i);
      EXPECT_EQ(events.values_calls[i].module, i);
      EXPECT_EQ(events.values_calls[i].device_name, name);
      qx_error_record record;
      ASSERT_EQ(qxxml_error_many(slot, i, &record), 0);
      EXPECT_EQ(record.code, QX_ERR_NONE);
      char *text = nullptr;
      int length = 0;
      ASSERT_EQ(qxxml_get_values_xml_many(slot, i, &text, &length), 0) << error_code(slot);
      std::string document(text, length);
      EXPECT_NE(document.find("<DeviceName>" + name + "</DeviceName>"), std::string::npos);
      EXPECT_NE(document.find("</Root>"), std::string::npos) << "the document arrived whole";
      ASSERT_EQ(qxxml_get_setup_xml_many(slot, i, &text, &length), 0) << error_code(slot);
      EXPECT_NE(std::string(text, length).find("Probe " + std::to_string(i)), std::string::npos);
      qxxml_values *values = nullptr;
      qxxml_values_counts *counts = nullptr;
      ASSERT_EQ(qxxml_get_values_cache_many(slot, i, &values, &counts), 0);
      EXPECT_EQ(std::string(values->Agent_DeviceName), name);
      EXPECT_STREQ(values->SenSet_Entry_Name[0], ("Probe " + std::to_string(i)).c_str());
      EXPECT_EQ(counts->SenSet_count, 1);
    }
    EXPECT_EQ(qxxml_close(slot), 0);
  }
  qxtest::Fleet fleet;
  qxtest::ManyEvents events;
};

TEST_F(QxxmlManyFleet, PassOverTwoHundredDevicesKeepsEveryDocument) { pass_over(200); }

// The full table. Not in the default run: build, then
//   qxxml_many_fleet_tests --gtest_also_run_disabled_tests --gtest_filter='*FullTable*'
TEST_F(QxxmlManyFleet, DISABLED_PassOverTheFullTableKeepsEveryDocument) { pass_over(QXXML_MODULES_MAX); }

}  // namespace
