#include "app/start_options.h"

#include "app/device_address.h"

namespace calibrator {

namespace {

const char *const kHost = "host";
const char *const kPort = "port";
const char *const kUser = "user";

}  // namespace

void AddStartOptions(QCommandLineParser &parser) {
  parser.setApplicationDescription("Reads the sensors of a networked sensor device and changes their calibration.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption({kHost, "Prefills the device's host name or IPv4 address.", "host"});
  parser.addOption({kPort, "Prefills the device's TCP port (1-65535).", "port"});
  parser.addOption({kUser, "Prefills the user name.", "user"});
}

bool ReadStartOptions(const QCommandLineParser &parser, TStartOptions &options, QString &error) {
  options.Host = parser.value(kHost);
  options.User = parser.value(kUser);
  options.Port = parser.value(kPort);
  if (parser.isSet(kPort) && !PortOfText(options.Port)) {
    error =
        QString("--port needs a TCP port number from %1 to %2, not '%3'").arg(kPortMin).arg(kPortMax).arg(options.Port);
    return false;
  }
  return true;
}

}  // namespace calibrator
