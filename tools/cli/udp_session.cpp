#include "tools/cli/udp_session.h"

#include "tools/cli/host_port.h"

namespace zelvocli {

namespace {

template <class TArgs>
std::unique_ptr<zelvoapi::TEventCustom> Handler(TUdpSession *session, void (TUdpSession::*method)(TArgs &)) {
  return std::make_unique<zelvoapi::EventHandler<TUdpSession, TArgs>>(session, method);
}

}  // namespace

bool SetSearchTarget(const std::string &target, std::string &error) {
  const std::optional<THostPort> address = ParseHostPort(target, kDefaultSearchPort);
  if (!address || qxudps_set_search_target(address->Host.c_str(), address->Port) != 0) {
    error = "not a dotted ADDRESS[:PORT]: " + target;
    return false;
  }
  return true;
}

int CapabilityBits(const zelvoapi::TUdpsDevice &device) {
  const int32_t bits[] = {device.CapBit0, device.CapBit1, device.CapBit2, device.CapBit3,
                          device.CapBit4, device.CapBit5, device.CapBit6};
  int value = 0;
  for (int i = 0; i < static_cast<int>(sizeof bits / sizeof bits[0]); ++i)
    if (bits[i] != 0) value |= 1 << i;
  return value;
}

nlohmann::json DeviceJson(const zelvoapi::TUdpsDevice &device) {
  return {{"address", device.Ip},  {"port", device.Port},
          {"mac", device.Mac},     {"name", device.Name},
          {"model", device.Model}, {"version", device.Version},
          {"type", device.Type},   {"capabilities", CapabilityBits(device)}};
}

TUdpSession::TUdpSession() : udps_(std::make_unique<zelvoapi::TUdps>(this)) {
  udps_->OnSearchDone = Handler(this, &TUdpSession::Done);
  udps_->OnSetupDone = Handler(this, &TUdpSession::Done);
  udps_->OnError = Handler(this, &TUdpSession::Failed);
}

TUdpSession::~TUdpSession() = default;

bool TUdpSession::Search(bool names, int bound_ms) {
  devices_.clear();
  udps_->LookupNames = names ? 1 : 0;
  if (!Await([this] { return udps_->Search(); }, bound_ms)) return false;
  // The count is asked for every record: it drops to "busy" should another
  // search start, and the records go with it.
  for (int32_t i = 0; i < udps_->DeviceCount(); ++i) {
    zelvoapi::TUdpsDevice device;
    if (udps_->GetDevice(i, device) != zelvoapi::UDPS_DONE) break;
    devices_.push_back(std::move(device));
  }
  return true;
}

bool TUdpSession::Setup(int index, const zelvoapi::TUdpsDevice &device, const std::optional<TSetupKey> &key, bool names,
                        int bound_ms) {
  udps_->LookupNames = names ? 1 : 0;
  return Await(
      [&] {
        if (!key) return udps_->Setup(index, device);
        return udps_->SetupWithKeys(index, device, (*key)[0], (*key)[1], (*key)[2], (*key)[3]);
      },
      bound_ms);
}

bool TUdpSession::Await(const std::function<int()> &request, int bound_ms) {
  error_.clear();
  wait_.Begin();
  if (request() != zelvoapi::UDPS_DONE) {
    // A refusal raised its error event already, which set the text.
    if (error_.empty()) error_ = "the request was refused";
    wait_.Finish(TEventWait::kFailed);
    return false;
  }
  const TEventWait::TOutcome outcome = wait_.Run(bound_ms);
  if (outcome == TEventWait::kPending) {
    error_ = "no completion within " + std::to_string(bound_ms / 1000) + " s";
    wait_.Finish(TEventWait::kFailed);
  }
  return outcome == TEventWait::kDone;
}

void TUdpSession::Done(zelvoapi::TSdkSimpleEventArgs &) {
  if (wait_.Pending()) wait_.Finish(TEventWait::kDone);
}

void TUdpSession::Failed(zelvoapi::TSdkErrorEventArgs &args) {
  error_ = args.Error.Text;
  wait_.Finish(TEventWait::kFailed);
}

}  // namespace zelvocli
