#include "tools/cli/read_document.h"

namespace zelvocli {

namespace {

constexpr const char *kUsage = R"(Usage: zelvo-cli values HOST[:PORT] [--user U] [--password-file FILE] [--json]

Downloads the device's values document and prints its name and every sensor
with the texts of the window's list: name, ID, value and unit, calibration,
min, max. PORT defaults to 80.

  --json                one JSON document (see docs/cli.md)
)";

}  // namespace

int RunValues(const TArgs &args) { return RunDocumentCommand("values", kUsage, TDocument::kValues, args); }

}  // namespace zelvocli
