#include "ui/file_messages.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "host/unconvertible_text.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {


QString ErrnoText(int code) {
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
    case EEXIST: return QString::fromUtf8("すでにあります");
    case EFBIG: return QString::fromUtf8("ファイルが大きすぎます");
    case EMFILE:
    case ENFILE: return QString::fromUtf8("開いているファイルが多すぎます");
    case ENOMEM: return QString::fromUtf8("メモリが足りません");
    case EINVAL: return QString::fromUtf8("引数が正しくありません");
    case EBUSY: return QString::fromUtf8("ほかのプログラムが使用中です");
    case ENXIO:
    case ENODEV: return QString::fromUtf8("装置がありません");
    case ENOTTY: return QString::fromUtf8("この操作ができない種類のファイルです");
    case EPIPE: return QString::fromUtf8("読み手がいません");
    case ECONNREFUSED: return QString::fromUtf8("接続を拒否されました");
    case ECONNRESET: return QString::fromUtf8("接続を切られました");
    case ETIMEDOUT: return QString::fromUtf8("時間切れです");
    case EHOSTUNREACH: return QString::fromUtf8("ホストに届きません");
    case ENETUNREACH: return QString::fromUtf8("ネットワークに届きません");
    default: {
      // The code's short name (EXDEV) is no sentence but can be looked up.
      const char* name = strerrorname_np(code);
      return name ? QString::fromUtf8("エラー %1 (%2)").arg(code).arg(QString::fromLatin1(name))
                  : QString::fromUtf8("エラー %1").arg(code);
    }
  }
}

namespace {

// ": 理由", or nothing when no error number is known.
QString Because(int code) { return code == 0 ? QString() : QString::fromUtf8(": ") + ErrnoText(code); }

}  // namespace

QString FileErrorText(const std::exception& error) {
  const auto* file = dynamic_cast<const FileError*>(&error);
  // The encoder's own reason (libpng's, giflib's) is English and says
  // nothing a user can act on.
  if (file != nullptr && file->Operation() == FileError::Op::Encode)
    return QString::fromUtf8("画像のデータを作れませんでした");
  if (file == nullptr || file->Path().empty()) return QString::fromUtf8(error.what());
  const QString path = QString::fromStdString(file->Path());
  switch (file->Operation()) {
    case FileError::Op::Read:
      return QString::fromUtf8("「%1」を読めません%2").arg(path, Because(file->Code()));
    case FileError::Op::Write:
      return QString::fromUtf8("「%1」に保存できません%2").arg(path, Because(file->Code()));
    case FileError::Op::Contents:
      return QString::fromUtf8("「%1」は読める画像ファイルではありません").arg(path);
    case FileError::Op::Other:
    case FileError::Op::Encode: break;
  }
  return QString::fromUtf8(error.what());
}

QString UnconvertibleText(const QString& text, int firstLine, bool showCharacter) {
  return QString::fromStdString(UnconvertibleText(std::string_view(text.toStdString()), firstLine, showCharacter));
}

}  // namespace qmt
