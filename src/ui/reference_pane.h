// The built-in reference: the manual's reference pages (built-ins, device
// commands, language) compiled into the program, cut into entries at their
// third-level headings and, for the names the language page lists in tables
// (external values, constants, event labels), at their table rows; and the
// pane of the tool window that shows one entry for the word under the
// editor's caret (F1), whose links lead to other entries or to the manual.
#pragma once

#include <QDockWidget>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <string_view>

class QTextBrowser;

namespace qmt {

// What F1 asks for: a device command (a mnemonic inside a d("...") string)
// or a word of the language (a built-in, a keyword).
struct ReferenceKey {
  enum class Kind { None, Command, Word } kind = Kind::None;
  QString key;
};

// The word at `column` (characters from 0) of one editor line.  Inside the
// template string of d("...") the key is the command's two-letter mnemonic,
// wherever in the string the caret stands.  Comments give no key.
ReferenceKey ReferenceKeyAt(const QString& line, int column);

class ReferenceIndex {
 public:
  // Reads the pages built into the program.
  ReferenceIndex();

  // The Markdown text of an entry, or an empty string.  Commands are matched
  // exactly (mnemonics are upper case); words ignore letter case, as the
  // compiler does for built-ins and keywords.
  QString Entry(const ReferenceKey& key) const;
  // The keys of every entry, for the index shown when nothing matches.
  QStringList CommandKeys() const { return commands_.keys(); }
  QStringList WordKeys() const;

  // An entry's Markdown with its links made to lead somewhere from the
  // pane: a link whose text names an entry (`GI`) goes to that entry
  // (qmt-word:KEY, qmt-command:KEY), any other link to a page of the manual
  // (qmt-page:PAGE.md#FRAGMENT).  Pictures are left as they are.
  QString WithEntryLinks(const QString& markdown, bool commandPage) const;

 private:
  void AddPage(std::string_view markdown, bool commands);
  void AddTableRows(std::string_view markdown);
  void AddWord(const QString& key, const QString& text);

  QMap<QString, QString> commands_;
  QMap<QString, QString> words_;  // keys folded to lower case
  QMap<QString, QString> wordSpelling_;
};

class ReferencePane : public QDockWidget {
  Q_OBJECT
 public:
  explicit ReferencePane(QWidget* parent = nullptr);

  // Shows the entry for `key` and returns true, or shows the list of entries
  // with a note and returns false.
  bool ShowEntry(const ReferenceKey& key);
  // The same for the word at `column` of `line`.
  bool ShowAt(const QString& line, int column);

  QTextBrowser* Browser() const { return browser_; }
  // The entry on show ("" for the list).
  QString Shown() const { return shown_; }

  // Follows a link of the entry on show: another entry in the pane, or the
  // page of the HTML manual in the browser.
  void FollowLink(const QUrl& url);

 private:
  void ShowIndex(const QString& note);
  void FitPictures();

  ReferenceIndex index_;
  QTextBrowser* browser_;
  QString shown_;
};

}  // namespace qmt
