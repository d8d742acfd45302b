"""Fault-injection sweep: every call of the file-changing system calls made by
write, apply, dump, read -o and a tool writing over its input is failed in
turn (strace -e inject). Each run must leave the output byte for byte old or
new (new when it exits 0), no temporary file, and a message when it fails.
usage: fault_sweep_test.py STRACE CALVEX BINCUT EXAMPLES_DIR"""
import concurrent.futures
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

STRACE, CALVEX, BINCUT, EXAMPLES = sys.argv[1:5]
# The calls failed, and the error each gets.
INJECTED = {
    "write": "ENOSPC", "pwrite64": "ENOSPC", "fsync": "EIO", "rename": "EIO", "openat": "EACCES",
    "close": "EIO", "fchmod": "EPERM", "fchown": "EPERM", "ftruncate": "EIO", "flock": "EIO",
}
# Writes to standard output or error are the messages themselves, not the files.
MESSAGE_FDS = {"1", "2"}
RUN_SECONDS = 30
WORKERS = 2
DATE = re.compile(rb"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ")


def workbook_content(data):
    """A workbook's entries with its dates blanked, or the bytes when it is none."""
    try:
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            return {n: DATE.sub(b"DATE", z.read(n)) for n in z.namelist()}
    except (zipfile.BadZipFile, OSError, EOFError, KeyError, ValueError):
        return ("not a workbook", data)


class Scenario:
    def __init__(self, name, prepare, command, output, workbook=False):
        self.name, self.prepare, self.command, self.output, self.workbook = name, prepare, command, output, workbook

    def content(self, data):
        return workbook_content(data) if self.workbook else data


def examples(family, name):
    return os.path.join(EXAMPLES, family, name)


def written_gsm(d, name):
    shutil.copyfile(examples("gsm", "nv.bin"), os.path.join(d, name))
    for sheet in ("GsmTmpComp", "GsmRampCtrl"):
        subprocess.run([CALVEX, "write", sheet, os.path.join(d, name), examples("gsm", sheet + ".csv")],
                       check=True, capture_output=True)


def prepare_write(d):
    shutil.copyfile(examples("common", "nv.bin"), f"{d}/g.bin")


def prepare_apply(d):
    written_gsm(d, "src.bin")
    subprocess.run([CALVEX, "read", "GsmRampCtrl", f"{d}/src.bin", "-o", f"{d}/ramp.xlsx"], check=True,
                   capture_output=True)
    os.remove(f"{d}/src.bin")
    shutil.copyfile(examples("gsm", "nv.bin"), f"{d}/g2.bin")


def prepare_dump(d):
    written_gsm(d, "g2.bin")
    # The old workbook: a dump of another image.
    shutil.copyfile(examples("gsm", "nv.bin"), f"{d}/blank.bin")
    subprocess.run([CALVEX, "dump", "blank.bin", "--family", "gsm", "-o", "b.xlsx"], check=True,
                   capture_output=True, cwd=d)
    os.remove(f"{d}/blank.bin")


def prepare_read(d):
    written_gsm(d, "g2.bin")
    with open(f"{d}/out.csv", "w") as f:
        f.write("old\n")


def prepare_read_book(d):
    written_gsm(d, "g2.bin")
    with open(f"{d}/out.xlsx", "wb") as f:
        f.write(b"old")


def prepare_tool(d):
    shutil.copyfile(examples("common", "nv.bin"), f"{d}/g.bin")


SCENARIOS = [
    Scenario("write", prepare_write,
             [CALVEX, "write", "TempDacTab", "g.bin", examples("common", "TempDacTab.csv")], "g.bin"),
    Scenario("apply", prepare_apply, [CALVEX, "apply", "g2.bin", "ramp.xlsx"], "g2.bin"),
    Scenario("dump", prepare_dump, [CALVEX, "dump", "g2.bin", "--family", "gsm", "-o", "b.xlsx"], "b.xlsx",
             workbook=True),
    Scenario("read -o", prepare_read, [CALVEX, "read", "GsmTmpComp", "g2.bin", "-o", "out.csv"], "out.csv"),
    Scenario("read -o book", prepare_read_book, [CALVEX, "read", "GsmTmpComp", "g2.bin", "-o", "out.xlsx"],
             "out.xlsx", workbook=True),
    Scenario("bincut out==in", prepare_tool, [BINCUT, "g.bin", "16", "256", "g.bin"], "g.bin"),
]


