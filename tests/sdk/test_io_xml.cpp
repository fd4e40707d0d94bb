// The XML I/O object against simulated devices on loopback: requests, the
// events they raise and where those events arrive.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comma_locale.h"
#include "sdk/document_xml.h"
#include "sdk/io_xml.h"
#include "sdk/io_xml_private.h"
#include "tests/sdk/event_record.h"
#include "tests/sdk/probe_sensors.h"
#include "tests/support/devsim_variant.h"
#include "tests/support/eventually.h"
#include "tests/support/ports.h"
#include "tests/support/pump_until.h"
#include "tools/devsim/devsim.h"

namespace zelvoapi {
namespace {

bool OnUiThread() { return QThread::currentThread() == qApp->thread(); }

using qxsupport::PumpUntil;

struct TIoXmlEvent {
  std::string Name;
  bool OnUiThread;
  TIoXmlAction StateThen;  // the object's state when the handler ran
};

// Every event of one object, in arrival order.
class TIoXmlRecorder : public TEventRecord<TIoXmlEvent> {
 public:
  explicit TIoXmlRecorder(TIoXml &object) : object_(object) {
    using Self = TIoXmlRecorder;
    object.OnOpen = std::make_unique<EventHandler<Self, TSdkSimpleEventArgs>>(this, &Self::Opened);
    object.OnClose = std::make_unique<EventHandler<Self, TSdkSimpleEventArgs>>(this, &Self::Closed);
    object.OnBegin = std::make_unique<EventHandler<Self, TSdkSimpleEventArgs>>(this, &Self::Began);
    object.OnStatus = std::make_unique<EventHandler<Self, TIoXmlStatusEventArgs>>(this, &Self::Status);
    object.OnValues = std::make_unique<EventHandler<Self, TIoXmlValuesEventArgs>>(this, &Self::Values);
    object.OnSetup = std::make_unique<EventHandler<Self, TIoXmlSetupEventArgs>>(this, &Self::Setup);
    object.OnSetupSent = std::make_unique<EventHandler<Self, TIoXmlSetupEventArgs>>(this, &Self::SetupSent);
    object.OnError = std::make_unique<EventHandler<Self, TSdkErrorEventArgs>>(this, &Self::Error);
  }

  bool Has(const std::string &name) const { return Count(name) > 0; }

  std::vector<int32_t> statuses;
  std::vector<TIoXmlSetupEventArgs> setups;  // OnSetup and OnSetupSent
  std::vector<TIoXmlValuesEventArgs> values;
  std::vector<TSdkErrorEventArgs> errors;
  std::vector<std::string> sensor_names;  // read from each setup event's record

 private:
  void Note(const char *name, TEventArgs &args) {
    EXPECT_EQ(args.Sender, &object_);
    events.push_back({name, OnUiThread(), object_.State});
  }
  void Opened(TSdkSimpleEventArgs &args) { Note("open", args); }
  void Closed(TSdkSimpleEventArgs &args) { Note("close", args); }
  void Began(TSdkSimpleEventArgs &args) { Note("begin", args); }
  void Status(TIoXmlStatusEventArgs &args) {
    Note("status", args);
    statuses.push_back(args.Status);
  }
  void Values(TIoXmlValuesEventArgs &args) {
    Note("values", args);
    values.push_back(args);
  }
  void Setup(TIoXmlSetupEventArgs &args) {
    Note("setup", args);
    Keep(args);
  }
  void SetupSent(TIoXmlSetupEventArgs &args) {
    Note("setup-sent", args);
    Keep(args);
  }
  void Error(TSdkErrorEventArgs &args) {
    Note("error", args);
    errors.push_back(args);
  }
  // The records are valid only now: read them while the handler runs.
  void Keep(TIoXmlSetupEventArgs &args) {
    setups.push_back(args);
    TSetupXml<TSetupXmlBuffer> doc(args.Setup, args.Counts, args.Host, args.Port);
    TXmlSensorEnum sensor;
    doc.GetCommon(sensor);
    sensor_names.push_back(doc.GetSensor(0, sensor) == 0 ? sensor.Name : "");
  }

