#include "common/qx_xml_text.h"

#include <limits.h>
#include <string.h>

namespace {

/* The replacement of a byte that XML text cannot carry as it is, or null. */
const char *reference_of(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    default: return nullptr;
  }
}

}  // namespace

int qx_xml_escape(const char *text, int length, char *out, int out_size) {
  if (!text) return -1;
  const size_t count = length < 0 ? strlen(text) : static_cast<size_t>(length);

  /* Measured first, so that a text that does not fit leaves out as it was. */
  size_t needed = 0;
  for (size_t i = 0; i < count && needed < INT_MAX; i++) {
    const char *reference = reference_of(text[i]);
    needed += reference ? strlen(reference) : 1;
  }
  if (needed >= INT_MAX) return -1;
  if (!out) return static_cast<int>(needed);
  if (out_size <= 0 || needed >= static_cast<size_t>(out_size)) return -1;

  char *p = out;
  for (size_t i = 0; i < count; i++) {
    const char *reference = reference_of(text[i]);
    if (reference) {
      const size_t n = strlen(reference);
      memcpy(p, reference, n);
      p += n;
    } else {
      *p++ = text[i];
    }
  }
  *p = '\0';
  return static_cast<int>(needed);
}
