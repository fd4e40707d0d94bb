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

QX_END_DECLS

#endif
