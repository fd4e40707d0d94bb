// Shared parts of the UDP discovery object's tests: two simulated devices
// that answer searches on loopback, a second responder that answers nothing,
// and a recorder of every event of one object.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "qxudps/qxudps.h"
#include "sdk/udps.h"
#include "tests/sdk/event_record.h"
#include "tests/support/pump_until.h"
#include "tools/devsim/devsim.h"

namespace zelvoapi {
namespace udps_test {

using std::chrono::milliseconds;

constexpr char kLoopback[] = "127.0.0.1";
// A search ends after one quiet second and the name lookups; the setup wait
// of six seconds comes on top for a setup. Bounds, not expectations.
constexpr milliseconds kSearchWait{10000};
constexpr milliseconds kSetupWait{20000};
constexpr milliseconds kWorkerWait{3000};

// Names of the recorded events.
constexpr char kSearchBegin[] = "search-begin";
constexpr char kSearchDone[] = "search-done";
constexpr char kSetupBegin[] = "setup-begin";
constexpr char kSetupDone[] = "setup-done";
constexpr char kError[] = "error";

// The settings byte of the first device: bits 0, 2, 3 and 4 set, bits 1
// and 5 clear, so that a mix-up of two bits shows.
constexpr int kFirstSettings = 0x1D;
constexpr int kSettingBit5 = 0x20;
// The second device sends the extension list; its capability bits alternate.
constexpr int kExtendedType = 31;
constexpr int kSecondCapabilities = 0x55;
constexpr int kPlainType = 6;
// A device without an extension list reports this for item 6.
constexpr int kPlainTlv6 = 99;

struct TUdpsEvent {
  std::string Name;
  uint8_t Operation = 0;
  TSdkError Error;
  bool OnUiThread = false;
};

// Every event of one object, in arrival order, with what the error events
// carried and whether it ran on the user-interface thread.
class TUdpsRecorder : public TEventRecord<TUdpsEvent> {
 public:
  explicit TUdpsRecorder(TUdps &object) {
    using Self = TUdpsRecorder;
    object.OnSearchBegin = std::make_unique<EventHandler<Self, TSdkSimpleEventArgs>>(this, &Self::SearchBegin);
    object.OnSearchDone = std::make_unique<EventHandler<Self, TSdkSimpleEventArgs>>(this, &Self::SearchDone);
    object.OnSetupBegin = std::make_unique<EventHandler<Self, TSdkSimpleEventArgs>>(this, &Self::SetupBegin);
    object.OnSetupDone = std::make_unique<EventHandler<Self, TSdkSimpleEventArgs>>(this, &Self::SetupDone);
    object.OnError = std::make_unique<EventHandler<Self, TSdkErrorEventArgs>>(this, &Self::Error);
  }

  bool AllOnUiThread() const {
    for (const TUdpsEvent &event : events)
      if (!event.OnUiThread) return false;
    return true;
  }

 private:
  static bool OnUiThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }
  void Add(const char *name) { events.push_back(TUdpsEvent{name, 0, TSdkError(), OnUiThread()}); }
  void SearchBegin(TSdkSimpleEventArgs &) { Add(kSearchBegin); }
  void SearchDone(TSdkSimpleEventArgs &) { Add(kSearchDone); }
  void SetupBegin(TSdkSimpleEventArgs &) { Add(kSetupBegin); }
  void SetupDone(TSdkSimpleEventArgs &) { Add(kSetupDone); }
  void Error(TSdkErrorEventArgs &args) {
    events.push_back(TUdpsEvent{kError, args.Operation, args.Error, OnUiThread()});
  }
};

// Runs one search of `object` to its end; false when it was not accepted or
// did not end in time.
inline bool SearchAndWait(TUdps &object, const TUdpsRecorder &recorder) {
  const int done = recorder.Count(kSearchDone);
  if (object.Search() != UDPS_DONE) return false;
  return qxsupport::PumpUntil([&] { return recorder.Count(kSearchDone) > done; }, kSearchWait);
}

// The index of the device with `mac` in the object's list, -1 if none.
inline int IndexOf(TUdps &object, const std::string &mac) {
  const int count = object.DeviceCount();
  for (int i = 0; i < count; ++i) {
    TUdpsDevice device;
    if (object.GetDevice(i, device) == UDPS_DONE && device.Mac == mac) return i;
  }
  return -1;
}

class SdkUdpsTest : public ::testing::Test {
 protected:
  static constexpr int kDevices = 2;

  void SetUp() override {
    devsim::DeviceConfig first;
    first.mac = "02:00:00:00:00:A1";
    first.device_name = "First device";
    first.version = "1.2.3";
    first.network.mask = "255.255.0.0";
    first.network.dns_secondary = "127.0.0.4";
    first.network.gateway = "127.0.0.5";
    first.network.dns_primary = "127.0.0.6";
    first.discovery.type_code = kPlainType;
    first.discovery.settings = kFirstSettings;

    devsim::DeviceConfig second;
    second.mac = "02:00:00:00:00:B2";
    second.device_name = "Second device";
    second.discovery.type_code = kExtendedType;
    second.discovery.capabilities = kSecondCapabilities;
    second.discovery.model_text = "Extended model";
    second.discovery.setup_key[0] = 0x11111111;
    second.discovery.setup_key[1] = 0x22222222;
    second.discovery.setup_key[2] = 0x33333333;
    second.discovery.setup_key[3] = 0x44444444;

    configs_[0] = first;
    configs_[1] = second;
    for (int i = 0; i < kDevices; ++i) ASSERT_GT(servers_[i].start(configs_[i]), 0) << servers_[i].error();
    ASSERT_GT(responder_.start({&servers_[0], &servers_[1]}), 0) << responder_.error();
    ASSERT_GT(silence_.start({}), 0) << silence_.error();
    // Before any search: without a target the library would broadcast.
    ASSERT_EQ(qxudps_set_search_target(kLoopback, responder_.port()), 0);
  }

  // Aims the next searches at the responder that answers nobody.
  void AimAtSilence() { ASSERT_EQ(qxudps_set_search_target(kLoopback, silence_.port()), 0); }

  devsim::DeviceConfig configs_[kDevices];
  devsim::Server servers_[kDevices];
  // Declared after the servers: they must outlive their responder.
  devsim::UdpResponder responder_;
  devsim::UdpResponder silence_;
};

}  // namespace udps_test
}  // namespace zelvoapi
