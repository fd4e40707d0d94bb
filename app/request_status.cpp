#include "app/request_status.h"

#include "sdk/io_xml.h"

namespace calibrator {

namespace {

constexpr int64_t kMsPerSecond = 1000;

// A request's words: what it does to the device, and that as it happens.
struct TRequestWords {
  int32_t action;
  const char *purpose;   // "download the setup": why the window connects
  const char *transfer;  // "Downloading the setup from": followed by the address
};

constexpr TRequestWords kRequestWords[] = {
    {zelvoapi::xaGetValues, "download the values", "Downloading the values from"},
    {zelvoapi::xaGetSetup, "download the setup", "Downloading the setup from"},
    {zelvoapi::xaSendSetup, "post the setup", "Posting the setup to"},
    {zelvoapi::xaSetOutput, "post the output value", "Posting the output value to"},
    {zelvoapi::xaSetRange, "post the alarm range", "Posting the alarm range to"},
    {zelvoapi::xaSetName, "post the name", "Posting the name to"},
    {zelvoapi::xaSetCalibration, "post the calibration", "Posting the calibration to"},
};

const TRequestWords *WordsOf(int32_t action) {
  for (const TRequestWords &words : kRequestWords)
    if (words.action == action) return &words;
  return nullptr;
}

}  // namespace

QString RequestStatus(int32_t action, TRequestPhase phase, const QString &address) {
  const TRequestWords *words = WordsOf(action);
  if (!words) return QString("Waiting for %1...").arg(address);
  if (phase == TRequestPhase::kConnecting) return QString("Connecting to %1 to %2...").arg(address, words->purpose);
  return QString("%1 %2...").arg(words->transfer, address);
}

QString ApplyWaitStatus(const QString &address) {
  return QString("Waiting for %1 to apply the new calibration...").arg(address);
}

QString LookupStatus(const QString &host) { return QString("Looking up %1...").arg(host); }

QString SearchStatus() { return "Searching for devices on the network..."; }

QString ReadyStatus(const QString &address) { return QString("Ready: %1 is open").arg(address); }

QString ClosedStatus() { return "No device open"; }

QString WithElapsed(const QString &status, int64_t elapsed_ms) {
  const int64_t seconds = elapsed_ms / kMsPerSecond;
  return seconds < 1 ? status : QString("%1 %2 s").arg(status).arg(seconds);
}

}  // namespace calibrator
