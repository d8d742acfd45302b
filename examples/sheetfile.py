"""Sheet files of the example generators, shaped by `calvex template`.

Every sheet's ranges (names, order, rows, columns) come from the sheet's
definition in the library, read through `calvex template SHEET`; a generator
states only the example's content.

calvex(): the calvex binary: $CALVEX, else build/native/bin/calvex under the
  repository root; exits with a message saying how to build it when missing.
shapes(sheet): [(range name, rows, cols)] in the sheet's order.
shape(sheet, range_name): (rows, cols) of one range.
write_sheet(directory, sheet, cells): writes directory/SHEET.csv. cells maps
  every range name of the sheet to a function (row, col) -> cell, or to a list
  of rows that has exactly the range's shape; cells are written with str().
  The file is a '#sheet,SHEET' row, then per range a '#range,NAME' row and its
  rows, comma separated, UTF-8 with '\\n' line ends.
padded(rows, fill): a function (row, col) -> rows[row][col] where the given
  rows (a list, or a dict row -> list) have that cell, else fill.
"""
import functools
import os
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_CALVEX = ROOT / "build" / "native" / "bin" / "calvex"
BUILD_COMMAND = "cmake --preset native && cmake --build --preset native --target calvex"
SHEET_MARKER = "#sheet,"
RANGE_MARKER = "#range,"
SEPARATOR = ","
UNWRITABLE = (SEPARATOR, '"', "\r", "\n")


class SheetFileError(Exception):
    pass


def calvex():
    given = os.environ.get("CALVEX")
    path = Path(given) if given else DEFAULT_CALVEX
    if not (path.is_file() and os.access(path, os.X_OK)):
        source = "$CALVEX" if given else "the native build"
        raise SystemExit(f"sheetfile: no calvex binary at {path} (from {source}); build it in {ROOT} with "
                         f"`{BUILD_COMMAND}`, or set CALVEX to the calvex binary")
    return path


@functools.cache
def shapes(sheet):
    done = subprocess.run([str(calvex()), "template", sheet], capture_output=True, text=True, encoding="utf-8")
    if done.returncode != 0:
        raise SheetFileError(f"calvex template {sheet} failed: {done.stderr.strip()}")
    found = []  # [name, rows, cols]
    for line in done.stdout.splitlines():
        if line.startswith(SHEET_MARKER) and not found:
            continue
        if line.startswith(RANGE_MARKER):
            found.append([line[len(RANGE_MARKER):], 0, 0])
            continue
        if not found:
            raise SheetFileError(f"calvex template {sheet}: row before the first range: {line!r}")
        cols = line.count(SEPARATOR) + 1
        current = found[-1]
        if current[1] and cols != current[2]:
            raise SheetFileError(f"calvex template {sheet}: range {current[0]} is not rectangular")
        current[1] += 1
        current[2] = cols
    return [tuple(r) for r in found]


def shape(sheet, range_name):
    for name, rows, cols in shapes(sheet):
        if name == range_name:
            return rows, cols
    raise SheetFileError(f"sheet {sheet} has no range {range_name}")


def padded(rows, fill="X"):
    given = rows if isinstance(rows, dict) else dict(enumerate(rows))
    return lambda r, c: given[r][c] if r in given and c < len(given[r]) else fill


def _range_rows(sheet, name, rows, cols, given):
    if callable(given):
        return [[given(r, c) for c in range(cols)] for r in range(rows)]
    if len(given) != rows or any(len(row) != cols for row in given):
        widths = sorted({len(row) for row in given})
        raise SheetFileError(f"sheet {sheet}, range {name}: {len(given)} rows of {widths} cells given, "
                             f"the range is {rows} x {cols}")
    return given


def _text(sheet, name, cell):
    text = str(cell)
    if any(ch in text for ch in UNWRITABLE):
        raise SheetFileError(f"sheet {sheet}, range {name}: cell {text!r} would need quoting")
    return text


def write_sheet(directory, sheet, cells):
    ranges = shapes(sheet)
    unknown = sorted(set(cells) - {name for name, _, _ in ranges})
    missing = [name for name, _, _ in ranges if name not in cells]
    if unknown:
        raise SheetFileError(f"sheet {sheet} has no range {', '.join(unknown)}")
    if missing:
        raise SheetFileError(f"sheet {sheet}: no cells given for range {', '.join(missing)}")
    lines = [SHEET_MARKER + sheet]
    for name, rows, cols in ranges:
        lines.append(RANGE_MARKER + name)
        for row in _range_rows(sheet, name, rows, cols, cells[name]):
            lines.append(SEPARATOR.join(_text(sheet, name, cell) for cell in row))
    (Path(directory) / f"{sheet}.csv").write_bytes(("\n".join(lines) + "\n").encode("utf-8"))
