// Helpers of the qxdom tests: an owning document handle, a canonical dump of
// a tree and a check of the child chains' invariants.
#ifndef TESTS_QXXML_QXDOM_TEST_SUPPORT_H
#define TESTS_QXXML_QXDOM_TEST_SUPPORT_H

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "qxxml/qxdom/qxdom.h"

namespace qxdom_test {

// Parses a private, exactly sized copy of a text (so that a read past its end
// is caught by AddressSanitizer) and releases the document at scope end.
class Parsed {
 public:
  explicit Parsed(const std::string &text) : buffer_(text.begin(), text.end()) {
    doc_ = qxdom_parse_memory(buffer_.empty() ? nullptr : buffer_.data(), buffer_.size());
  }
  ~Parsed() { qxdom_release(doc_ ? &doc_->node : nullptr); }
  Parsed(const Parsed &) = delete;
  Parsed &operator=(const Parsed &) = delete;

  qxdom_document *doc() const { return doc_; }
  qxdom_node *root() const { return &doc_->node; }
  std::string error() const { return doc_->error; }

 private:
  std::vector<char> buffer_;
  qxdom_document *doc_;
};

inline std::string escaped(const char *s) {
  std::string out;
  for (; *s; s++) {
    unsigned char c = static_cast<unsigned char>(*s);
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\\')
      out += "\\\\";
    else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// name[attribute=value,...]"text"(child@offset ...), parts left out when empty.
inline std::string dump(const qxdom_node *node) {
  if (!node || !node->name) return "-";
  std::string out = escaped(node->name);
  if (node->attributes[0]) {
    out += "[";
    for (char *const *pair = node->attributes; pair[0]; pair += 2) {
      if (pair != node->attributes) out += ",";
      out += escaped(pair[0]) + "=" + escaped(pair[1]);
    }
    out += "]";
  }
  if (node->text[0]) out += "\"" + escaped(node->text) + "\"";
  if (node->first_child) {
    out += "(";
    for (const qxdom_node *child = node->first_child; child; child = child->order_next) {
      if (child != node->first_child) out += " ";
      out += dump(child) + "@" + std::to_string(child->text_offset);
    }
    out += ")";
  }
  return out;
}

// Empty when the chains below node keep their invariants, else what broke.
inline std::string chain_faults(const qxdom_node *node, bool offsets_within_text = true) {
  std::vector<const qxdom_node *> order;
  for (const qxdom_node *c = node->first_child; c; c = c->order_next) order.push_back(c);
  std::vector<const qxdom_node *> heads;
  std::map<std::string, std::vector<const qxdom_node *>> by_name;
  uint32_t last_offset = 0;
  size_t length = strlen(node->text);
  std::string where = std::string("below <") + (node->name ? node->name : "?") + ">: ";
  for (const qxdom_node *c : order) {
    if (c->parent != node) return where + "wrong parent of <" + c->name + ">";
    if (c->text_offset < last_offset) return where + "offsets decrease at <" + c->name + ">";
    if (offsets_within_text && c->text_offset > length) return where + "offset beyond the text at <" + c->name + ">";
    last_offset = c->text_offset;
    auto &same = by_name[c->name];
    if (same.empty()) heads.push_back(c);
    same.push_back(c);
  }
  std::vector<const qxdom_node *> groups;
  for (const qxdom_node *h = node->first_child; h && groups.size() <= order.size(); h = h->group_next)
    groups.push_back(h);
  if (groups != heads) return where + "name groups out of order";
  for (const qxdom_node *c : order) {
    bool head = by_name[c->name].front() == c;
    if (!head && c->group_next) return where + "group link on a later <" + c->name + ">";
  }
  for (auto &[name, same] : by_name) {
    std::vector<const qxdom_node *> chain;
    for (const qxdom_node *s = same.front(); s && chain.size() <= order.size(); s = s->same_next) chain.push_back(s);
    if (chain != same) return where + "same-name chain of <" + name + "> broken";
  }
  for (const qxdom_node *c : order) {
    std::string fault = chain_faults(c, offsets_within_text);
    if (!fault.empty()) return fault;
  }
  return "";
}

inline std::string read_text_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string fixture(const std::string &name) {
  return read_text_file(std::string(QX_FIXTURES) + "/qxdom/" + name);
}

}  // namespace qxdom_test

#endif
