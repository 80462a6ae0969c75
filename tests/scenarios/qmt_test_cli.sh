#!/usr/bin/env bash
# qmt test as a user meets it: exit statuses, the report's order under -j,
# the diff pictures and the JUnit report.
set -u
qmt=$1
suite=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

expect_status() {  # STATUS COMMAND...
  local want=$1
  shift
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" = "$want" ] || { cat "$work/out" "$work/err"; fail "$* gave $got, not $want"; }
}

mkdir -p "$work/s/sub"
cp "$suite/screen-b.scn" "$suite/screen-b.png" "$suite/screen-b-back-to-a.png" "$work/s/"
cp "$suite/screen-b-back-to-a.png" "$work/s/sub/a.png"
printf 'key 取扱\nexpect screen a.png\n' >"$work/s/sub/wrong.scn"
printf 'tick 1\nexpect screen nowhere.png\n' >"$work/s/sub/missing.scn"

# A failed check: 1, in name order whatever finishes first, pictures made.
expect_status 1 "$qmt" test "$work/s" -j 3 --diff-dir "$work/diffs/new" --junit "$work/report.xml"
head -n 1 "$work/out" | grep -qx 'testing the built-in macro' || fail "which macro: $(cat "$work/out")"
sed -n 2p "$work/out" | grep -q '^PASS screen-b$' || fail "order: $(cat "$work/out")"
sed -n 3p "$work/out" | grep -q "^FAIL sub/missing: line 2 (expect screen nowhere.png): no baseline .*--update" ||
  fail "missing baseline: $(cat "$work/out")"
sed -n 4p "$work/out" |
  grep -Eq "^FAIL sub/wrong: line 2 \(expect screen a\.png\): screen differs in [0-9,]+ pixels, first at \([0-9]+, [0-9]+\); see $work/diffs/new/sub/wrong-actual\.png, $work/diffs/new/sub/wrong-diff\.png$" ||
  fail "differing screen: $(cat "$work/out")"
tail -n 1 "$work/out" | grep -qx '1 passed, 2 failed' || fail "summary: $(tail -n 1 "$work/out")"
[ -s "$work/diffs/new/sub/wrong-actual.png" ] && [ -s "$work/diffs/new/sub/wrong-diff.png" ] || fail "no pictures"
python3 - "$work/report.xml" <<'PY' || fail "JUnit report"
import sys, xml.etree.ElementTree as ET
suite = ET.parse(sys.argv[1]).getroot().find("testsuite")
assert suite.get("tests") == "3" and suite.get("failures") == "2", suite.attrib
cases = {c.get("name"): c for c in suite.findall("testcase")}
assert cases["sub/wrong"].find("failure") is not None and cases["screen-b"].find("failure") is None
PY

# Errors: 2.  A bad line names file and line; nothing of that scenario runs.
printf 'tick 1\nkey 押す\n' >"$work/bad.scn"
expect_status 2 "$qmt" test "$work/bad.scn"
grep -q "^ERROR bad: $work/bad.scn:2: unknown key '押す'" "$work/out" || fail "bad line: $(cat "$work/out")"
expect_status 2 "$qmt" test "$work/nothing-here"
expect_status 2 "$qmt" test "$work/s" --jobs 0
expect_status 2 "$qmt" test "$work/s" --no-such-option
# A macro file named that cannot be read is an error, and when nothing runs
# the report still says why (in place of an earlier one).
for macro in "$work/no-macro.txt" "$work/s"; do
  expect_status 2 "$qmt" test "$work/s" --macro "$macro" --junit "$work/report.xml"
  grep -q "$macro" "$work/err" || fail "unreadable macro: $(cat "$work/err")"
  grep -q "<error message=\"[^\"]*$macro" "$work/report.xml" || fail "report of $macro: $(cat "$work/report.xml")"
