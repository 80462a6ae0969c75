#include "ui/reference_pane.h"

#include <QFile>
#include <QMainWindow>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

namespace qmt {
namespace {

bool IsWordChar(QChar c) { return c == u'_' || c.isLetterOrNumber(); }

// The pages of the reference, as the build puts them under :/manual.
QString ReadPage(const QString& name) {
  QFile file(":/manual/" + name);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// Marker comments of the live examples are not for the reader.
QString WithoutComments(QString text) {
  static const QRegularExpression comment("<!--.*?-->\\n?", QRegularExpression::DotMatchesEverythingOption);
  return text.remove(comment);
}

}  // namespace

ReferenceKey ReferenceKeyAt(const QString& line, int column) {
  column = std::clamp(column, 0, static_cast<int>(line.size()));
  // Walk the line as the lexer does, to know whether the caret is inside a
  // string or a comment.
  int stringStart = -1;
  for (int i = 0; i < line.size(); ++i) {
    const QChar c = line[i];
    if (stringStart >= 0) {
      if (c == u'\\') {
        ++i;
        continue;
      }
      if (c == u'"') {
        if (column > stringStart && column <= i) break;
        stringStart = -1;
      }
      continue;
    }
    if (i >= column) break;
    if (c == u'/' && i + 1 < line.size() && line[i + 1] == u'/') return {};
    if (c == u'"') stringStart = i;
  }
  if (stringStart >= 0 && column > stringStart) {
    // A string: only the template of d("...") names a command.
    static const QRegularExpression dCall("(?:^|[^\\w])d\\s*\\(\\s*$", QRegularExpression::CaseInsensitiveOption);
    if (!dCall.match(line.left(stringStart)).hasMatch()) return {};
    const QString body = line.mid(stringStart + 1, 2);
    if (body.size() == 2 && body[0] >= u'A' && body[0] <= u'Z' && body[1] >= u'A' && body[1] <= u'Z')
      return {ReferenceKey::Kind::Command, body};
    return {};
  }
  int start = column, end = column;
  while (start > 0 && IsWordChar(line[start - 1])) --start;
  while (end < line.size() && IsWordChar(line[end])) ++end;
  if (start == end || line[start].isDigit()) return {};
  return {ReferenceKey::Kind::Word, line.mid(start, end - start)};
}

ReferenceIndex::ReferenceIndex() {
  AddPage(ReadPage("commands.md"), true);
  AddPage(ReadPage("builtins.md"), false);
  AddPage(ReadPage("language.md"), false);
}

// An entry runs from a "### " heading to the next heading of level 1 to 3.
// Its keys are the names written in backquotes in the heading.
void ReferenceIndex::AddPage(const QString& markdown, bool commands) {
  static const QRegularExpression heading("^(#{1,3}) (.*)$", QRegularExpression::MultilineOption);
  static const QRegularExpression name("`([A-Za-z_@][A-Za-z0-9_]*|[^`\\s(]+)");
  QList<QRegularExpressionMatch> heads;
  for (auto it = heading.globalMatch(markdown); it.hasNext();) heads.append(it.next());
  for (int h = 0; h < heads.size(); ++h) {
    if (heads[h].captured(1).size() != 3) continue;
    const qsizetype from = heads[h].capturedStart();
    const qsizetype to = h + 1 < heads.size() ? heads[h + 1].capturedStart() : markdown.size();
    const QString text = WithoutComments(markdown.mid(from, to - from));
    for (auto it = name.globalMatch(heads[h].captured(2)); it.hasNext();) {
      const QString key = it.next().captured(1);
      if (commands) {
        if (!commands_.contains(key)) commands_.insert(key, text);
      } else if (!words_.contains(key.toLower())) {
        words_.insert(key.toLower(), text);
        wordSpelling_.insert(key.toLower(), key);
      }
    }
  }
}

QString ReferenceIndex::Entry(const ReferenceKey& key) const {
  switch (key.kind) {
    case ReferenceKey::Kind::Command:
      return commands_.value(key.key);
    case ReferenceKey::Kind::Word:
      // A mnemonic outside a string (typed in the command test page, say)
      // still finds its command when no word has that name.
      if (words_.contains(key.key.toLower())) return words_.value(key.key.toLower());
      return commands_.value(key.key);
    case ReferenceKey::Kind::None:
      break;
  }
  return {};
}

QStringList ReferenceIndex::WordKeys() const { return wordSpelling_.values(); }

ReferencePane::ReferencePane(QWidget* parent) : QDockWidget(QString::fromUtf8("リファレンス (F1)"), parent) {
  setObjectName("ReferenceDock");
  browser_ = new QTextBrowser(this);
  browser_->setSearchPaths({":/manual"});
  browser_->setOpenLinks(false);
  setWidget(browser_);
}

bool ReferencePane::ShowEntry(const ReferenceKey& key) {
  const QString text = index_.Entry(key);
  if (!isVisible()) {
    show();
    // Wide enough for the pictures when it first opens.
    if (auto* window = qobject_cast<QMainWindow*>(parentWidget()))
      window->resizeDocks({this}, {400}, Qt::Horizontal);
  }
  raise();
  if (text.isEmpty()) {
    ShowIndex(key.key.isEmpty() ? QString::fromUtf8("カーソルの位置に調べる語がありません。")
                                : QString::fromUtf8("「%1」の項目はありません。").arg(key.key));
    return false;
  }
  shown_ = key.key;
  browser_->setMarkdown(text);
  FitPictures();
  return true;
}

bool ReferencePane::ShowAt(const QString& line, int column) { return ShowEntry(ReferenceKeyAt(line, column)); }

// The examples' pictures are whole 640 x 480 pages; half size fits the pane
// and still shows what was drawn.
void ReferencePane::FitPictures() {
  QTextDocument* doc = browser_->document();
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.charFormat().isImageFormat()) continue;
      QTextImageFormat image = fragment.charFormat().toImageFormat();
      image.setWidth(320);
      image.setHeight(240);
      QTextCursor cursor(doc);
      cursor.setPosition(fragment.position());
      cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
      cursor.setCharFormat(image);
    }
  }
}

void ReferencePane::ShowIndex(const QString& note) {
  shown_.clear();
  QString text = note + "\n\n";
  text += QString::fromUtf8("組み込み関数・予約語: ") + index_.WordKeys().join(", ") + "\n\n";
  text += QString::fromUtf8("デバイスコマンド (d(\"…\") の文字列の中で F1): ") + index_.CommandKeys().join(", ") +
          "\n";
  browser_->setMarkdown(text);
}

}  // namespace qmt
