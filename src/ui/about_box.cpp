#include "ui/about_box.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>
#include <Qsci/qsciglobal.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <jpeglib.h>
#include <png.h>

#include "support/version.h"

#if __has_include(<CLI/Version.hpp>)
#include <CLI/Version.hpp>
#endif
#if __has_include(<gif_lib.h>)
#include <gif_lib.h>
#endif

#define QMT_STRINGIZE2(x) #x
#define QMT_STRINGIZE(x) QMT_STRINGIZE2(x)

namespace qmt {
namespace {

struct Library {
  QString name;
  QString version;
  QString licence;
  QString use;
};

QList<Library> Libraries() {
  QList<Library> list = {
      {"Qt", qVersion(), "LGPL v3", "ウィンドウ"},
      {"QScintilla", QSCINTILLA_VERSION_STR, "GPL v3", "マクロエディタ"},
      {"FreeType", QString("%1.%2.%3").arg(FREETYPE_MAJOR).arg(FREETYPE_MINOR).arg(FREETYPE_PATCH),
       "FreeType License (FTL) または GPL v2", "文字の描画"},
      {"Fontconfig", QString("%1.%2.%3").arg(FC_MAJOR).arg(FC_MINOR).arg(FC_REVISION), "MIT 型ライセンス",
       "フォントの検索"},
      {"libpng", PNG_LIBPNG_VER_STRING, "PNG Reference Library License v2", "PNG の保存"},
#ifdef LIBJPEG_TURBO_VERSION
      {"libjpeg-turbo", QMT_STRINGIZE(LIBJPEG_TURBO_VERSION), "IJG License, 修正 BSD License, zlib License",
       "JPEG の読み込み"},
#endif
#ifdef CLI11_VERSION
      {"CLI11", CLI11_VERSION, "BSD 3-Clause License", "qmt のコマンドライン"},
#endif
#ifdef GIFLIB_MAJOR
      {"GIFLIB", QString("%1.%2.%3").arg(GIFLIB_MAJOR).arg(GIFLIB_MINOR).arg(GIFLIB_RELEASE), "MIT License",
       "GIF の保存"},
#endif
      {"IPAゴシック", "", "IPA フォントライセンス v1.0", "16・32 ドットの文字"},
      {"美咲ゴシック", "", "美咲フォントのライセンス (自由な利用・再配布)", "8 ドットの文字"},
  };
  return list;
}

}  // namespace

QString AboutText() {
  QString version = QString::fromUtf8(ProgramVersion());
  const QString revision = QString::fromUtf8(ProgramRevision());
  if (!revision.isEmpty()) version += " (git " + revision + ")";
  QString text = "<h3>QMT3308 シミュレータ</h3>";
  text += "<p>バージョン " + version.toHtmlEscaped() + "</p>";
  text += "<p>使用しているライブラリとフォント:</p><table cellspacing=\"4\">";
  text += "<tr><th align=\"left\">名前</th><th align=\"left\">版</th><th align=\"left\">ライセンス</th>"
          "<th align=\"left\">用途</th></tr>";
  for (const Library& l : Libraries()) {
    text += "<tr><td>" + l.name.toHtmlEscaped() + "</td><td>" + l.version.toHtmlEscaped() + "</td><td>" +
            l.licence.toHtmlEscaped() + "</td><td>" + l.use.toHtmlEscaped() + "</td></tr>";
  }
  text += "</table><p>各ライセンスの全文は /usr/share/doc の各パッケージのフォルダにある。</p>";
  return text;
}

void ShowAboutBox(QWidget* parent) {
  QMessageBox box(parent);
  box.setWindowTitle("バージョン情報");
  box.setTextFormat(Qt::RichText);
  box.setText(AboutText());
  box.setIconPixmap(QIcon::fromTheme("qmtsim", QApplication::windowIcon()).pixmap(64, 64));
  box.exec();
}

QString ManualIndex(const QString& programDir, const QString& systemDocDir) {
  const QStringList candidates = {
      programDir + "/../share/doc/qmt3308/html/index.html",
      programDir + "/../../manual-html/index.html",
      systemDocDir + "/html/index.html",
  };
  for (const QString& candidate : candidates) {
    const QFileInfo file(QDir::cleanPath(candidate));
    if (file.isFile()) return file.absoluteFilePath();
  }
  return {};
}

void OpenManual(QWidget* parent) {
  const QString index = ManualIndex(QCoreApplication::applicationDirPath());
  if (index.isEmpty()) {
    QMessageBox::information(parent, "マニュアル",
                             "HTML のマニュアルが見つかりません。\n"
                             "パッケージでは /usr/share/doc/qmt3308/html/ に入ります。ソースからは "
                             "scripts/build-manual.sh で作れます (build/manual-html/)。");
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(index)))
    QMessageBox::warning(parent, "マニュアル", QString("ブラウザで開けませんでした: %1").arg(index));
}

void AddHelpMenu(QMainWindow& window) {
  QMenu* help = window.menuBar()->addMenu("ヘルプ(&H)");
  QAction* manual = help->addAction("マニュアル(&M)");
  manual->setObjectName("actionManual");
  QObject::connect(manual, &QAction::triggered, &window, [&window] { OpenManual(&window); });
  QAction* about = help->addAction("バージョン情報(&A)…");
  about->setObjectName("actionAbout");
  QObject::connect(about, &QAction::triggered, &window, [&window] { ShowAboutBox(&window); });
}

}  // namespace qmt
