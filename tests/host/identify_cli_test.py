"""calvex identify and the family, layout and size checks of write and apply,
end to end on the example images: usage: identify_cli_test.py CALVEX EXAMPLES_DIR."""
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import example_images  # noqa: E402

CALVEX = sys.argv[1]
EXAMPLES = sys.argv[2]
FAMILIES = ("common", "gsm", "ltea", "lte", "tdscdma", "wcdma")
# Every family/layout identify names, as it names them.
CANDIDATES = ("common", "gsm", "ltea", "lte (single layout)", "lte (merged layout)", "tdscdma", "wcdma")


def run(*args):
    p = subprocess.run([CALVEX, *args], capture_output=True, text=True)
    return p.returncode, p.stdout, p.stderr


def verdict(out):
    lines = [l for l in out.splitlines() if l.startswith("verdict: ")]
    assert len(lines) == 1, out
    return lines[0][len("verdict: "):]


def consistent(out):
    return [l.split(": ")[0] for l in out.splitlines() if ": consistent (" in l]


class Identify(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="calvex-identify-")
        # The example images as their jobs leave them (LTE in both layouts),
        # and a dump of each.
        cls.images = {}
        for family in FAMILIES:
            layouts = ("single", "merged") if family == "lte" else (None,)
            for layout in layouts:
                key = family if layout is None else family + "-" + layout
                cls.images[key] = cls.make_image(family, key, layout)
        cls.books = {}
        for key, img in cls.images.items():
            family = key.split("-")[0]
            book = os.path.join(cls.dir, key + ".xlsx")
            args = ["dump", img, "--family", family, "-o", book]
            if "-" in key:
                args += ["--layout", key.split("-")[1]]
            code, _, err = run(*args)
            assert code == 0, err
            cls.books[key] = book

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    @classmethod
    def make_image(cls, family, key, layout):
        return example_images.write_example_image(CALVEX, EXAMPLES, family, os.path.join(cls.dir, key + ".bin"), layout)

    def scratch(self, key, name):
        dst = os.path.join(self.dir, name)
        shutil.copyfile(self.images[key], dst)
        return dst

    @staticmethod
    def name_of(key):
        return key.replace("-single", " (single layout)").replace("-merged", " (merged layout)")

    @staticmethod
    def read_bytes(p):
        with open(p, "rb") as f:
            return f.read()

    def test_every_example_image_is_named_by_its_own_family_and_layout_only(self):
        for key, img in self.images.items():
            with self.subTest(image=key):
                code, out, err = run("identify", img)
                self.assertEqual(code, 0, out + err)
                self.assertEqual(consistent(out), [self.name_of(key)], out)
                self.assertEqual(verdict(out), self.name_of(key))
                self.assertEqual([l.split(": ")[0] for l in out.splitlines()[:-1]], list(CANDIDATES))

    def test_uniform_images_cannot_tell_and_say_so(self):
        size = max(os.path.getsize(p) for p in self.images.values())
        for fill in (b"\x00", b"\xff"):
            with self.subTest(fill=fill):
                img = os.path.join(self.dir, "uniform.bin")
                with open(img, "wb") as f:
                    f.write(fill * size)
                code, out, _ = run("identify", img)
                self.assertEqual(code, 1, out)
                self.assertIn("the bytes cannot tell (--family and --layout stand)", verdict(out))
                self.assertNotEqual(len(consistent(out)), 1, out)

    def test_every_workbook_applied_to_another_familys_image_is_refused_and_the_image_untouched(self):
        for f, book in self.books.items():
            for g in self.images:
                if f == g:
                    continue
                with self.subTest(workbook=f, image=g):
                    img = self.scratch(g, "target.bin")
                    before = self.read_bytes(img)
                    code, out, err = run("apply", img, book)
                    self.assertEqual(code, 2, err)
                    self.assertEqual(self.read_bytes(img), before)
                    self.assertIn("nothing was written", err)
                    self.assertIn("--force", err)
                    self.assertNotIn("ok: ", err)

    def test_apply_refusals_name_both_sides(self):
        # Same size, another layout: the bytes decide.
        img = self.scratch("lte-merged", "merged.bin")
        code, _, err = run("apply", img, self.books["lte-single"])
        self.assertEqual(code, 2, err)
        self.assertIn("the image is consistent only with lte (merged layout), not with lte (single layout)", err)
        # Another size.
        img = self.scratch("gsm", "g.bin")
        size = os.path.getsize(img)
        code, _, err = run("apply", self.scratch("wcdma", "w.bin"), self.books["gsm"])
        self.assertEqual(code, 2, err)
        self.assertIn("gsm.xlsx was dumped from an image of %d bytes (gsm); image '%s' holds %d bytes; nothing was "
                      "written" % (size, os.path.join(self.dir, "w.bin"), os.path.getsize(self.images["wcdma"])), err)
        # The Info sheet's family against --family.
        code, _, err = run("--family", "wcdma", "apply", img, self.books["gsm"])
        self.assertEqual(code, 2, err)
        self.assertIn("is a sheet of the gsm family, not of wcdma (--family)", err)

    def test_its_own_image_takes_its_workbook_back_unchanged(self):
        for key, book in self.books.items():
            with self.subTest(key=key):
                img = self.scratch(key, "own.bin")
                before = self.read_bytes(img)
                code, _, err = run("apply", img, book)
                self.assertEqual(code, 0, err)
                if key != "lte-merged":  # its read shows a few cells in a canonical form
                    self.assertEqual(self.read_bytes(img), before)

    def test_force_lets_a_foreign_workbook_through(self):
        img = self.scratch("ltea", "forced.bin")
        before = self.read_bytes(img)
        code, _, err = run("--force", "apply", img, self.books["gsm"])
        self.assertEqual(code, 0, err)
        self.assertNotEqual(self.read_bytes(img), before)

    def test_a_grown_image_of_the_family_is_refused_for_its_size(self):
        img = self.scratch("gsm", "grown.bin")
        with open(img, "ab") as f:
            f.write(b"\0" * 16)
        before = self.read_bytes(img)
        code, _, err = run("apply", img, self.books["gsm"])
        self.assertEqual(code, 2, err)
        self.assertIn("holds %d bytes" % len(before), err)
        self.assertEqual(self.read_bytes(img), before)
        self.assertEqual(run("--force", "apply", img, self.books["gsm"])[0], 0)

    def test_single_sheet_writes_into_another_family_or_layout_are_refused(self):
        cases = [
            # args, image key, exit status, expected part of the message
            (["write", "GsmRampCtrl"], "lte-single", 2,
             "the image is consistent only with lte (single layout), not with gsm (the family of GsmRampCtrl)"),
            (["--layout", "merged", "write", "LteFilter"], "lte-single", 2,
             "the image is consistent only with lte (single layout), not with lte (merged layout)"),
            (["--family", "lte", "write", "GsmRampCtrl"], "gsm", 2,
             "calvex: GsmRampCtrl is a sheet of the gsm family, not of lte (--family); nothing was read or written"),
            (["--force", "write", "GsmRampCtrl"], "lte-single", 0, "ok: GsmRampCtrl: "),
        ]
        for args, key, status, message in cases:
            with self.subTest(args=args, image=key):
                img = self.scratch(key, "one.bin")
                before = self.read_bytes(img)
                sheet = args[-1]
                family = "gsm" if sheet.startswith("Gsm") else "lte"
                code, _, err = run(*args, img, os.path.join(EXAMPLES, family, sheet + ".csv"))
                self.assertEqual(code, status, err)
                self.assertIn(message, err)
                if status != 0:
                    self.assertEqual(self.read_bytes(img), before)

    def test_a_dry_run_apply_shows_no_success_as_done(self):
        img = self.scratch("gsm", "dry.bin")
        before = self.read_bytes(img)
        code, out, err = run("--dry-run", "apply", img, self.books["gsm"])
        self.assertEqual(code, 0, err)
        self.assertNotIn("ok: ", err)
        self.assertEqual(err.count("(changes written, the library says, on a scratch copy; nothing written)"), 3, err)
        self.assertIn("(nothing written)", out)
        self.assertEqual(self.read_bytes(img), before)

    def test_read_refuses_a_sheet_of_another_family(self):
        code, out, err = run("--family", "wcdma", "read", "GsmTmpComp", self.images["gsm"])
        self.assertEqual((code, out), (2, ""))
        self.assertIn("GsmTmpComp is a sheet of the gsm family, not of wcdma (--family)", err)

    def test_an_image_the_bytes_cannot_place_takes_any_family(self):
        img = os.path.join(self.dir, "zero.bin")
        shutil.copyfile(os.path.join(EXAMPLES, "gsm", "nv.bin"), img)
        code, _, err = run("write", "GsmRampCtrl", img, os.path.join(EXAMPLES, "gsm", "GsmRampCtrl.csv"))
        self.assertEqual(code, 0, err)


