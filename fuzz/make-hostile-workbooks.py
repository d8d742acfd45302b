#!/usr/bin/env python3
"""Small .xlsx files that would take gigabytes or minutes to read without the
reader's budgets: usage: make-hostile-workbooks.py OUT_DIR [--small].

--small writes versions under the xlsx fuzzers' -max_len (seeds for their
corpora); the full versions are the ones the host's safety test refuses."""
import os
import sys
import zipfile

SHEET = "GsmTmpComp"
NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
RNS = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


def package(path, sheets, parts, shared=None):
    """sheets: [(name, part)]; parts: {part name: xml text}."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        z.writestr("[Content_Types].xml",
                   '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                   '<Default Extension="xml" ContentType="application/xml"/></Types>')
        z.writestr("_rels/.rels",
                   f'<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   f'<Relationship Id="rId1" Type="{REL}/officeDocument" Target="xl/workbook.xml"/></Relationships>')
        entries = "".join(f'<sheet name="{n}" sheetId="{i + 1}" r:id="rId{i + 1}"/>' for i, (n, _) in enumerate(sheets))
        z.writestr("xl/workbook.xml", f'<?xml version="1.0"?><workbook {NS} {RNS}><sheets>{entries}</sheets></workbook>')
        rels = "".join(f'<Relationship Id="rId{i + 1}" Type="{REL}/worksheet" Target="{p}"/>'
                       for i, (_, p) in enumerate(sheets))
        if shared is not None:
            rels += f'<Relationship Id="rIdS" Type="{REL}/sharedStrings" Target="sharedStrings.xml"/>'
            parts = dict(parts, **{"xl/sharedStrings.xml": shared})
        z.writestr("xl/_rels/workbook.xml.rels",
                   f'<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   f'{rels}</Relationships>')
        for name, xml in parts.items():
            z.writestr(name, xml)


def worksheet(rows_xml):
    return f'<?xml version="1.0"?><worksheet {NS}><sheetData>{rows_xml}</sheetData></worksheet>'


def main():
    out = sys.argv[1]
    small = "--small" in sys.argv[2:]
    os.makedirs(out, exist_ok=True)
    scale = 20 if small else 1
    # One long shared string referenced by many cells.
    string_bytes = (10 << 20) // scale
    cells = "".join(f'<c r="A{r}" t="s"><v>0</v></c>' for r in range(1, 401))
    package(os.path.join(out, "shared-string-400-times.xlsx"), [(SHEET, "worksheets/sheet1.xml")],
            {"xl/worksheets/sheet1.xml": worksheet(f"<row>{cells}</row>")},
            shared=f'<?xml version="1.0"?><sst {NS}><si><t>{"x" * string_bytes}</t></si></sst>')
    # Rich-text runs nested without end inside one shared string.
    depth = 20_000_000 // (scale * 10 if small else 1)
    package(os.path.join(out, "nested-runs.xlsx"), [(SHEET, "worksheets/sheet1.xml")],
            {"xl/worksheets/sheet1.xml": worksheet('<row><c r="A1" t="s"><v>0</v></c></row>')},
            shared=f'<?xml version="1.0"?><sst {NS}><si>{"<r>" * depth}</si></sst>')
    # Many rows with one cell in the last column (XFD).
    rows = 200_000 // (scale * 5 if small else 1)
    package(os.path.join(out, "sparse-rows-xfd.xlsx"), [(SHEET, "worksheets/sheet1.xml")],
            {"xl/worksheets/sheet1.xml": worksheet("".join(f'<row r="{r}"><c r="XFD{r}"><v>1</v></c></row>'
                                                           for r in range(1, rows + 1)))})
    # Many sheet entries naming one big part.
    part_bytes = (20 << 20) // scale
    filler = '<row r="1"><c r="A1"><v>1</v></c></row>'
    big = worksheet(filler + " " * part_bytes)
    package(os.path.join(out, "sheets-share-a-part.xlsx"),
            [(f"S{i}", "worksheets/sheet1.xml") for i in range(200)], {"xl/worksheets/sheet1.xml": big})


if __name__ == "__main__":
    main()
