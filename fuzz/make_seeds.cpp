// Writes the seeds that the simulator's devices give every fuzz entry: their
// values and setup documents, the HTTP replies that carry them, their search
// replies and the credentials of their posts Base64 encoded, each framed the
// way its entry reads its input (a leading control byte where it takes one).
//   make_seeds OUTPUT_FOLDER
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/qx_base64.h"
#include "tools/devsim/discovery_wire_private.h"
#include "tools/devsim/documents_private.h"

namespace {

namespace fs = std::filesystem;

// Devices of differing kinds: a plain one, a meter, a prefixed root, texts
// with references, and one with every list full (documents near their limit).
const char *const kVariants[] = {"thermometer", "meter-45", "prefixed", "accented", "max-sensors"};
const int kHttpPort = 80;
const std::time_t kWallTime = 1700000000;  // fixed, so that the seeds do not change between builds
const char kDeviceAddress[] = "127.0.0.1";

// Control bytes of the entries, as their sources describe them.
const char kValuesPlain = 0;
const char kSetupPlain = 1;
const char kSetupFilterRoom = 64;    // setup filter: some room to spare
const char kWholeReplyFullRoom = 0;  // reply reader: one chunk
const char kHeaderInPieces = 0x3F;   // reply reader: fifteen chunks of four bytes first
const char kDatagramAsSent = 0;      // reply decoder: the device's own signature
const char kLenientDecode = 0;       // Base64: no strict flags

bool write(const fs::path &folder, const std::string &name, const std::string &bytes) {
  fs::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

std::string http_reply(const std::string &body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
         body;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: make_seeds OUTPUT_FOLDER\n");
    return 2;
  }
  const fs::path out(argv[1]);
  bool ok = true;
  for (const char *name : kVariants) {
    const devsim::DeviceConfig config = *devsim::variant(name);
    const std::vector<double> readings = devsim::widest_readings(config);
    const devsim::DocumentInput input{config, readings, kHttpPort, kWallTime};
    const std::string values = devsim::render_values(input);
    const std::string setup = devsim::render_setup(input);
    const std::string base(name);

    ok &= write(out / "qxxml_parse", base + "_values", kValuesPlain + values);
    ok &= write(out / "qxxml_parse", base + "_setup", kSetupPlain + setup);
    ok &= write(out / "qxxml_post", base + "_setup", kSetupFilterRoom + setup);
    ok &= write(out / "qxxml_http", base + "_values", std::string{kWholeReplyFullRoom, 0} + http_reply(values));
    ok &= write(out / "qxxml_http", base + "_setup_pieces", std::string{kHeaderInPieces, 0} + http_reply(setup));
    ok &= write(out / "qxudps_names", base, http_reply(values));
    ok &= write(out / "qxdom", base + "_values.xml", values);

    unsigned char mac[6];
    if (devsim::mac_bytes(config.mac, mac))
      ok &= write(out / "qxudps_reply", base,
                  kDatagramAsSent + devsim::search_reply(config, mac, kDeviceAddress, kHttpPort));
    // An Authorization text as a post carries it, the title added for its
    // characters beyond ASCII.
    const std::string credentials = config.user + ":" + config.password + ":" + config.title;
    std::string encoded(
        static_cast<size_t>(qx_base64_encode(credentials.data(), static_cast<int>(credentials.size()), nullptr, 0)),
        '\0');
    qx_base64_encode(credentials.data(), static_cast<int>(credentials.size()), encoded.data(),
                     static_cast<int>(encoded.size()));
    ok &= write(out / "base64", base, kLenientDecode + encoded);
  }
  return ok ? 0 : 1;
}
