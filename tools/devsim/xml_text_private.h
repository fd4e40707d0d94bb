// Text building blocks of the simulator's documents: a line-per-element XML
// writer and locale-independent number texts.
#pragma once

#include <string>
#include <string_view>

namespace devsim {

// The declaration every document starts with.
inline constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

// Replaces &, < and > by their references so that any text stays XML.
std::string xml_escape(std::string_view text);

// Fixed-point text with `decimals` digits after the point ("21.4"), always
// with "." whatever the process locale says.
std::string fixed_text(double value, int decimals);
std::string int_text(long long value);

// Writes elements one per line, without indentation, the way the devices do:
// every start tag of a group, every leaf and every end tag on a line of its own.
class XmlWriter {
 public:
  explicit XmlWriter(std::string &out) : out_(out) {}

  void open(std::string_view name);
  // Start tag with attribute text already formatted, e.g. `id="3"`.
  void open(std::string_view name, std::string_view attributes);
  void close(std::string_view name);
  void leaf(std::string_view name, std::string_view text);  // text is escaped
  void leaf(std::string_view name, long long value) { leaf(name, int_text(value)); }
  void flag(std::string_view name, bool value) { leaf(name, value ? "1" : "0"); }

 private:
  std::string &out_;
};

}  // namespace devsim
