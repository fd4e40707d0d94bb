/* Internals of qxudps shared by its sources and its tests: the TEA cipher
 * unit and the datagram codecs, which touch neither the network nor the
 * library state and work on the buffers and keys they are handed; then the
 * error record and the HTTP name lookup of the worker. */
#ifndef QXUDPS_QXUDPS_PRIVATE_H
#define QXUDPS_QXUDPS_PRIVATE_H

#include <stddef.h>
#include <stdint.h>

#include "common/qx_socket.h"
#include "qxudps/qxudps.h"

/* ---- TEA cipher unit ---- */

#define QX_TEA_DELTA 0x9E3779B9u /* the published TEA round constant */
#define QX_TEA_MAC_DATA_SIZE 40  /* the authenticated bytes of a datagram: five blocks */

/* Four key words and the round constant. A key that was never set is all
 * zero, delta included, and is still used as it stands. */
typedef struct qx_tea_key {
  uint32_t k[4];
  uint32_t delta;
} qx_tea_key;

/* One block as two words, left = bytes 0-3 and right = bytes 4-7, each
 * big-endian. Decryption inverts encryption when the delta is QX_TEA_DELTA. */
void qx_tea_encrypt(uint32_t *left, uint32_t *right, const qx_tea_key *key);
void qx_tea_decrypt(uint32_t *left, uint32_t *right, const qx_tea_key *key);

/* CBC-MAC of QX_TEA_MAC_DATA_SIZE bytes from a zero chaining value: the
 * final block, big-endian, into `out` (QXUDPS_BLOCK_SIZE bytes). */
void qx_tea_cbc_mac(const uint8_t *data, const qx_tea_key *key, uint8_t *out);

/* Challenge and answer. A challenge is eight bytes of 0..254 plus a ninth
 * that makes the nine sum to 0 modulo 256, sent as 12 Base64 characters. */
#define QX_TEA_CHALLENGE_BYTES 8
#define QX_TEA_CHALLENGE_BUFFER_SIZE 9 /* the eight bytes and a zero */
#define QX_TEA_CHALLENGE_TEXT_LENGTH 12
#define QX_TEA_CHALLENGE_TEXT_SIZE 13 /* the twelve characters and a zero */

/* Modes of qx_tea_challenge_check. */
#define QX_TEA_CHALLENGE_ANSWER 0 /* answer the challenge in `text` into `buffer` */
#define QX_TEA_CHALLENGE_VERIFY 1 /* check the answer in `text` against the challenge in `buffer` */

/* Results of qx_tea_challenge_check. */
#define QX_TEA_CHALLENGE_OK 0
#define QX_TEA_CHALLENGE_BAD_SUM (-1)  /* the text is no nine bytes that sum to 0 */
#define QX_TEA_CHALLENGE_MISMATCH (-2) /* the answer decrypts to another challenge */

/* Draws a challenge from the system's random source: its eight bytes, zero
 * terminated, into `buffer` (QX_TEA_CHALLENGE_BUFFER_SIZE bytes) and its
 * text, zero terminated, into `text` (QX_TEA_CHALLENGE_TEXT_SIZE bytes).
 * 0, or -1 with errno set when the random source fails. */
int qx_tea_challenge_make(uint8_t *buffer, char *text);

/* `text` holds QX_TEA_CHALLENGE_TEXT_LENGTH characters. In answer mode
 * `buffer` receives the answer text, zero terminated (it must hold
 * QX_TEA_CHALLENGE_TEXT_SIZE bytes); in verify mode it holds the challenge
 * kept from qx_tea_challenge_make. Returns a QX_TEA_CHALLENGE_ result. */
int qx_tea_challenge_check(const char *text, uint8_t *buffer, const qx_tea_key *key, int mode);

/* ---- Datagrams ---- */

#define QXUDPS_DATAGRAM_SIZE 48    /* fixed part of searches, replies and setups */
#define QXUDPS_AUTH_OFFSET 40      /* the authentication code follows the 40 authenticated bytes */
#define QXUDPS_SIGNATURE_LENGTH 16 /* signature text at the end of the search datagram */
#define QXUDPS_MAC_BYTES 6
#define QXUDPS_TYPE_EXTENDED 31 /* the type code of devices that append an extension list */

