// The windows' Japanese words for a port that could not be opened, and for
// error numbers.
#include <QtTest>
#include <cerrno>

#include "link/gwiopm.h"
#include "support/file_io.h"
#include "ui/file_messages.h"
#include "ui/link_messages.h"

using namespace qmt;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

class LinkMessagesTest : public QObject {
  Q_OBJECT
 private slots:
  void eachProblemKindInJapanese_data() {
    using Kind = LinkProblem::Kind;
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("target");
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, Kind kind, const char* port, const char* target, uint code, const char* text) {
      QTest::newRow(name) << static_cast<int>(kind) << QString(port) << QString(target) << code << U(text);
    };
    row("unknown", Kind::kUnknownPort, "serial", "", 0,
        "ポート「serial」は指定できません（none、virtual、ppdev[:デバイス]、direct[:アドレス]、lp:デバイス、"
        "tcp:ホスト:ポート、file:パス のどれか）。装置なしで動きます");
    row("no file ppdev", Kind::kNoTarget, "ppdev", "", 0,
        "ポート ppdev: にデバイスファイルの指定がありません（例: ppdev:/dev/parport0）。装置なしで動きます");
    row("no address tcp", Kind::kNoTarget, "tcp", "", 0,
        "ポート tcp: にアドレスの指定がありません（例: tcp:127.0.0.1:3308）。装置なしで動きます");
    row("no file", Kind::kNoTarget, "file", "", 0,
        "ポート file: にファイルの指定がありません（例: file:パス）。装置なしで動きます");
    row("bad direct address", Kind::kBadAddress, "direct:zz", "zz", 0,
        "ポート direct:zz のアドレスが使えません（0x378、0x278 か 65532 までの10進数）。装置なしで動きます");
    row("bad tcp address", Kind::kBadAddress, "tcp:host:99999", "host:99999", 0,
        "ポート tcp:host:99999 を使えません: 「host:99999」はアドレスではありません（ホスト:ポート、例えば "
        "127.0.0.1:3308）。装置なしで動きます");
    row("cannot open", Kind::kCannotOpen, "lp:/x", "/x", ENOENT,
        "ポート lp:/x を使えません: 「/x」を開けません: ファイルがありません。装置なしで動きます");
    row("cannot open, refused", Kind::kCannotOpen, "ppdev:/dev/parport0", "/dev/parport0", EACCES,
        "ポート ppdev:/dev/parport0 を使えません: 「/dev/parport0」を開けません: アクセスが許可されていません。"
        "装置なしで動きます");
    row("cannot claim", Kind::kCannotClaim, "ppdev:/dev/parport0", "/dev/parport0", EBUSY,
        "ポート ppdev:/dev/parport0 を使えません: 「/dev/parport0」を確保できません: ほかのプログラムが使用中です。"
        "装置なしで動きます");
    row("no port instructions", Kind::kNoPortInstructions, "direct:0x378", "", 0,
        "ポート direct:0x378 には x86 のポート命令が必要ですが、このマシンにはありません。装置なしで動きます");
    row("no ioperm", Kind::kNoPermissionCall, "direct:0x378", "", 0,
        "ポート direct:0x378 を使えません: このカーネルにはポートの使用許可 (ioperm) がありません。"
        "カーネルのパラレルポートドライバを使ってください（--port ppdev:/dev/parport0）。装置なしで動きます");
    row("grant denied", Kind::kGrantRefused, "direct:0x378", "", kErrorAccessDenied,
        "ポート direct:0x378 を使えません: ポートの使用許可: 拒否されました。ポート命令には root か CAP_SYS_RAWIO "
        "が必要です。装置なしで動きます");
    row("grant other", Kind::kGrantRefused, "direct:0x378", "", 1075,
        "ポート direct:0x378 を使えません: ポートの使用許可: ドライバのエラー 1075。装置なしで動きます");
  }

  void eachProblemKindInJapanese() {
    QFETCH(int, kind);
    QFETCH(QString, port);
    QFETCH(QString, target);
    QFETCH(uint, code);
    QFETCH(QString, text);
    const LinkProblem problem{static_cast<LinkProblem::Kind>(kind), port.toStdString(), target.toStdString(), code};
    QCOMPARE(LinkProblemMessage(problem), text);
  }

  void noProblemNoText() { QVERIFY(LinkProblemMessage(LinkProblem{}).isEmpty()); }

  // Error numbers outside the worded list keep their number and short name,
  // never the C library's English sentence; nor does a failed encoder's.
  void errorNumbersAndFileErrors() {
    QCOMPARE(ErrnoText(ECONNREFUSED), U("接続を拒否されました"));
    QCOMPARE(ErrnoText(EXDEV), U("エラー %1 (EXDEV)").arg(EXDEV));
    QCOMPARE(ErrnoText(100000), U("エラー 100000"));
    QCOMPARE(FileErrorText(FileError("cannot encode PNG: out of memory", "", FileError::Op::Encode)),
             U("画像のデータを作れませんでした"));
    QCOMPARE(FileErrorText(FileError("cannot write /a/b: cannot create /a", "/a/b", FileError::Op::Write, EACCES)),
             U("「/a/b」に保存できません: アクセスが許可されていません"));
    QCOMPARE(FileErrorText(FileError("cannot write /a/b", "/a/b", FileError::Op::Write)), U("「/a/b」に保存できません"));
  }
};

QTEST_MAIN(LinkMessagesTest)
#include "link_messages_test.moc"
