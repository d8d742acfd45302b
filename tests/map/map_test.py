"""calvex map, proved by a parser nobody here wrote: every family's .ksy (both
LTE layouts) compiled to JavaScript by the npm Kaitai Struct compiler, every
example image parsed with it, and every field it reads compared with the cells
`calvex read` shows; the JSON map's offsets checked against the image bytes
and the ImHex pattern against the JSON map.

usage: map_test.py CALVEX EXAMPLES_DIR NODE_MODULES_DIR
Without node or the npm packages (scripts/install-deps.sh installs them) the
test is skipped, except under CI=true, where it fails.
"""
import csv
import io
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import example_images  # noqa: E402

CALVEX = os.path.abspath(sys.argv[1])
EXAMPLES = sys.argv[2]
NODE_MODULES = os.path.abspath(sys.argv[3])
HERE = os.path.dirname(os.path.abspath(__file__))
CI = os.environ.get("CI") == "true"
FAMILIES = ("common", "gsm", "ltea", "lte", "tdscdma", "wcdma")
CASES = [(f, l) for f in FAMILIES for l in (("single", "merged") if f == "lte" else (None,))]
STRUCT_OF = {"u1": "<B", "u2": "<H", "u4": "<I", "s1": "<b", "s2": "<h", "s4": "<i"}
HEXPAT_OF = {"u1": "u8", "u2": "u16", "u4": "u32", "s1": "s8", "s2": "s16", "s4": "s32"}


def run(*args, check=True):
    p = subprocess.run([CALVEX, *args], capture_output=True, text=True)
    if check:
        assert p.returncode == 0, (args, p.stdout, p.stderr)
    return p


def layout_opts(layout):
    return ["--layout", layout] if layout else []


def read_ranges(text):
    """{range name: [rows of cell texts]} of a sheet file calvex read wrote."""
    ranges, current = {}, None
    for row in csv.reader(io.StringIO(text)):
        if row and row[0] == "#range":
            current = ranges.setdefault(row[1], [])
        elif row and row[0] == "#sheet":
            continue
        elif current is not None:
            current.append(row)
    return ranges


def cell_value(text):
    t = text.strip()
    return int(t, 16) if t.lower().startswith("0x") else int(t)


def shown(value, field):
    """A value as the read shows it: a keyword cell's word (the last word for
    a value no word is stored as), else the number."""
    if "keywords" not in field:
        return value
    if isinstance(value, str):
        return value
    return next((k["word"] for k in field["keywords"] if k["value"] == value), field["keywords"][-1]["word"])


def node_missing():
    if shutil.which("node") is None:
        return "node is missing"
    for package in ("kaitai-struct-compiler", "kaitai-struct", "js-yaml"):
        if not os.path.isdir(os.path.join(NODE_MODULES, package)):
            return "npm package %s is missing in %s (scripts/install-deps.sh)" % (package, NODE_MODULES)
    return None