done
printf 'GOTO\n' >"$work/broken-macro.txt"
expect_status 2 "$qmt" test "$work/s" --macro "$work/broken-macro.txt" --junit "$work/report.xml"
grep -q "the macro file $work/broken-macro.txt has errors" "$work/err" || fail "compile errors: $(cat "$work/err")"
# The JUnit entry holds the compiler's messages too.
python3 - "$work/report.xml" "$(head -n 1 "$work/err")" <<'PY' || fail "compile errors in the report: $(cat "$work/report.xml")"
import sys, xml.etree.ElementTree as ET
error = ET.parse(sys.argv[1]).getroot().find("testsuite/testcase/error")
assert "has errors" in error.get("message"), error.attrib
assert sys.argv[2] and sys.argv[2] in error.text, (sys.argv[2], error.text)
PY
# --utf8 as in qmt run; the output names the macro tested.
printf 'EXIT\n色: d("DS1"): EXIT\n' >"$work/u8.txt"
printf 'event 色\nexpect line DS1\n' >"$work/u8.scn"
expect_status 0 "$qmt" test "$work/u8.scn" --macro "$work/u8.txt" --utf8
head -n 1 "$work/out" | grep -qx "testing the macro file $work/u8.txt" || fail "--utf8: $(cat "$work/out")"
sed -n 2p "$work/out" | grep -qx "PASS u8" || fail "a label the macro has is no warning: $(cat "$work/out")"

# Scenarios of one name in two folders stay apart; a file given twice runs
# once.  One saved in code page 932 is named as such, the report stays XML.
mkdir -p "$work/twins/a" "$work/twins/b"
for d in a b; do printf 'expect line NOT%s\n' $d >"$work/twins/$d/x.scn"; done
printf 'tick 1\nkey 取扱\n' | iconv -f UTF-8 -t CP932 >"$work/twins/sjis.scn"
expect_status 2 "$qmt" test "$work/twins/a/x.scn" "$work/twins/b/x.scn" "$work/twins/a/x.scn" "$work/twins/sjis.scn" \
  --diff-dir "$work/twins-diffs" --junit "$work/twins.xml"
[ "$(grep -c '^FAIL' "$work/out")" = 2 ] || fail "given twice: $(cat "$work/out")"
grep -q "^FAIL $work/twins/a/x: " "$work/out" && grep -q "^FAIL $work/twins/b/x: " "$work/out" || fail "twins: $(cat "$work/out")"
[ "$(find "$work/twins-diffs" -name 'x-lines.txt' | wc -l)" = 2 ] || fail "twin diffs: $(find "$work/twins-diffs")"
grep -q "^ERROR sjis: .*sjis.scn:2: the file is not UTF-8 text" "$work/out" || fail "code page 932: $(cat "$work/out")"
python3 -c 'import sys, xml.etree.ElementTree as ET; ET.parse(sys.argv[1])' "$work/twins.xml" || fail "twins report"
rm -rf "$work/empty" && mkdir "$work/empty"
expect_status 2 "$qmt" test "$work/empty" --junit "$work/twins.xml"
grep -q '<error message="no \*.scn scenario files' "$work/twins.xml" || fail "empty folder report: $(cat "$work/twins.xml")"
printf 'expect screen broken.png\n' >"$work/corrupt.scn"
echo "not a picture" >"$work/broken.png"
expect_status 2 "$qmt" test "$work/corrupt.scn"
grep -q "broken.png: not a PNG picture" "$work/out" || fail "corrupt PNG: $(cat "$work/out")"

# A run message fails the scenario with the message.
printf 'GOTO INIT\nINIT: EXIT\nonRUN: d("ZZ"): EXIT\n' | iconv -f UTF-8 -t CP932 >"$work/macro.txt"
printf 'key 作動\n' >"$work/run.scn"
expect_status 1 "$qmt" test "$work/run.scn" --macro "$work/macro.txt"
grep -q "^FAIL run: line 1 (key 作動): run message: " "$work/out" || fail "run message: $(cat "$work/out")"

