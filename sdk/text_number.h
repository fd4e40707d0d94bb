// Conversions of the devices' decimal texts to numbers.
#ifndef SDK_TEXT_NUMBER_H
#define SDK_TEXT_NUMBER_H

#include <cstddef>
#include <cstdint>

#include "common/qx_export.h"

namespace zelvoapi {

// Integer as by atol: leading blanks, an optional sign and decimal digits;
// anything else ends the number and no digits give 0. A null text gives 0 and
// a number beyond the 32-bit range saturates at its end instead of wrapping.
QX_EXPORT int32_t text_to_int32(const char *text);

// Floating-point number as by strtod with "." as the decimal point whatever
// the process locale says; no number gives 0, and so does a null text.
QX_EXPORT double text_to_double(const char *text);

// Writes `value` in fixed-point notation with `decimals` decimals (as "%.Nf"
// rounds, but always with "." as the decimal point) into `out` of `size`
// bytes, zero-terminated. False, with `out` empty, when the text does not
// fit or `decimals` is negative.
QX_EXPORT bool format_fixed(char *out, std::size_t size, double value, int32_t decimals);

}  // namespace zelvoapi

#endif
