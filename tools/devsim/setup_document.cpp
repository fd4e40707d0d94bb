// setup.xml: identity and the whole configuration, in the order and with the
// elements the client's setup record knows.
#include "tools/devsim/device_codes_private.h"
#include "tools/devsim/documents_private.h"

namespace devsim {

namespace {

// Passwords are never shown back; the device writes this instead.
constexpr std::string_view kHiddenPassword = "********";

class SetupWriter {
 public:
  SetupWriter(std::string &out, const DocumentInput &input)
      : xml_(out), in_(input), cfg_(input.config), family_(family_of(cfg_.model)) {}

  void write() {
    write_agent(xml_, cfg_);
    xml_.open("Status");
    xml_.leaf("NtpState", "0");
    xml_.close("Status");
    xml_.open("TemperRange");
    xml_.leaf("Min", "-55");
    xml_.leaf("Max", "125");
    xml_.close("TemperRange");
    inputs();
    outputs();
    sensors();
    temp_ranges();
    xml_.open("AlarmSet");
    xml_.leaf("Subj", "Alarm on " + cfg_.device_name);
    xml_.leaf("Body", "Sensor out of range");
    xml_.close("AlarmSet");
    groups();
    snmp_traps();
    mail_dests();
    fixed_blocks();
    network();
    email();
    time();
    sms();
    data_logger();
    filters();
    snmp_access();
    xml_.open("MIBIISysGroup");
    xml_.leaf("SysContact", cfg_.contact);
    xml_.leaf("SysName", cfg_.device_name);
    xml_.leaf("SysLocation", cfg_.title);
    xml_.close("MIBIISysGroup");
    users();
    xml_.leaf("Info", "0");
  }

 private:
  void idx(std::size_t position) {
    if (cfg_.idx_elements) xml_.leaf("Idx", static_cast<long long>(position + 1));
  }

  void dest(const Destinations &d) {
    xml_.open("Dest");
    xml_.flag("Snmp1", d.snmp[0]);
    xml_.flag("Snmp2", d.snmp[1]);
    xml_.flag("Snmp3", d.snmp[2]);
    xml_.flag("Snmp4", d.snmp[3]);
    xml_.flag("Mail1", d.mail[0]);
    xml_.flag("Mail2", d.mail[1]);
    xml_.leaf("Delay", d.delay);
    xml_.flag("E", d.enabled);
    xml_.close("Dest");
  }

  void inputs() {
    xml_.open("BinaryInSet");
    for (std::size_t i = 0; i < cfg_.inputs.size(); ++i) {
      const BinaryInput &in = cfg_.inputs[i];
      const EntryState state = input_state(in);
      xml_.open("Entry");
      xml_.leaf("ID", in.id);
      xml_.leaf("Name", in.name);
      xml_.leaf("NameOpen", "Open");
      xml_.leaf("NameClose", "Closed");
      xml_.leaf("Cnt", in.counter);
      xml_.leaf("Value", in.value);
      xml_.leaf("AlarmState", input_alarm_code(family_, in.alarm));
      xml_.leaf("Alarm", input_alarm_code(family_, in.alarm));
      xml_.leaf("Color", color_code(state));
      xml_.leaf("State", input_state_code(family_, state));
      xml_.leaf("Mask1", "0");
      xml_.leaf("Mask2", "0");
      xml_.flag("SNMPTrap", in.snmp_trap);
      xml_.flag("EmailSMS", in.email_sms);
      idx(i);
      xml_.close("Entry");
    }
    xml_.leaf("AlarmAction", "0");
    xml_.close("BinaryInSet");
  }

  void outputs() {
    xml_.open("BinaryOutSet");
    for (std::size_t i = 0; i < cfg_.outputs.size(); ++i) {
      const BinaryOutput &out = cfg_.outputs[i];
      xml_.open("Entry");
      xml_.leaf("ID", out.id);
      xml_.leaf("Name", out.name);
      xml_.leaf("NameOpen", "Off");
      xml_.leaf("NameClose", "On");
      xml_.leaf("Value", out.value);
      xml_.leaf("Type", "0");
      xml_.leaf("Mode", "0");
      xml_.leaf("CondInputID", "0");
      xml_.leaf("Trigger", "0");
      idx(i);
      xml_.close("Entry");
    }
    xml_.close("BinaryOutSet");
  }

