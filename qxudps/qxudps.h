/* qxudps: UDP discovery of networked sensor devices.
 *
 * A search broadcasts one datagram, collects the replies whose
 * authentication code verifies under the search key and turns each into a
 * qxudps_device record; a setup hands one such record back with changed
 * network settings and sends it to the device as an authenticated setup
 * datagram. Every function returns 0 (or a value) on success and -1 on
 * failure; nothing throws. */
#ifndef QXUDPS_QXUDPS_H
#define QXUDPS_QXUDPS_H

#include <stdint.h>

#include "common/qx_error.h"
#include "common/qx_export.h"

#define MAX_MODULES 1000          /* records one search holds */
#define UDPS_XML_FILE_SIZE 100000 /* one HTTP reply of the name lookup, with its zero byte */

/* Widths of the record's text fields, each with room for its zero byte. */
#define QXUDPS_NAME_SIZE 100   /* device name: at most 99 characters */
#define QXUDPS_ADDR_SIZE 16    /* dotted IPv4 text: "255.255.255.255" and a zero */
#define QXUDPS_VERSION_SIZE 12 /* "major.minor.build" of at most 7.15.15 */
#define QXUDPS_MODEL_SIZE 101  /* model text: at most 100 characters */
#define QXUDPS_MAC_SIZE 18     /* "01:23:45:67:89:AB" and a zero */
#define QXUDPS_BLOCK_SIZE 8    /* the carried reply bytes and the authentication code */

QX_BEGIN_DECLS

/* One device that answered a search. Plain data, copied whole; the bytes named
 * are those of the device's 48-byte reply. Fields that the library only
 * carries (the further addresses, the capability bits but bit 0, port2 and the
 * two item values) keep the device's meaning, which this library does not
 * interpret. */
typedef struct qxudps_device {
  uint16_t port;                         /* HTTP port (bytes 30-31); the port a setup sets */
  uint16_t port2;                        /* a second port: extension item 5, or port when cap_bit1 is set */
  char name[QXUDPS_NAME_SIZE];           /* device name from extension item 2 or the HTTP lookup; may be empty */
  char ip[QXUDPS_ADDR_SIZE];             /* the address that reaches the device (bytes 6-9) */
  char addr_m[QXUDPS_ADDR_SIZE];         /* bytes 10-13 */
  char addr_f[QXUDPS_ADDR_SIZE];         /* bytes 14-17 */
  char addr_w[QXUDPS_ADDR_SIZE];         /* bytes 18-21 */
  char addr_n[QXUDPS_ADDR_SIZE];         /* bytes 24-27 */
  char version[QXUDPS_VERSION_SIZE];     /* "%i.%i.%i" of ver_major, ver_minor, ver_build */
  uint8_t reply_data[QXUDPS_BLOCK_SIZE]; /* bytes 32-39, sent back by a setup */
  uint8_t reply_auth[QXUDPS_BLOCK_SIZE]; /* bytes 40-47, the reply's authentication code */
  char model[QXUDPS_MODEL_SIZE];         /* model text of the type code, or extension item 3 */
  uint8_t cap_bit3;
  uint16_t tlv6_value; /* extension item 6; 99 for devices without the list */
  uint8_t raw_version; /* byte 22 as received */
  uint8_t raw_type;    /* byte 23 as received */
  uint8_t cap_bit4;
  uint8_t cap_bit5;
  char mac[QXUDPS_MAC_SIZE]; /* bytes 0-5 as upper-case hex joined by colons; identifies the device */
  uint8_t has_name;          /* 1: the device has a name the library can read and write */
  uint8_t cap_bit2;
  uint8_t setting_bit0; /* bits 0-5 of byte 28, one field each; a setup writes */
  uint8_t setting_bit1; /* bits 0, 1, 2, 4 and 5 back from them */
  uint8_t setting_bit2;
  uint8_t setting_bit3;
  uint8_t setting_bit4;
  uint8_t setting_bit5;
  uint8_t ver_major; /* low 3 bits of byte 23 */
  uint8_t ver_minor; /* high 4 bits of byte 22 */
  uint8_t ver_build; /* low 4 bits of byte 22 */
  uint16_t type;     /* type code: high 5 bits of byte 23, or extension item 4 */
  uint8_t cap_bit1;
  uint8_t cap_bit0;      /* 1: the device checks setups under the setup key, not the search key */
  uint32_t raw_settings; /* byte 28 as received (0-255), updated by a setup */
  uint32_t raw_byte29;   /* byte 29 as received (0-255) */
  uint16_t tlv7_value;   /* extension item 7; 0 for devices without the list */
  uint8_t cap_bit6;
} qxudps_device;

/* Callback entries; an empty entry is never called. They run on the
 * library's worker thread with the library lock held, so they may call back
 * into the library but must not wait for a thread that takes the lock. The
 * error record belongs to the library and is valid only during the call. */
typedef struct qxudps_callbacks {
  void (*search_done)(void *owner);
  void (*setup_done)(void *owner);
  void (*search_error)(void *owner, qx_error_record *error);
  void (*setup_error)(void *owner, qx_error_record *error);
} qxudps_callbacks;

/* Sets the four entries of the caller's `callbacks` to null; returns 0. */
QX_EXPORT int qxudps_clr_callback_struct(qxudps_callbacks *callbacks);

QX_END_DECLS

#ifdef __cplusplus
static_assert(sizeof(qxudps_device) == 368, "device record layout is part of the interface");
static_assert(sizeof(qxudps_callbacks) == 4 * sizeof(void *), "callback record layout is part of the interface");
#endif

#endif
