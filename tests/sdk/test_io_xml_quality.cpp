// The document events of the XML I/O object tell whether their records
// hold the whole document: a reply cut off mid-document arrives flagged,
// with the parser's line, and still as a document event, not an error.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <memory>
#include <string>

#include "sdk/io_xml.h"
#include "tests/sdk/probe_sensors.h"
#include "tests/support/pump_until.h"
#include "tools/devsim/devsim.h"

namespace zelvoapi {
namespace {

using qxsupport::PumpUntil;

// Where the documents are cut: inside the second sensor's entry.
constexpr const char *kCutBefore = "<Name>Probe 2";

devsim::DeviceConfig TwoProbes() {
  devsim::DeviceConfig config;
  config.sensors = Probes(2);
  config.apply_delay_ms = 0;
  return config;
}

int LineAt(const std::string &text, size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

// The one document event a request raised, and the quality it carried.
class TQualityRecorder {
 public:
  explicit TQualityRecorder(TIoXml &object) {
    using Self = TQualityRecorder;
    object.OnValues = std::make_unique<EventHandler<Self, TIoXmlValuesEventArgs>>(this, &Self::Values);
    object.OnSetup = std::make_unique<EventHandler<Self, TIoXmlSetupEventArgs>>(this, &Self::Setup);
    object.OnSetupSent = std::make_unique<EventHandler<Self, TIoXmlSetupEventArgs>>(this, &Self::SetupSent);
    object.OnError = std::make_unique<EventHandler<Self, TSdkErrorEventArgs>>(this, &Self::Error);
  }

  std::string event;  // "values", "setup", "setup-sent" or "error"
  qxxml_doc_quality quality = {-1, -1, -1};
  int sensors = -1;  // entries the event's record holds

 private:
  void Values(TIoXmlValuesEventArgs &args) {
    event = "values";
    quality = args.Quality;
    sensors = args.Counts ? args.Counts->SenSet_count : -1;
  }
  void Setup(TIoXmlSetupEventArgs &args) { Keep("setup", args); }
  void SetupSent(TIoXmlSetupEventArgs &args) { Keep("setup-sent", args); }
  void Error(TSdkErrorEventArgs &) { event = "error"; }
  void Keep(const char *name, const TIoXmlSetupEventArgs &args) {
    event = name;
    quality = args.Quality;
    sensors = args.Counts ? args.Counts->SenSet_count : -1;
  }
};

enum class TRequest { Values, Setup, Post };

const char kCalibrationPost[] = "<Root><SenSet><Entry><ID>202</ID><Calib>-1.5</Calib></Entry></SenSet></Root>";

struct TQualityRow {
  const char *Name;
  TRequest Request;
  devsim::FaultTarget CutTarget;  // where the reply is cut; all: nowhere
  const char *Event;
  int NotWellFormed;
  int Sensors;  // entries before the cut, or all of them
};

void PrintTo(const TQualityRow &row, std::ostream *out) { *out << row.Name; }

class SdkIoXmlQuality : public ::testing::TestWithParam<TQualityRow> {
 protected:
  void TearDown() override {
    recorder_.reset();
    object_.reset();
    QCoreApplication::sendPostedEvents();
    server_.stop();
  }

  devsim::Server server_;
  std::unique_ptr<TIoXml> object_;
  std::unique_ptr<TQualityRecorder> recorder_;
};

TEST_P(SdkIoXmlQuality, DocumentEventCarriesTheQuality) {
  const TQualityRow &row = GetParam();
  const int port = server_.start(TwoProbes());
  ASSERT_GT(port, 0) << server_.error();
  // A post's reply is the setup document, its calibration after the cut.
  const std::string document = row.Request == TRequest::Values ? server_.values_document() : server_.setup_document();
  const size_t cut = document.find(kCutBefore);
  ASSERT_NE(cut, std::string::npos);
  const bool cut_off = row.CutTarget != devsim::FaultTarget::all;
  if (cut_off) server_.set_fault({devsim::FaultKind::truncate_body, row.CutTarget, static_cast<long>(cut)});

  object_ = std::make_unique<TIoXml>(nullptr);
  recorder_ = std::make_unique<TQualityRecorder>(*object_);
  object_->Host = "127.0.0.1";
  object_->Port = port;
  ASSERT_EQ(object_->Open(), IOXML_ISSUED);
  int issued = IOXML_REFUSED;
  switch (row.Request) {
    case TRequest::Values: issued = object_->GetValues(); break;
    case TRequest::Setup: issued = object_->GetSetup(); break;
    case TRequest::Post: issued = object_->SendSetup(kCalibrationPost); break;
  }
  ASSERT_EQ(issued, IOXML_ISSUED);
  ASSERT_TRUE(PumpUntil([&] { return !recorder_->event.empty(); }));

  EXPECT_EQ(recorder_->event, row.Event) << "a cut document still completes the request";
  EXPECT_EQ(recorder_->sensors, row.Sensors);
  EXPECT_EQ(recorder_->quality.ended_by_silence, 0) << "the device closed";
  EXPECT_EQ(recorder_->quality.not_well_formed, row.NotWellFormed);
  EXPECT_EQ(recorder_->quality.error_line, cut_off ? LineAt(document, cut) : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SdkIoXmlQuality,
    ::testing::Values(TQualityRow{"WholeSetup", TRequest::Setup, devsim::FaultTarget::all, "setup", 0, 2},
                      TQualityRow{"TruncatedSetup", TRequest::Setup, devsim::FaultTarget::setup, "setup", 1, 1},
                      TQualityRow{"WholeValues", TRequest::Values, devsim::FaultTarget::all, "values", 0, 2},
                      TQualityRow{"TruncatedValues", TRequest::Values, devsim::FaultTarget::values, "values", 1, 1},
                      TQualityRow{"WholePostReply", TRequest::Post, devsim::FaultTarget::all, "setup-sent", 0, 2},
                      TQualityRow{"TruncatedPostReply", TRequest::Post, devsim::FaultTarget::post, "setup-sent", 1, 1}),
    [](const ::testing::TestParamInfo<TQualityRow> &info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace zelvoapi
