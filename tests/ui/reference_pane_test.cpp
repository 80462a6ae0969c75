// The built-in reference and F1 in the tool window.
#include <QDockWidget>
#include <QTemporaryDir>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextBrowser>
#include <QtTest>
#include <Qsci/qsciscintilla.h>

#include "device/commands.h"
#include "host/config_files.h"
#include "host/data_module.h"
#include "host/name_tables.h"
#include "support/encoding.h"
#include "ui/macro_editor.h"
#include "ui/reference_pane.h"
#include "ui/scr_tool.h"
#include "ui/scr_tool_binding.h"

using namespace qmt;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

class ReferencePaneTest : public QObject {
  Q_OBJECT
 private slots:
  void keyUnderCaret_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("key");
    const int word = static_cast<int>(ReferenceKey::Kind::Word);
    const int command = static_cast<int>(ReferenceKey::Kind::Command);
    const int none = static_cast<int>(ReferenceKey::Kind::None);
    QTest::newRow("start of a call") << "  box(1,2,3,4,5)" << 2 << word << "box";
    QTest::newRow("end of a word") << "  box(1,2,3,4,5)" << 5 << word << "box";
    QTest::newRow("keyword, any case") << "if x then exit" << 7 << word << "then";
    QTest::newRow("mnemonic in d") << "d(\"PA#,#,0\",x,y)" << 8 << command << "PA";
    QTest::newRow("spaced d call") << "D ( \"ER\" )" << 6 << command << "ER";
    QTest::newRow("after an escaped quote") << "d(\"GH'\\\"'\")" << 8 << command << "GH";
    QTest::newRow("string of another call") << "text(\"LA\",0,0,16)" << 7 << none << "";
    QTest::newRow("lower-case template") << "d(\"er\")" << 4 << none << "";
    QTest::newRow("after the string") << "d(\"ER\"):box(1)" << 9 << word << "box";
    QTest::newRow("comment") << "x=1 // box" << 8 << none << "";
    QTest::newRow("number") << "x=$200" << 4 << none << "";
    QTest::newRow("japanese label") << U("GOSUB 描画タンク") << 8 << word << U("描画タンク");
    QTest::newRow("blank") << "x = 1" << 2 << none << "";
  }
  void keyUnderCaret() {
    QFETCH(QString, line);
    QFETCH(int, column);
    QFETCH(int, kind);
    QFETCH(QString, key);
    const ReferenceKey found = ReferenceKeyAt(line, column);
    QCOMPARE(static_cast<int>(found.kind), kind);
    QCOMPARE(found.key, key);
  }

  // Every built-in, every device command and the keywords have an entry in
  // the reference the program carries.
  void everyNameHasAnEntry() {
    ReferenceIndex index;
    const NameTables tables;
    for (const std::string& name : tables.FuncLabel()) {
      QVERIFY2(!index.Entry({ReferenceKey::Kind::Word, QString::fromStdString(name)}).isEmpty(), name.c_str());
    }
    for (const CommandInfo& c : Commands()) {
      QVERIFY2(!index.Entry({ReferenceKey::Kind::Command, QString::fromLatin1(c.mnemonic)}).isEmpty(), c.mnemonic);
    }
    for (const char* word : {"GOTO", "GOSUB", "IF", "THEN", "EXIT", "RET", "DO", "WHILE", "AND", "OR", "XOR"}) {
      QVERIFY2(!index.Entry({ReferenceKey::Kind::Word, QString::fromLatin1(word)}).isEmpty(), word);
    }
    // Built-ins ignore case as the compiler does; GI the built-in and GI the
    // command are different entries.
    QCOMPARE(index.Entry({ReferenceKey::Kind::Word, "BOX"}), index.Entry({ReferenceKey::Kind::Word, "box"}));
    QVERIFY(index.Entry({ReferenceKey::Kind::Word, "GI"}) != index.Entry({ReferenceKey::Kind::Command, "GI"}));
    QVERIFY(index.Entry({ReferenceKey::Kind::Word, "nosuchword"}).isEmpty());
  }

  // The names the language page lists in tables have entries of their own:
  // external values, constants and event labels, whatever their script.
  void tableNamesHaveEntries() {
    ReferenceIndex index;
    for (const char* name : {"anPRES", "DTIME2", "PTO", "SFT3", "onRUN", "onGANG", "chgPTO"}) {
      const QString entry = index.Entry({ReferenceKey::Kind::Word, QString::fromUtf8(name)});
      QVERIFY2(entry.contains(QString::fromUtf8(name)), name);
    }
    QVERIFY(index.Entry({ReferenceKey::Kind::Word, "anpres"}).contains("0"));
    QVERIFY(index.Entry({ReferenceKey::Kind::Word, U("白")}).contains("$FF"));
    QVERIFY(index.Entry({ReferenceKey::Kind::Word, U("灰")}).contains("$6D"));
    QVERIFY(index.Entry({ReferenceKey::Kind::Word, U("圧力計")}).contains(U("スライダー")));
    QVERIFY(index.Entry({ReferenceKey::Kind::Word, U("時間割込")}).contains("33 ms"));
    // A name that is also a heading's keeps the heading's entry.
    QVERIFY(index.Entry({ReferenceKey::Kind::Word, "GOSUB"}).startsWith("### `GOTO`"));
  }

  // Links inside an entry lead to their entries, and the index is a list of
  // links; pictures stay pictures.
  void linksLeadToEntries() {
    ReferencePane pane;
    const auto anchors = [&pane] {
      QStringList out;
      QTextDocument* doc = pane.Browser()->document();
      for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
          if (it.fragment().charFormat().isAnchor()) out << it.fragment().charFormat().anchorHref();
      return out;
    };
    QVERIFY(pane.ShowEntry({ReferenceKey::Kind::Command, "GI"}));
    QVERIFY2(anchors().contains("qmt-word:GI"), qPrintable(anchors().join(' ')));
    emit pane.Browser()->anchorClicked(QUrl("qmt-word:GI"));
    QCOMPARE(pane.Shown(), QString("GI"));
    QVERIFY(pane.Browser()->toPlainText().contains(U("文字列")));
    QVERIFY2(anchors().contains("qmt-command:GI"), qPrintable(anchors().join(' ')));
    emit pane.Browser()->anchorClicked(QUrl("qmt-command:GI"));
    QVERIFY(pane.Browser()->toPlainText().contains(U("生の 32 バイト")));

    QVERIFY(!pane.ShowEntry({ReferenceKey::Kind::Word, "nosuchword"}));
    const QStringList index = anchors();
    QVERIFY(index.contains("qmt-word:needle"));
    QVERIFY(index.contains(U("qmt-word:圧力計")));
    QVERIFY(index.contains("qmt-command:LA"));
    emit pane.Browser()->anchorClicked(QUrl(U("qmt-word:圧力計")));
    QCOMPARE(pane.Shown(), U("圧力計"));

    // Japanese lines wrapped in the page join without a space.
    QVERIFY(pane.ShowEntry({ReferenceKey::Kind::Word, "num"}));
    QVERIFY2(pane.Browser()->toPlainText().contains(U("書きます。小数点 P が")), qPrintable(pane.Browser()->toPlainText()));

    const QString entry = ReferenceIndex().WithEntryLinks(
        "See [`box`](builtins.md), [`DS`](commands.md), [pages](language.md#名前) and ![a](examples/a.png).", false);
    QCOMPARE(entry, QString("See [`box`](qmt-word:box), [`DS`](qmt-command:DS), "
                            "[pages](qmt-page:language.md#名前) and ![a](examples/a.png)."));
  }

  // F1 in the macro editor and in the test script opens the entry in the
  // window's pane.
  void f1InTheToolWindow() {
    QTemporaryDir dir;
    ConfigFiles files;
    files.macroFile = dir.filePath("qmtsimMacro.txt").toStdString();
    files.colorFile = dir.filePath("qmtsimColor.txt").toStdString();
    TdmToolHost host(files);
    TfScrTool window(host);
    TDM dm(window);
    host.SetDataModule(&dm);
    window.resize(900, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!window.ReferenceDock->isVisible());

    QsciScintilla* ed = window.Editor1->Text();
    window.PageControl1->setCurrentWidget(window.TabMacro);
    ed->setText(U("GOTO 開始\r\n開始:\r\n  d(\"LA0,0,#,479,1\",639)\r\n  needle(100,100,0,80,$FC)\r\n"));
    ed->setFocus();
    ed->setCursorPosition(3, 4);
    QTest::keyClick(ed, Qt::Key_F1);
    QVERIFY(window.ReferenceDock->isVisible());
    QCOMPARE(window.ReferenceDock->Shown(), QString("needle"));
    QVERIFY(window.ReferenceDock->Browser()->toPlainText().contains("needle"));

    ed->setCursorPosition(2, 8);
    QTest::keyClick(ed, Qt::Key_F1);
    QCOMPARE(window.ReferenceDock->Shown(), QString("LA"));

    // A Japanese label before the caret: the column counts characters.
    ed->setCursorPosition(0, 6);
    QTest::keyClick(ed, Qt::Key_F1);
    QCOMPARE(window.ReferenceDock->Shown(), QString());
    QVERIFY(window.ReferenceDock->Browser()->toPlainText().contains(U("開始")));

    window.PageControl1->setCurrentWidget(window.TabView);
    window.Memo1->setPlainText("x = MulDiv(1,2,3)");
    window.Memo1->setFocus();
    QTextCursor cursor = window.Memo1->textCursor();
    cursor.setPosition(6);
    window.Memo1->setTextCursor(cursor);
    QTest::keyClick(window.Memo1, Qt::Key_F1);
    QCOMPARE(window.ReferenceDock->Shown(), QString("MulDiv"));

    // The command lines beside it: the line's mnemonic.
    window.Memo2->setPlainText("TA10,10,20,20,1,R\nGI%00");
    window.Memo2->setFocus();
    cursor = window.Memo2->textCursor();
    cursor.setPosition(8);
    window.Memo2->setTextCursor(cursor);
    QTest::keyClick(window.Memo2, Qt::Key_F1);
    QCOMPARE(window.ReferenceDock->Shown(), QString("TA"));
    cursor.movePosition(QTextCursor::End);
    window.Memo2->setTextCursor(cursor);
    QTest::keyClick(window.Memo2, Qt::Key_F1);
    QCOMPARE(window.ReferenceDock->Shown(), QString("GI"));
    QVERIFY(window.ReferenceDock->Browser()->toPlainText().contains("32"));
  }
};

QTEST_MAIN(ReferencePaneTest)
#include "reference_pane_test.moc"
