// Fuzz entry of the setup update filter and the preparation of the POST
// request around it. The first byte picks the room the filter is given
// beyond the document and whether the post carries credentials; the rest is
// the document a caller hands over. A refused document must leave the text
// as it was; an accepted one must become a request whose declared length is
// that of the body it carries.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_private.h"

namespace {

const int kSlot = 7;
enum : uint8_t { kCredentialsBit = 0x80, kSlackMask = 0x7F };
const int kSlackStep = 16;  // bytes of room per step of the first byte
const char kRequestStart[] = "POST /setup.xml HTTP/1.0\r\n";
const char kLengthField[] = "Content-Length: ";
const char kHeaderEnd[] = "\r\n\r\n";

void check_filter(const char *document, size_t length, int slack) {
  std::vector<char> text(document, document + length);
  text.resize(length + static_cast<size_t>(slack) + 1, '\0');
  std::vector<char> before = text;
  int r = qxxml_filter_setup_update(kSlot, text.data(), static_cast<int>(text.size()));
  fuzz_check(r == 0 || r == -1, "filter result");
  if (r != 0)
    fuzz_check(text == before, "refused text unchanged");
  else
    fuzz_check(memchr(text.data(), '\0', text.size()) != nullptr, "filtered text zero-terminated");
}

void check_request(const char *request) {
  size_t total = strnlen(request, QXXML_DOC_MAX);
  fuzz_check(total < QXXML_DOC_MAX, "request zero-terminated");
  fuzz_check(strncmp(request, kRequestStart, sizeof kRequestStart - 1) == 0, "request line");
  const char *field = strstr(request, kLengthField);
  const char *end = strstr(request, kHeaderEnd);
  fuzz_check(field && end && field < end, "length field in the header");
  long declared = strtol(field + sizeof kLengthField - 1, nullptr, 10);
  const char *body = end + sizeof kHeaderEnd - 1;
  fuzz_check(declared == static_cast<long>(strlen(body)), "declared length is the body's");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const char *document = reinterpret_cast<const char *>(data) + 1;
  const size_t length = size - 1;
  check_filter(document, length, (data[0] & kSlackMask) * kSlackStep);

  qxxml_settings settings;
  memset(&settings, 0, sizeof settings);
  if (data[0] & kCredentialsBit) {
    snprintf(settings.set_user, sizeof settings.set_user, "operator");
    snprintf(settings.set_password, sizeof settings.set_password, "p&ss<word>");
  }
  // The caller's document exactly sized, without a zero: the preparation
  // must keep to the length it is given.
  std::vector<char> exact(document, document + length);
  std::vector<char> request(QXXML_DOC_MAX, 'x');
  int r =
      qxxml_prepare_post(kSlot, exact.empty() ? "" : exact.data(), static_cast<int>(length), &settings, request.data());
  fuzz_check(r == 0 || r == -1, "preparation result");
  if (r == 0) check_request(request.data());
  return 0;
}
