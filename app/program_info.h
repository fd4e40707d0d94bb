// Names and version the program shows to the operator.
#ifndef APP_PROGRAM_INFO_H
#define APP_PROGRAM_INFO_H

namespace calibrator {

constexpr const char *kProgramTitle = "Zelvo Calibrator";
constexpr const char *kProgramVersion = "1.1.0";
// Shown in the main window's caption; a reserved name, so that it never
// points at somebody's real site.
constexpr const char *kMakerWebAddress = "www.zelvo.example";

}  // namespace calibrator

#endif
