#!/usr/bin/env python3
"""Writes the example NV images and sheet files of the TD-SCDMA and WCDMA
families (examples/tdscdma and examples/wcdma). Deterministic: run it again
and the files come out the same."""
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.dont_write_bytecode = True  # no cache directory beside the example files
sys.path.insert(0, str(HERE.parent))
from sheetfile import padded, shape, write_sheet  # noqa: E402

TD = HERE.parent / "tdscdma"
WC = HERE
TD_IMAGE_SIZE = 2048
WC_IMAGE_SIZE = 6144
GROUP1_FIRST_ROW = 11  # truth table rows: Group0 lines, then Group1 lines
WC_BANDS = ["1", "2", "5", "8"]
VALUES_PER_BAND = 2


def truth_table(states):
    """states: {column: {row: text}}; every other cell "X"."""
    return lambda row, col: states.get(col, {}).get(row, "X")


def lines(group0="", group1=""):
    """A state column from line strings such as "10X1" (line 0 first)."""
    col = {}
    for r, c in enumerate(group0):
        col[r] = c
    for r, c in enumerate(group1):
        col[GROUP1_FIRST_ROW + r] = c
    return col


def tdscdma():
    (TD / "nv.bin").write_bytes(bytes(TD_IMAGE_SIZE))
    write_sheet(TD, "TdscdmaNvCtrl", {"NvCtrl": [[v] for v in [
        "100", "200", "300", "50", "60", "70", "1000", "2000", "-1", "4",
        "0x13579BDF", "-12", "15", "0x00A0B0C0", "0x1F"]]})
    states = {
        0: lines("10XXXXXXXXX", "XXXX"),
        1: lines("01XXXXXXXXX", "XXXX"),
        2: lines("11XXXXXXXXX", "XXXX") | {15: "0x1C01"},
        3: lines("XXXXXXXXXXX", "1XXX"),
        7: lines("XX10XXXXXXX", "0XXX"),
        8: lines("XX01XXXXXXX", "1XXX") | {15: "0x1C02", 16: "0x1C03"},
        13: {15: "0x00400038"},
    }
    write_sheet(TD, "TdscdmaSwitchPaCtrlWord", {"TruthTable": truth_table(states)})
    write_sheet(TD, "TdscdmaTmpComp",
                {"TmpComp": lambda i, c: (300 + 40 * i, -10 + i, 320 + 40 * i, -8 + i)[c]})


def wc_band(_, b):
    return WC_BANDS[b] if b < len(WC_BANDS) else "X"


def wc_tmp_comp(r, c):
    b, value = divmod(c, VALUES_PER_BAND)
    if b >= len(WC_BANDS):
        return "X"
    return (500 + 25 * r + b, -20 + r)[value]


def wcdma():
    (WC / "nv.bin").write_bytes(bytes(WC_IMAGE_SIZE))
    # The truth table has the same number of state columns for every slot of the band list.
    _, slots = shape("WcdmaSwitchPaCtrlWord", "BandInfo")
    _, columns = shape("WcdmaSwitchPaCtrlWord", "TruthTable")
    states = {}
    for k in range(len(WC_BANDS)):
        base = columns // slots * k
        unused = "X" * (GROUP1_FIRST_ROW - 1 - k)
        states[base + 0] = lines("1" + "0" * k + unused, "XXXX")
        states[base + 1] = lines("0" + "1" * k + unused, "XXXX")
        states[base + 2] = lines("X" * GROUP1_FIRST_ROW, "10XX") | {15: f"0x{0x1C00 + k:x}"}
        states[base + 7] = {15: f"0x{0x00400000 + k:08x}", 16: "0x00000071"}
    write_sheet(WC, "WcdmaSwitchPaCtrlWord", {"BandInfo": wc_band, "TruthTable": truth_table(states)})
    write_sheet(WC, "WcdmaTmpComp", {"BandInfo": wc_band, "TmpComp": wc_tmp_comp})
    write_sheet(WC, "WcdmaMaxPow", {
        "HdelFlagSwitch": [["open"]], "HdelFlag": [["0x11223344"]],
        "BandEnSwitch": [["open"]], "BandEn": [["0x13579bdf"]],
        "BandMaxPow": padded([WC_BANDS, ["24", "24", "23", "23"]]),
    })
    write_sheet(WC, "WcdmaNotch", {"NotchCount": [["2"]], "NotchParams": padded([["10700", "-3"], ["10750", "5"]])})
    write_sheet(WC, "WcdmaAntExchange", {"AntExchange": padded([["1", "0"], ["0", "1"]])})


if __name__ == "__main__":
    tdscdma()
    wcdma()
