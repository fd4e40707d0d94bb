// Checks on documents with libxml2: well-formedness and the texts of the
// elements an XPath expression selects.
#pragma once

#include <string>
#include <vector>

struct _xmlDoc;

namespace devsim_test {

class XmlProbe {
 public:
  explicit XmlProbe(const std::string &text);
  ~XmlProbe();
  XmlProbe(const XmlProbe &) = delete;
  XmlProbe &operator=(const XmlProbe &) = delete;

  bool well_formed() const { return doc_ != nullptr; }
  std::string root_name() const;  // with its prefix, e.g. "val:Root"
  // Texts of the nodes `xpath` selects, in document order.
  std::vector<std::string> texts(const std::string &xpath) const;
  std::string text(const std::string &xpath) const;  // the first, or ""
  std::size_t count(const std::string &xpath) const { return texts(xpath).size(); }

 private:
  _xmlDoc *doc_ = nullptr;
};

}  // namespace devsim_test
