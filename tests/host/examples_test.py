"""The example generators still write the committed example files: every
generator (EXAMPLES_DIR/*/make_*.py) runs in a temporary copy of the example
directories that holds only the generators, and every file it writes must equal the committed one byte for
byte. The sheets' shapes come from `calvex template` ($CALVEX), so a sheet
definition that no longer fits an example fails here. Also checks the shape
checks of the generators' sheet file module.

  CALVEX=... examples_test.py EXAMPLES_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

EXAMPLES = Path(sys.argv[1]).resolve()
GENERATORS = sorted(EXAMPLES.glob("*/make_*.py"))
MODULE = "sheetfile.py"
REGENERATE = "run the generator with CALVEX set and commit its output if the change is meant"

sys.path.insert(0, str(EXAMPLES))
sys.dont_write_bytecode = True
import sheetfile  # noqa: E402


def written_files(root):
    return {p.relative_to(root) for p in root.rglob("*")
            if p.is_file() and p.suffix != ".py" and "__pycache__" not in p.parts}


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


class Generators(unittest.TestCase):
    def test_every_generator_writes_the_committed_files(self):
        self.assertTrue(GENERATORS, f"no generators under {EXAMPLES}")
        with tempfile.TemporaryDirectory() as tmp:
            copy = Path(tmp) / "examples"
            copy.mkdir()
            for family in EXAMPLES.iterdir():
                if family.is_dir() and family.name != "__pycache__":
                    (copy / family.name).mkdir()
            for script in [EXAMPLES / MODULE, *GENERATORS]:
                shutil.copy2(script, copy / script.relative_to(EXAMPLES))
            for generator in GENERATORS:
                name = generator.relative_to(EXAMPLES)
                before = written_files(copy)
                done = subprocess.run([sys.executable, str(copy / name)], cwd=tmp, capture_output=True, text=True)
                self.assertEqual(done.returncode, 0, f"{name} failed:\n{done.stderr}")
                self.assertTrue(written_files(copy) - before, f"{name} wrote no files")
            written = sorted(written_files(copy))
            for rel in written:
                with self.subTest(file=str(rel)):
                    committed = EXAMPLES / rel
                    self.assertTrue(committed.is_file(), f"{rel} is written but not committed")
                    new, old = (copy / rel).read_bytes(), committed.read_bytes()
                    if new != old:
                        self.fail(f"{rel} differs from the committed file from byte {first_difference(new, old)} "
                                  f"({len(new)} bytes written, {len(old)} committed); {REGENERATE}")


class SheetFile(unittest.TestCase):
    def test_shapes_follow_the_template(self):
        self.assertEqual(sheetfile.shapes("WcdmaNotch"), [("NotchCount", 1, 1), ("NotchParams", 10, 2)])

    def test_cells_that_do_not_fit_are_refused(self):
        fits = {"NotchCount": [["2"]], "NotchParams": sheetfile.padded([])}
        cases = [
            ({**fits, "NotchParams": [["1", "2"]] * 9},
             "sheet WcdmaNotch, range NotchParams: 9 rows of [2] cells given, the range is 10 x 2"),
            ({**fits, "NotchCount": [["2", "3"]]},
             "sheet WcdmaNotch, range NotchCount: 1 rows of [2] cells given, the range is 1 x 1"),
            ({**fits, "Notch": [["2"]]}, "sheet WcdmaNotch has no range Notch"),
            ({"NotchCount": [["2"]]}, "sheet WcdmaNotch: no cells given for range NotchParams"),
            ({**fits, "NotchCount": [["2,3"]]}, "sheet WcdmaNotch, range NotchCount: cell '2,3' would need quoting"),
        ]
        with tempfile.TemporaryDirectory() as tmp:
            for cells, message in cases:
                with self.subTest(message=message):
                    with self.assertRaises(sheetfile.SheetFileError) as raised:
                        sheetfile.write_sheet(tmp, "WcdmaNotch", cells)
                    self.assertEqual(str(raised.exception), message)
            self.assertEqual(os.listdir(tmp), [])

    def test_unknown_sheet_is_refused(self):
        with self.assertRaises(sheetfile.SheetFileError) as raised:
            sheetfile.shapes("NoSuchSheet")
        self.assertTrue(str(raised.exception).startswith("calvex template NoSuchSheet failed: "), str(raised.exception))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
