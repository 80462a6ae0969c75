#include "ui/reference_pane.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

#include "lang/manual_pages.h"
#include "ui/about_box.h"

namespace qmt {
namespace {

bool IsWordChar(QChar c) { return c == u'_' || c.isLetterOrNumber(); }

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

bool IsJapanese(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 0x3000 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF);
}

// The pages wrap Japanese paragraphs; a line break between two Japanese
// characters is no space in the text.  Code blocks, tables and list items
// keep their lines.
QString JoinJapaneseLines(const QString& markdown) {
  const QStringList lines = markdown.split('\n');
  QString out;
  bool fence = false;
  for (int i = 0; i < lines.size(); ++i) {
    const QString& line = lines[i];
    if (line.trimmed().startsWith("```")) fence = !fence;
    out += line;
    if (i + 1 == lines.size()) break;
    const QString next = lines[i + 1].trimmed();
    const bool join = !fence && !line.isEmpty() && IsJapanese(line.back()) && !next.isEmpty() &&
                      IsJapanese(next.front()) && !line.trimmed().startsWith('|');
    out += join ? QString() : QString("\n");
  }
  return out;
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
  AddPage(lang::BuiltinManualPage(lang::ManualPage::kCommands), true);
  AddPage(lang::BuiltinManualPage(lang::ManualPage::kBuiltins), false);
  const std::string_view language = lang::BuiltinManualPage(lang::ManualPage::kLanguage);
  AddPage(language, false);
  AddTableRows(language);
}

void ReferenceIndex::AddWord(const QString& key, const QString& text) {
  if (words_.contains(key.toLower())) return;
  words_.insert(key.toLower(), text);
  wordSpelling_.insert(key.toLower(), key);
}

// The language page lists external values, constants and event labels in
// tables whose first cell names them in backquotes.  Each such name gets an
// entry of its own: the section it is in, the table's header and its row.
void ReferenceIndex::AddTableRows(std::string_view markdown) {
  for (const lang::ManualTableRow& row : lang::ManualTableRows(markdown)) {
    const QString section = FromUtf8(row.section), header = FromUtf8(row.header), line = FromUtf8(row.row);
    const QString columns = QString("|---").repeated(header.count('|') - 1) + "|";
    for (const std::string& name : row.names) {
      const QString key = FromUtf8(name);
      AddWord(key, QString("### `%1` — %2\n\n%3\n%4\n%5\n\n[%2](language.md)").arg(key, section, header, columns, line));
    }
  }
}

// An entry's keys are the names written in backquotes in its heading.
void ReferenceIndex::AddPage(std::string_view markdown, bool commands) {
  for (const lang::ManualEntry& entry : lang::ManualEntries(markdown)) {
    const QString text = FromUtf8(entry.text);
    for (const std::string& name : entry.keys) {
      const QString key = FromUtf8(name);
      if (commands) {
        if (!commands_.contains(key)) commands_.insert(key, text);
      } else {
        AddWord(key, text);
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

QString ReferenceIndex::WithEntryLinks(const QString& markdown, bool commandPage) const {
  // [text](target), not a picture's ![text](target).
  static const QRegularExpression link("(?<!!)\\[([^\\]]*)\\]\\(([^)\\s]+)\\)");
  static const QRegularExpression quoted("`([^`]+)`");
  QString out;
  qsizetype pos = 0;
  for (auto it = link.globalMatch(markdown); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    out += markdown.mid(pos, m.capturedStart() - pos);
    pos = m.capturedEnd();
    const QString text = m.captured(1), target = m.captured(2);
    QString to;
    const QString named = quoted.match(text).captured(1);
    const bool toCommands = target.startsWith("commands.md");
    if (!named.isEmpty()) {
      if ((toCommands || (commandPage && !target.contains(".md"))) && commands_.contains(named))
        to = "qmt-command:" + named;
      else if (words_.contains(named.toLower()))
        to = "qmt-word:" + named;
      else if (commands_.contains(named))
        to = "qmt-command:" + named;
    }
    if (to.isEmpty() && !target.contains("://")) to = "qmt-page:" + target;
    out += to.isEmpty() ? m.captured(0) : QString("[%1](%2)").arg(text, to);
  }
  return out + markdown.mid(pos);
}

ReferencePane::ReferencePane(QWidget* parent) : QDockWidget(QString::fromUtf8("リファレンス (F1)"), parent) {
  setObjectName("ReferenceDock");
  browser_ = new QTextBrowser(this);
  browser_->setSearchPaths({":/manual"});
  browser_->setOpenLinks(false);
  connect(browser_, &QTextBrowser::anchorClicked, this, &ReferencePane::FollowLink);
  setWidget(browser_);
}

void ReferencePane::FollowLink(const QUrl& url) {
  const QString scheme = url.scheme();
  const QString rest = url.path(QUrl::FullyDecoded);
  if (scheme == "qmt-word") {
    ShowEntry({ReferenceKey::Kind::Word, rest});
  } else if (scheme == "qmt-command") {
    ShowEntry({ReferenceKey::Kind::Command, rest});
  } else if (scheme == "qmt-page") {
    // Pages and files of the manual open in its HTML form.
    const QString index = ManualIndex(QCoreApplication::applicationDirPath());
    const QString page = rest;
    QString html = QFileInfo(index).path() + "/manual/" + page;
    if (html.endsWith(".md")) {
      html.chop(3);
      html += ".html";
    }
    if (index.isEmpty() || !QFileInfo::exists(html)) {
      browser_->append(QString::fromUtf8("\n「%1」は HTML のマニュアルにあります (ヘルプ → マニュアル)。").arg(page));
      return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(html));
  } else if (url.scheme() == "http" || url.scheme() == "https") {
    QDesktopServices::openUrl(url);
  }
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
  browser_->setMarkdown(JoinJapaneseLines(index_.WithEntryLinks(text, key.kind == ReferenceKey::Kind::Command)));
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
  const auto links = [](const QStringList& keys, const char* scheme) {
    QStringList out;
    for (const QString& key : keys) out << QString("[%1](%2:%1)").arg(key, QLatin1String(scheme));
    return out.join(", ");
  };
  QString text = note + "\n\n";
  text += QString::fromUtf8("組み込み関数・予約語・外部変数・定数・イベントのラベル: ") +
          links(index_.WordKeys(), "qmt-word") + "\n\n";
  text += QString::fromUtf8("デバイスコマンド (d(\"…\") の文字列の中で F1): ") +
          links(index_.CommandKeys(), "qmt-command") + "\n";
  browser_->setMarkdown(text);
}

}  // namespace qmt
