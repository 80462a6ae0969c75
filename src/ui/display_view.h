// PaintBox1: the device's display page shown one to one (or enlarged) through
// an indexed image over the page bytes.  It repaints only when the device
// reports a change, never by polling.
#pragma once

#include <QImage>
#include <QWidget>

#include "device/window_surface.h"

namespace qmt {

class TQMT3308;

class DisplayView : public QWidget, public WindowSurface {
  Q_OBJECT
 public:
  explicit DisplayView(TQMT3308& device, QWidget* parent = nullptr);
  ~DisplayView() override;

  void SetZoom(int zoom);  // 1, 2 or 3
  int Zoom() const { return zoom_; }

  // Maps a widget position to a device pixel (clamped to the page).
  QPoint ToDevice(QPoint widgetPos) const;

  // The display page as it is now, in its device colours.
  QImage PageImage() const;

  // WindowSurface
  void AreaChanged(int x0, int y0, int x1, int y1) override;
  void PageChanged() override;

 signals:
  // The mouse on the page, for the line tracer: kind 1 press, 0 move,
  // 2 release; x, y in device pixels.
  void DeviceMouse(int kind, int x, int y, Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // Points the image at the display page's bytes; DS moves the page.
  void Bind();

  TQMT3308& device_;
  QImage image_;
  const unsigned char* bound_ = nullptr;
  int zoom_ = 1;
};

// The device palette as an image colour table.
QList<QRgb> DeviceColourTable();

}  // namespace qmt
