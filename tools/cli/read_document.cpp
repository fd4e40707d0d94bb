#include "tools/cli/read_document.h"

#include <cstdio>

#include "tools/cli/device_command.h"
#include "tools/cli/output.h"

namespace zelvocli {

bool ReadSensors(TDeviceSession &session, TDocument document, TSensorList &list) {
  if (document == TDocument::kSetup) {
    if (!session.GetSetup()) return false;
    list = SensorsOf(session.Setup());
  } else {
    if (!session.GetValues()) return false;
    list = SensorsOf(session.Values());
  }
  return true;
}

int RunDocumentCommand(const std::string &command, const char *usage, TDocument document, const TArgs &raw) {
  const TArguments args(raw, kCredentialOptions);
  if (args.Has("--help")) {
    std::printf("%s%s", usage, kCredentialHelp);
    return kExitOk;
  }
  if (!args.Error().empty()) return UsageError(command, args.Error());
  if (args.Positional().size() != 1) return UsageError(command, "expects one HOST[:PORT]");
  int exit_code = kExitOk;
  const auto session = OpenDevice(command, args.Positional()[0], args, exit_code);
  if (!session) return exit_code;
  TSensorList list;
  if (!ReadSensors(*session, document, list)) {
    PrintError(session->Address(), session->Error());
    return kExitDeviceFailure;
  }
  const THostPort where = *ParseHostPort(args.Positional()[0]);
  if (args.Has("--json")) {
    PrintJson(SensorListJson(where.Host, where.Port, list, !session->Incomplete()));
  } else {
    PrintSensorTable(list, !session->Incomplete());
  }
  return kExitOk;
}

}  // namespace zelvocli
