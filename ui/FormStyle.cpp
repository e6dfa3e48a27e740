#include "FormStyle.h"

QFont MakeFont(const QString& family, int pixelSize, bool bold, bool italic) {
  QFont font(family);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setItalic(italic);
  return font;
}

void SetUpForm(QDialog& form, const QString& caption, const QFont& font, QSize clientSize) {
  form.setWindowTitle(caption);
  form.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  form.setFont(font);
  // Qt cannot size the outer frame before the window is shown, so the
  // designed size is taken as the client area.
  form.resize(clientSize);
}
