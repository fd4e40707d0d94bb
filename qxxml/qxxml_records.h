/* Records of the two device documents, values.xml and setup.xml.
 *
 * A record is flat: a leading timestamp, then one zero-terminated text field
 * per element path the system keeps (its key), in key-table order. A key
 * below an Entry owns an array with one field per possible entry, stored as a
 * whole before the next key's array. Texts stay as the device sent them,
 * with references resolved ("&amp;" is stored as "&"; whatever writes them
 * into XML again escapes them); nothing is converted to numbers here.
 *
 * Each document is described once, by the X-macro tables below; the records,
 * the field ids and the exported key tables are all generated from them, so
 * they cannot drift apart:
 *   FIELD(name, bytes)        single field `name`, key "Root_" #name
 *   ENTRY(list, leaf, bytes)  array `list_Entry_leaf` with one field per
 *                             possible entry of `list`, key
 *                             "Root_" #list "_Entry_" #leaf */
#ifndef QXXML_QXXML_RECORDS_H
#define QXXML_QXXML_RECORDS_H

#include <assert.h>
#include <stddef.h>

#include "common/qx_export.h"

/* Document kinds. */
#define QXXML_DOC_VALUES 0
#define QXXML_DOC_SETUP 1

/* Entry capacities: the array length of every key below the list's Entry. */
#define QXXML_BINARY_IN_MAX 64
#define QXXML_BINARY_OUT_MAX 64
#define QXXML_SENSOR_MAX 42
#define QXXML_TEMP_RANGE_MAX 42
#define QXXML_GROUP_MAX 42
#define QXXML_SNMP_TRAP_MAX 4
#define QXXML_MAIL_DEST_MAX 4
#define QXXML_SNMP_ACCESS_MAX 2
#define QXXML_USER_MAX 2

/* The repeated lists, in the order of the counts records. values.xml has the
 * first three only, so both counts records begin alike. */
#define QXXML_VALUES_LISTS(LIST)           \
  LIST(BinaryInSet, QXXML_BINARY_IN_MAX)   \
  LIST(BinaryOutSet, QXXML_BINARY_OUT_MAX) \
  LIST(SenSet, QXXML_SENSOR_MAX)

#define QXXML_SETUP_LISTS(LIST)            \
  QXXML_VALUES_LISTS(LIST)                 \
  LIST(TempRangeSet, QXXML_TEMP_RANGE_MAX) \
  LIST(GroupSet, QXXML_GROUP_MAX)          \
  LIST(SnmpTraps, QXXML_SNMP_TRAP_MAX)     \
  LIST(MailDest, QXXML_MAIL_DEST_MAX)      \
  LIST(SnmpAccess, QXXML_SNMP_ACCESS_MAX)  \
  LIST(User, QXXML_USER_MAX)

#define QXXML_VALUES_KEYS(FIELD, ENTRY) \
  FIELD(Agent_Version, 12)              \
  FIELD(Agent_XmlVer, 12)               \
  FIELD(Agent_DeviceName, 52)           \
  FIELD(Agent_Model, 8)                 \
  FIELD(Agent_VendorID, 12)             \
  FIELD(Agent_MAC, 20)                  \
  FIELD(Agent_Title, 152)               \
  FIELD(Agent_Contact, 152)             \
  FIELD(TemperRange_Min, 8)             \
  FIELD(TemperRange_Max, 8)             \
  ENTRY(BinaryInSet, ID, 12)            \
  ENTRY(BinaryInSet, Name, 52)          \
  ENTRY(BinaryInSet, Value, 16)         \
  ENTRY(BinaryInSet, AlarmState, 4)     \
  ENTRY(BinaryInSet, Alarm, 52)         \
  ENTRY(BinaryInSet, State, 4)          \
  ENTRY(BinaryInSet, Cnt, 52)           \
  ENTRY(BinaryInSet, Color, 4)          \
  ENTRY(BinaryInSet, SNMPTrap, 4)       \
  ENTRY(BinaryInSet, EmailSMS, 4)       \
  ENTRY(BinaryInSet, Idx, 4)            \
  FIELD(BinaryInSet_AlarmAction, 52)    \
  ENTRY(BinaryOutSet, ID, 12)           \
  ENTRY(BinaryOutSet, Name, 52)         \
  ENTRY(BinaryOutSet, Type, 4)          \
  ENTRY(BinaryOutSet, Value, 16)        \
  ENTRY(BinaryOutSet, Mode, 52)         \
  ENTRY(BinaryOutSet, CondInputID, 52)  \
  ENTRY(BinaryOutSet, Trigger, 52)      \
  ENTRY(BinaryOutSet, Idx, 4)           \
  ENTRY(SenSet, Name, 52)               \
  ENTRY(SenSet, ID, 12)                 \
  ENTRY(SenSet, Units, 8)               \
  ENTRY(SenSet, Value, 16)              \
  ENTRY(SenSet, Exp, 52)                \
  ENTRY(SenSet, Min, 8)                 \
  ENTRY(SenSet, Max, 8)                 \
  ENTRY(SenSet, Hyst, 8)                \
  ENTRY(SenSet, SNMPTrap, 4)            \
  ENTRY(SenSet, EmailSMS, 4)            \
  ENTRY(SenSet, Color, 4)               \
  ENTRY(SenSet, State, 4)               \
  ENTRY(SenSet, Calib, 8)               \
  ENTRY(SenSet, Idx, 4)                 \
  FIELD(Time_Date, 20)                  \
  FIELD(Time_Time, 20)

