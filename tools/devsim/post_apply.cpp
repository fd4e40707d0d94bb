#include <libxml/parser.h>
#include <libxml/tree.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "tools/devsim/post_apply_private.h"

namespace devsim {

namespace {

struct DocFree {
  void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

DocPtr parse(std::string_view body) {
  if (body.empty() || body.size() > static_cast<std::size_t>(INT32_MAX)) return nullptr;
  // No network access, no error output: a refused post is reported by status.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  return DocPtr(xmlReadMemory(body.data(), static_cast<int>(body.size()), "setup.xml", nullptr, options));
}

bool is_element(const xmlNode *node, const char *name) {
  return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char *>(node->name), name) == 0;
}

std::string name_of(const xmlNode *node) { return reinterpret_cast<const char *>(node->name); }

std::string text_of(const xmlNode *node) {
  xmlChar *content = xmlNodeGetContent(node);
  std::string text = content ? reinterpret_cast<const char *>(content) : "";
  xmlFree(content);
  return text;
}

const xmlNode *child(const xmlNode *parent, const char *name) {
  for (const xmlNode *c = parent->children; c; c = c->next)
    if (is_element(c, name)) return c;
  return nullptr;
}

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::optional<double> number_of(std::string_view text) {
  text = trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<long> integer_of(std::string_view text) {
  text = trimmed(text);
  long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// Applies one document, recording the first value it cannot take.
class Applier {
 public:
  Applier(DeviceConfig &config, PostOutcome &outcome) : cfg_(config), out_(outcome) {}

  void apply(const xmlNode *root) {
    for (const xmlNode *list = root->children; list; list = list->next) {
      if (is_element(list, "SenSet"))
        entries(list, cfg_.sensors, &Applier::sensor);
      else if (is_element(list, "BinaryInSet"))
        entries(list, cfg_.inputs, &Applier::input);
      else if (is_element(list, "BinaryOutSet"))
        entries(list, cfg_.outputs, &Applier::output);
      else if (is_element(list, "Network"))
        network(list);
      else if (is_element(list, "SnmpTraps"))
        snmp_traps(list);
    }
  }

 private:
  void fail(std::string why) {
    if (out_.error.empty()) out_.error = std::move(why);
  }

  // Finds the entry a posted Entry means: by its Idx (1-based position) on
  // devices that match by Idx, else by its ID. An entry that matches nothing
  // is ignored, as the device has no such entry.
  template <class Item>
  Item *find(const xmlNode *entry, std::vector<Item> &list, std::size_t *position) {
    if (cfg_.match_by_idx) {
      if (const xmlNode *idx = child(entry, "Idx")) {
        const auto n = integer_of(text_of(idx));
        if (!n || *n < 1 || static_cast<std::size_t>(*n) > list.size()) return nullptr;
        *position = static_cast<std::size_t>(*n - 1);
        return &list[*position];
      }
    }
    const xmlNode *id = child(entry, "ID");
    if (!id) return nullptr;
    const auto n = integer_of(text_of(id));
    if (!n) return nullptr;
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (static_cast<long>(list[i].id) == *n) {
        *position = i;
        return &list[i];
      }
    }
    return nullptr;
  }

  template <class Item>
  void entries(const xmlNode *list, std::vector<Item> &items,
               void (Applier::*apply_one)(const xmlNode *, Item &, std::size_t)) {
    for (const xmlNode *entry = list->children; entry; entry = entry->next) {
      if (!is_element(entry, "Entry")) continue;
      std::size_t position = 0;
      if (Item *item = find(entry, items, &position)) (this->*apply_one)(entry, *item, position);
    }
  }

  void set_number(const xmlNode *field, double &target) {
    if (auto n = number_of(text_of(field)))
      target = *n;
    else
      fail("not a number in " + name_of(field) + ": " + text_of(field));
  }

  void sensor(const xmlNode *entry, Sensor &s, std::size_t position) {
    for (const xmlNode *f = entry->children; f; f = f->next) {
      if (is_element(f, "Name")) {
        s.name = text_of(f);
      } else if (is_element(f, "Calib")) {
        const double before = s.calib;
        set_number(f, s.calib);
        if (s.calib != before) out_.calibrated.push_back(position);
      } else if (is_element(f, "Min")) {
        set_number(f, s.min);
      } else if (is_element(f, "Max")) {
        set_number(f, s.max);
      } else if (is_element(f, "Hyst")) {
        set_number(f, s.hyst);
      }
    }
  }

  void input(const xmlNode *entry, BinaryInput &in, std::size_t) {
    if (const xmlNode *name = child(entry, "Name")) in.name = text_of(name);
  }

  void output(const xmlNode *entry, BinaryOutput &out, std::size_t) {
    if (const xmlNode *name = child(entry, "Name")) out.name = text_of(name);
    if (const xmlNode *value = child(entry, "Value")) {
      const auto v = integer_of(text_of(value));
      if (v && (*v == 0 || *v == 1))
        out.value = static_cast<int>(*v);
      else
        fail("output value must be 0 or 1: " + text_of(value));
    }
  }

  void network(const xmlNode *block) {
    Network &n = cfg_.network;
    struct Field {
      const char *element;
      std::string *target;
    };
    const Field fields[] = {
        {"Name", &cfg_.device_name},
        {"IPAddr", &n.ip},
        {"Submask", &n.mask},
        {"Gateway", &n.gateway},
        {"HTTPport", &n.http_port},
        {"TelnetPort", &n.telnet_port},
        {"SNMPPort", &n.snmp_port},
        {"DNSPrimary", &n.dns_primary},
        {"DNSSecondary", &n.dns_secondary},
        {"DHCP", &n.dhcp},
    };
    for (const Field &field : fields)
      if (const xmlNode *f = child(block, field.element)) *field.target = text_of(f);
  }

  // A device has at most 4 trap receivers, numbered 1..4 by Idx.
  static constexpr std::size_t kTrapMax = 4;

  void snmp_traps(const xmlNode *list) {
    std::size_t position = 0;
    for (const xmlNode *entry = list->children; entry; entry = entry->next) {
      if (!is_element(entry, "Entry")) continue;
      std::size_t index = position++;
      if (const xmlNode *idx = child(entry, "Idx")) {
        const auto n = integer_of(text_of(idx));
        if (!n || *n < 1 || static_cast<std::size_t>(*n) > kTrapMax) continue;
        index = static_cast<std::size_t>(*n - 1);
      }
      if (index >= kTrapMax) continue;
      if (cfg_.snmp_traps.size() <= index) cfg_.snmp_traps.resize(index + 1);
      snmp_trap(entry, cfg_.snmp_traps[index]);
    }
  }

  void snmp_trap(const xmlNode *entry, SnmpTrap &t) {
    if (const xmlNode *f = child(entry, "Community")) t.community = text_of(f);
    if (const xmlNode *f = child(entry, "IPaddr")) t.ip = text_of(f);
    if (const xmlNode *f = child(entry, "Port")) {
      const auto port = integer_of(text_of(f));
      if (port && *port >= 0 && *port <= 65535)
        t.port = static_cast<int>(*port);
      else
        fail("not a port: " + text_of(f));
    }
    if (const xmlNode *f = child(entry, "E")) t.enabled = trimmed(text_of(f)) == "1";
  }

  DeviceConfig &cfg_;
  PostOutcome &out_;
};

}  // namespace

PostOutcome apply_setup_post(DeviceConfig &config, std::string_view body) {
  PostOutcome outcome;
  DocPtr doc = parse(body);
  const xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  if (!root) {
    outcome.error = "posted document is not well-formed XML";
    return outcome;
  }
  DeviceConfig updated = config;
  Applier(updated, outcome).apply(root);
  if (!outcome.error.empty()) {
    outcome.calibrated.clear();
    return outcome;
  }
  config = std::move(updated);
  outcome.ok = true;
  return outcome;
}

bool is_name_only_post(std::string_view body) {
  DocPtr doc = parse(body);
  const xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  if (!root) return false;
  bool has_name = false;
  for (const xmlNode *block = root->children; block; block = block->next) {
    if (block->type != XML_ELEMENT_NODE) continue;
    if (!is_element(block, "Network")) return false;
    for (const xmlNode *f = block->children; f; f = f->next) {
      if (f->type != XML_ELEMENT_NODE) continue;
      if (!is_element(f, "Name")) return false;
      has_name = true;
    }
  }
  return has_name;
}

}  // namespace devsim
