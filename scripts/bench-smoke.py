#!/usr/bin/env python3
"""Runs every benchmark of a build once on small inputs, and checks that the costs which
must grow linearly do: the time for 100,000 items stays under 20 times that for 10,000
(linear is 10, quadratic 100). Only ratios within one run are compared, so a loaded
machine slows both sides alike and does not fail the check.

    scripts/bench-smoke.py BUILD_DIR     (BUILD_DIR/benchmarks.txt lists what was built)
"""
import json
import os
import subprocess
import sys
import tempfile
import time

# (benchmark program, small case, large case): the growth pairs.
GROWTH = [
    ("bench_ttlabelinfo", "BM_GroupOnly/10000", "BM_GroupOnly/100000"),
    ("bench_recordhistory", "BM_GetAllText/10000", "BM_GetAllText/100000"),
]
MAX_RATIO = 20.0
REPETITIONS = 5

# Small inputs for the plain programs; a program missing here fails the run, so a new one
# gets a short case when it is added.
HARNESS_ARGS = {
    "bench_labels_decode": ["{src}/examples/vehicle-labels.txt", "20000"],
    "bench_emulator_pty": ["15000"],
    "replay_throughput": ["20000", "{tmp}"],
    "trace_save": ["20000", "{tmp}"],
    "bench_mainform_cpu": ["1", "idle"],
    "graph_acquisition": ["1", "load", "1000"],
    "bench_receive_cpu": ["0.2", "1000"],
    "bench_slcan": ["1", "1000"],
    "monitor_throughput": ["1", "1000"],
    "labelform_paint": ["{src}/examples/vehicle.dbc"],
    "binary_logs_vs_peer": ["2000", "{tmp}"],
    "capture_memory": ["1", "1000", "{tmp}"],
    "list_timing": ["1", "3", "10"],
}
# Google Benchmark programs skip their million-item cases here.
BENCH_ARGS = ["--benchmark_filter=-/1000000|FullHistory", "--benchmark_min_time=0.01"]


def run(cmd, env, timeout=120):
    start = time.monotonic()
    p = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       timeout=timeout, text=True)
    return p.returncode, p.stdout, time.monotonic() - start


def cpu_times(path, names, env):
    """Median processor time of each case over several repetitions, in the same unit: the
    least would take a lucky repetition (memory the allocator happened to have mapped
    already) for the case's cost, and one such made 10,000 labels look 80 times cheaper."""
    regex = "^(" + "|".join(names) + ")(/|$)"
    code, out, _ = run([path, "--benchmark_filter=" + regex, "--benchmark_format=json",
                        "--benchmark_repetitions=%d" % REPETITIONS], env)
    if code != 0:
        raise RuntimeError(out)
    times = {}
    for b in json.loads(out[out.index("{"):])["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        times.setdefault(b["run_name"].split("/iterations:")[0], []).append(b["cpu_time"])
    return {name: sorted(t)[len(t) // 2] for name, t in times.items()}


def main():
    build = sys.argv[1]
    src = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    listing = os.path.join(build, "benchmarks.txt")
    programs = [line.split(" ", 2) for line in open(listing).read().splitlines() if line.strip()]
    if not programs:
        print("no benchmark was built")
        return 1
    ok = True
    paths = {}
    with tempfile.TemporaryDirectory() as tmp:
        for kind, name, path in programs:
            paths[name] = path
            if kind == "bench":
                args = BENCH_ARGS
            elif name in HARNESS_ARGS:
                args = [a.replace("{tmp}", tmp).replace("{src}", src) for a in HARNESS_ARGS[name]]
            else:
                print("ran %s: FAILED, no short case in scripts/bench-smoke.py" % name)
                ok = False
                continue
            report = os.path.join(tmp, name + ".json")
            if kind == "bench":
                args = args + ["--benchmark_out=" + report, "--benchmark_out_format=json"]
            code, out, secs = run([path] + args, env)
            # A benchmark that finds its result wrong reports an error but still exits 0.
            errors = []
            if kind == "bench" and code == 0:
                try:
                    errors = [b["name"] + ": " + b.get("error_message", "")
                              for b in json.load(open(report))["benchmarks"] if b.get("error_occurred")]
                except (OSError, ValueError, KeyError) as e:
                    errors = ["no readable report (%s)" % e]
            verdict = "ok" if code == 0 and not errors else "FAILED, exit %d %s" % (code, "; ".join(errors))
            print("ran %s: %s (%.1f s)" % (name, verdict, secs))
            if verdict != "ok":
                print(out[-3000:])
                ok = False
    for prog, small, large in GROWTH:
        if prog not in paths:
            print("growth %s: FAILED, %s was not built" % (large, prog))
            ok = False
            continue
        t = cpu_times(paths[prog], [small, large], env)
        if small not in t or large not in t:
            print("growth %s: FAILED, the cases did not run (%s)" % (large, sorted(t)))
            ok = False
            continue
        ratio = t[large] / max(t[small], 1e-9)
        good = ratio < MAX_RATIO
        print("growth %s / %s: %.1fx (%s, limit %.0fx)" % (large, small, ratio, "ok" if good else "FAILED", MAX_RATIO))
        ok = ok and good
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