#define QXXML_SETUP_KEYS(FIELD, ENTRY) \
  FIELD(Agent_Version, 12)             \
  FIELD(Agent_XmlVer, 12)              \
  FIELD(Agent_DeviceName, 52)          \
  FIELD(Agent_Model, 8)                \
  FIELD(Agent_VendorID, 12)            \
  FIELD(Agent_MAC, 20)                 \
  FIELD(Agent_Title, 152)              \
  FIELD(Agent_Contact, 152)            \
  FIELD(Status_NtpState, 52)           \
  FIELD(TemperRange_Min, 8)            \
  FIELD(TemperRange_Max, 8)            \
  ENTRY(BinaryInSet, ID, 12)           \
  ENTRY(BinaryInSet, Name, 52)         \
  ENTRY(BinaryInSet, NameOpen, 52)     \
  ENTRY(BinaryInSet, NameClose, 52)    \
  ENTRY(BinaryInSet, Cnt, 52)          \
  ENTRY(BinaryInSet, Value, 16)        \
  ENTRY(BinaryInSet, AlarmState, 4)    \
  ENTRY(BinaryInSet, Alarm, 52)        \
  ENTRY(BinaryInSet, Color, 4)         \
  ENTRY(BinaryInSet, State, 4)         \
  ENTRY(BinaryInSet, Mask1, 52)        \
  ENTRY(BinaryInSet, Mask2, 52)        \
  ENTRY(BinaryInSet, Dest_Snmp1, 52)   \
  ENTRY(BinaryInSet, Dest_Snmp2, 52)   \
  ENTRY(BinaryInSet, Dest_Snmp3, 52)   \
  ENTRY(BinaryInSet, Dest_Snmp4, 52)   \
  ENTRY(BinaryInSet, Dest_Mail1, 52)   \
  ENTRY(BinaryInSet, Dest_Mail2, 52)   \
  ENTRY(BinaryInSet, Dest_Delay, 52)   \
  ENTRY(BinaryInSet, Dest_E, 4)        \
  ENTRY(BinaryInSet, SNMPTrap, 4)      \
  ENTRY(BinaryInSet, EmailSMS, 4)      \
  ENTRY(BinaryInSet, Idx, 4)           \
  FIELD(BinaryInSet_AlarmAction, 52)   \
  ENTRY(BinaryOutSet, ID, 12)          \
  ENTRY(BinaryOutSet, Name, 52)        \
  ENTRY(BinaryOutSet, NameOpen, 52)    \
  ENTRY(BinaryOutSet, NameClose, 52)   \
  ENTRY(BinaryOutSet, Value, 16)       \
  ENTRY(BinaryOutSet, Type, 4)         \
  ENTRY(BinaryOutSet, Mode, 52)        \
  ENTRY(BinaryOutSet, CondInputID, 52) \
  ENTRY(BinaryOutSet, Trigger, 52)     \
  ENTRY(BinaryOutSet, Idx, 4)          \
  ENTRY(SenSet, Name, 52)              \
  ENTRY(SenSet, ID, 12)                \
  ENTRY(SenSet, Units, 8)              \
  ENTRY(SenSet, Min, 8)                \
  ENTRY(SenSet, Max, 8)                \
  ENTRY(SenSet, Hyst, 8)               \
  ENTRY(SenSet, E, 4)                  \
  ENTRY(SenSet, Value, 16)             \
  ENTRY(SenSet, Exp, 52)               \
  ENTRY(SenSet, SNMPTrap, 4)           \
  ENTRY(SenSet, EmailSMS, 4)           \
  ENTRY(SenSet, Color, 4)              \
  ENTRY(SenSet, State, 4)              \
  ENTRY(SenSet, Calib, 8)              \
  ENTRY(SenSet, Dest_Snmp1, 52)        \
  ENTRY(SenSet, Dest_Snmp2, 52)        \
  ENTRY(SenSet, Dest_Snmp3, 52)        \
  ENTRY(SenSet, Dest_Snmp4, 52)        \
  ENTRY(SenSet, Dest_Mail1, 52)        \
  ENTRY(SenSet, Dest_Mail2, 52)        \
  ENTRY(SenSet, Dest_Delay, 52)        \
  ENTRY(SenSet, Dest_E, 4)             \
  ENTRY(SenSet, Idx, 4)                \
  ENTRY(TempRangeSet, Min, 8)          \
  ENTRY(TempRangeSet, Max, 8)          \
  ENTRY(TempRangeSet, Alarm, 52)       \
  ENTRY(TempRangeSet, Idx, 4)          \
  FIELD(AlarmSet_Subj, 52)             \
  FIELD(AlarmSet_Body, 52)             \
  ENTRY(GroupSet, Name, 52)            \
  ENTRY(GroupSet, Out, 52)             \
  ENTRY(GroupSet, OutState, 52)        \
  ENTRY(GroupSet, Alarm_Subj, 52)      \
  ENTRY(GroupSet, Alarm_Body, 52)      \
  ENTRY(GroupSet, Dest_Snmp1, 52)      \
  ENTRY(GroupSet, Dest_Snmp2, 52)      \
  ENTRY(GroupSet, Dest_Snmp3, 52)      \
  ENTRY(GroupSet, Dest_Snmp4, 52)      \
  ENTRY(GroupSet, Dest_Mail1, 52)      \
  ENTRY(GroupSet, Dest_Mail2, 52)      \
  ENTRY(GroupSet, Dest_Delay, 52)      \
  ENTRY(GroupSet, Dest_E, 4)           \
  ENTRY(GroupSet, Idx, 4)              \
  ENTRY(SnmpTraps, Community, 52)      \
  ENTRY(SnmpTraps, IPaddr, 20)         \
  ENTRY(SnmpTraps, Port, 8)            \
  ENTRY(SnmpTraps, E, 4)               \
  ENTRY(SnmpTraps, Idx, 4)             \
  ENTRY(MailDest, To, 52)              \
  ENTRY(MailDest, Cc, 52)              \
  ENTRY(MailDest, E, 4)                \
  ENTRY(MailDest, Idx, 4)              \
  FIELD(Counters_E, 4)                 \
  FIELD(Counters_Int, 52)              \
  FIELD(BinSetG_AlarmDest, 4)          \
  FIELD(Global_Units, 8)               \
  FIELD(Global_Logo, 52)               \
  FIELD(Global_HWSec, 20)              \
  FIELD(Global_AlarmDelay, 52)         \
  FIELD(Network_Name, 52)              \
  FIELD(Network_IPAddr, 20)            \
  FIELD(Network_Submask, 20)           \
  FIELD(Network_Gateway, 20)           \
  FIELD(Network_HTTPport, 8)           \
  FIELD(Network_TelnetPort, 8)         \
  FIELD(Network_SNMPPort, 8)           \
  FIELD(Network_DNSPrimary, 20)        \
  FIELD(Network_DNSSecondary, 20)      \
  FIELD(Network_DHCP, 52)              \
  FIELD(Email_Server, 52)              \
  FIELD(Email_Port, 8)                 \
  FIELD(Email_From, 52)                \
  FIELD(Email_To, 52)                  \
  FIELD(Email_Subject, 52)             \
  FIELD(Email_Auth, 4)                 \
  FIELD(Email_Name, 52)                \
  FIELD(Email_Pswd, 52)                \
  FIELD(Email_State, 4)                \
  FIELD(Email_Message, 152)            \
  FIELD(Time_SNTPServer, 52)           \
  FIELD(Time_TimeShift, 8)             \
  FIELD(Time_Date, 20)                 \
  FIELD(Time_Time, 20)                 \
  FIELD(Time_Port, 8)                  \
  FIELD(Time_Period, 52)               \
  FIELD(SMS_E, 4)                      \
  FIELD(SMS_Module, 52)                \
  FIELD(SMS_CenterNmr, 52)             \
  FIELD(SMS_Recp1, 52)                 \
  FIELD(SMS_Recp2, 52)                 \
  FIELD(SMS_RingOut, 52)               \
  FIELD(SMS_State, 4)                  \
  FIELD(SMS_Message, 152)              \
  FIELD(DataLogger_StorePeriod, 52)    \
  FIELD(DataLogger_LogCapacity, 52)    \
  FIELD(DataLogger_LogBins, 52)        \
  FIELD(DataLogger_Report_E, 4)        \
  FIELD(DataLogger_Report_To, 52)      \
  FIELD(DataLogger_Report_Period, 52)  \
  FIELD(DataLogger_Report_Erase, 52)   \
  FIELD(HTTPIPFilter_IPAddr, 20)       \
  FIELD(HTTPIPFilter_Mask, 20)         \
  FIELD(SNMPIPFilter_IPAddr, 20)       \
  FIELD(SNMPIPFilter_Mask, 20)         \
  ENTRY(SnmpAccess, Community, 52)     \
  ENTRY(SnmpAccess, R, 4)              \
  ENTRY(SnmpAccess, W, 4)              \
  ENTRY(SnmpAccess, E, 4)              \
  ENTRY(SnmpAccess, Idx, 4)            \
  FIELD(MIBIISysGroup_SysContact, 52)  \
  FIELD(MIBIISysGroup_SysName, 52)     \
  FIELD(MIBIISysGroup_SysLocation, 52) \
  ENTRY(User, Name, 52)                \
  ENTRY(User, Pswd, 52)                \
  ENTRY(User, Idx, 4)                  \
  FIELD(Info, 4)

