#!/usr/bin/env python3
"""Workbooks for the host's .xlsx tests, made and read by openpyxl.

  xlsx_openpyxl.py fixtures DIR   writes the fixture workbooks into DIR
  xlsx_openpyxl.py dump FILE      prints a workbook as openpyxl reads it, one line each:
                                    sheet <TAB> name <TAB> charts: kind/series ...
                                    cell <TAB> A1 <TAB> s:text | n:float | b:True

The data worksheet of every layout holds the same cells; the layouts differ in
how they store them, as the writers of such files do:
  inline       openpyxl's own: inline strings, absolute relationship targets
  excel        shared strings (one rich text item, one with a phonetic run),
               relative targets, relationship ids and part names out of workbook
               order, style-only empty cells
  libreoffice  shared strings, numbers written as floats ("20.0", "1e-06")
  streamed     prefixed namespace, rows and cells out of order, cells and rows
               without their r attribute
"""
import datetime
import io
import os
import re
import struct
import sys
import zipfile

import openpyxl
from openpyxl.chart import LineChart, Reference

MAIN_NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
WORKSHEET_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"
SHARED_STRINGS_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"
SHARED_STRINGS_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings"

# (cell, kind, stored value). The C++ test states the text each must read as.
DATA_CELLS = [
    ("A1", "str", "#range"), ("B1", "str", "TempComp"),
    ("A2", "str", "Temp"), ("B2", "num", 20.0), ("C2", "num", 1e-3), ("D2", "num", -3.5),
    ("E2", "num", 1.25e-6), ("F2", "num", 123456789012345.0), ("G2", "num", 0.1 + 0.2),
    ("H2", "numtext", "1e-3"), ("I2", "numtext", "20.0"), ("J2", "num", -0.0), ("K2", "num", 1e20),
    ("A3", "str", "0x1A"), ("B3", "str", "open"), ("C3", "bool", True), ("D3", "bool", False),
    ("E3", "str", "007"), ("F3", "str", '温度 <&> "q"'), ("G3", "str", " padded "),
    ("A4", "rich", ("a", "b")), ("B4", "phonetic", ("漢字", "かんじ")), ("C4", "str", "line_x000A_two"),
    ("D4", "err", "#DIV/0!"), ("E4", "fstr", "calc"), ("F4", "str", ""), ("G4", "blank", None),
    ("AB7", "num", 12.5),
]
NOTES_CELLS = [("A1", "str", "edited by hand"), ("A2", "str", "see the chart")]
# formats.xlsx, written by openpyxl itself: (value, number format or None). Dates and
# times get a date style; the C++ test states which cells read as dates.
FORMAT_CELLS = [
    (datetime.date(2024, 1, 2), None), (45293, "yyyy-mm-dd"), (1000, None), ("1E3", None), (2.5, "0.00"),
    (datetime.time(6, 30), None), (7, "[Red]0"), (8, '"days" 0'), (1.5, "[h]:mm"), (9, "0.0E+00"),
    (10, 'd"x"'), (11, "#,##0;[Red]-#,##0"), ("12", "@"),
]


def split_ref(ref):
    m = re.fullmatch(r"([A-Z]+)(\d+)", ref)
    col = 0
    for ch in m.group(1):
        col = col * 26 + ord(ch) - ord("A") + 1
    return int(m.group(2)), col


def esc(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def t_elem(p, text):
    space = ' xml:space="preserve"' if text != text.strip() else ""
    return f"<{p}t{space}>{esc(text)}</{p}t>"


def string_body(p, kind, value):
    """The content of an <si> or <is> element."""
    if kind == "rich":
        first, second = value
        return f"<{p}r>{t_elem(p, first)}</{p}r><{p}r><{p}rPr><{p}b/></{p}rPr>{t_elem(p, second)}</{p}r>"
    if kind == "phonetic":
        base, reading = value
        return f'{t_elem(p, base)}<{p}rPh sb="0" eb="2">{t_elem(p, reading)}</{p}rPh>'
    return t_elem(p, value)


def number_text(layout, value):
    if layout == "libreoffice":
        return repr(value)
    if value == int(value) and abs(value) < 1e15:
        return str(int(value))
    return repr(value).upper().replace("E-0", "E-").replace("E+", "E")


class SharedStrings:
    def __init__(self):
        self.items = []

    def add(self, body):
        self.items.append(body)
        return len(self.items) - 1

    def xml(self):
        items = "".join(f"<si>{body}</si>" for body in self.items)
        return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="{MAIN_NS}" '
                f'count="{len(self.items)}" uniqueCount="{len(self.items)}">{items}</sst>')


