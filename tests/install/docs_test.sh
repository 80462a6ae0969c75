#!/usr/bin/env bash
# The manual pages and completions against the programs' own --help: every
# command and option the programs take is documented and completed, the
# pages render without warnings, and the bash completion works in a bare
# bash (no bash-completion package).
#   docs_test.sh QMT DOCS_DIR [QMTSIM]
set -uo pipefail
qmt=$(realpath "$1") docs=$(realpath "$2") qmtsim=${3:+$(realpath "$3")}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

long_options() { grep -oE '^ +(-[a-zA-Z], ?)?--[a-z0-9-]+' | grep -oE -- '--[a-z0-9-]+'; }

# Completion answers for a command line typed up to its end, in a bash that
# has read nothing but the completion script.
complete_line() {
  bash --norc --noprofile -c '
    source "$1"
    COMP_LINE=$2 COMP_POINT=${#2} COMPREPLY=()
    "_$3"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$1" "$2" "$3"
}

# A manual page: rendered by groff and checked by mandoc without a
# warning (mandoc's lint, as lintian runs it), with a date.
check_page() {
  local page=$1 warnings
  warnings=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
  if command -v mandoc >/dev/null; then
    warnings=$(mandoc -Tlint -W warning "$page" 2>&1)
    [ -z "$warnings" ] || fail "mandoc -Tlint: $warnings"
  fi
  grep -qE '^\.TH [A-Z]+ 1 "[0-9]{4}-[0-9]{2}-[0-9]{2}" ' "$page" || fail "$(basename "$page") has no date: $(grep '^.TH' "$page")"
}

# The manual page: every command and option.
check_page "$docs/qmt.1"
commands=$("$qmt" --help | sed -n '/^Subcommands:/,$p' | grep -oE '^  [a-z][a-z0-9-]*')
[ -n "$commands" ] || fail "no commands in qmt --help"
for c in $commands; do
  grep -q "^\.SS \"qmt $c " "$docs/qmt.1" || fail "qmt.1 has no section for the command $c"
  section=$(sed -n "/^\.SS \"qmt $c /,/^\.S[SH] /p" "$docs/qmt.1")
  offered=$(complete_line "$docs/qmt.bash" "qmt $c --" qmt)
  for o in $("$qmt" "$c" --help | long_options); do
    grep -qF -- "\\fB${o//-/\\-}\\fR" <<<"$section" || fail "qmt.1: qmt $c lacks $o"
    grep -qx -- "$o" <<<"$offered" || fail "bash: qmt $c -- does not offer $o"
  done
  grep -q "^  *$c)" "$docs/_qmt" || fail "zsh: no case for the command $c"
done

# Bash completion, as a user types.
mkdir -p "${TMPDIR:-/tmp}/qmt-docs-test.$$/examples dir" && cd "${TMPDIR:-/tmp}/qmt-docs-test.$$" || exit 1
touch "examples dir/pump.txt"
trap 'rm -rf "${TMPDIR:-/tmp}/qmt-docs-test.$$"' EXIT
while IFS='|' read -r line expected; do
  got=$(complete_line "$docs/qmt.bash" "$line" qmt | tr '\n' ' ')
  [[ " $got" == *" $expected "* ]] || fail "bash: '$line' offers '$got', expected '$expected' among them"
done <<'CASES'
qmt r|run
qmt --vers|--version
qmt run --po|--port
qmt run --port |virtual
qmt run --port=vi|virtual
qmt run --port ppdev:|/dev/parport0
qmt run --png exa|examples dir
qmt run --pages exa|examples dir
qmt exec examples\ dir/p|examples dir/pump.txt
qmt test exa|examples dir
qmt test examples\ dir/p|examples dir/pump.txt
qmt send --device-pages exa|examples dir
CASES
got=$(complete_line "$docs/qmt.bash" "qmt send --device-pages examples\ dir/" qmt)
[ -z "$got" ] || fail "bash: --device-pages offers files, not only folders: '$got'"
got=$(complete_line "$docs/qmt.bash" "qmt run --event " qmt)
[ -z "$got" ] || fail "bash: a label is not completed from files: '$got'"

if command -v zsh >/dev/null; then
  zsh -n "$docs/_qmt" || fail "_qmt is not valid zsh"
  # What zsh offers for scenario files and the device's page folder.
  test_case=$(sed -n '/^        test)$/,/;;$/p' "$docs/_qmt")
  grep -q "'\*:PATH:_files'" <<<"$test_case" || fail "zsh: qmt test does not complete files: $test_case"
  send_case=$(sed -n '/^        send)$/,/;;$/p' "$docs/_qmt")
  grep -q -- "--device-pages=.*:DIR:_files -/'" <<<"$send_case" || fail "zsh: --device-pages does not complete folders"
fi

# qmtsim: its page lists what its --help lists.
if [ -n "$qmtsim" ]; then
  simdocs=$(dirname "$qmtsim")
  check_page "$simdocs/qmtsim.1"
  # --help-all: the program's options and Qt's, without a display.
  help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$qmtsim" --help-all) || fail "qmtsim --help-all failed"
  grep -q -- "--platform" <<<"$help" || fail "qmtsim --help-all lacks Qt's options: $help"
  for o in $(long_options <<<"$help"); do
    grep -qF -- "\\fB${o//-/\\-}\\fR" "$simdocs/qmtsim.1" || fail "qmtsim.1 lacks $o"
  done
  got=$(complete_line "$simdocs/qmtsim.bash" "qmtsim --port vi" qmtsim)
  [ "$got" = virtual ] || fail "bash: qmtsim --port vi offers '$got'"
fi

[ "$failures" -eq 0 ] && echo "manual pages and completions agree with --help"
exit $((failures > 0))
