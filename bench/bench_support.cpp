#include "bench/bench_support.h"

#include <arpa/inet.h>
#include <libxml/parser.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace bench {

namespace {

bool smoke_run = false;

// Large enough that a whole reply of a simulated device (at most 20000
// bytes of document and its header) arrives in one or two reads.
constexpr int kReadChunk = 64 * 1024;
constexpr char kHeaderEnd[] = "\r\n\r\n";

void on_start(void *, const xmlChar *, const xmlChar **) {}
void on_end(void *, const xmlChar *) {}
void on_characters(void *, const xmlChar *, int) {}
void on_error(void *, const char *, ...) {}

// The handler the project's parse installs, with nothing behind it.
xmlSAXHandler empty_handler() {
  xmlSAXHandler handler;
  std::memset(&handler, 0, sizeof handler);
  handler.startElement = on_start;
  handler.endElement = on_end;
  handler.characters = on_characters;
  handler.error = on_error;
  return handler;
}

}  // namespace

void set_smoke(bool smoke) { smoke_run = smoke; }
bool smoke() { return smoke_run; }
int rounds(int normal) { return smoke_run ? 1 : normal; }

devsim::DeviceConfig variant_config(const char *name) {
  std::optional<devsim::DeviceConfig> config = devsim::variant(name);
  return config ? *config : devsim::DeviceConfig{};
}

// Sensors of the largest variant take a Dest block of their own, in order,
// as long as the device still starts (its setup document fits 19999 bytes
// at the widest readings).
devsim::DeviceConfig largest_config() {
  devsim::DeviceConfig config = variant_config("max-sensors");
  if (config.sensors.empty() || !config.sensors[0].dest) return config;
  for (devsim::Sensor &sensor : config.sensors) {
    if (sensor.dest) continue;
    sensor.dest = config.sensors[0].dest;
    devsim::Server trial;
    if (trial.start(config) <= 0) {
      sensor.dest.reset();
      break;
    }
  }
  return config;
}

std::string setup_document_of(const devsim::DeviceConfig &config) {
  devsim::Server server;
  return server.start(config) > 0 ? server.setup_document() : std::string();
}

std::string values_document_of(const devsim::DeviceConfig &config) {
  devsim::Server server;
  return server.start(config) > 0 ? server.values_document() : std::string();
}

int sax_pass(const char *text, int length) {
  static xmlSAXHandler handler = empty_handler();
  return xmlSAXUserParseMemory(&handler, nullptr, text, length) < 0 ? -1 : 0;
}

int bare_exchange(int port, const std::string &request, std::vector<char> *reply) {
  int sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(sock, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
            send(sock, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
  std::size_t used = 0;
  for (ssize_t n = 0; ok; used += static_cast<std::size_t>(n)) {
    if (reply->size() < used + kReadChunk) reply->resize(used + kReadChunk);
    n = recv(sock, reply->data() + used, kReadChunk, 0);
    if (n <= 0) {
      ok = n == 0;
      break;
    }
  }
  close(sock);
  if (!ok) return -1;
  const char *begin = reply->data();
  const char *end = std::search(begin, begin + used, kHeaderEnd, kHeaderEnd + sizeof kHeaderEnd - 1);
  if (end == begin + used) return -1;
  reply->resize(used);
  return static_cast<int>(end - begin) + static_cast<int>(sizeof kHeaderEnd - 1);
}

double percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  std::size_t at = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5);
  return samples[std::min(at, samples.size() - 1)];
}

}  // namespace bench