  void sensors() {
    xml_.open("SenSet");
    for (std::size_t i = 0; i < cfg_.sensors.size(); ++i) {
      const Sensor &s = cfg_.sensors[i];
      const double value = in_.readings[i];
      const EntryState state = sensor_state(s, value);
      xml_.open("Entry");
      xml_.leaf("Name", s.name);
      xml_.leaf("ID", s.id);
      xml_.leaf("Units", s.units);
      xml_.leaf("Min", limit_text(s, s.min));
      xml_.leaf("Max", limit_text(s, s.max));
      xml_.leaf("Hyst", limit_text(s, s.hyst));
      xml_.leaf("E", "1");
      xml_.leaf("Value", reading_text(s, value));
      xml_.leaf("Exp", s.exp);
      xml_.flag("SNMPTrap", s.snmp_trap);
      xml_.flag("EmailSMS", s.email_sms);
      xml_.leaf("Color", color_code(state));
      xml_.leaf("State", sensor_state_code(family_, state));
      xml_.leaf("Calib", calib_text(s));
      // Only sensors with their own destinations carry a Dest block; the
      // others report through their group. This keeps a device with 42
      // sensors within the client's 19999 bytes.
      if (s.dest) dest(*s.dest);
      idx(i);
      xml_.close("Entry");
    }
    xml_.close("SenSet");
  }

  void temp_ranges() {
    xml_.open("TempRangeSet");
    static constexpr const char *kRanges[][2] = {{"-55", "0"}, {"0", "125"}};
    for (std::size_t i = 0; i < 2; ++i) {
      xml_.open("Entry");
      xml_.leaf("Min", kRanges[i][0]);
      xml_.leaf("Max", kRanges[i][1]);
      xml_.leaf("Alarm", "0");
      idx(i);
      xml_.close("Entry");
    }
    xml_.close("TempRangeSet");
  }

  void groups() {
    xml_.open("GroupSet");
    xml_.open("Entry");
    xml_.leaf("Name", "All sensors");
    xml_.leaf("Out", "0");
    xml_.leaf("OutState", "0");
    xml_.open("Alarm");
    xml_.leaf("Subj", "Group alarm");
    xml_.leaf("Body", "A sensor of the group is in alarm");
    xml_.close("Alarm");
    dest(Destinations{{true, false, false, false}, {true, false}, 0, true});
    idx(0);
    xml_.close("Entry");
    xml_.close("GroupSet");
  }

  void snmp_traps() {
    xml_.open("SnmpTraps");
    for (std::size_t i = 0; i < cfg_.snmp_traps.size(); ++i) {
      const SnmpTrap &t = cfg_.snmp_traps[i];
      xml_.open("Entry");
      xml_.leaf("Community", t.community);
      xml_.leaf("IPaddr", t.ip);
      xml_.leaf("Port", t.port);
      xml_.flag("E", t.enabled);
      idx(i);
      xml_.close("Entry");
    }
    xml_.close("SnmpTraps");
  }

  void mail_dests() {
    xml_.open("MailDest");
    for (std::size_t i = 0; i < 2; ++i) {
      xml_.open("Entry");
      xml_.leaf("To", i == 0 ? "alarm@example.invalid" : "");
      xml_.leaf("Cc", "");
      xml_.flag("E", i == 0);
      idx(i);
      xml_.close("Entry");
    }
    xml_.close("MailDest");
  }

  void fixed_blocks() {
    xml_.open("Counters");
    xml_.leaf("E", "0");
    xml_.leaf("Int", "60");
    xml_.close("Counters");
    xml_.open("BinSetG");
    xml_.leaf("AlarmDest", "0");
    xml_.close("BinSetG");
    xml_.open("Global");
    xml_.leaf("Units", "C");
    xml_.leaf("Logo", "");
    xml_.leaf("HWSec", "0");
    xml_.leaf("AlarmDelay", "0");
    xml_.close("Global");
  }

