// The small setup documents the XML I/O object posts.
//
// Built as exact-size strings rather than in fixed buffers, so that a long
// name or a number of hundreds of digits never produces a document cut off
// in the middle of an element.
#include <cstdio>
#include <string>

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
  return Document("SenSet", IndexText(idx, index) + IdText(id) + "<Name>" + name + "</Name>");
}

std::string BinaryNameDocument(bool idx, const char *list, uint32_t index, uint32_t id, const std::string &name) {
  return Document(list, IndexText(idx, index) + IdText(id) + "<Name>" + name + "</Name>");
}

std::string CalibrationDocument(bool idx, uint32_t index, uint32_t id, double calibration) {
  return Document("SenSet", IndexText(idx, index) + IdText(id) + "<Calib>" + OneDecimal(calibration) + "</Calib>");
}

}  // namespace zelvoapi
