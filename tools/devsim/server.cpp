// One device's HTTP server: a single thread runs a poll loop over the
// listening socket, a wake-up pipe and every open connection, so that slow,
// stalled and dripping replies never hold up other requests or stop().
#include <fcntl.h>
#include <libxml/parser.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <thread>

#include "tools/devsim/devsim.h"
#include "tools/devsim/net_private.h"
#include "tools/devsim/request_handler_private.h"

namespace devsim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Connections served at once; further ones are closed at accept.
constexpr std::size_t kConnectionMax = 32;
// A request must arrive whole within 10 s, like the client's own receive limit.
constexpr milliseconds kRequestTimeout{10000};
// After the reply, wait this long for the peer to close before closing
// ourselves, so that unread request bytes cannot turn the close into a reset
// that destroys the reply.
constexpr milliseconds kDrainTimeout{2000};
constexpr std::size_t kRequestLogMax = 256;

struct Connection {
  enum class Phase { reading, sending, holding, draining };
  int fd = -1;
  Phase phase = Phase::reading;
  std::string in;
  ReplyPlan plan;
  std::size_t segment = 0;  // segment being sent
  std::size_t offset = 0;   // bytes of plan.bytes sent
  std::size_t segment_end = 0;
  bool peer_done = false;  // the peer sent its FIN
  Clock::time_point due;   // reading/draining: deadline; sending: start of the segment
};

int ms_until(Clock::time_point t, Clock::time_point now) {
  if (t <= now) return 0;
  return static_cast<int>(std::chrono::ceil<milliseconds>(t - now).count());
}

}  // namespace

struct Server::Impl {
  mutable std::mutex mutex;
  // Guarded by mutex.
  std::optional<DeviceState> device;
  std::vector<Fault> faults;
  std::deque<Request> log;
  std::optional<Request> last_post;
  std::size_t request_count = 0;
  std::string error;
  std::string address;
  int port = -1;
  bool running = false;

  // Loop thread only, once started.
  RequestObserver observer;
  int listen_fd = -1;
  std::vector<Connection> connections;

  std::thread thread;
  std::atomic<bool> stopping{false};
  int wake_read = -1;
  int wake_write = -1;

  void wake() {
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost.
    [[maybe_unused]] ssize_t n = write(wake_write, &byte, 1);
  }

  bool wants_listener() const {
    std::lock_guard<std::mutex> lock(mutex);
    return std::none_of(faults.begin(), faults.end(),
                        [](const Fault &f) { return f.kind == FaultKind::not_listening; });
  }

  // Opens or closes the listener as the not-listening fault says. The port
  // stays the device's: reopening binds it again.
  void reconcile_listener() {
    const bool want = wants_listener();
    if (!want) {
      close_fd(listen_fd);
      return;
    }
    if (listen_fd >= 0) return;
    int bound = 0;
    std::string why;
    std::string addr;
    int p = 0;
    {
      std::lock_guard<std::mutex> lock(mutex);
      addr = address;
      p = port;
    }
    listen_fd = open_listener(addr, p, bound, why);
    if (listen_fd < 0) {
      std::lock_guard<std::mutex> lock(mutex);
      error = why;
    }
  }

  void accept_all() {
    for (;;) {
      int fd = accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      if (connections.size() >= kConnectionMax) {
        close(fd);
        continue;
      }
      Connection c;
      c.fd = fd;
      c.due = Clock::now() + kRequestTimeout;
      connections.push_back(std::move(c));
    }
  }

  // Builds the reply to a complete (or unreadable) request and starts sending it.
  void answer(Connection &c, const ParsedRequest &parsed, ParseState state) {
    const Clock::time_point now = Clock::now();
    Request record = parsed.request;
    ReplyPlan plan;
    {
      std::lock_guard<std::mutex> lock(mutex);
      const Fault fault = state == ParseState::bad ? Fault{} : fault_for(faults, target_of(record));
      Response response = respond(*device, parsed, state, fault, port, now);
      plan = plan_reply(std::move(response), fault);
      record.status = plan.status;
      ++request_count;
      log.push_back(record);
      if (log.size() > kRequestLogMax) log.pop_front();
      if (record.method == "POST") last_post = record;
    }
    if (observer) observer(record);
    c.plan = std::move(plan);
    c.phase = Connection::Phase::sending;
    c.segment = 0;
    c.offset = 0;
    c.segment_end = c.plan.segments.empty() ? 0 : c.plan.segments[0].length;
    c.due = now + milliseconds(c.plan.segments.empty() ? 0 : c.plan.segments[0].delay_ms);
  }

