// Reader of values.xml in the meter form, and scaled numbers as decimal text.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "qxxml/qxdom/qxdom.h"
#include "qxxml/qxxml_meter_private.h"

namespace {

// Models whose values.xml lists Meter and Input elements.
constexpr int meter_models[] = {45, 55, 57, 58};

// Limits are shown with every decimal the exponent gives.
constexpr int16_t limit_decimals = 32;

// A text replaces a field only when it fits the at most size − 2 characters
// that the path-table pass keeps; a longer one is dropped whole and the field
// keeps what it had, so that no field ever holds a cut name or number.
void put_text(char *field, size_t size, const char *text) {
  size_t n = strlen(text);
  if (n + 2 > size) return;
  memcpy(field, text, n + 1);
}

template <size_t N>
void put(char (&field)[N], const char *text) {
  put_text(field, N, text);
}

template <size_t N>
void put_number(char (&field)[N], long value) {
  char text[24];
  snprintf(text, sizeof text, "%li", value);
  put(field, text);
}

// A text that fails to format (no memory) leaves the field unchanged.
template <size_t N>
void put_scaled(char (&field)[N], int32_t value, int16_t exponent) {
  char *text = qxxml_format_scaled(nullptr, value, exponent, limit_decimals, "%s");
  if (!text) return;
  put(field, text);
  free(text);
}

long decimal(const char *text, long low, long high) {
  long value = strtol(text, nullptr, 10);
  return std::clamp(value, low, high);
}

const char *child_text(const qxdom_node *node, const char *name) {
  const qxdom_node *child = qxdom_find_child(node, name);
  return child ? child->text : nullptr;
}

// The id attribute; an element without one gets 0.
long identifier(const qxdom_node *node) {
  const char *id = qxdom_attribute(node, "id");
  return id ? decimal(id, INT_MIN, INT_MAX) : 0;
}

// Only the lowest 8 bits of cfg count.
unsigned configuration(const char *text) { return static_cast<unsigned>(decimal(text, LONG_MIN, LONG_MAX)) & 0xFF; }

// Limits sent as integers scaled by the current exponent. Note the pairing:
// alarm_end is the lower limit and alarm_start the upper one.
struct scaled_limit {
  const char *element;
  char (qxxml_values::*field)[QXXML_SENSOR_MAX][8];
};
const scaled_limit scaled_limits[] = {
    {"alarm_end", &qxxml_values::SenSet_Entry_Min},
    {"alarm_start", &qxxml_values::SenSet_Entry_Max},
    {"hyst", &qxxml_values::SenSet_Entry_Hyst},
};

// "1" / "0" fields taken from one bit of cfg.
template <size_t Entries>
struct cfg_bit {
  unsigned bit;
  char (qxxml_values::*field)[Entries][4];
};
const cfg_bit<QXXML_SENSOR_MAX> val_bits[] = {
    {0x08, &qxxml_values::SenSet_Entry_EmailSMS},
    {0x04, &qxxml_values::SenSet_Entry_SNMPTrap},
};
const cfg_bit<QXXML_BINARY_IN_MAX> input_bits[] = {
    {0x08, &qxxml_values::BinaryInSet_Entry_EmailSMS},
    {0x10, &qxxml_values::BinaryInSet_Entry_SNMPTrap},
};

template <size_t Entries, size_t N>
void put_bits(qxxml_values *record, int k, const cfg_bit<Entries> (&bits)[N], unsigned cfg) {
  for (const cfg_bit<Entries> &b : bits) put((record->*b.field)[k], cfg & b.bit ? "1" : "0");
}

// One Val of a meter as sensor entry k. The exponent carries over from the
// previous Val (of any meter) unless this one has its own Exp.
void read_val(qxxml_values *record, int k, const char *meter_name, const qxdom_node *val, int16_t *exponent) {
  const char *reading = child_text(val, "Name");
  char name[sizeof record->SenSet_Entry_Name[0]];
  int n = snprintf(name, sizeof name, "%s.%s", meter_name, reading ? reading : "");
  if (n >= 0 && static_cast<size_t>(n) < sizeof name) put(record->SenSet_Entry_Name[k], name);

  const char *units = child_text(val, "Units");
  if (!units) units = child_text(val, "Unit");
  if (units) put(record->SenSet_Entry_Units[k], units);
  put_number(record->SenSet_Entry_ID[k], identifier(val));

  if (const char *exp = child_text(val, "Exp")) {
    put(record->SenSet_Entry_Exp[k], exp);
    *exponent = static_cast<int16_t>(decimal(exp, INT16_MIN, INT16_MAX));
  }
  if (const char *value = child_text(val, "Value")) put(record->SenSet_Entry_Value[k], value);
  for (const scaled_limit &limit : scaled_limits) {
    const char *text = child_text(val, limit.element);
    if (text)
      put_scaled((record->*limit.field)[k], static_cast<int32_t>(decimal(text, INT32_MIN, INT32_MAX)), *exponent);
  }
  if (const char *state = child_text(val, "State")) put(record->SenSet_Entry_State[k], state);
  if (const char *cfg = child_text(val, "cfg")) put_bits(record, k, val_bits, configuration(cfg));
  put(record->SenSet_Entry_Calib[k], "0");
}

void read_input(qxxml_values *record, int k, const qxdom_node *input) {
  if (const char *name = child_text(input, "Name")) put(record->BinaryInSet_Entry_Name[k], name);
  put_number(record->BinaryInSet_Entry_ID[k], identifier(input));
  if (const char *state = child_text(input, "State")) put(record->BinaryInSet_Entry_State[k], state);
  if (const char *value = child_text(input, "Value")) put(record->BinaryInSet_Entry_Value[k], value);
  if (const char *text = child_text(input, "cfg")) {
    unsigned cfg = configuration(text);
    const char *alarm = !(cfg & 0x02) ? "2" : (cfg & 0x04) ? "1" : "0";
    put(record->BinaryInSet_Entry_Alarm[k], alarm);
    put_bits(record, k, input_bits, cfg);
  }
}

// New entries follow those already counted. Entries beyond an array's
// capacity are dropped and not counted, so the counts stay the number of
// entries the record holds.
void read_meters(qxxml_values *record, qxxml_values_counts *counts, const qxdom_node *root) {
  int16_t exponent = 0;
  for (const qxdom_node *meter = qxdom_find_child(root, "Meter"); meter; meter = meter->same_next) {
    const char *name = child_text(meter, "Name");
    const qxdom_node *val = qxdom_find_child(meter, "Val");
    if (!name) continue;
    for (; val; val = val->same_next) {
      int k = counts->SenSet_count;
      if (k < 0 || k >= QXXML_SENSOR_MAX) return;
      read_val(record, k, name, val, &exponent);
      counts->SenSet_count = k + 1;
    }
  }
}

void read_inputs(qxxml_values *record, qxxml_values_counts *counts, const qxdom_node *root) {
  for (const qxdom_node *input = qxdom_find_child(root, "Input"); input; input = input->same_next) {
    int k = counts->BinaryInSet_count;
    if (k < 0 || k >= QXXML_BINARY_IN_MAX) return;
    read_input(record, k, input);
    counts->BinaryInSet_count = k + 1;
  }
}

}  // namespace

