// The library started against simulated devices on loopback, and a record
// of the callbacks it gave. The search target is set before the library
// starts, so no test ever broadcasts.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "qxudps/qxudps.h"
#include "tools/devsim/devsim.h"

namespace udpstest {

using std::chrono::milliseconds;

// A search ends one quiet second after the last reply (three with a proxy);
// name look-ups and a setup's restart wait add to that.
constexpr milliseconds kSearchBound(15000);
constexpr milliseconds kStopBound(10000);

enum class Event { search_done, setup_done, search_error, setup_error };

struct Callback {
  Event event;
  void *owner;
  std::string text;  // the error text, for the error callbacks
};

// Every callback, in order; written on the library's worker thread.
class CallbackLog {
 public:
  std::vector<Callback> all() const;
  std::size_t count(Event event) const;
  // Waits until `event` came `times` times in all.
  bool wait_for(Event event, std::size_t times = 1, milliseconds bound = kSearchBound) const;
  void clear();
  void add(Callback callback);

 private:
  mutable std::mutex mutex_;
  std::vector<Callback> callbacks_;
};

// Devices serving HTTP and the UDP responder answering for them.
class Fleet {
 public:
  explicit Fleet(const std::vector<devsim::DeviceConfig> &configs);
  ~Fleet();
  int udp_port() const { return udp_port_; }
  devsim::Server &server(std::size_t i) { return *servers_[i]; }
  std::size_t size() const { return servers_.size(); }
  devsim::UdpResponder &responder() { return responder_; }

 private:
  std::vector<std::unique_ptr<devsim::Server>> servers_;
  devsim::UdpResponder responder_;
  int udp_port_ = -1;
};

// `count` simulated devices with their own MACs, of discovery type `type`.
std::vector<devsim::DeviceConfig> Devices(std::size_t count, int type = 6);

// The library started, its callbacks going to `log()`, its search target
// the responder `udp_port`; stopped again, and waited for, at the end.
class LibraryTest : public ::testing::Test {
 public:
  static CallbackLog &log();
  static std::string ErrorText();
  static bool Stopped();

 protected:
  void TearDown() override;
  // Points the search at `udp_port`, starts the library and installs the
  // callbacks, which every start clears.
  void Start(int udp_port);
  static void InstallCallbacks();
  // Runs a search and waits for its search_done or search_error.
  void SearchAndWait(int lookup_names = 0);
  std::vector<qxudps_device> Records() const;
  // The record of the device with `mac`, if the last search found it.
  static const qxudps_device *Found(const std::string &mac);
};

}  // namespace udpstest
