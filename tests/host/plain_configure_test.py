#!/usr/bin/env python3
"""A plain configure on a machine without MinGW-w64 skips the Windows builds
with a notice and builds; with CALVEX_REQUIRE_CROSS=ON (the presets) it fails.
The missing compiler is simulated by naming one that does not exist.

  plain_configure_test.py CMAKE SOURCE_DIR
"""
import subprocess
import sys
import tempfile
from pathlib import Path

MISSING_COMPILER = "/nonexistent/x86_64-w64-mingw32-g++-posix"
SKIP_NOTICE = ("MinGW-w64 cross compilers not found: the Windows builds and their tests are skipped "
               "(scripts/install-deps.sh installs them)")
REQUIRED_ERROR = ("MinGW-w64 cross compilers not found: run scripts/install-deps.sh or configure with "
                  "-DCALVEX_CROSS=OFF")

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def configure(cmake, source, build, extra):
    # Only the top level: the library, tools and tests are configured by every other test run.
    args = [cmake, "-S", source, "-B", str(build), "-G", "Ninja", "-DCALVEX_TESTS=OFF", "-DCALVEX_BUILD_TOOLS=OFF",
            "-DCALVEX_BUILD_LIBRARY=OFF", f"-DCALVEX_MINGW64_CXX={MISSING_COMPILER}"] + extra
    done = subprocess.run(args, capture_output=True, text=True, timeout=300)
    return done.returncode, " ".join(done.stderr.split())


def main(argv):
    cmake, source = argv[1], argv[2]
    with tempfile.TemporaryDirectory(prefix="calvex-configure-") as work:
        work = Path(work)
        status, err = configure(cmake, source, work / "plain", [])
        check(status == 0, f"plain configure: status {status}: {err}")
        check(SKIP_NOTICE in err, f"plain configure: no skip notice in {err!r}")
        check("cross-win" not in (work / "plain" / "build.ninja").read_text(), "plain configure: cross builds planned")
        built = subprocess.run([cmake, "--build", str(work / "plain")], capture_output=True, text=True, timeout=300)
        check(built.returncode == 0, f"plain build: status {built.returncode}: {built.stdout}{built.stderr}")

        status, err = configure(cmake, source, work / "required", ["-DCALVEX_REQUIRE_CROSS=ON"])
        check(status != 0, "configure with CALVEX_REQUIRE_CROSS=ON succeeded without MinGW-w64")
        check(REQUIRED_ERROR in err, f"required configure: no error text in {err!r}")
        check(SKIP_NOTICE not in err, "required configure: skip notice shown")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
