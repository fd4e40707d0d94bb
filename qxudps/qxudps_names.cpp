// A device's name over HTTP: read from the DeviceName of its values.xml
// after a search, written as the Network Name of its setup.xml after a setup.
#include <stdio.h>
#include <string.h>

#include <string_view>

#include "common/qx_xml_text.h"
#include "qxudps/qxudps_private.h"

namespace {

// The request carries no credentials: devices serve values.xml to anyone.
const char kNameRequest[] = "GET /values.xml HTTP/1.0\r\n\r\n";
const char kNameOpen[] = "<DeviceName>";
const char kNameClose[] = "</DeviceName>";

// Devices take a post of only the Network Name without credentials.
const char kNameDocument[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root>\n<Network>\n<Name>%s</Name>\n</Network>\n</Root>";
const char kNamePost[] = "POST /setup.xml HTTP/1.0\r\nContent-Type: text/xml\r\nContent-Length: %i\r\n\r\n%s";

const size_t kNameMax = QXUDPS_NAME_SIZE - 1;
// The longest name a record holds, every byte of it escaped to the longest
// reference.
const size_t kEscapedNameSize = kNameMax * QX_XML_ESCAPE_GROWTH_MAX + 1;
// The templates' own length covers their conversions and zero; the length
// field takes at most the digits of an int.
const size_t kIntDigitsMax = 10;
const size_t kDocumentSize = sizeof kNameDocument + kEscapedNameSize;
const size_t kPostSize = sizeof kNamePost + kIntDigitsMax + kDocumentSize;

// A UTF-8 character has at most three bytes after its first.
const int kUtf8ContinuationMax = 3;

// Only the worker thread reads names, one device after the other, so one
// reply buffer serves every lookup.
char reply[UDPS_XML_FILE_SIZE];

bool is_utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The bytes of a decoded name of `length` bytes that the record keeps: at
// most kNameMax, and a character that would not fit whole is left out rather
// than cut.
size_t name_cut(const char *text, size_t length) {
  if (length <= kNameMax) return length;
  size_t cut = kNameMax;
  for (int back = 0; back < kUtf8ContinuationMax && is_utf8_continuation(text[cut]); back++) cut--;
  return cut;
}

// Sends `length` bytes of `request` on a connection just made and takes the
// reply into `reply`; closes the connection either way. 0 / -1.
int exchange(const char *request, int length, int *reply_length) {
  int result = qxudps_tcp_send(request, length);
  *reply_length = 0;
  reply[0] = '\0';
  if (result == 0) result = qxudps_tcp_receive(reply, reply_length);
  qxudps_tcp_close();
  return result;
}

}  // namespace

// The caller asks only devices whose type has a name, so `type` is not
// looked at here.
int qxudps_fetch_name(const char *address, int port, char *name, unsigned int /*type*/) {
  if (qxudps_tcp_connect(address, port) != 0) return -1;
  int length = 0;
  if (exchange(kNameRequest, sizeof kNameRequest - 1, &length) != 0) return -1;
  if (length == 0) {
    qxudps_record_error(QXUDPS_MSG_REPLY_EMPTY, 0);
    return -1;
  }

  // The header is not told apart from the body: the first tags anywhere in
  // the reply count.
  const std::string_view text(reply, static_cast<size_t>(length));
  const size_t open = text.find(kNameOpen);
  const size_t close = text.find(kNameClose);
  const size_t value_at = open + (sizeof kNameOpen - 1);
  if (open == std::string_view::npos || close == std::string_view::npos || close < value_at) {
    qxudps_record_error(QXUDPS_MSG_NAME_NOT_FOUND, 0);
    return -1;
  }
  char *value = reply + value_at;
  const size_t encoded_length = close - value_at;
  const int decoded_length =
      qx_xml_unescape(value, static_cast<int>(encoded_length), value, static_cast<int>(encoded_length) + 1);
  const size_t kept = name_cut(value, static_cast<size_t>(decoded_length));
  memcpy(name, value, kept);
  name[kept] = '\0';
  return 0;
}

int qxudps_set_name(const char *address, int port, const char *name, unsigned int type) {
  if (!qxudps_in_name_set(type)) {
    qxudps_record_error(QXUDPS_MSG_NAME_NOT_SUPPORTED, 0);
    return -1;
  }
  char escaped[kEscapedNameSize];
  qx_xml_escape(name, static_cast<int>(strnlen(name, kNameMax)), escaped, sizeof escaped);
  char document[kDocumentSize];
  const int document_length = snprintf(document, sizeof document, kNameDocument, escaped);
  char post[kPostSize];
  const int post_length = snprintf(post, sizeof post, kNamePost, document_length, document);

  if (qxudps_tcp_connect(address, port) != 0) return -1;
  // The reply is taken so that the device sees the exchange through, but
  // what it says is not looked at.
  int reply_length = 0;
  return exchange(post, post_length, &reply_length);
}