def cell_xml(p, layout, shared, ref, kind, value, with_ref=True):
    r = f' r="{ref}"' if with_ref else ""
    if kind == "blank":
        return f'<{p}c{r} s="0"/>'
    if kind in ("str", "rich", "phonetic"):
        if layout in ("inline", "streamed"):
            return f'<{p}c{r} t="inlineStr"><{p}is>{string_body(p, kind, value)}</{p}is></{p}c>'
        return f'<{p}c{r} t="s"><{p}v>{shared.add(string_body(p, kind, value))}</{p}v></{p}c>'
    if kind == "num":
        n = ' t="n"' if layout == "libreoffice" else ""
        return f"<{p}c{r}{n}><{p}v>{number_text(layout, value)}</{p}v></{p}c>"
    if kind == "numtext":
        return f"<{p}c{r}><{p}v>{value}</{p}v></{p}c>"
    if kind == "bool":
        return f'<{p}c{r} t="b"><{p}v>{int(value)}</{p}v></{p}c>'
    if kind == "err":
        return f'<{p}c{r} t="e"><{p}v>{esc(value)}</{p}v></{p}c>'
    if kind == "fstr":
        return f'<{p}c{r} t="str"><{p}f>"{value}"</{p}f><{p}v>{esc(value)}</{p}v></{p}c>'
    raise ValueError(kind)


def sheet_xml(layout, shared, cells):
    p = "x:" if layout == "streamed" else ""
    rows = {}
    for ref, kind, value in cells:
        row, col = split_ref(ref)
        rows.setdefault(row, []).append((col, ref, kind, value))
    order = sorted(rows)
    if layout == "streamed":
        # Later rows first; a row whose number follows the previous one omits it.
        half = len(order) // 2
        order = order[half:] + order[:half]
    parts, previous_row = [], 0
    for row in order:
        cells_of_row = sorted(rows[row])
        row_attr = f' r="{row}"'
        xml_cells = []
        if layout == "streamed" and row % 2 == 0:
            xml_cells = [cell_xml(p, layout, shared, ref, kind, value) for _, ref, kind, value in reversed(cells_of_row)]
        else:
            previous_col = 0
            for col, ref, kind, value in cells_of_row:
                implicit = layout == "streamed" and col == previous_col + 1
                xml_cells.append(cell_xml(p, layout, shared, ref, kind, value, with_ref=not implicit))
                previous_col = col
        if layout == "streamed" and row == previous_row + 1:
            row_attr = ""
        parts.append(f"<{p}row{row_attr}>{''.join(xml_cells)}</{p}row>")
        previous_row = row
    ns = f'xmlns:x="{MAIN_NS}"' if p else f'xmlns="{MAIN_NS}"'
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<{p}worksheet {ns}>'
            f"<{p}sheetData>{''.join(parts)}</{p}sheetData></{p}worksheet>")


def base_workbook():
    """Worksheets Data and Notes with a chart sheet between them, saved by openpyxl."""
    wb = openpyxl.Workbook()
    data = wb.active
    data.title = "GsmTmpComp"
    for col, temp in enumerate((-20, 0, 25, 60), start=2):
        data.cell(row=2, column=col, value=temp)
    chart = LineChart()
    chart.add_data(Reference(data, min_col=2, max_col=5, min_row=2), from_rows=True)
    wb.create_chartsheet("Chart").add_chart(chart)
    notes = wb.create_sheet("Notes")
    notes["A1"] = "placeholder"
    buffer = io.BytesIO()
    wb.save(buffer)
    return zipfile.ZipFile(io.BytesIO(buffer.getvalue()))


