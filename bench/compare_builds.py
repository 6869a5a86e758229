#!/usr/bin/env python3
"""One benchmark in two builds side by side: interleaved wall-clock rounds and callgrind's
instruction counts, which a busy machine hardly moves.

    bench/compare_builds.py BASE_BUILD NEW_BUILD PROGRAM FILTER [--rounds N] [--function F]

BASE_BUILD and NEW_BUILD are build folders (Release, with the benchmarks), PROGRAM a
benchmark program in their bin/ (bench_BigChartComparisonBench), FILTER one benchmark of
it (ToPdf/1200). Each round runs both programs one after the other, the first of them
alternating, and prints both times (the benchmark's mean real time) and their ratio. With
--function (a function the benchmark calls once an iteration, as callgrind names it, e.g.
'qvx::BudgetComparison::Produce()'), each program then runs once under callgrind,
counting only that function's calls; the first call (the warm-up) is left out and the
median of the others compared.
"""
import argparse
import glob
import json
import os
import statistics
import subprocess
import sys
import tempfile


def run_time(build, program, flt):
    out = subprocess.run([os.path.join(build, "bin", program), "--benchmark_filter=" + flt,
                          "--benchmark_format=json"], capture_output=True, text=True, check=True).stdout
    runs = [b for b in json.loads(out)["benchmarks"] if b.get("run_type", "iteration") == "iteration"]
    if len(runs) != 1:
        sys.exit("the filter must select one benchmark, it selected %d" % len(runs))
    if runs[0].get("error_occurred"):
        sys.exit("%s: %s" % (build, runs[0].get("error_message")))
    unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[runs[0]["time_unit"]]
    return runs[0]["real_time"] * unit


def instructions(label, build, program, flt, function, folder):
    stem = os.path.join(folder, label)
    subprocess.run(["valgrind", "--tool=callgrind", "--collect-atstart=no", "--toggle-collect=" + function,
                    "--dump-after=" + function, "--callgrind-out-file=" + stem + ".%p",
                    os.path.join(build, "bin", program), "--benchmark_filter=" + flt],
                   capture_output=True, check=True)
    calls = []
    for path in sorted(glob.glob(stem + ".*.*"), key=lambda p: int(p.rsplit(".", 1)[1])):
        with open(path) as f:
            for line in f:
                if line.startswith("totals:"):
                    calls.append(int(line.split()[1]))
    if len(calls) < 2:
        sys.exit("%s: %s was called %d times" % (build, function, len(calls)))
    return calls[1:]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("base")
    ap.add_argument("new")
    ap.add_argument("program")
    ap.add_argument("filter")
    ap.add_argument("--rounds", type=int, default=15)
    ap.add_argument("--function")
    a = ap.parse_args()

    ratios = []
    for r in range(a.rounds):
        first, second = (a.base, a.new) if r % 2 == 0 else (a.new, a.base)
        times = {first: run_time(first, a.program, a.filter)}
        times[second] = run_time(second, a.program, a.filter)
        ratios.append(times[a.new] / times[a.base])
        print("round %2d  base %8.1f ms  new %8.1f ms  new/base %.3f" % (r + 1, times[a.base], times[a.new], ratios[-1]),
              flush=True)
    if ratios:
        print("wall clock: median new/base %.3f, new slower in %d of %d rounds" %
              (statistics.median(ratios), sum(1 for x in ratios if x > 1), len(ratios)))
    if a.function:
        with tempfile.TemporaryDirectory() as folder:
            base = statistics.median(instructions("base", a.base, a.program, a.filter, a.function, folder))
            new = statistics.median(instructions("new", a.new, a.program, a.filter, a.function, folder))
        print("instructions a call: base %d, new %d, new/base %.3f" % (base, new, new / base))


if __name__ == "__main__":
    main()