/* Where the fields of the fixed part lie; numbers are big-endian. */
#define QXUDPS_AT_MAC 0
#define QXUDPS_AT_VERSION 22 /* high 4 bits minor version, low 4 bits build */
#define QXUDPS_AT_TYPE 23    /* high 5 bits type code, low 3 bits major version */
#define QXUDPS_TYPE_SHIFT 3
#define QXUDPS_AT_SETTINGS 28 /* bits 0-5 the setting bits */
#define QXUDPS_AT_BYTE29 29
#define QXUDPS_AT_PORT 30
#define QXUDPS_AT_DATA 32
#define QXUDPS_ADDRESS_BYTES 4

/* The five IPv4 addresses of the fixed part and their record fields, in the
 * order of the record. */
typedef struct qxudps_address_field {
  int offset;   /* first byte in the datagram */
  size_t field; /* offset of the text field in qxudps_device */
} qxudps_address_field;
#define QXUDPS_ADDRESS_COUNT 5
extern const qxudps_address_field qxudps_address_fields[QXUDPS_ADDRESS_COUNT];

/* A setup carries at most the fixed part, a name item (type, length, 99
 * characters) and the list end. */
#define QXUDPS_SETUP_MAX (QXUDPS_DATAGRAM_SIZE + 2 + (QXUDPS_NAME_SIZE - 1) + 1)

/* Proxy envelope: kind, proxy text, CRC-16 (low byte first), payload. */
#define QXUDPS_PROXY_SEARCH 1
#define QXUDPS_PROXY_SETUP 2
#define QXUDPS_PROXY_TEXT_MAX 15 /* characters of the proxy text the envelope carries */
#define QXUDPS_ENVELOPE_HEADER_SIZE 19
#define QXUDPS_ENVELOPE_MAX (QXUDPS_ENVELOPE_HEADER_SIZE + QXUDPS_SETUP_MAX)

/* The built-in search key (delta QX_TEA_DELTA) that the worker installs at
 * every start. */
extern const qx_tea_key qxudps_default_search_key;

/* Writes the QXUDPS_DATAGRAM_SIZE bytes of the search datagram into `out`. */
void qxudps_build_search(uint8_t *out);

/* 1 when `length` bytes of `data` are at least a fixed part whose
 * authentication code verifies under `key`, else 0. */
int qxudps_reply_authentic(const uint8_t *data, int length, const qx_tea_key *key);

/* Decodes an authentic reply of `length` bytes (at least the fixed part) into
 * `record`, which it overwrites whole, and its raw MAC address into `mac`
 * (QXUDPS_MAC_BYTES bytes). */
void qxudps_decode_reply(const uint8_t *data, int length, qxudps_device *record, uint8_t *mac);

/* Builds the setup datagram that gives the device of `found` (raw MAC address
 * `mac`) the settings of `request` into `out` (QXUDPS_SETUP_MAX bytes),
 * authenticated under the setup key when the device asks for it (`cap_bit0`),
 * else under the search key. Updates `found->raw_settings` to the settings
 * byte sent. Returns the datagram's length. */
int qxudps_build_setup(const qxudps_device *request, qxudps_device *found, const uint8_t *mac,
                       const qx_tea_key *search_key, const qx_tea_key *setup_key, uint8_t *out);

/* Wraps `length` bytes of `payload` for the proxy into `out`, which holds
 * QXUDPS_ENVELOPE_HEADER_SIZE + `length` bytes; `kind` is QXUDPS_PROXY_SEARCH
 * or QXUDPS_PROXY_SETUP. Returns the envelope's length. */
int qxudps_wrap_proxy(int kind, const char *proxy_text, const uint8_t *payload, int length, uint8_t *out);

/* ---- Type-code tables ---- */

/* Writes the model text of `type` into `out` (QXUDPS_MODEL_SIZE bytes). */
void qxudps_model_text(char *out, unsigned int type);

/* 1 when devices of `type` have a name the library reads from values.xml and
 * writes through setup.xml, else 0. */
int qxudps_in_name_set(unsigned int type);

/* Sets the capability bits and has_name of a device without an extension
 * list (type codes 0-30) from its type code. */
void qxudps_type_capabilities(unsigned int type, qxudps_device *record);

/* ---- Error record ---- */

