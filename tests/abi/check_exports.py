#!/usr/bin/env python3
"""Checks a built library's export table against the module-definition file.

ELF (Linux): the dynamic symbols defined by the library are exactly the
exports. PE (Windows DLL): the export names are exactly the exports (bare
names: no leading underscore, no @N), and every imported DLL is a system DLL.
"""
import argparse
import pathlib
import re
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "win"))
from system_dlls import foreign_dlls  # noqa: E402


def def_names(path):
    names = []
    in_exports = False
    for line in open(path, encoding="utf-8"):
        stripped = line.strip()
        if not stripped or stripped.startswith(";"):
            continue
        if stripped == "EXPORTS":
            in_exports = True
            continue
        if in_exports:
            names.append(stripped.split()[0])
    return names


def elf_exports(lib):
    out = subprocess.run(["nm", "-D", "--defined-only", lib], check=True, capture_output=True, text=True).stdout
    names = set()
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[1] in "TtWwDdBbRrVvi":
            names.add(parts[2].split("@")[0])
    return names


def pe_tables(objdump, dll):
    out = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    exports = set()
    imports = set()
    in_names = False
    for line in out.splitlines():
        m = re.match(r"\s*DLL Name:\s*(\S+)", line)
        if m:
            imports.add(m.group(1).lower())
        if "[Ordinal/Name Pointer] Table" in line:
            in_names = True
            continue
        if in_names:
            m = re.match(r"\s*\[\s*\d+\]\s+(\S+)", line)
            if m:
                exports.add(m.group(1))
            elif line.strip() == "":
                in_names = False
    return exports, imports


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--def", dest="deffile", required=True)
    ap.add_argument("--elf")
    ap.add_argument("--pe")
    ap.add_argument("--objdump", default="objdump")
    ap.add_argument("--count", type=int, help="expected number of exports")
    args = ap.parse_args()
    expected = def_names(args.deffile)
    ok = True
    if len(expected) != len(set(expected)):
        print("module-definition file lists a name twice")
        ok = False
    if args.count is not None and len(expected) != args.count:
        print(f"module-definition file lists {len(expected)} exports, expected {args.count}")
        ok = False
    if args.elf:
        actual = elf_exports(args.elf)
    else:
        actual, imports = pe_tables(args.objdump, args.pe)
        foreign = foreign_dlls(imports)
        if foreign:
            print("imports non-system DLLs:", ", ".join(foreign))
            ok = False
    missing = sorted(set(expected) - actual)
    extra = sorted(actual - set(expected))
    if missing:
        print("missing exports:", ", ".join(missing))
        ok = False
    if extra:
        print("unexpected exports:", ", ".join(extra))
        ok = False
    print(f"{len(actual)} exports checked" if ok else "export table differs")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
