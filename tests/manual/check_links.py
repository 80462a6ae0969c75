#!/usr/bin/env python3
"""The manual's links hold, in the source tree and where it is installed.

    check_links.py --build BUILD_DIR --qmt QMT [--qmtsim QMTSIM]

1. Every relative link and picture of README.md and of the Markdown under
   docs/ names a file that exists, and a #fragment of a Markdown page names
   one of its headings (as the forge makes heading anchors).
2. The HTML manual (BUILD_DIR/manual-html, made by scripts/build-manual.sh)
   has no link or picture that leads nowhere, fragments included.
3. Installed into a scratch prefix (cmake --install), every page the manual
   pages of qmt and qmtsim point to is there: share/doc/qmt3308/... paths
   and the guides they name as docs/NAME.md.
"""
import argparse
import html.parser
import re
import subprocess
import sys
import tempfile
import unicodedata
from pathlib import Path
from urllib.parse import unquote, urlsplit

ROOT = Path(__file__).resolve().parents[2]
LINK = re.compile(r"!?\[(?:[^\]\\]|\\.)*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
FENCE = re.compile(r"^(```|~~~).*?^\1", re.S | re.M)
INLINE_CODE = re.compile(r"`[^`\n]*`")
problems = []


def slug(heading):
    """The anchor the forge gives a heading: lower case, punctuation dropped,
    blanks as hyphens (letters of every script kept)."""
    text = re.sub(r"`|\*|_(?=\W)|(?<=\W)_", "", heading.strip()).lower()
    kept = "".join(c for c in text if c in " -_" or unicodedata.category(c)[0] in "LNM")
    return kept.replace(" ", "-")


def anchors_of(page):
    text = FENCE.sub("", page.read_text(encoding="utf-8"))
    seen, out = {}, set()
    for heading in re.findall(r"^#{1,6} (.*)$", text, re.M):
        base = slug(heading)
        n = seen.get(base, 0)
        seen[base] = n + 1
        out.add(base if n == 0 else f"{base}-{n}")
    return out


def check_markdown(page):
    text = INLINE_CODE.sub("", FENCE.sub("", page.read_text(encoding="utf-8")))
    for target in LINK.findall(text):
        parts = urlsplit(target)
        if parts.scheme or target.startswith("mailto:"):
            continue
        path = unquote(parts.path)
        dest = (page.parent / path) if path else page
        where = f"{page.relative_to(ROOT)}: {target}"
        if not dest.exists():
            problems.append(f"{where}: no file {dest.relative_to(ROOT) if dest.is_relative_to(ROOT) else dest}")
        elif parts.fragment and dest.suffix == ".md" and unquote(parts.fragment) not in anchors_of(dest):
            problems.append(f"{where}: no heading #{unquote(parts.fragment)} in {dest.name}")


class Refs(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.refs = set(), []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for key in ("id", "name"):
            if attrs.get(key):
                self.ids.add(attrs[key])
        for key in ("href", "src"):
            if attrs.get(key) and tag in ("a", "img", "link", "script"):
                self.refs.append(attrs[key])


def check_html(site):
    parsed = {}

    def parse(page):
        if page not in parsed:
            refs = Refs()
            refs.feed(page.read_text(encoding="utf-8"))
            parsed[page] = refs
        return parsed[page]

    pages = sorted(site.rglob("*.html"))
    if not pages:
        problems.append(f"{site}: no HTML pages (scripts/build-manual.sh makes them)")
    for page in pages:
        for target in parse(page).refs:
            parts = urlsplit(target)
            if parts.scheme or target.startswith(("mailto:", "javascript:")):
                continue
            dest = (page.parent / unquote(parts.path)).resolve() if parts.path else page
            where = f"{page.relative_to(site)}: {target}"
            if not dest.exists():
                problems.append(f"{where}: leads nowhere")
            elif parts.fragment and dest.suffix == ".html" and unquote(parts.fragment) not in parse(dest).ids:
                problems.append(f"{where}: no #{unquote(parts.fragment)} in {dest.name}")


def check_installed(build, programs):
    with tempfile.TemporaryDirectory() as prefix:
        result = subprocess.run(["cmake", "--install", str(build), "--prefix", prefix],
                                capture_output=True, text=True)
        if result.returncode != 0:
            problems.append(f"cmake --install failed: {result.stderr.strip()}")
            return
        doc = Path(prefix) / "share" / "doc" / "qmt3308"
        for must in ("html/index.html", "html/manual/README.html", "manual/README.md"):
            if not (doc / must).is_file():
                problems.append(f"not installed: share/doc/qmt3308/{must}")
        for program in programs:
            page = subprocess.run([program, "--generate-doc", "man"], capture_output=True, text=True).stdout
            name = Path(program).name
            if not page:
                problems.append(f"{name} --generate-doc man printed nothing")
            for path in set(re.findall(r"/usr/share/doc/qmt3308/([\w./-]+[\w/])", page)):
                if not (doc / path).exists():
                    problems.append(f"{name}(1) names /usr/share/doc/qmt3308/{path}, which is not installed")
            for guide in set(re.findall(r"docs/([a-z][a-z0-9-]*)\.md", page)):
                for installed in (f"{guide}.md", f"html/{guide}.html"):
                    if not (doc / installed).exists():
                        problems.append(f"{name}(1) names docs/{guide}.md, but {installed} is not installed")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, type=Path)
    parser.add_argument("--qmt", required=True)
    parser.add_argument("--qmtsim")
    args = parser.parse_args()
    for page in [ROOT / "README.md", *sorted((ROOT / "docs").rglob("*.md"))]:
        if "node_modules" not in page.parts:
            check_markdown(page)
    check_html(args.build / "manual-html")
    check_installed(args.build, [p for p in (args.qmt, args.qmtsim) if p])
    for p in problems:
        print(p)
    print(f"{len(problems)} broken link(s)" if problems else "every link resolves")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
