// What the program may say about a post: after a failure, whether the device
// can have taken the change; once the setup has been read back, what the
// device holds compared with what was posted, and the verdict of every
// calibration.
#ifndef APP_POST_OUTCOME_H
#define APP_POST_OUTCOME_H

#include <QString>
#include <cstdint>
#include <optional>

namespace calibrator {

enum class TPostOutcome {
  kRefused,    // nothing reached the device, or it answered with an HTTP error status
  kAmbiguous,  // the request went out and the reply could not be read
};

// The outcome of a post that failed with the library's error `code`. A code
// this program does not know counts as ambiguous: it must never claim that a
// change was not applied when it cannot know.
TPostOutcome PostOutcomeOf(int32_t code);

// The log line after a failed post of `posted` to sensor `id`:
// "Calibration of sensor 3 was not applied: HTTP: Forbidden" or
// "Calibration of sensor 3 may have been applied: the device's reply could
// not be read (File not valid)". `reason` is the library's own text.
QString PostFailureLine(TPostOutcome outcome, uint32_t id, const QString &reason);

// The log line that compares what the device reports for sensor `id` after a
// read-back with what was posted; `held` is empty when the device no longer
// lists the sensor.
QString CalibrationReadBackLine(uint32_t id, std::optional<double> held, double posted);

// The log line when the read-back itself failed.
QString ReadBackFailedLine(uint32_t id);

// The verdict lines of a calibration of sensor `name` with `id`:
// "Calibration of Incubator (ID 102) verified: 0.0 → 0.3",
// "... NOT applied: the device reports 0.0 (posted 0.5)" and
// "... could not be verified: HTTP: Service Unavailable". The offsets are in
// the form they are posted in.
QString VerifiedLine(const QString &name, int id, const QString &before, const QString &held);
QString NotAppliedLine(const QString &name, int id, const QString &held, const QString &posted);
QString NotVerifiedLine(const QString &name, int id, const QString &reason);

}  // namespace calibrator

#endif
