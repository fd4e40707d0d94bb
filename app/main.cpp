// zelvo-calibrator: opens a networked sensor device, lists its sensors and
// changes their calibration offsets.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <clocale>
#include <cstdio>
#include <exception>

#include "app/mainf.h"
#include "app/program_info.h"
#include "app/start_options.h"

int main(int argc, char **argv) {
  QApplication application(argc, argv);
  // Qt adopts the user's locale; the device documents are read and written
  // by the C runtime with "." as the decimal point whatever that locale says.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(calibrator::kProgramTitle);
  QApplication::setApplicationVersion(calibrator::kProgramVersion);

  QCommandLineParser parser;
  calibrator::AddStartOptions(parser);
  parser.process(application);  // --help and --version end here
  calibrator::TStartOptions options;
  QString error;
  if (!calibrator::ReadStartOptions(parser, options, error)) {
    std::fprintf(stderr, "zelvo-calibrator: %s\n", qUtf8Printable(error));
    return 2;
  }

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