def write_layout(path, layout):
    src = base_workbook()
    parts = {name: src.read(name) for name in src.namelist()}
    shared = SharedStrings()
    # openpyxl names the parts after the workbook order: sheet1 (data) and sheet2 (notes).
    parts["xl/worksheets/sheet1.xml"] = sheet_xml(layout, shared, DATA_CELLS).encode()
    parts["xl/worksheets/sheet2.xml"] = sheet_xml(layout, shared, NOTES_CELLS).encode()
    rels = parts["xl/_rels/workbook.xml.rels"].decode()
    workbook = parts["xl/workbook.xml"].decode()
    types = parts["[Content_Types].xml"].decode()
    if shared.items:
        parts["xl/sharedStrings.xml"] = shared.xml().encode()
        rels = rels.replace("</Relationships>", f'<Relationship Id="rId90" Type="{SHARED_STRINGS_REL}" '
                            'Target="sharedStrings.xml"/></Relationships>')
        types = types.replace("</Types>", f'<Override PartName="/xl/sharedStrings.xml" '
                              f'ContentType="{SHARED_STRINGS_TYPE}"/></Types>')
    if layout == "excel":
        # The data sheet in a part named after a later sheet, under a later id.
        parts["xl/worksheets/sheet7.xml"] = parts.pop("xl/worksheets/sheet1.xml")
        rels = rels.replace('Target="/xl/worksheets/sheet1.xml"', 'Target="worksheets/sheet7.xml"')
        rels = rels.replace('Target="/xl/', 'Target="')
        rels = rels.replace('Id="rId1"', 'Id="rId12"')
        workbook = workbook.replace('r:id="rId1"', 'r:id="rId12"')
        types = types.replace('"/xl/worksheets/sheet1.xml"', '"/xl/worksheets/sheet7.xml"')
    parts["xl/_rels/workbook.xml.rels"] = rels.encode()
    parts["xl/workbook.xml"] = workbook.encode()
    parts["[Content_Types].xml"] = types.encode()
    write_zip(path, parts)


def write_zip(path, parts):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        for name, data in parts.items():
            out.writestr(name, data)


def compound_file(path, streams, sector_shift=9):
    """A compound file of one allocation table sector (sector 0) and a directory
    (sectors 1 and on, chained through the table) naming the root and `streams`;
    the directory takes a second sector when it holds more than fit in one."""
    size = 1 << sector_shift
    per_sector = size // 128
    entries = [("Root Entry", 5)] + [(name, 2) for name in streams]
    dir_sectors = (len(entries) + per_sector - 1) // per_sector
    header = bytearray(512)
    header[0:8] = bytes.fromhex("D0CF11E0A1B11AE1")
    struct.pack_into("<HHHHH", header, 0x18, 0x3E, 3, 0xFFFE, sector_shift, 6)
    struct.pack_into("<III", header, 0x2C, 1, 1, 0)
    struct.pack_into("<IIII", header, 0x38, 4096, 0xFFFFFFFE, 0, 0xFFFFFFFE)
    for i in range(109):
        struct.pack_into("<I", header, 0x4C + 4 * i, 0 if i == 0 else 0xFFFFFFFF)
    fat = bytearray(b"\xff" * size)
    struct.pack_into("<I", fat, 0, 0xFFFFFFFD)  # sector 0 holds the table
    for k in range(dir_sectors):
        struct.pack_into("<I", fat, 4 * (k + 1), k + 2 if k + 1 < dir_sectors else 0xFFFFFFFE)
    directory = bytearray(size * dir_sectors)
    for k, (name, kind) in enumerate(entries):
        encoded = name.encode("utf-16-le") + b"\0\0"
        directory[128 * k:128 * k + len(encoded)] = encoded
        struct.pack_into("<H", directory, 128 * k + 64, len(encoded))
        directory[128 * k + 66] = kind
    with open(path, "wb") as f:
        f.write(bytes(header) + bytes(size - 512) + bytes(fat) + bytes(directory))


