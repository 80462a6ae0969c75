#include "ui/macro_editor.h"
#include "ui/macro_editor_assist.h"

#include <QFontDatabase>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <Qsci/qsciscintilla.h>

#include <algorithm>
#include <cctype>

#include "host/macro_compile.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "ui/cp932_text.h"

namespace qmt {

namespace {

bool IsWordByte(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

const QColor kYellow(255, 255, 0), kAqua(0, 255, 255), kLime(0, 255, 0), kWhite(255, 255, 255),
    kBlack(0, 0, 0);

QFont FixedFont() {
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setPointSize(11);
  f.setFixedPitch(true);
  return f;
}

}  // namespace

// ---------------------------------------------------------------------------

MacroLexer::MacroLexer(QObject* parent) : QsciLexerCustom(parent) {
  setDefaultPaper(kBlack);
  setDefaultColor(kWhite);
  setDefaultFont(FixedFont());
  for (int s = Default; s <= Number; ++s) {
    setPaper(kBlack, s);
    setFont(FixedFont(), s);
  }
  setColor(kWhite, Default);
  setColor(kYellow, Keyword);
  setColor(kAqua, LineComment);
  setColor(kAqua, BlockComment);
  setColor(kLime, String);
  setColor(kWhite, Number);
}

QString MacroLexer::description(int style) const {
  switch (style) {
    case Default: return "Default";
    case Keyword: return "Reserved word";
    case LineComment: return "Line comment";
    case BlockComment: return "Block comment";
    case String: return "String";
    case Number: return "Number";
  }
  return {};
}

const std::vector<std::string>& MacroLexer::ReservedWords() {
  static const std::vector<std::string> words = {
      "arc", "box", "c", "d", "EXIT", "GI", "GOSUB", "IF", "line", "MulDiv", "needle", "num", "RET", "s",
      "text", "回転", "吸水S1", "混成圧", "吐水S2", "吐水圧", "流量"};
  return words;
}

bool MacroLexer::IsReservedWord(const std::string& utf8) {
  for (const std::string& w : ReservedWords())
    if (EqualsIgnoringAsciiCase(w, utf8)) return true;
  return false;
}

void MacroLexer::styleText(int start, int end) {
  QsciScintilla* ed = editor();
  if (ed == nullptr || end <= start) return;
  // Restart at the beginning of the line; a block comment open at the end of
  // the previous line carries on.
  int line = 0, index = 0;
  ed->lineIndexFromPosition(start, &line, &index);
  start = static_cast<int>(ed->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, line));
  bool in_block = false;
  if (start >= 2) {
    const int prev = static_cast<int>(ed->SendScintilla(QsciScintilla::SCI_GETSTYLEAT, start - 1));
    if (prev == BlockComment) {
      const QByteArray tail = ed->bytes(start - 2, start);
      in_block = !tail.startsWith("*/");
    }
  }
  const QByteArray bytes = ed->bytes(start, end);
  const int n = bytes.size() > 0 && bytes.endsWith('\0') ? bytes.size() - 1 : bytes.size();
  const auto at = [&](int i) -> unsigned char { return i < n ? static_cast<unsigned char>(bytes[i]) : 0; };

  startStyling(start);
  int i = 0;
  while (i < n) {
    const int from = i;
    int style = Default;
    if (in_block) {
      while (i < n && !(at(i) == '*' && at(i + 1) == '/')) ++i;
      if (i < n) {
        i += 2;
        in_block = false;
      }
      style = BlockComment;
    } else if (at(i) == '/' && at(i + 1) == '*') {
      i += 2;
      in_block = true;
      while (i < n && !(at(i) == '*' && at(i + 1) == '/')) ++i;
      if (i < n) {
        i += 2;
        in_block = false;
      }
      style = BlockComment;
    } else if (at(i) == '/' && at(i + 1) == '/') {
      while (i < n && at(i) != '\r' && at(i) != '\n') ++i;
      style = LineComment;
    } else if (at(i) == '"') {
      ++i;
      while (i < n && at(i) != '"' && at(i) != '\r' && at(i) != '\n') ++i;
      if (at(i) == '"') ++i;
      style = String;
    } else if (at(i) == '$' && std::isxdigit(at(i + 1))) {
      ++i;
      while (i < n && std::isxdigit(at(i))) ++i;
      style = Number;
    } else if (std::isdigit(at(i))) {
      while (i < n && std::isalnum(at(i))) ++i;  // 0x1F, 0b101 and decimals
      style = Number;
    } else if (IsWordByte(at(i))) {
      while (i < n && IsWordByte(at(i))) ++i;
      const std::string word(bytes.constData() + from, static_cast<std::size_t>(i - from));
      style = IsReservedWord(word) ? Keyword : Default;
    } else {
      ++i;
    }
    setStyling(i - from, style);
  }
}

// ---------------------------------------------------------------------------

ColumnRuler::ColumnRuler(QsciScintilla* editor, QWidget* parent) : QWidget(parent), editor_(editor) {
  setFont(FixedFont());
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor(32, 32, 32));
  p.setColor(QPalette::WindowText, kWhite);
  setPalette(p);
}

