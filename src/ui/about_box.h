// The Help menu: the user's manual (its HTML form, opened in the browser)
// and the "About" box with the program's version and the libraries it is
// built with, each with its licence.
#pragma once

#include <QString>

class QMainWindow;
class QWidget;

namespace qmt {

// The box's text (rich text): version, revision, libraries and licences.
QString AboutText();

// Shows the About box over `parent`.
void ShowAboutBox(QWidget* parent);

// The start page of the HTML manual for a program in `programDir`, or ""
// when there is none: installed beside the program (PREFIX/bin and
// PREFIX/share/doc/qmt3308/html), built in the build tree
// (build/apps/qmtsim and build/manual-html), or in `systemDocDir`.
QString ManualIndex(const QString& programDir, const QString& systemDocDir = "/usr/share/doc/qmt3308");

// Opens the manual in the desktop's browser, or says why it cannot.
void OpenManual(QWidget* parent);

// Adds the Help menu (manual, About) to `window`'s menu bar.
void AddHelpMenu(QMainWindow& window);

}  // namespace qmt
