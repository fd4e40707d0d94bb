#ifndef QXCOMMON_H
#define QXCOMMON_H

/* Runtime support shared by the device libraries. */
#include "common/qx_base64.h"
#include "common/qx_crc16.h"
#include "common/qx_error.h"
#include "common/qx_export.h"
#include "common/qx_socket.h"
#include "common/qx_thread.h"
#include "common/qx_xml_text.h"

#endif
