#!/usr/bin/env python3
"""Turns Google Benchmark JSON into one table: each row's figure, its goal
where one is set, and the ratios measured against peers in the same run.
Several files (one per benchmark program) make one table."""
import json
import re
import sys

NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def load(path):
    with open(path) as f:
        data = json.load(f)
    rows = {}
    # With repetitions, the median of each benchmark stands for it; a single
    # run stands for itself.
    medians = any(b.get("aggregate_name") == "median" for b in data["benchmarks"])
    for b in data["benchmarks"]:
        if medians and b.get("aggregate_name") != "median":
            continue
        if not medians and b.get("run_type") == "aggregate":
            continue
        unit = NS[b.get("time_unit", "ns")]
        t = b["real_time"] * unit
        # A row that runs a program reports the child's CPU time; the
        # benchmark's own CPU time would be the parent's, waiting.
        cpu = b["child_cpu_ms"] * 1e6 if "child_cpu_ms" in b else b["cpu_time"] * unit
        name = b.get("run_name", b["name"])
        rows[name] = {"ns": t, "cpu": cpu, "items": b.get("items_per_second"), "instr": b.get("instr/s"),
                      "cores": b.get("cores"),
                      "counters": {k: b[k] for k in ("ticks", "paints", "painted_px", "widget_px", "site_bytes",
                                                       "canvas_updates") if k in b}}
    return data.get("context", {}), rows, medians


def load_all(paths):
    ctx, rows, medians = {}, {}, False
    for path in paths:
        try:
            c, r, m = load(path)
        except (OSError, ValueError, KeyError) as e:
            print(f"{path}: no results ({e})", file=sys.stderr)
            continue
        ctx = ctx or c
        rows.update(r)
        medians = medians or m
    return ctx, rows, medians


def fmt_time(ns):
    if ns < 1e3:
        return f"{ns:.1f} ns"
    if ns < 1e6:
        return f"{ns / 1e3:.2f} µs"
    return f"{ns / 1e6:.2f} ms"


def fmt_rate(r):
    if r is None:
        return ""
    for unit, div in (("G", 1e9), ("M", 1e6), ("k", 1e3)):
        if r >= div:
            return f"{r / div:.1f} {unit}/s"
    return f"{r:.0f} /s"


# (regex on the benchmark name, goal text, check(row, rows) -> bool or None)
def under(limit_ns):
    return lambda row, rows: row["ns"] <= limit_ns


def within(factor, other):
    def check(row, rows):
        o = rows.get(other)
        return None if o is None else row["ns"] <= factor * o["ns"]
    return check


def rate_at_least(rate):
    return lambda row, rows: row["items"] is not None and row["items"] >= rate


def cores_at_least(n):
    return lambda row, rows: row["cores"] is not None and row["cores"] >= n


