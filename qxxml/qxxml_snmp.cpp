/* The SNMP manager cache of a slot and the credential setters. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qxxml/qxxml_private.h"

enum { IP_TEXT_MAX = 15 };

void qxxml_refresh_snmp_cache(int slot) {
  qxxml_slot_storage &storage = qxxml_slots[slot];
  qxxml_slot &s = storage.slot;
  /* Without a parsed setup (the download failed before any parse) the cache
   * is emptied: there is no receiver to report. */
  const qxxml_setup *setup = storage.setup;
  const qxxml_setup_counts *counts = storage.setup_counts;
  memset(s.snmp_ip, 0, sizeof s.snmp_ip);
  if (setup && counts && counts->SnmpTraps_count >= 1) {
    snprintf(s.snmp_ip, sizeof s.snmp_ip, "%.15s", setup->SnmpTraps_Entry_IPaddr[0]);
    s.snmp_port = atoi(setup->SnmpTraps_Entry_Port[0]);
  }
  qxxml_lock(slot);
  s.snmp_done = 1;
  qxxml_unlock(slot);
}

int qxxml_get_snmp_manager_cache(int slot, char *ip16, int *port) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  const qxxml_slot &s = qxxml_slots[slot].slot;
  if (s.snmp_ip[0] == '\0') {
    qxxml_set_error(slot, QX_ERR_ADDRESS_NOT_FOUND);
    return -1;
  }
  memset(ip16, 0, 16);
  memcpy(ip16, s.snmp_ip, strnlen(s.snmp_ip, IP_TEXT_MAX));
  *port = s.snmp_port;
  return 0;
}

/* Copies a credential pair after checking both lengths, the user name first. */
static int set_credentials(int slot, const char *user, const char *password, char *user_field, char *password_field) {
  if (strnlen(user, QXXML_AUTH_MAX) >= QXXML_AUTH_MAX) {
    qxxml_set_error(slot, QX_ERR_USER_TOO_LONG);
    return -1;
  }
  if (strnlen(password, QXXML_AUTH_MAX) >= QXXML_AUTH_MAX) {
    qxxml_set_error(slot, QX_ERR_PASSWORD_TOO_LONG);
    return -1;
  }
  strcpy(user_field, user);
  strcpy(password_field, password);
  return 0;
}

int qxxml_authenticate_get(int slot, const char *user, const char *password) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  qxxml_settings &settings = qxxml_slots[slot].slot.settings;
  return set_credentials(slot, user, password, settings.get_user, settings.get_password);
}

int qxxml_authenticate_set(int slot, const char *user, const char *password) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  qxxml_settings &settings = qxxml_slots[slot].slot.settings;
  return set_credentials(slot, user, password, settings.set_user, settings.set_password);
}
