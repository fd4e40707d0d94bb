#include "tests/qxudps/library_fixture.h"

#include <cstdio>

#include "qxudps/qxudps_state_private.h"
#include "tests/support/eventually.h"

namespace udpstest {

std::vector<Callback> CallbackLog::all() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return callbacks_;
}

std::size_t CallbackLog::count(Event event) const {
  std::lock_guard<std::mutex> hold(mutex_);
  std::size_t n = 0;
  for (const Callback &c : callbacks_) n += c.event == event;
  return n;
}

bool CallbackLog::wait_for(Event event, std::size_t times, milliseconds bound) const {
  return qxsupport::Eventually([&] { return count(event) >= times; }, bound);
}

void CallbackLog::clear() {
  std::lock_guard<std::mutex> hold(mutex_);
  callbacks_.clear();
}

void CallbackLog::add(Callback callback) {
  std::lock_guard<std::mutex> hold(mutex_);
  callbacks_.push_back(std::move(callback));
}

Fleet::Fleet(const std::vector<devsim::DeviceConfig> &configs) {
  std::vector<devsim::Server *> pointers;
  for (const devsim::DeviceConfig &config : configs) {
    servers_.push_back(std::make_unique<devsim::Server>());
    EXPECT_GT(servers_.back()->start(config), 0) << servers_.back()->error();
    pointers.push_back(servers_.back().get());
  }
  udp_port_ = responder_.start(pointers);
  EXPECT_GT(udp_port_, 0) << responder_.error();
}

Fleet::~Fleet() {
  responder_.stop();
  for (auto &server : servers_) server->stop();
}

std::vector<devsim::DeviceConfig> Devices(std::size_t count, int type) {
  std::vector<devsim::DeviceConfig> configs;
  for (std::size_t i = 0; i < count; ++i) {
    devsim::DeviceConfig config;
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:00:5E:10:00:%02X", static_cast<unsigned>(i + 1));
    config.mac = mac;
    config.device_name = "Device " + std::to_string(i + 1);
    config.discovery.type_code = type;
    configs.push_back(config);
  }
  return configs;
}

namespace {

CallbackLog the_log;

void on_search_done(void *owner) { the_log.add({Event::search_done, owner, {}}); }
void on_setup_done(void *owner) { the_log.add({Event::setup_done, owner, {}}); }
void on_search_error(void *owner, qx_error_record *error) { the_log.add({Event::search_error, owner, error->text}); }
void on_setup_error(void *owner, qx_error_record *error) { the_log.add({Event::setup_error, owner, error->text}); }

}  // namespace

CallbackLog &LibraryTest::log() { return the_log; }

void LibraryTest::Start(int udp_port) {
  the_log.clear();
  ASSERT_EQ(qxudps_set_search_target("127.0.0.1", udp_port), 0);
  ASSERT_EQ(qxudps_init(), 0) << ErrorText();
  InstallCallbacks();
}

void LibraryTest::InstallCallbacks() {
  const qxudps_callbacks callbacks{on_search_done, on_setup_done, on_search_error, on_setup_error};
  qxudps_callback(&callbacks);
}

void LibraryTest::TearDown() {
  qxudps_uninit();
  EXPECT_TRUE(qxsupport::Eventually(Stopped, kStopBound)) << "the worker did not end";
  qxudps_clr_proxy();
  qxudps_set_setup_wait_ms(-1);
}

void LibraryTest::SearchAndWait(int lookup_names) {
  const std::size_t ends = the_log.count(Event::search_done) + the_log.count(Event::search_error);
  ASSERT_EQ(qxudps_search(lookup_names, this), 0) << ErrorText();
  ASSERT_TRUE(qxsupport::Eventually(
      [&] { return the_log.count(Event::search_done) + the_log.count(Event::search_error) > ends; }, kSearchBound));
}

std::string LibraryTest::ErrorText() {
  qx_error_record record;
  qxudps_error(&record);
  return record.text;
}

bool LibraryTest::Stopped() { return qxudps_lib.initialised == 0; }

std::vector<qxudps_device> LibraryTest::Records() const {
  std::vector<qxudps_device> records;
  qxudps_rewind();
  qxudps_device record;
  while (qxudps_record_copy(&record) == 0) records.push_back(record);
  return records;
}

const qxudps_device *LibraryTest::Found(const std::string &mac) {
  for (int i = 0; i < qxudps_count(); ++i)
    if (mac == qxudps_lib.records[i].mac) return &qxudps_lib.records[i];
  return nullptr;
}

}  // namespace udpstest