GOALS = [
    (r"^BM_Device_Erase", "≤ 2× memset", within(2.0, "BM_Device_Memset")),
    (r"^BM_Device_FillPage", "≤ 2× memset", within(2.0, "BM_Device_Memset")),
    (r"^BM_Device_ExecuteLine_PA", "< 100 ns", under(100)),
    (r"^BM_Device_Line640", "< 1 µs", under(1000)),
    (r"^BM_GK_8Kanji", "< 5 µs", under(5000)),
    (r"^BM_HW_40Characters", "< 10 µs", under(10000)),
    (r"^BM_GI(/|$)", "< 300 ns", under(300)),
    (r"^BM_Compiler_TypicalMacro/1000$", "< 300 µs", under(300000)),
    (r"^BM_Compiler_TypicalMacro/10000$", "≤ 12× the 1,000 lines", within(12.0, "BM_Compiler_TypicalMacro/1000")),
    (r"^BM_Interp_Step", "≥ 400 M instr/s", rate_at_least(400e6)),
    (r"^BM_Debug_NoBreakpoints", "≤ 1.5× RunFrom", within(1.5, "BM_Interp_RunFrom")),
    (r"^BM_Debug_100Breakpoints", "≤ 2× RunFrom", within(2.0, "BM_Interp_RunFrom")),
    (r"^BM_Debug_TimerTicksLogged", "≤ 2× the ticks untraced", within(2.0, "BM_Debug_TimerTicks")),
    (r"^BM_Lsp_", "< 50 ms", under(50_000_000)),
    (r"^BM_Needle_Repaint", "< 10 µs", under(10000)),
    (r"^BM_Host_StartupRun", "< 20 ms", under(20e6)),
    (r"^BM_Host_TickScreenA", "< 300 µs", under(300000)),
    (r"^BM_Serve_TcpShortLines", "≥ 500 k lines/s", rate_at_least(500e3)),
    (r"^BM_Serve_WorstLine", "< 10 ms", under(10e6)),
    # well under one second per 1,000 ticks (checks against the baselines
    # included): at most half a second
    (r"^BM_Scenario_ReplaySuite", "≥ 50 k ticks/s", rate_at_least(50000)),
    (r"^BM_Scenario_ScreenCheck", "< 2 ms", under(2e6)),
    (r"^BM_QmtTest/scenarios:100/jobs:2", "≥ 1.6 cores busy", cores_at_least(1.6)),
    # 200 failing scenarios with their report pictures (--html)
    (r"^BM_QmtTestHtml/failing:200/jobs:1", "< 3 s", under(3e9)),
    (r"^BM_Window_SliderToPaint/zoom:3$", "< 1 ms", under(1e6)),
    (r"^BM_Process_QmtsimFirstPaint", "< 300 ms", under(300e6)),
    (r"^BM_Process_QmtRunPng", "< 50 ms", under(50e6)),
    # the web page in headless chromium (bench/web/page_bench.mjs)
    (r"^BM_Web_PageFirstFrame", "< 500 ms", under(500e6)),
    (r"^BM_Web_PageTick", "< 2 ms", under(2e6)),
]

# Sizes rather than times: (benchmark, counter, label, limit in bytes).
SIZES = [
    ("BM_Web_SiteCompressed", "site_bytes", "web site, every file gzip -9", 3 * 1024 * 1024),
]

# (label, numerator, denominator, goal, higher is better?)
RATIOS = [
    ("device lines vs Cairo (speed-up)", "BM_Peer_Cairo_Lines", "BM_Peer_Device_Lines", 3.0),
    ("device filled rects vs Cairo (speed-up)", "BM_Peer_Cairo_FilledRects", "BM_Peer_Device_FilledRects", 3.0),
    ("macro loop vs Lua 5.4 (iterations/s ratio)", "BM_Peer_Lua_Loop", "BM_Peer_Macro_Loop", 1.0),
    ("RunFrom vs bare Step loop (instr/s ratio)", "BM_Interp_Step", "BM_Interp_RunFrom", 2.0 / 3.0),
    # The bare Step loop's rate as a share of Lua 5.4's dispatch rate on this
    # machine, in the same run.
    ("Step loop vs Lua 5.4 dispatches (instr/s ratio)", "BM_Peer_Lua_Loop", "BM_Interp_Step", 0.9),
    ("compile vs luac (speed-up)", "BM_Peer_Luac_TypicalMacro", "BM_Compiler_TypicalMacro/1000", 2.0),
    # -j 2 is never slower than -j 1: the suite, and 100 scenarios.
    ("qmt test -j 2 vs -j 1, the suite (speed-up)", "BM_QmtTest/scenarios:0/jobs:1",
     "BM_QmtTest/scenarios:0/jobs:2", 1.0),
    ("qmt test -j 2 vs -j 1, 100 scenarios (speed-up)", "BM_QmtTest/scenarios:100/jobs:1",
     "BM_QmtTest/scenarios:100/jobs:2", 1.0),
    # The same core code built for WebAssembly and run under node, against
    # the native build, in the same run: native CPU time / WebAssembly CPU
    # time (the wall times of two programs run one after the other on a busy
    # machine say more about the machine than about them).
    ("macro loop: WebAssembly vs native (speed)", "BM_Core_Macro_Loop/native", "BM_Core_Macro_Loop/wasm", 0.5),
    ("device lines: WebAssembly vs native (speed)", "BM_Core_Device_Lines/native", "BM_Core_Device_Lines/wasm", 0.5),
]


