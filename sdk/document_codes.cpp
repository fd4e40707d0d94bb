// Device family and document version codes of the document wrappers.
#include <cstring>

#include "sdk/document_xml.h"

namespace zelvoapi {

namespace {

// Model codes first..last belong to `family`.
struct TModelRange {
  int32_t First;
  int32_t Last;
  int32_t Family;
};

const TModelRange kModelFamilies[] = {
    {3, 4, 0},   {6, 6, 0},   {10, 14, 0}, {21, 26, 0}, {34, 34, 0}, {36, 36, 0}, {65, 68, 0},
    {2, 2, 1},   {15, 17, 1}, {40, 40, 1}, {69, 69, 1}, {33, 33, 3}, {43, 43, 3}, {51, 52, 3},
    {70, 70, 3}, {45, 45, 4}, {55, 55, 4}, {57, 58, 4}, {53, 54, 5}, {56, 56, 5},
};

// Every model code outside the table.
const int32_t kUnnamedFamily = 2;

struct TVersionCode {
  const char *Text;
  int32_t Code;
};

// Tested in this order; the numbering is the devices' history, not sorted.
const TVersionCode kXmlVersions[] = {
    {"2.0", 0}, {"2.20", 1}, {"2.34", 2}, {"2.35", 5}, {"2.36", 6}, {"1.00", 4}, {"1.01", 7},
};

const int32_t kUnknownXmlVersion = 3;

}  // namespace

int32_t model_family(int32_t model) {
  for (const TModelRange &range : kModelFamilies) {
    if (model >= range.First && model <= range.Last) return range.Family;
  }
  return kUnnamedFamily;
}

int32_t xml_version_code(const char *version) {
  if (!version) return kUnknownXmlVersion;
  for (const TVersionCode &row : kXmlVersions) {
    if (std::strcmp(version, row.Text) == 0) return row.Code;
  }
  return kUnknownXmlVersion;
}

}  // namespace zelvoapi
