#pragma once
// The progress window's "searching through files" animation: a lens that
// sweeps over a page beside an open folder, drawn in code, looped.
#include <QTimer>
#include <QWidget>

class QPainter;

class TSearchAnimation : public QWidget {
  Q_OBJECT

 public:
  static constexpr int FrameCount = 23;
  static constexpr int FrameInterval = 80;  // milliseconds

  explicit TSearchAnimation(QWidget* parent = nullptr);

  void Play();
  void Stop();
  bool Active() const { return FTimer.isActive(); }
  int Frame() const { return FFrame; }
  void SetFrame(int frame);

  // Draws one frame (taken modulo FrameCount) scaled into target.
  static void DrawFrame(QPainter& canvas, const QRectF& target, int frame);

  QSize sizeHint() const override { return {80, 50}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer FTimer;
  int FFrame = 0;
};
