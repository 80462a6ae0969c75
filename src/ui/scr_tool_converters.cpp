// TfScrTool: the bitmap converter and the line tracer, the window's side of
// them (the conversions themselves are in the host).
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTabWidget>

#include "host/bitmap_converter.h"
#include "support/encoding.h"
#include "ui/macro_editor.h"
#include "ui/scr_tool.h"
#include "ui/cp932_text.h"

namespace qmt {

namespace {

void InsertIntoMemo(QPlainTextEdit* memo, const std::string& cp932) {
  QString text = FromCp932(cp932);
  text.replace("\r\n", "\n");
  memo->insertPlainText(text);  // replaces the selection
}

}  // namespace

void TfScrTool::Tool1Click() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  BitMapPast1->setEnabled(data != nullptr && data->hasImage());
}

namespace {

// Writes each item to the text control that has the focus at that moment,
// or collects it for the clipboard.
class FocusEmitter : public ConverterEmitter {
 public:
  explicit FocusEmitter(TfScrTool& tool) : tool_(tool) {}
  void EmitGlyph(const std::string& data) override { Put(data, true); }
  void EmitCommand(const std::string& command) override { Put(command, false); }
  ClipboardCollector clipboard;

 private:
  void Put(const std::string& item, bool glyph) {
    QWidget* focus = QApplication::focusWidget();
    ConverterTarget target = ConverterTarget::Clipboard;
    if (focus == tool_.Memo1) target = ConverterTarget::Script;
    else if (focus == tool_.Memo2) target = ConverterTarget::CommandLines;
    else if (tool_.Editor1->EditorHasFocus()) target = ConverterTarget::MacroEditor;
    const std::string text = glyph ? GlyphText(target, item) : CommandText(target, item);
    switch (target) {
      case ConverterTarget::Script: InsertIntoMemo(tool_.Memo1, text); break;
      case ConverterTarget::CommandLines: InsertIntoMemo(tool_.Memo2, text); break;
      case ConverterTarget::MacroEditor: tool_.Editor1->InsertAtCaret(text); break;
      case ConverterTarget::Clipboard: clipboard.Add(text); break;
    }
  }
  TfScrTool& tool_;
};

// Black and white: a pixel is white (1) when its grey level is at least half.
MonoBitmap ToMono(const QImage& image) {
  MonoBitmap mono = MonoBitmap::Blank(image.width(), image.height());
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < rgb.height(); ++y)
    for (int x = 0; x < rgb.width(); ++x) mono.Set(x, y, qGray(rgb.pixel(x, y)) >= 128);
  return mono;
}

QImage ToImage(const MonoBitmap& mono) {
  QImage img(mono.width, mono.height, QImage::Format_RGB32);
  for (int y = 0; y < mono.height; ++y)
    for (int x = 0; x < mono.width; ++x) img.setPixel(x, y, mono.Get(x, y) ? 0xFFFFFFFF : 0xFF000000);
  return img;
}

}  // namespace

void TfScrTool::BitMapPast1Click() {
  const QImage image = QGuiApplication::clipboard()->image();
  if (image.isNull()) {
    SetMessage(Sjis("クリップボードに画像がありません"));
    return;
  }
  const MonoBitmap mono = ToMono(image);
  Image1->setPixmap(QPixmap::fromImage(ToImage(mono)));
  FocusEmitter emitter(*this);
  ConvertBitmap(mono, emitter);
  if (!emitter.clipboard.Empty())
    QGuiApplication::clipboard()->setText(QString::fromStdString(emitter.clipboard.Text()));
}

void TfScrTool::TraceLine(MouseButtons buttons, int x, int y, MouseEventKind kind, TraceSurface& surface) {
  tracer_.TraceLine(buttons, x, y, kind, surface, this);
}

TraceTarget::Page TfScrTool::ActivePage() const {
  QWidget* page = PageControl1->currentWidget();
  if (page == TabView) return Page::Test;
  if (page == TabTool) return Page::Tools;
  if (page == TabMacro) return Page::Macro;
  return Page::Other;
}

bool TfScrTool::ToolsPageShowing() const { return isVisible() && PageControl1->currentWidget() == TabTool; }

void TfScrTool::SetMouseText(const std::string& text) { LabMouse->setText(QString::fromStdString(text)); }

void TfScrTool::InsertIntoScript(const std::string& text) { InsertIntoMemo(Memo1, text); }

void TfScrTool::InsertIntoEditor(const std::string& text) { Editor1->InsertAtCaret(text); }

}  // namespace qmt
