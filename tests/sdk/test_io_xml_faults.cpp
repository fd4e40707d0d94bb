// A misbehaving device through the XML I/O object: every fault at the setup
// download and at the calibration post ends in one event the program can
// act on, the object is idle again, and the same request works once the
// fault is gone. A post the device took while its reply was spoiled must
// not be reported as a refusal code. (The silent and the dripping device,
// which run out the library's waits, are in the transfer tests, which may
// shorten them, and in the program's tests.)
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <optional>
#include <string>

#include "common/qx_error.h"
#include "sdk/io_xml.h"
#include "tests/sdk/probe_sensors.h"
#include "tests/support/pump_until.h"
#include "tools/devsim/devsim.h"

namespace zelvoapi {
namespace {

constexpr unsigned kProbe = 202;
constexpr auto kCompletionWait = std::chrono::milliseconds(5000);

devsim::DeviceConfig Thermometer() {
  devsim::DeviceConfig config;
  config.model = 36;
  config.xml_ver = "2.34";
  config.sensors = Probes(3);
  config.apply_delay_ms = 0;
  return config;
}

// The one completion a request ends in.
struct TCompletion {
  int Setups = 0;  // setup or setup-sent events
  int Errors = 0;
  uint8_t Operation = 0;
  int32_t Code = QX_ERR_NONE;
  std::string Text;
  qxxml_doc_quality Quality{};

  void Setup(TIoXmlSetupEventArgs &args) {
    ++Setups;
    Quality = args.Quality;
  }
  void Error(TSdkErrorEventArgs &args) {
    ++Errors;
    Operation = args.Operation;
    Code = args.Error.Code;
    Text = args.Error.Text;
  }
  int Count() const { return Setups + Errors; }
};

enum class TRequest { kSetup, kPost };

struct FaultCase {
  const char *name;
  const char *fault;  // in the simulator's text form
  TRequest request;
  int32_t code;  // the error event's code; QX_ERR_NONE: a setup event with a spoiled document
  bool applied;  // a post: the device took the offset
};

void PrintTo(const FaultCase &c, std::ostream *out) { *out << c.name << " (" << c.fault << ")"; }

class SdkIoXmlFault : public ::testing::TestWithParam<FaultCase> {
 protected:
  void SetUp() override {
    port_ = server_.start(Thermometer());
    ASSERT_GT(port_, 0) << server_.error();
    object_ = std::make_unique<TIoXml>(nullptr);
    object_->OnSetup = std::make_unique<EventHandler<TCompletion, TIoXmlSetupEventArgs>>(&done_, &TCompletion::Setup);
    object_->OnSetupSent =
        std::make_unique<EventHandler<TCompletion, TIoXmlSetupEventArgs>>(&done_, &TCompletion::Setup);
    object_->OnError = std::make_unique<EventHandler<TCompletion, TSdkErrorEventArgs>>(&done_, &TCompletion::Error);
    object_->Host = "127.0.0.1";
    object_->Port = port_;
    ASSERT_EQ(object_->Open(), IOXML_ISSUED);
  }
  void TearDown() override {
    object_.reset();
    QCoreApplication::sendPostedEvents();
    server_.stop();
  }

  // Issues the case's request and waits for its one completion.
  bool Run(TRequest request, double offset) {
    const int before = done_.Count();
    const int issued = request == TRequest::kSetup ? object_->GetSetup() : object_->SetCalibration(kProbe, offset);
    if (issued != IOXML_ISSUED) return false;
    return qxsupport::PumpUntil([&] { return done_.Count() > before && object_->State == xaIdle; }, kCompletionWait);
  }

