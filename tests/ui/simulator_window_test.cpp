// The simulator window and the sensor panel over a recording model.
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "device/bmp.h"
#include "device/qmt3308.h"
#include "host/simulator_fakes.h"
#include "support/encoding.h"
#include "ui/display_view.h"
#include "ui/main_window.h"
#include "ui/run_messages.h"
#include "ui/sensor_panel.h"

using namespace qmt;

namespace {

// A window over the fakes, with its own timer stopped so that ticks happen
// only when a test asks for them.
struct Harness {
  testing::SimFixture f;
  TQMT3308 device;
  TFDemo window{f.sim, device};
  TfSens sensors{f.sim};
  QStringList messages;

  Harness() {
    window.Timer1().stop();
    window.showMessage = [this](const QString& m) { messages << m; };
    for (const auto& s : kSwitches) f.macro.labels.insert(std::string("chg") + s.caption);
  }
};

QString Utf8(const std::string& cp932) { return QString::fromStdString(Cp932ToUtf8(cp932)); }

}  // namespace

class SimulatorWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void captionAndControls() {
    Harness h;
    QCOMPARE(h.window.windowTitle(), QString::fromUtf8("QMT3308 シミュレータ"));
    QCOMPARE(h.window.PaintBox1()->size(), QSize(640, 480));
    QSlider* rot = h.window.Track(Slider::Rot);
    QCOMPARE(rot->maximum(), 1000);
    QCOMPARE(rot->singleStep(), 2);
    QCOMPARE(h.window.Track(Slider::Pres)->singleStep(), 5);
    QVERIFY(h.window.CheckRun()->isChecked());
    QVERIFY(h.window.CheckTimer()->isChecked());
    QCOMPARE(h.window.CheckRun()->text(), QString::fromUtf8("実機テスト"));
  }

  void eachKeyRaisesItsLabel() {
    Harness h;
    for (int i = 0; i < static_cast<int>(kKeys.size()); ++i) {
      QPushButton* key = h.window.Key(i);
      QCOMPARE(key->text(), QString::fromUtf8(kKeys[i].caption));
      key->click();
      QCOMPARE(Utf8(h.f.runner.runs.back()), QString::fromUtf8(kKeys[i].label));
    }
    QCOMPARE(h.f.runner.runs.size(), kKeys.size());
  }

  void sliderMarksItsGaugeAndTheMatchingTickRaisesIt() {
    Harness h;
    h.window.CheckTimer()->click();  // no timer label in the way
    h.window.Track(Slider::Gang)->setValue(300);
    h.window.Track(Slider::Gang)->setValue(310);
    QCOMPARE(h.f.sim.GaugeDirty(), kGaugeGang);
    QCOMPARE(h.f.runner.ext[6], 310);
    for (int i = 0; i < 7; ++i) h.window.Timer1Timer();
    // Compound is the third gauge of the rotation: one event, on tick 2.
    QCOMPARE(h.f.runner.runs.size(), size_t(1));
    QCOMPARE(Utf8(h.f.runner.runs[0]), QString::fromUtf8("連成計"));
    QCOMPARE(h.f.runner.extAtRun[0][6], std::int16_t(310));
  }

  void firstTickAddsTheCounterSinceBootAndWrapsStayMended() {
    Harness h;
    std::uint64_t now = 7 * 65536 + 235;  // low 16 bits 235: 23 units
    h.window.millisecondCounter = [&] { return now; };
    h.window.Timer1Timer();
    for (int id = 0; id < 3; ++id) QCOMPARE(h.f.runner.ext[id], std::int16_t(23));
    now = 7 * 65536 + 65530;  // a long pause counts 50 at most
    h.window.Timer1Timer();
    QCOMPARE(h.f.runner.ext[0], std::int16_t(23 + 50));
    now = 8 * 65536 + 14;  // the 16-bit counter wrapped 20 ms later
    h.window.Timer1Timer();
    QCOMPARE(h.f.runner.ext[0], std::int16_t(23 + 50 + 2));
  }

  void timerOffZeroesDtimeAndRaisesNoTimerLabel() {
    Harness h;
    h.window.Timer1Timer();
    QCOMPARE(Utf8(h.f.runner.runs.back()), QString::fromUtf8("時間割込"));
    h.f.runner.runs.clear();
    h.window.CheckTimer()->click();
    QVERIFY(!h.f.sim.TimerEnabled());
    h.window.Timer1().start();
    QTRY_VERIFY_WITH_TIMEOUT(h.f.sim.TickCount() > 1, 30000);
    h.window.Timer1().stop();
    QVERIFY(h.f.runner.runs.empty());
    for (int id = 0; id < 3; ++id) QCOMPARE(h.f.runner.ext[id], std::int16_t(0));
  }

  void failingDeviceLineUnticksCheckRun() {
    Harness h;
    h.f.link.answers = false;
    h.f.sim.SendToDevice("DS0");
    QVERIFY(!h.window.CheckRun()->isChecked());
    QCOMPARE(h.window.CheckRun()->text(), QString::fromUtf8("未接続"));
    h.f.sim.SendToDevice("ER");
    QCOMPARE(h.f.link.sent.size(), size_t(1));
    h.window.CheckRun()->click();
    QVERIFY(h.f.sim.CheckRun());
    QCOMPARE(h.window.CheckRun()->text(), QString::fromUtf8("実機テスト"));
  }

  void sensorPanelLastClickWins() {
    Harness h;
    int pto = Simulator::SwitchByCaption("PTO"), sft1 = Simulator::SwitchByCaption("SFT1");
    h.sensors.Box(pto)->click();
    h.sensors.Box(sft1)->click();
    QVERIFY(h.f.runner.runs.empty());  // not inside the click
    QCOMPARE(h.sensors.PendingEvent(), std::string("chgSFT1"));
    QTRY_COMPARE(h.f.runner.runs.size(), size_t(1));
    QCOMPARE(h.f.runner.runs[0], std::string("chgSFT1"));
    QVERIFY(h.sensors.PendingEvent().empty());
    QTest::qWait(60);
    QCOMPARE(h.f.runner.runs.size(), size_t(1));
    // The boxes reach the cells at the next ReadInputs, SCW1 has none.
    QCOMPARE(h.f.runner.ext[14], std::int16_t(0));
    h.f.sim.ReadInputs();
    QCOMPARE(h.f.runner.ext[14], std::int16_t(1));
    QCOMPARE(h.f.runner.ext[25], std::int16_t(1));
    h.sensors.Box(Simulator::SwitchByCaption("SCW1"))->click();
    QTRY_COMPARE(h.f.runner.runs.back(), std::string("chgSCW1"));
  }

  void droppedFiles() {
    QTemporaryDir dir;
    auto write = [&](const char* name, const std::string& bytes) {
      QString path = dir.filePath(name);
      std::ofstream(path.toStdString(), std::ios::binary) << bytes;
      return path;
    };
    std::vector<std::uint8_t> page(640 * 480, 0xE0);
    QString bmp = write("red.BMP", EncodePageBmp(page.data()));
    QString txt = write("macro.txt", "onRUN:\r\nEXIT\r\n");
    QString other = write("readme.md", "x");
    QString bad = write("bad.jpeg", "garbage");

    Harness h;
    // Through the window's own drop handling: only the first file counts.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(bmp), QUrl::fromLocalFile(other), QUrl::fromLocalFile(txt)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&h.window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&h.window, &drop);
    QCOMPARE(h.f.display.page[640 * 480 - 1], std::uint8_t(0xE0));
    QCOMPARE(h.f.display.changes, 1);
    QVERIFY(h.messages.isEmpty());
    QCOMPARE(h.f.macro.compiles, 0);

    h.window.DropFiles({txt});
    QCOMPARE(h.f.macro.text, (std::vector<std::string>{"onRUN:", "EXIT"}));
    QCOMPARE(h.f.macro.compiles, 1);

    h.window.DropFiles({other});
    QCOMPARE(h.messages.size(), 1);
    QCOMPARE(h.messages[0], other + QString::fromUtf8("はサポートしていない"));

    h.window.DropFiles({bad});
    QCOMPARE(h.messages.size(), 2);
    QVERIFY(h.messages[1].contains("bad.jpeg"));
    QCOMPARE(h.f.display.changes, 1);

    // A folder is no file: refused by name, in the window's language.
    const QString folder = QFileInfo(bmp).path() + "/pictures.bmp";
    QVERIFY(QDir().mkpath(folder));
    h.window.DropFiles({folder});
    QCOMPARE(h.messages.size(), 3);
    QCOMPARE(h.messages[2], QString::fromUtf8("「%1」を読めません: フォルダです").arg(folder));
    QCOMPARE(h.f.display.changes, 1);
  }

  void displayViewFollowsTheDevice() {
    Harness h;
    DisplayView* view = h.window.PaintBox1();
    QCOMPARE(h.device.GetWindowSurface(), static_cast<WindowSurface*>(view));
    QVERIFY(h.device.ExecuteLine("DS1"));
    h.device.Page(1)[3 * 640 + 4] = 0x00;
    h.device.Page(1)[3 * 640 + 5] = 0x1C;
    QImage shown = view->grab().toImage();
    QCOMPARE(QColor(shown.pixel(5, 3)), QColor(0, 252, 0));
    // The tracer's band lies over the page and goes with a second draw.
    view->XorLine({0, 10}, {20, 10});
    QImage banded = view->grab().toImage();
    QVERIFY(banded.pixel(7, 10) != shown.pixel(7, 10));
    QCOMPARE(banded.pixel(7, 11), shown.pixel(7, 11));
    view->XorLine({0, 10}, {20, 10});
    QVERIFY(view->BandLines().isEmpty());
    QCOMPARE(view->grab().toImage().pixel(7, 10), shown.pixel(7, 10));
    view->SetZoom(3);
    QCOMPARE(view->size(), QSize(1920, 1440));
    QCOMPARE(view->ToDevice(QPoint(17, 11)), QPoint(5, 3));
    shown = view->grab().toImage();
    QCOMPARE(QColor(shown.pixel(17, 11)), QColor(0, 252, 0));
    QCOMPARE(QColor(shown.pixel(14, 11)), QColor(0, 0, 0));
  }

  void screenshotIsTheDisplayPageAsPng() {
    QTemporaryDir dir;
    Harness h;
    h.device.Page(0)[0] = 0xE0;
    QString path = dir.filePath("shot.png");
    h.window.SaveScreenshot(path);
    QImage shot(path);
    QCOMPARE(shot.size(), QSize(640, 480));
    QCOMPARE(QColor(shot.pixel(0, 0)), QColor(252, 0, 0));
    h.window.SaveScreenshot(dir.filePath("missing/dir/shot.png"));
    QCOMPARE(h.messages.size(), 1);  // the failure is reported, not swallowed
  }

  void runMessagesAreKept() {
    RunMessageWindow w;
    w.ShowRunMessage(Sjis("pc=412:無限ループ"));
    QCOMPARE(w.windowTitle(), QString::fromUtf8("pc=412:無限ループ"));
    QCOMPARE(w.List()->count(), 1);
  }
};

QTEST_MAIN(SimulatorWindowTest)
#include "simulator_window_test.moc"
