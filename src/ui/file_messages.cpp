#include "ui/file_messages.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {

namespace {

QString Reason(int code) {
  switch (code) {
    case ENOENT: return QString::fromUtf8("ファイルがありません");
    case EACCES:
    case EPERM: return QString::fromUtf8("アクセスが許可されていません");
    case EISDIR: return QString::fromUtf8("フォルダです");
    case ENOTDIR: return QString::fromUtf8("途中の名前がフォルダではありません");
    case ENOSPC:
    case EDQUOT: return QString::fromUtf8("ディスクに空きがありません");
    case EROFS: return QString::fromUtf8("読み取り専用の場所です");
    case ELOOP: return QString::fromUtf8("シンボリックリンクが循環しています");
    case ENAMETOOLONG: return QString::fromUtf8("名前が長すぎます");
    case EIO: return QString::fromUtf8("入出力エラーです");
    default: return QString::fromUtf8("エラー %1 (%2)").arg(code).arg(QString::fromLocal8Bit(std::strerror(code)));
  }
}

}  // namespace

QString FileErrorText(const std::exception& error) {
  const auto* file = dynamic_cast<const FileError*>(&error);
  if (file == nullptr || file->Path().empty()) return QString::fromUtf8(error.what());
  const QString path = QString::fromStdString(file->Path());
  switch (file->Operation()) {
    case FileError::Op::Read:
      return QString::fromUtf8("「%1」を読めません: %2").arg(path, Reason(file->Code()));
    case FileError::Op::Write:
      return QString::fromUtf8("「%1」に保存できません: %2").arg(path, Reason(file->Code()));
    case FileError::Op::Contents:
      return QString::fromUtf8("「%1」は読める画像ファイルではありません").arg(path);
    case FileError::Op::Other: break;
  }
  return QString::fromUtf8(error.what());
}

bool FindUnconvertible(const QString& text, int& line, QString& character) {
  line = 1;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    const QString ch = text.mid(i, n);
    std::string out, error;
    if (!TryUtf8ToCp932(ch.toStdString(), out, error)) {
      character = ch;
      return true;
    }
    if (ch == "\n") ++line;
    i += n;
  }
  return false;
}

QString UnconvertibleText(const QString& text, int firstLine, bool showCharacter) {
  int line = 0;
  QString ch;
  if (!FindUnconvertible(text, line, ch)) return {};
  const char32_t cp = ch.size() == 2 ? QChar::surrogateToUcs4(ch[0], ch[1]) : ch[0].unicode();
  const QString code = QString::number(static_cast<uint>(cp), 16).toUpper().rightJustified(4, QChar('0'));
  const QString shown = showCharacter ? QString::fromUtf8(" (%1)").arg(ch) : QString();
  return QString::fromUtf8("%1行目の文字 U+%2%3 はシフトJISで表せません").arg(line - 1 + firstLine).arg(code, shown);
}

}  // namespace qmt
