// The simulator program as start-up puts it together: its files, the line
// tracer's band, zoom and Qt's own texts.
#include <QDir>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>
#include <filesystem>

#include "device/qmt3308.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "ui/display_view.h"
#include "ui/macro_editor.h"
#include "ui/simulator_app.h"

using namespace qmt;

namespace {

namespace fs = std::filesystem;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
QString Caption(const TfScrTool& tool) { return QString::fromStdString(Cp932ToUtf8(tool.Message())); }

// A program folder and a configuration folder in a temporary directory.
struct Folders {
  QTemporaryDir temp;
  std::string bin = temp.path().toStdString() + "/bin";
  std::string config = temp.path().toStdString() + "/config/qmt3308";
  std::string exe = bin + "/qmtsim";
  Folders() { fs::create_directories(bin); }
  ConfigFiles Files(bool folderWritable) const { return ChooseConfigFiles(exe, "", folderWritable, config); }
};

}  // namespace

class SimulatorAppTest : public QObject {
  Q_OBJECT
 private slots:
  void bandShowsInCyanDuringADrag() {
    Folders f;
    SimulatorApp app(f.Files(true), {"", "none"});
    app.Window().Timer1().stop();
    app.Window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&app.Window()));
    app.Window().Timer1().stop();
    DisplayView& view = *app.Window().PaintBox1();
    const QImage page = view.PageImage().convertToFormat(QImage::Format_RGB32);
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(100, 200));
    QMouseEvent move(QEvent::MouseMove, QPointF(300, 200), QPointF(300, 200), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&view, &move);
    const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // Exclusive-or with cyan: every pixel under the band changes, by cyan.
    for (int x = 110; x <= 290; x += 20) {
      const QRgb under = page.pixel(x, 200), seen = shown.pixel(x, 200);
      QCOMPARE(seen & 0xFFFFFF, (under ^ 0x00FFFF) & 0xFFFFFF);
    }
    QCOMPARE(shown.pixel(50, 50) & 0xFFFFFF, page.pixel(50, 50) & 0xFFFFFF);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(300, 200));
  }

  void zoomKeepsTheWindowOnTheScreen() {
    Folders f;
    SimulatorApp app(f.Files(true), {"", "none"});
    TFDemo& w = app.Window();
    w.Timer1().stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QSize room = w.screen()->availableGeometry().size();
    w.SetZoom(1);  // once the window frame is known
    const QSize first = w.size();
    for (int zoom : {2, 3, 1}) {
      w.SetZoom(zoom);
      const QSize outer = w.frameGeometry().size();
      QVERIFY2(outer.width() <= room.width() && outer.height() <= room.height(),
               qPrintable(QString("%1x: %2x%3").arg(zoom).arg(outer.width()).arg(outer.height())));
      QCOMPARE(w.PaintBox1()->size(), QSize(640, 480) * zoom);
      if (zoom == 3) {
        // The page is larger than any room left: the display scrolls.
        QVERIFY(w.DisplayArea()->horizontalScrollBar()->maximum() > 0);
        QVERIFY(w.DisplayArea()->verticalScrollBar()->maximum() > 0);
      }
    }
    QCOMPARE(w.size(), first);  // back to 1x, the window shrinks again
  }

  void shippedFilesUntilSavedAndTheFilesInUseSaidQuietly() {
    Folders f;
    WriteListFile(f.bin + "/qmtsimMacro.txt", {"GOTO S", "S:", "EXIT"});
    {
      SimulatorApp app(f.Files(false), {"", "none"});
      QCOMPARE(app.DataModule().Macro.Items().Strings(), (std::vector<std::string>{"GOTO S", "S:", "EXIT"}));
      QVERIFY(!app.Tool().isVisible());  // said on the message line, not by popping up
      QVERIFY(Caption(app.Tool()).contains(QString::fromStdString(f.bin + "/qmtsimMacro.txt")));
      QVERIFY(Caption(app.Tool()).contains(QString::fromStdString(f.config)));
      app.Tool().SetEditorLines({"GOTO T", "T:", "EXIT"});
      std::vector<std::string> errors;
      app.Tool().errorBox = [&](const QString& m) { errors.push_back(m.toStdString()); };
      app.Tool().Save1Click();  // the configuration folder does not exist yet
      QCOMPARE(errors, std::vector<std::string>{});
    }
    QCOMPARE(ReadFile(f.config + "/qmtsimMacro.txt"), std::string("GOTO T\r\nT:\r\nEXIT\r\n"));
    QVERIFY(fs::exists(f.config + "/qmtsimColor.txt"));
    SimulatorApp again(f.Files(false), {"", "none"});
    QCOMPARE(again.DataModule().Macro.Items().Strings(), (std::vector<std::string>{"GOTO T", "T:", "EXIT"}));
    QVERIFY(Caption(again.Tool()).contains(QString::fromStdString(f.config + "/qmtsimMacro.txt")));
  }

  void installedProgramSaysWhereItsFilesAreAtItsFirstStartOnly() {
    Folders f;
    // A writable program folder: installed, the files still go to the
    // configuration folder, and the reason given is the installation.
    SimulatorApp first(ChooseConfigFiles(f.exe, "", true, f.config, true, false), {"", "none"});
    const QString caption = Caption(first.Tool());
    QVERIFY2(caption.contains(QString::fromStdString(f.config)), qPrintable(caption));
    QVERIFY2(caption.contains(U("インストール")), qPrintable(caption));
    QVERIFY2(!caption.contains(U("書き込めない")), qPrintable(caption));
    QVERIFY(!first.Tool().isVisible());

    SimulatorApp later(ChooseConfigFiles(f.exe, "", true, f.config, true, true), {"", "none"});
    QVERIFY2(!Caption(later.Tool()).contains(QString::fromStdString(f.config)), qPrintable(Caption(later.Tool())));
  }

  // What the window says at start about a macro or colour file it cannot
  // use, word for word: the program goes on with the built-in one.  A
  // --macro file that is not there yet is where the first save goes: said
  // on the message line without bringing the tool window up.
  void startMessagesAboutTheMacroAndColourFiles() {
    Folders f;
    const std::string missing = f.bin + "/new.txt", folder = f.bin + "/folder.txt";
    fs::create_directories(folder);
    const struct {
      const char* name;
      std::string named;     // --macro
      std::string folderAt;  // a folder made where the program finds a file
      std::string linkAt;    // a link to nothing made there
      QString caption;
      bool toolShown;
    } cases[] = {
        {"named missing", missing, "", "", QString::fromStdString(missing) +
             U(" はまだありません。組み込みのマクロで動き、保存するとこのファイルに書き込みます"), false},
        {"named folder", folder, "", "",
         U("「") + QString::fromStdString(folder) + U("」を読めません: フォルダです。組み込みのマクロを使います"), true},
        {"found folder", "", f.bin + "/qmtsimMacro.txt", "",
         U("「") + QString::fromStdString(f.bin) + U("/qmtsimMacro.txt」を読めません: フォルダです。組み込みのマクロを使います"),
         true},
        {"found link to nothing", "", "", f.bin + "/qmtsimMacro.txt",
         U("「") + QString::fromStdString(f.bin) +
             U("/qmtsimMacro.txt」を読めません: ファイルがありません。組み込みのマクロを使います"),
         true},
        {"colour folder", "", f.bin + "/qmtsimColor.txt", "",
         U("「") + QString::fromStdString(f.bin) +
             U("/qmtsimColor.txt」を読めません: フォルダです。組み込みの色の一覧を使います"),
         true},
    };
    std::vector<std::string> builtIn;
    {
      SimulatorApp plain(f.Files(true), {"", "none"});
      builtIn = plain.DataModule().Macro.Items().Strings();
    }
    for (const auto& c : cases) {
      if (!c.folderAt.empty()) fs::create_directories(c.folderAt);
      if (!c.linkAt.empty()) fs::create_symlink(f.bin + "/nothing.txt", c.linkAt);
      {
        SimulatorApp app(ChooseConfigFiles(f.exe, c.named, true, f.config), {c.named, "none"});
        QVERIFY2(Caption(app.Tool()) == c.caption, qPrintable(QString(c.name) + ": " + Caption(app.Tool())));
        QVERIFY2(app.Tool().isVisible() == c.toolShown, c.name);
        QVERIFY2(app.DataModule().Macro.Items().Strings() == builtIn, c.name);
        std::string value;
        QVERIFY(app.Tool().ColourValue(Sjis("色全背景"), value));
        QCOMPARE(value, std::string("$00"));
      }
      fs::remove_all(c.folderAt.empty() ? c.linkAt : c.folderAt);
    }
  }

  void failedOpenIsReportedOnTheMessageLine() {
    Folders f;
    const QString oldDir = QDir::currentPath();
    const QByteArray oldPath = qgetenv("PATH");
    QDir::setCurrent(QString::fromStdString(f.bin));
    SimulatorApp app(f.Files(true), {"", "none"});
    // An xdg-open that finds no program for the file, then none at all.
    WriteFileAtomic(f.bin + "/xdg-open", "#!/bin/sh\nexit 3\n");
    fs::permissions(f.bin + "/xdg-open", fs::perms::owner_all);
    qputenv("PATH", QByteArray::fromStdString(f.bin));
    app.Tool().PCODElist1Click();
    QTRY_VERIFY(Caption(app.Tool()).contains(U("開くプログラムが見つかりません")));
    QVERIFY(Caption(app.Tool()).contains("PCODEL.txt"));
    fs::remove(f.bin + "/xdg-open");
    app.Tool().SetMessage("");
    app.Tool().N2Click();  // the other editor
    QTRY_VERIFY(Caption(app.Tool()).contains(U("xdg-open がありません")));
    qputenv("PATH", oldPath);
    QDir::setCurrent(oldDir);
  }

  // A port that cannot be used: the program runs without the device and
  // says why in Japanese on the tool window's message line.
  void badPortIsReportedInJapanese() {
    Folders f;
    const struct {
      const char* port;
      const char* text;
    } cases[] = {
        {"lp:/nonexistent/lp0",
         "ポート lp:/nonexistent/lp0 を使えません: 「/nonexistent/lp0」を開けません: ファイルがありません。"
         "装置なしで動きます"},
        {"serial", "ポート「serial」は指定できません"},
    };
    for (const auto& c : cases) {
      SimulatorApp app(f.Files(true), {"", c.port});
      const QString caption = Caption(app.Tool());
      QVERIFY2(caption.startsWith(U(c.text)), qPrintable(caption));
      QVERIFY2(!caption.contains("running without"), qPrintable(caption));
      QVERIFY(app.Tool().isVisible());
    }
  }

  void qtDialogsAndTheProgramsOwnMenusAreJapanese() {
    QVERIFY(InstallJapaneseTranslation(*qApp));
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), U("キャンセル"));
    Folders f;
    SimulatorApp app(f.Files(true), {"", "none"});
    for (QAction* menu : app.Window().menuBar()->actions()) {
      QStringList texts{menu->text()};
      for (QAction* a : menu->menu()->actions())
        if (!a->isSeparator()) texts << a->text();
      for (const QString& t : texts) {
        bool japanese = false;
        for (QChar c : t) japanese = japanese || c.unicode() >= 0x3000;
        QVERIFY2(japanese, qPrintable(t));
      }
    }
    QCOMPARE(app.Tool().TraceDock->windowTitle(), U("トレース"));
  }
};

QTEST_MAIN(SimulatorAppTest)
#include "simulator_app_test.moc"
