// Simulated devices that answer UDP searches and setups on a loopback port
// of their own, for the commands that search.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <memory>
#include <vector>

#include "tests/support/devsim_variant.h"
#include "tools/devsim/devsim.h"

namespace cli_test {

class UdpFleet : public ::testing::Test {
 protected:
  // Serves the variants `names` and answers searches for them.
  void Start(const std::vector<const char *> &names) {
    for (const char *name : names) {
      configs_.push_back(qxsupport::SteadyVariant(name));
      servers_.push_back(std::make_unique<devsim::Server>());
      ASSERT_GT(servers_.back()->start(configs_.back()), 0) << servers_.back()->error();
    }
    std::vector<devsim::Server *> devices;
    for (auto &server : servers_) devices.push_back(server.get());
    ASSERT_GT(responder_.start(devices), 0) << responder_.error();
  }
  QString Target() const { return QString("127.0.0.1:%1").arg(responder_.port()); }

  std::vector<devsim::DeviceConfig> configs_;
  // Members in this order: the responder stops before the servers it names.
  std::vector<std::unique_ptr<devsim::Server>> servers_;
  devsim::UdpResponder responder_;
};

}  // namespace cli_test
