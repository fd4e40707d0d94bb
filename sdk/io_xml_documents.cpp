// The small setup documents the XML I/O object posts.
//
// Built as exact-size strings rather than in fixed buffers, so that a long
// name or a number of hundreds of digits never produces a document cut off
// in the middle of an element. A document too long for the library is
// refused by it when posted.
#include <algorithm>
#include <cstdio>
#include <string>

#include "common/qx_xml_text.h"
#include "sdk/io_xml_private.h"
#include "sdk/text_number.h"

namespace zelvoapi {

namespace {

std::string Unsigned(uint32_t value) { return std::to_string(value); }

// One decimal, as "%.1f" prints it; large enough for any finite double.
std::string OneDecimal(double value) {
  char text[400];
  return format_fixed(text, sizeof text, value, 1) ? std::string(text) : std::string("0.0");
}

std::string IndexText(bool idx, uint32_t index) { return idx ? "<Idx>" + Unsigned(index) + "</Idx>" : std::string(); }

// "<Root><list><Entry>" + entry + "</Entry></list></Root>"
std::string Document(const std::string &list, const std::string &entry) {
  return "<Root><" + list + "><Entry>" + entry + "</Entry></" + list + "></Root>";
}

std::string IdText(uint32_t id) { return "<ID>" + Unsigned(id) + "</ID>"; }

// A caller's text as element content: a name holding "&" or "</Name>" must
// reach the device as that name, not as a malformed document or as markup
// that sets another field. Escaped piece by piece, so that no length handed
// to the helper passes what an int holds.
std::string Escaped(const std::string &text) {
  constexpr size_t kPiece = 256;
  char escaped[kPiece * QX_XML_ESCAPE_GROWTH_MAX + 1];
  std::string out;
  for (size_t at = 0; at < text.size(); at += kPiece) {
    const size_t length = std::min(kPiece, text.size() - at);
    const int written = qx_xml_escape(text.data() + at, static_cast<int>(length), escaped, sizeof escaped);
    if (written > 0) out.append(escaped, static_cast<size_t>(written));
  }
  return out;
}

std::string NameText(const std::string &name) { return "<Name>" + Escaped(name) + "</Name>"; }

}  // namespace

std::string OutputDocument(bool idx, uint32_t id, uint32_t value) {
  return Document("BinaryOutSet", IndexText(idx, id - IOXML_BINARY_OUT_INDEX_BASE) + IdText(id) + "<Value>" +
                                      Unsigned(value) + "</Value>");
}

std::string RangeDocument(bool idx, uint32_t index, uint32_t id, double min, double max) {
  return Document("SenSet", IndexText(idx, index) + IdText(id) + "<Min>" + OneDecimal(min) + "</Min><Max>" +
                                OneDecimal(max) + "</Max>");
}

std::string SensorNameDocument(bool idx, uint32_t index, uint32_t id, const std::string &name) {
  return Document("SenSet", IndexText(idx, index) + IdText(id) + NameText(name));
}

std::string BinaryNameDocument(bool idx, const char *list, uint32_t index, uint32_t id, const std::string &name) {
  return Document(list, IndexText(idx, index) + IdText(id) + NameText(name));
}

std::string CalibrationDocument(bool idx, uint32_t index, uint32_t id, double calibration) {
  return Document("SenSet", IndexText(idx, index) + IdText(id) + "<Calib>" + OneDecimal(calibration) + "</Calib>");
}

}  // namespace zelvoapi
