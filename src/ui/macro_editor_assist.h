// Help while typing in the tool window's macro editor, from the language
// engine the editors' language server uses: completion (Ctrl+Space, or
// after two letters of a name), calltips for built-ins after "(" and ",",
// and hover text when the mouse rests on a name.
#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <vector>

class QsciScintilla;

namespace qmt {

class NameTables;
namespace lang {
class MacroModel;
}

class MacroEditorAssist : public QObject {
  Q_OBJECT
 public:
  explicit MacroEditorAssist(QsciScintilla* editor);
  ~MacroEditorAssist() override;

  // The colour names the macro may use (name=value lines, code page 932),
  // as the tool window's colour page lists them.
  void SetColorList(std::vector<std::string> lines);
  // Shows the completion list for the caret's place.
  void Complete();
  // Shows the calltip for the call around the caret, or hides it.
  void ShowCalltip();
  // The hover text (Markdown) for a document position, empty if none.
  QString HoverText(int position);

 private:
  // Brings the model up to the editor's text; false if it cannot be read.
  bool Refresh();
  // The model's line and byte column for a document position.
  std::pair<int, int> Place(int position) const;
  void CharAdded(int ch);

  QsciScintilla* editor_;
  std::unique_ptr<NameTables> tables_;
  std::unique_ptr<lang::MacroModel> model_;
  QString analysed_;
  int wordStart_ = 0;
};

}  // namespace qmt
