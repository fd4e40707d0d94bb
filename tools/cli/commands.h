// The sub-commands. Each takes the arguments after its name and returns the
// program's exit code (TExitCode).
#pragma once

#include <string>
#include <vector>

namespace zelvocli {

using TArgs = std::vector<std::string>;

int RunSearch(const TArgs &args);
int RunSensors(const TArgs &args);
int RunValues(const TArgs &args);
int RunCalibrate(const TArgs &args);
int RunPoll(const TArgs &args);
int RunSetNetwork(const TArgs &args);

}  // namespace zelvocli
