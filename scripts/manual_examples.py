#!/usr/bin/env python3
"""The live examples of the user's manual (docs/manual).

Every file under docs/manual/examples/ ending in .mac (a macro, code page
932 with CR LF line ends, as the device's macro files are and as the editor
settings of docs/editors.md open them) or .cmd (command lines, UTF-8) is an
example.  It is run with qmt:

    .mac   qmt run --lines NAME.mac [OPTIONS] --png NAME.png
    .cmd   qmt exec --utf8 [OPTIONS] NAME.cmd --png NAME.png

OPTIONS come from examples/options.txt ("NAME.mac --event onRUN --tick 3";
lines starting with # are comments).  The run leaves two files beside the
example: NAME.png, the display page, and NAME.out, the command as typed,
what qmt printed on standard output, then "--- stderr" and what it printed
there, then "--- exit N" when the exit status was not 0.

A run that stops before it draws (a macro that does not compile) leaves no
picture.  A manual page shows an example between two markers:

    <!-- example NAME.mac -->
    ... generated: the source, the picture, the output ...
    <!-- /example -->

("<!-- example NAME.mac nopng -->" leaves the picture out, "noout" shows a
link to the output instead of the output itself).  The text between
the markers is generated from the files, so a page cannot show anything else.

    manual_examples.py --qmt QMT            regenerate the outputs and pages
    manual_examples.py --qmt QMT --check    run every example again and fail
                                            when a picture (compared by its
                                            pixels), an output or a page differs
"""
import argparse
import os
import re
import shlex
import struct
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
MANUAL = ROOT / "docs" / "manual"
EXAMPLES = MANUAL / "examples"
KINDS = {".mac": "run", ".cmd": "exec"}
# A page shows a macro as text (UTF-8, LF line ends); the file stays as
# the device keeps it.
SOURCE_ENCODING = {".mac": "cp932", ".cmd": "utf-8"}
MARKER = re.compile(r"<!-- example (\S+)((?: \w+)*) -->\n(.*?)<!-- /example -->\n", re.S)


def read_options():
    options = {}
    path = EXAMPLES / "options.txt"
    if not path.exists():
        return options
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        words = shlex.split(line)
        if not (EXAMPLES / words[0]).is_file():
            raise SystemExit(f"{path}:{number}: no example {words[0]}")
        options[words[0]] = words[1:]
    return options


def examples():
    return sorted(p for p in EXAMPLES.iterdir() if p.suffix in KINDS and p.is_file())


def command_for(example, extra):
    kind = KINDS[example.suffix]
    if kind == "run":
        return ["run", "--lines", example.name, *extra, "--png", example.stem + ".png"]
    return ["exec", "--utf8", *extra, example.name, "--png", example.stem + ".png"]


def run_example(qmt, example, extra, workdir):
    """Runs one example in `workdir` (a copy of nothing but the example file);
    returns (output text, path of the picture)."""
    args = command_for(example, extra)
    (workdir / example.name).write_bytes(example.read_bytes())
    env = dict(os.environ)
    env.pop("QMT_PORT", None)
    env["XDG_CONFIG_HOME"] = str(workdir / "config")
    result = subprocess.run([qmt, *args], cwd=workdir, env=env, capture_output=True, timeout=120)
    text = "$ qmt " + " ".join(shlex.quote(a) for a in args) + "\n"
    text += result.stdout.decode("utf-8")
    if result.stderr:
        text += "--- stderr\n" + result.stderr.decode("utf-8")
    if result.returncode != 0:
        text += f"--- exit {result.returncode}\n"
    return text, workdir / (example.stem + ".png")


