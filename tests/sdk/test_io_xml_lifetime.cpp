// The XML I/O object's lifetime rules against a simulated device on
// loopback: an event that points into the slot's records is never delivered
// once those records were freed or replaced, and no library callback reaches
// an object whose destruction has torn anything down.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sdk/document_xml.h"
#include "sdk/io_xml.h"
#include "tests/support/devsim_variant.h"
#include "tests/support/eventually.h"
#include "tests/support/pump_until.h"
#include "tools/devsim/devsim.h"

namespace zelvoapi {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kCompletionWait{5000};

using qxsupport::PumpUntil;

// Waits, without running the UI thread's queue, until the worker has
// completed the request in progress. Its callback returns the object to idle
// just before it posts, and a Close joins the worker, so whatever the
// completion posts is queued before a following Close frees the records.
bool AwaitIdleWithoutDispatch(const TIoXml &object) {
  return qxsupport::Eventually([&] { return object.State == xaIdle; }, kCompletionWait);
}

// The posted events of one object in arrival order. Each document event's
// record is read while its handler runs, as a program does.
class TPostedRecorder {
 public:
  explicit TPostedRecorder(TIoXml &object) {
    using Self = TPostedRecorder;
    object.OnStatus = std::make_unique<EventHandler<Self, TIoXmlStatusEventArgs>>(this, &Self::Status);
    object.OnValues = std::make_unique<EventHandler<Self, TIoXmlValuesEventArgs>>(this, &Self::Values);
    object.OnSetup = std::make_unique<EventHandler<Self, TIoXmlSetupEventArgs>>(this, &Self::Setup);
    object.OnSetupSent = std::make_unique<EventHandler<Self, TIoXmlSetupEventArgs>>(this, &Self::SetupSent);
    object.OnError = std::make_unique<EventHandler<Self, TSdkErrorEventArgs>>(this, &Self::Error);
  }

  int Completions() const {
    int count = 0;
    for (const std::string &name : names) count += name != "status";
    return count;
  }

  std::vector<std::string> names;
  std::vector<std::string> first_sensors;  // the first sensor's name of each document event

 private:
  void Status(TIoXmlStatusEventArgs &) { names.push_back("status"); }
  void Values(TIoXmlValuesEventArgs &args) {
    names.push_back("values");
    TValuesXml<TValuesXmlBuffer> doc(args.Values, args.Counts, args.Host, args.Port);
    ReadFirstSensor(doc);
  }
  void Setup(TIoXmlSetupEventArgs &args) {
    names.push_back("setup");
    ReadFirstSensor(TSetupXml<TSetupXmlBuffer>(args.Setup, args.Counts, args.Host, args.Port));
  }
  void SetupSent(TIoXmlSetupEventArgs &args) {
    names.push_back("setup-sent");
    ReadFirstSensor(TSetupXml<TSetupXmlBuffer>(args.Setup, args.Counts, args.Host, args.Port));
  }
  void Error(TSdkErrorEventArgs &) { names.push_back("error"); }

  template <class TDoc>
  void ReadFirstSensor(const TDoc &doc) {
    TXmlSensorEnum sensor;
    doc.GetCommon(sensor);
    first_sensors.push_back(doc.GetSensor(0, sensor) == 0 ? sensor.Name : "");
  }
};

// One simulated thermometer and one open object aimed at it.
class SdkIoXmlLifetime : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = server_.start(qxsupport::SteadyVariant("thermometer"));
    ASSERT_GT(port_, 0) << server_.error();
    object_ = std::make_unique<TIoXml>(nullptr);
    recorder_ = std::make_unique<TPostedRecorder>(*object_);
    object_->Host = "127.0.0.1";
    object_->Port = port_;
    object_->User = "admin";
    object_->Password = "admin";
  }
  void TearDown() override {
    object_.reset();
    recorder_.reset();
    QCoreApplication::sendPostedEvents();
    server_.stop();
  }

  devsim::Server server_;
  int port_ = -1;
  std::unique_ptr<TIoXml> object_;
  std::unique_ptr<TPostedRecorder> recorder_;
};

// ---------------------------------------------------------------------------
// Events queued before the records they point into were freed or replaced.

// What the program does while the first completion's events are queued.
enum class TThen {
  Close,      // closes the object: the slot's records are freed
  Reopen,     // closes, opens again and downloads the setup of the new open
  GetSetup,   // a setup download: the setup record is refilled
  GetValues,  // a values download: the values record is refilled
};

struct TQueuedCase {
  const char *Name;
  devsim::Fault Fault;     // of the device during the first request
  int (*First)(TIoXml &);  // the request whose completion is queued
  TThen Then;
  std::vector<std::string> Expected;  // posted events delivered, in order
};

void PrintTo(const TQueuedCase &c, std::ostream *os) { *os << c.Name; }

class SdkIoXmlQueued : public SdkIoXmlLifetime, public ::testing::WithParamInterface<TQueuedCase> {};

