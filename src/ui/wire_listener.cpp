#include "ui/wire_listener.h"

#include <QDockWidget>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <algorithm>

#include "device/escape.h"
#include "device/qmt3308.h"
#include "support/encoding.h"
#include "ui/cp932_text.h"

namespace qmt {
namespace {

// Bytes of a line the log shows.
constexpr std::size_t kShown = 80;

// Appends a received line as the log shows it: escaped, cut short when
// long, and the device's message after it when it failed.
void AppendLine(std::string& text, std::string_view start, std::size_t length, const std::string& message) {
  static const std::string bytes = Sjis(" バイト)");
  static const std::string arrow = Sjis("  → ");
  text += EscapeForDisplay(start);
  if (length > start.size()) text += "... (" + std::to_string(length) + bytes;
  if (!message.empty()) text += arrow + message;
}

}  // namespace

void WireListener::Changes::AreaChanged(int ax0, int ay0, int ax1, int ay1) {
  if (!any) {
    x0 = ax0, y0 = ay0, x1 = ax1, y1 = ay1;
    any = true;
    return;
  }
  x0 = std::min(x0, ax0), y0 = std::min(y0, ay0);
  x1 = std::max(x1, ax1), y1 = std::max(y1, ay1);
}

WireListener::WireListener(std::unique_ptr<StreamServer> server, TQMT3308& device, bool replies,
                           QWidget* dockParent, QObject* parent)
    : QObject(parent), server_(std::move(server)), device_(device) {
  wire_ = std::make_unique<WireDevice>(*server_, device_, replies);
  wire_->SetLineReport([this](std::string_view line, const std::string* error) {
    Log({std::string(line.substr(0, kShown)), error ? *error : std::string(), line.size(), false});
  });
  wire_->SetEventReport([this](StreamServer::Event event, const std::string& detail) {
    Log({WireDevice::EventNote(event, detail), {}, 0, true});
    if (report) report(WireDevice::EventText(event, detail));
  });

  dock_ = new QDockWidget(QString::fromUtf8("受信ログ"), dockParent);
  dock_->setObjectName("WireLogDock");
  pane_ = new QPlainTextEdit(dock_);
  pane_->setObjectName("WireLog");
  pane_->setReadOnly(true);
  pane_->setLineWrapMode(QPlainTextEdit::NoWrap);
  pane_->setMaximumBlockCount(kLogLines);
  pane_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  dock_->setWidget(pane_);
  Log({Sjis("待受: ") + server_->Address(), {}, 0, true});

  sinceFlush_.start();
  again_.setSingleShot(true);
  connect(&again_, &QTimer::timeout, this, &WireListener::Poll);
  flush_.setSingleShot(true);
  connect(&flush_, &QTimer::timeout, this, &WireListener::Flush);
  Watch();
}

WireListener::~WireListener() {
  if (device_.GetWindowSurface() == &changes_) device_.SetWindowSurface(nullptr);
  if (dock_ && !dock_->parent()) delete dock_.data();
}

void WireListener::Log(Entry entry) {
  fresh_.push_back(std::move(entry));
  if (fresh_.size() > static_cast<std::size_t>(kLogLines)) {
    fresh_.pop_front();
    ++skipped_;
  }
}

void WireListener::Poll() {
  // Drawing reaches the window's view through the collector while lines run;
  // the view hears of it once per frame.
  WindowSurface* view = device_.GetWindowSurface();
  device_.SetWindowSurface(view ? &changes_ : nullptr);
  QElapsedTimer spent;
  spent.start();
  std::size_t before;
  bool more;
  do {
    before = server_->LinesReceived() + server_->ClientsServed();
    server_->Serve(0);
    more = server_->LinesReceived() + server_->ClientsServed() != before;
  } while (more && spent.elapsed() < kBudgetMs);
  device_.SetWindowSurface(view);
  if (sinceFlush_.elapsed() >= kFrameMs) {
    Flush();
  } else if (!flush_.isActive()) {
    flush_.start(kFrameMs - static_cast<int>(sinceFlush_.elapsed()));
  }
  Watch();
  // Out of budget with lines still coming: the window's events run first.
  if (more) again_.start(0);
}

void WireListener::Watch() {
  std::vector<StreamServer::Wait> waits = server_->Waits();
  if (server_->Idle() && !again_.isActive()) again_.start(StreamServer::kIdleMs);
  // Keeps the notifiers that still fit, so none is made per line.
  std::vector<std::unique_ptr<QSocketNotifier>> kept;
  auto want = [&](int fd, QSocketNotifier::Type type) {
    for (auto& n : notifiers_) {
      if (n && n->socket() == fd && n->type() == type) {
        n->setEnabled(true);
        kept.push_back(std::move(n));
        return;
      }
    }
    auto n = std::make_unique<QSocketNotifier>(fd, type);
    connect(n.get(), &QSocketNotifier::activated, this, &WireListener::Poll);
    kept.push_back(std::move(n));
  };
  for (const StreamServer::Wait& w : waits) {
    if (w.read) want(w.fd, QSocketNotifier::Read);
    if (w.write) want(w.fd, QSocketNotifier::Write);
  }
  notifiers_ = std::move(kept);
}

void WireListener::PollNow() {
  Poll();
  Flush();
}

void WireListener::Flush() {
  sinceFlush_.restart();
  WindowSurface* view = device_.GetWindowSurface();
  if (view && changes_.page) view->PageChanged();
  else if (view && changes_.any) view->AreaChanged(changes_.x0, changes_.y0, changes_.x1, changes_.y1);
  changes_ = Changes();
  if (fresh_.empty()) return;
  std::string text;
  if (skipped_ > 0) text = Sjis("... ") + std::to_string(skipped_) + Sjis(" 行省略\n");
  for (const Entry& e : fresh_) {
    if (e.note) {
      text += e.text;
    } else {
      AppendLine(text, e.text, e.length, e.message);
    }
    text += '\n';
  }
  text.pop_back();
  fresh_.clear();
  skipped_ = 0;
  if (pane_) pane_->appendPlainText(FromCp932(text));
}

}  // namespace qmt
