#include "sdk/sdk_object.h"

#include <atomic>
#include <cstring>

#include "sdk/field_text_private.h"

namespace zelvoapi {

namespace {

// Serials start at 1 so that 0 never names a live object.
std::atomic<uint64_t> g_next_serial{1};

}  // namespace

TSdkObject::TSdkObject(void *owner) : Owner(owner), serial_(g_next_serial.fetch_add(1)) {}

TSdkError::TSdkError(const qx_error_record &record)
    : Code(record.code), SysCode(record.sys_errno), Text(FieldText(record.text)), SysText(FieldText(record.sys_text)) {}

TSdkErrorEventArgs::TSdkErrorEventArgs(TSdkObject *sender, uint8_t operation, const qx_error_record &record,
                                       int32_t extra)
    : TEventArgs(sender), Operation(operation), Error(record), Extra(extra) {}

TEventCustom::~TEventCustom() = default;

}  // namespace zelvoapi
