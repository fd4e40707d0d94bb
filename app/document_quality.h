// What the window says when a document from the device did not arrive whole:
// a device that falls silent mid-reply, or sends a text the parser stops in,
// still leaves a record of what came before, which is shown with a warning.
#ifndef APP_DOCUMENT_QUALITY_H
#define APP_DOCUMENT_QUALITY_H

#include <QString>

#include "qxxml/qxxml.h"

namespace calibrator {

// True when the records may lack part of the document.
bool IsIncomplete(const qxxml_doc_quality &quality);

// Why, in a few words: "the device stopped sending", "not well-formed at
// line 12", or both joined by "; ". Empty for a whole document.
QString IncompleteReason(const qxxml_doc_quality &quality);

// The log line after a setup download that listed `sensors` sensors from
// `address` ("127.0.0.1:8080"); empty for a whole document.
QString IncompleteSetupWarning(const QString &address, const qxxml_doc_quality &quality, int sensors);

// The log line after the device at `address` answered the post `action`
// ("Set calibration") with its new setup; empty for a whole document.
QString IncompleteReplyWarning(const QString &address, const QString &action, const qxxml_doc_quality &quality);

}  // namespace calibrator

#endif