def fresh(scenario):
    d = tempfile.mkdtemp(prefix="calvex-sweep-")
    os.mkdir(f"{d}/tmp")
    scenario.prepare(d)
    return d


def run_in(d, argv):
    # A sanitized build's leak check cannot run under strace.
    env = dict(os.environ, TMPDIR=f"{d}/tmp", LC_ALL="C", ASAN_OPTIONS="detect_leaks=0")
    return subprocess.run(argv, cwd=d, env=env, capture_output=True, timeout=RUN_SECONDS)


def read(d, name):
    try:
        with open(os.path.join(d, name), "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def occurrences(scenario):
    """The old and new output, and per call the occurrence numbers to fail."""
    d = fresh(scenario)
    try:
        old = read(d, scenario.output)
        log = f"{d}/tmp/trace"
        p = run_in(d, [STRACE, "-qq", "-o", log, "-e", "trace=" + ",".join(INJECTED), *scenario.command])
        assert p.returncode == 0, (scenario.name, p.stderr)
        new = read(d, scenario.output)
        counts = {name: [] for name in INJECTED}
        with open(log) as f:
            for line in f:
                m = re.match(r"(\w+)\((\d*)", line)
                if not m or m.group(1) not in counts:
                    continue
                counts[m.group(1)].append(m.group(2))
        runs = {name: [i + 1 for i, fd in enumerate(fds) if not (name == "write" and fd in MESSAGE_FDS)]
                for name, fds in counts.items()}
        return old, new, runs
    finally:
        shutil.rmtree(d)


def inject(scenario, old, new, call, when):
    d = fresh(scenario)
    try:
        before = set(os.listdir(d))
        p = run_in(d, [STRACE, "-qq", "-o", os.devnull, "-e", "trace=" + call,
                       "-e", f"inject={call}:error={INJECTED[call]}:when={when}", *scenario.command])
        problems = []
        got = read(d, scenario.output)
        content = scenario.content(got) if got is not None else None
        old_c = scenario.content(old) if old is not None else None
        new_c = scenario.content(new)
        if p.returncode == 0 and content != new_c:
            problems.append("exit 0 without the new output" + (" (old kept)" if content == old_c else ""))
        elif content not in (old_c, new_c):
            problems.append(f"exit {p.returncode} with an output neither old nor new")
        left = (set(os.listdir(d)) - before - {scenario.output}) | set(os.listdir(f"{d}/tmp"))
        if left:
            problems.append("left " + ", ".join(sorted(left)))
        if p.returncode != 0 and not p.stderr.strip():
            problems.append(f"exit {p.returncode} without a message")
        return [f"{scenario.name}: {call} #{when} ({INJECTED[call]}): {problem}" for problem in problems]
    finally:
        shutil.rmtree(d)


def main():
    with open(CALVEX, "rb") as program:
        if b"__asan_init" in program.read():
            # The sanitizer runtime's own calls (maps, reports) would be failed too.
            print("fault sweep: skipped for a sanitized build")
            return 0
    total = 0
    problems = []
    for scenario in SCENARIOS:
        old, new, runs = occurrences(scenario)
        jobs = [(call, when) for call, whens in runs.items() for when in whens]
        with concurrent.futures.ThreadPoolExecutor(WORKERS) as pool:
            results = list(pool.map(lambda job: inject(scenario, old, new, *job), jobs))
        found = [line for lines in results for line in lines]
        total += len(jobs)
        problems += found
        per_call = ", ".join(f"{call} {len(whens)}" for call, whens in runs.items() if whens)
        print(f"{scenario.name}: {len(jobs)} runs ({per_call}), {len(jobs) - len(set(f.split(': ')[1] for f in found))}"
              f" survived")
    for line in problems:
        print("PROBLEM " + line)
    failed_runs = len({line.rsplit(": ", 1)[0] for line in problems})
    print(f"fault sweep: {total} runs, {total - failed_runs} survived, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