  TIoXml &object_;
};

devsim::DeviceConfig Thermometer() {
  devsim::DeviceConfig config;
  config.model = 36;
  config.xml_ver = "2.34";
  config.sensors = Probes(3);
  for (devsim::Sensor &sensor : config.sensors) {
    sensor.min = 10;
    sensor.max = 35;
  }
  devsim::BinaryInput input;
  input.id = 1;
  input.name = "Door";
  config.inputs = {input};
  devsim::BinaryOutput output;
  output.id = 151;
  output.name = "Horn";
  config.outputs = {output};
  config.apply_delay_ms = 0;
  return config;
}

// One simulated device and one object aimed at it. After each test the
// object is gone and qxxml is shut down again.
class SdkIoXml : public ::testing::Test {
 protected:
  void SetUp() override { Serve(Thermometer()); }
  void TearDown() override {
    recorder_.reset();
    object_.reset();
    QCoreApplication::sendPostedEvents();
    server_.stop();
    // The last object shut qxxml down: a new start succeeds instead of
    // recording QX_ERR_MODULE_IN_USE.
    EXPECT_EQ(qxxml_init(), 0);
    EXPECT_EQ(qxxml_uninit(), 0);
  }

  void Serve(const devsim::DeviceConfig &config) {
    server_.stop();
    port_ = server_.start(config);
    ASSERT_GT(port_, 0) << server_.error();
    object_ = std::make_unique<TIoXml>(nullptr);
    recorder_ = std::make_unique<TIoXmlRecorder>(*object_);
    object_->Host = "127.0.0.1";
    object_->Port = port_;
  }

  void OpenDevice() {
    ASSERT_EQ(object_->Open(), IOXML_ISSUED);
    ASSERT_EQ(object_->State, xaIdle);
  }

  // Waits for the single completion event of the request in progress.
  bool AwaitCompletion() {
    auto completions = [this] {
      return recorder_->Count("setup") + recorder_->Count("setup-sent") + recorder_->Count("values") +
             recorder_->Count("error");
    };
    int before = completions();
    return PumpUntil([&] { return completions() > before; });
  }

  std::string LastPostBody() const {
    auto post = server_.last_post();
    return post ? post->body : std::string();
  }

  devsim::Server server_;
  int port_ = -1;
  std::unique_ptr<TIoXml> object_;
  std::unique_ptr<TIoXmlRecorder> recorder_;
};

TEST_F(SdkIoXml, OpenAndSetupDownloadRaiseEventsInOrderOnUiThread) {
  OpenDevice();
  ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED);
  EXPECT_EQ(object_->State, xaGetSetup);
  ASSERT_TRUE(PumpUntil([&] { return recorder_->Has("setup"); }));
  EXPECT_EQ(recorder_->Names(), (std::vector<std::string>{"open", "begin", "status", "setup"}));
  for (const auto &event : recorder_->events) EXPECT_TRUE(event.OnUiThread) << event.Name;
  ASSERT_EQ(recorder_->statuses.size(), 1u);
  EXPECT_EQ(recorder_->statuses[0], xaGetSetup);
  const TIoXmlSetupEventArgs &setup = recorder_->setups.at(0);
  EXPECT_EQ(setup.Action, xaGetSetup);
  EXPECT_EQ(recorder_->events.back().StateThen, xaIdle);
  EXPECT_STREQ(setup.Host, "127.0.0.1");
  EXPECT_EQ(setup.Port, port_);
  EXPECT_EQ(recorder_->sensor_names.at(0), "Probe 1");
  EXPECT_EQ(setup.Counts->SenSet_count, 3);
}

TEST_F(SdkIoXml, ValuesDownloadDeliversTheSlotCache) {
  OpenDevice();
  ASSERT_EQ(object_->GetValues(), IOXML_ISSUED);
  ASSERT_TRUE(AwaitCompletion());
  ASSERT_EQ(recorder_->values.size(), 1u) << "events: " << recorder_->Names().size();
  const TIoXmlValuesEventArgs &values = recorder_->values[0];
  qxxml_values *cached = nullptr;
  qxxml_values_counts *counts = nullptr;
  ASSERT_EQ(qxxml_get_values_cache(object_->Slot, &cached, &counts), 0);
  EXPECT_EQ(values.Values, cached);
  EXPECT_EQ(values.Counts, counts);
  EXPECT_EQ(values.Port, port_);
  EXPECT_EQ(object_->State, xaIdle);
}

TEST_F(SdkIoXml, GetSetupTwiceWithoutWaitingSecondIsRefusedSilently) {
  OpenDevice();
  // A reply header in slow pieces keeps the first download running, however
  // the threads are scheduled, while the second request is made.
  server_.set_fault({devsim::FaultKind::split_header, devsim::FaultTarget::setup, 50});
  ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED);
  EXPECT_EQ(object_->GetSetup(), IOXML_BAD_STATE);
  EXPECT_EQ(recorder_->Count("begin"), 1);
  EXPECT_EQ(recorder_->Count("error"), 0);
  ASSERT_TRUE(PumpUntil([&] { return recorder_->Has("setup"); }));
  EXPECT_EQ(recorder_->Count("setup"), 1);
}

