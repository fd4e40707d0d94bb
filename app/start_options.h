// Command-line options of the program: they only prefill the connection
// fields of the main window; nothing is stored between runs. The password
// has no option, so that it never shows in a process list or shell history.
#ifndef APP_START_OPTIONS_H
#define APP_START_OPTIONS_H

#include <QCommandLineParser>
#include <QString>

namespace calibrator {

// Empty texts leave the field's own default.
struct TStartOptions {
  QString Host;
  QString Port;
  QString User;
};

// Adds --help, --version, --host, --port and --user to `parser`.
void AddStartOptions(QCommandLineParser &parser);

// Reads the options of a parsed command line; false with `error` when one of
// them is unusable (a port that is not a number in 1..65535).
bool ReadStartOptions(const QCommandLineParser &parser, TStartOptions &options, QString &error);

}  // namespace calibrator

#endif
