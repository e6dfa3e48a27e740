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

// Gives a window about to be shown the outer size, the window manager's
// frame included, centred on the screen. The frame comes only after the
// window is mapped: until it is known the client area takes the whole size,
// and the frame is taken off once it comes.
void FitOuterSize(QWidget& window, QSize outer);
