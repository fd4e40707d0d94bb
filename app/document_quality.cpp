#include "app/document_quality.h"

#include <QStringList>

namespace calibrator {

bool IsIncomplete(const qxxml_doc_quality &quality) {
  return quality.ended_by_silence != 0 || quality.not_well_formed != 0;
}

QString IncompleteReason(const qxxml_doc_quality &quality) {
  QStringList reasons;
  if (quality.ended_by_silence) reasons << "the device stopped sending";
  if (quality.not_well_formed) {
    reasons << (quality.error_line > 0 ? QString("not well-formed at line %1").arg(quality.error_line)
                                       : QString("not well-formed"));
  }
  return reasons.join("; ");
}

QString IncompleteSetupWarning(const QString &address, const qxxml_doc_quality &quality, int sensors) {
  if (!IsIncomplete(quality)) return {};
  return QString("Warning: the setup from %1 is incomplete (%2); %3 %4 shown")
      .arg(address, IncompleteReason(quality))
      .arg(sensors)
      .arg(sensors == 1 ? "sensor" : "sensors");
}

QString IncompleteReplyWarning(const QString &address, const QString &action, const qxxml_doc_quality &quality) {
  if (!IsIncomplete(quality)) return {};
  return QString("Warning: the reply of %1 to %2 is incomplete (%3)").arg(address, action, IncompleteReason(quality));
}

}  // namespace calibrator
