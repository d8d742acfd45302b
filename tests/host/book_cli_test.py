"""calvex dump / apply / diff and .xlsx sheets, checked with an independent
workbook library (openpyxl): usage: book_cli_test.py CALVEX EXAMPLES_DIR."""
import csv
import datetime
import hashlib
import io
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

import openpyxl
from openpyxl.chart import LineChart, Reference

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xlsx_openpyxl import compound_file, open_document  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import example_images  # noqa: E402

CALVEX = sys.argv[1]
EXAMPLES = sys.argv[2]
# Families whose sheets have reads, with the sheets their example jobs write.
FAMILIES = ("common", "gsm", "ltea", "lte", "tdscdma", "wcdma")


def run(*args, stdin=None):
    p = subprocess.run([CALVEX, *args], capture_output=True, text=True, stdin=stdin)
    return p.returncode, p.stdout, p.stderr


def job_sheets(family):
    return example_images.job_sheets(EXAMPLES, family)


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


def shown(value):
    return "" if value is None else (str(value) if not isinstance(value, float) else repr(value))


def row_empty(ws, y):
    return all(ws.cell(row=y, column=x).value is None for x in range(1, ws.max_column + 1))


def labelled_ranges(ws, rows):
    """Where each range of a labelled worksheet stands, found without calvex's rules: its "#range"
    row (marker in column B), its label rows, then its data rows, which end at the first empty
    row. rows: the sheet as `calvex read` prints it. Returns {name: (marker, headers, first_data)}."""
    counts, name = {}, None
    for row in rows:
        if row[:1] == ["#range"]:
            name = row[1]
            counts[name] = 0
        elif name is not None:
            counts[name] += 1
    found = {}
    for y in range(1, ws.max_row + 1):
        if ws.cell(row=y, column=2).value != "#range":
            continue
        name = ws.cell(row=y, column=3).value
        end = y + 1
        while end <= ws.max_row and not row_empty(ws, end):
            end += 1
        first = end - counts[name]
        found[name] = (y, list(range(y + 1, first)), first)
    return found


def worksheet_rows(ws, rows):
    """The cells of a labelled worksheet laid out as `calvex read` prints them."""
    out = [[shown(ws["B1"].value), shown(ws["C1"].value)]]
    where = labelled_ranges(ws, rows)
    name = None
    for row in rows[1:]:
        if row[:1] == ["#range"]:
            name, k = row[1], 0
            out.append([shown(ws.cell(row=where[name][0], column=2).value),
                        shown(ws.cell(row=where[name][0], column=3).value)])
            continue
        y = where[name][2] + k
        out.append([shown(ws.cell(row=y, column=x + 2).value) for x in range(len(row))])
        k += 1
    return out


def info_rows(wb):
    return {r[0].value: r[1].value for r in wb["Info"].iter_rows() if r[0].value is not None}


def cell_rules(sheet):
    """For each range of `calvex describe SHEET`: (rows, cols, default, areas), each area
    (first row, last row, first col, last col, description), 1-based; a later area wins."""
    code, out, _ = run("describe", sheet)
    assert code == 0
    ranges, name = {}, None
    for line in out.splitlines():
        words = line.split()
        if line.startswith("  range "):
            name = words[1].rstrip(":")
            ranges[name] = [int(words[2]), int(words[4]), None, []]
        elif line.startswith("    cells: "):
            ranges[name][2] = line[len("    cells: "):]
        elif line.startswith("    rows "):
            rows, cols = words[1].rstrip(","), words[3].rstrip(":")
            r0, r1 = map(int, rows.split(".."))
            c0, c1 = map(int, cols.split(".."))
            ranges[name][3].append((r0, r1, c0, c1, line.split(": ", 1)[1]))
        elif not line.startswith("    "):
            name = None
    return ranges


def rule_of(rules, y, x):
    """The description of cell (y, x), 1-based, of a range of cell_rules."""
    text = rules[2]
    for r0, r1, c0, c1, area in rules[3]:
        if r0 <= y <= r1 and c0 <= x <= c1:
            text = area
    return text


CHANGED_FILL = "FFC57A"  # the orange of a changed cell


def changed_cells(ws):
    """{coordinate: (value, note)} of the cells with the changed cells' fill."""
    found = {}
    for row in ws.iter_rows():
        for cell in row:
            if cell.fill is not None and cell.fill.fill_type == "solid" and \
                    str(cell.fill.fgColor.rgb).upper().endswith(CHANGED_FILL):
                found[cell.coordinate] = (shown(cell.value), cell.comment.text if cell.comment else None)
    return found


