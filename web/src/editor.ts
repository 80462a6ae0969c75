// The macro editor: black, fixed pitch, line numbers, tab width 8, undo,
// auto-indent, and the macro language's colours.
import { defaultKeymap, history, historyKeymap, indentWithTab } from "@codemirror/commands";
import { indentUnit } from "@codemirror/language";
import { EditorState } from "@codemirror/state";
import {
  EditorView, drawSelection, highlightActiveLine, highlightActiveLineGutter, highlightSpecialChars, keymap, lineNumbers,
} from "@codemirror/view";
import { macroHighlight, macroLanguage } from "./macro_mode";

// The core opens a byte that code page 932 does not hold (and NUL) as the
// character U+F0000 + byte, and saves it back as that byte: shown here as
// the byte's value in a box, not as a character.
const keptByteFirst = 0xf0000;
const keptBytes = /[\u{F0000}-\u{F00FF}]/u;

function specialChar(code: number, description: string | null, placeholder: string): HTMLElement {
  const span = document.createElement("span");
  const byte = code - keptByteFirst;
  if (byte >= 0 && byte <= 0xff) {
    const hex = byte.toString(16).toUpperCase().padStart(2, "0");
    span.className = "cm-keptByte";
    span.textContent = hex;
    const what = byte === 0 ? "NUL バイト" : "シフトJISの文字にならないバイト";
    span.title = `${what} 0x${hex}（保存するとそのまま残ります）`;
  } else {
    // Other control characters as the editor shows them by default.
    span.className = "cm-specialChar";
    span.textContent = placeholder;
    span.title = description ?? "";
  }
  span.setAttribute("aria-label", span.title);
  return span;
}

export interface MacroEditor {
  text(): string;
  setText(text: string): void;
  gotoLine(line: number): void;
  focus(): void;
}

export function createEditor(parent: HTMLElement, onChange: (text: string) => void,
                             keys: { compileAndGo: () => void; save: () => void }): MacroEditor {
  // Set while the page itself replaces the text: only the user's edits count.
  let quiet = false;
  const view = new EditorView({
    parent,
    state: EditorState.create({
      doc: "",
      extensions: [
        lineNumbers(),
        highlightActiveLineGutter(),
        highlightActiveLine(),
        drawSelection(),
        highlightSpecialChars({ addSpecialChars: keptBytes, render: specialChar }),
        EditorState.phrases.of({ "Control character": "制御文字" }),
        history({ minDepth: 64 }),
        EditorState.tabSize.of(8),
        indentUnit.of("\t"),
        macroLanguage,
        macroHighlight,
        keymap.of([
          { key: "F9", preventDefault: true, run: () => (keys.compileAndGo(), true) },
          { key: "Mod-s", preventDefault: true, run: () => (keys.save(), true) },
          indentWithTab,
          ...defaultKeymap,
          ...historyKeymap,
        ]),
        EditorView.updateListener.of((u) => {
          if (u.docChanged && !quiet) onChange(u.state.doc.toString());
        }),
        EditorView.contentAttributes.of({ "aria-label": "マクロ", spellcheck: "false" }),
      ],
    }),
  });
  return {
    text: () => view.state.doc.toString(),
    setText(text: string) {
      quiet = true;
      try {
        view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text }, selection: { anchor: 0 } });
      } finally {
        quiet = false;
      }
    },
    gotoLine(line: number) {
      const doc = view.state.doc;
      const l = doc.line(Math.min(Math.max(1, line), doc.lines));
      view.dispatch({ selection: { anchor: l.from, head: l.to }, scrollIntoView: true });
      view.focus();
    },
    focus: () => view.focus(),
  };
}
