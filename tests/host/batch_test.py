"""apply, verify and diff over many images end to end: each image its own
transaction written once (strace counts per image), summaries, totals,
reports, --ignore and the one-image forms.
usage: batch_test.py CALVEX EXAMPLES_DIR [STRACE]"""
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import example_images  # noqa: E402

CALVEX, EXAMPLES = sys.argv[1:3]
STRACE = sys.argv[3] if len(sys.argv) > 3 and sys.argv[3] else shutil.which("strace")
LTEA = os.path.join(EXAMPLES, "ltea")
# An offset inside the LTE-A sheets' blocks that the example workbook changes.
CI = os.environ.get("CI") == "true"


def run(*args, cwd=None):
    p = subprocess.run([CALVEX, *args], capture_output=True, text=True, cwd=cwd)
    return p.returncode, p.stdout, p.stderr


def job_sheets():
    return example_images.job_sheets(os.path.dirname(LTEA), "ltea")


class Batch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        d = cls.tmp.name
        # The golden image: every LTE-A sheet written; its dump is the workbook.
        shutil.copyfile(os.path.join(LTEA, "nv.bin"), f"{d}/golden.bin")
        for sheet in job_sheets():
            code, _, err = run("write", sheet, f"{d}/golden.bin", os.path.join(LTEA, sheet + ".csv"))
            assert code == 0, err
        code, _, err = run("dump", f"{d}/golden.bin", "--family", "ltea", "-o", f"{d}/book.xlsx")
        assert code == 0, err
        with open(f"{d}/golden.bin", "rb") as f:
            cls.golden = f.read()
        with open(os.path.join(LTEA, "nv.bin"), "rb") as f:
            cls.blank = f.read()
        cls.sheets = len(job_sheets())

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def setUp(self):
        self.dir = tempfile.mkdtemp(dir=self.tmp.name)
        self.book = os.path.join(self.tmp.name, "book.xlsx")

    def units(self, count, data=None):
        paths = []
        for i in range(count):
            p = os.path.join(self.dir, f"u{i}.bin")
            with open(p, "wb") as f:
                f.write(self.blank if data is None else data)
            paths.append(p)
        return paths

    def bytes_of(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_each_image_is_opened_written_flushed_and_renamed_once(self):
        if not STRACE:
            if CI:
                self.fail("strace is missing (scripts/install-deps.sh installs it)")
            self.skipTest("strace is missing")
        images = self.units(3)
        log = os.path.join(self.dir, "trace")
        p = subprocess.run([STRACE, "-f", "-y", "-o", log, "-e", "trace=openat,write,pwrite64,fsync,rename",
                            CALVEX, "apply", self.book, *images], capture_output=True, text=True,
                           # A sanitized build's leak check cannot run under ptrace.
                           env={**os.environ, "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"})
        self.assertEqual(p.returncode, 0, p.stderr)
        with open(log) as f:
            trace = f.read()
        temporaries = re.findall(r'openat\([^,\n]*, "([^"]*\.calvex-[^"]*\.tmp)"', trace)
        self.assertEqual(len(temporaries), len(images), trace)
        for temp in temporaries:
            name = re.escape(os.path.basename(temp))
            self.assertEqual(len(re.findall(r'openat\([^\n]*' + name, trace)), 1, temp)
            self.assertEqual(len(re.findall(r'(?:write|pwrite64)\(\d+<[^>\n]*' + name + '>', trace)), 1, temp)
            self.assertEqual(len(re.findall(r'fsync\(\d+<[^>\n]*' + name + '>', trace)), 1, temp)
            self.assertEqual(len(re.findall(r'rename\("[^"\n]*' + name + '"', trace)), 1, temp)
        for image in images:
            # The image itself: opened once (read under its lock), never written.
            name = re.escape(os.path.basename(image))
            self.assertEqual(len(re.findall(r'openat\([^\n]*/' + name + '"', trace)), 1, image)
            self.assertEqual(self.bytes_of(image), self.golden)

    def test_a_failing_unit_is_left_untouched_and_the_others_done(self):
        images = self.units(4)
        with open(images[2], "wb") as f:
            f.write(self.blank[:100])
        report = os.path.join(self.dir, "r.csv")
        # --force: past the check that the workbook's recorded size is the image's,
        # to the short-image failure of the unit itself.
        code, out, err = run("apply", self.book, *images, "--report", report, "--force")
        self.assertEqual(code, 1, err)
        changed = sum(a != b for a, b in zip(self.blank, self.golden))
        lines = out.splitlines()
        self.assertEqual(lines[0], f"{images[0]}: ok, {self.sheets} sheets, {changed} bytes changed")
        self.assertTrue(lines[2].startswith(f"{images[2]}: failed: image '{images[2]}' holds 100 bytes"), lines[2])
        self.assertEqual(lines[-1], "total: 4 images, 1 failed, 3 ok")
        self.assertEqual([self.bytes_of(p) for p in images],
                         [self.golden, self.golden, self.blank[:100], self.golden])
        with open(report, newline="") as f:
            rows = list(csv.reader(f))
        self.assertEqual(rows[0], ["image", "status", "sheets written", "bytes changed", "message"])
        self.assertEqual([r[:4] for r in rows[1:]],
                         [[images[0], "ok", str(self.sheets), str(changed)], [images[1], "ok", str(self.sheets), str(changed)],
                          [images[2], "failed", "0", "0"], [images[3], "ok", str(self.sheets), str(changed)]])
        # No sheet's success is told per unit of many, only the summary.
        self.assertNotIn("ok: ", err)
        self.assertEqual([n for n in os.listdir(self.dir) if n.startswith(".calvex-")], [])

    def test_a_library_refusal_names_the_sheet_in_the_report(self):
        images = self.units(2)
        report = os.path.join(self.dir, "r.json")
        os.chmod(images[1], 0o444)
        if os.access(images[1], os.W_OK):
            self.skipTest("running as a user who writes read-only files")
        code, out, _ = run("apply", self.book, *images, "--report", report, "--quiet")
        self.assertEqual(code, 1)
        with open(report) as f:
            doc = json.load(f)
        self.assertEqual(doc["command"], "apply")
        self.assertEqual([(i["image"], i["status"]) for i in doc["images"]],
                         [(images[0], "ok"), (images[1], "failed")])
        self.assertNotEqual(doc["images"][1]["message"], "")
        # --quiet: only the failure and the total.
        self.assertEqual(len(out.splitlines()), 2, out)
        self.assertEqual(self.bytes_of(images[1]), self.blank)

    def test_verify_exits_0_only_when_every_image_holds_the_workbook(self):
        done = self.units(2, self.golden)
        code, out, _ = run("verify", self.book, *done)
        self.assertEqual(code, 0, out)
        self.assertEqual(out.splitlines()[-1], "total: 2 images, 2 equal")
        # A byte of one unit's sheet area changed: it would change, and is left alone.
        changed = bytearray(self.golden)
        first = next(k for k in range(len(self.blank)) if self.blank[k] != self.golden[k])
        changed[first] ^= 0xFF
        with open(done[1], "wb") as f:
            f.write(changed)
        code, out, _ = run("verify", self.book, *done)
        self.assertEqual(code, 1)
        self.assertEqual(out.splitlines()[1], f"{done[1]}: would change, {self.sheets} sheets, 1 bytes differ")
        self.assertEqual(self.bytes_of(done[1]), bytes(changed))
        # That byte left out: equal again.
        code, out, _ = run("verify", self.book, *done, "--ignore", f"{hex(first)}+1")
        self.assertEqual(code, 0, out)

    def test_diff_against_a_golden_image(self):
        units = self.units(2, self.golden)
        changed = bytearray(self.golden)
        last = len(changed) - 1
        changed[last] ^= 0x5A
        with open(units[1], "wb") as f:
            f.write(changed)
        golden = os.path.join(self.tmp.name, "golden.bin")
        code, out, _ = run("diff", "--family", "ltea", "--golden", golden, *units)
        self.assertEqual(code, 1)
        lines = out.splitlines()
        self.assertEqual(lines[0], f"{units[0]}: equal")
        self.assertEqual(lines[1], f"{units[1]}: 1 differences")
        self.assertTrue(lines[2].startswith(f"  bytes {hex(last).upper().replace('X', 'x')}"), lines[2])
        self.assertEqual(lines[-1], "total: 2 images, 1 differs, 1 equal")
        code, out, _ = run("diff", "--family", "ltea", "--golden", golden, *units, "--format", "csv")
        rows = list(csv.reader(io.StringIO(out)))
        self.assertEqual(rows[0], ["image", "kind", "sheet", "range", "row", "col", "old", "new", "offset", "length",
                                   "old bytes", "new bytes"])
        self.assertEqual(rows[1:], [[units[1], "bytes", "LteaSwitchPaCtrlWord", "", "", "", "", "", hex(last).upper().replace("X", "x"), "1",
                                     f"{self.golden[last]:02x}", f"{changed[last]:02x}"]])
        code, out, _ = run("diff", "--family", "ltea", "--golden", golden, *units, "--ignore", f"{last}+1")
        self.assertEqual(code, 0, out)

    def test_the_one_image_forms_keep_their_messages(self):
        for order in ("image first", "book first"):
            with self.subTest(order=order):
                (image,) = self.units(1)
                args = [image, self.book] if order == "image first" else [self.book, image]
                code, out, err = run("apply", *args)
                self.assertEqual(code, 0, err)
                self.assertEqual(out, "")
                self.assertEqual(len([l for l in err.splitlines() if l.startswith("ok: ")]), self.sheets)
                self.assertEqual(self.bytes_of(image), self.golden)

    def test_several_images_need_the_workbook_first(self):
        images = self.units(2)
        code, _, err = run("apply", images[0], images[1], self.book)
        self.assertEqual(code, 2)
        self.assertEqual(err.splitlines(), [f"calvex: '{images[0]}' is no workbook; with several images the workbook "
                                            "comes first (apply BOOK.xlsx IMAGE...)"])
        self.assertEqual([self.bytes_of(p) for p in images], [self.blank, self.blank])

    def test_write_of_one_sheet_file_into_many_images(self):
        sheet = job_sheets()[0]
        sheet_file = os.path.join(LTEA, sheet + ".csv")
        (alone,) = self.units(1)
        code, _, err = run("write", sheet, alone, sheet_file)
        self.assertEqual(code, 0, err)
        written = self.bytes_of(alone)
        changed = sum(a != b for a, b in zip(self.blank, written))
        self.assertGreater(changed, 0)
        images = self.units(3)
        with open(images[1], "wb") as f:
            f.write(self.blank[:100])
        report = os.path.join(self.dir, "w.csv")
        code, out, err = run("write", sheet, sheet_file, *images, "--report", report)
        self.assertEqual(code, 1, err)
        lines = out.splitlines()
        self.assertEqual(lines[0], f"{images[0]}: ok, 1 sheets, {changed} bytes changed")
        self.assertTrue(lines[1].startswith(f"{images[1]}: failed: image '{images[1]}' holds 100 bytes"), lines[1])
        self.assertEqual(lines[2:], [f"{images[2]}: ok, 1 sheets, {changed} bytes changed",
                                     "total: 3 images, 1 failed, 2 ok"])
        self.assertEqual([self.bytes_of(p) for p in images], [written, self.blank[:100], written])
        self.assertNotIn("ok: ", err)
        with open(report, newline="") as f:
            self.assertEqual([r[:4] for r in csv.reader(f)][1:],
                             [[images[0], "ok", "1", str(changed)], [images[1], "failed", "0", "0"],
                              [images[2], "ok", "1", str(changed)]])
        self.assertEqual([n for n in os.listdir(self.dir) if n.startswith(".calvex-")], [])

    def test_write_into_many_images_refuses_before_any_image_is_touched(self):
        sheet = job_sheets()[0]
        sheet_file = os.path.join(LTEA, sheet + ".csv")
        with open(sheet_file, newline="") as f:
            rows = list(csv.reader(f))
        # The first band of the band list (a decimal cell) not a number.
        first = next(i for i, r in enumerate(rows) if r[:2] == ["#range", "BandInfoMain"]) + 1
        rows[first][0] = "??"
        bad = os.path.join(self.dir, "bad.csv")
        with open(bad, "w", newline="") as f:
            csv.writer(f, lineterminator="\n").writerows(rows)
        pinmux = os.path.join(EXAMPLES, "common", "PinMuxMipiInit.csv")
        cases = [
            # arguments after the images' sheet, the first line of standard error
            ([sheet, sheet_file, "--dry-run"], "calvex: -o and --dry-run take one image (calvex write SHEET IMAGE FILE)"),
            ([sheet, sheet_file, "-o", os.path.join(self.dir, "new.bin")],
             "calvex: -o and --dry-run take one image (calvex write SHEET IMAGE FILE)"),
            (["PinMuxMipiInit", pinmux], "calvex: PinMuxMipiInit gives write-back cells for its image; write it into "
                                         "one image at a time (calvex write SHEET IMAGE FILE)"),
            ([sheet, bad], f"{bad}:{first + 1}:1: range {rows[first - 1][1]}, row 1 col 1: '??': expected"),
        ]
        for args, first_line in cases:
            with self.subTest(args=args):
                images = self.units(2)
                code, out, err = run("write", *args[:2], *images, *args[2:])
                self.assertEqual((code, out), (2, ""), err)
                self.assertTrue(err.splitlines()[0].startswith(first_line), err)
                self.assertEqual([self.bytes_of(p) for p in images], [self.blank, self.blank])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
