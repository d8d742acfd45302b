"""calvex dump / apply / diff and .xlsx sheets, checked with an independent
workbook library (openpyxl): usage: book_cli_test.py CALVEX EXAMPLES_DIR."""
import csv
import io
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import openpyxl
from openpyxl.chart import LineChart, Reference

CALVEX = sys.argv[1]
EXAMPLES = sys.argv[2]
# Families whose sheets have reads, with the sheets their example jobs write.
FAMILIES = ("common", "gsm", "ltea", "lte", "tdscdma", "wcdma")


def run(*args):
    p = subprocess.run([CALVEX, *args], capture_output=True, text=True)
    return p.returncode, p.stdout, p.stderr


def job_sheets(family):
    with open(os.path.join(EXAMPLES, family, "job.txt")) as f:
        return [line.split()[0] for line in f if line.strip() and not line.startswith("#")]


def readable(family):
    code, out, _ = run("list")
    assert code == 0
    names = []
    for line in out.splitlines():
        parts = line.split("\t")
        if len(parts) >= 3 and parts[0] == family and parts[2] == "write+read":
            names.append(parts[1])
    return names


def sheet_rows(text):
    return list(csv.reader(io.StringIO(text)))


class Book(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="calvex-book-")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def image(self, family, name="nv.bin", layout=None):
        """The family's example image with every example sheet written, as the main job leaves it
        (the LTE sheets in `layout` when given)."""
        dst = self.path(name)
        shutil.copyfile(os.path.join(EXAMPLES, family, "nv.bin"), dst)
        with open(os.path.join(EXAMPLES, family, "job.txt")) as f:
            for line in f:
                words = line.split()
                if not words or words[0].startswith("#"):
                    continue
                opts = ["--layout", layout or words[2]] if len(words) > 2 else []
                code, _, err = run(*opts, "write", words[0], dst, os.path.join(EXAMPLES, family, words[1]),
                                   "--write-back", self.path("wb.csv"))
                self.assertEqual(code, 0, err)
        return dst

    def read_bytes(self, p):
        with open(p, "rb") as f:
            return f.read()

    def test_dump_holds_every_readable_sheet_cell_by_cell(self):
        for family in FAMILIES:
            with self.subTest(family=family):
                img = self.image(family)
                code, _, err = run("dump", img, "--family", family, "-o", self.path(family + ".xlsx"))
                self.assertEqual(code, 0, err)
                wb = openpyxl.load_workbook(self.path(family + ".xlsx"))
                sheets = readable(family)
                self.assertEqual(wb.sheetnames, sheets + ["Info"])
                for name in sheets:
                    code, out, err = run("read", name, img)
                    self.assertEqual(code, 0, err)
                    rows = [r for r in sheet_rows(out)]
                    ws = wb[name]
                    for y, row in enumerate(rows, start=1):
                        for x, text in enumerate(row, start=1):
                            value = ws.cell(row=y, column=x).value
                            shown = "" if value is None else (str(value) if not isinstance(value, float) else repr(value))
                            self.assertEqual(shown, text, f"{name}!{ws.cell(row=y, column=x).coordinate}")
                    charts = len(ws._charts)
                    self.assertEqual(charts, 1 if name.endswith("TmpComp") else 0, name)
                info = {r[0].value: r[1].value for r in wb["Info"].iter_rows()}
                self.assertEqual(info["size"], f"{os.path.getsize(img)} bytes")
                self.assertEqual(len(info["SHA-256"]), 64)

    def test_dump_then_apply_leaves_every_image_identical(self):
        for family in FAMILIES:
            with self.subTest(family=family):
                img = self.image(family)
                before = self.read_bytes(img)
                book = self.path(family + ".xlsx")
                self.assertEqual(run("dump", img, "--family", family, "-o", book)[0], 0)
                code, _, err = run("apply", img, book)
                self.assertEqual(code, 0, err)
                self.assertIn("worksheet 'Info' is not a sheet of calvex; ignored", err)
                self.assertEqual(self.read_bytes(img), before)

    def test_lte_dump_and_apply_in_both_layouts(self):
        for layout in ("single", "merged"):
            with self.subTest(layout=layout):
                img = self.image("lte", f"lte-{layout}.bin", layout)
                before = self.read_bytes(img)
                book = self.path(f"lte-{layout}.xlsx")
                code, _, err = run("dump", img, "--family", "lte", "--layout", layout, "-o", book)
                self.assertEqual(code, 0, err)
                wb = openpyxl.load_workbook(book)
                self.assertEqual(wb.sheetnames, readable("lte") + ["Info"])
                info = {r[0].value: r[1].value for r in wb["Info"].iter_rows()}
                self.assertEqual(info["LTE layout"], layout)
                for name in readable("lte"):
                    code, out, err = run("read", name, img, "--layout", layout)
                    self.assertEqual(code, 0, err)
                    ws = wb[name]
                    for y, row in enumerate(sheet_rows(out), start=1):
                        for x, text in enumerate(row, start=1):
                            value = ws.cell(row=y, column=x).value
                            shown = "" if value is None else str(value)
                            self.assertEqual(shown, text, f"{layout} {name}!{ws.cell(row=y, column=x).coordinate}")
                # No --layout: apply takes the layout the dump recorded.
                code, _, err = run("apply", img, book)
                self.assertEqual(code, 0, err)
                after = self.read_bytes(img)
                if layout == "merged":
                    # LtePwtAndOtherFlags keeps its single-layout offsets, which lie in band slot 7
                    # of the merged switch/PA and temperature blocks: the order of the writes
                    # decides those bytes. Every other byte comes back.
                    pwt = slice(0x1792, 0x17B8)
                    after, before = after[:pwt.start] + after[pwt.stop:], before[:pwt.start] + before[pwt.stop:]
                self.assertEqual(after, before)
                code, out, err = run("diff", os.path.join(EXAMPLES, "lte", "nv.bin"), img, "--family", "lte",
                                     "--layout", layout)
                self.assertEqual(code, 1, err)
                self.assertTrue(out, "the example images differ")

    def test_template_writes_a_workbook(self):
        book = self.path("t.xlsx")
        code, _, err = run("template", "LteTmpComp", "-o", book)
        self.assertEqual(code, 0, err)
        wb = openpyxl.load_workbook(book)
        self.assertEqual(wb.sheetnames, ["LteTmpComp"])
        ws = wb["LteTmpComp"]
        self.assertEqual((ws["A1"].value, ws["B1"].value), ("#sheet", "LteTmpComp"))
        self.assertEqual((ws["A2"].value, ws["B2"].value), ("#range", "Band"))

    def test_excel_and_libreoffice_layouts_are_read(self):
        # A workbook as another program saves it: numbers as floats, shared
        # strings, an extra notes worksheet and a chart sheet.
        img = self.image("gsm")
        code, out, _ = run("read", "GsmRampCtrl", img)
        self.assertEqual(code, 0)
        wb = openpyxl.Workbook()
        ws = wb.active
        ws.title = "GsmRampCtrl"
        for y, row in enumerate(sheet_rows(out), start=1):
            for x, text in enumerate(row, start=1):
                if text == "":
                    continue
                try:
                    ws.cell(row=y, column=x, value=float(int(text)))
                except ValueError:
                    ws.cell(row=y, column=x, value=text)
        ws.cell(row=4, column=1, value=float(int(ws.cell(row=4, column=1).value) + 1))
        expected = int(ws.cell(row=4, column=1).value)
        notes = wb.create_sheet("Notes")
        notes["A1"] = "unit 42 calibrated by line 3"
        chart_sheet = wb.create_chartsheet("Chart")
        chart = LineChart()
        chart.add_data(Reference(ws, min_col=1, min_row=4, max_col=2, max_row=4))
        chart_sheet.add_chart(chart)
        wb.save(self.path("foreign.xlsx"))
        code, _, err = run("apply", img, self.path("foreign.xlsx"))
        self.assertEqual(code, 0, err)
        self.assertIn("worksheet 'Notes' is not a sheet", err)
        self.assertIn("worksheet 'Chart' is not a sheet", err)
        code, out, _ = run("read", "GsmRampCtrl", img)
        self.assertEqual(sheet_rows(out)[3][0], str(expected))

    def test_one_bad_cell_in_the_third_sheet_changes_nothing(self):
        img = self.image("ltea")
        before = self.read_bytes(img)
        book = self.path("ltea.xlsx")
        self.assertEqual(run("dump", img, "--family", "ltea", "-o", book)[0], 0)
        wb = openpyxl.load_workbook(book)
        third = wb.sheetnames[2]
        ws = wb[third]
        ws["A4"] = "12abc"
        wb.save(book)
        code, _, err = run("apply", img, book)
        self.assertEqual(code, 2)
        self.assertIn(f"ltea.xlsx!{third}!A4: ", err)
        self.assertIn("'12abc': expected", err)
        self.assertIn("nothing was written", err)
        self.assertEqual(self.read_bytes(img), before)

    def test_diff_lists_exactly_the_changes(self):
        a = self.image("wcdma", "a.bin")
        b = self.path("b.bin")
        shutil.copyfile(a, b)
        code, out, err = run("diff", a, b, "--family", "wcdma")
        self.assertEqual((code, out), (0, ""), err)
        # One cell through calvex, one byte far outside every sheet.
        code, out, _ = run("read", "WcdmaNotch", b)
        rows = sheet_rows(out)
        self.assertEqual(rows[3], ["#range", "NotchParams"])
        old = rows[4][0]
        rows[4][0] = str(int(old) + 1)
        with open(self.path("notch.csv"), "w", newline="") as f:
            csv.writer(f).writerows(rows)
        self.assertEqual(run("write", "WcdmaNotch", b, self.path("notch.csv"))[0], 0)
        with open(b, "r+b") as f:
            f.seek(0, 2)
            size = f.tell()
            f.seek(size - 1)
            last = f.read(1)[0]
            f.seek(size - 1)
            f.write(bytes([last ^ 0xFF]))
        code, out, err = run("diff", a, b, "--family", "wcdma")
        self.assertEqual(code, 1, err)
        self.assertEqual(out.splitlines(), [
            f"WcdmaNotch NotchParams 1 1: {old} \u2192 {int(old) + 1}",
            f"bytes 0x{size - 1:X}..0x{size - 1:X} (1 bytes outside every sheet's blocks): {last:02x} \u2192 "
            f"{last ^ 0xFF:02x}",
        ])
        code, out, _ = run("diff", a, b, "--family", "wcdma", "--format", "csv")
        self.assertEqual(code, 1)
        self.assertEqual(list(csv.reader(io.StringIO(out))), [
            ["kind", "sheet", "range", "row", "col", "old", "new", "offset", "length", "old bytes", "new bytes"],
            ["cell", "WcdmaNotch", "NotchParams", "1", "1", old, str(int(old) + 1), "", "", "", ""],
            ["bytes", "", "", "", "", "", "", f"0x{size - 1:X}", "1", f"{last:02x}", f"{last ^ 0xFF:02x}"]])

    def test_single_sheets_as_workbooks(self):
        img = self.image("tdscdma")
        before = self.read_bytes(img)
        code, _, err = run("read", "TdscdmaTmpComp", img, "-o", self.path("t.xlsx"))
        self.assertEqual(code, 0, err)
        wb = openpyxl.load_workbook(self.path("t.xlsx"))
        self.assertEqual(wb.sheetnames, ["TdscdmaTmpComp"])
        code, _, err = run("write", "TdscdmaTmpComp", img, self.path("t.xlsx"))
        self.assertEqual(code, 0, err)
        self.assertEqual(self.read_bytes(img), before)

    def test_workbooks_that_are_not_xlsx_are_refused(self):
        img = self.image("gsm")
        with open(self.path("old.xlsx"), "wb") as f:
            f.write(b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + bytes(504))
        code, _, err = run("apply", img, self.path("old.xlsx"))
        self.assertEqual(code, 2)
        self.assertIn("old.xlsx", err)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