TEST_F(SdkIoXml, SetCalibrationWhileClosedReportsItsActionWithEmptyRecord) {
  EXPECT_EQ(object_->SetCalibration(201, 1.0), IOXML_BAD_STATE);
  ASSERT_EQ(recorder_->errors.size(), 1u);
  const TSdkErrorEventArgs &error = recorder_->errors[0];
  EXPECT_EQ(error.Operation, xaSetCalibration);
  EXPECT_EQ(error.Error.Code, QX_ERR_NONE);
  EXPECT_EQ(error.Error.SysCode, 0);
  EXPECT_EQ(error.Error.Text, "");
  EXPECT_EQ(error.Error.SysText, "");
  EXPECT_EQ(object_->State, xaClosed);
}

// Requests other than the three lookup-capable ones stay silent on -2.
TEST_F(SdkIoXml, RequestsWhileClosedChangeNothing) {
  struct Row {
    const char *Name;
    std::function<int()> Call;
    bool Reports;
  };
  const Row rows[] = {
      {"GetValues", [&] { return object_->GetValues(); }, false},
      {"GetSetup", [&] { return object_->GetSetup(); }, false},
      {"SendSetup", [&] { return object_->SendSetup("<Root/>"); }, false},
      {"LoadValues", [&] { return object_->LoadValues("<Root/>"); }, false},
      {"SetOutput", [&] { return object_->SetOutput(151, 1); }, false},
      {"SetRange", [&] { return object_->SetRange(201, 0, 1); }, true},
      {"SetName", [&] { return object_->SetName(201, "x"); }, true},
      {"SetCalibration", [&] { return object_->SetCalibration(201, 1); }, true},
      {"Close", [&] { return object_->Close(); }, false},
  };
  for (const Row &row : rows) {
    size_t before = recorder_->events.size();
    EXPECT_EQ(row.Call(), IOXML_BAD_STATE) << row.Name;
    EXPECT_EQ(recorder_->events.size() - before, row.Reports ? 1u : 0u) << row.Name;
    EXPECT_EQ(object_->State, xaClosed) << row.Name;
  }
}

TEST_F(SdkIoXml, RefusedGetSetupLeavesTheObjectIdle) {
  OpenDevice();
  ASSERT_EQ(qxxml_close(object_->Slot), 0);  // the library now refuses requests on the slot
  EXPECT_EQ(object_->GetSetup(), IOXML_REFUSED);
  EXPECT_EQ(object_->State, xaIdle);
  ASSERT_EQ(recorder_->errors.size(), 1u);
  EXPECT_EQ(recorder_->errors[0].Operation, xaGetSetup);
  EXPECT_EQ(recorder_->errors[0].Error.Code, QX_ERR_THREAD_NOT_RUN);
  EXPECT_EQ(recorder_->Count("begin"), 0);
  EXPECT_EQ(object_->GetValues(), IOXML_REFUSED) << "the next request is accepted by the object";
}

TEST_F(SdkIoXml, SetupDownloadWithoutValidDocumentPostsGetSetupError) {
  OpenDevice();
  server_.set_fault({devsim::FaultKind::status, devsim::FaultTarget::setup, 500});
  ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED);
  ASSERT_TRUE(AwaitCompletion());
  EXPECT_EQ(recorder_->Count("setup"), 0);
  ASSERT_EQ(recorder_->errors.size(), 1u);
  EXPECT_EQ(recorder_->errors[0].Operation, xaGetSetup);
  EXPECT_NE(recorder_->errors[0].Error.Code, QX_ERR_NONE);
  EXPECT_NE(recorder_->errors[0].Error.Text, "");
  EXPECT_TRUE(recorder_->events.back().OnUiThread);
  EXPECT_EQ(object_->State, xaIdle);
}

