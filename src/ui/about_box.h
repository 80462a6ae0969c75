// The Help menu and its "About" box: the program's version and the
// libraries it is built with, each with its licence.
#pragma once

#include <QString>

class QMainWindow;
class QWidget;

namespace qmt {

// The box's text (rich text): version, revision, libraries and licences.
QString AboutText();

// Shows the About box over `parent`.
void ShowAboutBox(QWidget* parent);

// Adds the Help menu with its About entry to `window`'s menu bar.
void AddHelpMenu(QMainWindow& window);

}  // namespace qmt
