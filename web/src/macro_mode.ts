// The macro language for CodeMirror: keywords, built-ins, labels, strings,
// comments and numbers.  The word lists come from the VS Code grammar, so the
// editors agree on what a keyword is.
import { HighlightStyle, StreamLanguage, StringStream, syntaxHighlighting } from "@codemirror/language";
import { tags } from "@lezer/highlight";
import grammar from "../../editors/vscode/syntaxes/qmt-macro.tmLanguage.json";

type Rule = { name?: string; match?: string };

// The words of a rule "(?i)\b(A|B|C)\b..." of the grammar's repository.
function words(rules: Rule[], scope: string): Set<string> {
  const out = new Set<string>();
  for (const r of rules) {
    if (!r.name?.startsWith(scope) || !r.match) continue;
    const group = /\(([^()?]+)\)/.exec(r.match);
    if (group) for (const w of group[1].split("|")) out.add(w.toLowerCase());
  }
  return out;
}

const repo = (grammar as { repository: Record<string, Rule & { patterns?: Rule[] }> }).repository;
export const keywords = words(repo.keywords.patterns ?? [], "keyword");
export const builtins = words([repo.builtins], "support.function.builtin");

interface State {
  inComment: boolean;
}

const identStart = /[A-Za-z_\u0080-\uffff]/;
const ident = /[A-Za-z0-9_\u0080-\uffff]*/;

export const macroLanguage = StreamLanguage.define<State>({
  name: "qmt-macro",
  startState: () => ({ inComment: false }),
  copyState: (s) => ({ ...s }),
  token(stream: StringStream, state: State): string | null {
    if (state.inComment) {
      if (stream.skipTo("*/")) {
        stream.pos += 2;
        state.inComment = false;
      } else {
        stream.skipToEnd();
      }
      return "comment";
    }
    if (stream.eatSpace()) return null;
    if (stream.match("//")) {
      stream.skipToEnd();
      return "comment";
    }
    if (stream.match("/*")) {
      state.inComment = true;
      return "comment";
    }
    if (stream.peek() === '"') {
      stream.next();
      while (!stream.eol()) {
        const c = stream.next();
        if (c === "\\") stream.next();
        else if (c === '"') break;
      }
      return "string";
    }
    if (stream.match(/^(\$|0[xX])[0-9A-Fa-f]+/) || stream.match(/^[0-9]+/)) return "number";
    if (stream.match(/^@[0-9]*/)) return "variableName.special";
    const c = stream.peek() ?? "";
    if (identStart.test(c)) {
      const atLineStart = stream.string.slice(0, stream.pos).trim() === "";
      stream.next();
      stream.match(ident);
      const word = stream.current();
      // A label: a name at the start of a line followed by ":" (not ":=").
      if (atLineStart && /^\s*:(?!=)/.test(stream.string.slice(stream.pos))) return "labelName";
      const lower = word.toLowerCase();
      if (keywords.has(lower)) return "keyword";
      if (builtins.has(lower) && /^\s*\(/.test(stream.string.slice(stream.pos))) return "variableName.standard";
      return "variableName";
    }
    stream.next();
    return null;
  },
  languageData: { commentTokens: { line: "//", block: { open: "/*", close: "*/" } } },
});

// The desktop editor's colours: yellow reserved words, aqua comments, lime
// strings on black.
export const macroHighlight = syntaxHighlighting(
  HighlightStyle.define([
    { tag: tags.keyword, color: "#ffff00" },
    { tag: tags.standard(tags.variableName), color: "#ffff00" },
    { tag: tags.comment, color: "#00ffff" },
    { tag: tags.string, color: "#00ff00" },
    { tag: tags.labelName, color: "#ff80ff", fontWeight: "bold" },
    { tag: tags.number, color: "#ffc080" },
    { tag: tags.special(tags.variableName), color: "#80c0ff" },
  ]),
);
