#include "app/start_options.h"

#include <arpa/inet.h>

#include "app/device_address.h"
#include "qxudps/qxudps.h"

namespace calibrator {

namespace {

const char *const kHost = "host";
const char *const kPort = "port";
const char *const kUser = "user";
const char *const kSearchTarget = "search-target";
const char *const kApplyWait = "apply-wait";
const char *const kRecord = "record";

bool IsDottedIPv4(const QString &text) {
  in_addr parsed;
  return inet_pton(AF_INET, text.toLatin1().constData(), &parsed) == 1;
}

}  // namespace

void AddStartOptions(QCommandLineParser &parser) {
  parser.setApplicationDescription("Reads the sensors of a networked sensor device and changes their calibration.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption({kHost, "Prefills the device's host name or IPv4 address.", "host"});
  parser.addOption({kPort, "Prefills the device's TCP port (1-65535).", "port"});
  parser.addOption({kUser, "Prefills the user name.", "user"});
  parser.addOption({kSearchTarget,
                    QString("Sends the device search to this IPv4 address instead of broadcasting it, for devices "
                            "that a broadcast does not reach (behind a router). The port defaults to %1.")
                        .arg(kSearchPortDefault),
                    "address[:port]"});
  parser.addOption({kApplyWait,
                    QString("Milliseconds the device is given to apply a posted calibration before its setup is read "
                            "back and the offset verified (0-%1, default %2); raise it for devices that take "
                            "longer to apply an offset.")
                        .arg(kApplyWaitMaxMs)
                        .arg(kApplyWaitDefaultMs),
                    "ms"});
  parser.addOption({kRecord,
                    "Appends every calibration attempt to this CSV file as it happens (the header only when the "
                    "file is new), as an automatic calibration trail.",
                    "file"});
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
  options.ApplyWaitMs = kApplyWaitDefaultMs;
  if (parser.isSet(kApplyWait)) {
    const QString text = parser.value(kApplyWait);
    bool number = false;
    const int ms = text.trimmed().toInt(&number);
    if (!number || ms < 0 || ms > kApplyWaitMaxMs) {
      error = QString("--apply-wait needs a whole number of milliseconds from 0 to %1, not '%2'")
                  .arg(kApplyWaitMaxMs)
                  .arg(text);
      return false;
    }
    options.ApplyWaitMs = ms;
  }
  options.RecordPath = parser.value(kRecord);
  options.SearchTarget.reset();
  if (parser.isSet(kSearchTarget)) {
    const QString text = parser.value(kSearchTarget);
    options.SearchTarget = SearchTargetOfText(text);
    if (!options.SearchTarget) {
      error = QString(
                  "--search-target needs a dotted IPv4 address, optionally followed by ':' and a UDP port from %1 "
                  "to %2 (for example 192.0.2.10 or 192.0.2.10:9999), not '%3'")
                  .arg(kPortMin)
                  .arg(kPortMax)
                  .arg(text);
      return false;
    }
  }
  return true;
}

std::optional<TSearchTarget> SearchTargetOfText(const QString &text) {
  const int colon = text.lastIndexOf(':');
  const QString address = colon < 0 ? text : text.left(colon);
  if (!IsDottedIPv4(address)) return std::nullopt;
  TSearchTarget target{address.toStdString(), kSearchPortDefault};
  if (colon < 0) return target;
  const std::optional<int> port = PortOfText(text.mid(colon + 1));
  if (!port) return std::nullopt;
  target.Port = *port;
  return target;
}

bool ApplySearchTarget(const TStartOptions &options, QString &error) {
  if (!options.SearchTarget) return true;
  if (qxudps_set_search_target(options.SearchTarget->Address.c_str(), options.SearchTarget->Port) == 0) return true;
  qx_error_record record{};
  qxudps_error(&record);
  error = QString("--search-target %1:%2: %3")
              .arg(QString::fromStdString(options.SearchTarget->Address))
              .arg(options.SearchTarget->Port)
              .arg(QString::fromLocal8Bit(record.text));
  return false;
}

}  // namespace calibrator
