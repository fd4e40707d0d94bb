#ifndef QX_CRC16_H
#define QX_CRC16_H

#include "common/qx_export.h"

QX_BEGIN_DECLS

/* CRC-16 with polynomial 0x1021, no reflection and no final exclusive-or,
 * continued from `initial` over `length` bytes of `data`. With `initial` 0
 * this is CRC-16/XMODEM ("123456789" gives 0x31C3). The result holds the 16
 * checksum bits only, so it compares directly with a 16-bit field and can be
 * passed back as `initial` to continue over more data. */
QX_EXPORT unsigned int qx_crc16(unsigned int initial, const void *data, int length);

QX_END_DECLS

#endif