def open_document(path, mimetype):
    """An OpenDocument package: its mimetype entry first and stored, then its content."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        out.writestr(zipfile.ZipInfo("mimetype"), mimetype, compress_type=zipfile.ZIP_STORED)
        out.writestr("content.xml", "<office:document-content/>")
        out.writestr("META-INF/manifest.xml", "<manifest:manifest/>")


def with_parts(path, replace=None, add=None):
    """The inline layout with parts replaced or added."""
    src = base_workbook()
    parts = {name: src.read(name) for name in src.namelist()}
    parts.update(replace or {})
    parts.update(add or {})
    write_zip(path, parts)


def write_formats(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Formats"
    for y, (value, number_format) in enumerate(FORMAT_CELLS, start=1):
        cell = ws.cell(row=y, column=1, value=value)
        if number_format:
            cell.number_format = number_format
    wb.save(path)


def fixtures(out):
    os.makedirs(out, exist_ok=True)
    write_formats(f"{out}/formats.xlsx")
    for layout in ("inline", "excel", "libreoffice", "streamed"):
        write_layout(f"{out}/{layout}.xlsx", layout)
    with open(f"{out}/legacy.xls", "wb") as f:
        f.write(bytes.fromhex("D0CF11E0A1B11AE1") + bytes(504))
    with open(f"{out}/encrypted.xlsx", "wb") as f:
        f.write(bytes.fromhex("D0CF11E0A1B11AE1") + bytes(1016))
    compound_file(f"{out}/biff8.xls", ["Workbook", "\x05SummaryInformation"])
    compound_file(f"{out}/biff5.xls", ["Book"], sector_shift=12)
    # the streams of an encrypted package, the directory in two chained sectors
    compound_file(f"{out}/password.xlsx", ["\x06DataSpaces", "Version", "DataSpaceMap", "StrongEncryptionDataSpace",
                                           "EncryptionInfo", "EncryptedPackage"])
    compound_file(f"{out}/document.xls", ["WordDocument"])
    open_document(f"{out}/sheet.ods", "application/vnd.oasis.opendocument.spreadsheet")
    open_document(f"{out}/letter.xlsx", "application/vnd.oasis.opendocument.text")
    with open(f"{out}/text.xlsx", "w") as f:
        f.write("#range,TempComp\n1,2\n")
    write_zip(f"{out}/other.xlsx", {"readme.txt": b"not a workbook"})
    with_parts(f"{out}/macro.xlsm")
    with_parts(f"{out}/vba.xlsx", add={"xl/vbaProject.bin": bytes(64)})
    with_parts(f"{out}/broken.xlsx", replace={"xl/worksheets/sheet1.xml": b"<worksheet><sheetData><row>"})
    laughs = (b'<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol"><!ENTITY lol2 "&lol;&lol;&lol;">]>'
              b"<worksheet><sheetData><row><c t=\"inlineStr\"><is><t>&lol2;</t></is></c></row></sheetData></worksheet>")
    with_parts(f"{out}/doctype.xlsx", replace={"xl/worksheets/sheet1.xml": laughs})
    with_parts(f"{out}/badshared.xlsx", replace={
        "xl/worksheets/sheet1.xml": b'<worksheet><sheetData><row r="3"><c r="B3" t="s"><v>5</v></c></row>'
                                    b"</sheetData></worksheet>"})
    with_parts(f"{out}/badnumber.xlsx", replace={
        "xl/worksheets/sheet1.xml": b'<worksheet><sheetData><row r="1"><c r="C1"><v>1,5</v></c></row>'
                                    b"</sheetData></worksheet>"})
    with_parts(f"{out}/badref.xlsx", replace={
        "xl/worksheets/sheet1.xml": b'<worksheet><sheetData><row r="1"><c r="XFE1"><v>1</v></c></row>'
                                    b"</sheetData></worksheet>"})
    # A worksheet part that inflates past the part size limit (256 MiB) from a few hundred KiB.
    big = b"<worksheet><sheetData>" + b" " * (257 << 20) + b"</sheetData></worksheet>"
    with_parts(f"{out}/bomb.xlsx", replace={"xl/worksheets/sheet1.xml": big})
    # One cell more than the cell count limit (2^20).
    row = "".join(f'<c r="{col}1"><v>1</v></c>' for col in ("A", "B", "C", "D"))
    many = ["<worksheet><sheetData>"]
    many += [f'<row r="{r}">' + row.replace("1\"", f'{r}"') + "</row>" for r in range(1, (1 << 18) + 1)]
    many.append('<row r="262145"><c r="A262145"><v>1</v></c></row></sheetData></worksheet>')
    with_parts(f"{out}/manycells.xlsx", replace={"xl/worksheets/sheet1.xml": "".join(many).encode()})


def dump(path):
    wb = openpyxl.load_workbook(path)
    for ws in wb.worksheets:
        charts = " ".join(f"{chart.tagname}/{len(chart.series)}" for chart in ws._charts)
        print(f"sheet\t{ws.title}\t{charts}")
        for row in ws.iter_rows():
            for cell in row:
                value = cell.value
                if value is None:
                    continue
                if isinstance(value, bool):
                    text = f"b:{value}"
                elif isinstance(value, (int, float)):
                    text = f"n:{float(value)!r}"
                else:
                    text = f"s:{value}"
                bold = " bold" if cell.font is not None and cell.font.b else ""
                print(f"cell\t{cell.coordinate}\t{text}{bold}")


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("fixtures", "dump"):
        sys.exit(__doc__)
    fixtures(sys.argv[2]) if sys.argv[1] == "fixtures" else dump(sys.argv[2])
