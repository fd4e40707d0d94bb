// Typed and textual forms of one document entry, and the device summary.
#ifndef SDK_XML_SENSOR_H
#define SDK_XML_SENSOR_H

#include <cstdint>
#include <string>

namespace zelvoapi {

// One entry (sensor, binary input or binary output) in typed form. A
// default-constructed record is all zero and empty; readers overwrite only
// the fields they are documented to fill.
struct TXmlSensorEnum {
  std::string DeviceName;
  int32_t Family = 0;
  std::string Mac;
  std::string Host;
  int32_t Port = 0;
  int32_t Id = 0;
  std::string Name;  // bytes as sent (UTF-8)
  double Value = 0;
  uint32_t Units = 0;
  int32_t Decimals = 0;  // decimal exponent: -n prints n decimals
  double Min = 0;
  double Max = 0;
  double Hysteresis = 0;
  double Calibration = 0;
  uint32_t OutputMode = 0;
  int32_t Counter = 0;
  uint32_t Kind = 0;
  uint32_t AlarmAction = 0;
  uint32_t State = 0;
  int32_t XmlVersion = 0;
  int32_t Timestamp = 0;
};

// The same entry as display texts (UTF-8).
struct TXmlSensorStr {
  std::string DeviceName;
  std::string FamilyText;
  std::string Mac;
  std::string Host;
  int32_t Port = 0;
  std::string IdText;
  std::string Name;
  std::string ValueText;
  std::string UnitsText;
  int32_t Decimals = 0;
  std::string MinText;
  std::string MaxText;
  std::string HysteresisText;
  std::string CalibrationText;
  std::string OutputModeText;
  std::string CounterText;
  std::string KindText;
  std::string AlarmActionText;
  std::string StateText;
  std::string TimeText;
};

// One SNMP community of the device's access list.
struct TXmlSnmpAccess {
  std::string Community;
  int32_t Read = 0;
  int32_t Write = 0;
  int32_t Enabled = 0;
};

// One SNMP trap destination.
struct TXmlSnmpTrap {
  std::string Community;
  std::string IpAddress;
  int32_t Port = 0;
  int32_t Enabled = 0;
};

// The device summary built from either document.
struct TXmlDeviceInfo {
  std::string DeviceName;
  std::string Title;
  int32_t Family = 0;
  std::string Mac;
  std::string IpAddress;
  std::string DnsPrimary;
  std::string DnsSecondary;
  int32_t HttpPort = 0;
  int32_t TelnetPort = 0;
  int32_t SnmpPort = 0;
  int32_t Model = 0;
  std::string Version;
  std::string XmlVer;
  int32_t SensorCount = 0;
  int32_t BinaryInCount = 0;
  int32_t BinaryOutCount = 0;
  uint32_t Units = 0;
  uint32_t AlarmAction = 0;
  int32_t SnmpTrapCount = 0;
  TXmlSnmpAccess SnmpAccess[2];
  TXmlSnmpTrap SnmpTraps[4];
  std::string HttpFilterIp;
  std::string HttpFilterMask;
  std::string SnmpFilterIp;
  std::string SnmpFilterMask;
  std::string SntpServer;
};

}  // namespace zelvoapi

#endif
