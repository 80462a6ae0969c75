// What the simulator window keeps between starts, its File and Help menus.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "device/qmt3308.h"
#include "host/simulator_fakes.h"
#include "support/version.h"
#include "ui/about_box.h"
#include "ui/display_view.h"
#include "ui/main_window.h"
#include "ui/window_settings.h"

using namespace qmt;

namespace {

struct Harness {
  testing::SimFixture f;
  TQMT3308 device;
  TFDemo window{f.sim, device};

  Harness() { window.Timer1().stop(); }
};

QStringList MenuTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* a : menu->actions()) texts << a->text();
  return texts;
}

}  // namespace

class WindowSettingsTest : public QObject {
  Q_OBJECT
 private slots:
  void geometryAndZoomComeBack() {
    QTemporaryDir dir;
    QSettings store(dir.filePath("qmtsim.conf"), QSettings::IniFormat);
    QSize savedSize;
    {
      Harness h;
      WindowSettings settings(store);
      h.window.findChild<QAction*>("actionZoom2")->trigger();
      h.window.resize(h.window.size() + QSize(37, 11));
      savedSize = h.window.size();
      settings.SaveOnClose(h.window);
      h.window.show();
      h.window.close();
    }
    Harness h;
    WindowSettings settings(store);
    settings.Restore(h.window);
    QCOMPARE(h.window.PaintBox1()->Zoom(), 2);
    QVERIFY(h.window.findChild<QAction*>("actionZoom2")->isChecked());
    QVERIFY(!h.window.findChild<QAction*>("actionZoom1")->isChecked());
    QCOMPARE(h.window.size(), savedSize);

    // A value that is not a zoom leaves the window at 1x.
    store.setValue("window/zoom", 7);
    Harness other;
    settings.Restore(other.window);
    QCOMPARE(other.window.PaintBox1()->Zoom(), 1);
  }

  void recentFilesNewestFirstWithoutRepeats() {
    QTemporaryDir dir;
    QSettings store(dir.filePath("qmtsim.conf"), QSettings::IniFormat);
    WindowSettings settings(store);
    QCOMPARE(settings.RecentFiles(), QStringList());
    settings.AddRecentFile("/a/one.txt");
    settings.AddRecentFile("/a/two.bmp");
    settings.AddRecentFile("/a/one.txt");
    QCOMPARE(settings.RecentFiles(), (QStringList{"/a/one.txt", "/a/two.bmp"}));
    for (int i = 0; i < 10; ++i) settings.AddRecentFile(QString("/b/%1.txt").arg(i));
    QCOMPARE(settings.RecentFiles().size(), WindowSettings::kRecentFiles);
    QCOMPARE(settings.RecentFiles().first(), QString("/b/9.txt"));
    // A relative name is kept as the absolute path it meant.
    settings.AddRecentFile("rel.txt");
    QCOMPARE(settings.RecentFiles().first(), QDir::current().absoluteFilePath("rel.txt"));
  }

  void recentMenuOpensTheFileAgain() {
    QTemporaryDir dir;
    QSettings store(dir.filePath("qmtsim.conf"), QSettings::IniFormat);
    const QString macro = dir.filePath("pumpMacro.txt");
    std::ofstream(macro.toStdString(), std::ios::binary) << "onRUN:\r\nEXIT\r\n";

    Harness h;
    WindowSettings settings(store);
    settings.AddFileMenu(h.window);
    h.window.fileOpened = [&settings](const QString& path) { settings.AddRecentFile(path); };
    QCOMPARE(h.window.menuBar()->actions().first()->text(), QString::fromUtf8("ファイル(&F)"));
    auto* recent = h.window.findChild<QMenu*>("menuRecentFiles");
    QVERIFY(recent);
    QCOMPARE(MenuTexts(recent), QStringList{QString::fromUtf8("(なし)")});

    h.window.DropFiles({macro});
    QCOMPARE(h.f.macro.compiles, 1);
    emit recent->aboutToShow();
    QCOMPARE(MenuTexts(recent), QStringList{"&1 " + macro});
    recent->actions().first()->trigger();
    QCOMPARE(h.f.macro.compiles, 2);
    QCOMPARE(h.f.macro.text, (std::vector<std::string>{"onRUN:", "EXIT"}));
  }

  void aboutBoxNamesVersionAndLicences() {
    Harness h;
    AddHelpMenu(h.window);
    QVERIFY(h.window.findChild<QAction*>("actionAbout"));
    QVERIFY(h.window.findChild<QAction*>("actionManual"));
    const QString text = AboutText();
    QVERIFY(text.contains(QString::fromUtf8(ProgramVersion())));
    for (const char* name : {"Qt", "QScintilla", "FreeType", "Fontconfig", "libpng", "libjpeg-turbo"})
      QVERIFY2(text.contains(name), name);
    for (const char* licence : {"LGPL v3", "GPL v3", "FreeType License", "PNG Reference Library License"})
      QVERIFY2(text.contains(licence), licence);
  }

  // The manual is found where a source install, the build tree and the
  // package put it, in that order, and not elsewhere.
  void manualIsFoundWhereItIsInstalledOrBuilt() {
    QTemporaryDir dir;
    const QString root = dir.path();
    const auto touch = [](const QString& path) {
      QDir().mkpath(QFileInfo(path).path());
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly));
    };
    QDir().mkpath(root + "/prefix/bin");
    QDir().mkpath(root + "/build/apps/qmtsim");
    QCOMPARE(ManualIndex(root + "/prefix/bin", root + "/nowhere"), QString());

    touch(root + "/system/html/index.html");
    QCOMPARE(ManualIndex(root + "/prefix/bin", root + "/system"), root + "/system/html/index.html");

    touch(root + "/build/manual-html/index.html");
    QCOMPARE(ManualIndex(root + "/build/apps/qmtsim", root + "/system"), root + "/build/manual-html/index.html");

    touch(root + "/prefix/share/doc/qmt3308/html/index.html");
    QCOMPARE(ManualIndex(root + "/prefix/bin", root + "/system"), root + "/prefix/share/doc/qmt3308/html/index.html");
  }
};

QTEST_MAIN(WindowSettingsTest)
#include "window_settings_test.moc"
