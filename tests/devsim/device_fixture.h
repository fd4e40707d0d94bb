// A simulated device started for one test and stopped with it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/devsim/raw_http_client.h"
#include "tools/devsim/devsim.h"

namespace devsim_test {

class RunningDevice {
 public:
  explicit RunningDevice(const devsim::DeviceConfig &config) : port_(server_.start(config)) {
    EXPECT_GT(port_, 0) << server_.error();
  }

  int port() const { return port_; }
  devsim::Server &server() { return server_; }

  RawReply get(const std::string &path, const std::string &authorization = "") {
    return raw_exchange(port_, get_request(path, authorization));
  }
  RawReply post(const std::string &body, const std::string &authorization = "") {
    return raw_exchange(port_, post_request(body, authorization));
  }

 private:
  devsim::Server server_;
  int port_;
};

}  // namespace devsim_test
