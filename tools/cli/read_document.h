// Reading one device's sensor list from its setup or its values document:
// the common body of `sensors`, `values` and `poll`.
#pragma once

#include <string>

#include "tools/cli/commands.h"
#include "tools/cli/device_session.h"
#include "tools/cli/sensor_rows.h"

namespace zelvocli {

enum class TDocument { kSetup, kValues };

// Downloads the document from the open `session` into `list`; false with
// the session's Error() on failure.
bool ReadSensors(TDeviceSession &session, TDocument document, TSensorList &list);

// The whole of `sensors` and `values`: `usage` is the command's help text.
int RunDocumentCommand(const std::string &command, const char *usage, TDocument document, const TArgs &args);

}  // namespace zelvocli