# --review with answers from a pipe: the first failing check accepted, the
# second kept; the summary is the one after the review.
cp -r "$work/s" "$work/r"
printf 'a\nk\n' >"$work/answers"
"$qmt" test "$work/r" --review <"$work/answers" >"$work/out" 2>"$work/err"
[ $? = 1 ] || { cat "$work/out" "$work/err"; fail "review status"; }
grep -q "^accepted: wrote $work/r/sub/nowhere.png$" "$work/out" || fail "review accept: $(cat "$work/out")"
grep -q "^  actual:   /.*/sub/wrong-actual.png$" "$work/out" || fail "review pictures: $(cat "$work/out")"
grep -qx "1 accepted, 1 kept" "$work/out" || fail "review count: $(cat "$work/out")"
tail -n 1 "$work/out" | grep -qx '2 passed, 1 failed' || fail "review summary: $(tail -n 1 "$work/out")"
[ -s "$work/r/sub/nowhere.png" ] || fail "review wrote nothing"
# Answers that run out keep the rest; a wrong answer is asked again.
printf 'maybe\n' | "$qmt" test "$work/r" --review >"$work/out" 2>&1
grep -q "'maybe' is no answer here" "$work/out" && grep -q "no more answers: the rest is kept" "$work/out" ||
  fail "review without answers: $(cat "$work/out")"
expect_status 2 "$qmt" test "$work/r" --review --update

# --update makes a failing suite pass and names what it wrote, limited to
# the scenarios named.
expect_status 0 "$qmt" test "$work/s/sub/missing.scn" --update
grep -qx "new $work/s/sub/nowhere.png" "$work/out" || fail "update: $(cat "$work/out")"
grep -q "wrong" "$work/out" && fail "update beyond the scenario named: $(cat "$work/out")"
tail -n 1 "$work/out" | grep -qx "1 file written: 1 new, 0 updated" || fail "update count: $(cat "$work/out")"
expect_status 0 "$qmt" test "$work/s" --update
grep -Eqx "updated $work/s/sub/a.png: [0-9,]+ pixels changed" "$work/out" || fail "update: $(cat "$work/out")"
tail -n 1 "$work/out" | grep -qx "1 file written: 0 new, 1 updated" || fail "update count: $(cat "$work/out")"
expect_status 0 "$qmt" test "$work/s"
expect_status 0 "$qmt" test "$work/s" --update
tail -n 1 "$work/out" | grep -qx "no file written" || fail "nothing to update: $(cat "$work/out")"
# Two scenarios whose checks of one baseline see different screens: an
# error naming both, the file not written.
mkdir -p "$work/clash"
printf 'tick 1\nexpect screen same.png\n' >"$work/clash/one.scn"
printf 'key 取扱\nexpect screen same.png\n' >"$work/clash/two.scn"
expect_status 2 "$qmt" test "$work/clash" --update -j 2 --junit "$work/clash.xml"
grep -qx "ERROR $work/clash/same.png: one line 2 (expect screen same.png) and two line 2 (expect screen same.png) see different screens; nothing written for it" "$work/out" ||
  fail "clash: $(cat "$work/out")"
[ -e "$work/clash/same.png" ] && fail "clash wrote the baseline"
grep -q '<error message="[^"]*same.png not written: one line 2' "$work/clash.xml" || fail "clash report: $(cat "$work/clash.xml")"

# What passes but is likely a mistake is said; a folder where a baseline
# belongs is an error that --update does not claim to mend.
mkdir -p "$work/odd/folder.png"
printf 'tick 1\nevent noSuchLabel\n' >"$work/odd/nothing.scn"
printf 'expect screen folder.png\n' >"$work/odd/folder.scn"
for update in "" --update; do
  expect_status 2 "$qmt" test "$work/odd" $update
  grep -q "^ERROR folder: .*folder.png is not a file" "$work/out" || fail "folder baseline $update: $(cat "$work/out")"
  grep -q "^ERROR folder: .*update" "$work/out" && fail "folder baseline mentions --update: $(cat "$work/out")"
  grep -q "^PASS nothing; warning: line 2: the macro has no label noSuchLabel; the event runs nothing; warning: the scenario checks nothing$" "$work/out" ||
    fail "warnings: $(cat "$work/out")"
