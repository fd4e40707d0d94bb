// zelvo-cli: the devices from a script. Search, read, calibrate with
// verification, poll a fleet and change network settings, with the texts
// the window shows and, with --json, output that other programs read.
#include <QCoreApplication>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "tools/cli/commands.h"
#include "tools/cli/output.h"

namespace {

struct TCommand {
  const char *Name;
  int (*Run)(const zelvocli::TArgs &);
  const char *Summary;
};

const TCommand kCommands[] = {
    {"search", zelvocli::RunSearch, "find devices with a UDP search"},
    {"sensors", zelvocli::RunSensors, "list a device's sensors from its setup"},
    {"values", zelvocli::RunValues, "list a device's current values"},
    {"calibrate", zelvocli::RunCalibrate, "post a sensor's offset and verify it"},
    {"poll", zelvocli::RunPoll, "read a list of devices, once or repeatedly"},
    {"set-network", zelvocli::RunSetNetwork, "change a found device's network settings"},
};

void PrintUsage(std::FILE *out) {
  std::fprintf(out, "Usage: zelvo-cli COMMAND [OPTIONS]\n\nCommands:\n");
  for (const TCommand &command : kCommands) std::fprintf(out, "  %-12s %s\n", command.Name, command.Summary);
  std::fprintf(out,
               "\n'zelvo-cli COMMAND --help' describes a command, 'zelvo-cli --version' the version.\n"
               "Exit codes: 0 success, 1 device or network failure, 2 bad usage, 3 calibration\n"
               "not applied.\n");
}

}  // namespace

int main(int argc, char **argv) {
  // The object layer delivers its events through Qt's queue; a core
  // application runs it without any display.
  QCoreApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");  // numbers are read and written with "."
  if (argc < 2) {
    PrintUsage(stderr);
    return zelvocli::kExitUsage;
  }
  if (std::strcmp(argv[1], "--help") == 0) {
    PrintUsage(stdout);
    return zelvocli::kExitOk;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("zelvo-cli %s\n", ZELVO_VERSION);
    return zelvocli::kExitOk;
  }
  const zelvocli::TArgs args(argv + 2, argv + argc);
  for (const TCommand &command : kCommands)
    if (std::strcmp(argv[1], command.Name) == 0) return command.Run(args);
  std::fprintf(stderr, "zelvo-cli: unknown command %s\n", argv[1]);
  PrintUsage(stderr);
  return zelvocli::kExitUsage;
}