QSize ColumnRuler::sizeHint() const { return {100, fontMetrics().height() + 6}; }

void ColumnRuler::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(palette().color(QPalette::WindowText));
  const int char_width = static_cast<int>(
      editor_->SendScintilla(QsciScintilla::SCI_TEXTWIDTH, MacroLexer::Default, "0"));
  if (char_width <= 0) return;
  int margins = 0;
  for (int m = 0; m < 5; ++m) margins += editor_->marginWidth(m);
  const int scroll = static_cast<int>(editor_->SendScintilla(QsciScintilla::SCI_GETXOFFSET));
  const int left = editor_->frameWidth() + margins +
                   static_cast<int>(editor_->SendScintilla(QsciScintilla::SCI_GETMARGINLEFT)) - scroll;
  const int h = height();
  for (int col = 0; left + col * char_width < width(); ++col) {
    const int x = left + col * char_width;
    if (x < margins) continue;
    const int tick = col % 10 == 0 ? h / 2 : (col % 5 == 0 ? h / 3 : h / 6);
    p.drawLine(x, h - tick, x, h - 1);
    if (col % 10 == 0 && col > 0) p.drawText(x + 2, fontMetrics().ascent() + 1, QString::number(col));
  }
}

// ---------------------------------------------------------------------------

MacroEditor::MacroEditor(QWidget* parent) : QWidget(parent) {
  text_ = new QsciScintilla(this);
  lexer_ = new MacroLexer(text_);
  text_->setUtf8(true);
  assist_ = new MacroEditorAssist(text_);  // completion, calltips and hover from the language engine
  text_->setLexer(lexer_);
  text_->setTabWidth(8);
  text_->setIndentationsUseTabs(true);
  text_->setAutoIndent(true);
  text_->setEolMode(QsciScintilla::EolWindows);
  text_->setCaretForegroundColor(kWhite);
  text_->setSelectionBackgroundColor(QColor(0, 0, 160));
  text_->setSelectionForegroundColor(kWhite);
  text_->setMarginType(0, QsciScintilla::NumberMargin);
  text_->setMarginLineNumbers(0, true);
  text_->setMarginsFont(FixedFont());
  text_->setMarginWidth(0, QStringLiteral("000000"));
  text_->setMarginsBackgroundColor(QColor(48, 48, 48));
  text_->setMarginsForegroundColor(QColor(200, 200, 200));
  // Margin 1: breakpoints and the current line's arrow.
  text_->setMarginType(1, QsciScintilla::SymbolMargin);
  text_->setMarginWidth(1, 16);
  text_->setMarginSensitivity(1, true);
  text_->setMarginMarkerMask(1, (1 << kBreakMarker) | (1 << kUnboundMarker) | (1 << kArrowMarker) |
                                    (1 << kConditionalKind) | (1 << kHitKind) | (1 << kLogKind));
  text_->setMarginMarkerMask(0, 0);
  text_->markerDefine(QsciScintilla::Circle, kBreakMarker);
  text_->setMarkerBackgroundColor(QColor(220, 40, 40), kBreakMarker);
  text_->setMarkerForegroundColor(QColor(220, 40, 40), kBreakMarker);
  text_->markerDefine(QsciScintilla::Circle, kUnboundMarker);
  text_->setMarkerBackgroundColor(QColor(48, 48, 48), kUnboundMarker);
  text_->setMarkerForegroundColor(QColor(220, 40, 40), kUnboundMarker);
  // A condition: a square in the circle; a hit condition: a plus; a log
  // point: a blue square in place of the circle.
  text_->markerDefine(QsciScintilla::SmallRectangle, kConditionalKind);
  text_->setMarkerBackgroundColor(QColor(255, 230, 120), kConditionalKind);
  text_->setMarkerForegroundColor(QColor(255, 230, 120), kConditionalKind);
  text_->markerDefine(QsciScintilla::Plus, kHitKind);
  text_->setMarkerBackgroundColor(QColor(255, 255, 255), kHitKind);
  text_->setMarkerForegroundColor(QColor(255, 255, 255), kHitKind);
  text_->markerDefine(QsciScintilla::Rectangle, kLogKind);
  text_->setMarkerBackgroundColor(QColor(60, 140, 230), kLogKind);
  text_->setMarkerForegroundColor(QColor(60, 140, 230), kLogKind);
  text_->viewport()->installEventFilter(this);
  text_->markerDefine(QsciScintilla::RightArrow, kArrowMarker);
  text_->setMarkerBackgroundColor(QColor(255, 220, 0), kArrowMarker);
  text_->markerDefine(QsciScintilla::Invisible, kConditionMarker);
  text_->markerDefine(QsciScintilla::Invisible, kCompiledMarker);
  text_->markerDefine(QsciScintilla::Background, kCurrentMarker);
  text_->setMarkerBackgroundColor(QColor(90, 80, 0), kCurrentMarker);
  connect(text_, &QsciScintilla::marginClicked, this,
          [this](int margin, int line, Qt::KeyboardModifiers) {
            if (margin == 1) ToggleBreakpoint(line);
          });
  text_->setWrapMode(QsciScintilla::WrapNone);
  text_->markerDefine(QsciScintilla::Background, 1);
  text_->setMarkerBackgroundColor(QColor(96, 0, 0), 1);

  ruler_ = new ColumnRuler(text_, this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ruler_);
  layout->addWidget(text_, 1);
  connect(text_, &QsciScintilla::SCN_UPDATEUI, ruler_, [this](int) { ruler_->update(); });
  setFocusProxy(text_);
}

