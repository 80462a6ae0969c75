// PaintBox1: the device's display page shown one to one (or enlarged) through
// an indexed image over the page bytes.  It repaints only when the device
// reports a change, never by polling.
#pragma once

#include <QImage>
#include <QLine>
#include <QList>
#include <QWidget>

#include "device/window_surface.h"
#include "host/line_tracer.h"

namespace qmt {

class TQMT3308;

class DisplayView : public QWidget, public WindowSurface, public TraceSurface {
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

  // TraceSurface: the line tracer's rubber band.  It lies over the page on
  // the window only; drawing the same line again removes it, as drawing in
  // exclusive-or mode twice does.
  void XorLine(TracePoint from, TracePoint to) override;
  const QList<QLine>& BandLines() const { return band_; }

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

  QRect WidgetRect(QLine line) const;

  TQMT3308& device_;
  QImage image_;
  QList<QLine> band_;  // device pixels
  const unsigned char* bound_ = nullptr;
  int zoom_ = 1;
};

// The device palette as an image colour table.
QList<QRgb> DeviceColourTable();

}  // namespace qmt