done

# The example of docs/scenarios.md, copied as written, passes against the
# built-in macro once its baselines are written.
mkdir -p "$work/example"
sed -n '/^## Example/,/^## `qmt test`/p' "$suite/../../docs/scenarios.md" | sed -n '/^```$/,/^```$/p' | sed '1d;$d' >"$work/example/example.scn"
expect_status 0 "$qmt" test "$work/example" --update
expect_status 0 "$qmt" test "$work/example"
# So does its example of an ignored rectangle: without the ignore step, the
# blinking box makes the two checks disagree.
mkdir -p "$work/ignore"
sed -n '/^## Format/,/^## Example/p' "$suite/../../docs/scenarios.md" | sed -n '/^```$/,/^```$/p' | sed '1d;$d' >"$work/ignore/blink.scn"
grep -q '^ignore ' "$work/ignore/blink.scn" || fail "no ignore example: $(cat "$work/ignore/blink.scn")"
expect_status 0 "$qmt" test "$work/ignore" --update
expect_status 0 "$qmt" test "$work/ignore"
sed -i '/^ignore /d' "$work/ignore/blink.scn"
expect_status 1 "$qmt" test "$work/ignore" --diff-dir "$work/ignore-diffs"
grep -q "^FAIL blink: line 7 (expect screen emergency.png): screen differs in" "$work/out" || fail "blink: $(cat "$work/out")"

# A worker killed in the middle of a scenario: that scenario is an error
# naming the signal, the others still run, in order.  The kill lands once
# the worker has spent a tenth of a second of CPU, inside its first
# scenario (each is a million ticks, far longer).
mkdir -p "$work/kill"
for n in 1 2 3 4; do printf 'tick 1000000\n' >"$work/kill/long$n.scn"; done
"$qmt" test "$work/kill" -j 2 >"$work/out" 2>"$work/err" &
parent=$!
victim=""
for _ in $(seq 600); do
  for child in $(pgrep -P "$parent"); do
    # utime + stime, in clock ticks (fields 14 and 15 after the name).
    cpu=$(sed 's/.*) //' "/proc/$child/stat" 2>/dev/null | awk '{print $12 + $13}')
    [ -n "$cpu" ] && [ "$cpu" -ge "$(($(getconf CLK_TCK) / 10))" ] && victim=$child && break 2
  done
  sleep 0.1
done
[ -n "$victim" ] || fail "no worker to kill"
kill -KILL "$victim"
wait "$parent"
[ $? = 2 ] || fail "a killed worker: $(cat "$work/out" "$work/err")"
[ "$(grep -c '^ERROR long[1-4]: the scenario.s worker process died of signal 9$' "$work/out")" = 1 ] ||
  fail "a killed worker: $(cat "$work/out")"
[ "$(grep -Ec '^(PASS|ERROR) long[1-4]' "$work/out")" = 4 ] || fail "a killed worker: $(cat "$work/out")"
grep -o 'long[1-4]' "$work/out" | tr -d '\n' | grep -qx 'long1long2long3long4' || fail "order: $(cat "$work/out")"

# Each run leaves only its own pictures and lines files in --diff-dir and
# --html; files it did not write stay, even named as its own are.
mkdir -p "$work/stale/s/sub" "$work/stale/out/mine" "$work/stale/report/pictures"
cp "$suite/start-up.png" "$work/stale/s/a.png"
cp "$suite/start-up.png" "$work/stale/s/sub/a.png"
printf 'key 取扱\nexpect screen a.png\n' | tee "$work/stale/s/one.scn" >"$work/stale/s/sub/two.scn"
printf 'tick 1\nexpect line NOPE\n' >"$work/stale/s/three.scn"
for f in out/notes.txt out/mine-actual.png out/mine/keep-diff.png report/pictures/own-baseline.png report/x.txt; do
  echo mine >"$work/stale/$f"
