// The macro editor `Editor1`: a QScintilla text area under a column ruler,
// coloured for the macro language.  The text is Unicode inside the widget
// and crosses to the core as code page 932 lines.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <Qsci/qscilexercustom.h>

class QsciScintilla;

namespace qmt {

class MacroEditorAssist;

// Colours reserved words, comments, strings and numbers of the macro
// language.  Works on the UTF-8 bytes Scintilla stores.
class MacroLexer : public QsciLexerCustom {
  Q_OBJECT
 public:
  enum Style { Default = 0, Keyword = 1, LineComment = 2, BlockComment = 3, String = 4, Number = 5 };

  explicit MacroLexer(QObject* parent = nullptr);
  const char* language() const override { return "QMT macro"; }
  QString description(int style) const override;
  void styleText(int start, int end) override;

  // The reserved words coloured yellow (UTF-8); ASCII ones match in any case.
  static const std::vector<std::string>& ReservedWords();
  static bool IsReservedWord(const std::string& utf8);
};

// Draws column numbers and tick marks over the text area.
class ColumnRuler : public QWidget {
  Q_OBJECT
 public:
  explicit ColumnRuler(QsciScintilla* editor, QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QsciScintilla* editor_;
};

class MacroEditor : public QWidget {
  Q_OBJECT
 public:
  explicit MacroEditor(QWidget* parent = nullptr);

  QsciScintilla* Text() const { return text_; }
  MacroEditorAssist* Assist() const { return assist_; }

  // The lines as code page 932.  Returns false and names the first character
  // that code page 932 cannot hold (with its line) in `error`; nothing is
  // dropped or replaced.
  bool Lines(std::vector<std::string>& lines, std::string& error) const;
  // Replaces the text with code page 932 lines.  New text counts as saved
  // (it came from a file or from the macro in use); the same text again
  // leaves the editor as modified as it was.
  void SetLines(const std::vector<std::string>& lines);

  // Whether the text differs from what was last loaded, set or saved.
  bool Modified() const;
  // Takes the present text as the saved one.
  void MarkSaved() const;

  // File contents are code page 932, lines split at CR LF, CR or LF.
  // Raise FileError / EncodingError with a message naming the problem.
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path) const;

  // Inserts code page 932 text at the caret, replacing the selection.
  void InsertAtCaret(const std::string& cp932);
  bool EditorHasFocus() const;

  // Puts the caret on a line (0-based) and scrolls it into view.
  void GoToLine(int line);
  // Marks one line (the line of a run message), or none with -1.
  void MarkLine(int line);

  // Breakpoint markers in the margin (a click there, or ToggleBreakpoint).
  // They move with the text as it is edited and stay when SetLines puts in
  // new text (on the same line numbers).
  std::vector<int> BreakpointLines() const;
  void ToggleBreakpoint(int line);
  void SetBreakpointLines(const std::vector<int>& lines);
  // What a breakpoint asks for besides its line (UTF-8), which moves with
  // its marker: a condition (empty: always), a hit condition ("5", "%5",
  // ">5"; empty: every hit) and a log message (not empty: a log point).
  // Setting them on a line without a breakpoint adds the breakpoint; the
  // marker's look says which of them it has.
  struct BreakpointSettings {
    QString condition, hitCondition, logMessage;
    bool operator==(const BreakpointSettings&) const = default;
  };
  BreakpointSettings BreakpointOptions(int line) const;
  void SetBreakpointOptions(int line, const BreakpointSettings& settings);
  QString BreakpointCondition(int line) const { return BreakpointOptions(line).condition; }
  void SetBreakpointCondition(int line, const QString& condition);
  // What the marker's tooltip says: its settings, and the line `note`
  // gives (the count of hits).
  QString BreakpointTooltip(int line) const;
  std::function<QString(int line)> breakpointNote;
  // Shows whether the breakpoint on `line` is bound (a full marker) or not.
  void SetBreakpointVerified(int line, bool verified);
  int CaretLine() const;
  // Highlights the line where a held run stands, or none with -1.
  void ShowCurrentLine(int line);

  // The lines of the last compile, followed through later edits as the
  // breakpoint markers are.  Called when an image is loaded: with
  // `fromThisText` the present text is what was compiled; otherwise the
  // compiled lines are not in the editor at all.
  void FollowCompiledLines(bool fromThisText);
  // Where a compiled line stands now, -1 when the editor no longer holds
  // the compiled text.  Before any compile, the line itself.
  int LineOfCompiled(int compiledLine) const;
  // The compiled line a line of the present text came from, -1 for a line
  // written since the compile.
  int CompiledLineOf(int line) const;
  // Whether the text was edited since the compile.
  bool ChangedSinceCompile() const;

 signals:
  void breakpointsChanged();

 private:
  // Marker 1 is the run message's line.
  // kConditionMarker is drawn nowhere: its handle keeps a condition with
  // its line.
  // The kind markers are drawn over a breakpoint's circle.
  static constexpr int kBreakMarker = 2, kUnboundMarker = 3, kArrowMarker = 4, kCurrentMarker = 5,
                       kConditionMarker = 6, kCompiledMarker = 7, kConditionalKind = 8, kHitKind = 9,
                       kLogKind = 10;
  void ShowKind(int line);
  bool eventFilter(QObject* watched, QEvent* event) override;
  std::map<int, BreakpointSettings> conditions_;  // by the handle of a kConditionMarker
  // By compiled line, the handle of a kCompiledMarker; following_ false
  // before the first compile.
  std::vector<int> compiled_;
  bool following_ = false;
  QString compiledText_;
  QsciScintilla* text_;
  MacroEditorAssist* assist_ = nullptr;
  MacroLexer* lexer_;
  ColumnRuler* ruler_;
  int marker_ = -1;
  mutable QString savedText_;
};

}  // namespace qmt