TEST_F(SdkIoXml, WrongPasswordReportsUnauthorizedForTheSetupDownload) {
  devsim::DeviceConfig config = Thermometer();
  config.user = "admin";
  config.password = "admin";
  Serve(config);
  object_->User = "admin";
  object_->Password = "wrong";
  OpenDevice();
  ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED);
  ASSERT_TRUE(AwaitCompletion());
  ASSERT_EQ(recorder_->errors.size(), 1u);
  EXPECT_EQ(recorder_->errors[0].Operation, xaGetSetup);
  EXPECT_EQ(recorder_->errors[0].Error.Code, QX_ERR_HTTP_401);
  EXPECT_EQ(recorder_->errors[0].Error.Text, "HTTP: Unauthorized");
  EXPECT_EQ(object_->State, xaIdle);
}

TEST_F(SdkIoXml, CalibrationReachesTheDeviceAndSetupSentCarriesItsAction) {
  OpenDevice();
  ASSERT_EQ(object_->SetCalibration(202, -1.5), IOXML_ISSUED);
  EXPECT_EQ(object_->State, xaSetCalibration);
  ASSERT_TRUE(AwaitCompletion());
  ASSERT_EQ(recorder_->Count("setup-sent"), 1) << (recorder_->errors.empty() ? "" : recorder_->errors[0].Error.Text);
  EXPECT_EQ(recorder_->setups.at(0).Action, xaSetCalibration);
  EXPECT_EQ(recorder_->events.back().StateThen, xaIdle) << "idle by the time the handler runs";
  EXPECT_NE(LastPostBody().find("<ID>202</ID><Calib>-1.5</Calib>"), std::string::npos) << LastPostBody();
  EXPECT_EQ(server_.sensor_calibration(202), -1.5);
}

TEST_F(SdkIoXml, SetOutputPostsTheOutputDocument) {
  OpenDevice();
  ASSERT_EQ(object_->SetOutput(151, 1), IOXML_ISSUED);
  ASSERT_TRUE(AwaitCompletion());
  ASSERT_EQ(recorder_->Count("setup-sent"), 1);
  EXPECT_EQ(recorder_->setups.at(0).Action, xaSetOutput);
  EXPECT_NE(LastPostBody().find("<BinaryOutSet><Entry><ID>151</ID><Value>1</Value></Entry></BinaryOutSet>"),
            std::string::npos)
      << LastPostBody();
}

// Which list a name goes to, by ID, and the index the lookup mode sends.
TEST_F(SdkIoXml, SetNameChoosesTheListByIdRange) {
  struct Row {
    uint32_t Id;
    bool Idx;
    const char *List;   // the list element posted
    const char *Entry;  // the entry's content as posted
  };
  const Row rows[] = {
      {1, false, "<BinaryInSet>", "<ID>1</ID><Name>n1</Name>"},
      {64, false, "<BinaryInSet>", "<ID>64</ID><Name>n64</Name>"},
      {65, false, "<SenSet>", "<ID>65</ID><Name>n65</Name>"},
      {151, false, "<BinaryOutSet>", "<ID>151</ID><Name>n151</Name>"},
      {214, false, "<BinaryOutSet>", "<ID>214</ID><Name>n214</Name>"},
      {215, false, "<SenSet>", "<ID>215</ID><Name>n215</Name>"},
      {64, true, "<BinaryInSet>", "<Idx>64</Idx><ID>64</ID><Name>n64</Name>"},
      {151, true, "<BinaryOutSet>", "<Idx>1</Idx><ID>151</ID><Name>n151</Name>"},
  };
  OpenDevice();
  for (const Row &row : rows) {
    object_->IdxEnabled = row.Idx;
    std::string name = "n" + std::to_string(row.Id);
    ASSERT_EQ(object_->SetName(row.Id, name), IOXML_ISSUED) << row.Id;
    ASSERT_TRUE(AwaitCompletion()) << row.Id;
    std::string body = LastPostBody();
    EXPECT_TRUE(body.find(row.List) != std::string::npos && body.find(row.Entry) != std::string::npos)
        << "id " << row.Id << " idx " << row.Idx << "\nexpected: " << row.List << " with " << row.Entry
        << "\nposted: " << body;
  }
}