done
expect_status 1 "$qmt" test "$work/stale/s" --diff-dir "$work/stale/out" --html "$work/stale/report"
[ -s "$work/stale/out/sub/two-diff.png" ] && [ -s "$work/stale/report/pictures/one-actual.png" ] || fail "first run's files"
# The second run: one passes, two is gone, three fails again, four is new.
printf 'expect screen a.png\n' >"$work/stale/s/one.scn"
rm "$work/stale/s/sub/two.scn"
printf 'key 取扱\nexpect screen a.png\n' >"$work/stale/s/four.scn"
expect_status 1 "$qmt" test "$work/stale/s" -j 2 --diff-dir "$work/stale/out" --html "$work/stale/report"
(cd "$work/stale" && find out report -type f ! -name index.html ! -name .qmt-test-files | sort) >"$work/stale/found"
printf '%s\n' out/four-actual.png out/four-diff.png out/mine-actual.png out/mine/keep-diff.png out/notes.txt \
  out/three-lines.txt report/pictures/four-actual.png report/pictures/four-baseline.png report/pictures/four-diff.png \
  report/pictures/own-baseline.png report/x.txt >"$work/stale/want"
diff "$work/stale/want" "$work/stale/found" || fail "what the second run left"
[ -d "$work/stale/out/sub" ] && fail "a folder left empty stays"
# A run where nothing runs leaves none either, and its report says why.
printf 'GOTO\n' >"$work/stale/broken.txt"
expect_status 2 "$qmt" test "$work/stale/s" --macro "$work/stale/broken.txt" --diff-dir "$work/stale/out" \
  --html "$work/stale/report"
[ -e "$work/stale/out/four-diff.png" ] || [ -e "$work/stale/report/pictures/four-diff.png" ] && fail "stale after an error"
grep -q "has errors; no scenario ran" "$work/stale/report/index.html" || fail "report of a run that ran nothing"
[ -e "$work/stale/out/mine-actual.png" ] && [ -e "$work/stale/report/x.txt" ] || fail "a user's file went"

# qmt run replays a scenario and writes its GIF.
expect_status 0 "$qmt" run --scenario "$suite/emergency.scn" --gif "$work/e.gif" --png "$work/e.png"
[ "$(head -c 6 "$work/e.gif")" = "GIF89a" ] || fail "no GIF"
# An event right after the start is in the first frame: no frame lasts no
# time (a delay of 0, which viewers show for a tenth of a second).
for run in "--event B" "--event B --tick 3" "--scenario $suite/screen-b.scn"; do
  expect_status 0 "$qmt" run $run --gif "$work/b.gif"
  python3 - "$work/b.gif" <<'PY' || fail "qmt run $run --gif: a frame of no time"
import sys
data = open(sys.argv[1], "rb").read()
def blocks(at):  # past a run of sub-blocks
    while data[at]:
        at += data[at] + 1
    return at + 1
at = 13 + ((3 << ((data[10] & 7) + 1)) if data[10] & 0x80 else 0)
delays = []
while data[at] != 0x3B:
    if data[at] == 0x21:
        if data[at + 1] == 0xF9:
            delays.append(data[at + 4] | data[at + 5] << 8)
        at = blocks(at + 2)
    else:  # an image: its descriptor, colour table, code size and data
        flags = data[at + 9]
        at = blocks(at + 10 + ((3 << ((flags & 7) + 1)) if flags & 0x80 else 0) + 1)
assert delays and 0 not in delays, delays
PY
done
cp "$suite/start-up.png" "$work/fails.png"
printf 'key 取扱\nexpect screen fails.png\n' >"$work/fails.scn"
expect_status 2 "$qmt" run --scenario "$work/bad.scn"  # a bad line: 2, as in qmt test and qmtsim
expect_status 2 "$qmt" run --scenario "$work/fails.scn"
grep -q "fails.scn: line 2 (expect screen fails.png): screen differs in" "$work/err" || fail "run: $(cat "$work/err")"
echo "qmt test: all cases behave"
