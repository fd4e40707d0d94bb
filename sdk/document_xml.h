// Typed readers of parsed values.xml and setup.xml records.
//
// A wrapper owns nothing: it points into the library's per-slot cache, whose
// records stay valid only until the slot's next transaction of that kind or
// its close. A wrapper that was never given a record reads as an empty
// document. Counts above a list's capacity are clamped to it, so no reader
// ever indexes past the record's arrays.
#ifndef SDK_DOCUMENT_XML_H
#define SDK_DOCUMENT_XML_H

#include <cstdint>
#include <cstring>
#include <string>

#include "common/qx_export.h"
#include "qxxml/qxxml_records.h"
#include "sdk/text_number.h"
#include "sdk/value_text.h"
#include "sdk/xml_sensor.h"

namespace zelvoapi {

// Buffer types: empty tags that select the record pair a wrapper reads.
struct TValuesXmlBuffer {
  using Record = qxxml_values;
  using Counts = qxxml_values_counts;
};
struct TSetupXmlBuffer {
  using Record = qxxml_setup;
  using Counts = qxxml_setup_counts;
};

// Binary outputs are numbered from 151; their own ID text is not read.
constexpr int32_t BINARY_OUT_FIRST_ID = 151;

// Device family 0..5 of a model code (the integer value of Agent_Model);
// unknown codes give the unnamed family 2.
QX_EXPORT int32_t model_family(int32_t model);
// Code of an Agent_XmlVer text by exact comparison: "2.0" 0, "2.20" 1,
// "2.34" 2, "2.35" 5, "2.36" 6, "1.00" 4, "1.01" 7, anything else 3.
QX_EXPORT int32_t xml_version_code(const char *version);

namespace document_detail {

// A record field as text, never reading past the field even when the
// record's bytes are not zero-terminated.
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// A count limited to 0..capacity.
inline int32_t Clamp(int32_t count, int32_t capacity) { return count < 0 ? 0 : (count > capacity ? capacity : count); }

inline int32_t Flag(const char *text) { return std::strcmp(text, "1") == 0 ? 1 : 0; }

}  // namespace document_detail

// Reader of the fields that both documents carry.
template <typename TBuffer>
class TValuesXml {
 public:
  using TRecord = typename TBuffer::Record;
  using TCounts = typename TBuffer::Counts;

  // Laid out like the leading fields of a document event's payload.
  const TRecord *Record = nullptr;
  const TCounts *Counts = nullptr;
  char Host[16] = {};  // dotted address of the slot the record came from
  int32_t Port = 0;

  TValuesXml() = default;
  TValuesXml(const TRecord *record, const TCounts *counts, const char *host, int32_t port) {
    Assign(record, counts, host, port);
  }

  void Assign(const TRecord *record, const TCounts *counts, const char *host, int32_t port) {
    Record = record;
    Counts = counts;
    std::memset(Host, 0, sizeof Host);
    if (host) std::memcpy(Host, host, strnlen(host, sizeof Host - 1));  // cut to the field
    Port = port;
  }

  // Binary input `index` (callers check it against the count; an index past
  // the capacity returns -2 and leaves `out` as it was, else 0). Reads
  // `out.Family`, so callers run GetCommon first.
  virtual int GetBinaryIn(int index, TXmlSensorEnum &out) const {
    if (index < 0 || index >= QXXML_BINARY_IN_MAX) return -2;
    const TRecord &r = Doc();
    out.Name = document_detail::FieldText(r.BinaryInSet_Entry_Name[index]);
    out.Id = text_to_int32(r.BinaryInSet_Entry_ID[index]);
    out.Value = text_to_int32(r.BinaryInSet_Entry_Value[index]);
    out.Units = UNITS_SWITCH;
    out.Decimals = 0;
    out.Hysteresis = 0;
    out.Calibration = 0;
    parse_input_alarm(r.Agent_XmlVer, out.Family, r.BinaryInSet_Entry_AlarmState[index],
                      r.BinaryInSet_Entry_Alarm[index], out.Min, out.Max, out.AlarmAction);
    out.Counter = text_to_int32(r.BinaryInSet_Entry_Cnt[index]);
    out.OutputMode = OUTPUT_MODE_NONE;
    out.Kind = KIND_BINARY_INPUT;
    out.State = parse_input_state(r.Agent_XmlVer, out.Family, r.BinaryInSet_Entry_Color[index],
                                  r.BinaryInSet_Entry_State[index]);
    return 0;
  }

