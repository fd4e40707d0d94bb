#include "app/post_outcome.h"

#include "common/qx_error.h"

namespace calibrator {

namespace {

// Failures before the request's first byte left: the device cannot have
// seen it. The library's own refusals (busy, too long, no thread) belong
// here too, since it sent nothing.
constexpr int32_t kNothingSent[] = {
    QX_ERR_ACTION_NOT_FINISH, QX_ERR_ACTION_NOT_VALID, QX_ERR_ID_TOO_LARGE,      QX_ERR_THREAD_NOT_RUN,
    QX_ERR_BUFFER_FULL,       QX_ERR_LENGTH_TOO_LARGE, QX_ERR_POINTER_NULL,      QX_ERR_MEMORY_NOT_FOUND,
    QX_ERR_SOCKET_INIT,       QX_ERR_SOCKET_CREATE,    QX_ERR_SOCKET_NONBLOCK,   QX_ERR_SOCKET_CONNECT,
    QX_ERR_RESOLVE,           QX_ERR_IP_NOT_VALID,     QX_ERR_ADDRESS_NOT_FOUND,
};

bool IsHttpErrorStatus(int32_t code) {
  return (code >= QX_ERR_HTTP_400 && code <= QX_ERR_HTTP_417) || (code >= QX_ERR_HTTP_500 && code <= QX_ERR_HTTP_505);
}

// Device offsets are posted as single precision: a read-back that agrees to
// that precision is the posted value.
bool SameOffset(double held, double posted) { return static_cast<float>(held) == static_cast<float>(posted); }

QString OffsetText(double value) { return QString::number(value); }

QString CalibrationOf(const QString &name, int id) { return QString("Calibration of %1 (ID %2)").arg(name).arg(id); }

}  // namespace

TPostOutcome PostOutcomeOf(int32_t code) {
  if (IsHttpErrorStatus(code)) return TPostOutcome::kRefused;
  for (int32_t refused : kNothingSent)
    if (code == refused) return TPostOutcome::kRefused;
  return TPostOutcome::kAmbiguous;
}

QString PostFailureLine(TPostOutcome outcome, uint32_t id, const QString &reason) {
  if (outcome == TPostOutcome::kRefused)
    return QString("Calibration of sensor %1 was not applied: %2").arg(id).arg(reason);
  return QString("Calibration of sensor %1 may have been applied: the device's reply could not be read (%2)")
      .arg(id)
      .arg(reason);
}

QString CalibrationReadBackLine(uint32_t id, std::optional<double> held, double posted) {
  if (!held)
    return QString("Calibration of sensor %1: the device no longer lists the sensor (posted %2)")
        .arg(id)
        .arg(OffsetText(posted));
  if (SameOffset(*held, posted))
    return QString("Calibration of sensor %1: the device now holds %2, as posted").arg(id).arg(OffsetText(*held));
  return QString("Calibration of sensor %1: the device now holds %2, not the %3 posted")
      .arg(id)
      .arg(OffsetText(*held))
      .arg(OffsetText(posted));
}

QString ReadBackFailedLine(uint32_t id) {
  return QString(
             "Calibration of sensor %1: the device's setup could not be read back; press Refresh to see what it holds")
      .arg(id);
}

QString VerifiedLine(const QString &name, int id, const QString &before, const QString &held) {
  return QString("%1 verified: %2 \u2192 %3").arg(CalibrationOf(name, id), before, held);
}

QString NotAppliedLine(const QString &name, int id, const QString &held, const QString &posted) {
  return QString("%1 NOT applied: the device reports %2 (posted %3)").arg(CalibrationOf(name, id), held, posted);
}

QString NotVerifiedLine(const QString &name, int id, const QString &reason) {
  return QString("%1 could not be verified: %2").arg(CalibrationOf(name, id), reason);
}

}  // namespace calibrator
