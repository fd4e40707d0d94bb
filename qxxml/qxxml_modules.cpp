/* Multi-device slots and their module list: opening such a slot, adding
 * devices, switching them on and off, and what the library knows of each. */
#include <stdlib.h>
#include <string.h>

#include "qxxml/qxxml_private.h"

bool qxxml_refuse_not_many(int slot) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return true;
  }
  if (qxxml_slots[slot].module_count < 0) {
    qxxml_set_error(slot, QX_ERR_ID_NOT_FOUND);
    return true;
  }
  return false;
}

/* The index is checked against the count before the table is touched, and
 * a pointer that a worker ending on close already freed reads as none. */
qxxml_module *qxxml_module_at(int slot, int module) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) return nullptr;
  qxxml_slot_storage &storage = qxxml_slots[slot];
  if (module < 0 || module >= storage.module_count) return nullptr;
  return storage.modules[module];
}

void qxxml_free_modules(int slot) {
  qxxml_slot_storage &storage = qxxml_slots[slot];
  for (qxxml_module *&module : storage.modules) {
    if (!module) break;
    free(module);
    module = nullptr;
  }
}

const qxxml_settings *qxxml_credentials(int slot, int module) {
  qxxml_module *m = qxxml_module_at(slot, module);
  return m ? &m->settings : &qxxml_slots[slot].slot.settings;
}

int qxxml_open_many(void *owner) {
  /* Settings start empty: the modules carry the credentials, and callbacks
   * are installed with qxxml_callback once the slot runs. */
  return qxxml_open_slot(QXXML_THREAD_MANY_WORKER, "", 0, nullptr, owner, 0);
}

static bool listed(const qxxml_slot_storage &storage, const char *address, int port) {
  for (int i = 0; i < storage.module_count; i++) {
    const qxxml_module *m = storage.modules[i];
    if (m && m->port == port && strcmp(m->address, address) == 0) return true;
  }
  return false;
}

int qxxml_add_module(int slot, const char *address, int port, const qxxml_settings *settings) {
  if (qxxml_refuse_not_many(slot)) return -1;
  /* A port outside 1..65535 would wrap silently to another port at the connect. */
  if (!address || strnlen(address, QXXML_HOST_MAX) >= QXXML_HOST_MAX || port < 1 || port > 65535) {
    qxxml_set_error(slot, QX_ERR_IP_NOT_VALID);
    return -1;
  }
  qxxml_slot_storage &storage = qxxml_slots[slot];
  if (storage.module_count < QXXML_MODULES_MAX && listed(storage, address, port)) {
    qxxml_set_error(slot, QX_ERR_ADDRESS_IN_USE);
    return -1;
  }
  if (storage.module_count >= QXXML_MODULES_MAX) {
    qxxml_set_error(slot, QX_ERR_MODULES_FULL);
    return -1;
  }
  /* Zeroed: empty texts and buffers, zero lengths and record copies, and an
   * error record of code 0 ("NULL" is set below). */
  auto *m = static_cast<qxxml_module *>(calloc(1, sizeof(qxxml_module)));
  if (!m) {
    qxxml_set_error(slot, QX_ERR_MEMORY_NOT_FOUND);
    return -1;
  }
  strcpy(m->address, address);
  m->port = port;
  m->active = 1;
  qx_error_i2s(QX_ERR_NONE, m->error.text);
  if (settings) {
    memcpy(m->settings.get_user, settings->get_user, QXXML_AUTH_MAX);
    memcpy(m->settings.get_password, settings->get_password, QXXML_AUTH_MAX);
    memcpy(m->settings.set_user, settings->set_user, QXXML_AUTH_MAX);
    memcpy(m->settings.set_password, settings->set_password, QXXML_AUTH_MAX);
  }
  int index = storage.module_count;
  storage.modules[index] = m;
  storage.module_count = index + 1;
  return index;
}

int qxxml_count_modules(int slot) {
  if (qxxml_refuse_not_many(slot)) return -1;
  return qxxml_slots[slot].module_count;
}

int qxxml_active_modules(int slot, const int *flags) {
  if (qxxml_refuse_not_many(slot)) return -1;
  if (!flags) {
    qxxml_set_error(slot, QX_ERR_POINTER_NULL);
    return -1;
  }
  qxxml_slot_storage &storage = qxxml_slots[slot];
  for (int i = 0; i < storage.module_count; i++)
    if (storage.modules[i]) storage.modules[i]->active = flags[i] != 0;
  return 0;
}

int qxxml_get_module_many_ex(int slot, int module, char *address100, char *ip16, int *port) {
  if (qxxml_refuse_not_many(slot)) return -1;
  const qxxml_module *m = qxxml_module_at(slot, module);
  if (!m) {
    qxxml_set_error(slot, QX_ERR_INDEX_NOT_FOUND);
    return -1;
  }
  if (!ip16 || !port) {
    qxxml_set_error(slot, QX_ERR_POINTER_NULL);
    return -1;
  }
  memcpy(ip16, m->ip, sizeof m->ip);
  *port = m->port;
  if (address100) memcpy(address100, m->address, sizeof m->address);
  return 0;
}

int qxxml_get_module_many(int slot, int module, char *ip16, int *port) {
  return qxxml_get_module_many_ex(slot, module, nullptr, ip16, port);
}

int qxxml_error_many(int slot, int module, qx_error_record *out) {
  if (qxxml_refuse_not_many(slot)) return -1;
  const qxxml_module *m = qxxml_module_at(slot, module);
  if (!m) {
    qxxml_set_error(slot, QX_ERR_INDEX_NOT_VALID);
    return -1;
  }
  if (!out) {
    qxxml_set_error(slot, QX_ERR_POINTER_NULL);
    return -1;
  }
  qxxml_copy_error(slot, out, &m->error);
  return 0;
}
