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

/* ---- Lifecycle ----
 *
 * Call qxudps_init once, install the callbacks, then make any number of
 * requests; qxudps_uninit at the end. Only the calls of the next section may
 * come before qxudps_init. Failures leave their reason in the library's one
 * error record (qxudps_error); refusals of the state ("Init already run",
 * "Action not success", "Search already run", "Setup already run") carry no
 * system error. */

/* Starts the worker and installs the built-in search key. -1: "Init already
 * run" (also while a stopping worker has not yet ended), "Semaphore init
 * failed", "Mutex init failed" or "Thread create failed". Clears the
 * callbacks either way. */
QX_EXPORT int qxudps_init(void);

/* Drops every open request (their owners too), rewinds the read cursor and
 * tells the worker to end; returns 0 at once without waiting for it. A search
 * or setup already running completes, with null owners. The records stay. */
QX_EXPORT int qxudps_uninit(void);

/* ---- Settings that hold until changed, also across qxudps_init ---- */

/* Sends every datagram of direct mode (no proxy) to `address`, a dotted IPv4
 * address, and `port` (1..65535) instead of broadcasting it to
 * 255.255.255.255:9999: for devices behind a router, and for a simulator on
 * this machine. A null `address` restores the broadcast. -1, with the target
 * unchanged, for an address that is no dotted IPv4 address or a port outside
 * 1..65535. */
QX_EXPORT int qxudps_set_search_target(const char *address, int port);

/* Works through a proxy from now on: every datagram goes, wrapped in the
 * proxy envelope that carries `text` (at most 15 characters are sent), to
 * `address` (dotted IPv4, not resolved) and `port` (0 means 9999), and only
 * replies sent from exactly `address`, as the system prints it, are taken.
 * -1 when `address` or `text` is null. */
QX_EXPORT int qxudps_set_proxy(const char *address, int port, const char *text);

/* Leaves proxy mode: back to direct mode and its target. Returns 0. */
QX_EXPORT int qxudps_clr_proxy(void);

/* ---- Requests ----
 *
 * A request is taken only while the worker is idle; it then runs on the
 * worker thread and ends with a callback, or can be polled with the _finish
 * calls. `lookup_names` is one flag for both kinds, set by every request call
 * (also a refused one); non-zero makes a search end by reading the names of
 * the devices that have one over HTTP, and a setup end by writing the new
 * name. `owner` is handed back to the callbacks as it is. */

/* Starts a search: the count drops to 0 at once, and after the network has
 * been quiet for 1 second (3 seconds through a proxy), or MAX_MODULES devices
 * answered, the records are in place and search_done is called. -1: "Action
 * not success" (the worker is busy), "Search already run" (a search waits for
 * the worker) or "Semaphore post failed". */
QX_EXPORT int qxudps_search(int lookup_names, void *owner);

/* 0 when no search is requested or running, -1 while one is. */
QX_EXPORT int qxudps_search_finish(void);

/* Sends the settings of `request`, a record of the last search with changed
 * address, port, setting bits or name, to the device of the same `mac`; then
 * waits 6 seconds for the device to restart before setup_done. -1: "Action
 * not success", "Setup already run", "Semaphore post failed", or a null
 * `request`. */
QX_EXPORT int qxudps_setup(const qxudps_device *request, int lookup_names, void *owner);

/* 0 when no setup is requested or running, -1 while one is. */
QX_EXPORT int qxudps_setup_finish(void);

/* ---- Results of the last search ----
 *
 * Read them only while no search runs: after search_done, or from within
 * it. They stay until the next search starts. */

/* The number of records, 0..MAX_MODULES. */
QX_EXPORT int qxudps_count(void);

/* Hands out the record at the read cursor and advances the cursor; -1 after
 * the last one. qxudps_record gives a pointer into the library, valid until
 * the next search; qxudps_record_copy copies the record to `out`. */
QX_EXPORT int qxudps_record(qxudps_device **out);
QX_EXPORT int qxudps_record_copy(qxudps_device *out);

/* Moves the read cursor back to the first record; returns 0. */
QX_EXPORT int qxudps_rewind(void);

/* Replies that the system dropped during the last search because they came
 * faster than they were read: a search that reports drops may have missed
 * devices.
 *
 * The socket asks for a receive buffer of QXUDPS_RECEIVE_BUFFER_WANTED
 * bytes. Linux grants twice what is asked (the count that
 * qxudps_receive_buffer_size reports), and a waiting reply takes about 830
 * bytes of that count: some 10000 replies wait unread, so MAX_MODULES
 * devices answering one search at once fit several times over. A process
 * without the privilege to exceed the system ceiling (net.core.rmem_max)
 * gets at most that ceiling, commonly 212992 bytes asked, about 500 waiting
 * replies. */
#define QXUDPS_RECEIVE_BUFFER_WANTED (4 * 1024 * 1024)
QX_EXPORT unsigned int qxudps_search_dropped(void);

/* The receive buffer, in bytes, that the system granted to the socket of the
 * last request; 0 before the first one. */
QX_EXPORT int qxudps_receive_buffer_size(void);

/* ---- Callbacks, owners and errors ---- */

/* Copies the four entries (a null `callbacks` clears them); returns 0. */
QX_EXPORT int qxudps_callback(const qxudps_callbacks *callbacks);

/* Sets the four entries of the caller's `callbacks` to null; returns 0. */
QX_EXPORT int qxudps_clr_callback_struct(qxudps_callbacks *callbacks);

/* Forgets `owner`: an open request of that owner ends with a null owner, and
 * once this returns no callback receives `owner`. Returns 0. */
QX_EXPORT int qxudps_clr_ptr(void *owner);

/* Copies the library error record to `out`; -1 for a null `out`. Its `code`
 * is always 0: the reason is in `text`, with the system's error number and
 * text when a system call failed. */
QX_EXPORT int qxudps_error(qx_error_record *out);

/* Prints the error record to standard output as "text (errno): system text";
 * returns 0. */
QX_EXPORT int qxudps_error_print(void);

/* ---- Keys ----
 *
 * Change them only while no request runs. */

/* Replaces the four words of the search key, which verifies every reply and
 * authenticates setups for most devices. qxudps_init installs the built-in
 * key, so call this after it. Returns 0. */
QX_EXPORT int qxudps_set_tea_keys(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3);

/* Sets the setup key, which authenticates setups for devices that ask for it
 * (cap_bit0); until it is set, such setups are sent under an all-zero key.
 * Returns 0. */
QX_EXPORT int qxudps_set_setup_tea_keys(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3);

QX_END_DECLS

#ifdef __cplusplus
static_assert(sizeof(qxudps_device) == 368, "device record layout is part of the interface");
static_assert(sizeof(qxudps_callbacks) == 4 * sizeof(void *), "callback record layout is part of the interface");
#endif

#endif
