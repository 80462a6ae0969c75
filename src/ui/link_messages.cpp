#include "ui/link_messages.h"

#include "link/gwiopm.h"
#include "ui/file_messages.h"

namespace qmt {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// What an empty argument leaves out, and an example of one that works.
QString Missing(const std::string& kind) {
  if (kind == "ppdev") return QString::fromUtf8("デバイスファイルの指定がありません（例: ppdev:/dev/parport0）");
  if (kind == "direct") return QString::fromUtf8("アドレスの指定がありません（例: direct:0x378）");
  if (kind == "tcp") return QString::fromUtf8("アドレスの指定がありません（例: tcp:127.0.0.1:3308）");
  if (kind == "lp") return QString::fromUtf8("デバイスファイルの指定がありません（例: lp:/dev/usb/lp0）");
  return QString::fromUtf8("ファイルの指定がありません（例: file:パス）");
}

QString GrantText(DriverResult code) {
  switch (code) {
    case kErrorAccessDenied:
      return QString::fromUtf8("拒否されました。ポート命令には root か CAP_SYS_RAWIO が必要です");
    case kErrorInvalidParameter: return QString::fromUtf8("ポートの範囲が正しくありません");
    case kErrorInvalidFunction: return QString::fromUtf8("カーネルが要求を受け付けません");
    case kErrorFileNotFound: return QString::fromUtf8("ドライバが見つかりません");
    case kErrorInvalidHandle:
    case kNoDeviceHandle: return QString::fromUtf8("ドライバを開けません");
    case kNoServiceManager: return QString::fromUtf8("ドライバを管理する仕組みに接続できません");
    default: return QString::fromUtf8("ドライバのエラー %1").arg(code);
  }
}

}  // namespace

QString LinkProblemMessage(const LinkProblem& problem) {
  using Kind = LinkProblem::Kind;
  const QString port = Q(problem.port);
  const QString target = Q(problem.target);
  QString text;
  switch (problem.kind) {
    case Kind::kNone: return {};
    case Kind::kUnknownPort:
      text = QString::fromUtf8("ポート「%1」は指定できません（none、virtual、ppdev[:デバイス]、direct[:アドレス]、"
                               "lp:デバイス、tcp:ホスト:ポート、file:パス のどれか）")
                 .arg(port);
      break;
    case Kind::kNoTarget:
      text = QString::fromUtf8("ポート %1: に%2").arg(port, Missing(problem.port));
      break;
    case Kind::kBadAddress:
      text = problem.port.rfind("direct:", 0) == 0
                 ? QString::fromUtf8("ポート %1 のアドレスが使えません（0x378、0x278 か 65532 までの10進数）")
                       .arg(port)
                 : QString::fromUtf8("ポート %1 を使えません: 「%2」はアドレスではありません"
                                     "（ホスト:ポート、例えば 127.0.0.1:3308）")
                       .arg(port, target);
      break;
    case Kind::kCannotOpen:
      text = QString::fromUtf8("ポート %1 を使えません: 「%2」を開けません: %3")
                 .arg(port, target, ErrnoText(static_cast<int>(problem.code)));
      break;
    case Kind::kCannotClaim:
      text = QString::fromUtf8("ポート %1 を使えません: 「%2」を確保できません: %3")
                 .arg(port, target, ErrnoText(static_cast<int>(problem.code)));
      break;
    case Kind::kNoPortInstructions:
      text = QString::fromUtf8("ポート %1 には x86 のポート命令が必要ですが、このマシンにはありません").arg(port);
      break;
    case Kind::kNoPermissionCall:
      text = QString::fromUtf8("ポート %1 を使えません: このカーネルにはポートの使用許可 (ioperm) がありません。"
                               "カーネルのパラレルポートドライバを使ってください（--port ppdev:/dev/parport0）")
                 .arg(port);
      break;
    case Kind::kGrantRefused:
      text = QString::fromUtf8("ポート %1 を使えません: ポートの使用許可: %2").arg(port, GrantText(problem.code));
      break;
  }
  return text + QString::fromUtf8("。装置なしで動きます");
}

}  // namespace qmt