  // Returns false when the connection is finished and must be closed.
  bool on_readable(Connection &c) {
    char buf[4096];
    bool eof = false;
    for (;;) {
      const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
      if (n > 0) {
        if (c.phase == Connection::Phase::reading) c.in.append(buf, static_cast<std::size_t>(n));
        continue;
      }
      if (n == 0) {
        eof = true;
        break;
      }
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      return false;
    }
    if (c.phase == Connection::Phase::reading) {
      ParsedRequest parsed;
      const ParseState state = parse_request(c.in, parsed);
      if (state == ParseState::incomplete) return !eof;  // a request cut short ends here
      answer(c, parsed, state);
    }
    if (!eof) return true;
    // A reply being sent goes on, as a peer may close only its sending side;
    // a dropped stall and a drained connection end here.
    if (c.phase != Connection::Phase::sending) return false;
    c.peer_done = true;
    return true;
  }

  void finish_reply(Connection &c, Clock::time_point now) {
    if (c.plan.hold_open) {
      c.phase = Connection::Phase::holding;
      return;
    }
    shutdown(c.fd, SHUT_WR);
    c.phase = Connection::Phase::draining;
    c.due = now + kDrainTimeout;
  }

  // Sends what is due; returns false when the peer is gone.
  bool on_writable(Connection &c) {
    const Clock::time_point now = Clock::now();
    while (c.segment < c.plan.segments.size() && now >= c.due) {
      while (c.offset < c.segment_end) {
        const ssize_t n =
            send(c.fd, c.plan.bytes.data() + c.offset, c.segment_end - c.offset, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
          c.offset += static_cast<std::size_t>(n);
          continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false;
      }
      ++c.segment;
      if (c.segment < c.plan.segments.size()) {
        c.segment_end += c.plan.segments[c.segment].length;
        c.due = now + milliseconds(c.plan.segments[c.segment].delay_ms);
      }
    }
    if (c.segment >= c.plan.segments.size()) finish_reply(c, now);
    return true;
  }

  void loop() {
    std::vector<pollfd> fds;
    while (!stopping.load()) {
      reconcile_listener();
      const Clock::time_point now = Clock::now();
      int timeout = -1;
      fds.clear();
      fds.push_back({wake_read, POLLIN, 0});
      const bool listening = listen_fd >= 0 && connections.size() < kConnectionMax;
      fds.push_back({listening ? listen_fd : -1, POLLIN, 0});
      for (Connection &c : connections) {
        short events = 0;
        switch (c.phase) {
          case Connection::Phase::reading:
          case Connection::Phase::draining:
            events = POLLIN;
            timeout = timeout < 0 ? ms_until(c.due, now) : std::min(timeout, ms_until(c.due, now));
            break;
          case Connection::Phase::sending:
            events = c.peer_done ? 0 : POLLIN;
            if (now >= c.due)
              events |= POLLOUT;
            else
              timeout = timeout < 0 ? ms_until(c.due, now) : std::min(timeout, ms_until(c.due, now));
            break;
          case Connection::Phase::holding: events = POLLIN; break;
        }
        fds.push_back({c.fd, events, 0});
      }
      if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;

      if (fds[0].revents & POLLIN) {
        char drain[64];
        while (read(wake_read, drain, sizeof drain) > 0) {
        }
      }
      // Connections accepted now are polled from the next round on.
      const std::size_t polled = connections.size();
      if (fds[1].revents & POLLIN) accept_all();

      const Clock::time_point after = Clock::now();
      std::vector<Connection> kept;
      kept.reserve(connections.size());
      for (std::size_t i = 0; i < connections.size(); ++i) {
        Connection &c = connections[i];
        bool alive = true;
        if (i < polled) {
          const short re = fds[i + 2].revents;
          if (re & POLLNVAL) alive = false;
          if (alive && (re & (POLLIN | POLLHUP | POLLERR))) alive = on_readable(c);
          if (alive && c.phase == Connection::Phase::sending) alive = on_writable(c);
        }
        if (alive && (c.phase == Connection::Phase::reading || c.phase == Connection::Phase::draining) &&
            after >= c.due)
          alive = false;  // request never completed, or peer never closed
        if (alive)
          kept.push_back(std::move(c));
        else
          close(c.fd);
      }
      connections = std::move(kept);
    }
    for (Connection &c : connections) close(c.fd);
    connections.clear();
    close_fd(listen_fd);
  }
};

Server::Server() : impl_(std::make_unique<Impl>()) {}

Server::~Server() { stop(); }

int Server::start(const DeviceConfig &config, RequestObserver observer) {
  if (impl_->thread.joinable()) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->error = "already running";
    return -1;
  }
  const std::string invalid = DeviceState::validate(config);
  if (!invalid.empty()) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->error = invalid;
    return -1;
  }
  static std::once_flag xml_once;
  std::call_once(xml_once, [] { xmlInitParser(); });

  int port = 0;
  std::string why;
  int fd = open_listener(config.bind_address, config.port, port, why);
  if (fd < 0) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->error = why;
    return -1;
  }
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) {
    close(fd);
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->error = "pipe failed";
    return -1;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->device.emplace(config, Clock::now());
    impl_->faults = config.faults;
    impl_->log.clear();
    impl_->last_post.reset();
    impl_->request_count = 0;
    impl_->error.clear();
    impl_->address = config.bind_address;
    impl_->port = port;
    impl_->running = true;
  }
  impl_->observer = std::move(observer);
  impl_->listen_fd = fd;
  impl_->wake_read = pipe_fds[0];
  impl_->wake_write = pipe_fds[1];
  impl_->stopping = false;
  // The port was bound above; a not-listening fault closes it before the
  // first client can connect, which leaves it reserved but refusing.
  impl_->reconcile_listener();
  impl_->thread = std::thread([this] { impl_->loop(); });
  return port;
}