// A name is text whatever characters it holds: the device keeps it whole and
// hands it back in the next download, in each of the three lists. (The
// thermometer's sensor IDs lie in the outputs' ID range.)
TEST_F(SdkIoXml, AmpersandInNameSurvivesPostAndDownload) {
  Serve(qxsupport::SteadyVariant("hygrometer"));
  struct Row {
    uint32_t Id;
    const char *(*Downloaded)(const qxxml_setup &);
    std::string (*OnDevice)(const devsim::DeviceConfig &);
  };
  const Row rows[] = {
      {101, [](const qxxml_setup &s) -> const char * { return s.SenSet_Entry_Name[0]; },
       [](const devsim::DeviceConfig &c) { return c.sensors[0].name; }},
      {1, [](const qxxml_setup &s) -> const char * { return s.BinaryInSet_Entry_Name[0]; },
       [](const devsim::DeviceConfig &c) { return c.inputs[0].name; }},
      {151, [](const qxxml_setup &s) -> const char * { return s.BinaryOutSet_Entry_Name[0]; },
       [](const devsim::DeviceConfig &c) { return c.outputs[0].name; }},
  };
  const std::string names[] = {"a&b", "R&D <lab> \"north\""};
  OpenDevice();
  for (const Row &row : rows) {
    for (const std::string &name : names) {
      SCOPED_TRACE("id " + std::to_string(row.Id) + " name " + name);
      ASSERT_EQ(object_->SetName(row.Id, name), IOXML_ISSUED);
      ASSERT_TRUE(AwaitCompletion());
      ASSERT_EQ(recorder_->Count("error"), 0) << recorder_->errors.at(0).Error.Text << "\nposted: " << LastPostBody();
      EXPECT_EQ(row.OnDevice(server_.config()), name);
      ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED);
      ASSERT_TRUE(AwaitCompletion());
      qxxml_setup *setup = nullptr;
      qxxml_setup_counts *counts = nullptr;
      ASSERT_EQ(qxxml_get_setup_cache(object_->Slot, &setup, &counts), 0);
      EXPECT_EQ(row.Downloaded(*setup), name);
    }
  }
}

// Markup in a name stays part of the name: it cannot close the Name element
// and set the calibration beside it.
TEST_F(SdkIoXml, SensorNameWithMarkupCannotChangeAnotherField) {
  Serve(qxsupport::SteadyVariant("hygrometer"));
  const std::string name = "x</Name><Calib>9.9</Calib><Name>y";
  const devsim::DeviceConfig before = server_.config();
  OpenDevice();
  ASSERT_EQ(object_->SetName(102, name), IOXML_ISSUED);
  ASSERT_TRUE(AwaitCompletion());
  ASSERT_EQ(recorder_->Count("setup-sent"), 1) << "posted: " << LastPostBody();
  const devsim::DeviceConfig after = server_.config();
  ASSERT_EQ(after.sensors.size(), before.sensors.size());
  for (size_t i = 0; i < after.sensors.size(); i++) {
    SCOPED_TRACE(after.sensors[i].id);
    EXPECT_EQ(after.sensors[i].name, i == 1 ? name : before.sensors[i].name);
    EXPECT_EQ(after.sensors[i].calib, before.sensors[i].calib);
    EXPECT_EQ(after.sensors[i].min, before.sensors[i].min);
    EXPECT_EQ(after.sensors[i].max, before.sensors[i].max);
  }
  ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED);
  ASSERT_TRUE(AwaitCompletion());
  qxxml_setup *setup = nullptr;
  qxxml_setup_counts *counts = nullptr;
  ASSERT_EQ(qxxml_get_setup_cache(object_->Slot, &setup, &counts), 0);
  EXPECT_STREQ(setup->SenSet_Entry_Name[1], name.c_str());
  EXPECT_STREQ(setup->SenSet_Entry_Calib[1], "0.0");
}

// A name whose escaped document passes the library's 19999 characters is
// refused before anything is posted, never sent cut off.
TEST_F(SdkIoXml, NameTooLongOnceEscapedIsRefusedNotCut) {
  OpenDevice();
  const size_t requests = server_.request_count();
  EXPECT_EQ(object_->SetName(102, std::string(4500, '&')), IOXML_REFUSED);
  ASSERT_EQ(recorder_->errors.size(), 1u);
  EXPECT_EQ(recorder_->errors[0].Operation, xaSetName);
  EXPECT_EQ(recorder_->errors[0].Error.Code, QX_ERR_BUFFER_FULL);
  EXPECT_EQ(object_->State, xaIdle);
  EXPECT_EQ(server_.request_count(), requests);
}

