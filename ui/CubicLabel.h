#pragma once
// TCubicLabel: the label every window uses for its title. It paints its
// caption raised, sunken, with a drop shadow that can be extruded into a
// solid block, and with a halo round the letters; in every other respect
// (text, font, alignment, word wrap, enabled state) it is a QLabel.
#include <functional>

#include <QLabel>

#include "Colors.h"

class QPainter;

enum TCubicFace { cfNormal, cfLowered, cfRaised };

class TCubicLabel : public QLabel {
  Q_OBJECT

 public:
  // Extra format bit of DrawCaption, beside the Qt text and alignment flags:
  // measure the caption into the rectangle instead of drawing it. It lies
  // above every Qt::AlignmentFlag and Qt::TextFlag bit.
  static constexpr int CalcRect = 0x10000000;

  explicit TCubicLabel(QWidget* parent = nullptr);

  TCubicFace CubicFace() const { return FCubicFace; }
  bool CubicShadow() const { return FCubicShadow; }
  int ShadowDepth() const { return FShadowDepth; }
  bool ShadowOnly() const { return FShadowOnly; }
  TColor ShadowColor() const { return FShadowColor; }
  bool HollowFace() const { return FHollowFace; }
  TColor HollowColor() const { return FHollowColor; }
  // "&" marks an access key and "&&" is one ampersand while this is on.
  bool ShowAccelChar() const { return FShowAccelChar; }
  // Off: the background is filled with the palette's window colour first.
  bool Transparent() const { return !autoFillBackground(); }

  void SetCubicFace(TCubicFace value);
  void SetCubicShadow(bool value);
  void SetShadowDepth(int value);  // below 0 is ignored
  void SetShadowOnly(bool value);
  void SetShadowColor(TColor value);
  void SetHollowFace(bool value);
  void SetHollowColor(TColor value);
  void SetShowAccelChar(bool value);
  void SetTransparent(bool value);
  // The caption's colour, kept in the palette's text role.
  void SetFontColor(TColor value);

  // Draws the caption with every effect into r, or, with CalcRect in the
  // format, measures it: r keeps its top left and takes the text's extent.
  void DrawCaption(QPainter& canvas, QRect& r, int format) const;

  // The colour of the lit copy of a raised or sunken face.
  static TColor GetHighlightColor(TColor color);

 signals:
  void MouseDown(Qt::MouseButton button, QPoint pos);
  void MouseUp(Qt::MouseButton button, QPoint pos);
  // A left press and release both on the label.
  void Click();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  virtual void Paint(QPainter& canvas);

 private:
  template <typename T>
  void Assign(T& field, T value);

  // One step of DrawCaption: the whole text drawn in a colour at r, or
  // measured there.
  using TCaptionStep = std::function<void(const QColor&)>;
  // The copies under the face: the shadow, or the raised or sunken edges.
  void DrawRelief(const TCaptionStep& draw, QRect& r, const QColor& faceColor) const;
  // The hollow face's halo, one copy on each diagonal side.
  void DrawHalo(const TCaptionStep& draw, QRect& r) const;

  TCubicFace FCubicFace = cfNormal;
  bool FCubicShadow = false;
  int FShadowDepth = 1;
  bool FShadowOnly = false;
  TColor FShadowColor = clGray;
  bool FHollowFace = false;
  TColor FHollowColor = clSilver;
  bool FShowAccelChar = true;
  bool FPressed = false;
};
