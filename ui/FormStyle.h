#pragma once
// The look every window shares: fonts given by family and pixel size, and
// ordinary resizable dialogs with the standard title-bar buttons.
#include <QDialog>
#include <QFont>
#include <QSize>
#include <QString>

QFont MakeFont(const QString& family, int pixelSize, bool bold = false, bool italic = false);

// Caption, font and client size of a modal window, with minimise, maximise
// and close buttons in its title bar.
void SetUpForm(QDialog& form, const QString& caption, const QFont& font, QSize clientSize);