def overview_table(ws, first_head):
    """The rows of the Info table whose header row starts with first_head, up to the first empty row."""
    header = next(y for y in range(1, ws.max_row + 1) if ws.cell(row=y, column=1).value == first_head)
    width = max(x for x in range(1, ws.max_column + 1) if ws.cell(row=header, column=x).value is not None)
    rows = []
    for y in range(header, ws.max_row + 1):
        if ws.cell(row=y, column=1).value is None:
            break
        rows.append([ws.cell(row=y, column=x) for x in range(1, width + 1)])
    return rows


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
        return example_images.write_example_image(CALVEX, EXAMPLES, family, self.path(name), layout)

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
                self.assertEqual(wb.sheetnames, ["Info"] + sheets)
                for name in sheets:
                    code, out, err = run("read", name, img)
                    self.assertEqual(code, 0, err)
                    rows = sheet_rows(out)
                    ws = wb[name]
                    self.assertEqual(worksheet_rows(ws, rows), rows, name)
                    # Every data row has a label in column A, every label row one too.
                    for marker, headers, first in labelled_ranges(ws, rows).values():
                        self.assertIn(len(headers), (1, 2), f"{name} row {marker}")
                        for y in headers + [first]:
                            self.assertIsNotNone(ws.cell(row=y, column=1).value, f"{name}!A{y}")
                info = info_rows(wb)
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
                self.assertNotIn("worksheet 'Info'", err)
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
                self.assertEqual(wb.sheetnames, ["Info"] + readable("lte"))
                self.assertEqual(info_rows(wb)["LTE layout"], layout)
                for name in readable("lte"):
                    code, out, err = run("read", name, img, "--layout", layout)
                    self.assertEqual(code, 0, err)
                    rows = sheet_rows(out)
                    self.assertEqual(worksheet_rows(wb[name], rows), rows, f"{layout} {name}")
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
        self.assertEqual((ws["B1"].value, ws["C1"].value), ("#sheet", "LteTmpComp"))
        self.assertEqual((ws["B3"].value, ws["C3"].value), ("#range", "Band"))
        self.assertEqual((ws["A4"].value, ws["B4"].value, ws["M4"].value), ("band", "band slot 1", "band slot 12"))
        self.assertEqual(ws._charts, [], "a template has no values to chart")

    def test_every_temperature_table_and_ramp_has_its_scatter_chart(self):
        def text_of(rich):
            return "".join(r.t for p in rich.rich.p for r in (p.r or []))

        def bands(ws, rows, range_name):
            """The band cells of a range, in use (not X, x, 0 or empty)."""
            marker, _, first = labelled_ranges(ws, rows)[range_name]
            cells = [shown(ws.cell(row=first, column=x).value) for x in range(2, ws.max_column + 1)]
            return [b for b in cells if b not in ("", "X", "x", "0")]

        # sheet -> (range of the band names or None, pairs per row, x title, y title) per chart
        for family in FAMILIES:
            with self.subTest(family=family):
                img = self.image(family)
                book = self.path(family + ".xlsx")
                self.assertEqual(run("dump", img, "--family", family, "-o", book)[0], 0)
                wb = openpyxl.load_workbook(book)
                charted = {}
                for name in wb.sheetnames:
                    ws = wb[name]
                    if not ws._charts:
                        continue
                    code, out, _ = run("read", name, img)
                    rows = sheet_rows(out)
                    where = labelled_ranges(ws, rows)
                    for chart in ws._charts:
                        self.assertEqual(chart.tagname, "scatterChart", name)
                        title = text_of(chart.title.tx)
                        names = []
                        for series in chart.series:
                            ref = series.tx.strRef.f
                            cell = ws[ref.split("!")[1].replace("$", "")]
                            names.append(cell.value)
                        self.assertEqual(len(set(names)), len(names), f"{title}: series names repeat")
                        charted[title] = (names, text_of(chart.x_axis.title.tx), text_of(chart.y_axis.title.tx),
                                          chart.series)
                    # Each chart stands under its table, over rows that hold no cell.
                    for chart in ws._charts:
                        top = chart.anchor._from.row + 1
                        bottom = chart.anchor.to.row + 1 if hasattr(chart.anchor, "to") and chart.anchor.to else top
                        for y in range(top, bottom + 1):
                            self.assertTrue(row_empty(ws, y), f"{name}: the chart covers row {y}")
                if family == "gsm":
                    expected = {f"GsmTmpComp Tx{t}" for t in range(1, 9)} | {"GsmTmpComp Rx", "GsmRampCtrl RampData"}
                    self.assertEqual(set(charted), expected)
                    for t in range(1, 9):
                        names, x, y, series = charted[f"GsmTmpComp Tx{t}"]
                        self.assertEqual(names, [f"row {m}" for m in range(1, 21)])
                        self.assertEqual((x, y), ("temperature interval", "compensation"))
                        # x: the temperature intervals, y: the row's 15 values.
                        self.assertTrue(all("$B$" in s.xVal.numRef.f and ":$P$" in s.xVal.numRef.f for s in series))
                    self.assertEqual(charted["GsmTmpComp Rx"][0], [f"row {m}" for m in range(1, 5)])
                    names, x, y, _ = charted["GsmRampCtrl RampData"]
                    self.assertEqual((names, x, y), ([f"ramp {o}" for o in range(1, 17)], "step", "ramp value"))
                elif family == "common":
                    self.assertEqual(charted, {})
                else:
                    sheet = {"ltea": "LteaTmpComp", "lte": "LteTmpComp", "tdscdma": "TdscdmaTmpComp",
                             "wcdma": "WcdmaTmpComp"}[family]
                    self.assertEqual(set(charted), {f"{sheet} TmpComp"})
                    names, x, y, series = charted[f"{sheet} TmpComp"]
                    self.assertEqual((x, y), ("first value", "compensation"))
                    code, out, _ = run("read", sheet, img)
                    rows = sheet_rows(out)
                    if family == "tdscdma":
                        self.assertEqual(names, ["table 1", "table 2"])
                    else:
                        band_range = "BandInfo" if family == "wcdma" else "Band"
                        in_use = bands(wb[sheet], rows, band_range)
                        self.assertTrue(in_use, "the example image holds bands")
                        self.assertEqual(names, [f"band {b}" for b in in_use])
                    # Each series: x a slot's first column, y the column right of it, all rows.
                    for s_ in series:
                        x_ref = s_.xVal.numRef.f.split("!")[1].replace("$", "")
                        y_ref = s_.yVal.numRef.f.split("!")[1].replace("$", "")
                        (x0, x1), (y0, y1) = x_ref.split(":"), y_ref.split(":")
                        xc, yc = openpyxl.utils.cell.coordinate_from_string(x0), openpyxl.utils.cell.coordinate_from_string(y0)
                        self.assertEqual(openpyxl.utils.column_index_from_string(yc[0]),
                                         openpyxl.utils.column_index_from_string(xc[0]) + 1)
                        self.assertEqual(openpyxl.utils.column_index_from_string(xc[0]) % 2, 0, "pairs start at B, D, ...")

    def test_worksheets_print_one_page_wide(self):
        img = self.image("lte")
        book = self.path("lte.xlsx")
        self.assertEqual(run("dump", img, "--family", "lte", "-o", book)[0], 0)
        wb = openpyxl.load_workbook(book)
        for name in wb.sheetnames:
            ws = wb[name]
            with self.subTest(sheet=name):
                self.assertTrue(ws.sheet_properties.pageSetUpPr.fitToPage)
                # fitToWidth 1 is the default, which the file may leave out.
                self.assertEqual((ws.page_setup.fitToWidth or 1, ws.page_setup.fitToHeight), (1, 0))
        # The 165-line table is longer than a page: its marker and label row print atop every page.
        ws = wb["LteSwitchPaCtrlWord"]
        code, out, _ = run("read", "LteSwitchPaCtrlWord", img)
        marker, headers, _ = labelled_ranges(ws, sheet_rows(out))["SwitchPa"]
        self.assertEqual(ws.print_title_rows, f"${marker}:${headers[-1]}")
        self.assertEqual(ws.page_setup.orientation, "landscape")
        # The temperature table and its chart each start a page of their own.
        ws = wb["LteTmpComp"]
        code, out, _ = run("read", "LteTmpComp", img)
        marker, _, _ = labelled_ranges(ws, sheet_rows(out))["TmpComp"]
        breaks = [b.id + 1 for b in ws.row_breaks.brk]
        self.assertIn(marker, breaks)
        self.assertIn(ws._charts[0].anchor._from.row + 1, breaks)
        # GSM: every one of the nine temperature tables starts a page, its chart under it.
        img = self.image("gsm")
        self.assertEqual(run("dump", img, "--family", "gsm", "-o", book)[0], 0)
        ws = openpyxl.load_workbook(book)["GsmTmpComp"]
        breaks = {b.id + 1 for b in ws.row_breaks.brk}
        markers = {y for y in range(1, ws.max_row + 1) if ws.cell(row=y, column=2).value == "#range"}
        charts = {c.anchor._from.row + 1 for c in ws._charts}
        self.assertEqual(len(charts), 9)
        tables = sorted(markers)[1:]  # after the temperature intervals
        self.assertEqual(sorted(breaks), tables, sorted(markers))
        self.assertFalse(charts & breaks)

    def test_the_overview_comes_first_and_links_every_sheet(self):
        img = self.image("wcdma")
        book = self.path("wcdma.xlsx")
        self.assertEqual(run("dump", img, "--family", "wcdma", "-o", book)[0], 0)
        wb = openpyxl.load_workbook(book)
        self.assertEqual(wb.sheetnames[0], "Info")
        info = info_rows(wb)
        for key in ("image", "size", "SHA-256", "family", "LTE layout", "date", "written by"):
            self.assertIn(key, info)
        self.assertEqual(info["family"], "wcdma")
        self.assertTrue(info["written by"].startswith("calvex "))
        ws = wb["Info"]
        header = next(y for y in range(1, ws.max_row + 1) if ws.cell(row=y, column=1).value == "sheet")
        self.assertEqual([ws.cell(row=header, column=x).value for x in (1, 2, 3)], ["sheet", "NV blocks", "what it holds"])
        listed = []
        for y in range(header + 1, ws.max_row + 1):
            cell = ws.cell(row=y, column=1)
            listed.append(cell.value)
            self.assertEqual(cell.hyperlink.location, f"'{cell.value}'!A1")
            self.assertRegex(ws.cell(row=y, column=2).value, r"^0x[0-9A-F]+\+\d+")
        self.assertEqual(listed, readable("wcdma"))

    def test_labels_are_never_read(self):
        # Every label cell of every worksheet edited (column A, the label rows): apply still
        # gives back the image it was dumped from, in every family and both LTE layouts.
        cases = [(f, None) for f in FAMILIES] + [("lte", "single"), ("lte", "merged")]
        for family, layout in cases:
            with self.subTest(family=family, layout=layout):
                img = self.image(family, f"{family}-{layout}.bin", layout)
                before = self.read_bytes(img)
                book = self.path(f"{family}-{layout}.xlsx")
                opts = ["--layout", layout] if layout else []
                self.assertEqual(run(*opts, "dump", img, "--family", family, "-o", book)[0], 0)
                wb = openpyxl.load_workbook(book)
                edited = 0
                for name in wb.sheetnames[1:]:
                    ws = wb[name]
                    code, out, _ = run(*opts, "read", name, img)
                    for marker, headers, first in labelled_ranges(ws, sheet_rows(out)).values():
                        for y in headers:
                            for x in range(1, ws.max_column + 1):
                                ws.cell(row=y, column=x, value=f"edited {x}")
                                edited += 1
                    for y in range(1, ws.max_row + 1):
                        if ws.cell(row=y, column=1).value is not None:
                            ws.cell(row=y, column=1, value="9")
                            edited += 1
                self.assertGreater(edited, 0)
                wb.save(book)
                code, _, err = run(*opts, "apply", img, book)
                self.assertEqual(code, 0, err)
                after = self.read_bytes(img)
                if layout == "merged":
                    pwt = slice(0x1792, 0x17B8)  # see test_lte_dump_and_apply_in_both_layouts
                    after, before = after[:pwt.start] + after[pwt.stop:], before[:pwt.start] + before[pwt.stop:]
                self.assertEqual(after, before)

    def test_a_label_row_deleted_is_refused(self):
        # Without its label row the table's first data row would be taken for a label: the range
        # comes up short and nothing is written.
        img = self.image("wcdma")
        before = self.read_bytes(img)
        book = self.path("wcdma.xlsx")
        self.assertEqual(run("dump", img, "--family", "wcdma", "-o", book)[0], 0)
        wb = openpyxl.load_workbook(book)
        ws = wb["WcdmaTmpComp"]
        code, out, _ = run("read", "WcdmaTmpComp", img)
        marker, headers, _ = labelled_ranges(ws, sheet_rows(out))["TmpComp"]
        ws.delete_rows(headers[0])
        wb.save(book)
        code, _, err = run("apply", img, book)
        self.assertEqual(code, 2, err)
        self.assertIn("range 'TmpComp' needs 40 rows, found 39", err)
        self.assertEqual(self.read_bytes(img), before)

    def test_unlabelled_workbooks_still_apply(self):
        # A workbook with the markers in column A and no label rows (as calvex wrote before).
        img = self.image("gsm")
        before = self.read_bytes(img)
        code, out, _ = run("read", "GsmTmpComp", img)
        wb = openpyxl.Workbook()
        ws = wb.active
        ws.title = "GsmTmpComp"
        for y, row in enumerate(sheet_rows(out), start=1):
            for x, text in enumerate(row, start=1):
                if text:
                    ws.cell(row=y, column=x, value=int(text) if text.lstrip("-").isdigit() else text)
        wb.save(self.path("old.xlsx"))
        code, _, err = run("apply", img, self.path("old.xlsx"))
        self.assertEqual(code, 0, err)
        self.assertEqual(self.read_bytes(img), before)

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
        third = wb.sheetnames[3]
        ws = wb[third]
        # Marker row 3, one label row, the first data row 5 from column B.
        self.assertEqual(ws["B3"].value, "#range")
        ws["B5"] = "12abc"
        wb.save(book)
        code, _, err = run("apply", img, book)
        self.assertEqual(code, 2)
        self.assertIn(f"ltea.xlsx!{third}!B5: ", err)
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

    def diff_book_cases(self, a, b, family, book, opts=()):
        """Runs diff -o and diff --format csv on a, b and checks the workbook against the csv rows:
        the fills and notes on exactly the changed cells, the counts and links per sheet, the
        other bytes, both images' facts; the workbook applies back onto b byte-identical and
        onto a gives b but for the other bytes. Returns the exit status and the csv rows."""
        code, out, err = run("diff", a, b, "--family", family, *opts, "-o", book)
        self.assertEqual(out, "")
        code_csv, report, _ = run("diff", a, b, "--family", family, *opts, "--format", "csv")
        self.assertEqual(code, code_csv, err)
        rows = list(csv.reader(io.StringIO(report)))[1:]
        wb = openpyxl.load_workbook(book)
        self.assertEqual(wb.sheetnames, ["Info"] + readable(family))
        info_ws = wb["Info"]
        old_bytes, new_bytes = self.read_bytes(a), self.read_bytes(b)
        facts = [(info_ws.cell(row=y, column=1).value, info_ws.cell(row=y, column=2).value) for y in range(1, 13)]
        self.assertEqual(facts[:7], [
            ("new image", b), ("size", f"{len(new_bytes)} bytes"), ("SHA-256", hashlib.sha256(new_bytes).hexdigest()),
            ("old image", a), ("old size", f"{len(old_bytes)} bytes"),
            ("old SHA-256", hashlib.sha256(old_bytes).hexdigest()), ("family", family)])
        self.assertEqual([k for k, _ in facts[7:]], ["LTE layout", "date", "written by", "changed cells",
                                                      "other differing bytes"])
        expected = {}  # sheet -> {coordinate: (new, note)}
        for name in readable(family):
            expected[name] = {}
        for kind, sheet, range_name, r, c, old, new, *_ in rows:
            if kind != "cell":
                continue
            _, text, _ = run("read", sheet, b, *opts)
            marker, headers, first = labelled_ranges(wb[sheet], sheet_rows(text))[range_name]
            coordinate = f"{openpyxl.utils.get_column_letter(int(c) + 1)}{first + int(r) - 1}"
            expected[sheet][coordinate] = (new, f"was: {old}" if old else "was empty")
        table = overview_table(info_ws, "sheet")
        self.assertEqual([c.value for c in table[0]],
                         ["sheet", "changed cells", "first change", "NV blocks", "what it holds"])
        self.assertEqual([r[0].value for r in table[1:]], readable(family))
        for r in table[1:]:
            name = r[0].value
            with self.subTest(sheet=name):
                self.assertEqual(changed_cells(wb[name]), expected[name])
                self.assertEqual(r[1].value, len(expected[name]))
                if expected[name]:
                    first = min(expected[name], key=lambda k: openpyxl.utils.cell.coordinate_to_tuple(k))
                    self.assertEqual(r[2].hyperlink.location, f"'{name}'!{first}")
                    self.assertEqual(r[2].value, f"{name}!{first}")
                else:
                    self.assertIsNone(r[2].value)
        byte_rows = [r for r in rows if r[0] == "bytes"]
        if byte_rows:
            table = overview_table(info_ws, "offset")
            self.assertEqual([c.value for c in table[0]], ["offset", "length", "old bytes", "new bytes", "where"])
            shown_rows = [[c.value for c in r] for r in table[1:]]
            want = []
            for _, holders, *_, offset, length, old, new in byte_rows:
                short = lambda v: " ".join(v.split()[:16]) + (" ..." if int(length) > 16 else "")
                want.append([offset, int(length), short(old), short(new),
                             f"in the blocks of {holders}" if holders else "outside every sheet's blocks"])
            self.assertEqual(shown_rows, want)
        else:
            self.assertTrue(any(r[0].value == "other differing bytes: none" for r in info_ws.iter_rows()))
        # Fills and notes are formatting only: the workbook is a dump of b.
        copy_b = self.path("back-b.bin")
        shutil.copyfile(b, copy_b)
        code_apply, _, err = run("apply", copy_b, book, *opts)
        self.assertEqual(code_apply, 0, err)
        self.assertEqual(self.read_bytes(copy_b), new_bytes)
        # Onto a it gives b, except the bytes no cell explains, which keep a's values.
        copy_a = self.path("back-a.bin")
        shutil.copyfile(a, copy_a)
        code_apply, _, err = run("apply", copy_a, book, "--force", *opts)
        self.assertEqual(code_apply, 0, err)
        want = bytearray(new_bytes)
        for _, _, *_, offset, length, _, _ in byte_rows:
            o = int(offset, 16)
            want[o:o + int(length)] = old_bytes[o:o + int(length)]
        self.assertEqual(self.read_bytes(copy_a), bytes(want))
        return code, rows

    def test_diff_workbook_marks_the_changed_cells_in_place(self):
        a = self.image("wcdma", "a.bin")
        b = self.path("b.bin")
        shutil.copyfile(a, b)
        book = self.path("diff.xlsx")
        code, rows = self.diff_book_cases(a, b, "wcdma", book)
        self.assertEqual((code, rows), (0, []))
        # One cell through calvex, one byte far outside every sheet.
        code, out, _ = run("read", "WcdmaNotch", b)
        notch = sheet_rows(out)
        old = notch[4][0]
        notch[4][0] = str(int(old) + 1)
        with open(self.path("notch.csv"), "w", newline="") as f:
            csv.writer(f).writerows(notch)
        self.assertEqual(run("write", "WcdmaNotch", b, self.path("notch.csv"))[0], 0)
        with open(b, "r+b") as f:
            size = f.seek(0, 2)
            f.seek(size - 1)
            last = f.read(1)[0]
            f.seek(size - 1)
            f.write(bytes([last ^ 0xFF]))
        code, rows = self.diff_book_cases(a, b, "wcdma", book)
        self.assertEqual(code, 1)
        wb = openpyxl.load_workbook(book)
        # NotchParams: marker row 5 (after #sheet and WcdmaNotch's first range), its label row, row 1 from B.
        ws = wb["WcdmaNotch"]
        marker, _, first = labelled_ranges(ws, notch)["NotchParams"]
        self.assertEqual(changed_cells(ws), {f"B{first}": (str(int(old) + 1), f"was: {old}")})
        info = {r[0].value: r[1].value for r in wb["Info"].iter_rows() if r[0].value is not None}
        self.assertEqual(info["changed cells"], "1 (orange, a note on each gives the old value)")
        self.assertEqual(info["other differing bytes"], "1 runs (listed below)")
        table = overview_table(wb["Info"], "offset")
        self.assertEqual([[c.value for c in r] for r in table[1:]],
                         [[f"0x{size - 1:X}", 1, f"{last:02x}", f"{last ^ 0xFF:02x}", "outside every sheet's blocks"]])

    def test_diff_workbook_over_seeded_random_byte_changes(self):
        # Random bytes of the second image changed, in and out of the sheets' blocks: whatever
        # the cells and bytes, the workbook marks what diff reports and applies back to b.
        checked = 0
        for family, seed in (("gsm", 1), ("gsm", 2), ("wcdma", 3), ("ltea", 4), ("tdscdma", 5), ("common", 6),
                             ("lte", 7), ("wcdma", 8)):
            with self.subTest(family=family, seed=seed):
                rng = random.Random(seed)
                a = self.image(family, f"{family}-a.bin")
                data = bytearray(self.read_bytes(a))
                for _ in range(6):
                    k = rng.randrange(len(data))
                    data[k] ^= rng.randrange(1, 256)
                b = self.path(f"{family}-b.bin")
                with open(b, "wb") as f:
                    f.write(data)
                # b as calvex writes it: its cells (from the changed bytes) applied onto it, which
                # also sets the bytes of the sheets' blocks that no cell shows.
                if run("dump", b, "--family", family, "-o", self.path("b.xlsx"))[0] != 0 or \
                        run("apply", b, self.path("b.xlsx"))[0] != 0:
                    continue  # a sheet refuses to read or write the changed bytes
                code, rows = self.diff_book_cases(a, b, family, self.path(f"{family}.xlsx"))
                self.assertEqual(code, 1 if rows else 0)
                checked += sum(r[0] == "cell" for r in rows) > 0
        self.assertGreaterEqual(checked, 5)

    def test_diff_workbook_refusals(self):
        a = self.image("gsm", "a.bin")
        b = self.path("b.bin")
        shutil.copyfile(a, b)
        before = self.read_bytes(b)
        cases = [
            (["diff", a, b, "--family", "gsm", "-o", self.path("d.csv")],
             "calvex: diff -o takes a workbook (-o DIFF.xlsx); without -o the report goes to standard output"),
            (["diff", "--golden", a, b, "--family", "gsm", "-o", self.path("d.xlsx")],
             "calvex: diff -o DIFF.xlsx compares two images; with --golden use --report FILE.csv"),
        ]
        for args, line in cases:
            with self.subTest(args=args[-1]):
                code, out, err = run(*args)
                self.assertEqual((code, out, err.splitlines()), (2, "", [line]))
        # An image named like a workbook is never overwritten by its own diff.
        x = self.path("b.xlsx")
        shutil.copyfile(b, x)
        code, out, err = run("diff", a, x, "--family", "gsm", "-o", x)
        self.assertEqual((code, err.splitlines()), (2, [
            f"calvex: the output workbook '{x}' is the image '{x}' (the same file); nothing was written"]))
        self.assertEqual(self.read_bytes(x), before)
        self.assertFalse(os.path.exists(self.path("d.xlsx")))

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


    def test_dumped_cells_guard_what_is_typed_into_them(self):
        """Every data cell's number format and validation follow its description: hex, keyword
        and MIPI cells are Text (empty ones too); keywords a drop-down of exactly their words
        (and X); decimals whole numbers within their limits (X through a formula); the rest
        unguarded. Excel's refusal text is the description."""
        import re
        decimal = re.compile(r"^a decimal integer (-?\d+)\.\.(-?\d+)(, or X)?(, or empty)?$")
        quoted = re.compile(r"'([^']*)'")
        for family in FAMILIES:
            img = self.image(family)
            book = self.path(family + ".xlsx")
            code, _, err = run("dump", img, "--family", family, "-o", book)
            self.assertEqual(code, 0, err)
            wb = openpyxl.load_workbook(book)
            for name in readable(family):
                ws = wb[name]
                code, out, _ = run("read", name, img)
                where = labelled_ranges(ws, sheet_rows(out))
                validations = ws.data_validations.dataValidation
                for range_name, rules in cell_rules(name).items():
                    first = where[range_name][2]
                    for y in range(1, rules[0] + 1):
                        for x in range(1, rules[1] + 1):
                            cell = ws.cell(row=first + y - 1, column=x + 1)
                            text = rule_of(rules, y, x)
                            at = f"{family} {name}!{cell.coordinate} ({text})"
                            typed_as_text = text.startswith(("a hexadecimal", "one of", "the keyword", "a MIPI"))
                            self.assertEqual(cell.number_format, "@" if typed_as_text else "General", at)
                            covering = [v for v in validations if cell.coordinate in v.sqref]
                            if text.startswith(("one of", "the keyword")):
                                words = quoted.findall(text) + (["X"] if ", or X" in text else [])
                                self.assertEqual([(v.type, v.formula1) for v in covering],
                                                 [("list", '"' + ",".join(words) + '"')], at)
                            elif decimal.match(text):
                                lo, hi, x_ok, _ = decimal.match(text).groups()
                                if x_ok:
                                    self.assertEqual([v.type for v in covering], ["custom"], at)
                                    self.assertIn('="X"', covering[0].formula1, at)
                                    self.assertIn(f">={lo},", covering[0].formula1, at)
                                    self.assertIn(f"<={hi})", covering[0].formula1, at)
                                else:
                                    self.assertEqual([(v.type, v.operator or "between", v.formula1, v.formula2)
                                                      for v in covering], [("whole", "between", lo, hi)], at)
                            else:
                                self.assertEqual(covering, [], at)
                                continue
                            self.assertEqual((covering[0].errorStyle or "stop", covering[0].error),
                                             ("stop", f"Expected {text}."), at)


    def test_inputs_are_told_by_content_and_outputs_by_name(self):
        """Every command that reads a sheet file names what the file is, whatever its name; every
        -o is what its name says or is refused. Nothing is written by a refused command."""
        img = self.image("gsm")
        d = self.dir
        self.assertEqual(run("dump", img, "--family", "gsm", "-o", self.path("book.xlsx"))[0], 0)
        shutil.copyfile(self.path("book.xlsx"), self.path("book-named.csv"))
        open_document(self.path("sheet.ods"), "application/vnd.oasis.opendocument.spreadsheet")
        compound_file(self.path("old.xls"), ["Workbook"])
        compound_file(self.path("locked.xlsx"), ["EncryptionInfo", "EncryptedPackage"])
        with zipfile.ZipFile(self.path("book.xlsx")) as src, zipfile.ZipFile(self.path("macro.xlsx"), "w") as out:
            for name in src.namelist():
                out.writestr(name, src.read(name))
            out.writestr("xl/vbaProject.bin", bytes(64))
        code, csv_text, _ = run("read", "GsmTmpComp", img)
        with open(self.path("GsmTmpComp.csv"), "w") as f:
            f.write(csv_text)
        ods = f"calvex: {d}/sheet.ods: an OpenDocument spreadsheet (.ods), not .xlsx; save it as an .xlsx workbook"
        xls = f"calvex: {d}/old.xls: a legacy .xls workbook (Excel 97-2003), not .xlsx; save it as an .xlsx workbook"
        locked = (f"calvex: {d}/locked.xlsx: an encrypted workbook (it has a password); "
                  "save it as an .xlsx workbook without a password")
        macro = (f"calvex: {d}/macro.xlsx: a macro-enabled workbook (it holds a VBA project); "
                 "save it as an .xlsx workbook without macros")
        sheet_out = "not a sheet file (.csv), a workbook (.xlsx), a folder (DIR/) or - (standard output)"
        cases = [  # (arguments, exit status, standard error lines)
            (["write", "GsmTmpComp", img, self.path("sheet.ods")], 2, [ods]),
            (["write", "GsmTmpComp", img, self.path("old.xls")], 2, [xls]),
            (["write", "GsmTmpComp", img, self.path("locked.xlsx")], 2, [locked]),
            (["write", "GsmTmpComp", img, self.path("macro.xlsx")], 2, [macro]),
            (["apply", img, self.path("sheet.ods")], 2, [ods]),
            (["apply", self.path("old.xls"), img], 2, [xls]),  # the workbook first, told by its content
            (["verify", self.path("locked.xlsx"), img], 2, [locked]),
            (["dump", img, "--family", "gsm", "-o", self.path("out.csv")], 2,
             [f"calvex: -o '{d}/out.csv': a dump is a workbook (.xlsx) or a folder of sheet files (DIR/); "
              "nothing was written"]),
            (["dump", img, "--family", "gsm", "-o", self.path("out.ods")], 2,
             [f"calvex: -o '{d}/out.ods': a dump is a workbook (.xlsx) or a folder of sheet files (DIR/); "
              "nothing was written"]),
            (["template", "GsmTmpComp", "-o", self.path("t.txt")], 2,
             [f"calvex: -o '{d}/t.txt': {sheet_out}; nothing was written"]),
            (["read", "GsmTmpComp", img, "-o", self.path("r.xls")], 2,
             [f"calvex: -o '{d}/r.xls': {sheet_out}; nothing was read or written"]),
            (["write", "GsmTmpComp", img, self.path("GsmTmpComp.csv"), "-o", self.path("new.xlsx")], 2,
             [f"calvex: -o '{d}/new.xlsx': the output of write is an NV image, not a sheet file, workbook or "
              "folder; nothing was written"]),
            (["apply", img, self.path("book.xlsx"), "-o", self.path("new/")], 2,
             [f"calvex: -o '{d}/new/': the output of apply is an NV image, not a sheet file, workbook or "
              "folder; nothing was written"]),
            # an .xlsx under another name is read as the workbook it is
            (["write", "GsmTmpComp", img, self.path("book-named.csv"), "--dry-run"], 0,
             ["dry run: GsmTmpComp: 修改完成！ (changes written, the library says, on a scratch copy; nothing written)"]),
        ]
        before = self.read_bytes(img)
        files = sorted(os.listdir(d))
        for args, status, lines in cases:
            with self.subTest(args=args):
                code, _, err = run(*args)
                self.assertEqual((code, err.splitlines()), (status, lines))
                self.assertEqual(self.read_bytes(img), before)
                self.assertEqual(sorted(os.listdir(d)), files)
        # and from standard input
        with open(self.path("book.xlsx"), "rb") as f:
            code, _, err = run("write", "GsmTmpComp", img, "-", "--dry-run", stdin=f)
        self.assertEqual((code, err.splitlines()), (0, [cases[-1][2][0]]))
        with open(self.path("old.xls"), "rb") as f:
            code, _, err = run("write", "GsmTmpComp", img, "-", stdin=f)
        self.assertEqual((code, err.splitlines()),
                         (2, ["calvex: <stdin>: a legacy .xls workbook (Excel 97-2003), not .xlsx; "
                              "save it as an .xlsx workbook"]))

    def test_a_dumped_folder_applies_back(self):
        """dump -o DIR/ writes SHEET.csv per sheet and Info.csv; apply DIR/ (either order) takes
        them back byte for byte, in the LTE layout Info.csv records; read and template -o DIR/
        write DIR/SHEET.csv."""
        for family, layout in (("gsm", None), ("lte", "merged"), ("common", None)):
            with self.subTest(family=family):
                img = self.image(family, layout=layout)
                folder = self.path(family + "-sheets") + "/"
                opts = ["--layout", layout] if layout else []
                code, _, err = run(*opts, "dump", img, "--family", family, "-o", folder)
                self.assertEqual(code, 0, err)
                self.assertEqual(sorted(os.listdir(folder)), sorted(["Info.csv"] + [n + ".csv" for n in readable(family)]))
                with open(folder + "Info.csv") as f:
                    info = dict(row[:2] for row in csv.reader(f))
                self.assertEqual((info["family"], info["LTE layout"]), (family, layout or "single"))
                for name in readable(family):
                    code, out, _ = run(*opts, "read", name, img)
                    with open(folder + name + ".csv", newline="") as f:
                        self.assertEqual(f.read().replace("\r\n", "\n"), out.replace("\r\n", "\n"))
                copy = self.path(family + "-copy.bin")
                shutil.copyfile(img, copy)
                # LtePwtAndOtherFlags' single-layout offsets lie inside the merged blocks (see
                # test_lte_dump_and_apply_in_both_layouts): those bytes follow the order of the writes.
                kept = slice(0x1792, 0x17B8) if layout == "merged" else slice(0, 0)
                for args in (["apply", copy, folder], ["apply", folder, copy]):
                    code, _, err = run(*args, "--write-back", self.path("wb.csv"))
                    self.assertEqual(code, 0, err)
                    after, before = bytearray(self.read_bytes(copy)), bytearray(self.read_bytes(img))
                    after[kept], before[kept] = b"", b""
                    self.assertEqual(after, before)
        out_dir = self.path("one") + "/"
        for args in (["template", "GsmTmpComp", "-o", out_dir], ["read", "GsmTmpComp", self.image("gsm"), "-o", out_dir]):
            with self.subTest(args=args):
                code, _, err = run(*args)
                self.assertEqual(code, 0, err)
                expected = run(*args[:-2])[1]
                with open(out_dir + "GsmTmpComp.csv") as f:
                    self.assertEqual(f.read(), expected)

    def test_workbooks_that_are_not_xlsx_are_refused(self):
        img = self.image("gsm")
        with open(self.path("old.xlsx"), "wb") as f:
            f.write(b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + bytes(504))
        code, _, err = run("apply", img, self.path("old.xlsx"))
        self.assertEqual(code, 2)
        self.assertIn("old.xlsx", err)