  // Binary output `index`, with the same range rule as GetBinaryIn.
  virtual int GetBinaryOut(int index, TXmlSensorEnum &out) const {
    if (index < 0 || index >= QXXML_BINARY_OUT_MAX) return -2;
    const TRecord &r = Doc();
    out.Name = document_detail::FieldText(r.BinaryOutSet_Entry_Name[index]);
    out.Id = index + BINARY_OUT_FIRST_ID;
    out.Value = text_to_int32(r.BinaryOutSet_Entry_Value[index]);
    out.Units = UNITS_SWITCH;
    out.Decimals = 0;
    out.Min = out.Max = out.Hysteresis = out.Calibration = 0;
    out.Counter = 0;
    out.Kind = out.Family != 0 ? KIND_RELAY_OUTPUT : KIND_BINARY_OUTPUT;
    out.OutputMode = parse_output_mode(r.Agent_XmlVer, out.Family, r.BinaryOutSet_Entry_Mode[index]);
    out.AlarmAction = ALARM_MODE_NONE;
    out.State = STATE_NONE;
    return 0;
  }

  virtual ~TValuesXml() = default;

  // The device summary; 0.
  virtual int GetDeviceInfo(TXmlDeviceInfo &info) const {
    const TRecord &r = Doc();
    info.DeviceName = document_detail::FieldText(r.Agent_DeviceName);
    info.Title = document_detail::FieldText(r.Agent_Title);
    info.Mac = document_detail::FieldText(r.Agent_MAC);
    info.Version = document_detail::FieldText(r.Agent_Version);
    info.XmlVer = document_detail::FieldText(r.Agent_XmlVer);
    info.Model = text_to_int32(r.Agent_Model);
    info.Family = model_family(info.Model);
    info.IpAddress = document_detail::FieldText(Host);
    info.DnsPrimary.clear();
    info.DnsSecondary.clear();
    info.HttpPort = Port;
    info.TelnetPort = -1;
    info.SnmpPort = -1;
    info.SensorCount = SensorCount();
    info.BinaryInCount = document_detail::Clamp(Count().BinaryInSet_count, QXXML_BINARY_IN_MAX);
    info.BinaryOutCount = document_detail::Clamp(Count().BinaryOutSet_count, QXXML_BINARY_OUT_MAX);
    info.Units = UNITS_UNKNOWN;  // values.xml names no device-wide unit
    info.AlarmAction = parse_alarm_action(info.Family, r.BinaryInSet_AlarmAction);
    info.SnmpTrapCount = -1;
    return 0;
  }

  // The fields common to every entry; nothing else is touched.
  void GetCommon(TXmlSensorEnum &out) const {
    const TRecord &r = Doc();
    out.DeviceName = document_detail::FieldText(r.Agent_DeviceName);
    out.Family = model_family(text_to_int32(r.Agent_Model));
    out.Mac = document_detail::FieldText(r.Agent_MAC);
    out.Host = document_detail::FieldText(Host);
    out.Port = Port;
    out.XmlVersion = xml_version_code(r.Agent_XmlVer);
    out.Timestamp = r.timestamp;
  }

  // Sensor `index`: -2 without touching `out` when the index is not below
  // the sensor count, else 0. Reads `out.Family`, so callers run GetCommon
  // first.
  int GetSensor(int index, TXmlSensorEnum &out) const {
    if (index < 0 || index >= SensorCount()) return -2;
    const TRecord &r = Doc();
    out.Name = document_detail::FieldText(r.SenSet_Entry_Name[index]);
    out.Id = parse_sensor_id(out.Family, r.SenSet_Entry_ID[index]);
    out.Units = parse_units(r.SenSet_Entry_Units[index], r.Agent_Model);
    out.Value = text_to_double(r.SenSet_Entry_Value[index]);
    out.Decimals = parse_exponent(out.Family, r.SenSet_Entry_Exp[index], r.SenSet_Entry_Value[index], out.Units);
    out.Kind = out.Units == UNITS_SWITCH ? KIND_BINARY_INPUT : KIND_ANALOG_INPUT;
    parse_sensor_limits(out.Family, out.Kind, r.SenSet_Entry_Min[index], r.SenSet_Entry_Max[index], out.Min, out.Max);
    out.Hysteresis = text_to_double(r.SenSet_Entry_Hyst[index]);
    out.Calibration = text_to_double(r.SenSet_Entry_Calib[index]);
    out.Counter = 0;
    out.OutputMode = OUTPUT_MODE_NONE;
    out.AlarmAction =
        parse_sensor_alarm_mode(out.Family, r.SenSet_Entry_SNMPTrap[index], r.SenSet_Entry_EmailSMS[index]);
    out.State = parse_sensor_state(r.Agent_XmlVer, out.Family, r.SenSet_Entry_Color[index], r.SenSet_Entry_State[index],
                                   r.Agent_Model, r.SenSet_Entry_Value[index]);
    return 0;
  }

