#include <cstdio>

#include "app/calib_input.h"
#include "app/calibration_math.h"
#include "tools/cli/commands.h"
#include "tools/cli/device_command.h"
#include "tools/cli/output.h"
#include "tools/cli/read_document.h"

namespace zelvocli {

namespace {

constexpr const char *kUsage =
    R"(Usage: zelvo-cli calibrate HOST[:PORT] --id N (--offset X | --reference R)
                           [--apply-wait MS] [--user U] [--password-file FILE] [--json]

Posts a sensor's calibration offset, waits for the device to apply it, reads
the setup back and compares the offset the device holds with the posted one
at the posted precision (one decimal).

  --id N                the sensor's ID
  --offset X            the new offset, at most one decimal
  --reference R         a reference instrument's reading: the new offset is the
                        one that moves the shown value onto R
  --apply-wait MS       milliseconds to wait before the read-back (default 1000)
  --json                one JSON document (see docs/cli.md)
Exit codes: 0 verified, 1 device or network failure, 2 bad usage (also an ID
the device does not have, or a sensor without an offset), 3 not applied.
)";

// Devices take about a second to apply a new offset; the window waits as long.
constexpr long kDefaultApplyWaitMs = 1000;
constexpr long kMaxApplyWaitMs = 600000;
constexpr long kMaxSensorId = 0xFFFFFFFFL;

const std::vector<TOptionSpec> kOptions = {
    {"--id", true},         {"--offset", true}, {"--reference", true},
    {"--apply-wait", true}, {"--user", true},   {"--password-file", true},
};

const TSensorRow *FindRow(const TSensorList &list, long id) {
  for (const TSensorRow &row : list.Rows)
    if (row.SensorId == id) return &row;
  return nullptr;
}

// The offset of the command line: either given, or from a reference reading.
// Nothing, with `error`, when it cannot be had.
std::optional<double> NewOffset(const TArguments &args, const TSensorRow &row, std::string &error) {
  if (const auto offset = args.Value("--offset")) {
    const calibrator::TCalibReading reading = calibrator::ParseCalibration(*offset);
    if (reading.Status != calibrator::TCalibInput::Ok) {
      error = std::string("--offset ") + *offset + ": " + calibrator::CalibInputMessage(reading.Status);
      return std::nullopt;
    }
    return reading.Value;
  }
  const calibrator::TReferenceOffset computed =
      calibrator::OffsetFromReference(row.ValueText, row.Calibration, *args.Value("--reference"));
  if (computed.Status != calibrator::TReferenceStatus::Ok) {
    error = std::string("--reference: ") + calibrator::ReferenceMessage(computed.Status);
    return std::nullopt;
  }
  return computed.Offset;
}

}  // namespace

int RunCalibrate(const TArgs &raw) {
  const std::string command = "calibrate";
  const TArguments args(raw, kOptions);
  if (args.Has("--help")) {
    std::printf("%s%s", kUsage, kCredentialHelp);
    return kExitOk;
  }
  if (!args.Error().empty()) return UsageError(command, args.Error());
  if (args.Positional().size() != 1) return UsageError(command, "expects one HOST[:PORT]");
  const std::optional<long> id = ParseInteger(args.Value("--id").value_or(""), 0, kMaxSensorId);
  if (!id) return UsageError(command, "--id N is required: a sensor ID");
  if (args.Has("--offset") == args.Has("--reference"))
    return UsageError(command, "give either --offset X or --reference R");
  const std::optional<long> apply_wait =
      ParseInteger(args.Value("--apply-wait").value_or(std::to_string(kDefaultApplyWaitMs)), 0, kMaxApplyWaitMs);
  if (!apply_wait) return UsageError(command, "--apply-wait takes milliseconds 0.." + std::to_string(kMaxApplyWaitMs));

  int exit_code = kExitOk;
  const auto session = OpenDevice(command, args.Positional()[0], args, exit_code);
  if (!session) return exit_code;
  TSensorList before;
  if (!ReadSensors(*session, TDocument::kSetup, before)) {
    PrintError(session->Address(), session->Error());
    return kExitDeviceFailure;
  }
  const TSensorRow *row = FindRow(before, *id);
  if (!row) return UsageError(command, "the device has no sensor with ID " + std::to_string(*id));
  if (!row->Analog) return UsageError(command, "sensor " + std::to_string(*id) + " takes no offset");
  const std::string previous = row->Calibration;
  std::string error;
  const std::optional<double> offset = NewOffset(args, *row, error);
  if (!offset) return UsageError(command, error);

  // A failed post may still have reached the device (the reply was lost):
  // the read-back decides, as in the window.
  const bool posted = session->SetCalibration(static_cast<uint32_t>(*id), *offset);
  if (!posted) PrintError(session->Address(), session->Error());
  RunEventsFor(*apply_wait);
  TSensorList after;
  if (!ReadSensors(*session, TDocument::kSetup, after)) {
    PrintError(session->Address(), session->Error());
    return kExitDeviceFailure;
  }
  const TSensorRow *held = FindRow(after, *id);
  const bool verified = held && calibrator::SameAtPostedPrecision(held->Offset, *offset);
  const std::string read_back = held ? held->Calibration : "";
  const std::string posted_text = calibrator::CalibrationText(*offset);
  if (args.Has("--json")) {
    const THostPort where = *ParseHostPort(args.Positional()[0]);
    PrintJson({{"address", where.Host},
               {"port", where.Port},
               {"id", *id},
               {"previous", previous},
               {"posted", posted_text},
               {"read_back", read_back},
               {"verified", verified}});
  } else {
    std::printf("Sensor %ld: offset %s posted, device holds %s: %s\n", *id, posted_text.c_str(),
                held ? read_back.c_str() : "no such sensor", verified ? "verified" : "NOT applied");
  }
  if (verified) return kExitOk;
  PrintError(session->Address(), "sensor " + std::to_string(*id) + " holds " + (held ? read_back : "nothing") +
                                     ", not the posted " + posted_text);
  return posted ? kExitNotApplied : kExitDeviceFailure;
}

}  // namespace zelvocli