def csv_rows(path):
    with open(path, newline="") as f:
        return list(csv.reader(f))


def write_csv(path, rows, encoding="utf-8", **kwargs):
    with open(path, "w", newline="", encoding=encoding) as f:
        csv.writer(f, **kwargs).writerows(rows)


def numeric(text):
    """A cell as a spreadsheet program takes it when it opens a CSV: digits become a number."""
    return float(text) if text.lstrip("-").isdigit() else text


def plain_workbook(path, rows, title, convert=numeric):
    """A sheet file's rows as one worksheet from A1, the way LibreOffice or gnumeric save a CSV they
    opened: numbers where digits stood, empty cells left out (so rows end at their last cell)."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = title
    for y, row in enumerate(rows, start=1):
        for x, text in enumerate(row, start=1):
            if text != "":
                ws.cell(row=y, column=x, value=convert(text))
    wb.save(path)


def marker_row(ws, name):
    """The row of a labelled worksheet's "#range" marker of range `name` (marker in column B)."""
    for y in range(1, ws.max_row + 1):
        if ws.cell(row=y, column=2).value == "#range" and ws.cell(row=y, column=3).value == name:
            return y
    raise AssertionError(f"no range {name}")


class EditedByHand(unittest.TestCase):
    """Workbooks and sheet files as people edit and save them, made by independent writers
    (openpyxl, Python's csv module). Each case: the exit status, every message line in order, and
    the image bytes it leaves: those of the same edit made in the plain sheet file, or the
    image as it was."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="calvex-edited-")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def read_bytes(self, p):
        with open(p, "rb") as f:
            return f.read()

    def fresh_image(self, family, name):
        dst = self.path(name)
        shutil.copyfile(os.path.join(EXAMPLES, family, "nv.bin"), dst)
        return dst

    def check(self, rule, args, image, code, lines, expected_bytes):
        got_code, _, err = run(*args)
        with self.subTest(rule):
            self.assertEqual((got_code, err.splitlines()), (code, lines))
            self.assertEqual(self.read_bytes(image), expected_bytes)

    def test_sheet_files_as_typed(self):
        # GsmRampCtrl with one cell edited, written from the plain sheet file: the reference.
        rows = csv_rows(os.path.join(EXAMPLES, "gsm", "GsmRampCtrl.csv"))
        self.assertEqual(rows[2], ["16", "20"])
        rows[2][0] = "17"
        write_csv(self.path("plain.csv"), rows)
        reference = self.fresh_image("gsm", "reference.bin")
        code, _, ok_err = run("write", "GsmRampCtrl", reference, self.path("plain.csv"))
        self.assertEqual(code, 0, ok_err)
        edited = self.read_bytes(reference)
        ok_lines = ok_err.splitlines()
        pristine = self.read_bytes(os.path.join(EXAMPLES, "gsm", "nv.bin"))

        # Blanks after every separator and around the marker names, as typed by hand.
        with open(self.path("spaces.csv"), "w", newline="") as f:
            f.write("\r\n".join(", ".join(row) for row in rows).replace("#range, ", "#range , ") + "\r\n")
        # Integers of a float column, as pandas writes them ("17.0").
        floats = [[float(t) if t.lstrip("-").isdigit() else t for t in row] for row in rows]
        write_csv(self.path("floats.csv"), floats)
        with open(self.path("floats.csv")) as f:
            self.assertIn("17.0,20.0", f.read())
        # A comment row above, one inside a table, and notes beside and below the tables.
        notes = [["# unit 42, line 3"]] + [row[:] for row in rows]
        notes.insert(4, ["#", "checked"])
        notes[3] = notes[3] + ["", "max 30"]
        notes.append(["", "", "", "", "total"])
        write_csv(self.path("notes.csv"), notes)
        # Full-width digits and the wrong encoding.
        wide = [row[:] for row in rows]
        wide[2][0] = "\uff11\uff17"
        write_csv(self.path("wide.csv"), wide)
        with open(self.path("gb.csv"), "wb") as f:
            gb = [row[:] for row in rows]
            gb[2][0] = "\u8305"  # C3 A9 in GB18030, "\u00e9" read as UTF-8
            f.write("\r\n".join(",".join(row) for row in gb).encode("gb18030") + b"\r\n")
        with open(self.path("gbx.csv"), "wb") as f:
            # A comment in GB18030 whose bytes (CE C2 B2 B9) are no UTF-8.
            f.write("\r\n".join(",".join(row) for row in [["# \u6e29\u8865"]] + rows).encode("gb18030") + b"\r\n")
        # A date and a scientific number, as a spreadsheet exports them.
        dated = [row[:] for row in rows]
        dated[2][0] = "2024-01-02"
        write_csv(self.path("date.csv"), dated)

        expected_cell = "expected a decimal integer -32768..32767, or X"
        cases = [
            ("blanks around fields and names", ["spaces.csv"], 0, ok_lines, edited),
            ("pandas floats in decimal cells", ["floats.csv"], 0, ok_lines, edited),
            ("comment rows and notes beside tables", ["notes.csv"], 0,
             [f"note: {self.path('notes.csv')}: ignored 2 comment rows (the first at 1:1) and 2 cells outside "
              "every range (the first at 4:4)"] + ok_lines, edited),
            ("full-width digits", ["wide.csv"], 2,
             [f"{self.path('wide.csv')}:3:1: range RampTime, row 1 col 1: '\uff11\uff17': {expected_cell}; it holds "
              "the full-width '\uff11' (U+FF11) where '1' is meant",
              "calvex: 1 cell does not fit the sheet; nothing was written (--lenient passes cells as they are)"],
             pristine),
            ("GB18030 read as detected (valid UTF-8)", ["gb.csv"], 2,
             [f"{self.path('gb.csv')}:3:1: range RampTime, row 1 col 1: '\u00e9': {expected_cell}",
              "calvex: 1 cell does not fit the sheet; nothing was written (--lenient passes cells as they are)"],
             pristine),
            ("GB18030 as --encoding says", ["gb.csv", "--encoding", "gb18030"], 2,
             [f"{self.path('gb.csv')}:3:1: range RampTime, row 1 col 1: '\u8305': {expected_cell}; it holds the "
              "ideograph '\u8305' (U+8305)",
              "calvex: 1 cell does not fit the sheet; nothing was written (--lenient passes cells as they are)"],
             pristine),
            ("GB18030 detected", ["gbx.csv"], 0,
             [f"note: {self.path('gbx.csv')}: ignored 1 comment row (the first at 1:1)"] + ok_lines, edited),
            ("an encoding the bytes are not in", ["gbx.csv", "--encoding", "utf-8"], 2,
             [f"{self.path('gbx.csv')}: text is not valid UTF-8 (--encoding utf-8)"], pristine),
            ("a date in a decimal cell", ["date.csv"], 2,
             [f"{self.path('date.csv')}:3:1: range RampTime, row 1 col 1: '2024-01-02': {expected_cell}",
              "calvex: 1 cell does not fit the sheet; nothing was written (--lenient passes cells as they are)"],
             pristine),
        ]
        for rule, extra, code, lines, expected_bytes in cases:
            image = self.fresh_image("gsm", "nv.bin")
            self.check(rule, ["write", "GsmRampCtrl", image, self.path(extra[0]), *extra[1:]], image, code, lines,
                       expected_bytes)

    def test_rows_ending_early_and_numbers_in_text_cells(self):
        # The LTE example with its empty cells, saved as a workbook by a program that leaves them
        # out (LibreOffice, gnumeric) or as CSV without the trailing separators: read as the CSV.
        example = os.path.join(EXAMPLES, "lte", "LteSwitchPaCtrlWord.csv")
        rows = csv_rows(example)
        self.assertIn(["X", "", "", ""], rows)
        reference = self.fresh_image("lte", "reference.bin")
        code, _, ok_err = run("write", "LteSwitchPaCtrlWord", reference, example)
        self.assertEqual(code, 0, ok_err)
        written = self.read_bytes(reference)
        pristine = self.read_bytes(os.path.join(EXAMPLES, "lte", "nv.bin"))
        plain_workbook(self.path("lo.xlsx"), rows, "LteSwitchPaCtrlWord")
        with open(self.path("short.csv"), "w", newline="") as f:
            f.write("".join(",".join(row).rstrip(",") + "\n" for row in rows))
        # A band value typed as 1E3 into a hexadecimal cell (a spreadsheet keeps 1000), and a
        # date typed into a decimal one.
        band = rows.index(["#range", "BandInfo"]) + 2
        self.assertEqual(rows[band - 1][2], "0x3")
        sci = [row[:] for row in rows]
        sci[band - 1][2] = "1000"
        plain_workbook(self.path("sci.xlsx"), sci, "LteSwitchPaCtrlWord")
        wb = openpyxl.load_workbook(self.path("lo.xlsx"))
        wb.active.cell(row=band, column=2, value=datetime.date(2024, 1, 2))
        wb.save(self.path("date.xlsx"))
        hint = "format the column as Text and type the value again"
        cases = [
            ("a workbook whose rows end at their last cell", "lo.xlsx", 0, ok_err.splitlines(), written),
            ("CSV rows without trailing separators", "short.csv", 0, ok_err.splitlines(), written),
            ("1E3 in a hexadecimal cell", "sci.xlsx", 2,
             [f"sci.xlsx!LteSwitchPaCtrlWord!C{band}: range BandInfo, row 1 col 3: '1000': a number in a "
              f"hexadecimal cell (a spreadsheet turns '1E3' into 1000 and drops leading zeros); {hint}",
              "calvex: 1 cell does not fit the sheet; nothing was written (--lenient passes cells as they are)"],
             pristine),
            ("a date in a decimal cell", "date.xlsx", 2,
             [f"date.xlsx!LteSwitchPaCtrlWord!B{band}: range BandInfo, row 1 col 2: '45293': a date or time (the "
              f"cell's number format shows one, the number is its serial); {hint}",
              "calvex: 1 cell does not fit the sheet; nothing was written (--lenient passes cells as they are)"],
             pristine),
        ]
        for rule, name, code, lines, expected_bytes in cases:
            image = self.fresh_image("lte", "nv.bin")
            self.check(rule, ["write", "LteSwitchPaCtrlWord", image, self.path(name)], image, code, lines,
                       expected_bytes)

        # calvex's own workbook of that image, a date and 1E3 typed over its first band's values:
        # they used to be written as 45293 and 0x1000.
        book = self.path("dump.xlsx")
        self.assertEqual(run("dump", reference, "--family", "lte", "-o", book)[0], 0)
        wb = openpyxl.load_workbook(book)
        ws = wb["LteSwitchPaCtrlWord"]
        first = marker_row(ws, "BandInfo") + 2
        self.assertEqual([ws.cell(row=first, column=x).value for x in (2, 3, 4)], [1, 1, "0x3"])
        ws.cell(row=first, column=3, value=datetime.date(2024, 1, 2))
        ws.cell(row=first, column=4, value=1000)
        wb.save(book)
        image = self.path("unit.bin")
        shutil.copyfile(reference, image)
        self.check("a date and 1E3 typed into calvex's workbook", ["apply", image, book], image, 2,
                   [f"dump.xlsx!LteSwitchPaCtrlWord!C{first}: range BandInfo, row 1 col 2: '45293': a date or time "
                    f"(the cell's number format shows one, the number is its serial); {hint}",
                    f"dump.xlsx!LteSwitchPaCtrlWord!D{first}: range BandInfo, row 1 col 3: '1000': a number in a "
                    f"hexadecimal cell (a spreadsheet turns '1E3' into 1000 and drops leading zeros); {hint}",
                    "calvex: dump.xlsx does not fit its sheets; nothing was written"], written)

    def test_worksheets_known_by_their_sheet_row(self):
        # A dumped GSM workbook with one cell edited, applied as calvex wrote it: the reference.
        base = example_images.write_example_image(CALVEX, EXAMPLES, "gsm", self.path("base.bin"))
        book = self.path("gsm.xlsx")
        self.assertEqual(run("dump", base, "--family", "gsm", "-o", book)[0], 0)
        wb = openpyxl.load_workbook(book)
        ws = wb["GsmRampCtrl"]
        first = marker_row(ws, "RampTime") + 2
        self.assertEqual(ws.cell(row=first, column=2).value, 16)
        ws.cell(row=first, column=2, value=17)
        wb.save(book)
        reference = self.path("reference.bin")
        shutil.copyfile(base, reference)
        code, _, ok_err = run("apply", reference, book)
        self.assertEqual(code, 0, ok_err)
        edited = self.read_bytes(reference)
        unchanged = self.read_bytes(base)
        # The Info worksheet is read (family, layout, size), so no note names it.
        ok_lines = ok_err.splitlines()
        self.assertNotIn("Info", ok_err)

        def variant(name, change):
            wb = openpyxl.load_workbook(book)
            change(wb, wb["GsmRampCtrl"])
            wb.save(self.path(name))

        def rename(title):
            return lambda wb, ws: setattr(ws, "title", title)

        def misnamed(wb, ws):
            ws.title = "\u6e29\u8865"
            ws["C1"] = "GsmRamp"

        def annotated(wb, ws):
            ws.cell(row=first + 4, column=2, value="# checked by line 3")
            ws.cell(row=first, column=5, value="max 30")

        def dated(wb, ws):
            ws.cell(row=first, column=2, value=datetime.date(2024, 1, 2))

        variant("copy.xlsx", rename("GsmRampCtrl (2)"))
        variant("chinese.xlsx", rename("\u6e29\u8865"))
        variant("misnamed.xlsx", misnamed)
        variant("twice.xlsx", lambda wb, ws: wb.copy_worksheet(ws))
        variant("notes.xlsx", annotated)
        variant("dated.xlsx", dated)
        unusable = "calvex: {} does not fit its sheets; nothing was written"
        cases = [
            ("renamed by Excel's copy", "copy.xlsx", 0, ok_lines, edited),
            ("renamed by hand", "chinese.xlsx", 0, ok_lines, edited),
            ("a '#sheet' row naming no sheet", "misnamed.xlsx", 2,
             ["misnamed.xlsx!\u6e29\u8865!C1: its '#sheet' row names 'GsmRamp', which is not a sheet of calvex (did "
              "you mean 'GsmRampCtrl'?) (see `calvex list`)",
              unusable.format("misnamed.xlsx")], unchanged),
            ("two worksheets of one sheet", "twice.xlsx", 2,
             ["calvex: twice.xlsx: the worksheets 'GsmRampCtrl' and 'GsmRampCtrl Copy' both hold sheet GsmRampCtrl; "
              "keep one of them",
              unusable.format("twice.xlsx")], unchanged),
            ("a comment row and a note beside a table", "notes.xlsx", 0,
             [f"note: notes.xlsx!GsmRampCtrl: ignored 1 comment row (the first at B{first + 4}) and 1 cell outside "
              f"every range (the first at E{first})"] + ok_lines, edited),
            ("a date typed into a decimal cell", "dated.xlsx", 2,
             [f"dated.xlsx!GsmRampCtrl!B{first}: range RampTime, row 1 col 1: '45293': a date or time (the cell's "
              "number format shows one, the number is its serial); format the column as Text and type the value "
              "again",
              unusable.format("dated.xlsx")], unchanged),
        ]
        for rule, name, code, lines, expected_bytes in cases:
            image = self.path("nv.bin")
            shutil.copyfile(base, image)
            self.check(rule, ["apply", image, self.path(name)], image, code, lines, expected_bytes)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