void qxxml_read_meter_tree(qxxml_values *record, qxxml_values_counts *counts, const char *text, int length) {
  if (!record || !counts || !text || length <= 0) return;
  int model = static_cast<int>(decimal(record->Agent_Model, INT_MIN, INT_MAX));
  if (std::find(std::begin(meter_models), std::end(meter_models), model) == std::end(meter_models)) return;
  // The tree parser writes into the text it parses; the text handed in stays
  // the slot's raw document.
  char *copy = static_cast<char *>(malloc(static_cast<size_t>(length)));
  if (!copy) return;
  memcpy(copy, text, static_cast<size_t>(length));
  // Parse errors are not checked: whatever tree was built is read.
  qxdom_document *doc = qxdom_parse_memory(copy, static_cast<size_t>(length));
  if (doc) {
    read_meters(record, counts, &doc->node);
    read_inputs(record, counts, &doc->node);
    qxdom_release(&doc->node);
  }
  free(copy);
}

char *qxxml_format_scaled(FILE *stream, int32_t value, int16_t exponent, int16_t max_decimals, const char *format) {
  char text[32];  // at most 31 characters
  size_t n = 0;
  auto append = [&](char c) {
    if (n < sizeof text - 1) text[n++] = c;
  };
  if (value == 0 && exponent > 0) {
    append('0');
  } else {
    char digits[10];  // least significant first
    int count = 0;
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
      digits[count++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude);
    int decimals = -exponent;
    if (value < 0) append('-');
    if (count <= decimals) {
      append('0');
      append('.');
      for (int i = count; i < decimals && n < sizeof text - 1; i++) append('0');
    }
    for (int i = count - 1; i >= 0; i--) {
      append(digits[i]);
      if (i > 0 && i == decimals) append('.');
    }
    for (int i = 0; i < exponent && n < sizeof text - 1; i++) append('0');
  }
  text[n] = '\0';
  char *point = strchr(text, '.');
  if (point && max_decimals >= 0 && strlen(point + 1) > static_cast<size_t>(max_decimals)) {
    point[max_decimals ? max_decimals + 1 : 0] = '\0';
  }
  if (stream) {
    fprintf(stream, format ? format : "%s", text);
    return nullptr;
  }
  size_t size = strlen(text) + 1;
  char *copy = static_cast<char *>(malloc(size));
  if (copy) memcpy(copy, text, size);
  return copy;
}