class Map(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="calvex-map-")
        cls.readable = set()
        for line in run("list").stdout.splitlines():
            words = line.split("\t")
            if len(words) >= 3 and words[2] == "write+read":
                cls.readable.add(words[1])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def make_image(self, family, layout):
        """The family's example image as its job leaves it (LTE: in the given layout)."""
        key = family + ("-" + layout if layout else "")
        return key, example_images.write_example_image(CALVEX, EXAMPLES, family, os.path.join(self.dir, key + ".bin"),
                                                       layout)

    def maps(self, family, layout, key):
        paths = {}
        for fmt in ("ksy", "json", "hexpat"):
            paths[fmt] = os.path.join(self.dir, key + "." + fmt)
            run("map", "--family", family, *layout_opts(layout), "--format", fmt, "-o", paths[fmt])
        return paths

    def parse_with_kaitai(self, ksy, json_map, image, key):
        p = subprocess.run(["node", os.path.join(HERE, "parse_image.js"), ksy, json_map, image,
                            os.path.join(self.dir, key + "-js")],
                           capture_output=True, text=True, env={**os.environ, "NODE_PATH": NODE_MODULES})
        self.assertEqual(p.returncode, 0, p.stderr)
        return json.loads(p.stdout)

    def test_every_field_the_compiled_parser_reads_is_what_calvex_read_shows(self):
        missing = node_missing()
        if missing:
            if CI:
                self.fail(missing)
            self.skipTest(missing)
        report = []
        for family, layout in CASES:
            key, image = self.make_image(family, layout)
            with self.subTest(family=family, layout=layout):
                paths = self.maps(family, layout, key)
                with open(paths["json"]) as f:
                    nv_map = json.load(f)
                with open(image, "rb") as f:
                    data = f.read()
                parsed = self.parse_with_kaitai(paths["ksy"], paths["json"], image, key)
                self.check_hexpat(paths["hexpat"], nv_map)
                line = []
                self.entries_seen = {}
                for sheet in nv_map["sheets"]:
                    fields, values = self.check_sheet(sheet, parsed[sheet["type"]], data, layout, image)
                    entry_fields, entry_count = self.entries_seen[sheet["type"]]
                    line.append("%s %d fields %d values%s" % (
                        sheet["sheet"], fields, values,
                        " %d entry fields %d entries" % (entry_fields, entry_count) if entry_fields else ""))
                self.check_entries_written(family, layout, key, data, nv_map)
                report.append("%s: %s" % (key, "; ".join(line)))
        sys.stderr.write("\n".join(report) + "\n")

    def test_usage(self):
        cases = [
            (["map"], "calvex: map needs --family (common, gsm, ltea, lte, tdscdma or wcdma)\n"),
            (["map", "--family", "gsm", "--layout", "merged"],
             "calvex: --layout is for the lte family only; the gsm family has one layout\n"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                p = run(*args, check=False)
                self.assertEqual((p.returncode, p.stdout, p.stderr), (2, "", message))
        p = run("map", "--family", "gsm", "--format", "xml", check=False)
        self.assertEqual(p.returncode, 2)
        self.assertIn("--format", p.stderr)
        # The LTE map without --layout is the single layout's, as read and write default to it.
        self.assertEqual(run("map", "--family", "lte").stdout, run("map", "--family", "lte", "--layout", "single").stdout)
        self.assertNotEqual(run("map", "--family", "lte").stdout, run("map", "--family", "lte", "--layout", "merged").stdout)

    def test_the_readme_lines_open_an_example_image(self):
        missing = node_missing()
        if missing:
            if CI:
                self.fail(missing)
            self.skipTest(missing)
        with open(os.path.join(HERE, "..", "..", "README.md")) as f:
            readme = f.read()
        blocks = re.findall(r"```js\n(.*?)```", readme, re.S)
        self.assertEqual(len(blocks), 1, "one JavaScript example in README.md")
        work = os.path.join(self.dir, "readme")
        os.makedirs(os.path.join(work, "out", "gsm"))
        _, image = self.make_image("gsm", None)
        shutil.copyfile(image, os.path.join(work, "out", "gsm", "nv.bin"))
        run("map", "--family", "gsm", "-o", os.path.join(work, "gsm.ksy"))
        with open(os.path.join(work, "example.js"), "w") as f:
            f.write(blocks[0])
        p = subprocess.run(["node", "example.js"], cwd=work, capture_output=True, text=True,
                           env={**os.environ, "NODE_PATH": NODE_MODULES})
        self.assertEqual(p.returncode, 0, p.stderr)
        ranges = read_ranges(run("read", "GsmTmpComp", image).stdout)
        ramp = read_ranges(run("read", "GsmRampCtrl", image).stdout)
        expected = [int(t) for t in ranges["TempInterval"][0]] + [int(r[0]) for r in ranges["Tx1"]] + \
            [int(r[c]) for c in range(2) for r in ramp["RampTime"]]
        self.assertEqual([int(t) for t in re.findall(r"-?\d+", p.stdout)], expected)

    def check_sheet(self, sheet, parsed, data, layout, image):
        """Every field against the image bytes at its JSON offset, and against
        calvex read's cells; returns the fields and values compared with cells."""
        name = sheet["sheet"]
        ranges = None
        if name in self.readable:
            ranges = read_ranges(run(*layout_opts(layout), "read", name, image).stdout)
        covered = {}
        compared_fields = compared_values = 0
        entries = [0, 0]  # fields and entries of control words
        for field in sheet["fields"]:
            got = parsed[field["id"]]
            where = "%s.%s at 0x%x" % (name, field["id"], field["offset"])
            if field["type"] == "bytes":
                self.assertEqual(got, data[field["offset"]:field["offset"] + field["size"]].hex(), where)
                continue
            if field["type"] == "ctrl_entry":
                self.assertEqual((field["size"], field["stride"], field["cells"]), (8, 8, []), where)
                self.assertEqual([[p["id"], p["offset"], p["type"]] for p in field["parts"]],
                                 [["kind", 0, "u4"], ["word", 4, "u4"]], where)
                self.assertEqual(got, [list(struct.unpack_from("<II", data, field["offset"] + 8 * k))
                                       for k in range(field["count"])], where)
                entries[0] += 1
                entries[1] += field["count"]
                continue
            values = got if isinstance(got, list) else [got]
            self.assertEqual(len(values), field["count"], where)
            self.assertEqual(len(field["cells"]), field["count"], where)
            fmt = STRUCT_OF[field["type"]]
            from_bytes = [struct.unpack_from(fmt, data, field["offset"] + k * field["stride"])[0]
                          for k in range(field["count"])]
            self.assertEqual(values, from_bytes, where + ": the JSON map's offset and type")
            if ranges is None:
                continue
            rows = ranges[field["range"]]
            for value, cell in zip(values, field["cells"]):
                text = rows[cell["row"] - 1][cell["col"] - 1]
                self.assertEqual(shown(value, field), shown(cell_value(text) if "keywords" not in field else text, field),
                                 "%s: %s row %d col %d reads %r" % (where, field["range"], cell["row"], cell["col"], text))
                covered.setdefault(field["range"], set()).add((cell["row"], cell["col"]))
            compared_fields += 1
            compared_values += len(values)
        # Same count: a range with fields has a field value for every cell the read shows.
        for range_name, cells in covered.items():
            rows = ranges[range_name]
            self.assertEqual(len(cells), sum(len(r) for r in rows), "%s range %s" % (name, range_name))
        self.entries_seen[sheet["type"]] = entries
        return compared_fields, compared_values

    def check_entries_written(self, family, layout, key, written, nv_map):
        """The entry fields are the entries the sheet's write stores. Their
        bytes spoiled in a copy of the written image, the sheet's example file
        written again gives each field back whole, as the same write gives it
        on the unspoiled image, or leaves it whole as it was (a slot the write
        does not build keeps its bytes); no field comes back in part, and the
        write gives back at least one."""
        files = {words[0]: words[1] for words in example_images.job(EXAMPLES, family)}

        def written_again(sheet, data):
            copy = os.path.join(self.dir, key + "-again.bin")
            with open(copy, "wb") as f:
                f.write(data)
            run(*layout_opts(layout), "write", sheet, copy, os.path.join(EXAMPLES, family, files[sheet]),
                "--write-back", os.path.join(self.dir, "wb.csv"))
            with open(copy, "rb") as f:
                return f.read()

        for sheet in nv_map["sheets"]:
            spans = [(f["id"], f["offset"], 8 * f["count"]) for f in sheet["fields"] if f["type"] == "ctrl_entry"]
            if not spans:
                continue
            self.assertIn(sheet["sheet"], files, "an example sheet file for " + sheet["sheet"])
            spoiled = bytearray(written)
            for _, offset, size in spans:
                spoiled[offset:offset + size] = b"\xa5" * size
            expected = written_again(sheet["sheet"], written)
            again = written_again(sheet["sheet"], bytes(spoiled))
            given_back = 0
            for field_id, offset, size in spans:
                got = again[offset:offset + size]
                if got == expected[offset:offset + size] and got != spoiled[offset:offset + size]:
                    given_back += 1
                else:
                    self.assertEqual(got, spoiled[offset:offset + size],
                                     "%s.%s at 0x%x: given back in part" % (sheet["sheet"], field_id, offset))
            self.assertGreater(given_back, 0, sheet["sheet"])

    def check_hexpat(self, path, nv_map):
        """The pattern's syntax, line by line, and its placements against the JSON map."""
        placed, helpers = {}, set()
        with open(path) as f:
            for number, line in enumerate(f, 1):
                line = line.rstrip("\n")
                if not line or line.startswith("//") or line == "#pragma endian little":
                    continue
                if line == "struct ctrl_entry { u32 kind; u32 word; };":
                    self.assertNotIn("ctrl_entry", helpers)
                    helpers.add("ctrl_entry")
                    continue
                helper = re.fullmatch(r"struct (stride_([us](?:8|16|32))_(\d+)) \{ \2 value; padding\[(\d+)\]; \};", line)
                if helper:
                    self.assertEqual(int(helper.group(4)) + int(re.sub(r"\D", "", helper.group(2))) // 8,
                                     int(helper.group(3)), line)
                    self.assertNotIn(helper.group(1), helpers)
                    helpers.add(helper.group(1))
                    continue
                m = re.fullmatch(r"((?:[us](?:8|16|32))|stride_[us](?:8|16|32)_\d+|ctrl_entry) ([a-z][a-z0-9_]*)(?:\[(\d+)\])? @ 0x([0-9a-f]+);", line)
                self.assertIsNotNone(m, "%s:%d: %s" % (path, number, line))
                if m.group(1).startswith("stride_") or m.group(1) == "ctrl_entry":
                    self.assertIn(m.group(1), helpers, "%s:%d: type placed before its struct" % (path, number))
                self.assertNotIn(m.group(2), placed, "%s:%d: a name placed twice" % (path, number))
                placed[m.group(2)] = (m.group(1), int(m.group(3) or 1), int(m.group(4), 16))
        expected = {}
        for sheet in nv_map["sheets"]:
            for field in sheet["fields"]:
                name = sheet["type"] + "__" + field["id"]
                if field["type"] == "bytes":
                    expected[name] = ("u8", field["size"], field["offset"])
                elif field["type"] == "ctrl_entry":
                    expected[name] = ("ctrl_entry", field["count"], field["offset"])
                elif field["count"] > 1 and field["stride"] != field["size"]:
                    expected[name] = ("stride_%s_%d" % (HEXPAT_OF[field["type"]], field["stride"]), field["count"],
                                      field["offset"])
                else:
                    expected[name] = (HEXPAT_OF[field["type"]], field["count"], field["offset"])
        self.assertEqual(placed, expected)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