TEST_P(SdkIoXmlQueued, DeliveredOnlyWhileItsRecordsAreValid) {
  const TQueuedCase &c = GetParam();
  ASSERT_EQ(object_->Open(), IOXML_ISSUED);
  server_.set_fault(c.Fault);
  ASSERT_EQ(c.First(*object_), IOXML_ISSUED);
  ASSERT_TRUE(AwaitIdleWithoutDispatch(*object_));
  ASSERT_TRUE(recorder_->names.empty()) << "nothing was dispatched yet";
  server_.clear_faults();

  switch (c.Then) {
    case TThen::Close: ASSERT_EQ(object_->Close(), IOXML_ISSUED); break;
    case TThen::Reopen:
      ASSERT_EQ(object_->Close(), IOXML_ISSUED);
      ASSERT_EQ(object_->Open(), IOXML_ISSUED);
      ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED);
      break;
    case TThen::GetSetup: ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED); break;
    case TThen::GetValues: ASSERT_EQ(object_->GetValues(), IOXML_ISSUED); break;
  }
  if (c.Then != TThen::Close) {
    // The second request's completion is the last event of the case.
    const std::string &last = c.Expected.back();
    const auto expected_count = std::count(c.Expected.begin(), c.Expected.end(), last);
    ASSERT_TRUE(PumpUntil([&] {
      return std::count(recorder_->names.begin(), recorder_->names.end(), last) >= expected_count;
    })) << ::testing::PrintToString(recorder_->names);
  }
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(recorder_->names, c.Expected);
  for (const std::string &name : recorder_->first_sensors) EXPECT_EQ(name, "Bench");
}

const devsim::Fault kNoFault{};
const devsim::Fault kSetupFails{devsim::FaultKind::status, devsim::FaultTarget::setup, 500};

int DownloadSetup(TIoXml &object) { return object.GetSetup(); }
int DownloadValues(TIoXml &object) { return object.GetValues(); }
int PostCalibration(TIoXml &object) { return object.SetCalibration(102, 0.5); }

const TQueuedCase kQueuedCases[] = {
    {"SetupEventQueuedBeforeCloseIsNotDelivered", kNoFault, DownloadSetup, TThen::Close, {"status"}},
    {"ValuesEventQueuedBeforeCloseIsNotDelivered", kNoFault, DownloadValues, TThen::Close, {"status"}},
    {"SetupSentEventQueuedBeforeCloseIsNotDelivered", kNoFault, PostCalibration, TThen::Close, {"status"}},
    {"ErrorEventQueuedBeforeCloseIsDelivered", kSetupFails, DownloadSetup, TThen::Close, {"status", "error"}},
    {"SetupEventOfAnEarlierOpenIsNotDelivered", kNoFault, DownloadSetup, TThen::Reopen, {"status", "status", "setup"}},
    {"SetupEventQueuedBeforeNextSetupDownloadIsNotDelivered",
     kNoFault,
     DownloadSetup,
     TThen::GetSetup,
     {"status", "status", "setup"}},
    {"SetupSentEventQueuedBeforeNextSetupDownloadIsNotDelivered",
     kNoFault,
     PostCalibration,
     TThen::GetSetup,
     {"status", "status", "setup"}},
    {"SetupEventQueuedBeforeValuesDownloadIsDelivered",
     kNoFault,
     DownloadSetup,
     TThen::GetValues,
     {"status", "setup", "status", "values"}},
    {"ValuesEventQueuedBeforeSetupDownloadIsDelivered",
     kNoFault,
     DownloadValues,
     TThen::GetSetup,
     {"status", "values", "status", "setup"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, SdkIoXmlQueued, ::testing::ValuesIn(kQueuedCases),
                         [](const ::testing::TestParamInfo<TQueuedCase> &info) {
                           return std::string(info.param.Name);
                         });

// ---------------------------------------------------------------------------
// Destruction while the worker is inside one of the library's callbacks.

// Holds the worker inside the post-parse hook, a library callback that
// reaches the object, for a while or until the object has started to tear
// down its members, whichever comes first.
struct TTeardownProbe {
  // Long enough for a destructor that tears down at once to be seen doing
  // so; the object's destructor waits for the worker meanwhile.
  static constexpr milliseconds kHold{500};

  std::atomic<bool> in_callback{false};
  std::atomic<bool> torn_down{false};
  std::atomic<bool> torn_down_during_callback{false};

  void PostParse(TIoXmlPostParseEventArgs &) {
    in_callback = true;
    torn_down_during_callback = qxsupport::Eventually([this] { return torn_down.load(); }, kHold);
  }
};

// A handler that is never invoked: its deletion shows that the object has
// begun to tear down its event slots, the first of its members to go.
class TTeardownMark : public TEventCustom {
 public:
  explicit TTeardownMark(TTeardownProbe &probe) : probe_(probe) {}
  ~TTeardownMark() override { probe_.torn_down = true; }
  void Invoke(TEventArgs &) override {}

 private:
  TTeardownProbe &probe_;
};

TEST_F(SdkIoXmlLifetime, DestroyWithCallbackInFlightReachesNoHalfDestroyedObject) {
  TTeardownProbe probe;  // outlives the object
  object_->PostParseEnabled = 1;
  object_->OnPostParse =
      std::make_unique<EventHandler<TTeardownProbe, TIoXmlPostParseEventArgs>>(&probe, &TTeardownProbe::PostParse);
  // The slot declared last but one goes second: the hook's own slot, deleted
  // first, must not be the mark.
  object_->OnPreParse = std::make_unique<TTeardownMark>(probe);
  ASSERT_EQ(object_->Open(), IOXML_ISSUED);
  ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED);
  ASSERT_TRUE(qxsupport::Eventually([&] { return probe.in_callback.load(); }, kCompletionWait));

  object_.reset();
  EXPECT_TRUE(probe.torn_down);
  EXPECT_FALSE(probe.torn_down_during_callback) << "members were torn down while a callback was in the object";
  size_t before = recorder_->names.size();
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(recorder_->names.size(), before) << "nothing of a destroyed object is delivered";
}

}  // namespace
}  // namespace zelvoapi
