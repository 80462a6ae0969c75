// The tool window's editor text kept aside against a crash and offered at
// the next start; saves that fail for want of space.
#include <QTemporaryDir>
#include <QtTest>
#include <Qsci/qsciscintilla.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <memory>

#include "host/config_files.h"
#include "host/editor_recovery.h"
#include "support/file_io.h"
#include "ui/macro_editor.h"
#include "ui/scr_tool.h"
#include "ui/scr_tool_binding.h"

using namespace qmt;

namespace {

// A tool window over a macro file in a scratch folder, as one run of the
// program makes it; several in a row stand for a crash and a restart.
struct Run {
  explicit Run(const QTemporaryDir& dir) : host(Files(dir)), tool(host) {
    tool.errorBox = [this](const QString& m) { errors << m; };
    tool.recoveryPrompt = [this](const QString&) {
      ++prompts;
      return acceptRestore;
    };
    tool.SetEditorLines(ReadListFile(host.MacroFilePath()));
    tool.EnableRecovery(RecoveryPath(dir), 20);
  }
  static ConfigFiles Files(const QTemporaryDir& dir) {
    ConfigFiles f;
    f.macroFile = dir.filePath("qmtsimMacro.txt").toStdString();
    f.colorFile = dir.filePath("qmtsimColor.txt").toStdString();
    return f;
  }
  static std::string RecoveryPath(const QTemporaryDir& dir) {
    return RecoveryFilePath(Files(dir).macroFile, dir.filePath("config").toStdString());
  }
  void Type(const char* text) {
    QsciScintilla* t = tool.Editor1->Text();
    t->setCursorPosition(t->lines() - 1, 0);
    t->insert(QString::fromUtf8(text));
  }
  TdmToolHost host;
  TfScrTool tool;
  QStringList errors;
  int prompts = 0;
  bool acceptRestore = true;
};

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace

class EditorRecoveryTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    dir = std::make_unique<QTemporaryDir>();
    WriteFileAtomic(Run::Files(*dir).macroFile, "GOTO INIT\r\nINIT:\r\nEXIT\r\n");
  }

  void modifiedTextSurvivesACrashAndIsOfferedBack() {
    const std::string aside = Run::RecoveryPath(*dir);
    QString typed;
    {
      Run first(*dir);
      QTest::qWait(60);
      QVERIFY2(!Exists(aside), "unmodified text is not kept aside");
      first.Type("x = 1 // 編集中\n");
      typed = first.tool.Editor1->Text()->text();
      QTRY_VERIFY(Exists(aside));
      QCOMPARE(QString::fromStdString(ReadFile(aside)), typed);
      // The window goes away without a clean exit of the program, as in a
      // crash: the text stays aside.
    }
    QVERIFY(Exists(aside));

    Run second(*dir);
    QVERIFY(second.tool.OfferRecovery());
    QCOMPARE(second.prompts, 1);
    QCOMPARE(second.tool.Editor1->Text()->text(), typed);
    QVERIFY2(second.tool.Editor1->Modified(), "restored text is not saved yet");
    QCOMPARE(second.tool.PageControl1->currentWidget(), second.tool.TabMacro);
    QCOMPARE(ReadFile(Run::Files(*dir).macroFile), std::string("GOTO INIT\r\nINIT:\r\nEXIT\r\n"));
    QVERIFY(Exists(aside));

    // Saving ends it: the file is written and the aside copy removed.
    second.tool.Save1Click();
    QVERIFY(second.errors.isEmpty());
    QVERIFY(!Exists(aside));
    QVERIFY(ReadFile(Run::Files(*dir).macroFile).find("x = 1") != std::string::npos);
    QTest::qWait(60);
    QVERIFY(!Exists(aside));
    QVERIFY(!second.tool.OfferRecovery());
  }

  void declinedOrStaleTextIsRemoved() {
    const std::string aside = Run::RecoveryPath(*dir);
    {
      Run first(*dir);
      first.Type("y = 2\n");
      QTRY_VERIFY(Exists(aside));
    }
    {
      Run second(*dir);
      second.acceptRestore = false;
      QVERIFY(!second.tool.OfferRecovery());
      QCOMPARE(second.prompts, 1);
      QVERIFY(!Exists(aside));
      QVERIFY(!second.tool.Editor1->Modified());
    }
    // Text that is already what the editor shows is not offered.
    {
      Run first(*dir);
      first.Type("z = 3\n");
      QTRY_VERIFY(Exists(aside));
      first.tool.Save1Click();
    }
    Run third(*dir);
    WriteFileAtomic(aside, third.tool.Editor1->Text()->text().toStdString());
    QVERIFY(!third.tool.OfferRecovery());
    QCOMPARE(third.prompts, 0);
    QVERIFY(!Exists(aside));
  }

  void compilingTheSameTextKeepsItUnsaved() {
    // The simulator puts the macro it compiles in the editor; when that is
    // the editor's own unsaved text it must stay kept aside.
    Run run(*dir);
    run.Type("w = 4\n");
    std::vector<std::string> lines;
    std::string error;
    QVERIFY(run.tool.EditorLines(lines, error));
    run.tool.SetEditorLines(lines);
    QVERIFY(run.tool.Editor1->Modified());
    // Text from elsewhere (a file loaded) counts as saved.
    run.tool.SetEditorLines({"EXIT"});
    QVERIFY(!run.tool.Editor1->Modified());
  }

  void saveOnAFullDiskFailsWithAMessageAndKeepsBoth() {
    const std::string macroFile = Run::Files(*dir).macroFile;
    const std::string old = ReadFile(macroFile);
    Run run(*dir);
    std::string big(200000, ' ');
    run.Type(("x = 1" + big + "\n").c_str());
    QTRY_VERIFY(Exists(Run::RecoveryPath(*dir)));
    // Writes past 64 KiB fail part way, as on a file system that is full.
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{65536, saved.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    run.tool.Save1Click();
    setrlimit(RLIMIT_FSIZE, &saved);
    QCOMPARE(run.errors.size(), 1);
    QVERIFY2(run.errors[0].contains(QString::fromStdString(macroFile)), qPrintable(run.errors[0]));
    QCOMPARE(ReadFile(macroFile), old);
    QVERIFY(run.tool.Editor1->Modified());
    QVERIFY(Exists(Run::RecoveryPath(*dir)));
  }

  // Last: it ends the application's event loop once.
  void aNormalExitRemovesTheTextKeptAside() {
    Run run(*dir);
    run.Type("v = 5\n");
    QTRY_VERIFY(Exists(Run::RecoveryPath(*dir)));
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    QVERIFY(!Exists(Run::RecoveryPath(*dir)));
  }

 private:
  std::unique_ptr<QTemporaryDir> dir;
};

QTEST_MAIN(EditorRecoveryTest)
#include "editor_recovery_test.moc"
