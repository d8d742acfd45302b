"""--format json of list, describe, read, identify, diff, verify and apply on the
example data: every document validated against docs/calvex-output.schema.json,
and its values checked against the text and CSV outputs of the same runs.
usage: json_output_test.py CALVEX EXAMPLES_DIR SCHEMA"""
import csv
import io
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

import jsonschema
import openpyxl

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import example_images  # noqa: E402

CALVEX, EXAMPLES, SCHEMA = sys.argv[1:4]
FAMILIES = ("common", "gsm", "ltea", "lte", "tdscdma", "wcdma")
with open(SCHEMA) as f:
    VALIDATOR = jsonschema.Draft202012Validator(json.load(f))
# The first bytes of a byte run the text diff shows.
SHOWN_BYTES = 16
# An offset of the GSM example image outside every GSM sheet's blocks (checked below).
GSM_OUTSIDE = 0x10


def run(*args):
    p = subprocess.run([CALVEX, *args], capture_output=True, text=True)
    return p.returncode, p.stdout, p.stderr


def sheet_file_ranges(text):
    """A sheet file's cells: {range: [[cell, ...] per row]}."""
    ranges = {}
    current = None
    for row in csv.reader(io.StringIO(text)):
        if row and row[0] == "#sheet":
            continue
        if row and row[0] == "#range":
            current = ranges.setdefault(row[1], [])
            continue
        current.append(row or [""])  # a row of one empty cell is an empty line
    return ranges


def spec_at(described_range, row, col):
    """The cell kind of (row, col) from 1, as describe's JSON gives it."""
    cell_kind = described_range["cells"]
    for a in described_range["areas"]:
        if a["first_row"] <= row <= a["last_row"] and a["first_col"] <= col <= a["last_col"]:
            cell_kind = a["cells"]
    return cell_kind


# What calvex adds to a library message's gloss on standard error, by how it showed the message.
GLOSS_TAILS = {"dry run": ", the library says, on a scratch copy; nothing written",
               "discarded": ", the library says; calvex discarded them, nothing written"}


def shown_line(m):
    """A message of the document as standard error shows it."""
    label = m["sheet"] + (f" ({m['layout']} layout)" if m["layout"] else "")
    return f"{m['shown']}: {label}: {m['text']} ({m['gloss']}{GLOSS_TAILS.get(m['shown'], '')})"


