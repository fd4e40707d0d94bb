// The zelvo-devsim command run as a child process, as scripts run it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/devsim/raw_http_client.h"
#include "tests/devsim/udp_probe.h"
#include "tests/devsim/xml_probe.h"
#include "tests/support/eventually.h"

namespace devsim_test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One run of the command with its standard output on a pipe and its
// standard error in a file; killed by the destructor if still running.
class Command {
 public:
  explicit Command(std::vector<std::string> args) {
    char path[] = "/tmp/devsim_stderr_XXXXXX";
    const int err = mkstemp(path);
    stderr_path_ = path;
    int out[2];
    if (err < 0 || pipe2(out, O_CLOEXEC) != 0) return;
    args.insert(args.begin(), DEVSIM_COMMAND);
    std::vector<char *> argv;  // built before fork: the child only execs
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err);
    out_ = out[0];
  }

  ~Command() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    std::remove(stderr_path_.c_str());
  }

  // Lines of standard output up to and including `last`, or all until the
  // output ends or `limit` passes.
  std::vector<std::string> lines_until(const std::string &last, milliseconds limit) {
    std::vector<std::string> lines;
    const Clock::time_point deadline = Clock::now() + limit;
    std::string pending;
    while (Clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
      if (poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0) continue;
      char c;
      const ssize_t n = read(out_, &c, 1);
      if (n <= 0) break;
      if (c != '\n') {
        pending += c;
        continue;
      }
      lines.push_back(pending);
      if (pending == last) break;
      pending.clear();
    }
    return lines;
  }

  // Exit status after `signal` (0 = none sent), or -1 if it does not exit within `limit`.
  int finish(int signal, milliseconds limit) {
    if (signal) kill(pid_, signal);
    int status = 0;
    if (!qxsupport::Eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit)) return -1;
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::string all_output() {
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(out_, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
    return text;
  }

  std::string error_output() const {
    std::ifstream file(stderr_path_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
  std::string stderr_path_;
};

struct DeviceLine {
  int index = -1;
  std::string address;
  int port = 0;
  std::string name;
};

DeviceLine parse_device_line(const std::string &line) {
  DeviceLine d;
  std::istringstream in(line);
  std::string word;
  in >> word >> d.index >> d.address >> d.port;
  if (word != "device") return {};
  std::getline(in >> std::ws, d.name);
  return d;
}

std::string curl_fetch(int port) {
  const std::string cmd = "curl -s -m 5 http://127.0.0.1:" + std::to_string(port) + "/values.xml";
  FILE *pipe = popen(cmd.c_str(), "r");
  if (!pipe) return "";
  std::string text;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  pclose(pipe);
  return text;
}

TEST(DevsimCommand, DemoFleetServesUntilSigterm) {
  Command command({"--fleet", "demo"});
  const auto lines = command.lines_until("ready", milliseconds(5000));
  ASSERT_FALSE(lines.empty());
  ASSERT_EQ(lines.back(), "ready");
  ASSERT_GE(lines.size(), 4u) << "a handful of devices";
  std::vector<DeviceLine> devices;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    devices.push_back(parse_device_line(lines[i]));
    EXPECT_EQ(devices.back().index, static_cast<int>(i)) << lines[i];
    EXPECT_EQ(devices.back().address, "127.0.0.1") << lines[i];
    EXPECT_GT(devices.back().port, 0) << lines[i];
  }
  EXPECT_EQ(devices[0].name, "Lab thermometer");

  const RawReply raw = raw_exchange(devices[0].port, get_request("/values.xml"));
  EXPECT_EQ(raw.status(), 200);
  EXPECT_TRUE(XmlProbe(raw.body()).well_formed());
  if (access("/usr/bin/curl", X_OK) == 0) {
    const std::string body = curl_fetch(devices[0].port);
    EXPECT_TRUE(XmlProbe(body).well_formed()) << body.substr(0, 200);
    EXPECT_NE(body.find("<DeviceName>Lab thermometer</DeviceName>"), std::string::npos);
  }
  EXPECT_EQ(raw_exchange(devices[0].port, get_request("/setup.xml")).status(), 401) << "admin/admin";
  EXPECT_EQ(raw_exchange(devices[0].port, get_request("/setup.xml", basic_auth("admin", "admin"))).status(), 200);

  EXPECT_EQ(command.finish(SIGTERM, milliseconds(2000)), 0);
  const std::string log = command.error_output();
  EXPECT_NE(log.find("[Lab thermometer] GET /values.xml 200"), std::string::npos) << log;
  EXPECT_NE(log.find("[Lab thermometer] GET /setup.xml 401"), std::string::npos) << log;
  EXPECT_TRUE(raw_exchange(devices[0].port, get_request("/values.xml")).refused);
}

TEST(DevsimCommand, FaultPortBaseAndSigint) {
  // A port that was free a moment ago; the command takes it and the next one.
  int base = 0;
  {
    Command probe({"--variant", "hygrometer", "--variant", "hygrometer"});
    const auto lines = probe.lines_until("ready", milliseconds(5000));
    ASSERT_EQ(lines.size(), 3u);
    base = parse_device_line(lines[0]).port;
    ASSERT_EQ(probe.finish(SIGTERM, milliseconds(2000)), 0);
  }
  Command command({"--variant", "unknown-model", "--variant", "hygrometer", "--port-base", std::to_string(base),
                   "--fault", "1=status:418@values"});
  const auto lines = command.lines_until("ready", milliseconds(5000));
  ASSERT_EQ(lines.size(), 3u) << command.error_output();
  EXPECT_EQ(parse_device_line(lines[0]).port, base);
  EXPECT_EQ(parse_device_line(lines[1]).port, base + 1);
  EXPECT_EQ(raw_exchange(base, get_request("/values.xml")).status(), 200);
  EXPECT_EQ(raw_exchange(base + 1, get_request("/values.xml")).status(), 418);
  EXPECT_EQ(command.finish(SIGINT, milliseconds(2000)), 0);
}

TEST(DevsimCommand, UdpPortAnswersSearchesForTheFleet) {
  Command command({"--variant", "thermometer", "--variant", "family5", "--udp-port", "0"});
  const auto lines = command.lines_until("ready", milliseconds(5000));
  ASSERT_EQ(lines.size(), 4u) << command.error_output();
  int udp_port = 0;
  char address[32] = "";
  ASSERT_EQ(std::sscanf(lines[2].c_str(), "udp %31s %d", address, &udp_port), 2) << lines[2];
  EXPECT_STREQ(address, "127.0.0.1");
  UdpProbe probe;
  ASSERT_TRUE(probe.ok());
  probe.send(udp_port, search_datagram());
  const std::vector<Received> replies = probe.collect(milliseconds(300), milliseconds(5000));
  ASSERT_EQ(replies.size(), 2u);
  for (const Received &r : replies) EXPECT_TRUE(authentic(r.bytes, default_search_key()));
  EXPECT_EQ(command.finish(SIGTERM, milliseconds(2000)), 0);
}

TEST(DevsimCommand, RefusesBadArguments) {
  struct Row {
    std::vector<std::string> args;
    int status;
    const char *says;  // on standard error
  };
  const Row rows[] = {
      {{"--fleet", "demo", "--bind", "192.168.1.10"}, 2, "only 127.0.0.0/8"},
      {{"--fleet", "demo", "--bind", "0.0.0.0"}, 2, "only 127.0.0.0/8"},
      {{}, 2, "no devices"},
      {{"--fleet", "huge"}, 2, "unknown fleet"},
      {{"--variant", "toaster"}, 2, "unknown variant"},
      {{"--fleet", "demo", "--fault", "9=stall"}, 2, "only 5"},
      {{"--fleet", "demo", "--fault", "explode"}, 2, "not a fault"},
      {{"--fleet", "demo", "--port-base", "70000"}, 2, "--port-base"},
      {{"--fleet", "demo", "--udp-port", "70000"}, 2, "--udp-port"},
      {{"--config", "/nonexistent/devsim.json"}, 2, "cannot be read"},
      {{"--frobnicate"}, 2, "unknown option"},
  };
  for (const Row &row : rows) {
    Command command(row.args);
    EXPECT_EQ(command.finish(0, milliseconds(3000)), row.status) << row.says;
    EXPECT_NE(command.error_output().find(row.says), std::string::npos) << command.error_output();
  }
}

TEST(DevsimCommand, HelpAndVersion) {
  {
    Command command({"--help"});
    EXPECT_EQ(command.finish(0, milliseconds(3000)), 0);
    const std::string text = command.all_output();
    for (const char *part : {"--fleet demo", "--config FILE", "--port-base", "--bind", "--fault", "admin", "ready",
                             "SIGTERM", "max-sensors", "not-listening", "--udp-port", "reply-burst"})
      EXPECT_NE(text.find(part), std::string::npos) << part;
  }
  Command command({"--version"});
  EXPECT_EQ(command.finish(0, milliseconds(3000)), 0);
  EXPECT_EQ(command.all_output().rfind("zelvo-devsim ", 0), 0u);
}

}  // namespace
}  // namespace devsim_test
