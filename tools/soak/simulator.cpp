#include "tools/soak/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

extern char **environ;

namespace soak {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kVariant[] = "thermometer";
// Starting a few hundred devices takes well under a second; far beyond it.
constexpr auto kReadyLimit = std::chrono::seconds(30);
constexpr auto kStopLimit = std::chrono::seconds(10);
constexpr auto kReapPoll = std::chrono::milliseconds(10);

int milliseconds_until(Clock::time_point limit) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

devsim::DeviceConfig soak_variant() { return devsim::variant(kVariant).value_or(devsim::DeviceConfig{}); }

std::vector<std::string> soak_fleet_arguments(int count) {
  std::vector<std::string> arguments;
  for (int i = 0; i < count; i++) {
    arguments.push_back("--variant");
    arguments.push_back(kVariant);
  }
  return arguments;
}

Simulator::~Simulator() { stop(); }

std::string Simulator::start(const std::vector<std::string> &arguments) {
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) return "pipe failed";
  std::vector<char *> argv;
  std::string program = SOAK_DEVSIM_PATH;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string &argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  // The child's stdout is the pipe; its request log (stderr) is not wanted.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const int spawned = posix_spawn(&child_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_ends[1]);
  if (spawned != 0) {
    child_ = -1;
    close(pipe_ends[0]);
    return "cannot start " + program;
  }
  std::string failure = read_until_ready(pipe_ends[0]);
  close(pipe_ends[0]);
  return failure;
}

std::string Simulator::read_until_ready(int from) {
  const Clock::time_point limit = Clock::now() + kReadyLimit;
  std::string pending;
  for (;;) {
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      std::istringstream line(pending.substr(0, end));
      std::string word;
      line >> word;
      if (word == "ready") return "";
      Endpoint endpoint;
      if (word == "device") {
        long index;
        line >> index >> endpoint.address >> endpoint.port;
        devices_.push_back(endpoint);
      } else if (word == "udp") {
        line >> udp_.address >> udp_.port;
      }
    }
    pollfd readable{from, POLLIN, 0};
    if (poll(&readable, 1, milliseconds_until(limit)) <= 0) return "the simulator did not get ready";
    char buffer[4096];
    const ssize_t got = read(from, buffer, sizeof buffer);
    if (got <= 0) return "the simulator ended before it was ready";
    pending.append(buffer, static_cast<std::size_t>(got));
  }
}

void Simulator::stop() {
  if (child_ <= 0) return;
  kill(child_, SIGTERM);
  const Clock::time_point limit = Clock::now() + kStopLimit;
  while (waitpid(child_, nullptr, WNOHANG) == 0) {
    if (Clock::now() > limit) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(kReapPoll);
  }
  child_ = -1;
  devices_.clear();
  udp_ = Endpoint{};
}

}  // namespace soak