/* The library's failure texts, as callers and operators read them. */
#define QXUDPS_MSG_INIT_ALREADY "Init already run"
#define QXUDPS_MSG_BUSY "Action not success"
#define QXUDPS_MSG_SEARCH_ALREADY "Search already run"
#define QXUDPS_MSG_SETUP_ALREADY "Setup already run"
#define QXUDPS_MSG_SEM_INIT "Semaphore init failed"
#define QXUDPS_MSG_SEM_POST "Semaphore post failed"
#define QXUDPS_MSG_SEM_WAIT "Semaphore wait failed"
#define QXUDPS_MSG_MUTEX_INIT "Mutex init failed"
#define QXUDPS_MSG_THREAD_CREATE "Thread create failed"
#define QXUDPS_MSG_POINTER_NULL "Pointer is NULL"
#define QXUDPS_MSG_TARGET_NOT_VALID "Search target not valid"
#define QXUDPS_MSG_SOCKET_INIT "Init socket failed"
#define QXUDPS_MSG_SOCKET_CREATE "Create socket failed"
#define QXUDPS_MSG_SOCKET_OPTION "Socket option setup failed"
#define QXUDPS_MSG_BIND "Bind socket failed"
#define QXUDPS_MSG_NONBLOCK "Socket nonblock setup failed"
#define QXUDPS_MSG_SENDTO "Sendto failed"
#define QXUDPS_MSG_SELECT "Select failed"
#define QXUDPS_MSG_RECV "Recv failed"
#define QXUDPS_MSG_LIST_FULL "Count modules >= MAX_MODULES"
#define QXUDPS_MSG_MODULE_NOT_EXIST "Module not exist"
#define QXUDPS_MSG_CONNECT_START "Connect module failed"
#define QXUDPS_MSG_CONNECT "Socket connect failure"
#define QXUDPS_MSG_SELECT_WRITE "Socket select write failure"
#define QXUDPS_MSG_SEND "Send failed"
#define QXUDPS_MSG_SOCKET_TIMEOUT "Socket timeout"
#define QXUDPS_MSG_REPLY_TOO_LARGE "XML file size >= UDPS_XML_FILE_SIZE"
#define QXUDPS_MSG_REPLY_EMPTY "XML file not found"
#define QXUDPS_MSG_NAME_NOT_FOUND "DeviceName not found"
#define QXUDPS_MSG_NAME_NOT_SUPPORTED "This device 'set name via xml' not support"

/* Overwrites the library error record under the library lock: `text`, and
 * `sys_errno` with the system's text for it (0: a refusal, no system text).
 * Every failure of the library goes through here; its `code` stays 0. Safe
 * from any thread, also before qxudps_init. */
void qxudps_record_error(const char *text, int sys_errno);

/* ---- Waiting on a socket ---- */

typedef enum qxudps_wait { QXUDPS_READY, QXUDPS_WAIT_EXPIRED, QXUDPS_WAIT_FAILED } qxudps_wait;

/* Waits at most `ms` for the poll `events` on `s`; a signal neither cuts the
 * wait short nor lengthens it. On QXUDPS_WAIT_FAILED errno tells why. */
qxudps_wait qxudps_wait_ready(qx_socket_t s, short events, int ms);

/* ---- HTTP name lookup and name setting ----
 *
 * A short TCP connection of the library's own per device, one at a time, on
 * the worker thread. Every wait is bounded by QXUDPS_TCP_WAIT_MS. */

#define QXUDPS_TCP_WAIT_MS 2000
#define QXUDPS_TCP_CHUNK 1024 /* bytes taken by one receive */

/* Connects the library's TCP socket to `address` (dotted IPv4, not resolved)
 * and `port`. 0, or -1 with the reason recorded and no socket left open. */
int qxudps_tcp_connect(const char *address, int port);
/* Sends `length` bytes in one call once the socket is writable; 0 / -1. */
int qxudps_tcp_send(const char *data, int length);
/* Appends the reply to `buffer` (UDPS_XML_FILE_SIZE bytes, kept zero
 * terminated) and adds its length to `*length`, until the peer closes or is
 * silent for QXUDPS_TCP_WAIT_MS. 0, or -1 when a receive fails or the reply
 * would not fit. */
int qxudps_tcp_receive(char *buffer, int *length);
void qxudps_tcp_close(void);

/* Reads the DeviceName of values.xml from the device at `address`:`port` into
 * `name` (QXUDPS_NAME_SIZE bytes), entities decoded. 0, or -1 with the reason
 * recorded and `name` unchanged. */
int qxudps_fetch_name(const char *address, int port, char *name, unsigned int type);

/* Posts `name`, escaped, as the Network/Name of setup.xml to the device at
 * `address`:`port` when devices of `type` take it. 0, or -1 with the reason
 * recorded. */
int qxudps_set_name(const char *address, int port, const char *name, unsigned int type);

/* ---- Test seams ---- */

/* Replaces the 6 seconds a setup waits for the device to restart; a negative
 * `ms` restores them. Returns the wait that was in force. */
int qxudps_set_setup_wait_ms(int ms);

#endif