  devsim::Server server_;
  int port_ = -1;
  std::unique_ptr<TIoXml> object_;
  TCompletion done_;
};

TEST_P(SdkIoXmlFault, EndsInOneEventLeavesTheObjectIdleAndTheRetryWorks) {
  const FaultCase &c = GetParam();
  const std::optional<devsim::Fault> fault = devsim::parse_fault(c.fault);
  ASSERT_TRUE(fault.has_value());
  server_.set_fault(*fault);
  ASSERT_TRUE(Run(c.request, 0.5)) << "no completion";
  EXPECT_EQ(done_.Count(), 1);
  if (c.code == QX_ERR_NONE) {
    EXPECT_EQ(done_.Setups, 1) << done_.Text;
    EXPECT_TRUE(done_.Quality.not_well_formed) << "the spoiled document is flagged";
  } else {
    ASSERT_EQ(done_.Errors, 1);
    EXPECT_EQ(done_.Operation, c.request == TRequest::kSetup ? xaGetSetup : xaSetCalibration);
    EXPECT_EQ(done_.Code, c.code) << done_.Text;
    EXPECT_FALSE(done_.Text.empty());
  }
  if (c.request == TRequest::kPost) {
    EXPECT_EQ(server_.sensor_calibration(kProbe), c.applied ? 0.5 : 0.0);
  }

  server_.clear_faults();
  done_ = TCompletion{};
  ASSERT_TRUE(Run(c.request, 0.7)) << "no completion of the retry";
  EXPECT_EQ(done_.Errors, 0) << done_.Text;
  EXPECT_EQ(done_.Setups, 1);
  EXPECT_FALSE(done_.Quality.ended_by_silence || done_.Quality.not_well_formed);
  if (c.request == TRequest::kPost) {
    EXPECT_EQ(server_.sensor_calibration(kProbe), 0.7);
  }
}

std::string CaseName(const ::testing::TestParamInfo<FaultCase> &info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Download, SdkIoXmlFault,
    ::testing::Values(
        FaultCase{"reset_mid_reply", "close-in-header@setup", TRequest::kSetup, QX_ERR_HTTP_NOT_FOUND, false},
        FaultCase{"short_status", "short-status@setup", TRequest::kSetup, QX_ERR_HTTP_NOT_FOUND, false},
        FaultCase{"garbage", "garbage@setup", TRequest::kSetup, QX_ERR_HTTP_NOT_FOUND, false},
        FaultCase{"garbage_body", "garbage-body@setup", TRequest::kSetup, QX_ERR_FILE_NOT_VALID, false},
        FaultCase{"no_declaration", "no-declaration@setup", TRequest::kSetup, QX_ERR_FILE_NOT_VALID, false},
        FaultCase{"forbidden", "status:403@setup", TRequest::kSetup, QX_ERR_HTTP_403, false},
        FaultCase{"unavailable", "status:503@setup", TRequest::kSetup, QX_ERR_HTTP_503, false},
        FaultCase{"oversized", "body-size:300000@setup", TRequest::kSetup, QX_ERR_FILE_TOO_LARGE, false},
        FaultCase{"truncated", "truncate@setup", TRequest::kSetup, QX_ERR_NONE, false}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Post, SdkIoXmlFault,
    ::testing::Values(FaultCase{"refused_forbidden", "status:403@post", TRequest::kPost, QX_ERR_HTTP_403, false},
                      FaultCase{"refused_unavailable", "status:503@post", TRequest::kPost, QX_ERR_HTTP_503, false},
                      FaultCase{"reset_mid_reply", "close-in-header@post", TRequest::kPost, QX_ERR_HTTP_NOT_FOUND,
                                true},
                      FaultCase{"short_status", "short-status@post", TRequest::kPost, QX_ERR_HTTP_NOT_FOUND, true},
                      FaultCase{"garbage", "garbage@post", TRequest::kPost, QX_ERR_HTTP_NOT_FOUND, true},
                      FaultCase{"garbage_body", "garbage-body@post", TRequest::kPost, QX_ERR_FILE_NOT_VALID, true},
                      FaultCase{"no_declaration", "no-declaration@post", TRequest::kPost, QX_ERR_FILE_NOT_VALID, true},
                      FaultCase{"oversized", "body-size:300000@post", TRequest::kPost, QX_ERR_FILE_TOO_LARGE, true},
                      FaultCase{"truncated", "truncate@post", TRequest::kPost, QX_ERR_NONE, true}),
    CaseName);

TEST(SdkIoXmlGone, DeviceThatDisappearsAfterTheOpenFailsTheDownloadWithAConnectError) {
  devsim::Server server;
  const int port = server.start(Thermometer());
  ASSERT_GT(port, 0) << server.error();
  TCompletion done;
  {
    TIoXml object(nullptr);
    object.OnSetup = std::make_unique<EventHandler<TCompletion, TIoXmlSetupEventArgs>>(&done, &TCompletion::Setup);
    object.OnError = std::make_unique<EventHandler<TCompletion, TSdkErrorEventArgs>>(&done, &TCompletion::Error);
    object.Host = "127.0.0.1";
    object.Port = port;
    ASSERT_EQ(object.Open(), IOXML_ISSUED);
    server.stop();
    ASSERT_EQ(object.GetSetup(), IOXML_ISSUED);
    ASSERT_TRUE(qxsupport::PumpUntil([&] { return done.Count() > 0 && object.State == xaIdle; }, kCompletionWait));
    EXPECT_EQ(done.Errors, 1);
    EXPECT_EQ(done.Operation, xaGetSetup);
    EXPECT_EQ(done.Code, QX_ERR_SOCKET_CONNECT) << done.Text;
    EXPECT_EQ(object.GetSetup(), IOXML_ISSUED) << "the object takes the next request";
    ASSERT_TRUE(qxsupport::PumpUntil([&] { return done.Count() > 1 && object.State == xaIdle; }, kCompletionWait));
  }
  QCoreApplication::sendPostedEvents();
}

}  // namespace
}  // namespace zelvoapi
