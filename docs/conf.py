# The HTML manual: the Japanese user's manual (manual/), its English pages
# (manual/en/) and the guides beside it, built by scripts/build-manual.sh.
import re

project = "QMT3308 シミュレータ"
author = "QMT3308 simulator developers"
copyright = "QMT3308 simulator developers"
language = "ja"

extensions = ["myst_parser"]
source_suffix = {".md": "markdown"}
root_doc = "manual/README"
exclude_patterns = ["_build", "**/node_modules"]
# Headings become link targets ("tools.md#ファイル"), as on the forge.
myst_heading_anchors = 3
myst_enable_extensions = ["colon_fence"]
# The live examples' blocks carry their own languages ("qmt", "console");
# an unknown one is shown plain rather than failing the build.
highlight_language = "none"
suppress_warnings = ["misc.highlighting_failure", "myst.header"]

html_theme = "alabaster"
html_title = "QMT3308 シミュレータ 利用者の手引き"
html_static_path = ["_static"]
html_css_files = ["print.css"]
html_js_files = ["ja_search.js"]
html_show_sourcelink = False
html_copy_source = False
html_theme_options = {"page_width": "1100px", "sidebar_width": "240px", "show_relbars": True}
html_sidebars = {"**": ["searchbox.html", "localtoc.html", "relations.html"]}
# Japanese full-text search: words are cut by the built-in TinySegmenter, so
# a word such as 描画ページ or 外部変数 is found inside running text.
html_search_language = "ja"


# The pages link to each other as plain Markdown, as they read on the forge;
# there is no toctree, so none of them is an orphan to complain about.
def _no_orphans(app, doctree):
    app.env.metadata[app.env.docname]["orphan"] = True


def _macro_lexer():
    # The macro language, coloured as the tool window's editor does: comments,
    # strings, numbers, keywords and labels.
    import re
    from pygments.lexer import RegexLexer
    from pygments import token

    class MacroLexer(RegexLexer):
        name = "QMT3308 macro"
        aliases = ["qmt"]
        flags = re.MULTILINE | re.DOTALL
        tokens = {
            "root": [
                (r"//.*?$", token.Comment.Single),
                (r"/\*.*?\*/", token.Comment.Multiline),
                (r'"(\\.|[^"\\\n])*"?', token.String),
                (r"^[ \t]*[^\W\d]\w*:", token.Name.Label),
                (r"(?i:\b(AND|OR|XOR|GOSUB|GOTO|IF|THEN|EXIT|RET|DO|WHILE)\b)", token.Keyword),
                (r"(\$|0x)[0-9A-Fa-f]+|0b[01 ]+|\d+", token.Number),
                (r"@\d+", token.Name.Variable),
                (r"[^\W\d]\w*", token.Name),
                (r"[-+*/&|!<>=(),:;@]", token.Operator),
                (r"\s+", token.Text),
                (r".", token.Text),
            ]
        }

    return MacroLexer


# Japanese paragraphs are wrapped in the Markdown source; a line break
# between two Japanese characters is no space in the text.
_CJK = "\u3000-\u30ff\u3400-\u9fff\uff00-\uffef"
_JOINED_LINE = re.compile(f"(?<=[{_CJK}])\\n(?=[{_CJK}])")


def _join_japanese_lines(app, doctree):
    from docutils import nodes

    cjk = re.compile(f"[{_CJK}]")
    for text in list(doctree.findall(nodes.Text)):
        parent = text.parent
        if isinstance(parent, (nodes.literal_block, nodes.literal, nodes.raw)):
            continue
        joined = _JOINED_LINE.sub("", str(text))
        # Text nodes are strings and compare equal by value: find this one
        # by identity.
        at = next(i for i, child in enumerate(parent.children) if child is text)
        if joined == "\n":
            # MyST gives a soft line break a text node of its own.
            before = parent[at - 1].astext() if at > 0 else ""
            after = parent[at + 1].astext() if at + 1 < len(parent) else ""
            if before and after and cjk.match(before[-1]) and cjk.match(after[0]):
                joined = ""
        if joined != str(text):
            replacement = nodes.Text(joined)
            replacement.parent = parent
            parent.children[at] = replacement


def setup(app):
    app.connect("doctree-read", _no_orphans, priority=900)
    app.connect("doctree-read", _join_japanese_lines)
    app.add_lexer("qmt", _macro_lexer())