  void network() {
    const Network &n = cfg_.network;
    xml_.open("Network");
    xml_.leaf("Name", cfg_.device_name);
    xml_.leaf("IPAddr", n.ip);
    xml_.leaf("Submask", n.mask);
    xml_.leaf("Gateway", n.gateway);
    xml_.leaf("HTTPport", n.http_port.empty() ? int_text(in_.port) : n.http_port);
    xml_.leaf("TelnetPort", n.telnet_port);
    xml_.leaf("SNMPPort", n.snmp_port);
    xml_.leaf("DNSPrimary", n.dns_primary);
    xml_.leaf("DNSSecondary", n.dns_secondary);
    xml_.leaf("DHCP", n.dhcp);
    xml_.close("Network");
  }

  void email() {
    xml_.open("Email");
    xml_.leaf("Server", "mail.example.invalid");
    xml_.leaf("Port", "25");
    xml_.leaf("From", "device@example.invalid");
    xml_.leaf("To", "alarm@example.invalid");
    xml_.leaf("Subject", "Device report");
    xml_.leaf("Auth", "0");
    xml_.leaf("Name", "");
    xml_.leaf("Pswd", "");
    xml_.leaf("State", "0");
    xml_.leaf("Message", "");
    xml_.close("Email");
  }

  void time() {
    xml_.open("Time");
    xml_.leaf("SNTPServer", "ntp.example.invalid");
    xml_.leaf("TimeShift", "0");
    xml_.leaf("Date", date_text(in_.wall_time));
    xml_.leaf("Time", clock_text(in_.wall_time));
    xml_.leaf("Port", "123");
    xml_.leaf("Period", "60");
    xml_.close("Time");
  }

  void sms() {
    xml_.open("SMS");
    xml_.leaf("E", "0");
    xml_.leaf("Module", "0");
    xml_.leaf("CenterNmr", "");
    xml_.leaf("Recp1", "");
    xml_.leaf("Recp2", "");
    xml_.leaf("RingOut", "0");
    xml_.leaf("State", "0");
    xml_.leaf("Message", "");
    xml_.close("SMS");
  }

  void data_logger() {
    xml_.open("DataLogger");
    xml_.leaf("StorePeriod", "60");
    xml_.leaf("LogCapacity", "1000");
    xml_.leaf("LogBins", "0");
    xml_.open("Report");
    xml_.leaf("E", "0");
    xml_.leaf("To", "");
    xml_.leaf("Period", "0");
    xml_.leaf("Erase", "0");
    xml_.close("Report");
    xml_.close("DataLogger");
  }

  void filters() {
    for (const char *block : {"HTTPIPFilter", "SNMPIPFilter"}) {
      xml_.open(block);
      xml_.leaf("IPAddr", "0.0.0.0");
      xml_.leaf("Mask", "0.0.0.0");
      xml_.close(block);
    }
  }

  void snmp_access() {
    xml_.open("SnmpAccess");
    static constexpr const char *kCommunities[] = {"public", "private"};
    for (std::size_t i = 0; i < 2; ++i) {
      xml_.open("Entry");
      xml_.leaf("Community", kCommunities[i]);
      xml_.leaf("R", "1");
      xml_.flag("W", i == 1);
      xml_.leaf("E", "1");
      idx(i);
      xml_.close("Entry");
    }
    xml_.close("SnmpAccess");
  }

  void users() {
    xml_.open("User");
    const std::string names[] = {cfg_.user.empty() ? "admin" : cfg_.user, "guest"};
    for (std::size_t i = 0; i < 2; ++i) {
      xml_.open("Entry");
      xml_.leaf("Name", names[i]);
      xml_.leaf("Pswd", kHiddenPassword);
      idx(i);
      xml_.close("Entry");
    }
    xml_.close("User");
  }

  XmlWriter xml_;
  const DocumentInput &in_;
  const DeviceConfig &cfg_;
  int family_;
};

}  // namespace

std::string render_setup(const DocumentInput &input) {
  std::string out;
  out.reserve(8192);
  open_root(out, input.config, true);
  SetupWriter(out, input).write();
  close_root(out, input.config, true);
  return out;
}

}  // namespace devsim