QX_BEGIN_DECLS

/* List numbers (the position of the list's count in a counts record) and
 * capacities by list name, for the generated declarations. */
#define QXXML_LIST_ENUM(list, capacity) QXXML_LIST_##list,
typedef enum qxxml_list { QXXML_SETUP_LISTS(QXXML_LIST_ENUM) QXXML_LIST_COUNT } qxxml_list;
#undef QXXML_LIST_ENUM
#define QXXML_VALUES_LIST_COUNT 3

#define QXXML_CAPACITY_ENUM(list, capacity) QXXML_CAPACITY_##list = capacity,
enum qxxml_capacity { QXXML_SETUP_LISTS(QXXML_CAPACITY_ENUM) };
#undef QXXML_CAPACITY_ENUM

/* Field ids: the row of the key in its document's key table. */
#define QXXML_VALUES_ID_FIELD(name, bytes) QXXML_VALUES_ID_##name,
#define QXXML_VALUES_ID_ENTRY(list, leaf, bytes) QXXML_VALUES_ID_##list##_Entry_##leaf,
typedef enum qxxml_values_id {
  QXXML_VALUES_KEYS(QXXML_VALUES_ID_FIELD, QXXML_VALUES_ID_ENTRY) QXXML_VALUES_KEY_COUNT
} qxxml_values_id;
#undef QXXML_VALUES_ID_FIELD
#undef QXXML_VALUES_ID_ENTRY

