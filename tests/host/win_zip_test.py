#!/usr/bin/env python3
"""The Windows zips: exact contents, the files the sources give byte for byte,
PE machine of every program and DLL, import libraries naming every export of
the module-definition file, and (64-bit) calvex.exe --version run from the
unpacked zip under wine64.

  win_zip_test.py ZIP32 ZIP64 NM32 NM64 SOURCE_DIR VERSION [WINE]
"""
import os
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

PE_MACHINE = {"win32": 0x014C, "win64": 0x8664}
PROGRAMS = ["bin/Calvex.dll", "bin/calvex.exe", "bin/binsplice.exe", "bin/binseek.exe", "bin/bincut.exe"]
EXAMPLE_PATTERNS = ("*.csv", "*.bin", "job.txt")

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def expected_names(source, top):
    examples = source / "examples"
    names = {f"{top}/{n}" for n in PROGRAMS + ["README.txt", "include/calvex.h", "lib/Calvex.def", "lib/Calvex.lib",
                                              "lib/libCalvex.dll.a"]}
    for pattern in EXAMPLE_PATTERNS:
        names |= {f"{top}/examples/{p.relative_to(examples).as_posix()}" for p in examples.rglob(pattern)}
    return names


def def_exports(def_file):
    lines = def_file.read_text().splitlines()
    return [line.strip() for line in lines[lines.index("EXPORTS") + 1:] if line.strip()]


def pe_machine(data):
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


def check_import_library(nm, path, exports, symbol_prefix):
    """Every export has its import thunk symbol __imp_<C name>; on i686 the C name
    carries the cdecl underscore while the DLL exports the bare name."""
    dump = subprocess.run([nm, "-g", str(path)], capture_output=True, text=True, check=True).stdout
    symbols = {line.split()[-1] for line in dump.splitlines() if line.strip() and not line.endswith(":")}
    missing = [name for name in exports if f"__imp_{symbol_prefix}{name}" not in symbols]
    check(not missing, f"{path.name}: no import symbol for {missing[:5]}")


def check_zip(zip_path, arch, nm, source, version, wine):
    top = f"Calvex-{version}-{arch}"
    check(zip_path.name == f"{top}.zip", f"zip file name {zip_path.name}")
    exports = def_exports(source / "sheetlib" / "Calvex.def")
    with zipfile.ZipFile(zip_path) as z, tempfile.TemporaryDirectory(prefix="calvex-zip-") as work:
        names = {n for n in z.namelist() if not n.endswith("/")}
        want = expected_names(source, top)
        check(names == want, f"{arch}: extra {sorted(names - want)}, missing {sorted(want - names)}")
        if names != want:
            return
        z.extractall(work)
        root = Path(work) / top
        same_as_source = {"include/calvex.h": "sheetlib/include/calvex.h", "lib/Calvex.def": "sheetlib/Calvex.def",
                          "README.txt": "packaging/windows/README.txt"}
        for member, origin in same_as_source.items():
            check((root / member).read_bytes() == (source / origin).read_bytes(), f"{arch}: {member} differs")
        for p in (source / "examples").rglob("*.bin"):
            check((root / "examples" / p.relative_to(source / "examples")).read_bytes() == p.read_bytes(),
                  f"{arch}: example {p.name} differs")
        for program in PROGRAMS:
            machine = pe_machine((root / program).read_bytes())
            check(machine == PE_MACHINE[arch], f"{arch}: {program} machine {machine}")
        symbol_prefix = "_" if arch == "win32" else ""
        check_import_library(nm, root / "lib" / "Calvex.lib", exports, symbol_prefix)
        check_import_library(nm, root / "lib" / "libCalvex.dll.a", exports, symbol_prefix)
        if wine:
            done = subprocess.run([wine, str(root / "bin" / "calvex.exe"), "--version"], capture_output=True,
                                  cwd=root, timeout=300, env=dict(os.environ, LC_ALL="C.UTF-8"))
            # The version line comes through the C++ stream in text mode: CR LF.
            check((done.returncode, done.stdout, done.stderr) == (0, f"calvex {version}\r\n".encode(), b""),
                  f"{arch}: calvex.exe --version gave {done.returncode} {done.stdout!r} {done.stderr!r}")


def main(argv):
    if len(argv) not in (7, 8):
        print(__doc__)
        return 2
    zip32, zip64, nm32, nm64, source, version = argv[1:7]
    wine = argv[7] if len(argv) == 8 else None
    check_zip(Path(zip32), "win32", nm32, Path(source), version, None)
    check_zip(Path(zip64), "win64", nm64, Path(source), version, wine)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
