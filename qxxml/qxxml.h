/* qxxml: asynchronous HTTP/XML I/O with networked sensor devices.
 *
 * A caller opens a connection slot for one device and requests actions on it
 * (download values.xml or setup.xml, parse a document it supplies, post a
 * setup document). Each slot has a worker thread that performs one action per
 * wake-up; completion is learnt by query (qxxml_finish), by a blocking wait
 * (qxxml_wait_finish) or through callbacks that run on the worker thread.
 * Every function returns 0 (or a value) on success and -1 on failure after
 * recording the reason, which qxxml_error copies out. */
#ifndef QXXML_QXXML_H
#define QXXML_QXXML_H

#include "common/qx_error.h"
#include "common/qx_export.h"
#include "qxxml/qxxml_records.h"

#define QXXML_ID_COUNT_MAX 100 /* slot indices 0..99; slot 0 is the library's */
#define QXXML_DOC_MAX 20000    /* every document and request buffer, with room for a zero byte */
#define QXXML_HOST_MAX 100     /* address texts hold at most 99 characters */
#define QXXML_AUTH_MAX 100     /* user names and passwords hold at most 99 characters */
#define QXXML_MODULES_MAX 500  /* devices one multi-device slot serves */

QX_BEGIN_DECLS

/* Callback entries; an empty entry is never called. Every entry receives the
 * slot index and the owner pointer given at open first; module is -1 for a
 * single-device slot. Record pointers are copies valid until the call returns,
 * null when the action failed. */
typedef struct qxxml_callbacks {
  void (*values_done)(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts);
  void (*setup_done)(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts);
  void (*many_values_done)(int slot, void *owner);
  void (*many_setup_done)(int slot, void *owner);
  void (*post_done)(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts);
  void (*connected)(int slot, void *owner, int module);
  void (*connect_failed)(int slot, void *owner, int module, qx_error_record *error);
  /* Replaces the library's parse when set: 0 means handled, anything else fails the parse. */
  int (*pre_parse_hook)(int slot, void *owner, char *text, int length, int kind);
  /* Runs after every parse with the slot's live record and counts of that kind;
   * it may change *result, and a negative result fails the parse. */
  void (*post_parse_hook)(int slot, void *owner, char *text, int length, int kind, void *record, void *counts,
                          int *result);
} qxxml_callbacks;

typedef struct qxxml_settings {
  int connect_at_open; /* non-zero: the worker connects once when it starts, to report reachability early */
  char get_user[QXXML_AUTH_MAX];
  char get_password[QXXML_AUTH_MAX];
  char set_user[QXXML_AUTH_MAX];
  char set_password[QXXML_AUTH_MAX];
  qxxml_callbacks callbacks;
} qxxml_settings;

/* One device of a multi-device slot. About 228 KB each (three document
 * buffers and the copies of both parsed records), so every module is
 * allocated on its own when it is added and freed when the slot closes or
 * its worker ends. */
typedef struct qxxml_module {
  char ip[16];                  /* what address resolved to at the last download; posts connect to it */
  char address[QXXML_HOST_MAX]; /* as given to qxxml_add_module: host name or dotted address */
  int active;                   /* non-zero: passes serve this module; 1 when added */
  int port;
  int values_len;
  int setup_len;
  char values_buf[QXXML_DOC_MAX]; /* body of the last values reply */
  char setup_buf[QXXML_DOC_MAX];  /* body of the last setup reply or post reply */
  char post_buf[QXXML_DOC_MAX];   /* the prepared post request */
  qxxml_values values;            /* parsed record of the last successful values download */
  qxxml_values_counts values_counts;
  qxxml_setup setup; /* parsed record of the last successful setup download or post */
  qxxml_setup_counts setup_counts;
  qx_error_record error;   /* the module's last failure; code 0 after a good action */
  qxxml_settings settings; /* only get_user, get_password, set_user and set_password are used */
} qxxml_module;

/* Library life. */
QX_EXPORT int qxxml_xml_init_parser(void);
QX_EXPORT int qxxml_init(void);
QX_EXPORT int qxxml_uninit(void);
QX_EXPORT int qxxml_count_ref2zero(void);

/* Slots. */
QX_EXPORT int qxxml_open(const char *host, int port, const qxxml_settings *settings, void *owner);
QX_EXPORT int qxxml_close(int slot);
QX_EXPORT int qxxml_close_for_callback(int slot);

/* Requests. */
QX_EXPORT int qxxml_get_values(int slot);
QX_EXPORT int qxxml_get_setup(int slot);
QX_EXPORT int qxxml_load_values(int slot, const char *text, int length);
QX_EXPORT int qxxml_load_setup(int slot, const char *text, int length);

