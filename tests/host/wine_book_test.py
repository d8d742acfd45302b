#!/usr/bin/env python3
"""calvex.exe's workbook commands under wine64: an image prepared by the Linux
calvex is dumped to .xlsx by calvex.exe, the workbook is applied back by
calvex.exe, and the image must be byte-identical; the workbook must open in
openpyxl with one worksheet per readable sheet.

  wine_book_test.py WINE CALVEX_EXE LINUX_CALVEX EXAMPLES_DIR PYTHON3_WITH_OPENPYXL
"""
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

WINE, CALVEX_EXE, LINUX_CALVEX, EXAMPLES, PYTHON = sys.argv[1:6]
FAMILY = "gsm"


def run(command, cwd):
    env = dict(os.environ, LC_ALL="C.UTF-8")
    done = subprocess.run(command, cwd=cwd, capture_output=True, env=env, timeout=600)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def main():
    failures = []
    with tempfile.TemporaryDirectory(prefix="calvex-wine-book-") as tmp:
        work = Path(tmp)
        image = work / "单元.bin"
        shutil.copyfile(Path(EXAMPLES) / FAMILY / "nv.bin", image)
        for line in (Path(EXAMPLES) / FAMILY / "job.txt").read_text().splitlines():
            words = line.split()
            if not words or words[0].startswith("#"):
                continue
            code, _, err = run([LINUX_CALVEX, "write", words[0], str(image), str(Path(EXAMPLES) / FAMILY / words[1])],
                               work)
            if code != 0:
                failures.append(f"preparing {words[0]}: {err}")
        before = image.read_bytes()
        code, _, err = run([WINE, CALVEX_EXE, "dump", image.name, "--family", FAMILY, "-o", "单元.xlsx"], work)
        if code != 0:
            failures.append(f"dump exited {code}: {err}")
        code, _, err = run([WINE, CALVEX_EXE, "apply", image.name, "单元.xlsx"], work)
        if code != 0:
            failures.append(f"apply exited {code}: {err}")
        if "修改完成！" not in err:
            failures.append(f"apply showed no success message: {err}")
        if image.read_bytes() != before:
            failures.append("dump then apply changed the image")
        check = subprocess.run([PYTHON, "-c", "import openpyxl,sys; wb=openpyxl.load_workbook(sys.argv[1]);"
                                "print(','.join(wb.sheetnames), sum(len(ws._charts) for ws in wb.worksheets))",
                                str(work / "单元.xlsx")], capture_output=True, text=True)
        expected = "Info,GsmSwitchPaCtrlWord,GsmTmpComp,GsmRampCtrl 10"
        if check.stdout.strip() != expected:
            failures.append(f"workbook: {check.stdout.strip()!r} {check.stderr.strip()}, expected {expected!r}")
    for f in failures:
        print("FAIL:", f)
    print("ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
