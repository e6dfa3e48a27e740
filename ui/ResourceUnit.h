#pragma once
// Pictures compiled into the program: the icons "MAINICON" and "PAUSEICON",
// the about box's logo, and a control that shows a vector picture.
#include <QIcon>
#include <QString>
#include <QSvgRenderer>
#include <QWidget>

// An icon by its resource name ("MAINICON", "PAUSEICON"); null if unknown.
QIcon LoadIconResource(const QString& name);

// Resource path of the about box's logo.
inline constexpr char LogoResource[] = ":/korvane/logo.svg";

// A vector picture stretched to fill the control, whatever its proportions.
class TPictureImage : public QWidget {
  Q_OBJECT

 public:
  explicit TPictureImage(const QString& resource, QWidget* parent = nullptr);
  bool Loaded() const { return FRenderer.isValid(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QSvgRenderer FRenderer;
};
