// UDP searches and setups, one at a time: the object layer's TUdps with each
// request awaited on Qt's queue, where its events arrive.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "sdk/zelvoapi.h"
#include "tools/cli/event_wait.h"

namespace zelvocli {

using TSetupKey = std::array<uint32_t, 4>;

// Devices answer searches on this port unless told otherwise.
constexpr int kDefaultSearchPort = 9999;

// Points searches and setups at ADDRESS[:PORT] (a dotted IPv4 address)
// instead of the broadcast; false with `error` for anything else.
bool SetSearchTarget(const std::string &target, std::string &error);

// The capability bits of a found device as one number, bit i its CapBit<i>.
int CapabilityBits(const zelvoapi::TUdpsDevice &device);

// {"address", "port", "mac", "name", "model", "version", "type", "capabilities"}.
nlohmann::json DeviceJson(const zelvoapi::TUdpsDevice &device);

class TUdpSession {
 public:
  TUdpSession();  // needs a QCoreApplication
  ~TUdpSession();
  TUdpSession(const TUdpSession &) = delete;
  TUdpSession &operator=(const TUdpSession &) = delete;

  // Searches, reading the devices' names over HTTP when `names`; gives up
  // after `bound_ms`. True with Devices() filled, else false with Error().
  bool Search(bool names, int bound_ms);
  const std::vector<zelvoapi::TUdpsDevice> &Devices() const { return devices_; }

  // Sends `device` as the new settings of the found device `index`, under
  // `key` when given (devices that check setups under their own key); the
  // name is written over HTTP when `names`.
  bool Setup(int index, const zelvoapi::TUdpsDevice &device, const std::optional<TSetupKey> &key, bool names,
             int bound_ms);

  const std::string &Error() const { return error_; }

 private:
  void Done(zelvoapi::TSdkSimpleEventArgs &args);
  void Failed(zelvoapi::TSdkErrorEventArgs &args);
  bool Await(const std::function<int()> &request, int bound_ms);

  std::unique_ptr<zelvoapi::TUdps> udps_;
  std::vector<zelvoapi::TUdpsDevice> devices_;
  std::string error_;
  TEventWait wait_;
};

}  // namespace zelvocli
