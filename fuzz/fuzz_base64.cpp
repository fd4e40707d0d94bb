// Fuzz entry of the Base64 decoder. The first byte picks the strict flags;
// the rest is the text. Whatever the text, the decode must stay inside the
// size it announces, a strict decode that refuses must point into the text,
// and the bytes it yields must encode and decode back to themselves.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/qx_base64.h"
#include "fuzz/fuzz_check.h"

namespace {

const int kFlags[] = {0, QX_BASE64_STRICT_OTHER, QX_BASE64_STRICT_BLANK,
                      QX_BASE64_STRICT_OTHER | QX_BASE64_STRICT_BLANK};
const int kFlagChoices = sizeof kFlags / sizeof kFlags[0];

// Encodes bytes and decodes them again, lenient and strict: both must give
// the bytes back.
void check_round_trip(const std::vector<uint8_t> &bytes) {
  int length = static_cast<int>(bytes.size());
  int needed = qx_base64_encode(bytes.data(), length, nullptr, 0);
  fuzz_check(needed >= 0, "encode size not negative");
  std::vector<char> text(static_cast<size_t>(needed));
  int written = qx_base64_encode(bytes.data(), length, text.data(), needed);
  fuzz_check(written == needed, "encode fills the size it announced");
  int room = qx_base64_decode(text.data(), written, nullptr, 0);
  std::vector<uint8_t> back(static_cast<size_t>(room) + 1);
  int error = -1;
  const char *bad = text.data();
  int decoded = qx_base64_decode_ex(text.data(), written, back.data(), room,
                                    QX_BASE64_STRICT_OTHER | QX_BASE64_STRICT_BLANK, &bad, &error);
  fuzz_check(error == QX_BASE64_OK && bad == nullptr, "strict decode takes the encoder's text");
  fuzz_check(decoded == length && std::equal(bytes.begin(), bytes.end(), back.begin()), "round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  int flags = kFlags[data[0] % kFlagChoices];
  // An exactly sized copy, so that a read past the text is caught.
  std::vector<char> text(data + 1, data + size);
  int length = static_cast<int>(text.size());

  int needed = qx_base64_decode(text.data(), length, nullptr, 0);
  fuzz_check(needed >= 0, "decode size not negative");
  std::vector<uint8_t> out(static_cast<size_t>(needed));
  int decoded = qx_base64_decode(text.data(), length, out.data(), needed);
  fuzz_check(decoded >= 0 && decoded <= needed, "lenient decode within its size");
  if (needed > 0) {
    std::vector<uint8_t> short_room(static_cast<size_t>(needed - 1));
    fuzz_check(qx_base64_decode(text.data(), length, short_room.data(), needed - 1) == 0,
               "too little room writes nothing");
  }

  std::vector<uint8_t> strict(static_cast<size_t>(needed));
  const char *bad = nullptr;
  int error = -1;
  int strict_decoded = qx_base64_decode_ex(text.data(), length, strict.data(), needed, flags, &bad, &error);
  if (error == QX_BASE64_BAD_CHARACTER) {
    fuzz_check(strict_decoded == 0, "refused text yields nothing");
    fuzz_check(bad >= text.data() && bad < text.data() + length, "refused character lies in the text");
  } else {
    fuzz_check(error == QX_BASE64_OK && bad == nullptr, "accepted text reports no fault");
    fuzz_check(strict_decoded == decoded && std::equal(strict.begin(), strict.begin() + decoded, out.begin()),
               "strict decode of an accepted text matches the lenient one");
  }

  out.resize(static_cast<size_t>(decoded));
  check_round_trip(out);
  return 0;
}