bool MacroEditor::Lines(std::vector<std::string>& lines, std::string& error) const {
  std::string cp932;
  if (!TryUtf8ToCp932(text_->text().toStdString(), cp932, error)) return false;
  lines = SplitLines(cp932);
  return true;
}

void MacroEditor::SetLines(const std::vector<std::string>& lines) {
  std::string utf8;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) utf8 += "\r\n";
    utf8 += Cp932ToUtf8(lines[i]);
  }
  const std::vector<int> breakpoints = BreakpointLines();
  std::vector<std::pair<int, BreakpointSettings>> conditions;
  for (int line : breakpoints)
    if (BreakpointSettings c = BreakpointOptions(line); !(c == BreakpointSettings{})) conditions.emplace_back(line, c);
  // The same lines (whatever their line ends) are not new text.
  std::vector<std::string> present;
  std::string error;
  const bool same = Lines(present, error) && present == lines;
  std::vector<int> compiledAt;
  if (same)
    for (std::size_t i = 0; i < compiled_.size(); ++i) compiledAt.push_back(LineOfCompiled(static_cast<int>(i)));
  text_->setText(QString::fromStdString(utf8));
  // New text drops the markers; the same text keeps where the compiled
  // lines stood.
  for (std::size_t i = 0; i < compiled_.size(); ++i)
    compiled_[i] = i < compiledAt.size() && compiledAt[i] >= 0 ? text_->markerAdd(compiledAt[i], kCompiledMarker) : -1;
  if (!same) savedText_ = text_->text();
  conditions_.clear();
  text_->markerDeleteAll(kConditionMarker);
  for (const auto& [line, condition] : conditions)
    if (line < text_->lines()) conditions_[text_->markerAdd(line, kConditionMarker)] = condition;
  SetBreakpointLines(breakpoints);
}

