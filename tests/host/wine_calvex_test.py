#!/usr/bin/env python3
"""calvex.exe, the Windows build of calvex.

  wine_calvex_test.py run WINE CALVEX_EXE LINUX_CALVEX EXAMPLES_DIR VERSION
      Runs calvex.exe under wine64 and the Linux calvex side by side, each in a
      directory of its own holding the same files under the same (Chinese)
      names: --version, list, template, write and read, the first example
      sheet of each family written into a copy of the family's example image
      and read back, the sheet-file encodings and the exit statuses. Both must give the same status, the
      same standard output and error bytes and the same files; a few results
      are also checked against their exact expected bytes or the library's
      message texts.
  wine_calvex_test.py imports OBJDUMP PE_FORMAT CALVEX_EXE
      calvex.exe is a PE of that format and imports system DLLs only.
"""
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "win"))
from system_dlls import foreign_dlls  # noqa: E402
WRITE_DONE = "修改完成！"  # the library's message of a successful write
TEMP_DAC_CELLS = 27

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


class Side:
    """One calvex (Windows or Linux) and its own working directory."""

    def __init__(self, name, command, work):
        self.name = name
        self.command = command
        self.work = work
        work.mkdir()

    def run(self, args):
        # wine turns the arguments into UTF-16 with the locale's character set: UTF-8 here.
        env = dict(os.environ, LC_ALL="C.UTF-8")
        done = subprocess.run(self.command + args, cwd=self.work, capture_output=True, env=env, timeout=300)
        return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")

    def put(self, name, data):
        (self.work / name).write_bytes(data)

    def read(self, name):
        path = self.work / name
        return path.read_bytes() if path.exists() else None


class Pair:
    """Runs every command on both sides and compares everything they show and leave."""

    def __init__(self, win, linux):
        self.win = win
        self.linux = linux

    def put(self, name, data):
        self.win.put(name, data)
        self.linux.put(name, data)

    def run(self, args, status=None, os_reason=False, text_mode=False):
        """os_reason: standard error ends in the system's own reason text, which differs
        between the systems; text_mode: standard output comes through the C++ stream in
        text mode (help, version and command-line errors), CR LF on Windows for LF."""
        label = " ".join(args) or "(no arguments)"
        shown = got = self.win.run(args)
        want = self.linux.run(args)
        if text_mode:
            want = (want[0], want[1].replace("\n", "\r\n"), want[2].replace("\n", "\r\n"))
        if os_reason:
            got, want = got[:2], want[:2]
        check(got == want, f"{label}: Windows {got!r} differs from Linux {want!r}")
        if status is not None:
            check(shown[0] == status, f"{label}: status {shown[0]}, expected {status}: {shown[2]!r}")
        return shown

    def same_file(self, name):
        got = self.win.read(name)
        check(got is not None, f"{name}: not made by calvex.exe")
        check(got == self.linux.read(name), f"{name}: Windows and Linux bytes differ")
        return got


def temp_dac_sheet(first):
    rows = "".join(f"{first + i}\r\n" for i in range(TEMP_DAC_CELLS))
    return "#sheet,TempDacTab\r\n#range,TempDac\r\n" + rows


def test_version_and_list(pair, version):
    check(pair.run(["--version"], 0, text_mode=True) == (0, f"calvex {version}\r\n", ""), "--version: wrong output")
    _, listing, _ = pair.run(["list"], 0)
    check("\tGsmTmpComp\t" in listing and "\tTempDacTab\t" in listing, f"list: sheets missing in {listing[:200]!r}")
    return listing


def test_examples(pair, examples, listing):
    """The first sheet of each family's job list written into a copy of its image and read back
    (each start of wine costs seconds: one sheet per family)."""
    readable = {line.split("\t")[1] for line in listing.splitlines()
                if not line.startswith("\t") and "\twrite+read\t" in line}
    for family_dir in sorted(p for p in examples.iterdir() if (p / "job.txt").exists()):
        family = family_dir.name
        image = f"{family}-镜像.bin"
        pair.put(image, (family_dir / "nv.bin").read_bytes())
        jobs = [line.split() for line in (family_dir / "job.txt").read_text().splitlines()]
        jobs = [fields for fields in jobs if fields and not fields[0].startswith("#")]
        for fields in jobs[:1]:
            sheet, csv = fields[0], fields[1]
            layout = ["--layout", fields[2]] if len(fields) > 2 else []
            sheet_file = f"表格-{sheet}.csv"
            pair.put(sheet_file, (family_dir / csv).read_bytes())
            _, _, err = pair.run(layout + ["write", sheet, image, sheet_file, "-o", f"新-{image}",
                                           "--write-back", f"回写-{sheet}.csv"], 0)
            check(WRITE_DONE in err, f"write {sheet}: messages {err!r}")
            if (pair.win.work / f"回写-{sheet}.csv").exists() or (pair.linux.work / f"回写-{sheet}.csv").exists():
                pair.same_file(f"回写-{sheet}.csv")
            if sheet in readable:
                pair.run(layout + ["read", sheet, f"新-{image}", "-o", f"回读-{sheet}.csv"], 0)
                pair.same_file(f"回读-{sheet}.csv")
        check(pair.same_file(f"新-{image}") != (family_dir / "nv.bin").read_bytes(), f"{family}: image unchanged")


