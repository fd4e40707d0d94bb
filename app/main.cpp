// zelvo-calibrator: opens a networked sensor device, lists its sensors and
// changes their calibration offsets.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QMessageBox>
#include <clocale>
#include <cstdio>
#include <exception>

#include "app/mainf.h"
#include "app/program_info.h"
#include "app/start_options.h"

namespace {

// Exit code for options that parse but cannot be used.
constexpr int kUnusableOption = 2;

// Reads the command line under a core application: the windowing system is
// not touched yet, so --help, --version and a mistyped option answer on a
// machine without a display. The first three end the process here.
bool ReadCommandLine(int &argc, char **argv, calibrator::TStartOptions &options, QString &error) {
  QCoreApplication core(argc, argv);
  QCommandLineParser parser;
  calibrator::AddStartOptions(parser);
  parser.process(core);
  return calibrator::ReadStartOptions(parser, options, error);
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication::setApplicationName(calibrator::kProgramTitle);
  QCoreApplication::setApplicationVersion(calibrator::kProgramVersion);
  calibrator::TStartOptions options;
  QString error;
  if (!ReadCommandLine(argc, argv, options, error) || !calibrator::ApplySearchTarget(options, error)) {
    std::fprintf(stderr, "zelvo-calibrator: %s\n", qUtf8Printable(error));
    return kUnusableOption;
  }

  QApplication application(argc, argv);
  // Qt adopts the user's locale; the device documents are read and written
  // by the C runtime with "." as the decimal point whatever that locale says.
  std::setlocale(LC_NUMERIC, "C");

  calibrator::TMainForm form;
  form.Prefill(options);
  form.show();
  try {
    application.exec();
  } catch (const std::exception &failure) {
    QMessageBox::critical(nullptr, calibrator::kProgramTitle, QString::fromLocal8Bit(failure.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, calibrator::kProgramTitle, QString());
  }
  return 0;
}