void MacroEditor::ShowKind(int line) {
  for (int kind : {kConditionalKind, kHitKind, kLogKind}) text_->markerDelete(line, kind);
  const unsigned mask = (1u << kBreakMarker) | (1u << kUnboundMarker);
  if (!(text_->markersAtLine(line) & mask)) return;
  const BreakpointSettings s = BreakpointOptions(line);
  if (!s.logMessage.isEmpty()) text_->markerAdd(line, kLogKind);
  if (!s.condition.isEmpty()) text_->markerAdd(line, kConditionalKind);
  if (!s.hitCondition.isEmpty()) text_->markerAdd(line, kHitKind);
}

QString MacroEditor::BreakpointTooltip(int line) const {
  const unsigned mask = (1u << kBreakMarker) | (1u << kUnboundMarker);
  if (line < 0 || !(text_->markersAtLine(line) & mask)) return {};
  const BreakpointSettings s = BreakpointOptions(line);
  QStringList parts;
  parts << (s.logMessage.isEmpty() ? QString::fromUtf8("ブレークポイント") : QString::fromUtf8("ログポイント: ") + s.logMessage);
  if (!s.condition.isEmpty()) parts << QString::fromUtf8("条件: ") + s.condition;
  if (!s.hitCondition.isEmpty()) parts << QString::fromUtf8("ヒット条件: ") + s.hitCondition;
  if (breakpointNote)
    if (QString note = breakpointNote(line); !note.isEmpty()) parts << note;
  return parts.join("\n");
}

bool MacroEditor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == text_->viewport() && event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const int margins = text_->marginWidth(0) + text_->marginWidth(1);
    if (help->pos().x() < margins) {
      const long position = text_->SendScintilla(QsciScintilla::SCI_POSITIONFROMPOINT,
                                                 static_cast<unsigned long>(margins), static_cast<long>(help->pos().y()));
      const int line =
          static_cast<int>(text_->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, static_cast<unsigned long>(position)));
      const QString tip = BreakpointTooltip(line);
      if (tip.isEmpty()) {
        QToolTip::hideText();
      } else {
        QToolTip::showText(help->globalPos(), tip, text_->viewport());
      }
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

MacroEditor::BreakpointSettings MacroEditor::BreakpointOptions(int line) const {
  for (const auto& [handle, settings] : conditions_)
    if (text_->markerLine(handle) == line) return settings;
  return {};
}

void MacroEditor::SetBreakpointCondition(int line, const QString& condition) {
  BreakpointSettings settings = BreakpointOptions(line);
  settings.condition = condition;
  SetBreakpointOptions(line, settings);
}

void MacroEditor::SetBreakpointOptions(int line, const BreakpointSettings& settings) {
  if (line < 0 || line >= text_->lines()) return;
  for (auto it = conditions_.begin(); it != conditions_.end();) {
    if (text_->markerLine(it->first) == line || text_->markerLine(it->first) < 0) {
      text_->markerDeleteHandle(it->first);
      it = conditions_.erase(it);
    } else {
      ++it;
    }
  }
  const BreakpointSettings trimmed{settings.condition.trimmed(), settings.hitCondition.trimmed(),
                                   settings.logMessage.trimmed()};
  if (!(trimmed == BreakpointSettings{})) conditions_[text_->markerAdd(line, kConditionMarker)] = trimmed;
  const unsigned mask = (1u << kBreakMarker) | (1u << kUnboundMarker);
  if (!(text_->markersAtLine(line) & mask)) text_->markerAdd(line, kBreakMarker);
  ShowKind(line);
  emit breakpointsChanged();
}

std::vector<int> MacroEditor::BreakpointLines() const {
  std::vector<int> lines;
  const unsigned mask = (1u << kBreakMarker) | (1u << kUnboundMarker);
  for (int line = text_->markerFindNext(0, mask); line >= 0; line = text_->markerFindNext(line + 1, mask))
    lines.push_back(line);
  return lines;
}

void MacroEditor::SetBreakpointLines(const std::vector<int>& lines) {
  text_->markerDeleteAll(kBreakMarker);
  text_->markerDeleteAll(kUnboundMarker);
  for (int kind : {kConditionalKind, kHitKind, kLogKind}) text_->markerDeleteAll(kind);
  for (int line : lines) {
    if (line < 0 || line >= text_->lines()) continue;
    text_->markerAdd(line, kBreakMarker);
    ShowKind(line);
  }
  emit breakpointsChanged();
}

