/* File output of documents: a document's bytes written to a named file. */
#include <errno.h>
#include <stdio.h>

#include "qxxml/qxxml_private.h"

/* Text mode, so that a platform with its own line ends writes them. A write
 * that fails part-way leaves what it wrote: the file is closed all the same
 * and the failure names the write. A refused document never gets here, so
 * it never creates the file. */
int qxxml_write_file(int slot, const char *file_name, const char *text, int length) {
  if (!file_name) {
    qxxml_set_error(slot, QX_ERR_POINTER_NULL);
    return -1;
  }
  FILE *file = fopen(file_name, "w");
  if (!file) {
    qxxml_set_error_errno(slot, QX_ERR_FILE_OPEN, errno);
    return -1;
  }
  /* Flushed here, so that a full disk shows as a failed write rather than
   * as a failed close. */
  bool written = fwrite(text, 1, (size_t)length, file) == (size_t)length && fflush(file) == 0;
  int write_errno = errno;
  if (!written) {
    fclose(file);
    qxxml_set_error_errno(slot, QX_ERR_FILE_WRITE, write_errno);
    return -1;
  }
  if (fclose(file) != 0) {
    qxxml_set_error_errno(slot, QX_ERR_FILE_CLOSE, errno);
    return -1;
  }
  return 0;
}