/* Completion types of qxxml_finish and qxxml_wait_finish. A type is finished
 * when the action ended, whether or not it succeeded; the slot's error record
 * says which. Four fields answer to two numbers each, which callers of old
 * use interchangeably: the _ALT names are the second numbers. */
#define QXXML_FINISH_STARTED 0     /* the slot's worker runs */
#define QXXML_FINISH_STARTED_ALT 1 /* same as QXXML_FINISH_STARTED */
#define QXXML_FINISH_VALUES 2      /* values download or loaded values parse ended */
#define QXXML_FINISH_VALUES_ALT 3  /* same as QXXML_FINISH_VALUES */
#define QXXML_FINISH_SETUP 4       /* setup download, loaded setup parse or a post ended */
#define QXXML_FINISH_SETUP_ALT 5   /* same as QXXML_FINISH_SETUP */
#define QXXML_FINISH_SNMP 6        /* the SNMP manager cache was refreshed */
#define QXXML_FINISH_POST 7        /* a post ended */
#define QXXML_FINISH_POST_ALT 8    /* same as QXXML_FINISH_POST */
#define QXXML_FINISH_LOAD_VALUES 9 /* the parse of a loaded values document ended */
#define QXXML_FINISH_LOAD_SETUP 10 /* the parse of a loaded setup document ended */
#define QXXML_FINISH_TYPE_MAX 10   /* the highest type; a higher one is refused */
QX_EXPORT int qxxml_finish(int slot, int type);
QX_EXPORT int qxxml_wait_finish(int slot, int type, int timeout_seconds);

/* Documents and records of the slot's last action of each kind. */
QX_EXPORT int qxxml_get_values_xml(int slot, char **text, int *length);
QX_EXPORT int qxxml_get_setup_xml(int slot, char **text, int *length);
QX_EXPORT int qxxml_get_values_cache(int slot, qxxml_values **record, qxxml_values_counts **counts);
QX_EXPORT int qxxml_get_setup_cache(int slot, qxxml_setup **record, qxxml_setup_counts **counts);

/* How the slot's last document of a kind arrived. A device may serve a
 * document that is not well-formed (a bare '&' in a name) or fall silent
 * mid-reply; the records then hold what came before the fault and the action
 * still counts as done. This says whether what they hold is the whole
 * document. Set by every download, post (its reply is a setup) and load of
 * that kind, failed ones included; all zero before the first one. A
 * prefixed root ("<val:Root ...>") that the parser reads as "<Root>" leaves
 * its end tag mismatched, which loses nothing and does not count here. */
typedef struct qxxml_doc_quality {
  int ended_by_silence; /* 1: the reply ended because the device stopped sending, not by closing */
  int not_well_formed;  /* 1: the parser stopped at a fatal error, the record holding what came before it,
                           or refused the document whole (QX_ERR_XML_NOT_VALID, e.g. an empty body) */
  int error_line;       /* the parser's line of that error; 0 when well-formed or when no line is known */
} qxxml_doc_quality;

/* Copies the quality of the last document of `kind` (QXXML_DOC_VALUES or
 * QXXML_DOC_SETUP) into `quality`; 0, or -1 with the checks of a running
 * slot (QX_ERR_ID_TOO_LARGE on slot 0, QX_ERR_THREAD_NOT_RUN), with
 * QX_ERR_ACTION_NOT_VALID for another kind or QX_ERR_POINTER_NULL for a
 * null `quality`. Read it once the action has finished (its completion
 * type, or in its callback); any thread. */
QX_EXPORT int qxxml_get_doc_quality(int slot, int kind, qxxml_doc_quality *quality);

/* Slot facts. */
QX_EXPORT int qxxml_get_module(int slot, char *ip16, int *port);
QX_EXPORT int qxxml_get_module_ex(int slot, char *host100, char *ip16, int *port);
QX_EXPORT int qxxml_type_of(int slot);
QX_EXPORT int qxxml_callback(int slot, const qxxml_callbacks *callbacks);
QX_EXPORT int qxxml_clr_callback(int unused, qxxml_callbacks *callbacks);
QX_EXPORT int qxxml_clr_settings_struct(qxxml_settings *settings);

/* Setup transfer. A post is prepared on the caller's thread (every document
 * passes the setup update filter) and sent by the worker; its reply is parsed
 * as the slot's new setup. */
QX_EXPORT int qxxml_send_setup_xml(int slot, const char *document, int length);
QX_EXPORT int qxxml_send_setup(int slot, const qxxml_setup *record, const qxxml_setup_counts *counts);
QX_EXPORT int qxxml_set_snmp_manager(int slot, const char *ip, int port);
QX_EXPORT int qxxml_get_snmp_manager(int slot);
QX_EXPORT int qxxml_get_snmp_manager_cache(int slot, char *ip16, int *port);
QX_EXPORT int qxxml_authenticate_get(int slot, const char *user, const char *password);
QX_EXPORT int qxxml_authenticate_set(int slot, const char *user, const char *password);