TEST_F(SdkIoXml, LookupModeFindsTheSensorIndexBeforePosting) {
  OpenDevice();
  object_->IdxEnabled = 1;
  ASSERT_EQ(object_->SetCalibration(203, 2.5), IOXML_ISSUED);
  EXPECT_EQ(recorder_->Count("begin"), 1);
  ASSERT_TRUE(AwaitCompletion());
  ASSERT_EQ(recorder_->Count("setup-sent"), 1) << (recorder_->errors.empty() ? "" : recorder_->errors[0].Error.Text);
  EXPECT_EQ(recorder_->setups.at(0).Action, xaSetCalibration);
  EXPECT_NE(LastPostBody().find("<Idx>3</Idx><ID>203</ID><Calib>2.5</Calib>"), std::string::npos) << LastPostBody();
  EXPECT_EQ(server_.sensor_calibration(203), 2.5);
}

TEST_F(SdkIoXml, LookupOfUnknownSensorPostsInvalidSensorId) {
  OpenDevice();
  object_->IdxEnabled = 1;
  size_t posts = server_.request_count();
  ASSERT_EQ(object_->SetRange(999, 1, 2), IOXML_ISSUED);
  ASSERT_TRUE(AwaitCompletion());
  ASSERT_EQ(recorder_->errors.size(), 1u);
  EXPECT_EQ(recorder_->errors[0].Operation, xaSetRange);
  EXPECT_EQ(recorder_->errors[0].Error.Text, "Invalid sensor ID");
  EXPECT_TRUE(recorder_->events.back().OnUiThread);
  EXPECT_EQ(object_->State, xaIdle);
  EXPECT_EQ(std::string(object_->LastError.text), "Invalid sensor ID");
  EXPECT_EQ(server_.request_count(), posts + 1) << "only the values download, no post";
}

TEST_F(SdkIoXml, LookupWithoutValuesReportsTheDownloadFailureInsteadOfPostingIndexMinusOne) {
  object_->Port = qxsupport::RefusedPort();  // opening connects nowhere yet; the lookup's download fails
  ASSERT_GT(object_->Port, 0);
  OpenDevice();
  object_->IdxEnabled = 1;
  ASSERT_EQ(object_->SetCalibration(201, 1.0), IOXML_ISSUED);
  ASSERT_TRUE(PumpUntil([&] { return recorder_->Has("error"); }, std::chrono::seconds(15)));
  const TSdkErrorEventArgs &error = recorder_->errors.at(0);
  EXPECT_EQ(error.Operation, xaSetCalibration);
  EXPECT_NE(error.Error.Code, QX_ERR_NONE);
  EXPECT_NE(error.Error.Text, "Invalid sensor ID");
  EXPECT_EQ(object_->State, xaIdle);
  EXPECT_EQ(object_->LastError.code, error.Error.Code);
}

TEST_F(SdkIoXml, RefusedOpenReportsTheOpenOperationWithTheLibraryRecord) {
  object_->Host = std::string(120, 'h') + ".invalid";  // longer than the library takes
  EXPECT_EQ(object_->Open(), IOXML_REFUSED);
  ASSERT_EQ(recorder_->errors.size(), 1u);
  EXPECT_EQ(recorder_->errors[0].Operation, IOXML_OPEN_OPERATION);
  EXPECT_EQ(recorder_->errors[0].Error.Code, QX_ERR_IP_NOT_VALID);
  EXPECT_EQ(object_->State, xaClosed);
  EXPECT_EQ(object_->Slot, -1);
}

TEST_F(SdkIoXml, CloseRaisesOnCloseAndReturnsToClosed) {
  OpenDevice();
  EXPECT_EQ(object_->Close(), IOXML_ISSUED);
  EXPECT_EQ(object_->State, xaClosed);
  EXPECT_EQ(object_->Slot, -1);
  EXPECT_EQ(recorder_->Names(), (std::vector<std::string>{"open", "close"}));
  OpenDevice();  // a closed object opens again
}

TEST_F(SdkIoXml, CloseWhileRequestInProgress) {
  OpenDevice();
  server_.set_fault({devsim::FaultKind::drip, devsim::FaultTarget::setup, 50});
  ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED);
  EXPECT_EQ(object_->Close(), IOXML_ISSUED);
  EXPECT_EQ(object_->State, xaClosed);
}

TEST_F(SdkIoXml, ObjectDestroyedWithDownloadInFlightDeliversNothing) {
  OpenDevice();
  ASSERT_EQ(object_->GetSetup(), IOXML_ISSUED);
  ASSERT_TRUE(PumpUntil([&] { return server_.request_count() > 0; }));
  size_t before = recorder_->events.size();
  object_.reset();  // closes the slot: whatever its worker posted is queued now
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(recorder_->events.size(), before);
}

