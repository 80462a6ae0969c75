// The simulator window as a device on the wire (`qmtsim --listen`): a
// client's lines are executed on the window's device between the window's
// own events, as a real device executes what its port receives while its
// macro runs.  The server is served when its descriptors are ready, for a
// time budget at a time, so the window stays responsive however fast lines
// arrive; the display and the log are brought up to date at most once per
// frame.
#pragma once

#include <QDockWidget>
#include <QElapsedTimer>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "device/window_surface.h"
#include "host/wire_device.h"
#include "link/stream_server.h"


namespace qmt {

class TQMT3308;

class WireListener : public QObject {
  Q_OBJECT
 public:
  // Lines kept in the log; older ones go.
  static constexpr int kLogLines = 2000;
  static constexpr int kFrameMs = 16;
  // Time one poll may spend on lines before the window's events run.
  static constexpr int kBudgetMs = 8;
  static_assert(kFrameMs > 0);

  // Serves `server` on `device`; with `replies` each line is answered.  The
  // log's dock is made a child of `dockParent` (the tool window, which docks
  // it); without one the listener keeps it.
  WireListener(std::unique_ptr<StreamServer> server, TQMT3308& device, bool replies,
               QWidget* dockParent = nullptr, QObject* parent = nullptr);
  ~WireListener() override;

  const std::string& Address() const { return server_->Address(); }
  // The log pane ("受信ログ"), to be docked in the tool window.
  QDockWidget* LogDock() const { return dock_; }
  QPlainTextEdit* LogPane() const { return pane_; }
  const WireDevice& Wire() const { return *wire_; }
  const StreamServer& Server() const { return *server_; }
  // Serves what has arrived now and brings the window up to date (tests).
  void PollNow();

  // Messages for standard error (UTF-8): who connected, left, was refused.
  std::function<void(const std::string& utf8)> report;

 private:
  // Collects what one batch of lines changed on the display page.
  class Changes : public WindowSurface {
   public:
    void AreaChanged(int x0, int y0, int x1, int y1) override;
    void PageChanged() override { page = true; }
    bool any = false, page = false;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  };

  // One log line, formatted only when it is shown: a received line (with
  // the device's message when it failed) or a note of the server's.
  struct Entry {
    std::string text;     // the line's bytes, or the note (code page 932)
    std::string message;  // the device's message; empty when the line ran
    std::size_t length = 0;  // the line's whole length (only its start is kept)
    bool note = false;
  };

  void Poll();
  // Watches what the server waits on now (it changes as clients come and go).
  void Watch();
  void Flush();
  void Log(Entry entry);

  std::unique_ptr<StreamServer> server_;
  std::unique_ptr<WireDevice> wire_;
  TQMT3308& device_;
  Changes changes_;
  std::deque<Entry> fresh_;        // log lines not shown yet (bounded)
  std::size_t skipped_ = 0;        // lines that went before being shown
  std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
  QTimer again_;   // serves again: after the budget ran out, or while idle
  QTimer flush_;   // shows what the last lines did, once a frame has passed
  QElapsedTimer sinceFlush_;
  QPointer<QDockWidget> dock_;
  QPointer<QPlainTextEdit> pane_;
};

}  // namespace qmt