class Messages(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="calvex-messages-")
        self.img = os.path.join(self.dir, "nv.bin")
        shutil.copyfile(os.path.join(EXAMPLES, "common", "nv.bin"), self.img)
        self.sheet = os.path.join(EXAMPLES, "common", "TempDacTab.csv")

    def tearDown(self):
        os.chmod(self.img, 0o644)
        shutil.rmtree(self.dir)

    def test_a_dry_run_never_says_changes_written(self):
        code, out, err = run("--dry-run", "write", "TempDacTab", self.img, self.sheet)
        self.assertEqual(code, 0, err)
        self.assertEqual(err, "dry run: TempDacTab: 修改完成！ (changes written, the library says, on a scratch copy; "
                              "nothing written)\n")
        self.assertIn("(nothing written)", out)

    def test_band_en_off_tells_when_the_bands_are_written_as_0(self):
        img = os.path.join(self.dir, "w.bin")
        shutil.copyfile(os.path.join(EXAMPLES, "wcdma", "nv.bin"), img)
        with open(os.path.join(EXAMPLES, "wcdma", "WcdmaMaxPow.csv")) as f:
            text = f.read().replace("0x13579bdf", "0x0").replace("#range,BandEnSwitch\nopen", "#range,BandEnSwitch\nclose")
        sheet = os.path.join(self.dir, "maxpow.csv")
        with open(sheet, "w") as f:
            f.write(text)
        code, _, err = run("write", "WcdmaMaxPow", img, sheet)
        self.assertEqual(code, 0, err)
        self.assertEqual(err.splitlines()[0],
                         "warning: WcdmaMaxPow: 注意！您没有打开使能标志！MaxPower与Band信息已被默认置0！ (enable flag is off: "
                         "bands and maximum powers are written as 0 only with the BandEn switch open; with it closed "
                         "they are not written at all)")
        code, out, _ = run("read", "WcdmaMaxPow", img)
        self.assertEqual(code, 0)
        self.assertIn("#range,BandMaxPow\nX,X,X,X,X,X,X,X\n", out.replace("\r\n", "\n"))

    def test_a_read_only_image_names_its_path_and_the_reason(self):
        if os.geteuid() == 0:
            self.skipTest("root writes read-only files")
        os.chmod(self.img, stat.S_IRUSR)
        code, _, err = run("write", "TempDacTab", self.img, self.sheet)
        self.assertEqual(code, 1, err)
        self.assertIn(self.img, err)
        self.assertIn("ermission denied", err)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
