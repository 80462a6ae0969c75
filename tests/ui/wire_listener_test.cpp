// The window's side of the device on the wire: lines from a TCP client run on
// the window's device, the view hears of them once per frame however many
// arrive, and the log keeps only its last lines.
#include <QDockWidget>
#include <QPlainTextEdit>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "device/qmt3308.h"
#include "support/encoding.h"
#include "ui/wire_listener.h"

using namespace qmt;

namespace {

struct CountingView : WindowSurface {
  int areas = 0, pages = 0;
  void AreaChanged(int, int, int, int) override { ++areas; }
  void PageChanged() override { ++pages; }
};

int Connect(const std::string& address) {
  int port = std::stoi(address.substr(address.rfind(':') + 1));
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : -1;
}

}  // namespace

class WireListenerTest : public QObject {
  Q_OBJECT
 private slots:
  void floodIsShownOncePerFrameAndTheLogIsBounded() {
    TQMT3308 device;
    CountingView view;
    device.SetWindowSurface(&view);
    std::string error;
    auto server = StreamServer::Listen("tcp:0", error);
    QVERIFY2(server, error.c_str());
    WireListener listener(std::move(server), device, false);
    int client = Connect(listener.Address());
    QVERIFY(client >= 0);

    // 20,000 rectangles, each a change on the display page, and one bad line.
    std::string lines = "CS1C\rDS9\r";
    for (int i = 0; i < 20000; ++i) lines += "TA" + std::to_string(i % 600) + ",10,630,470,1\r";
    QCOMPARE(::write(client, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    ::close(client);
    int polls = 0;
    QElapsedTimer t;
    t.start();
    // Until the client's close is read too; generous for a loaded machine.
    while ((listener.Wire().Lines() < 20002 || listener.Server().ClientsServed() < 1) && t.elapsed() < 60000) {
      listener.PollNow();
      ++polls;
    }
    listener.PollNow();
    ++polls;
    QCOMPARE(listener.Wire().Lines(), std::size_t{20002});
    QCOMPARE(listener.Wire().Errors(), std::size_t{1});
    QCOMPARE(device.Page(0)[640 * 240 + 620], std::uint8_t{0x1C});
    QVERIFY2(view.areas <= polls, qPrintable(QString("%1 repaints for %2 frames").arg(view.areas).arg(polls)));
    QVERIFY(view.areas >= 1);
    QCOMPARE(device.GetWindowSurface(), static_cast<WindowSurface*>(&view));

    const QString log = listener.LogPane()->toPlainText();
    QVERIFY(listener.LogPane()->blockCount() <= WireListener::kLogLines);
    QVERIFY(log.contains(QString::fromUtf8("切断: 127.0.0.1:")));
    QVERIFY(log.contains("TA599,10,630,470,1"));
    QCOMPARE(listener.LogDock()->windowTitle(), QString::fromUtf8("受信ログ"));
  }

  void errorsAreLoggedWithTheDeviceMessage() {
    TQMT3308 device;
    std::string error;
    auto server = StreamServer::Listen("tcp:0", error);
    WireListener listener(std::move(server), device, false);
    int client = Connect(listener.Address());
    std::string lines = "DS9\r";
    QCOMPARE(::write(client, lines.data(), lines.size()), ssize_t{4});
    // The window's own timer serves the line; the log shows it at a frame.
    QTRY_VERIFY_WITH_TIMEOUT(listener.LogPane()->toPlainText().contains(QString::fromUtf8("DS9  → 3より大きい")),
                             30000);
    ::close(client);
  }
};

QTEST_MAIN(WireListenerTest)
#include "wire_listener_test.moc"
