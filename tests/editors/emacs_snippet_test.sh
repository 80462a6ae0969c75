#!/usr/bin/env bash
# Runs the Emacs snippet of docs/debugging.md, as written there, in a batch
# Emacs with Debian's dap-mode: the template names the current buffer's file,
# a macro is read as code page 932, a UTF-8 file opened after it is still
# read (and saved) as UTF-8.
set -euo pipefail
doc=$1
command -v emacs >/dev/null || { echo "emacs not installed: skipped"; exit 77; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

awk '/^### Emacs/{f=1} f&&/^```elisp/{g=1;next} g&&/^```/{exit} g' "$doc" > "$work/snippet.el"
grep -q "dap-register-debug-template" "$work/snippet.el" || { echo "no Emacs snippet in $doc"; exit 1; }

printf '\x82\xa0 = 1\r\n' > "$work/testMacro.txt"
printf '\xe3\x81\x82 utf8\n' > "$work/notes.txt"
cp "$work/notes.txt" "$work/notes.orig"

cat > "$work/check.el" <<'ELISP'
(defvar qmt-fails nil)
(defun qmt-check (what ok) (unless ok (push what qmt-fails)))
(let* ((tmpl (cdr (assoc "QMT3308 macro" dap-debug-template-configurations)))
       (buf (find-file (expand-file-name "testMacro.txt" qmt-work))))
  (qmt-check "template registered" tmpl)
  (qmt-check (format "macro coding (got %s)" buffer-file-coding-system)
             (memq (coding-system-base buffer-file-coding-system) '(cp932 japanese-cp932 japanese-shift-jis)))
  (qmt-check "macro text" (equal (buffer-substring 1 6) "\u3042 = 1"))
  ;; the template's program becomes the macro's own file
  (let ((conf (dap-variables-expand-in-launch-configuration (copy-tree tmpl))))
    (qmt-check (format "program (got %S)" (plist-get conf :program))
               (equal (plist-get conf :program) (buffer-file-name buf))))
  (find-file (expand-file-name "notes.txt" qmt-work))
  (qmt-check (format "utf-8 coding (got %s)" buffer-file-coding-system)
             (eq (coding-system-base buffer-file-coding-system) 'utf-8))
  (set-buffer-modified-p t)
  (save-buffer))
(with-temp-file (expand-file-name "result" qmt-work)
  (insert (mapconcat (lambda (f) (concat "FAIL " f "\n")) qmt-fails "") "DONE\n"))
ELISP

HOME=$work timeout 60 emacs --batch -q --eval "(setq qmt-work \"$work\")" \
  -l "$work/snippet.el" -l "$work/check.el" </dev/null >"$work/log" 2>&1 || true
if [ ! -f "$work/result" ]; then echo "emacs did not finish:"; cat "$work/log"; exit 1; fi
cat "$work/result"
grep -q FAIL "$work/result" && exit 1
cmp "$work/notes.txt" "$work/notes.orig" || { echo "UTF-8 file changed on save"; exit 1; }
grep -qx DONE "$work/result"
