// The palette of the colour page: the 256 colour bytes as 4 x 64 swatches,
// colour byte 4 * row + column.  Dragging over it with a button held picks
// the colour under the mouse.
#pragma once

#include <QWidget>

namespace qmt {

class PaletteBox : public QWidget {
  Q_OBJECT
 public:
  explicit PaletteBox(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {120, 448}; }

  // The colour byte under (x, y) for a box of w x h pixels, limited to 0-255.
  static int ColourAt(int x, int y, int w, int h);

 signals:
  void picked(int colour);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  bool picking_ = false;
};

}  // namespace qmt
