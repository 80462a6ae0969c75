// The tool window's editor helped by the language engine: completion,
// calltips and hover, with kanji before the caret.
#include <QtTest>
#include <Qsci/qsciscintilla.h>

#include "ui/macro_editor.h"
#include "ui/macro_editor_assist.h"
#include "support/encoding.h"

using namespace qmt;

class MacroEditorAssistTest : public QObject {
  Q_OBJECT
 private slots:
  void completionCalltipAndHover() {
    MacroEditor editor;
    QsciScintilla* text = editor.Text();
    auto* assist = text->findChild<MacroEditorAssist*>();
    QVERIFY(assist);
    text->setText(QString::fromUtf8("start:\r\n  漢 = 1\r\n  漢 = bo\r\n  box(10, 漢\r\n"));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));

    // Completion after "bo": the list offers box.
    text->setCursorPosition(2, static_cast<int>(QString::fromUtf8("  漢 = bo").toUtf8().size()));
    assist->Complete();
    QVERIFY(text->isListActive());
    text->SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);

    // Calltip inside box(10, : the second parameter.
    text->setCursorPosition(3, text->text(3).toUtf8().size() - 2);
    assist->ShowCalltip();
    QVERIFY(text->SendScintilla(QsciScintillaBase::SCI_CALLTIPACTIVE) != 0);

    // Hover on box, and on the variable after a kanji.
    const int boxAt = static_cast<int>(text->positionFromLineIndex(3, 3));
    QVERIFY(assist->HoverText(boxAt).contains(QString::fromUtf8("四角")));
    const int varAt = static_cast<int>(text->positionFromLineIndex(3, static_cast<int>(QString::fromUtf8("  box(10, ").toUtf8().size())));
    QCOMPARE(assist->HoverText(varAt), QString::fromUtf8("変数 `漢`"));
  }

  void coloursAreTheToolWindowsList() {
    // A colour the user added on the colour page is a constant to the
    // compiler; the editor's hover knows it as well, with its value.
    MacroEditor editor;
    QsciScintilla* text = editor.Text();
    text->setText(QString::fromUtf8("start:\r\n  x = 桃色\r\n"));
    const int at = static_cast<int>(text->positionFromLineIndex(1, static_cast<int>(QString::fromUtf8("  x = ").toUtf8().size())));
    QVERIFY(!editor.Assist()->HoverText(at).contains(QString::fromUtf8("= 200")));
    editor.Assist()->SetColorList({Utf8ToCp932("桃色=$C8")});
    QCOMPARE(editor.Assist()->HoverText(at), QString::fromUtf8("定数 `桃色` = 200 (0xC8)"));
  }
};

QTEST_MAIN(MacroEditorAssistTest)
#include "macro_editor_assist_test.moc"