TEST_F(SdkIoXml, PreParseHandlerRunsOnTheWorkerWithTheDocument) {
  struct THook {
    bool ran = false;
    bool on_ui = true;
    int kind = -1;
    std::string start;
    void PreParse(TIoXmlPreParseEventArgs &args) {
      ran = true;
      on_ui = OnUiThread();
      kind = args.Kind;
      start = std::string(args.Data, args.Length > 0 ? std::min(args.Length, 200) : 0);
      EXPECT_EQ(args.Result, -1) << "preset";
      args.Result = 0;  // consumed
    }
  } hook;
  object_->PreParseEnabled = 1;
  object_->OnPreParse = std::make_unique<EventHandler<THook, TIoXmlPreParseEventArgs>>(&hook, &THook::PreParse);
  OpenDevice();
  ASSERT_EQ(object_->GetValues(), IOXML_ISSUED);
  ASSERT_TRUE(AwaitCompletion());
  EXPECT_TRUE(hook.ran);
  EXPECT_FALSE(hook.on_ui);
  EXPECT_EQ(hook.kind, QXXML_DOC_VALUES);
  EXPECT_NE(hook.start.find("Root"), std::string::npos) << hook.start;
  EXPECT_EQ(recorder_->Count("values") + recorder_->Count("error"), 1) << "exactly one completion";
  EXPECT_EQ(object_->State, xaIdle);
}

TEST(SdkIoXmlSettings, CredentialsAreCutTo99Characters) {
  TIoXmlCustom object(nullptr);
  object.User = std::string(150, 'u');
  object.Password = std::string(99, 'p');
  qxxml_settings settings;
  BuildOpenSettings(object, settings);
  EXPECT_EQ(std::string(settings.get_user), std::string(99, 'u'));
  EXPECT_EQ(std::string(settings.set_user), std::string(99, 'u'));
  EXPECT_EQ(std::string(settings.get_password), std::string(99, 'p'));
  EXPECT_EQ(std::string(settings.set_password), std::string(99, 'p'));
  EXPECT_EQ(settings.connect_at_open, 0);
  EXPECT_NE(settings.callbacks.values_done, nullptr);
  EXPECT_NE(settings.callbacks.setup_done, nullptr);
  EXPECT_NE(settings.callbacks.post_done, nullptr);
  EXPECT_NE(settings.callbacks.connected, nullptr);
  EXPECT_EQ(settings.callbacks.pre_parse_hook, nullptr);
  EXPECT_EQ(settings.callbacks.post_parse_hook, nullptr);
  EXPECT_EQ(settings.callbacks.connect_failed, nullptr);
  object.PreParseEnabled = 1;
  object.PostParseEnabled = 1;
  BuildOpenSettings(object, settings);
  EXPECT_NE(settings.callbacks.pre_parse_hook, nullptr);
  EXPECT_NE(settings.callbacks.post_parse_hook, nullptr);
}

TEST(SdkIoXmlLifecycle, DefaultsAfterConstruction) {
  TIoXmlCustom object(nullptr);
  EXPECT_EQ(object.Slot, -1);
  EXPECT_EQ(object.State, xaClosed);
  EXPECT_EQ(object.Port, 80);
  EXPECT_EQ(object.IdxEnabled, 0);
  EXPECT_EQ(object.LastError.code, QX_ERR_NONE);
  EXPECT_EQ(object.LastError.text[0], '\0');
}

TEST(SdkIoXmlLifecycle, LastObjectShutsQxxmlDown) {
  {
    auto first = std::make_unique<TIoXml>(nullptr);
    TSdkMessageTarget *window = IoXmlFamily().Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->objectName().toStdString(), "TIoXmlWndClass");
    auto second = std::make_unique<TIoXml>(nullptr);
    EXPECT_EQ(IoXmlFamily().Window(), window) << "both objects post to one target";
    first.reset();
    EXPECT_EQ(IoXmlFamily().Window(), window) << "kept while an object lives";
    // Still started for the second object: a further start is counted and
    // refused with QX_ERR_MODULE_IN_USE.
    EXPECT_EQ(qxxml_init(), -1);
    EXPECT_EQ(qxxml_uninit(), -1);
  }
  EXPECT_EQ(IoXmlFamily().Window(), nullptr);
  EXPECT_EQ(qxxml_init(), 0) << "the last object shut the library down";
  EXPECT_EQ(qxxml_uninit(), 0);
}

