#!/usr/bin/env bash
# qmt test --review and --update where they can go wrong for a user:
# answers from a pipe that do not fit, signals in the middle of a review,
# baselines shared by scenarios not named, the count after an update that
# wrote nothing, baselines that cannot be read, leftovers of killed saves.
set -u
qmt=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
# Each review's temporary folders go here, to be seen (or not) afterwards.
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"

# A failing inline lines check (which cannot be accepted) before a failing
# screen check.
mkdir -p "$work/base" "$work/r"
printf 'tick 1\nexpect screen start.png\n' >"$work/base/start.scn"
"$qmt" test "$work/base/start.scn" --update >/dev/null || fail "start baseline"
cp "$work/base/start.png" "$work/start.png"
cp "$work/start.png" "$work/r/start.png"
printf 'tick 1\nexpect line NOT-SENT\n' >"$work/r/1-line.scn"
printf 'key 取扱\nexpect screen start.png\n' >"$work/r/2-screen.scn"

# Answers that do not fit end: endless ones from `yes`, and unusable ones
# after a few in a row; an accept aimed at the lines check is its answer
# (kept), so the next answer goes to the next check.
while IFS='|' read -r answers expect accepted; do
  timeout 60 bash -c "$answers" | "$qmt" test "$work/r/1-line.scn" "$work/r/2-screen.scn" --review \
    >"$work/out" 2>&1
  got=${PIPESTATUS[1]}
  [ "$got" = 1 ] || fail "$answers: status $got: $(head -c 2000 "$work/out")"
  [ "$(wc -c <"$work/out")" -lt 20000 ] || fail "$answers: $(wc -c <"$work/out") bytes of output"
  grep -q "$expect" "$work/out" || fail "$answers: $(cat "$work/out")"
  grep -qx "$accepted accepted, $((2 - accepted)) kept" "$work/out" || fail "$answers count: $(cat "$work/out")"
  cp "$work/start.png" "$work/r/start.png"
done <<'CASES'
yes a|^this check cannot be accepted: kept$|1
printf 'a\na\n'|^accepted: wrote .*/r/start.png$|1
printf 'a\nk\n'|^this check cannot be accepted: kept$|0
yes maybe|^no usable answer: the rest is kept$|0
printf 'x\na\na\n'|^accepted: wrote|1
CASES
[ -z "$(ls -A "$TMPDIR")" ] || fail "review folders left: $(ls "$TMPDIR")"

# A review ended by a signal while it waits for an answer removes its
# folder of pictures and ends as the signal ends a program.
for sig in INT TERM HUP; do
  rm -f "$work/fifo" && mkfifo "$work/fifo"
  # (A shell's background job ignores interrupts unless told otherwise.)
  env --default-signal="$sig" "$qmt" test "$work/r/2-screen.scn" --review <"$work/fifo" >"$work/out" 2>&1 &
  pid=$!
  exec 3>"$work/fifo"
  for _ in $(seq 600); do
    grep -q "accept (a), keep (k) or quit (q)? $" "$work/out" && break
    sleep 0.1
  done
  [ -n "$(ls -A "$TMPDIR")" ] || fail "$sig: no folder while the review asks: $(cat "$work/out")"
  kill -"$sig" "$pid"
  { wait "$pid"; } 2>/dev/null
  got=$?
  exec 3>&-
  [ "$got" = $((128 + $(kill -l "$sig"))) ] || fail "$sig: status $got: $(cat "$work/out")"
  [ -z "$(ls -A "$TMPDIR")" ] || fail "$sig: review folder left: $(ls "$TMPDIR")"
done

# Scenarios sharing a baseline.  Updating or accepting one named scenario
# must not rewrite what another, not named, checks and sees otherwise.
mkdir -p "$work/shared/more"
printf 'tick 1\nexpect screen ../same.png\n' >"$work/shared/more/a.scn"
"$qmt" test "$work/shared/more/a.scn" --update >/dev/null || fail "shared baseline"
cp "$work/shared/same.png" "$work/same.png"
printf 'key 取扱\nexpect screen same.png\n' >"$work/shared/b.scn"
"$qmt" test "$work/shared/b.scn" --update >"$work/out" 2>&1
[ $? = 2 ] || fail "shared update status: $(cat "$work/out")"
grep -qx "ERROR $work/shared/same.png: b line 2 (expect screen same.png) and $work/shared/more/a.scn line 2 (expect screen ../same.png), not named, see different screens; nothing written for it" "$work/out" ||
  fail "shared update: $(cat "$work/out")"
tail -n 2 "$work/out" | head -n 1 | grep -qx '0 passed, 1 failed' || fail "shared update count: $(cat "$work/out")"
printf 'a\n' | "$qmt" test "$work/shared/b.scn" --review >"$work/out" 2>&1
[ $? = 1 ] || fail "shared review status: $(cat "$work/out")"
grep -qx "not accepted: $work/shared/more/a.scn line 2 (expect screen ../same.png) checks $work/shared/same.png too and sees something else; accepting would make it fail" "$work/out" ||
  fail "shared review: $(cat "$work/out")"