def test_round_trip(pair):
    """template, write, read to standard output, and the read output written again."""
    _, template, _ = pair.run(["template", "TempDacTab"], 0)
    check(template.startswith("#sheet,TempDacTab\r\n#range,TempDac\r\n"), f"template: {template[:80]!r}")
    pair.run(["template", "TempDacTab", "-o", "模板.csv"], 0)
    check(pair.same_file("模板.csv") == template.encode(), "template -o: not the printed template")

    pair.put("温度.bin", bytes(0x600))
    pair.put("温度.csv", temp_dac_sheet(4000).encode())
    written = pair.run(["write", "TempDacTab", "温度.bin", "温度.csv", "-o", "温度-新.bin"], 0)
    check(WRITE_DONE in written[2], f"write: messages {written[2]!r}")
    image = pair.same_file("温度-新.bin")
    check(image[0x480:0x482] == (4000).to_bytes(2, "little"), "write: first temperature DAC value not stored")
    check(pair.same_file("温度.bin") == bytes(0x600), "write -o changed its input image")
    check(pair.run(["read", "TempDacTab", "温度-新.bin"], 0) == (0, temp_dac_sheet(4000), ""), "read: not the sheet")
    pair.run(["read", "TempDacTab", "温度-新.bin", "-o", "回读.csv"], 0)
    check(pair.same_file("回读.csv") == temp_dac_sheet(4000).encode(), "read -o: not the sheet")
    pair.run(["write", "TempDacTab", "温度-新.bin", "回读.csv", "-o", "温度-再.bin"], 0)
    check(pair.same_file("温度-再.bin") == image, "writing the read output changed the image")


def test_encodings(pair):
    """Sheet files in UTF-16 and GB18030 (decoded by the Windows API on Windows)."""
    sheet = temp_dac_sheet(200)
    named = sheet.replace("#sheet,TempDacTab\r\n", "#sheet,TempDacTab,温度表\r\n")
    cases = [
        ("utf16le.csv", b"\xff\xfe" + sheet.encode("utf-16-le"), 0),
        ("utf16be.csv", b"\xfe\xff" + sheet.encode("utf-16-be"), 0),
        # Two-byte GB18030 characters after the sheet name.
        ("gb18030.csv", named.encode("gb18030"), 0),
        # A lead byte without its trail byte is neither UTF-8 nor GB18030.
        ("broken-gb18030.csv", named.encode("gb18030").replace(b"\r\n", b"\x81\r\n", 1), 2),
    ]
    for name, data, status in cases:
        pair.put(f"{name}.bin", bytes(0x600))
        pair.put(name, data)
        pair.run(["write", "TempDacTab", f"{name}.bin", name, "-o", f"{name}.out.bin"], status)
        if status == 0:
            pair.same_file(f"{name}.out.bin")
        else:
            check(pair.win.read(f"{name}.out.bin") is None, f"{name}: an image was written")
    check(pair.win.read("gb18030.csv.out.bin") == pair.win.read("utf16le.csv.out.bin"),
          "GB18030 sheet stored differently")


def test_exit_statuses(pair):
    pair.put("nv.bin", bytes(0x600))
    pair.put("good.csv", temp_dac_sheet(100).encode())
    pair.put("short.csv", b"#range,TempDac\r\n1\r\n")
    cases = [
        # arguments, status, a text standard error names (arguments come back as given)
        ([], 2, "calvex"),
        (["frobnicate"], 2, "frobnicate"),
        (["write", "NoSuchSheet", "a", "b"], 2, "NoSuchSheet"),
        (["write", "TempDacTab", "nv.bin", "short.csv"], 2, "short.csv:3:"),
        (["write", "TempDacTab", "nv.bin", "缺失.csv"], 2, "缺失.csv"),
        (["write", "TempDacTab", "缺失.bin", "good.csv"], 1, "缺失.bin"),
        (["read", "TempDacTab", "缺失.bin"], 1, "缺失.bin"),
        (["--layout", "sideways", "list"], 2, "sideways"),
        (["write", "--help"], 0, ""),
    ]
    for args, status, named in cases:
        _, _, err = pair.run(args, status, os_reason="缺失.bin" in args, text_mode="--help" in args)
        check(named in err, f"{' '.join(args)}: standard error {err!r} does not name {named!r}")
    check(pair.win.read("缺失.bin") is None, "a missing image was created")


def test_imports(objdump, pe_format, exe):
    dump = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    check(f"file format {pe_format}" in dump, f"{exe}: not {pe_format}")
    dlls = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
    check("kernel32.dll" in dlls, f"{exe}: imports {sorted(dlls)}")
    foreign = foreign_dlls(dlls)
    check(not foreign, f"{exe}: imports non-system DLLs {sorted(foreign)}")


def main(argv):
    if len(argv) == 7 and argv[1] == "run":
        wine, exe, linux_calvex, examples, version = argv[2:]
        with tempfile.TemporaryDirectory(prefix="calvex-wine-") as work:
            work = Path(work)
            # calvex.exe is copied beside its files: it needs no DLL of its own.
            shutil.copy(exe, work / "calvex.exe")
            pair = Pair(Side("Windows", [wine, str(work / "calvex.exe")], work / "win"),
                        Side("Linux", [linux_calvex], work / "linux"))
            listing = test_version_and_list(pair, version)
            test_round_trip(pair)
            test_encodings(pair)
            test_exit_statuses(pair)
            test_examples(pair, Path(examples), listing)
    elif len(argv) == 5 and argv[1] == "imports":
        test_imports(argv[2], argv[3], argv[4])
    else:
        print(__doc__)
        return 2
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