/* Errors. */
QX_EXPORT int qxxml_error(int slot, qx_error_record *out);
QX_EXPORT int qxxml_error_print(int slot);

/* Document getters, in full. Every member returns 0 or -1; each values
 * member has a setup twin with the setup fields, records and sizes.
 *
 * Slot members check, in order: the slot's error record holds no failure
 * of a transaction (else -1, the record left as it is), the completion
 * field is 1 (QX_ERR_ACTION_NOT_FINISH), the length is not 0
 * (QX_ERR_FILE_NOT_FOUND), the document contains "<?xml"
 * (QX_ERR_FILE_NOT_VALID); the _cache members then need both parsed records
 * (QX_ERR_ACTION_NOT_VALID). A null out pointer gives QX_ERR_POINTER_NULL.
 *
 * _xml_copy copies the document and its zero byte into a caller's buffer of
 * QXXML_DOC_MAX bytes; _to_file writes the document's bytes to a file opened
 * in text mode (QX_ERR_FILE_OPEN, QX_ERR_FILE_WRITE or QX_ERR_FILE_CLOSE on
 * the slot; a write that fails part-way leaves what was written). A refused
 * document never creates the file. _cache_copy copies the whole record and
 * counts. */
QX_EXPORT int qxxml_get_values_xml_copy(int slot, char *text, int *length);
QX_EXPORT int qxxml_get_setup_xml_copy(int slot, char *text, int *length);
QX_EXPORT int qxxml_get_values_to_file(int slot, const char *file_name);
QX_EXPORT int qxxml_get_setup_to_file(int slot, const char *file_name);
QX_EXPORT int qxxml_get_values_cache_copy(int slot, qxxml_values *record, qxxml_values_counts *counts);
QX_EXPORT int qxxml_get_setup_cache_copy(int slot, qxxml_setup *record, qxxml_setup_counts *counts);

/* Multi-device mode. A slot opened with qxxml_open_many serves a list of up
 * to QXXML_MODULES_MAX devices: each request (qxxml_get_values,
 * qxxml_get_setup, a _many post) runs once for every active module in
 * module order, a pass. Per module the worker delivers values_done,
 * setup_done or post_done with the module's index (null records on
 * failure) and keeps the failure in the module's own error record; after
 * the last module it calls many_values_done or many_setup_done (a post pass
 * calls neither) and only then sets the completion field and wakes a
 * waiter. A module's failure does not stop the pass, and the slot's record
 * is cleared at its end: read failures per module.
 *
 * Choices of this library:
 * - A pass with no active module, or over an empty list, completes at once:
 *   its completion field becomes 1 and a waiter is woken.
 * - A module's record copy is updated before its callback runs, so the
 *   callback may read the module through the _many getters.
 * - A post pass keeps each module's reply in setup_buf and its parsed reply
 *   as the module's setup record, as a slot does; a failed post is kept in
 *   the module's error record like a failed download.
 * - With a pre_parse_hook the library parses nothing of its own, so the
 *   modules' record copies are left as they were.
 * - qxxml_load_values and qxxml_load_setup stay pending on a multi-device
 *   slot: its worker serves downloads and posts only.
 * - A close between two modules ends the pass: the rest is not served and
 *   nothing more is delivered.
 * - Closing a multi-device slot frees its modules and returns the index to
 *   single-device mode: a later qxxml_open of it opens a plain slot.
 * - Module list functions and _many getters take no lock and need no
 *   running worker; call qxxml_add_module and qxxml_active_modules while no
 *   pass runs, and read modules after a pass completed (wait, query or
 *   many_values_done / many_setup_done). */

/* Opens a multi-device slot with empty settings (no credentials, no
 * callbacks: install them with qxxml_callback once it runs) and no
 * modules. The slot index, or -1 with QX_ERR_THREAD_NOT_RUN (no
 * qxxml_init), QX_ERR_ID_IN_USE or QX_ERR_THREAD_CREATE on slot 0. */
QX_EXPORT int qxxml_open_many(void *owner);
/* Adds a device; the new module's index, or -1. Checks in order: the slot
 * index (QX_ERR_ID_TOO_LARGE on slot 0), a single-device slot
 * (QX_ERR_ID_NOT_FOUND), the address text of 100 bytes or more, or a port
 * outside 1..65535 (QX_ERR_IP_NOT_VALID), the same address text and port
 * already listed (QX_ERR_ADDRESS_IN_USE), a full list (QX_ERR_MODULES_FULL),
 * memory (QX_ERR_MEMORY_NOT_FOUND). Only the four credential texts of
 * settings are kept; null settings means none. */
