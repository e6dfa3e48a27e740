#pragma once
// Helpers of the window tests: pictures of widgets and text, and a way to
// act on a modal window while the code under test sits in its exec().
#include <functional>
#include <ostream>
#include <vector>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QMessageBox>
#include <QRect>
#include <QString>

class QTimer;
class QWidget;

// Lets GoogleTest print Qt strings readably in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

// The widget painted onto a white picture of its own size.
QImage RenderWidget(QWidget& widget);

// Text drawn black on white in a picture of the given size, top left.
QImage RenderText(const QString& text, const QFont& font, QSize size = {200, 60});

// The smallest rectangle holding every pixel that is not the background.
QRect InkBounds(const QImage& image, QColor background = Qt::white);

// Number of pixels of exactly this colour.
int CountColor(const QImage& image, QColor color);

// Runs action once the active modal widget is one other than `after`
// (an event-loop turn later, from inside whatever exec() is running).
// After five seconds without one it records a failure and closes the
// modal widget on top, so that a broken test ends instead of hanging.
void OnNextModal(std::function<void(QWidget* top)> action, QWidget* after = nullptr);

// What a message box showed.
struct TSeenBox {
  QString Caption, Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  QStringList Buttons;
  int Width = 0;
};
TSeenBox SeeBox(const QMessageBox& box);

// While it lives, presses `answer` in every message box that opens and
// keeps what each one showed, in order.
class TBoxAnswerer {
 public:
  explicit TBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);
  ~TBoxAnswerer();
  TBoxAnswerer(const TBoxAnswerer&) = delete;
  TBoxAnswerer& operator=(const TBoxAnswerer&) = delete;

  std::vector<TSeenBox> Boxes;

 private:
  QTimer* Poll;
};