class JsonOutput(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="calvex-json-")
        cls.images = {}
        for family in FAMILIES:
            image = example_images.write_example_image(CALVEX, EXAMPLES, family, os.path.join(cls.dir, family + ".bin"))
            cls.images[family] = image
        cls.book = os.path.join(cls.dir, "gsm.xlsx")
        code, _, err = run("dump", cls.images["gsm"], "--family", "gsm", "-o", cls.book)
        assert code == 0, err
        code, out, err = run("list", "--format", "json")
        assert code == 0, err
        cls.sheets = json.loads(out)["sheets"]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def document(self, *args, status=0, command=None):
        """Runs calvex with --format json; the validated document and standard error."""
        code, out, err = run(*args, "--format", "json")
        self.assertEqual(code, status, err)
        doc = json.loads(out)
        errors = [e.message for e in VALIDATOR.iter_errors(doc)]
        self.assertEqual(errors, [], " ".join(args))
        self.assertEqual(doc["exit_status"], status)
        self.assertEqual(doc["command"], command or args[0])
        code, version, _ = run("--version")
        self.assertEqual("calvex " + doc["calvex_version"], version.strip())
        return doc, err

    def assert_stderr_is_the_document(self, doc, err):
        """Standard error holds the document's diagnostics and messages, each in its order."""
        lines = err.splitlines()
        self.assertEqual([l for l in lines if l in doc["diagnostics"]], doc["diagnostics"])
        self.assertEqual([l for l in lines if l not in doc["diagnostics"]], [shown_line(m) for m in doc["messages"]])

    def scratch(self, family, name):
        path = os.path.join(self.dir, name)
        shutil.copyfile(self.images[family], path)
        return path

    def bytes_of(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_list_and_describe_name_every_sheet_as_the_text_does(self):
        code, text, _ = run("list")
        self.assertEqual(code, 0)
        listed = [l.split("\t")[:3] for l in text.splitlines() if not l.startswith("\t")]
        self.assertEqual([[s["family"], s["name"], s["operations"]] for s in self.sheets], listed)
        for s in self.sheets:
            doc, _ = self.document("describe", s["name"])
            sheet = doc["sheet"]
            self.assertEqual((sheet["name"], sheet["family"]), (s["name"], s["family"]))
            self.assertEqual([(r["name"], r["rows"], r["cols"]) for r in sheet["ranges"]],
                             [(r["name"], r["rows"], r["cols"]) for r in s["ranges"]])
            self.assertEqual(sheet["read"] is not None, s["operations"] == "write+read")
            # The text's "cells:" lines are the JSON's descriptions.
            _, text, _ = run("describe", s["name"])
            described = [l.strip()[len("cells: "):] for l in text.splitlines() if l.strip().startswith("cells: ")]
            self.assertEqual(described, [r["cells"]["description"] for r in sheet["ranges"]])
            blocks = [l.split()[0] for l in text.splitlines() if l.startswith("    0x")]
            self.assertEqual(blocks, ["0x%X" % b["offset"] for b in sheet["blocks"]])

    def test_read_gives_the_csv_cells_and_the_integers_of_decimal_and_hex_cells(self):
        checked_values = set()
        for s in self.sheets:
            if s["operations"] != "write+read":
                continue
            image = self.images[s["family"]]
            doc, err = self.document("read", s["name"], image)
            code, text, _ = run("read", s["name"], image)
            self.assertEqual(code, 0)
            csv_ranges = sheet_file_ranges(text)
            self.assertEqual([r["name"] for r in doc["ranges"]], list(csv_ranges))
            self.assertEqual((doc["sheet"], doc["family"], doc["image"]), (s["name"], s["family"], image))
            self.assertEqual(doc["layout"], "single" if s["family"] == "lte" else None)
            described = {r["name"]: r for r in self.document("describe", s["name"])[0]["sheet"]["ranges"]}
            for r in doc["ranges"]:
                self.assertEqual(r["cells"], csv_ranges[r["name"]], (s["name"], r["name"]))
                self.assertEqual(len(r["cells"]), r["rows"])
                for row, (texts, values) in enumerate(zip(r["cells"], r["values"]), 1):
                    self.assertEqual(len(values), r["cols"])
                    for col, (t, v) in enumerate(zip(texts, values), 1):
                        kind = spec_at(described[r["name"]], row, col)["kind"]
                        if kind in ("dec", "hex") and t not in ("", "X", "x"):
                            self.assertEqual(v, int(t, 10 if kind == "dec" else 16), (s["name"], r["name"], row, col))
                            checked_values.add(kind)
                        else:
                            self.assertIsNone(v, (s["name"], r["name"], row, col, t))
            self.assert_stderr_is_the_document(doc, err)
        self.assertEqual(set(checked_values), {"dec", "hex"})

    def test_read_output_files(self):
        image = self.images["gsm"]
        before = self.bytes_of(image)
        target = os.path.join(self.dir, "read.json")
        code, out, err = run("read", "GsmTmpComp", image, "--format", "json", "-o", target)
        self.assertEqual((code, out), (0, ""), err)
        with open(target) as f:
            self.assertEqual(f.read(), self.document("read", "GsmTmpComp", image)[0] and
                             run("read", "GsmTmpComp", image, "--format", "json")[1])
        # -o naming a sheet file keeps its meaning; the document goes to standard output.
        sheet_file = os.path.join(self.dir, "read.csv")
        code, out, _ = run("read", "GsmTmpComp", image, "--format", "json", "-o", sheet_file)
        self.assertEqual(code, 0)
        with open(sheet_file) as f:
            self.assertEqual(sheet_file_ranges(f.read()),
                             {r["name"]: r["cells"] for r in json.loads(out)["ranges"]})
        # A JSON output that is the image is refused; the image stays as it was.
        link = os.path.join(self.dir, "image.json")
        os.symlink(image, link)
        for args in (("read", "GsmTmpComp", image), ("identify", image)):
            code, out, err = run(*args, "--format", "json", "-o", link)
            self.assertEqual((code, out), (2, ""), args)
            self.assertIn("is the input", err)
        self.assertEqual(self.bytes_of(image), before)

    def test_errors_still_give_a_document(self):
        cases = [
            # args, exit status, command, the diagnostic line
            (("read", "GsmTmpCmp", self.images["gsm"]), 2, "read",
             "calvex: unknown sheet 'GsmTmpCmp'; did you mean 'GsmTmpComp'? (see `calvex list`)"),
            (("describe", "NoSuchSheetAtAll"), 2, "describe", "calvex: unknown sheet 'NoSuchSheetAtAll' (see `calvex list`)"),
            (("diff", self.images["gsm"]), 2, "diff", "calvex: diff needs --family (common, gsm, ltea, lte, tdscdma or wcdma)"),
        ]
        for args, status, command, line in cases:
            doc, err = self.document(*args, status=status, command=command)
            self.assertEqual(doc["diagnostics"], [line])
            self.assertEqual(err.splitlines(), [line])
            self.assertNotIn("ranges", doc)
        short = os.path.join(self.dir, "short.bin")
        with open(short, "wb") as f:
            f.write(b"\0" * 64)
        doc, err = self.document("read", "GsmTmpComp", short, status=1)
        self.assertEqual(doc["diagnostics"], err.splitlines())
        self.assertEqual(doc["messages"], [])

    def test_identify_names_each_image_family(self):
        for family, image in self.images.items():
            doc, _ = self.document("identify", image)
            self.assertEqual(doc["verdict"]["family"], family)
            self.assertEqual(doc["verdict"]["layout"], "single" if family == "lte" else None)
            self.assertEqual(doc["size"], os.path.getsize(image))
            _, text, _ = run("identify", image)
            lines = text.splitlines()
            self.assertEqual([l.split(": ")[0] for l in lines[:-1]], [c["name"] for c in doc["candidates"]])
            self.assertEqual([": consistent (" in l for l in lines[:-1]], [c["consistent"] for c in doc["candidates"]])
            self.assertEqual(doc["verdict"]["consistent_with"], [doc["candidates"][i]["name"] for i in range(len(lines) - 1)
                                                                 if ": consistent (" in lines[i]])
        blank = os.path.join(self.dir, "blank.bin")
        with open(blank, "wb") as f:
            f.write(b"\xff" * os.path.getsize(self.images["ltea"]))
        doc, _ = self.document("identify", blank, status=1)
        self.assertIsNone(doc["verdict"]["family"])

    def changed_gsm_unit(self, name, seed):
        """The GSM image with one GsmTmpComp cell changed and random bytes
        outside every GSM sheet's blocks."""
        unit = self.scratch("gsm", name)
        code, text, _ = run("read", "GsmTmpComp", unit)
        rows = list(csv.reader(io.StringIO(text)))
        for i, row in enumerate(rows):
            if row and row[0] not in ("#sheet", "#range") and row[-1].lstrip("-").isdigit():
                rows[i][-1] = str(int(row[-1]) + 1)
                break
        sheet_file = os.path.join(self.dir, name + ".csv")
        with open(sheet_file, "w", newline="") as f:
            csv.writer(f, lineterminator="\n").writerows(rows)
        code, _, err = run("write", "GsmTmpComp", unit, sheet_file)
        self.assertEqual(code, 0, err)
        data = bytearray(self.bytes_of(unit))
        rng = random.Random(seed)
        for k in range(GSM_OUTSIDE, GSM_OUTSIDE + rng.randint(1, 40)):
            data[k] ^= rng.randint(1, 255)
        with open(unit, "wb") as f:
            f.write(data)
        return unit

    def test_diff_lists_the_cells_and_bytes_of_the_text_and_csv(self):
        a = self.images["gsm"]
        for seed in range(3):
            b = self.changed_gsm_unit("diff%d.bin" % seed, seed)
            doc, _ = self.document("diff", a, b, "--family", "gsm", status=1)
            self.assertEqual((doc["old_image"], doc["new_image"], doc["family"]), (a, b, "gsm"))
            self.assertEqual(doc["differences"], len(doc["cells"]) + len(doc["bytes"]))
            self.assertEqual(len(doc["cells"]), 1)
            outside = [r for r in doc["bytes"] if r["sheets"] == []]
            self.assertEqual([r["offset"] for r in outside], [GSM_OUTSIDE])
            code, text, _ = run("diff", a, b, "--family", "gsm")
            self.assertEqual(code, 1)
            expected = []
            for c in doc["cells"]:
                expected.append(f"{c['sheet']} {c['range']} {c['row']} {c['col']}: {c['old']} \u2192 {c['new']}")
            for r in doc["bytes"]:
                where = "in the blocks of " + ", ".join(r["sheets"]) if r["sheets"] else "outside every sheet's blocks"

                def shown(values):
                    text = " ".join("--" if v is None else "%02x" % v for v in values[:SHOWN_BYTES])
                    return text + (" ..." if len(values) > SHOWN_BYTES else "")
                self.assertEqual(len(r["old"]), r["length"])
                expected.append("bytes 0x%X..0x%X (%d bytes %s): %s \u2192 %s" % (
                    r["offset"], r["offset"] + r["length"] - 1, r["length"], where, shown(r["old"]), shown(r["new"])))
            self.assertEqual(text.splitlines(), expected)
            old_bytes, new_bytes = self.bytes_of(a), self.bytes_of(b)
            for r in doc["bytes"]:
                self.assertEqual(bytes(r["old"]), old_bytes[r["offset"]:r["offset"] + r["length"]])
                self.assertEqual(bytes(r["new"]), new_bytes[r["offset"]:r["offset"] + r["length"]])
            _, csv_text, _ = run("diff", a, b, "--family", "gsm", "--format", "csv")
            rows = list(csv.DictReader(io.StringIO(csv_text)))
            self.assertEqual([(r["sheet"], r["range"], int(r["row"]), int(r["col"]), r["old"], r["new"])
                              for r in rows if r["kind"] == "cell"],
                             [(c["sheet"], c["range"], c["row"], c["col"], c["old"], c["new"]) for c in doc["cells"]])
            self.assertEqual([(int(r["offset"], 16), int(r["length"])) for r in rows if r["kind"] == "bytes"],
                             [(r["offset"], r["length"]) for r in doc["bytes"]])
        doc, _ = self.document("diff", a, self.scratch("gsm", "same.bin"), "--family", "gsm")
        self.assertEqual((doc["differences"], doc["cells"], doc["bytes"]), (0, [], []))

    def test_diff_golden_gives_one_entry_per_image_and_the_report_is_the_document(self):
        golden = self.images["gsm"]
        units = [self.scratch("gsm", "g0.bin"), self.changed_gsm_unit("g1.bin", 7), os.path.join(self.dir, "none.bin")]
        report = os.path.join(self.dir, "golden.json")
        code, out, err = run("diff", "--family", "gsm", "--golden", golden, *units, "--format", "json",
                             "--report", report)
        self.assertEqual(code, 2, err)
        doc = json.loads(out)
        self.assertEqual([e.message for e in VALIDATOR.iter_errors(doc)], [])
        with open(report) as f:
            self.assertEqual(json.load(f), doc)
        self.assertEqual([(i["image"], i["status"]) for i in doc["images"]],
                         [(units[0], "equal"), (units[1], "differs"), (units[2], "failed")])
        self.assertEqual(doc["total"], {"images": 3, "statuses": {"equal": 1, "differs": 1, "failed": 1}})
        alone, _ = self.document("diff", golden, units[1], "--family", "gsm", status=1)
        for key in ("differences", "cells", "bytes"):
            self.assertEqual(doc["images"][1][key], alone[key])

    def test_verify_and_apply_of_many_images(self):
        golden = self.images["gsm"]
        equal = self.scratch("gsm", "v0.bin")
        other = self.changed_gsm_unit("v1.bin", 3)
        other_bytes = self.bytes_of(other)
        doc, _ = self.document("verify", self.book, equal, other, status=1)
        self.assertEqual(doc["workbook"], self.book)
        self.assertEqual([(i["image"], i["status"], i["sheets_written"]) for i in doc["images"]],
                         [(equal, "equal", 3), (other, "would change", 3)])
        self.assertEqual(self.bytes_of(other), other_bytes)
        report = os.path.join(self.dir, "apply.json")
        code, out, err = run("apply", self.book, equal, other, "--format", "json", "--report", report)
        self.assertEqual(code, 0, err)
        doc = json.loads(out)
        self.assertEqual([e.message for e in VALIDATOR.iter_errors(doc)], [])
        with open(report) as f:
            self.assertEqual(json.load(f), doc)
        self.assertEqual([(i["status"], i["bytes_changed"] > 0) for i in doc["images"]], [("ok", False), ("ok", True)])
        self.assertEqual(doc["total"], {"images": 2, "statuses": {"ok": 2}})
        # The cells came back; the bytes outside the sheets' blocks stay the unit's.
        self.assertEqual(self.bytes_of(other)[GSM_OUTSIDE + 40:], self.bytes_of(golden)[GSM_OUTSIDE + 40:])
        doc, _ = self.document("verify", self.book, equal, other, "--ignore", "%d+40" % GSM_OUTSIDE)
        self.assertEqual(doc["total"], {"images": 2, "statuses": {"equal": 2}})

    def test_apply_of_one_image_lists_the_library_messages_in_order(self):
        unit = self.changed_gsm_unit("a1.bin", 11)
        doc, err = self.document("apply", self.book, unit)
        self.assertEqual([(i["image"], i["status"]) for i in doc["images"]], [(unit, "ok")])
        readable = [s["name"] for s in self.sheets if s["family"] == "gsm" and s["operations"] == "write+read"]
        self.assertEqual([m["sheet"] for m in doc["messages"]], readable)
        self.assertEqual({(m["class"], m["shown"], m["text"]) for m in doc["messages"]}, {("success", "ok", "修改完成！")})
        self.assert_stderr_is_the_document(doc, err)

    def test_a_bad_cell_refused_by_calvex_and_by_the_library(self):
        # The GSM workbook with the PaOff4G hex cell (the cell under its label row) not a number.
        bad = os.path.join(self.dir, "bad.xlsx")
        book = openpyxl.load_workbook(self.book)
        ws = book["GsmSwitchPaCtrlWord"]
        marker = next(c for row in ws.iter_rows() for c in row if c.value == "PaOff4G")
        cell = ws.cell(row=marker.row + 2, column=marker.column - 1)
        cell.value = "0xZZ"
        book.save(bad)
        place = "bad.xlsx!GsmSwitchPaCtrlWord!" + cell.coordinate
        unit = self.scratch("gsm", "bad.bin")
        before = self.bytes_of(unit)
        refused = ("error", "error", "非16进制数！", "not a hexadecimal number")
        # apply tells the success the library showed after its error as discarded; verify shows errors only.
        discarded = ("success", "discarded", "修改完成！", "changes written")
        cases = [
            # command, options, exit status, library messages (class, shown, text, gloss), diagnostics
            ("verify", (), 2, [],
             [place + ": range PaOff4G, row 1 col 1: '0xZZ': expected a hexadecimal number 0x0..0xFFFFFFFF "
                            "(\"0x\" optional), or X",
              "calvex: bad.xlsx does not fit its sheets; nothing was written"]),
            ("verify", ("--lenient",), 1, [refused],
             ["error: GsmSwitchPaCtrlWord: the write did not succeed; the image was left unchanged"]),
            ("apply", ("--lenient",), 1, [refused, discarded],
             ["error: GsmSwitchPaCtrlWord: the write did not succeed; the image was left unchanged"]),
        ]
        cases.append(("apply",) + cases[0][1:])
        for command, options, status, messages, diagnostics in cases:
            doc, err = self.document(command, bad, unit, *options, status=status)
            self.assertEqual([(m["class"], m["shown"], m["text"], m["gloss"]) for m in doc["messages"]], messages)
            self.assertEqual(doc["diagnostics"], diagnostics)
            self.assert_stderr_is_the_document(doc, err)
            self.assertEqual(self.bytes_of(unit), before)
            if status == 1:
                self.assertEqual([(i["status"], i["message"]) for i in doc["images"]],
                                 [("failed", "GsmSwitchPaCtrlWord: 非16进制数！ (not a hexadecimal number)")])

    def test_a_dry_run_tells_its_successes_as_dry_run(self):
        unit = self.changed_gsm_unit("dry.bin", 5)
        before = self.bytes_of(unit)
        doc, err = self.document("apply", self.book, unit, "--dry-run")
        self.assertEqual([(i["status"], i["bytes_changed"] > 0) for i in doc["images"]], [("dry run", True)])
        self.assertEqual({(m["class"], m["shown"]) for m in doc["messages"]}, {("success", "dry run")})
        self.assert_stderr_is_the_document(doc, err)
        self.assertEqual(self.bytes_of(unit), before)

    def assert_dry_run_is_the_write(self, dry, unit, before, written):
        """The dry run's cells and byte runs are the changes the real write made."""
        self.assertEqual(self.bytes_of(unit), before)
        self.assertEqual(dry["image"], unit)
        self.assertTrue(dry["cells_shown"])
        self.assertEqual(dry["differences"], len(dry["cells"]) + len(dry["bytes"]))
        changed = [k for k in range(len(before)) if before[k] != written[k]]
        self.assertNotEqual(changed, [])
        self.assertEqual([k for r in dry["bytes"] for k in range(r["offset"], r["offset"] + r["length"])], changed)
        for r in dry["bytes"]:
            self.assertNotEqual(r["sheets"], [])
            self.assertEqual(bytes(r["old"]), before[r["offset"]:r["offset"] + r["length"]])
            self.assertEqual(bytes(r["new"]), written[r["offset"]:r["offset"] + r["length"]])

    def test_a_dry_run_lists_every_cell_and_byte_that_would_change(self):
        unit = self.changed_gsm_unit("dry-cells.bin", 17)
        before = self.bytes_of(unit)
        doc, _ = self.document("apply", self.book, unit, "--dry-run")
        # The real apply, on a copy, is what the dry run said it would be.
        copy = os.path.join(self.dir, "dry-cells-applied.bin")
        shutil.copyfile(unit, copy)
        self.assertEqual(run("apply", self.book, copy)[0], 0)
        self.assert_dry_run_is_the_write(doc["dry_run"], unit, before, self.bytes_of(copy))
        # The one cell changed_gsm_unit raised by 1 goes back to the workbook's value.
        [cell] = doc["dry_run"]["cells"]
        self.assertEqual((cell["sheet"], int(cell["old"]) - int(cell["new"])), ("GsmTmpComp", 1))
        self.assertEqual(doc["images"][0]["bytes_changed"], len([k for k in range(len(before))
                                                                  if before[k] != self.bytes_of(copy)[k]]))
        # A sheet file's write: the same document, under sheet_file.
        sheet_file = os.path.join(EXAMPLES, "gsm", "GsmTmpComp.csv")
        doc, _ = self.document("write", "GsmTmpComp", unit, sheet_file, "--dry-run")
        self.assertEqual((doc["sheet_file"], [(i["image"], i["status"]) for i in doc["images"]]),
                         (sheet_file, [(unit, "dry run")]))
        copy = os.path.join(self.dir, "dry-cells-written.bin")
        shutil.copyfile(unit, copy)
        self.assertEqual(run("write", "GsmTmpComp", copy, sheet_file)[0], 0)
        self.assert_dry_run_is_the_write(doc["dry_run"], unit, before, self.bytes_of(copy))
        self.assertEqual([c["sheet"] for c in doc["dry_run"]["cells"]], ["GsmTmpComp"] * len(doc["dry_run"]["cells"]))
        self.assertEqual(self.bytes_of(unit), before)

    def test_write_of_one_image(self):
        unit = self.changed_gsm_unit("one.bin", 19)
        sheet_file = os.path.join(EXAMPLES, "gsm", "GsmTmpComp.csv")
        doc, err = self.document("write", "GsmTmpComp", unit, sheet_file)
        self.assertEqual([(i["image"], i["status"], i["sheets_written"], i["bytes_changed"] > 0, i["message"])
                          for i in doc["images"]], [(unit, "ok", 1, True, "")])
        self.assertEqual(doc["total"], {"images": 1, "statuses": {"ok": 1}})
        self.assertEqual([(m["sheet"], m["shown"], m["text"]) for m in doc["messages"]],
                         [("GsmTmpComp", "ok", "修改完成！")])
        self.assert_stderr_is_the_document(doc, err)
        self.assertNotIn("dry_run", doc)
        # Written again: nothing left to change.
        doc, _ = self.document("write", "GsmTmpComp", unit, sheet_file)
        self.assertEqual(doc["images"][0]["bytes_changed"], 0)
        # A refusal of calvex's own names its line; the image stays as it was.
        short = os.path.join(self.dir, "one-short.bin")
        with open(short, "wb") as f:
            f.write(b"\0" * 64)
        doc, err = self.document("write", "GsmTmpComp", short, sheet_file, status=1)
        self.assertEqual([(i["status"], i["message"]) for i in doc["images"]], [("failed", err.splitlines()[-1])])
        self.assertEqual(self.bytes_of(short), b"\0" * 64)

    def test_the_report_of_a_write_into_many_images(self):
        units = [self.scratch("gsm", "w0.bin"), self.changed_gsm_unit("w1.bin", 13)]
        report = os.path.join(self.dir, "write.json")
        sheet_file = os.path.join(EXAMPLES, "gsm", "GsmTmpComp.csv")
        code, out, err = run("write", "GsmTmpComp", sheet_file, *units, "--report", report)
        self.assertEqual(code, 0, err)
        with open(report) as f:
            doc = json.load(f)
        self.assertEqual([e.message for e in VALIDATOR.iter_errors(doc)], [])
        self.assertEqual((doc["command"], doc["exit_status"], doc["sheet_file"]), ("write", 0, sheet_file))
        self.assertEqual([(i["image"], i["status"], i["sheets_written"], i["bytes_changed"] > 0) for i in doc["images"]],
                         [(units[0], "ok", 1, False), (units[1], "ok", 1, True)])
        self.assertEqual(out.splitlines()[-1], "total: 2 images, 2 ok")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