cmp -s "$work/shared/same.png" "$work/same.png" || fail "the shared baseline was rewritten"
"$qmt" test "$work/shared/more/a.scn" >/dev/null || fail "a scenario not named fails afterwards"
# Checks that agree are written as before.
printf 'tick 2\nexpect screen ../same.png\n' >"$work/shared/more/c.scn"
rm "$work/shared/b.scn" "$work/shared/same.png"
"$qmt" test "$work/shared/more/c.scn" --update >"$work/out" 2>&1 || fail "agreeing update: $(cat "$work/out")"
grep -qx "new $work/shared/same.png" "$work/out" || fail "agreeing update: $(cat "$work/out")"
# Two checks of one file in one scenario that see different screens: an
# endless `yes a` must not accept each in turn for ever.
printf 'tick 1\nexpect screen own.png\nkey 取扱\nexpect screen own.png\n' >"$work/own.scn"
cp "$work/start.png" "$work/own.png"
yes a | timeout 60 "$qmt" test "$work/own.scn" --review >"$work/out" 2>&1
[ "${PIPESTATUS[1]}" = 1 ] || fail "one scenario, two screens: $(head -c 2000 "$work/out")"
grep -q "^not accepted: own line 2 (expect screen own.png) checks" "$work/out" || fail "own: $(cat "$work/out")"
cmp -s "$work/own.png" "$work/start.png" || fail "own baseline rewritten"

# The count is of scenarios: a file not written makes each scenario that
# checks it an error, once.
mkdir -p "$work/clash"
printf 'tick 1\nexpect screen same.png\n' >"$work/clash/one.scn"
printf 'key 取扱\nexpect screen same.png\nexpect screen same.png\n' >"$work/clash/two.scn"
printf 'tick 1\nexpect screen three.png\n' >"$work/clash/three.scn"
"$qmt" test "$work/clash" --update --junit "$work/clash.xml" >"$work/out" 2>&1
[ $? = 2 ] || fail "clash status: $(cat "$work/out")"
tail -n 2 "$work/out" | tr '\n' '|' | grep -qx '1 passed, 2 failed|1 file written: 1 new, 0 updated; 1 file not written|' ||
  fail "clash count: $(cat "$work/out")"
python3 - "$work/clash.xml" <<'PY' || fail "clash report: $(cat "$work/clash.xml")"
import sys, xml.etree.ElementTree as ET
suite = ET.parse(sys.argv[1]).getroot().find("testsuite")
assert suite.get("tests") == "3" and suite.get("errors") == "2", suite.attrib
cases = {c.get("name"): c for c in suite.findall("testcase")}
assert set(cases) == {"one", "two", "three"}, list(cases)
assert "same.png not written: one line 2" in cases["two"].find("error").get("message")
PY

# A baseline that cannot be read is replaced by an update, which says what
# it replaced; so is a lines file that is not UTF-8.
mkdir -p "$work/broken"
: >"$work/broken/empty.png"
head -c 100 "$work/start.png" >"$work/broken/cut.png"
printf '\xff\xfe\n' >"$work/broken/lines.txt"
printf 'tick 1\nexpect screen empty.png\nexpect screen cut.png\nexpect lines lines.txt\n' >"$work/broken/x.scn"
"$qmt" test "$work/broken" --update >"$work/out" 2>&1 || fail "broken update: $(cat "$work/out")"
grep -qx "updated $work/broken/empty.png: replaced an empty file" "$work/out" || fail "empty: $(cat "$work/out")"
grep -q "^updated $work/broken/cut.png: replaced a file that is not a PNG picture that can be read (" "$work/out" ||
  fail "cut: $(cat "$work/out")"
grep -q "^updated $work/broken/lines.txt: replaced a file that is not a lines file (" "$work/out" ||
  fail "lines: $(cat "$work/out")"
"$qmt" test "$work/broken" >"$work/out" 2>&1 || fail "after replacing: $(cat "$work/out")"

# Temporary files a killed save left beside a baseline go with the next
# update, even one that writes nothing; a save's other files stay.
touch "$work/broken/empty.png.tmpAb12Cd" "$work/broken/empty.png.keep"
"$qmt" test "$work/broken" --update >"$work/out" 2>&1 || fail "stale update: $(cat "$work/out")"
tail -n 1 "$work/out" | grep -qx "no file written" || fail "stale update: $(cat "$work/out")"
[ -e "$work/broken/empty.png.tmpAb12Cd" ] && fail "stale temporary file left"
[ -e "$work/broken/empty.png.keep" ] || fail "another file removed"
echo "qmt test --review and --update: all cases behave"
