// Runs the built zelvo-cli as a child process without a display, bounded in
// time and stopped by its handle when it overruns.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/cli/output.h"

namespace cli_test {

using zelvocli::kExitDeviceFailure;
using zelvocli::kExitNotApplied;
using zelvocli::kExitOk;
using zelvocli::kExitUsage;
// Scripts test these numbers: they are the program's interface.
static_assert(kExitOk == 0 && kExitDeviceFailure == 1 && kExitUsage == 2 && kExitNotApplied == 3,
              "documented exit codes");

struct TCliRun {
  int ExitCode = -1;  // -1: crashed or killed at the bound
  std::string Out;
  std::string Err;

  // The output as one JSON document; null when it does not parse.
  nlohmann::json Json() const { return nlohmann::json::parse(Out, nullptr, false); }
  // One JSON document per output line.
  std::vector<nlohmann::json> JsonLines() const {
    std::vector<nlohmann::json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = Out.find('\n', start)) != std::string::npos; start = end + 1)
      lines.push_back(nlohmann::json::parse(Out.substr(start, end - start), nullptr, false));
    return lines;
  }
};

// Long enough for a search of a quiet second with its name look-ups, and a
// calibration's apply wait; short enough to fail fast.
constexpr int kRunBoundMs = 30000;

// Runs `zelvo-cli args...` with DISPLAY and the Qt platform removed from its
// environment and `env` added; its standard input is empty.
inline TCliRun RunCli(const QStringList &args, const std::map<QString, QString> &env = {}) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");
  environment.remove("WAYLAND_DISPLAY");
  environment.remove("QT_QPA_PLATFORM");
  environment.remove("ZELVO_PASSWORD");
  for (const auto &[name, value] : env) environment.insert(name, value);
  QProcess process;
  process.setProcessEnvironment(environment);
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(ZELVO_CLI_COMMAND, args);
  TCliRun run;
  if (!process.waitForStarted(kRunBoundMs)) return run;
  if (!process.waitForFinished(kRunBoundMs)) {
    process.kill();
    process.waitForFinished(kRunBoundMs);
    ADD_FAILURE() << "zelvo-cli " << args.join(' ').toStdString() << " ran past its bound";
  }
  run.Out = process.readAllStandardOutput().toStdString();
  run.Err = process.readAllStandardError().toStdString();
  if (process.exitStatus() == QProcess::NormalExit) run.ExitCode = process.exitCode();
  return run;
}

// A file that lives as long as the object: for password files and device lists.
class TTextFile {
 public:
  explicit TTextFile(const std::string &text) {
    EXPECT_TRUE(file_.open());
    file_.write(text.data(), static_cast<qint64>(text.size()));
    file_.flush();
  }
  QString Path() const { return file_.fileName(); }

 private:
  QTemporaryFile file_;
};

// For failure messages.
inline std::string Describe(const TCliRun &run) {
  return "exit " + std::to_string(run.ExitCode) + "\nstdout:\n" + run.Out + "\nstderr:\n" + run.Err;
}

}  // namespace cli_test