#define QXXML_SETUP_ID_FIELD(name, bytes) QXXML_SETUP_ID_##name,
#define QXXML_SETUP_ID_ENTRY(list, leaf, bytes) QXXML_SETUP_ID_##list##_Entry_##leaf,
typedef enum qxxml_setup_id {
  QXXML_SETUP_KEYS(QXXML_SETUP_ID_FIELD, QXXML_SETUP_ID_ENTRY) QXXML_SETUP_KEY_COUNT
} qxxml_setup_id;
#undef QXXML_SETUP_ID_FIELD
#undef QXXML_SETUP_ID_ENTRY

/* The records. */
#define QXXML_RECORD_FIELD(name, bytes) char name[bytes];
#define QXXML_RECORD_ENTRY(list, leaf, bytes) char list##_Entry_##leaf[QXXML_CAPACITY_##list][bytes];
typedef struct qxxml_values {
  int timestamp; /* seconds since 1970 of the last values transaction; never written by a parse */
  QXXML_VALUES_KEYS(QXXML_RECORD_FIELD, QXXML_RECORD_ENTRY)
} qxxml_values;

typedef struct qxxml_setup {
  int timestamp; /* seconds since 1970 of the last setup download or post */
  QXXML_SETUP_KEYS(QXXML_RECORD_FIELD, QXXML_RECORD_ENTRY)
} qxxml_setup;
#undef QXXML_RECORD_FIELD
#undef QXXML_RECORD_ENTRY

