#!/usr/bin/env python3
"""Many units in one command, against the plain tools on the same files.

  batch apply:   calvex apply BOOK.xlsx U0.bin ... U999.bin   vs  cp GOLDEN Ui.bin for each unit, then sync
  batch diff:    calvex diff --golden G.bin U0.bin ...        vs  cmp G.bin Ui.bin for each unit

Each pair is run back to back (the order alternating), PAIRS times; the table
shows medians of wall time and the median of the paired ratios.
usage: batch_bench.py CALVEX EXAMPLES_DIR [UNITS] [PAIRS]"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CALVEX, EXAMPLES = sys.argv[1:3]
UNITS = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
PAIRS = int(sys.argv[4]) if len(sys.argv) > 4 else 5
LTEA = os.path.join(EXAMPLES, "ltea")


def timed(fn):
    started = time.perf_counter()
    fn()
    return time.perf_counter() - started


def main():
    with tempfile.TemporaryDirectory(dir=os.environ.get("BENCH_DIR")) as d:
        golden = os.path.join(d, "golden.bin")
        shutil.copyfile(os.path.join(LTEA, "nv.bin"), golden)
        with open(os.path.join(LTEA, "job.txt")) as f:
            sheets = [l.split()[0] for l in f if l.strip() and not l.startswith("#")]
        for s in sheets:
            subprocess.run([CALVEX, "write", s, golden, os.path.join(LTEA, s + ".csv")], check=True, capture_output=True)
        book = os.path.join(d, "book.xlsx")
        subprocess.run([CALVEX, "dump", golden, "--family", "ltea", "-o", book], check=True, capture_output=True)
        units_dir = os.path.join(d, "units")
        os.mkdir(units_dir)
        units = [os.path.join(units_dir, f"u{i:04d}.bin") for i in range(UNITS)]

        def reset():
            for u in units:
                shutil.copyfile(os.path.join(LTEA, "nv.bin"), u)
            os.sync()

        def apply_batch():
            subprocess.run([CALVEX, "apply", book, *units, "--quiet"], check=True, capture_output=True)

        def copy_sync():
            for u in units:
                subprocess.run(["cp", golden, u], check=True)
            subprocess.run(["sync"], check=True)

        def diff_batch():
            p = subprocess.run([CALVEX, "diff", "--family", "ltea", "--golden", golden, *units, "--quiet"],
                               capture_output=True)
            assert p.returncode == 0, p.stderr

        def cmp_each():
            for u in units:
                subprocess.run(["cmp", "-s", golden, u], check=True)

        rows = []
        for name, ours, theirs, theirs_name in (("batch apply", apply_batch, copy_sync, "cp + sync"),
                                                ("batch diff --golden", diff_batch, cmp_each, "cmp")):
            a, b, ratios = [], [], []
            for i in range(PAIRS):
                if name == "batch apply":
                    reset()
                first, second = (ours, theirs) if i % 2 == 0 else (theirs, ours)
                t1 = timed(first)
                if name == "batch apply":
                    reset()
                t2 = timed(second)
                t_ours, t_theirs = (t1, t2) if i % 2 == 0 else (t2, t1)
                a.append(t_ours)
                b.append(t_theirs)
                ratios.append(t_ours / t_theirs)
            if name == "batch diff --golden":
                pass
            rows.append((name, statistics.median(a), theirs_name, statistics.median(b), statistics.median(ratios)))
            if name == "batch apply":
                # The diff pairs compare the applied units with the golden image.
                apply_batch()
        print(f"{UNITS} units of {os.path.getsize(golden)} bytes, {PAIRS} paired runs, medians")
        print(f"{'calvex':24} {'s':>8}  {'against':10} {'s':>8}  {'ratio':>6}")
        for name, ta, other, tb, r in rows:
            print(f"{name:24} {ta:8.3f}  {other:10} {tb:8.3f}  {r:6.2f}")


if __name__ == "__main__":
    main()
