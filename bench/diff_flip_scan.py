#!/usr/bin/env python3
"""Share of single-byte changes that `calvex diff` misses, per family.

usage: diff_flip_scan.py CALVEX EXAMPLES_DIR [FAMILY[:merged] ...]

Each family's example image gets its example sheets written (the LTE sheets
also in the merged layout, into a second copy); then every byte of it is
flipped in turn (xor 0xFF) and `calvex diff` run on the pair. Prints per
family the offsets scanned and the share for which diff exited 0 ("equal").
One process per offset: a measurement, not a test (the test of every offset
runs in-process, tests/host/diff_scan_test.cpp)."""
import os
import shutil
import subprocess
import sys
import tempfile

CALVEX, EXAMPLES = sys.argv[1], sys.argv[2]
RUNS = sys.argv[3:] or ["common", "gsm", "ltea", "lte", "lte:merged", "tdscdma", "wcdma"]


def prepared(family, layout, work):
    image = os.path.join(work, f"{family}-{layout or 'job'}.bin")
    shutil.copyfile(os.path.join(EXAMPLES, family, "nv.bin"), image)
    with open(os.path.join(EXAMPLES, family, "job.txt")) as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            parts = line.split()
            args = ["write", parts[0], image, os.path.join(EXAMPLES, family, parts[1])]
            chosen = layout or (parts[2] if len(parts) > 2 else None)
            if chosen:
                args += ["--layout", chosen]
            subprocess.run([CALVEX, *args], check=True, capture_output=True)
    return image


def main():
    with tempfile.TemporaryDirectory(prefix="calvex-flip-") as work:
        for run in RUNS:
            family, _, layout = run.partition(":")
            image = prepared(family, layout, work)
            original = open(image, "rb").read()
            flipped = os.path.join(work, "flipped.bin")
            equal = 0
            extra = ["--layout", layout] if layout else []
            for k in range(len(original)):
                data = bytearray(original)
                data[k] ^= 0xFF
                with open(flipped, "wb") as f:
                    f.write(data)
                p = subprocess.run([CALVEX, "diff", image, flipped, "--family", family, *extra], capture_output=True)
                if p.returncode == 0:
                    equal += 1
            print(f"{run}: {len(original)} offsets, {equal} reported equal ({100.0 * equal / len(original):.1f} %)",
                  flush=True)


if __name__ == "__main__":
    main()
