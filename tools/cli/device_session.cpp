#include "tools/cli/device_session.h"

namespace zelvocli {

namespace {

// The library gives up on a silent device after ten one-second waits of
// its own; this bound only keeps a lost event from hanging the program.
constexpr int kRequestBoundMs = 30000;

template <class TArgs>
std::unique_ptr<zelvoapi::TEventCustom> Handler(TDeviceSession *session, void (TDeviceSession::*method)(TArgs &)) {
  return std::make_unique<zelvoapi::EventHandler<TDeviceSession, TArgs>>(session, method);
}

bool IsIncomplete(const qxxml_doc_quality &quality) {
  return quality.ended_by_silence != 0 || quality.not_well_formed != 0;
}

}  // namespace

TDeviceSession::TDeviceSession(const std::string &host, int port, const TCredentials &credentials)
    : io_(std::make_unique<zelvoapi::TIoXml>(this)) {
  io_->Host = host;
  io_->Port = port;
  io_->User = credentials.User;
  io_->Password = credentials.Password;
  io_->OnSetup = Handler(this, &TDeviceSession::SetupArrived);
  io_->OnSetupSent = Handler(this, &TDeviceSession::SetupArrived);
  io_->OnValues = Handler(this, &TDeviceSession::ValuesArrived);
  io_->OnError = Handler(this, &TDeviceSession::Failed);
}

TDeviceSession::~TDeviceSession() {
  if (io_->State != zelvoapi::xaClosed) io_->Close();
}

std::string TDeviceSession::Address() const { return io_->Host + ":" + std::to_string(io_->Port); }

bool TDeviceSession::Open() {
  error_.clear();
  const int result = io_->Open();
  if (result == zelvoapi::IOXML_ISSUED) return true;
  if (error_.empty()) error_ = "the device's connection slot could not be opened";
  return false;
}

bool TDeviceSession::GetSetup() {
  return Await(zelvoapi::xaGetSetup, [this] { return io_->GetSetup(); });
}

bool TDeviceSession::GetValues() {
  return Await(zelvoapi::xaGetValues, [this] { return io_->GetValues(); });
}

bool TDeviceSession::SetCalibration(uint32_t id, double calibration) {
  return Await(zelvoapi::xaSetCalibration, [this, id, calibration] { return io_->SetCalibration(id, calibration); });
}

bool TDeviceSession::Await(zelvoapi::TIoXmlAction action, const std::function<int()> &request) {
  error_.clear();
  awaited_ = action;
  wait_.Begin();
  if (request() != zelvoapi::IOXML_ISSUED) {
    // A refusal raised its error event already, which set the text.
    if (error_.empty()) error_ = "the request was refused";
    wait_.Finish(TEventWait::kFailed);
    return false;
  }
  const TEventWait::TOutcome outcome = wait_.Run(kRequestBoundMs);
  if (outcome == TEventWait::kPending) {
    error_ = "no answer within " + std::to_string(kRequestBoundMs / 1000) + " s";
    wait_.Finish(TEventWait::kFailed);
  }
  return outcome == TEventWait::kDone;
}

void TDeviceSession::SetupArrived(zelvoapi::TIoXmlSetupEventArgs &args) {
  if (!wait_.Pending() || args.Action != awaited_) return;
  setup_.Assign(args.Setup, args.Counts, args.Host, args.Port);
  incomplete_ = IsIncomplete(args.Quality);
  wait_.Finish(TEventWait::kDone);
}

void TDeviceSession::ValuesArrived(zelvoapi::TIoXmlValuesEventArgs &args) {
  if (!wait_.Pending() || awaited_ != zelvoapi::xaGetValues) return;
  values_.Assign(args.Values, args.Counts, args.Host, args.Port);
  incomplete_ = IsIncomplete(args.Quality);
  wait_.Finish(TEventWait::kDone);
}

void TDeviceSession::Failed(zelvoapi::TSdkErrorEventArgs &args) {
  error_ = args.Error.Text;
  wait_.Finish(TEventWait::kFailed);
}

}  // namespace zelvocli
