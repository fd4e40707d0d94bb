// Command-line options of the program: they prefill the connection fields of
// the main window and say where the device search goes; nothing is stored
// between runs. The password has no option, so that it never shows in a
// process list or shell history.
#ifndef APP_START_OPTIONS_H
#define APP_START_OPTIONS_H

#include <QCommandLineParser>
#include <QString>
#include <optional>
#include <string>

namespace calibrator {

// The UDP port devices take searches on, when a search target names none.
constexpr int kSearchPortDefault = 9999;

// Where searches go instead of the local broadcast, which routers do not
// pass on: a device's address on another network, for example.
struct TSearchTarget {
  std::string Address;  // dotted IPv4
  int Port = kSearchPortDefault;
};

// The wait between a calibration post's reply and the read-back of the
// setup: the device's readings change only once it has applied the offset,
// and some devices take longer than others.
constexpr int kApplyWaitDefaultMs = 1000;
constexpr int kApplyWaitMaxMs = 60000;

// Empty texts leave the field's own default.
struct TStartOptions {
  QString Host;
  QString Port;
  QString User;
  std::optional<TSearchTarget> SearchTarget = std::nullopt;  // none: searches broadcast
  int ApplyWaitMs = kApplyWaitDefaultMs;
  QString RecordPath = QString();  // the CSV file every calibration attempt is appended to; empty for none
};

// Adds --help, --version, --host, --port, --user, --search-target,
// --apply-wait and --record to `parser`.
void AddStartOptions(QCommandLineParser &parser);

// Reads the options of a parsed command line; false with `error` when one of
// them is unusable (a port that is not a number in 1..65535, a search target
// that is not ADDRESS[:PORT], an apply wait that is not a whole number of
// milliseconds from 0 to 60000).
bool ReadStartOptions(const QCommandLineParser &parser, TStartOptions &options, QString &error);

// The search target a text stands for: a dotted IPv4 address, optionally
// followed by ":" and a port from 1 to 65535; nothing for any other text.
std::optional<TSearchTarget> SearchTargetOfText(const QString &text);

// Points the searches of the whole process at the options' search target, if
// they name one; false with the library's reason in `error` when it refuses.
bool ApplySearchTarget(const TStartOptions &options, QString &error);

}  // namespace calibrator

#endif