def png_pixels(data):
    """(width, height, RGB rows) of a non-interlaced PNG: 8-bit, or palette
    and grey of any depth."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, header, palette = 8, b"", None, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = body
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    if interlace or not (depth == 8 or (depth in (1, 2, 4) and colour in (0, 3))):
        raise ValueError("only 8-bit or palette/grey, non-interlaced PNGs are compared")
    bpp = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    raw = zlib.decompress(idat)
    stride = width * bpp if depth == 8 else (width * depth + 7) // 8
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append(bytes(line))
        prev = line
    if depth < 8:
        mask = (1 << depth) - 1
        rows = [bytes((row[(x * depth) // 8] >> (8 - depth - (x * depth) % 8)) & mask for x in range(width))
                for row in rows]
        if colour == 0:
            rows = [bytes(v * 255 // mask for v in row) for row in rows]
    # Compare as RGB whatever form the encoder chose.
    if colour == 3:
        rows = [b"".join(palette[3 * v:3 * v + 3] for v in row) for row in rows]
    elif colour == 0:
        rows = [bytes(v for g in row for v in (g, g, g)) for row in rows]
    elif colour in (4, 6):
        raise ValueError("pictures with transparency are not compared")
    return width, height, rows


def same_picture(a, b):
    if a == b:
        return True
    try:
        return png_pixels(a) == png_pixels(b)
    except (ValueError, zlib.error, struct.error, KeyError, TypeError):
        return a == b


def example_block(page, name, flags):
    """The generated text between the markers of example `name` on `page`."""
    example = EXAMPLES / name
    if example.suffix not in KINDS or not example.is_file():
        raise LookupError(f"{page.relative_to(ROOT)}: no example {name}")
    source = example.read_text(encoding=SOURCE_ENCODING[example.suffix])
    output = (EXAMPLES / (example.stem + ".out")).read_text(encoding="utf-8")
    relative = os.path.relpath(EXAMPLES, page.parent).replace(os.sep, "/")
    fence = "```"
    block = f"{fence}{'qmt' if example.suffix == '.mac' else 'text'}\n{source}"
    if not source.endswith("\n"):
        block += "\n"
    block += f"{fence}\n\n"
    if "nopng" not in flags and (EXAMPLES / (example.stem + ".png")).exists():
        block += f"![{name}]({relative}/{example.stem}.png)\n\n"
    if "noout" in flags:
        block += f"出力: [{example.stem}.out]({relative}/{example.stem}.out)\n"
    else:
        block += f"{fence}console\n{output}{fence}\n"
    return block


def pages():
    return sorted(MANUAL.glob("*.md")) + sorted((MANUAL / "en").glob("*.md"))


def render_page(page):
    text = page.read_text(encoding="utf-8")
    names = []

    def fill(match):
        names.append(match.group(1))
        body = example_block(page, match.group(1), match.group(2).split())
        return f"<!-- example {match.group(1)}{match.group(2)} -->\n{body}<!-- /example -->\n"

    return text, MARKER.sub(fill, text), names


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--qmt", required=True, help="the qmt program to run the examples with")
    parser.add_argument("--check", action="store_true", help="compare instead of writing")
    args = parser.parse_args()
    qmt = str(Path(args.qmt).resolve())
    options = read_options()
    problems = []
    with tempfile.TemporaryDirectory(prefix="qmt-manual-") as tmp:
        for example in examples():
            workdir = Path(tmp) / example.stem
            workdir.mkdir()
            text, picture = run_example(qmt, example, options.get(example.name, []), workdir)
            out_path = EXAMPLES / (example.stem + ".out")
            png_path = EXAMPLES / (example.stem + ".png")
            new_png = picture.read_bytes() if picture.exists() else None
            old_out = out_path.read_text(encoding="utf-8") if out_path.exists() else None
            old_png = png_path.read_bytes() if png_path.exists() else None
            if args.check:
                if old_out != text:
                    problems.append(f"{example.name}: the output differs from {out_path.name}:\n{text}")
                if (new_png is None) != (old_png is None):
                    problems.append(f"{example.name}: qmt wrote {'no' if new_png is None else 'a'} picture, "
                                    f"{png_path.name} is {'there' if old_png is not None else 'missing'}")
                elif new_png is not None and not same_picture(old_png, new_png):
                    problems.append(f"{example.name}: the picture differs from {png_path.name}")
            else:
                if old_out != text:
                    out_path.write_text(text, encoding="utf-8")
                    print(f"wrote {out_path.relative_to(ROOT)}")
                if new_png is not None and (old_png is None or not same_picture(old_png, new_png)):
                    png_path.write_bytes(new_png)
                    print(f"wrote {png_path.relative_to(ROOT)}")
                elif new_png is None and old_png is not None:
                    png_path.unlink()
                    print(f"removed {png_path.relative_to(ROOT)}")
    # Leftovers of examples that were removed or renamed.
    stems = {e.stem for e in examples()}
    for leftover in sorted(EXAMPLES.glob("*.out")) + sorted(EXAMPLES.glob("*.png")):
        if leftover.stem not in stems:
            if args.check:
                problems.append(f"{leftover.name}: belongs to no example")
            else:
                leftover.unlink()
                print(f"removed {leftover.relative_to(ROOT)}")
    shown = set()
    for page in pages():
        try:
            old, new, names = render_page(page)
        except LookupError as e:
            problems.append(str(e))
            continue
        shown.update(names)
        if old != new:
            if args.check:
                problems.append(f"{page.relative_to(ROOT)}: an example block is not what its files say")
            else:
                page.write_text(new, encoding="utf-8")
                print(f"wrote {page.relative_to(ROOT)}")
    for example in examples():
        if example.name not in shown:
            problems.append(f"{example.name}: shown on no page of the manual")
    for p in problems:
        print(p, file=sys.stderr)
    if problems and args.check:
        print("after a deliberate change: ./scripts/manual-examples.sh", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
