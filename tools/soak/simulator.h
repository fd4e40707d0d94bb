// Simulated devices in a child process (zelvo-devsim), so that the soak's
// own process holds only what the libraries hold: the simulator keeps a
// history of requests per device, which would grow in any process serving
// it for a while.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tools/devsim/devsim.h"

namespace soak {

struct Endpoint {
  std::string address;
  int port = 0;
};

class Simulator {
 public:
  Simulator() = default;
  ~Simulator();  // stops the child
  Simulator(const Simulator &) = delete;
  Simulator &operator=(const Simulator &) = delete;

  // Starts zelvo-devsim with `arguments` and waits until it is ready.
  // Empty, or why it did not start.
  std::string start(const std::vector<std::string> &arguments);
  // Terminates the child, by its process id, and reaps it.
  void stop();

  const std::vector<Endpoint> &devices() const { return devices_; }
  const Endpoint &udp() const { return udp_; }  // port 0 without --udp-port

 private:
  std::string read_until_ready(int from);

  pid_t child_ = -1;
  std::vector<Endpoint> devices_;
  Endpoint udp_;
};

// The variant every soak's devices run, with its credentials and sensors;
// the soak process reads it from the same library as the child.
devsim::DeviceConfig soak_variant();
// Arguments that start `count` devices of soak_variant().
std::vector<std::string> soak_fleet_arguments(int count);

}  // namespace soak
