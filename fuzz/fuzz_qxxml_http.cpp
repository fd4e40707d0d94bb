// Fuzz entry of the HTTP reply reader and the prefixed-root rewrite. The
// reply is fed through a socket pair in chunks, each sent only once the
// reader has taken the one before, so that a header split across reads is
// tried as often as a whole one. First byte: count (low four bits) and size
// (high four bits, plus one) of the leading small chunks, the rest following
// in one; second byte: the body's room, the full document size when below
// 128. The rest is the reply.
#include <linux/sockios.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/qx_socket.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_peer.h"
#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_private.h"

namespace {

const int kSlot = 7;
const size_t kControlBytes = 2;
const uint8_t kSmallRoomFrom = 128;
const int kRoomStep = 64;
const int kNibble = 4;
const uint8_t kNibbleMask = 15;
const char kRoot[] = "<Root>";

// Waits until the reader has taken everything sent, or has ended.
void wait_drained(int fd, const std::atomic<bool> &reader_done) {
  int unread = 0;
  while (!reader_done.load() && ioctl(fd, SIOCOUTQ, &unread) == 0 && unread > 0) sched_yield();
}

void feed(int fd, const uint8_t *reply, size_t length, int small_count, size_t small_size,
          const std::atomic<bool> &reader_done) {
  size_t at = 0;
  for (int i = 0; i <= small_count && at < length && !reader_done.load(); i++) {
    size_t chunk = i < small_count ? small_size : length - at;
    if (chunk > length - at) chunk = length - at;
    if (send(fd, reply + at, chunk, MSG_NOSIGNAL) != static_cast<ssize_t>(chunk)) break;
    at += chunk;
    wait_drained(fd, reader_done);
  }
  shutdown(fd, SHUT_WR);
}

// The rewrite changes at most one run of bytes, into "<Root>" and blanks,
// and never the length.
void check_rewrite(const char *body, int length, int kind) {
  std::vector<char> text(body, body + length);
  qxxml_rewrite_prefixed_root(text.empty() ? nullptr : text.data(), length, kind);
  int first = 0;
  while (first < length && text[first] == body[first]) first++;
  if (first == length) return;
  // The replaced tag and the plain root both open with '<', so the run
  // found begins one byte after the tag.
  fuzz_check(first > 0, "rewrite keeps the tag's opening bracket");
  const int start = first - 1;
  int last = length - 1;
  while (text[last] == body[last]) last--;
  fuzz_check(last - start + 1 >= static_cast<int>(sizeof kRoot - 1), "rewritten run holds the plain root");
  fuzz_check(memcmp(&text[start], kRoot, sizeof kRoot - 1) == 0, "rewritten run starts with the plain root");
  for (int i = start + static_cast<int>(sizeof kRoot - 1); i <= last; i++)
    fuzz_check(text[i] == ' ' || text[i] == body[i], "rewritten run padded with blanks");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < kControlBytes) return 0;
  const int small_count = data[0] & kNibbleMask;
  const size_t small_size = static_cast<size_t>(data[0] >> kNibble) + 1;
  const int room = data[1] < kSmallRoomFrom ? QXXML_DOC_MAX : 1 + (data[1] - kSmallRoomFrom) * kRoomStep;

  int fds[2];
  fuzz_check(socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0, "socket pair");
  fuzz_check(qx_socket_option(fds[0], QX_SOCKET_NONBLOCK) == 0, "reader non-blocking");
  qxxml_slot_storage &s = qxxml_slots[kSlot];
  s.socket = fds[0];
  s.slot.state.store(1);
  s.arriving = qxxml_doc_quality{};
  qxxml_set_silence_waits(1);
  qxxml_begin_transaction(kSlot);

  std::atomic<bool> reader_done{false};
  fuzz_peer &writer = fuzz_peer::instance();
  writer.start([&] { feed(fds[1], data + kControlBytes, size - kControlBytes, small_count, small_size, reader_done); });
  // An exactly sized body, so that a write past its room is caught.
  std::vector<char> body(static_cast<size_t>(room));
  int length = room;
  int r = qxxml_receive(kSlot, body.data(), &length);
  reader_done.store(true);
  writer.wait();
  close(fds[1]);
  qxxml_close_socket(kSlot);
  s.slot.state.store(0);

  fuzz_check(r == 0 || r == -1, "receive result");
  if (r != 0) return 0;
  fuzz_check(length >= 0 && length < room, "body within its room");
  fuzz_check(body[static_cast<size_t>(length)] == '\0', "body zero-terminated");
  check_rewrite(body.data(), length, QXXML_DOC_VALUES);
  check_rewrite(body.data(), length, QXXML_DOC_SETUP);
  return 0;
}