// Exact documents, and the ones the fixed buffers could not have held.
TEST(SdkIoXmlDocuments, NumbersKeepTheDecimalPointUnderACommaLocale) {
  if (!UseCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma can be built here";
  std::string document = CalibrationDocument(false, 0, 3, -1.5);
  UseCLocale();
  EXPECT_EQ(document, "<Root><SenSet><Entry><ID>3</ID><Calib>-1.5</Calib></Entry></SenSet></Root>");
}

TEST(SdkIoXmlDocuments, TextsAsPosted) {
  struct Row {
    const char *Name;
    std::string Actual;
    std::string Expected;
  };
  const std::string long_name(300, 'n');
  const Row rows[] = {
      {"Calibration", CalibrationDocument(false, 0, 3, -1.5),
       "<Root><SenSet><Entry><ID>3</ID><Calib>-1.5</Calib></Entry></SenSet></Root>"},
      {"CalibrationRoundsByFormatting", CalibrationDocument(false, 0, 3, 0.06),
       "<Root><SenSet><Entry><ID>3</ID><Calib>0.1</Calib></Entry></SenSet></Root>"},
      {"CalibrationWithIndex", CalibrationDocument(true, 2, 3, 1),
       "<Root><SenSet><Entry><Idx>2</Idx><ID>3</ID><Calib>1.0</Calib></Entry></SenSet></Root>"},
      {"Output", OutputDocument(false, 151, 1),
       "<Root><BinaryOutSet><Entry><ID>151</ID><Value>1</Value></Entry></BinaryOutSet></Root>"},
      {"OutputWithIndex", OutputDocument(true, 152, 0),
       "<Root><BinaryOutSet><Entry><Idx>2</Idx><ID>152</ID><Value>0</Value></Entry></BinaryOutSet></Root>"},
      {"Range", RangeDocument(false, 0, 7, -10, 40.26),
       "<Root><SenSet><Entry><ID>7</ID><Min>-10.0</Min><Max>40.3</Max></Entry></SenSet></Root>"},
      {"SensorName", SensorNameDocument(true, 4294967295u, 7, "a&b"),
       "<Root><SenSet><Entry><Idx>4294967295</Idx><ID>7</ID><Name>a&amp;b</Name></Entry></SenSet></Root>"},
      {"SensorNameWithMarkup", SensorNameDocument(false, 0, 7, "x</Name><Calib>9.9</Calib><Name>y"),
       "<Root><SenSet><Entry><ID>7</ID><Name>x&lt;/Name&gt;&lt;Calib&gt;9.9&lt;/Calib&gt;&lt;Name&gt;y</Name>"
       "</Entry></SenSet></Root>"},
      {"BinaryName", BinaryNameDocument(false, "BinaryInSet", 5, 5, "Door"),
       "<Root><BinaryInSet><Entry><ID>5</ID><Name>Door</Name></Entry></BinaryInSet></Root>"},
      {"BinaryNameWithMarkup", BinaryNameDocument(true, "BinaryOutSet", 1, 151, "\"Fan\" & <Horn>"),
       "<Root><BinaryOutSet><Entry><Idx>1</Idx><ID>151</ID><Name>&quot;Fan&quot; &amp; &lt;Horn&gt;</Name></Entry>"
       "</BinaryOutSet></Root>"},
      {"LongNameKeptWhole", SensorNameDocument(false, 0, 7, long_name),
       "<Root><SenSet><Entry><ID>7</ID><Name>" + long_name + "</Name></Entry></SenSet></Root>"},
  };
  for (const Row &row : rows) EXPECT_EQ(row.Actual, row.Expected) << row.Name;

  // 1e300 prints as 301 digits: far beyond the 180 bytes a fixed buffer had.
  const std::string head = "<Root><SenSet><Entry><ID>3</ID><Calib>1";
  const std::string tail = ".0</Calib></Entry></SenSet></Root>";
  std::string huge = CalibrationDocument(false, 0, 3, 1e300);
  ASSERT_EQ(huge.size(), head.size() + 300 + tail.size());
  EXPECT_EQ(huge.compare(0, head.size(), head), 0) << huge;
  EXPECT_EQ(huge.compare(huge.size() - tail.size(), tail.size(), tail), 0) << "never cut off: " << huge;
}

}  // namespace
}  // namespace zelvoapi
