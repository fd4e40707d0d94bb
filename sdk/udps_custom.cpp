// TUdpsCustom: the requests, the device list and the library's callbacks.
#include <atomic>
#include <cstddef>
#include <cstring>

#include "sdk/field_text_private.h"
#include "sdk/udps_private.h"

namespace zelvoapi {

namespace {

// Numbers every search an object of the family started, so that an object
// can tell whether the library's records are still those of its own search.
std::atomic<uint64_t> g_family_searches{0};

TUdpsCustom *OwnerObject(void *owner) { return static_cast<TUdpsCustom *>(owner); }

// Callback adapters. The owner is the object that made the request, or null
// once that object was destroyed.
void SearchDoneAdapter(void *owner) {
  if (!owner) return;
  OwnerObject(owner)->Collect();
  OwnerObject(owner)->DoSearchDone();
}

void SetupDoneAdapter(void *owner) {
  if (owner) OwnerObject(owner)->DoSetupDone();
}

// The library always hands its record; an empty one stands in for none, so
// that the object still returns to idle.
const qx_error_record &RecordOrEmpty(const qx_error_record *error) {
  static const qx_error_record empty{};
  return error ? *error : empty;
}

void SearchErrorAdapter(void *owner, qx_error_record *error) {
  if (owner) OwnerObject(owner)->DoSearchError(RecordOrEmpty(error));
}

void SetupErrorAdapter(void *owner, qx_error_record *error) {
  if (owner) OwnerObject(owner)->DoSetupError(RecordOrEmpty(error));
}

// The setting fields hold one bit each.
uint8_t SettingBit(int32_t value) { return value != 0 ? 1 : 0; }

constexpr size_t kNameMax = QXUDPS_NAME_SIZE - 1;  // the zero byte takes the last place
constexpr size_t kAddrMax = QXUDPS_ADDR_SIZE - 1;

}  // namespace

int StartUdpsLibrary() {
  // Refused with "Init already run" when the family comes back from zero
  // objects: the library stayed started, and only the adapters, which the
  // refusal cleared, need installing again.
  qxudps_init();
  qxudps_callbacks callbacks;
  qxudps_clr_callback_struct(&callbacks);
  callbacks.search_done = SearchDoneAdapter;
  callbacks.setup_done = SetupDoneAdapter;
  callbacks.search_error = SearchErrorAdapter;
  callbacks.setup_error = SetupErrorAdapter;
  return qxudps_callback(&callbacks);
}

TUdpsCustom::TUdpsCustom(void *owner) : TSdkObject(owner) { UdpsFamily().Join(this, StartUdpsLibrary); }

TUdpsCustom::~TUdpsCustom() {
  // Already done by a derived destructor; an object built as this class
  // itself stops its callbacks here.
  qxudps_clr_ptr(this);
  UdpsFamily().Leave(this, nullptr);
}

void TUdpsCustom::DoSearchDone() { State = uaIdle; }

void TUdpsCustom::DoSetupDone() { State = uaIdle; }

void TUdpsCustom::DoSearchError(const qx_error_record &) { State = uaIdle; }

void TUdpsCustom::DoSetupError(const qx_error_record &) { State = uaIdle; }

bool TUdpsCustom::ListCurrent() const { return list_search_ == g_family_searches.load(); }

int TUdpsCustom::Search() {
  if (State != uaIdle) return UDPS_BUSY;
  // Before the library hears of it: the completion, which returns the state
  // to idle, must come after.
  State = uaSearch;
  if (qxudps_search(LookupNames, this) == -1) {
    State = uaIdle;
    return UDPS_REFUSED;
  }
  list_search_ = ++g_family_searches;
  return UDPS_DONE;
}

int TUdpsCustom::Setup(int32_t index, const TUdpsDevice &device) {
  int written = SetDevice(index, device);
  if (written != UDPS_DONE) return written;
  return StartSetup(*Devices[index]);
}

int TUdpsCustom::SetupWithKeys(int32_t index, const TUdpsDevice &device, uint32_t k0, uint32_t k1, uint32_t k2,
                               uint32_t k3) {
  // The key is the library's: changing it under a running setup of this
  // object would sign that request's datagram with another key.
  if (State != uaIdle) return UDPS_BUSY;
  qxudps_set_setup_tea_keys(k0, k1, k2, k3);
  return Setup(index, device);
}

int TUdpsCustom::SetupWithBit5(int32_t index) {
  if (State != uaIdle) return UDPS_BUSY;
  if (CheckIndex(index) != UDPS_DONE) return UDPS_BAD_INDEX;
  // The library copies the request, so the bit goes on a copy and the record
  // keeps what the device reported.
  qxudps_device request = *Devices[index];
  request.setting_bit5 = 1;
  return StartSetup(request);
}

int TUdpsCustom::StartSetup(const qxudps_device &request) {
  State = uaSetup;
  if (qxudps_setup(&request, LookupNames, this) == -1) {
    State = uaIdle;
    return UDPS_REFUSED;
  }
  return UDPS_DONE;
}

int TUdpsCustom::Collect() {
  // The library rewound its read cursor when the search started.
  int32_t taken = 0;
  int result = 0;
  qxudps_device *record = nullptr;
  if (qxudps_count() > 0) {
    while (qxudps_record(&record) == 0) {
      if (taken == UDPS_DEVICES_MAX) {
        result = -1;
        break;
      }
      Devices[taken++] = record;
    }
  }
  Count = taken;
  return result == 0 ? taken : result;
}

int32_t TUdpsCustom::ListedCount() const { return ListCurrent() ? Count.load() : 0; }

int TUdpsCustom::DeviceCount() {
  if (State != uaIdle) return UDPS_BUSY;
  // Another object's search has cleared the records this list points to.
  if (!ListCurrent()) Count = 0;
  return Count;
}

int TUdpsCustom::CheckIndex(int32_t index) { return index >= 0 && index < ListedCount() ? UDPS_DONE : UDPS_BAD_INDEX; }

int TUdpsCustom::GetDevice(int32_t index, TUdpsDevice &device) {
  if (State != uaIdle) return UDPS_BUSY;
  if (CheckIndex(index) != UDPS_DONE) return UDPS_BAD_INDEX;
  const qxudps_device &record = *Devices[index];
  device.Name = FieldText(record.name);
  device.Mac = FieldText(record.mac);
  device.Ip = FieldText(record.ip);
  device.Port = record.port;
  device.AddrM = FieldText(record.addr_m);
  device.AddrN = FieldText(record.addr_n);
  device.AddrF = FieldText(record.addr_f);
  device.AddrW = FieldText(record.addr_w);
  device.SettingBit1 = record.setting_bit1;
  device.SettingBit2 = record.setting_bit2;
  device.SettingBit0 = record.setting_bit0;
  device.SettingBit4 = record.setting_bit4;
  device.SettingBit3 = record.setting_bit3;
  device.Model = FieldText(record.model);
  device.Type = record.type;
  device.Version = FieldText(record.version);
  device.Port2 = record.port2;
  device.Tlv6Value = record.tlv6_value;
  device.CapBit0 = record.cap_bit0;
  device.CapBit1 = record.cap_bit1;
  device.CapBit2 = record.cap_bit2;
  device.CapBit3 = record.cap_bit3;
  device.CapBit4 = record.cap_bit4;
  device.CapBit5 = record.cap_bit5;
  device.HasName = record.has_name;
  device.CapBit6 = record.cap_bit6;
  device.Tlv7Value = record.tlv7_value;
  return UDPS_DONE;
}

int TUdpsCustom::SetDevice(int32_t index, const TUdpsDevice &device) {
  if (State != uaIdle) return UDPS_BUSY;
  if (CheckIndex(index) != UDPS_DONE) return UDPS_BAD_INDEX;
  qxudps_device &record = *Devices[index];
  PutText(record.name, device.Name, kNameMax);
  PutText(record.ip, device.Ip, kAddrMax);
  PutText(record.addr_m, device.AddrM, kAddrMax);
  PutText(record.addr_n, device.AddrN, kAddrMax);
  PutText(record.addr_f, device.AddrF, kAddrMax);
  PutText(record.addr_w, device.AddrW, kAddrMax);
  record.port = static_cast<uint16_t>(device.Port);  // its low 16 bits
  record.setting_bit1 = SettingBit(device.SettingBit1);
  record.setting_bit2 = SettingBit(device.SettingBit2);
  record.setting_bit0 = SettingBit(device.SettingBit0);
  record.setting_bit4 = SettingBit(device.SettingBit4);
  return UDPS_DONE;
}

}  // namespace zelvoapi