void MacroEditor::ToggleBreakpoint(int line) {
  if (line < 0 || line >= text_->lines()) return;
  const unsigned mask = (1u << kBreakMarker) | (1u << kUnboundMarker);
  if (text_->markersAtLine(line) & mask) {
    text_->markerDelete(line, kBreakMarker);
    text_->markerDelete(line, kUnboundMarker);
    text_->markerDelete(line, kConditionMarker);
    for (int kind : {kConditionalKind, kHitKind, kLogKind}) text_->markerDelete(line, kind);
  } else {
    text_->markerAdd(line, kBreakMarker);
  }
  emit breakpointsChanged();
}

void MacroEditor::SetBreakpointVerified(int line, bool verified) {
  text_->markerDelete(line, verified ? kUnboundMarker : kBreakMarker);
  if (!(text_->markersAtLine(line) & (1u << (verified ? kBreakMarker : kUnboundMarker))))
    text_->markerAdd(line, verified ? kBreakMarker : kUnboundMarker);
}

int MacroEditor::CaretLine() const {
  int line = 0, index = 0;
  text_->getCursorPosition(&line, &index);
  return line;
}

void MacroEditor::ShowCurrentLine(int line) {
  text_->markerDeleteAll(kCurrentMarker);
  text_->markerDeleteAll(kArrowMarker);
  if (line < 0) return;
  text_->markerAdd(line, kCurrentMarker);
  text_->markerAdd(line, kArrowMarker);
  text_->ensureLineVisible(line);
}

void MacroEditor::FollowCompiledLines(bool fromThisText) {
  text_->markerDeleteAll(kCompiledMarker);
  compiled_.clear();
  following_ = true;
  compiledText_ = fromThisText ? text_->text() : QString();
  if (!fromThisText) return;
  for (int line = 0; line < text_->lines(); ++line) compiled_.push_back(text_->markerAdd(line, kCompiledMarker));
}

int MacroEditor::LineOfCompiled(int compiledLine) const {
  if (!following_) return compiledLine;
  if (compiledLine < 0 || compiledLine >= static_cast<int>(compiled_.size()) || compiled_[compiledLine] < 0)
    return -1;
  return text_->markerLine(compiled_[compiledLine]);
}

int MacroEditor::CompiledLineOf(int line) const {
  if (!following_) return line;
  if (line < 0 || !(text_->markersAtLine(line) & (1u << kCompiledMarker))) return -1;
  // Lines joined by an edit carry several compiled lines: the first counts,
  // as for the breakpoint markers.
  for (std::size_t i = 0; i < compiled_.size(); ++i)
    if (compiled_[i] >= 0 && text_->markerLine(compiled_[i]) == line) return static_cast<int>(i);
  return -1;
}

bool MacroEditor::ChangedSinceCompile() const { return following_ && text_->text() != compiledText_; }

bool MacroEditor::Modified() const { return text_->text() != savedText_; }

void MacroEditor::MarkSaved() const { savedText_ = text_->text(); }

void MacroEditor::LoadFromFile(const std::string& path) { SetLines(SplitLines(ReadFile(path))); }

void MacroEditor::SaveToFile(const std::string& path) const {
  std::vector<std::string> lines;
  std::string error;
  if (!Lines(lines, error)) throw EncodingError(error);
  WriteFileAtomic(path, JoinLinesCrLf(lines));
  MarkSaved();
}

void MacroEditor::InsertAtCaret(const std::string& cp932) {
  const QString text = FromCp932(cp932);
  if (text_->hasSelectedText()) text_->replaceSelectedText(text);
  else text_->SendScintilla(QsciScintilla::SCI_REPLACESEL, text.toUtf8().constData());
}

bool MacroEditor::EditorHasFocus() const { return text_->hasFocus(); }

void MacroEditor::GoToLine(int line) {
  text_->setCursorPosition(line, 0);
  text_->ensureLineVisible(line);
  text_->setFocus();
}

void MacroEditor::MarkLine(int line) {
  text_->markerDeleteAll(1);
  marker_ = line;
  if (line >= 0) {
    text_->markerAdd(line, 1);
    text_->ensureLineVisible(line);
  }
}

}  // namespace qmt