/* Counts records: the number of Entry elements of each list that the last
 * parse closed. A count may exceed its list's capacity; readers clamp. */
#define QXXML_COUNT_FIELD(list, capacity) int list##_count;
typedef struct qxxml_values_counts {
  QXXML_VALUES_LISTS(QXXML_COUNT_FIELD)
} qxxml_values_counts;

typedef struct qxxml_setup_counts {
  QXXML_SETUP_LISTS(QXXML_COUNT_FIELD)
} qxxml_setup_counts;
#undef QXXML_COUNT_FIELD

/* One row of a key table. */
typedef struct qxxml_key {
  const char *key; /* element path, such as "Root_SenSet_Entry_Calib" */
  int id;          /* field id, equal to the row number */
  int bytes;       /* size of one text field, terminating zero included */
  int entries;     /* 1 for a single field, else the array length */
  int list;        /* qxxml_list whose entry numbers index the array; -1 for a single field */
  size_t offset;   /* byte offset of the field (of its array) in the record */
} qxxml_key;

/* One repeated list. */
typedef struct qxxml_list_info {
  const char *name;       /* list element, such as "SenSet" */
  const char *entry_path; /* path of its entries, such as "Root_SenSet_Entry" */
  int capacity;           /* array length of its keys */
  size_t count_offset;    /* byte offset of its count, the same in both counts records */
} qxxml_list_info;

QX_EXPORT extern const qxxml_key qxxml_values_keys[QXXML_VALUES_KEY_COUNT];
QX_EXPORT extern const qxxml_key qxxml_setup_keys[QXXML_SETUP_KEY_COUNT];
QX_EXPORT extern const qxxml_list_info qxxml_lists[QXXML_LIST_COUNT];

/* The text field of a key table row in a record of that table: entry selects
 * the element of an array and is ignored for a single field. Null when the
 * entry lies outside the array, so no caller can reach past it. */
static inline char *qxxml_field(const void *record, const qxxml_key *row, int entry) {
  if (row->list < 0) entry = 0;
  if (entry < 0 || entry >= row->entries) return NULL;
  return (char *)record + row->offset + (size_t)entry * (size_t)row->bytes;
}

/* A list's count in either counts record; a values counts record holds the
 * first QXXML_VALUES_LIST_COUNT lists only. */
static inline int qxxml_list_count(const void *counts, int list) {
  return *(const int *)((const char *)counts + qxxml_lists[list].count_offset);
}

QX_END_DECLS

/* Sizes other builds and the devices' tools rely on. */
static_assert(QXXML_VALUES_KEY_COUNT == 46, "values.xml has 46 keys");
static_assert(QXXML_SETUP_KEY_COUNT == 161, "setup.xml has 161 keys");
static_assert(sizeof(qxxml_values) == 37524, "qxxml_values is 37524 bytes");
static_assert(sizeof(qxxml_setup) == 129540, "qxxml_setup is 129540 bytes");
static_assert(sizeof(qxxml_values_counts) == 3 * sizeof(int), "three values counts");
static_assert(sizeof(qxxml_setup_counts) == 9 * sizeof(int), "nine setup counts");
static_assert(offsetof(qxxml_values_counts, SenSet_count) == offsetof(qxxml_setup_counts, SenSet_count),
              "both counts records begin alike");

#endif
