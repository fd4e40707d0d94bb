// The font the forms are laid out for: their pixel geometry assumes the
// toolkit's default sans-serif at 11 pixels.
#ifndef APP_FORM_FONT_H
#define APP_FORM_FONT_H

#include <QFont>

class QWidget;

namespace calibrator {

constexpr int kFormFontPixels = 11;

// The default sans-serif, `pixels` high, optionally bold.
QFont FormFont(int pixels, bool bold = false);

// Gives `form` the form font; its controls inherit it, keeping the weight
// their form files set.
void ApplyFormFont(QWidget *form);

}  // namespace calibrator

#endif