def main():
    ctx, rows, medians = load_all(sys.argv[1:])
    print(f"host: {ctx.get('host_name', '?')}, {ctx.get('num_cpus', '?')} CPUs @ {ctx.get('mhz_per_cpu', '?')} MHz,"
          f" (the Google Benchmark library itself is a {ctx.get('library_build_type', '?')} build; the suite is Release)")
    if medians:
        print("figures: medians of the repetitions")
    w = max(len(n) for n in rows) if rows else 10
    print("time/op is wall time, which a busy machine inflates; cpu/op is the CPU time (the child's for a program run)")
    print(f"{'benchmark':<{w}}  {'time/op':>10}  {'cpu/op':>10}  {'rate':>12}  {'goal':<18} ok")
    failed = 0
    # Interleaved repetitions come in any order: the table is sorted by name.
    for name, row in sorted(rows.items()):
        if any(name == size[0] for size in SIZES):
            continue
        goal, ok = "", ""
        for pattern, text, check in GOALS:
            if re.search(pattern, name):
                goal = text
                res = check(row, rows)
                ok = "" if res is None else ("yes" if res else "NO")
                failed += res is False
                break
        print(f"{name:<{w}}  {fmt_time(row['ns']):>10}  {fmt_time(row['cpu']):>10}  {fmt_rate(row['items']):>12}"
              f"  {goal:<18} {ok}")
    print()
    # The window's frames: how much of the display each one repainted.
    for name, row in sorted(rows.items()):
        c = row["counters"]
        if "painted_px" in c and c.get("widget_px"):
            share = c["painted_px"] / c["widget_px"]
            ok = share < 1.0
            failed += not ok
            print(f"{name}: {c.get('ticks', 0):.1f} ticks, {c.get('paints', 0):.1f} paints,"
                  f" {c['painted_px']:.0f} of {c['widget_px']:.0f} px repainted per frame ({100 * share:.1f} %)"
                  f"  goal: the changed rectangle only  {'yes' if ok else 'NO'}")
    for name, counter, label, limit in SIZES:
        if name in rows and counter in rows[name]["counters"]:
            size = rows[name]["counters"][counter]
            ok = size < limit
            failed += not ok
            print(f"{label}: {size / 1024 / 1024:.2f} MB  goal < {limit / 1024 / 1024:.0f} MB  {'yes' if ok else 'NO'}")
    print()
    def named(name):
        # A row named with its arguments and options after the name given
        # ("BM_X/a:1/iterations:3/real_time") stands for it.
        if name in rows:
            return name
        return next((n for n in sorted(rows) if n.startswith(name + "/")), None)

    for label, num, den, goal in RATIOS:
        num, den = named(num), named(den)
        if num and den:
            # time ratio: peer time / our time for the same work
            ratio = rows[num]["ns"] / rows[den]["ns"]
            if num.startswith("BM_Core_"):
                ratio = rows[num]["cpu"] / rows[den]["cpu"]
            if "Lua_Loop" in num and "Interp" in den:
                ratio = (rows[den]["items"] or 0) / (rows[num]["instr"] or 1)
            elif "Lua_Loop" in num or "RunFrom" in den:
                ratio = (rows[den]["items"] or 0) / (rows[num]["items"] or 1)
            ok = ratio >= goal
            failed += not ok
            print(f"{label:<48} {ratio:6.2f}   goal ≥ {goal:.2f}  {'yes' if ok else 'NO'}")
    sys.exit(0)


if __name__ == "__main__":
    main()