void Server::stop() {
  if (!impl_->thread.joinable()) return;
  impl_->stopping = true;
  impl_->wake();
  impl_->thread.join();
  close_fd(impl_->wake_read);
  close_fd(impl_->wake_write);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->running = false;
}

bool Server::running() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->running;
}

int Server::port() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->port;
}

std::string Server::address() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->address;
}

std::string Server::error() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->error;
}

void Server::set_fault(const Fault &fault) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    auto &faults = impl_->faults;
    faults.erase(std::remove_if(faults.begin(), faults.end(), [&](const Fault &f) { return f.target == fault.target; }),
                 faults.end());
    if (fault.kind != FaultKind::none) faults.push_back(fault);
  }
  if (impl_->thread.joinable()) impl_->wake();
}

void Server::clear_faults() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->faults.clear();
  }
  if (impl_->thread.joinable()) impl_->wake();
}

void Server::set_apply_delay_ms(int ms) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->device) impl_->device->set_apply_delay_ms(std::max(0, ms));
}

std::optional<Request> Server::last_post() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->last_post;
}

std::vector<Request> Server::requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return {impl_->log.begin(), impl_->log.end()};
}

std::size_t Server::request_count() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->request_count;
}

std::optional<double> Server::sensor_calibration(unsigned id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->device ? impl_->device->calibration(id) : std::nullopt;
}

std::optional<double> Server::sensor_reading(unsigned id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->device ? impl_->device->reading(id, Clock::now()) : std::nullopt;
}

DeviceConfig Server::config() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->device ? impl_->device->config() : DeviceConfig{};
}

std::string Server::values_document() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->device ? impl_->device->values_document(Clock::now(), impl_->port) : std::string();
}

std::vector<Fault> Server::faults() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->faults;
}

void Server::apply_network_setup(const NetworkSetup &setup) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->device) impl_->device->apply_network_setup(setup);
}

std::string Server::setup_document() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->device ? impl_->device->setup_document(Clock::now(), impl_->port) : std::string();
}

}  // namespace devsim