  // The 1-based position of the first sensor whose ID text reads as `id`:
  // 0 and `index` set, or -1 and `index` -1 when none matches.
  int FindSensor(uint32_t id, int &index) const {
    index = -1;
    const TRecord &r = Doc();
    for (int i = 0; i < SensorCount(); ++i) {
      // Compared in 64 bits so that a negative ID text never matches a large ID.
      if (static_cast<int64_t>(text_to_int32(r.SenSet_Entry_ID[i])) == static_cast<int64_t>(id)) {
        index = i + 1;
        return 0;
      }
    }
    return -1;
  }

 protected:
  const TRecord &Doc() const {
    static const TRecord kEmpty{};
    return Record ? *Record : kEmpty;
  }
  const TCounts &Count() const {
    static const TCounts kEmpty{};
    return Counts ? *Counts : kEmpty;
  }
  int32_t SensorCount() const { return document_detail::Clamp(Count().SenSet_count, QXXML_SENSOR_MAX); }
};

// Reader of a setup.xml record: adds what only the setup document carries.
template <typename TBuffer>
class TSetupXml : public TValuesXml<TBuffer> {
  using Base = TValuesXml<TBuffer>;

 public:
  using Base::Base;

  int GetBinaryIn(int index, TXmlSensorEnum &out) const override {
    int result = Base::GetBinaryIn(index, out);
    if (result != 0) return result;
    out.Kind = parse_input_kind(out.Family, "", this->Doc().Counters_E);
    return 0;
  }

  int GetBinaryOut(int index, TXmlSensorEnum &out) const override {
    int result = Base::GetBinaryOut(index, out);
    if (result != 0) return result;
    out.Kind = parse_output_kind(out.Family, this->Doc().BinaryOutSet_Entry_Type[index]);
    return 0;
  }

  ~TSetupXml() override = default;

  int GetDeviceInfo(TXmlDeviceInfo &info) const override {
    using document_detail::FieldText;
    Base::GetDeviceInfo(info);
    const auto &r = this->Doc();
    const auto &counts = this->Count();
    info.IpAddress = FieldText(r.Network_IPAddr);
    info.DnsPrimary = FieldText(r.Network_DNSPrimary);
    info.DnsSecondary = FieldText(r.Network_DNSSecondary);
    info.HttpPort = text_to_int32(r.Network_HTTPport);
    info.TelnetPort = text_to_int32(r.Network_TelnetPort);
    info.SnmpPort = text_to_int32(r.Network_SNMPPort);
    info.Units = parse_units(r.Global_Units, r.Agent_Model);
    info.SnmpTrapCount = document_detail::Clamp(counts.SnmpTraps_count, QXXML_SNMP_TRAP_MAX);
    for (int i = 0; i < info.SnmpTrapCount; ++i) {
      TXmlSnmpTrap &trap = info.SnmpTraps[i];
      trap.Community = FieldText(r.SnmpTraps_Entry_Community[i]);
      trap.IpAddress = FieldText(r.SnmpTraps_Entry_IPaddr[i]);
      trap.Port = text_to_int32(r.SnmpTraps_Entry_Port[i]);
      trap.Enabled = document_detail::Flag(r.SnmpTraps_Entry_E[i]);
    }
    int access_count = document_detail::Clamp(counts.SnmpAccess_count, QXXML_SNMP_ACCESS_MAX);
    for (int i = 0; i < access_count; ++i) {
      TXmlSnmpAccess &access = info.SnmpAccess[i];
      access.Community = FieldText(r.SnmpAccess_Entry_Community[i]);
      access.Read = document_detail::Flag(r.SnmpAccess_Entry_R[i]);
      access.Write = document_detail::Flag(r.SnmpAccess_Entry_W[i]);
      access.Enabled = document_detail::Flag(r.SnmpAccess_Entry_E[i]);
    }
    info.HttpFilterIp = FieldText(r.HTTPIPFilter_IPAddr);
    info.HttpFilterMask = FieldText(r.HTTPIPFilter_Mask);
    info.SnmpFilterIp = FieldText(r.SNMPIPFilter_IPAddr);
    info.SnmpFilterMask = FieldText(r.SNMPIPFilter_Mask);
    info.SntpServer = FieldText(r.Time_SNTPServer);
    return 0;
  }
};

}  // namespace zelvoapi

#endif
