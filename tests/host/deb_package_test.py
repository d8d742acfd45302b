#!/usr/bin/env python3
"""The Debian package: built with CPack from this build tree, its control
fields and exact file list, the extracted calvex and library working, and
lintian reporting no error.

  deb_package_test.py CPACK CPACK_CONFIG SOURCE_DIR VERSION LINTIAN
"""
import ctypes
import os
import subprocess
import sys
import tempfile
from pathlib import Path

PACKAGE = "calvex"
RELEASE = "1"
PROGRAMS = ["calvex", "binsplice", "binseek", "bincut", "ubiunpack", "ubiunpack-lite", "sqseal"]
EXAMPLE_PATTERNS = ("*.csv", "*.bin", "job.txt")
DOC = f"usr/share/doc/{PACKAGE}"

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=600, **kwargs)


def expected_files(source, version):
    major = version.split(".")[0]
    files = {f"usr/bin/{p}" for p in PROGRAMS} | {f"usr/share/man/man1/{p}.1.gz" for p in PROGRAMS}
    files |= {f"usr/lib/libCalvex.so.{version}", f"usr/lib/libCalvex.so.{major}", "usr/lib/libCalvex.so",
              "usr/include/calvex.h", f"{DOC}/copyright", f"{DOC}/changelog.Debian.gz"}
    examples = source / "examples"
    for pattern in EXAMPLE_PATTERNS:
        files |= {f"{DOC}/examples/{p.relative_to(examples).as_posix()}" for p in examples.rglob(pattern)}
    return files


def main(argv):
    if len(argv) != 6:
        print(__doc__)
        return 2
    cpack, config, source, version, lintian = argv[1], argv[2], Path(argv[3]), argv[4], argv[5]
    arch = run(["dpkg", "--print-architecture"]).stdout.strip()
    with tempfile.TemporaryDirectory(prefix="calvex-deb-") as work:
        work = Path(work)
        built = run([cpack, "-G", "DEB", "--config", config, "-B", str(work / "out")])
        deb = work / "out" / f"{PACKAGE}_{version}-{RELEASE}_{arch}.deb"
        check(built.returncode == 0 and deb.exists(), f"cpack: {built.returncode} {built.stdout}{built.stderr}")
        if not deb.exists():
            return report()

        fields = ["Package", "Version", "Architecture", "Section", "Priority", "Depends"]
        lines = run(["dpkg-deb", "-f", str(deb)] + fields).stdout.splitlines()
        control = got = dict(line.split(": ", 1) for line in lines if ": " in line)
        check(got.get("Package") == PACKAGE, f"control: {control}")
        check(got.get("Version") == f"{version}-{RELEASE}", f"control: {control}")
        check(got.get("Architecture") == arch, f"control: {control}")
        check(got.get("Section") == "utils" and got.get("Priority") == "optional", f"control: {control}")
        depends = got.get("Depends", "")
        check("libc6" in depends and "libstdc++6" in depends, f"control: Depends {depends!r}")
        check("shlibs" in run(["dpkg-deb", "-I", str(deb)]).stdout, "control: no shlibs file")

        listing = run(["dpkg-deb", "-c", str(deb)]).stdout.splitlines()
        entries = {}
        for line in listing:
            parts = line.split(None, 5)
            path = parts[5].split(" -> ")[0].removeprefix("./")
            if not path.endswith("/"):
                entries[path] = parts[0]
        want = expected_files(source, version)
        check(set(entries) == want, f"contents: extra {sorted(set(entries) - want)}, missing {sorted(want - set(entries))}")
        check(all(entries.get(f"usr/bin/{p}", "").startswith("-rwxr-xr-x") for p in PROGRAMS), "programs not 0755")

        root = work / "root"
        check(run(["dpkg-deb", "-x", str(deb), str(root)]).returncode == 0, "dpkg-deb -x failed")
        env = dict(os.environ, LD_LIBRARY_PATH=str(root / "usr" / "lib"))
        version_run = run([str(root / "usr/bin/calvex"), "--version"], env=env)
        check((version_run.returncode, version_run.stdout, version_run.stderr) == (0, f"calvex {version}\n", ""),
              f"calvex --version: {version_run}")
        dynamic = run(["objdump", "-p", str(root / f"usr/lib/libCalvex.so.{version}")]).stdout.split()
        major = version.split(".")[0]
        soname = dynamic[dynamic.index("SONAME") + 1] if "SONAME" in dynamic else None
        check(soname == f"libCalvex.so.{major}", f"libCalvex.so: SONAME {soname}")
        library = ctypes.CDLL(str(root / f"usr/lib/libCalvex.so.{major}"))
        check(library.IsLteMerge() == 0, "libCalvex.so: IsLteMerge() is not 0 in a fresh process")
        manual = run(["gzip", "-dc", str(root / "usr/share/man/man1/calvex.1.gz")]).stdout
        # help2man's page: the version line and an option of calvex --help (groff escapes the dashes).
        check('.TH CALVEX "1"' in manual and '"calvex ' + version + '"' in manual and "\\-\\-layout" in manual,
              "calvex.1: not made from calvex --help and --version")

        lint = run([lintian, "--fail-on", "error", "--allow-root", str(deb)])
        print(lint.stdout, end="")
        errors = [line for line in lint.stdout.splitlines() if line.startswith("E: ")]
        check(lint.returncode == 0 and not errors, f"lintian: status {lint.returncode}, errors {errors}")
    return report()


def report():
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
