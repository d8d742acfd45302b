#!/usr/bin/env python3
"""Runs a Windows build of binsplice, binseek or bincut under wine64 on real
files and checks its output lines, exit status and output bytes; or checks
that Windows builds import system DLLs only.

  wine_tools_test.py run WINE EXE_DIR {splice,seek,cut}
  wine_tools_test.py imports OBJDUMP PE_FORMAT EXE...
"""
import random
import subprocess
import sys
import tempfile
from pathlib import Path

FAILURE_STATUS = 255  # -1 as seen by the POSIX side of wine
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "win"))
from system_dlls import foreign_dlls  # noqa: E402

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(wine, exe, args, cwd):
    done = subprocess.run([wine, str(exe)] + args, cwd=cwd, capture_output=True, timeout=300)
    return done.returncode, done.stdout.decode("latin-1")


def echo_line(out, rest, exe_name):
    """The program's echo line: its own path as wine passes it, then `rest`."""
    first = out.split("\r\n", 1)[0]
    program = first.split(" ", 1)[0]
    check(program.lower().endswith(exe_name), f"argument 0 {program!r} is not the program")
    return f"{program} {rest}\r\n"


def test_splice(wine, exe_dir, work):
    rng = random.Random(81)
    base = rng.randbytes(300000)
    patch = rng.randbytes(5000)
    (work / "base").write_bytes(base)
    (work / "patch").write_bytes(patch)
    (work / "100").write_bytes(b"4096\r\n")
    exe = exe_dir / "binsplice.exe"

    status, out = run(wine, exe, ["base", "100", "patch", "out"], work)
    check(status == 0, f"splice: status {status}")
    check(out == echo_line(out, "base 4096 patch out", "binsplice.exe"), f"splice: output {out!r}")
    expected = base[:4096] + patch + base[4096 + len(patch):]
    check((work / "out").read_bytes() == expected, "splice: output bytes differ")

    (work / "self").write_bytes(base)
    status, out = run(wine, exe, ["self", "100", "patch", "self"], work)
    check(status == 0, f"splice over its input: status {status}")
    check((work / "self").read_bytes() == expected, "splice over its input: bytes differ")

    status, out = run(wine, exe, ["base", "295001", "patch", "out2"], work)
    check(status == FAILURE_STATUS, f"splice too far: status {status}")
    check(out == echo_line(out, "base 295001 patch out2", "binsplice.exe") + "[error] offset too big\r\n",
          f"splice too far: output {out!r}")
    check(not (work / "out2").exists(), "splice too far: output file created")


def test_seek(wine, exe_dir, work):
    rng = random.Random(82)
    big = bytearray(rng.randbytes(1 << 20))
    seek = rng.randbytes(65536)
    big[(1 << 20) - len(seek):] = seek  # ends exactly at the end of bigfile
    (work / "big").write_bytes(bytes(big))
    (work / "seek").write_bytes(seek)
    exe = exe_dir / "binseek.exe"

    status, out = run(wine, exe, ["big", "seek"], work)
    check(status == 0, f"seek: status {status}")
    check(out == f"{(1 << 20) - len(seek)}\r\n", f"seek: output {out!r}")

    big[1000:1000 + len(seek)] = seek
    (work / "big2").write_bytes(bytes(big))
    status, out = run(wine, exe, ["big2", "seek"], work)
    check(status == FAILURE_STATUS, f"seek twice: status {status}")
    check(out == f"1000\r\n{(1 << 20) - len(seek)}\r\n", f"seek twice: output {out!r}")


def test_cut(wine, exe_dir, work):
    rng = random.Random(83)
    data = rng.randbytes(200000)
    (work / "in").write_bytes(data)
    exe = exe_dir / "bincut.exe"

    status, out = run(wine, exe, ["in", "16", "0", "tail"], work)
    check(status == 0, f"cut: status {status}")
    check(out == echo_line(out, "in 16 0 tail", "bincut.exe"), f"cut: output {out!r}")
    check((work / "tail").read_bytes() == data[16:], "cut: tail bytes differ")

    status, out = run(wine, exe, ["in", "1000", "4096", "slice"], work)
    check(status == 0, f"cut slice: status {status}")
    check((work / "slice").read_bytes() == data[1000:5096], "cut: slice bytes differ")

    # The output may replace its own input.
    (work / "self").write_bytes(data)
    status, out = run(wine, exe, ["self", "16", "0", "self"], work)
    check(status == 0, f"cut over its input: status {status}")
    check((work / "self").read_bytes() == data[16:], "cut over its input: bytes differ")
    check(sorted(p.name for p in work.iterdir() if p.name.startswith("self")) == ["self"],
          "cut over its input: a temporary file stayed behind")

    # Offsets beyond 4 GiB in both builds (a sparse file).
    marker = rng.randbytes(23)
    with open(work / "sparse", "wb") as sparse:
        sparse.seek((1 << 32) + 12345)
        sparse.write(marker)
        sparse.truncate((1 << 32) + 65536)
    status, out = run(wine, exe, ["sparse", str((1 << 32) + 12345), "23", "marker"], work)
    check(status == 0, f"cut beyond 4 GiB: status {status}")
    check((work / "marker").read_bytes() == marker, "cut beyond 4 GiB: bytes differ")
    (work / "sparse").unlink()

    status, out = run(wine, exe, ["in", "199999", "2", "bad"], work)
    check(status == FAILURE_STATUS, f"cut out of range: status {status}")
    check(out == echo_line(out, "in 199999 2 bad", "bincut.exe") + "[error] offset or size out of range\r\n",
          f"cut out of range: output {out!r}")
    check(not (work / "bad").exists(), "cut out of range: output file created")


def test_imports(objdump, pe_format, exes):
    for exe in exes:
        dump = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
        check(f"file format {pe_format}" in dump, f"{exe}: not {pe_format}")
        dlls = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
        check(bool(dlls), f"{exe}: no imports found")
        foreign = foreign_dlls(dlls)
        check(not foreign, f"{exe}: imports non-system DLLs {sorted(foreign)}")


def main(argv):
    if len(argv) >= 4 and argv[1] == "run":
        wine, exe_dir, which = argv[2], Path(argv[3]), argv[4]
        tests = {"splice": test_splice, "seek": test_seek, "cut": test_cut}
        with tempfile.TemporaryDirectory(prefix="calvex-wine-") as work:
            tests[which](wine, exe_dir, Path(work))
    elif len(argv) >= 5 and argv[1] == "imports":
        test_imports(argv[2], argv[3], argv[4:])
    else:
        print(__doc__)
        return 2
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