QX_EXPORT int qxxml_add_module(int slot, const char *address, int port, const qxxml_settings *settings);
/* The number of modules; -1 with QX_ERR_ID_TOO_LARGE on slot 0 or
 * QX_ERR_ID_NOT_FOUND for a single-device slot. */
QX_EXPORT int qxxml_count_modules(int slot);
/* Switches every module on (non-zero) or off from one flag per module, in
 * module order; flags holds qxxml_count_modules(slot) entries. A module
 * switched off keeps its documents and is skipped by later passes. 0, or -1
 * with the checks of qxxml_count_modules or QX_ERR_POINTER_NULL. */
QX_EXPORT int qxxml_active_modules(int slot, const int *flags);
/* The module's resolved address (16 bytes) and port; -1 with the checks of
 * qxxml_count_modules or QX_ERR_INDEX_NOT_FOUND for an index outside
 * 0..count-1 (negative too). The _ex form copies the address text
 * (QXXML_HOST_MAX bytes) as well. */
QX_EXPORT int qxxml_get_module_many(int slot, int module, char *ip16, int *port);
QX_EXPORT int qxxml_get_module_many_ex(int slot, int module, char *address100, char *ip16, int *port);
/* Copies the module's error record; -1 with the checks of
 * qxxml_count_modules or QX_ERR_INDEX_NOT_VALID for an index outside
 * 0..count-1 (negative too). */
QX_EXPORT int qxxml_error_many(int slot, int module, qx_error_record *out);

/* The getters of one module. Checks in order: the slot index
 * (QX_ERR_ID_TOO_LARGE on slot 0), a single-device slot
 * (QX_ERR_ID_NOT_FOUND), the module index within 0..count-1
 * (QX_ERR_INDEX_NOT_VALID, negative indexes too; nothing of the module table
 * is read before), the module's error record holding a failure of a
 * transaction (copied into the slot's record, so that qxxml_error on the
 * slot shows it; -1), the length not 0 (QX_ERR_FILE_NOT_FOUND), "<?xml" in
 * the document (QX_ERR_FILE_NOT_VALID). No completion field is checked.
 * Every failure but the first is recorded on the slot. */
QX_EXPORT int qxxml_get_values_xml_many(int slot, int module, char **text, int *length);
QX_EXPORT int qxxml_get_setup_xml_many(int slot, int module, char **text, int *length);
QX_EXPORT int qxxml_get_values_xml_many_copy(int slot, int module, char *text, int *length);
QX_EXPORT int qxxml_get_setup_xml_many_copy(int slot, int module, char *text, int *length);
QX_EXPORT int qxxml_get_values_to_file_many(int slot, int module, const char *file_name);
QX_EXPORT int qxxml_get_setup_to_file_many(int slot, int module, const char *file_name);
QX_EXPORT int qxxml_get_values_cache_many(int slot, int module, qxxml_values **record, qxxml_values_counts **counts);
QX_EXPORT int qxxml_get_setup_cache_many(int slot, int module, qxxml_setup **record, qxxml_setup_counts **counts);
QX_EXPORT int qxxml_get_values_cache_many_copy(int slot, int module, qxxml_values *record, qxxml_values_counts *counts);
QX_EXPORT int qxxml_get_setup_cache_many_copy(int slot, int module, qxxml_setup *record, qxxml_setup_counts *counts);
/* The time (seconds since 1970) of the module's last download of the kind,
 * failed or not; 0 before the first. Checks the index, then the length and
 * "<?xml" as above, but hands out the time for every valid index, also when
 * a later check fails. */
QX_EXPORT int qxxml_get_values_many_status(int slot, int module, int *time);
QX_EXPORT int qxxml_get_setup_many_status(int slot, int module, int *time);

/* Posts to every module of a multi-device slot: one request per module,
 * prepared in module order with that module's set_user and set_password
 * into its post_buf, then one pass posts to every active module at the
 * address its last download resolved (a module never downloaded fails
 * with QX_ERR_SOCKET_CONNECT). Completion as for qxxml_send_setup_xml. -1
 * with QX_ERR_THREAD_NOT_RUN, QX_ERR_ID_NOT_FOUND on a single-device slot,
 * or the first failing module's preparation code (the modules before it
 * stay prepared; nothing is pending). */
QX_EXPORT int qxxml_send_setup_xml_many(int slot, const char *document, int length);
/* Called with each module's own setup record copy before its document is
 * written from it; the changes stay in the module. */
typedef void (*qxxml_setup_edit)(qxxml_setup *setup);
/* As qxxml_send_setup_xml_many, each module's document written from its
 * setup record after edit changed it (a null edit posts it unchanged). */
QX_EXPORT int qxxml_send_setup_many(int slot, qxxml_setup_edit edit);

QX_END_DECLS

#endif
