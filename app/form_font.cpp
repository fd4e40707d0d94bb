#include "app/form_font.h"

#include <QFontDatabase>
#include <QWidget>

namespace calibrator {

QFont FormFont(int pixels, bool bold) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

void ApplyFormFont(QWidget *form) { form->setFont(FormFont(kFormFontPixels)); }

}  // namespace calibrator
