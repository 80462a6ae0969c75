#!/usr/bin/env bash
# Runs the Emacs snippet of docs/editors.md, as written there, in a batch
# Emacs with Debian's eglot against `qmt lsp`: a macro saved in code page 932
# opens as one, the language server starts by itself, and its message lands
# on the characters it names (columns counted as the server counts them).
# emacs_eglot_test.sh EDITORS_MD QMT
set -euo pipefail
doc=$1 qmt=$2
command -v emacs >/dev/null || { echo "emacs not installed: skipped"; exit 77; }
emacs --batch -q --eval "(require 'eglot)" >/dev/null 2>&1 || { echo "eglot not installed: skipped"; exit 77; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

awk '/^## Emacs/{f=1} f&&/^```elisp/{g=1;next} g&&/^```/{exit} g' "$doc" > "$work/snippet.el"
grep -q "eglot-server-programs" "$work/snippet.el" || { echo "no Emacs snippet in $doc"; exit 1; }

# "start:", a kanji local, and an unknown name after it, in code page 932.
printf 'start:\r\n  \x8a\xbf = 1\r\n  y = \x8a\xbf + zz\r\n' > "$work/testMacro.txt"
mkdir -p "$work/bin"
ln -s "$qmt" "$work/bin/qmt"

cat > "$work/check.el" <<'ELISP'
(require 'eglot)
(defvar qmt-fails nil)
(defun qmt-check (what ok) (unless ok (push what qmt-fails)))
(let ((buf (find-file (expand-file-name "testMacro.txt" qmt-work)))
      (deadline (+ (float-time) 60))
      diags)
  (qmt-check (format "major mode (got %s)" major-mode) (eq major-mode 'qmt-macro-mode))
  (qmt-check (format "macro coding (got %s)" buffer-file-coding-system)
             (memq (coding-system-base buffer-file-coding-system) '(cp932 japanese-cp932 japanese-shift-jis)))
  ;; eglot-ensure connects after the command that opened the file.
  (run-hooks 'post-command-hook)
  (while (and (null diags) (< (float-time) deadline))
    (accept-process-output nil 0.2)
    (when (bound-and-true-p flymake-mode) (flymake-start))
    (setq diags (flymake-diagnostics)))
  (qmt-check "eglot connected" (eglot-current-server))
  (qmt-check "a diagnostic arrived" diags)
  (when diags
    (let* ((d (car diags))
           (text (buffer-substring-no-properties (flymake-diagnostic-beg d) (flymake-diagnostic-end d))))
      (qmt-check (format "diagnostic on zz (got %S: %s)" text (flymake-diagnostic-text d)) (equal text "zz"))
      (qmt-check (format "diagnostic on line 3 (got %d)" (line-number-at-pos (flymake-diagnostic-beg d)))
                 (= (line-number-at-pos (flymake-diagnostic-beg d)) 3))))
  (ignore-errors (eglot-shutdown (eglot-current-server))))
(with-temp-file (expand-file-name "result" qmt-work)
  (insert (mapconcat (lambda (f) (concat "FAIL " f "\n")) qmt-fails "") "DONE\n"))
ELISP

PATH="$work/bin:$PATH" HOME=$work timeout 120 emacs --batch -q --eval "(setq qmt-work \"$work\")" \
  -l "$work/snippet.el" -l "$work/check.el" </dev/null >"$work/log" 2>&1 || true
if [ ! -f "$work/result" ]; then echo "emacs did not finish:"; cat "$work/log"; exit 1; fi
cat "$work/result"
if grep -q FAIL "$work/result"; then cat "$work/log"; exit 1; fi
grep -qx DONE "$work/result"
