// Readers: a stream, a descriptor or a file into a buffer the document owns.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "qxxml/qxdom/qxdom_private.h"

namespace {

constexpr size_t read_step = 1024;

struct input {
  char *data;
  size_t length;
  size_t cap;
};

// Room for at least one more read step. Reading stops one byte past the
// parser's limit, so that the parse reports the input as too large instead
// of silently cutting it.
bool make_room(input &in) {
  if (in.cap - in.length >= read_step) return true;
  if (in.length > QXDOM_INPUT_MAX) return false;
  size_t cap = in.cap ? 2 * in.cap : read_step;
  if (cap < in.length + read_step) cap = in.length + read_step;
  char *grown = static_cast<char *>(qxdom_realloc(in.data, cap));
  if (!grown) return false;
  in.data = grown;
  in.cap = cap;
  return true;
}

// Parses what was read into a document that owns the buffer.
qxdom_document *parse_owned(input &in, bool out_of_memory) {
  qxdom_doc *doc = qxdom_doc_new();
  if (!doc) {
    free(in.data);
    return nullptr;
  }
  if (out_of_memory && in.length <= QXDOM_INPUT_MAX) qxdom_set_error(doc, QXDOM_OUT_OF_MEMORY, 1);
  qxdom_parse_into(doc, in.data, in.length);
  doc->pub.buffer_owned = -1;
  return &doc->pub;
}

}  // namespace

qxdom_document *qxdom_read_stream(FILE *stream) {
  if (!stream) return nullptr;
  input in{nullptr, 0, 0};
  bool room = true;
  while ((room = make_room(in))) {
    size_t got = fread(in.data + in.length, 1, read_step, stream);
    in.length += got;
    if (got < read_step) break;
  }
  return parse_owned(in, !room);
}

qxdom_document *qxdom_read_descriptor(int descriptor) {
  if (descriptor < 0) return nullptr;
  input in{nullptr, 0, 0};
  // The file's size sets the first buffer; reading goes on to the end, so a
  // pipe or a file that grew meanwhile is read whole as well.
  struct stat info;
  if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
      static_cast<unsigned long long>(info.st_size) <= QXDOM_INPUT_MAX) {
    in.cap = static_cast<size_t>(info.st_size) + read_step;
    in.data = static_cast<char *>(qxdom_malloc(in.cap));
    if (!in.data) in.cap = 0;
  }
  bool room = true;
  while ((room = make_room(in))) {
    ssize_t got = read(descriptor, in.data + in.length, in.cap - in.length);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    in.length += static_cast<size_t>(got);
  }
  return parse_owned(in, !room);
}

qxdom_document *qxdom_read_file(const char *path) {
  if (!path) return nullptr;
  int descriptor = open(path, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  qxdom_document *doc = qxdom_read_descriptor(descriptor);
  close(descriptor);
  return doc;
}
