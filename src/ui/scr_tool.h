// TfScrTool: the development window.  The macro editor with compile&go, a
// command test page with a runner of its own, video-page files, display-page
// selection, the measuring grid, the compiler's lists and error log, the
// palette of named colours, the P-code listing, the trace switch, and the
// bitmap and line converters.  Its caption is the message line of runs.
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/data_module.h"
#include "host/editor_recovery.h"
#include "host/line_tracer.h"
#include "runtime/runner.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QDockWidget;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QTimer;

namespace qmt {

class MacroEditor;
class TScript;
class PaletteBox;
class ReferencePane;

// What the window needs of the data module, the simulator window and the
// port link, beyond what the data module asks of it (ToolWindowPort).  Text
// is code page 932.
class ScrToolHost {
 public:
  virtual ~ScrToolHost() = default;
  // The compiler component; its OnErrorMsg appends to this window's log.
  virtual TScript& Script1() = 0;
  virtual std::string MacroFilePath() const = 0;
  // Where the colour file is saved.
  virtual std::string ColourFilePath() const = 0;
  // The colour list read at start (ReadProgramMacro); none: the built-in list.
  virtual std::optional<std::vector<std::string>> StartColourList() const { return std::nullopt; }
  // Replaces the lines of `Macro`.
  virtual void SetMacroLines(const std::vector<std::string>& lines) = 0;
  // The data module's CompileMacro (the macro lines as they are), then the
  // simulator's StartMacro.
  virtual void CompileMacro() = 0;
  virtual void StartMacro() = 0;
  virtual std::vector<std::string> FuncLabelLines() const = 0;
  virtual std::vector<std::string> ExtValueLines() const = 0;
  virtual std::vector<std::string> ConstantLines() const = 0;
  // Transmits a line to the real device; false when it does not answer.
  virtual bool SendLine(std::string_view line) = 0;
};

// Opens a file with the desktop's handler for it (the shell's "Open").  The
// handler may report later; `failed` then receives why, in Japanese.
class ShellOpener {
 public:
  virtual ~ShellOpener() = default;
  virtual void Open(const std::string& path, std::function<void(const QString& why)> failed) = 0;
};

// The desktop's opener: xdg-open, whose failure (no program for the file,
// xdg-open missing) is reported.
std::shared_ptr<ShellOpener> DesktopOpener(QObject* parent);

class TfScrTool : public QMainWindow, public ToolWindowPort, public TraceTarget {
  Q_OBJECT
 public:
  explicit TfScrTool(ScrToolHost& host, QWidget* parent = nullptr);
  ~TfScrTool() override;

  // The colour list of the colour page when no colour file exists.
  static const std::vector<std::string>& DefaultColourList();

  // --- used by the data module and the simulator window -----------------
  // The caption is the message line (code page 932).
  void SetMessage(const std::string& cp932);
  std::string Message() const;
  // ToolWindowPort: the error log (one message per line), the label page's
  // lists, the colour list, the Err page and the editor.
  const std::vector<std::string>& ErrLog() const override { return errLog_; }
  void ClearErrLog() override;
  void AppendErrLog(const std::string& cp932) override;
  void SetMLabel(const std::vector<std::string>& lines) override;
  void SetMVariable(const std::vector<std::string>& lines) override;
  const std::vector<std::string>& ColorList() const override { return colours_; }
  void SetErrPageVisible(bool visible) override;
  void SetEditorLines(const std::vector<std::string>& lines) override;
  // The Err tab is shown exactly when the log has lines.
  void UpdateErrPageVisibility();
  // Shows the window with the Err page in front and focused.
  void ShowErrPage() override;
  // The main runner's message handler: caption, window in front, macro page,
  // and the line of the message's pc marked in the editor.
  void ShowRunMessage(const std::string& cp932);
  // Editor1's lines (code page 932); false with a message when a character
  // cannot be held by code page 932.
  bool EditorLines(std::vector<std::string>& lines, std::string& error) const;
  // The value of the first colour line named `name` (case ignored); false
  // when there is none.
  bool ColourValue(const std::string& name, std::string& value) const;
  void SetColourList(std::vector<std::string> lines);

  // The line tracer, called by the simulator window for every mouse event on
  // its display.
  void TraceLine(MouseButtons buttons, int x, int y, MouseEventKind kind, TraceSurface& surface);
  const LineTracer& Tracer() const { return tracer_; }

  // --- replaceable platform pieces (tests put their own) ----------------
  // The caption of a cleared message line.
  static const QString kBlankCaption;

  void SetShellOpener(std::shared_ptr<ShellOpener> opener) { opener_ = std::move(opener); }
  // The standard error box.
  std::function<void(const QString& message)> errorBox;
  // The file dialog of "読込(&L)": returns the chosen path or "".
  std::function<QString()> openDialog;

