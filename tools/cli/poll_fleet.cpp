#include "tools/cli/poll_fleet.h"

#include <cstdio>
#include <cstdlib>

#include "common/qx_thread.h"
#include "qxxml/qxxml.h"

namespace zelvocli {

namespace {

// A new slot's worker starts within moments; this only bounds a failure.
constexpr int kStartBoundSeconds = 5;
// The library gives up on a silent device after ten one-second waits of
// its own; this bound per device only keeps a lost completion from hanging
// the program.
constexpr int kModuleBoundSeconds = 30;
// How often a close is asked again while the slot's worker outlives it.
constexpr int kCloseRetryMs = 20;

bool IsIncomplete(const qxxml_doc_quality &quality) {
  return quality.ended_by_silence != 0 || quality.not_well_formed != 0;
}

// The library's text of the last failure recorded on `slot`.
std::string LibraryText(int slot) {
  qx_error_record record{};
  qxxml_error(slot, &record);
  return zelvoapi::TSdkError(record).Text;
}

// The device's own user and password variable, else the command line's.
qxxml_settings SettingsOf(const TDeviceEntry &entry, const TCredentials &defaults) {
  TCredentials credentials = defaults;
  if (!entry.User.empty()) credentials.User = entry.User;
  if (!entry.PasswordEnv.empty()) {
    const char *password = std::getenv(entry.PasswordEnv.c_str());
    credentials.Password = password ? password : "";
  }
  qxxml_settings settings;
  qxxml_clr_settings_struct(&settings);
  // Cut to the fields as the object layer cuts them.
  std::snprintf(settings.get_user, sizeof settings.get_user, "%s", credentials.User.c_str());
  std::snprintf(settings.get_password, sizeof settings.get_password, "%s", credentials.Password.c_str());
  std::snprintf(settings.set_user, sizeof settings.set_user, "%s", credentials.User.c_str());
  std::snprintf(settings.set_password, sizeof settings.set_password, "%s", credentials.Password.c_str());
  return settings;
}

TPollFleet *FleetOf(void *owner) { return static_cast<TPollFleet *>(owner); }

}  // namespace

// The library counts a second initialisation and its uninit undoes only
// that count, so the fleet may live beside the object layer's own.
TPollFleet::TPollFleet() { qxxml_init(); }

TPollFleet::~TPollFleet() {
  Close();
  qxxml_uninit();
}

TPollFleet::TOpenOutcome TPollFleet::Open(const std::vector<TDeviceEntry> &devices, const TCredentials &defaults,
                                          std::string &error) {
  devices_ = &devices;
  slot_ = qxxml_open_many(this);
  if (slot_ < 1) {
    error = "cannot open a multi-device slot: " + LibraryText(0);
    slot_ = -1;
    return kSlotFailed;
  }
  qxxml_callbacks callbacks;
  qxxml_clr_callback(0, &callbacks);
  callbacks.values_done = ValuesDone;
  callbacks.setup_done = SetupDone;
  if (qxxml_wait_finish(slot_, QXXML_FINISH_STARTED, kStartBoundSeconds) != 0 ||
      qxxml_callback(slot_, &callbacks) != 0) {
    error = "cannot start the multi-device slot: " + LibraryText(slot_);
    Close();
    return kSlotFailed;
  }
  for (const TDeviceEntry &entry : devices) {
    const qxxml_settings settings = SettingsOf(entry, defaults);
    if (qxxml_add_module(slot_, entry.Address.c_str(), entry.Port, &settings) < 0) {
      error = "cannot poll " + entry.Address + ":" + std::to_string(entry.Port) + ": " + LibraryText(slot_);
      Close();
      return kDeviceRefused;
    }
  }
  return kOpened;
}

int TPollFleet::RunPass(TDocument document, const TSink &sink) {
  sink_ = sink;
  reported_ = 0;
  failed_ = 0;
  const bool values = document == TDocument::kValues;
  const int count = static_cast<int>(devices_->size());
  const int bound = kModuleBoundSeconds * (count > 0 ? count : 1);
  const int issued = values ? qxxml_get_values(slot_) : qxxml_get_setup(slot_);
  if (issued == 0 && qxxml_wait_finish(slot_, values ? QXXML_FINISH_VALUES : QXXML_FINISH_SETUP, bound) == 0) {
    return failed_;
  }
  const std::string why =
      issued != 0 ? LibraryText(slot_) : "the pass did not end within " + std::to_string(bound) + " s";
  // Once closed, the worker has ended and delivers nothing more.
  Close();
  for (int module = reported_; module < count; ++module) {
    TPollRecord record;
    record.Entry = &(*devices_)[static_cast<std::size_t>(module)];
    record.Error = why;
    Deliver(record);
  }
  return failed_;
}

void TPollFleet::ValuesDone(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts) {
  FleetOf(owner)->ModuleDone<TValuesView>(slot, module, QXXML_DOC_VALUES, record, counts);
}

void TPollFleet::SetupDone(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts) {
  FleetOf(owner)->ModuleDone<TSetupView>(slot, module, QXXML_DOC_SETUP, record, counts);
}

// The records are copies valid during this call only, so the texts are
// taken here; the quality the slot publishes is this module's until the
// next module begins.
template <typename TView, typename TRecord, typename TCounts>
void TPollFleet::ModuleDone(int slot, int module, int kind, const TRecord *record, const TCounts *counts) {
  TPollRecord result;
  result.Entry = &(*devices_)[static_cast<std::size_t>(module)];
  if (record && counts) {
    char ip[16] = {};
    int port = 0;
    qxxml_get_module_many(slot, module, ip, &port);
    result.Sensors = SensorsOf(TView(record, counts, ip, port));
    qxxml_doc_quality quality{};
    qxxml_get_doc_quality(slot, kind, &quality);
    result.Complete = !IsIncomplete(quality);
    result.Ok = true;
  } else {
    qx_error_record error{};
    qxxml_error_many(slot, module, &error);
    result.Error = zelvoapi::TSdkError(error).Text;
  }
  Deliver(result);
}

void TPollFleet::Deliver(const TPollRecord &record) {
  if (!record.Ok) ++failed_;
  ++reported_;
  sink_(record);
}

void TPollFleet::Close() {
  if (slot_ < 1) return;
  while (qxxml_close(slot_) != 0) qx_sleep_ms(kCloseRetryMs);
  slot_ = -1;
}

}  // namespace zelvocli
