#include "ui/macro_editor_assist.h"

#include <Qsci/qsciscintilla.h>

#include <QShortcut>
#include <QTextDocument>
#include <QToolTip>

#include "host/name_tables.h"
#include "lang/macro_model.h"
#include "support/encoding.h"

namespace qmt {
namespace {

constexpr int kCompletionList = 27;

bool IsWordChar(QChar c) { return c == u'_' || c.isLetterOrNumber(); }

}  // namespace

MacroEditorAssist::MacroEditorAssist(QsciScintilla* editor)
    : QObject(editor),
      editor_(editor),
      tables_(std::make_unique<NameTables>()),
      model_(std::make_unique<lang::MacroModel>(*tables_)) {
  editor_->SendScintilla(QsciScintillaBase::SCI_SETMOUSEDWELLTIME, 600);
  connect(editor_, &QsciScintilla::SCN_CHARADDED, this, &MacroEditorAssist::CharAdded);
  connect(editor_, &QsciScintilla::userListActivated, this, [this](int id, const QString& text) {
    if (id != kCompletionList) return;
    const int pos = static_cast<int>(editor_->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    editor_->SendScintilla(QsciScintillaBase::SCI_SETSEL, wordStart_, pos);
    editor_->replaceSelectedText(text);
  });
  connect(editor_, &QsciScintilla::SCN_DWELLSTART, this, [this](int position, int x, int y) {
    if (position < 0) return;
    const QString text = HoverText(position);
    if (text.isEmpty()) return;
    QTextDocument doc;
    doc.setMarkdown(text);
    QToolTip::showText(editor_->viewport()->mapToGlobal(QPoint(x, y)), doc.toHtml(), editor_->viewport());
  });
  connect(editor_, &QsciScintilla::SCN_DWELLEND, this, [](int, int, int) { QToolTip::hideText(); });
  auto* complete = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Space), editor_);
  complete->setContext(Qt::WidgetShortcut);
  connect(complete, &QShortcut::activated, this, &MacroEditorAssist::Complete);
}

MacroEditorAssist::~MacroEditorAssist() = default;

void MacroEditorAssist::SetColorList(std::vector<std::string> lines) {
  tables_->SetColorList(std::move(lines));
  analysed_.clear();  // analysed again with the new names
}

bool MacroEditorAssist::Refresh() {
  const QString text = editor_->text();
  if (text == analysed_) return true;
  std::string cp932, error;
  // A character code page 932 lacks: the last good analysis stays.
  if (!TryUtf8ToCp932(text.toStdString(), cp932, error)) return false;
  model_->SetText(std::move(cp932));
  analysed_ = text;
  return true;
}

std::pair<int, int> MacroEditorAssist::Place(int position) const {
  const int line = static_cast<int>(editor_->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, position));
  const int start = static_cast<int>(editor_->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line));
  // Scintilla counts UTF-8 bytes; the model counts code page 932 bytes.
  const QByteArray utf8 = editor_->text(line).toUtf8().left(position - start);
  std::string cp932, error;
  TryUtf8ToCp932(std::string_view(utf8.constData(), utf8.size()), cp932, error);
  return {line, static_cast<int>(cp932.size())};
}

void MacroEditorAssist::Complete() {
  if (!Refresh()) return;
  const int pos = static_cast<int>(editor_->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
  auto [line, column] = Place(pos);
  // The word typed so far is replaced by the choice.
  int lineNo = 0, index = 0;
  editor_->getCursorPosition(&lineNo, &index);
  const QString lineText = editor_->text(lineNo);
  const QByteArray before = lineText.toUtf8().left(index);
  QString prefix = QString::fromUtf8(before);
  int cut = static_cast<int>(prefix.size());
  while (cut > 0 && IsWordChar(prefix[cut - 1])) --cut;
  const QString typed = prefix.mid(cut);
  wordStart_ = pos - static_cast<int>(typed.toUtf8().size());
  QStringList items;
  for (const lang::Completion& c : model_->CompleteAt(line, column)) {
    const QString label = QString::fromStdString(c.label);
    if (typed.isEmpty() || label.startsWith(typed, Qt::CaseInsensitive)) items << label;
  }
  items.removeDuplicates();
  if (items.isEmpty()) return;
  editor_->showUserList(kCompletionList, items);
}

void MacroEditorAssist::ShowCalltip() {
  if (!Refresh()) return;
  const int pos = static_cast<int>(editor_->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
  auto [line, column] = Place(pos);
  const auto sig = model_->SignatureAt(line, column);
  if (!sig) {
    editor_->SendScintilla(QsciScintillaBase::SCI_CALLTIPCANCEL);
    return;
  }
  const QByteArray label = QString::fromStdString(sig->label).toUtf8();
  editor_->SendScintilla(QsciScintillaBase::SCI_CALLTIPSHOW, static_cast<unsigned long>(pos), label.constData());
  // Highlight the active parameter: find it in the label.
  if (sig->activeParameter < static_cast<int>(sig->parameters.size())) {
    const QByteArray p = QString::fromStdString(sig->parameters[sig->activeParameter]).toUtf8();
    int from = label.indexOf('(');
    for (int i = 0; i < sig->activeParameter && from >= 0; ++i) from = label.indexOf(',', from + 1);
    const int at = from < 0 ? -1 : label.indexOf(p, from);
    if (at >= 0) editor_->SendScintilla(QsciScintillaBase::SCI_CALLTIPSETHLT, at, at + p.size());
  }
}

QString MacroEditorAssist::HoverText(int position) {
  if (!Refresh()) return {};
  auto [line, column] = Place(position);
  const auto h = model_->HoverAt(line, column);
  return h ? QString::fromStdString(h->markdown) : QString();
}

void MacroEditorAssist::CharAdded(int ch) {
  if (ch == '(' || ch == ',') {
    ShowCalltip();
    return;
  }
  if (ch == ')') {
    editor_->SendScintilla(QsciScintillaBase::SCI_CALLTIPCANCEL);
    return;
  }
  // After two characters of a name, or after "GOSUB " / d(" : the list.
  int lineNo = 0, index = 0;
  editor_->getCursorPosition(&lineNo, &index);
  const QString before = QString::fromUtf8(editor_->text(lineNo).toUtf8().left(index));
  if (ch == '"' && before.endsWith(u'"') && before.chopped(1).trimmed().endsWith(u'(')) {
    Complete();
    return;
  }
  int n = 0;
  while (n < before.size() && IsWordChar(before[before.size() - 1 - n])) ++n;
  if (n == 2 && !editor_->isListActive()) Complete();
}

}  // namespace qmt
