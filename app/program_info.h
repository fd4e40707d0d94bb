// Names and version the program shows to the operator.
#ifndef APP_PROGRAM_INFO_H
#define APP_PROGRAM_INFO_H

namespace calibrator {

constexpr const char *kProgramTitle = "Zelvo Calibrator";
// The project's version (CMakeLists.txt), which every command prints.
constexpr const char *kProgramVersion = ZELVO_VERSION;
// Shown in the main window's caption; a reserved name, so that it never
// points at somebody's real site.
constexpr const char *kMakerWebAddress = "www.zelvo.example";

}  // namespace calibrator

#endif
