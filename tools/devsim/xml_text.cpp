#include <charconv>
#include <cmath>

#include "tools/devsim/xml_text_private.h"

namespace devsim {

std::string xml_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c; break;
    }
  }
  return out;
}

std::string fixed_text(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (!std::isfinite(value)) value = 0;
  // Readings stay far below 1e15; 64 bytes hold any fixed text of them with
  // the few decimals the devices use.
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return "0";
  std::string text(buf, result.ptr);
  if (text.size() > 1 && text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
    text.erase(0, 1);  // no "-0.0"
  return text;
}

std::string int_text(long long value) { return std::to_string(value); }

void XmlWriter::open(std::string_view name) {
  out_ += '\n';
  out_ += '<';
  out_ += name;
  out_ += '>';
}

void XmlWriter::open(std::string_view name, std::string_view attributes) {
  out_ += '\n';
  out_ += '<';
  out_ += name;
  out_ += ' ';
  out_ += attributes;
  out_ += '>';
}

void XmlWriter::close(std::string_view name) {
  out_ += "\n</";
  out_ += name;
  out_ += '>';
}

void XmlWriter::leaf(std::string_view name, std::string_view text) {
  out_ += "\n<";
  out_ += name;
  out_ += '>';
  out_ += xml_escape(text);
  out_ += "</";
  out_ += name;
  out_ += '>';
}

}  // namespace devsim