  // --- crash recovery of the editor's text -----------------------------
  // Keeps the editor's text aside in `path` every `intervalMs` while it
  // differs from what was last saved; a clean exit of the application and a
  // save remove it.  Off until called (tests make windows of their own).
  void EnableRecovery(const std::string& path, int intervalMs = 3000);
  // The timer's work: keeps the modified text aside, or removes what was
  // kept once the text is saved.  A failure is reported once until a later
  // try succeeds.
  void KeepEditorAside();
  // Offers the text an earlier run left: shows it in the editor when the
  // user takes it (still unsaved, so it is kept aside again), removes it
  // when declined.  Returns true when it was restored.
  bool OfferRecovery();
  // Asks whether to restore text kept aside at `when` (a local time).
  std::function<bool(const QString& when)> recoveryPrompt;
  const EditorRecovery* Recovery() const { return recovery_.get(); }

  // --- handlers ----------------------------------------------------------
  void FormActivate();
  void N3Click();          // compile&go
  void Save1Click();
  void L1Click();
  void N2Click();          // other editor
  void R1Click();          // test run
  void PCODElist1Click();
  void Debug1Click();
  void Tool1Click();
  void BitMapPast1Click();
  void Button2Click();     // VRAM_SAVE
  void Button3Click();     // VRAM_LOAD
  void Button4Click();     // QMTコマンド実行
  void Button5Click();     // grid
  void RadioGroup1Click(int index);
  void PageControl1Change();
  void RadioColorClick(int index);
  void TrackBar1Change(int position);
  void SendIfChecked(std::string_view line);
  // F1: the reference entry of the word under the caret of the macro editor
  // or the test script, or of the command line under the caret, in the
  // reference pane.
  void ShowReference();

  // TraceTarget
  Page ActivePage() const override;
  bool ToolsPageShowing() const override;
  void SetMouseText(const std::string& text) override;
  void InsertIntoScript(const std::string& text) override;
  void InsertIntoEditor(const std::string& text) override;

  // Controls, by their form names.
  QTabWidget* PageControl1;
  QWidget *TabView, *TabTool, *TabMacro, *TabLabel, *TabErr, *TabColor;
  QPushButton *Button1, *Button2, *Button3, *Button4, *Button5, *Button6;
  QCheckBox* CheckRun;
  QPlainTextEdit *Memo1, *Memo2;
  QGroupBox* RadioGroup1;
  QButtonGroup* RadioGroup1Buttons;
  QLabel *LabMouse, *Image1, *Label1, *Label2, *LabelColor, *PanelColor;
  QLineEdit *Edit1, *Edit2;
  MacroEditor* Editor1 = nullptr;
  QPlainTextEdit *MLabel, *MVariable, *MConst, *MExtFunc, *MExtLabel;
  QPlainTextEdit* ErrMemo;  // shows ErrLog()
  PaletteBox* PaintBox1;
  QSlider* TrackBar1;
  QGroupBox* RadioColor;
  QButtonGroup* RadioColorButtons;
  QPlainTextEdit* TracePane;
  QDockWidget* TraceDock;
  ReferencePane* ReferenceDock;  // the built-in reference, F1
  QMenu *Test1, *Tool1;
  QAction *N1, *Save1, *L1, *N2, *R1, *PCODElist1, *Debug1, *BitMapPast1;

  // The runner of test runs.
  TRunner& ToolRunner() { return toolRunner_; }
  std::int64_t ExternalEditAge() const { return externalEditAge_; }

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void BuildPages();
  void BuildMenu();
  void RefreshColourButtons();
  void ColourPanel(std::uint8_t colour, const QString& caption);
  void SaveColourFile();
  // Saves the editor's text; false (after saying why) when it could not.
  bool SaveMacroFile(const std::string& path);
  void ReportError(const std::string& cp932);
  void ReportFileError(const std::exception& error);
  // Opens `path` with the desktop's handler; a failure goes to the message
  // line.
  void OpenWithDesktop(const std::string& path);
  int ErrPageIndex() const;
  void AppendMemo2(const std::string& cp932);
  // Reports a text that code page 932 cannot hold, in the error log.
  void ReportUnconvertible(const char* where, const QString& text);

  ScrToolHost& host_;
  TRunner toolRunner_;
  LineTracer tracer_;
  std::shared_ptr<ShellOpener> opener_;
  std::vector<std::string> colours_;
  std::vector<std::string> errLog_;
  std::vector<QRadioButton*> colourButtons_;
  std::int64_t externalEditAge_ = 0;
  bool lastCompileWasTest_ = false;
  std::unique_ptr<EditorRecovery> recovery_;
  QTimer* recoveryTimer_ = nullptr;
  bool recoveryFailed_ = false;
};

// The modification time of a file in nanoseconds, 0 when it has none.
std::int64_t FileAge(const std::string& path);

// The source line (0-based) of the instruction at `pc` in the last compile,
// -1 when no token has that address.
int SourceLineOfPc(const TScript& script, int pc);

}  // namespace qmt
