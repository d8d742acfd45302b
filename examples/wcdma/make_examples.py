#!/usr/bin/env python3
"""Writes the example NV images and sheet files of the TD-SCDMA and WCDMA
families (examples/tdscdma and examples/wcdma). Deterministic: run it again
and the files come out the same."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
TD = os.path.join(HERE, "..", "tdscdma")
WC = HERE


def sheet(path, name, ranges):
    """ranges: list of (range name, list of rows, each a list of cell texts)."""
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(f"#sheet,{name}\n")
        for rname, rows in ranges:
            f.write(f"#range,{rname}\n")
            for row in rows:
                f.write(",".join(row) + "\n")


def truth_table(columns, states):
    """states: {column: {row: text}}; every other cell "X"."""
    rows = [["X"] * columns for _ in range(19)]
    for col, cells in states.items():
        for row, text in cells.items():
            rows[row][col] = text
    return rows


def lines(group0="", group1=""):
    """A state column from line strings such as "10X1" (line 0 first)."""
    col = {}
    for r, c in enumerate(group0):
        col[r] = c
    for r, c in enumerate(group1):
        col[11 + r] = c
    return col


# ---- TD-SCDMA ----
with open(os.path.join(TD, "nv.bin"), "wb") as f:
    f.write(bytes(2048))
sheet(os.path.join(TD, "TdscdmaNvCtrl.csv"), "TdscdmaNvCtrl",
      [("NvCtrl", [[v] for v in ["100", "200", "300", "50", "60", "70", "1000", "2000", "-1", "4",
                                 "0x13579BDF", "-12", "15", "0x00A0B0C0", "0x1F"]])])
td_states = {
    0: lines("10XXXXXXXXX", "XXXX"),
    1: lines("01XXXXXXXXX", "XXXX"),
    2: lines("11XXXXXXXXX", "XXXX") | {15: "0x1C01"},
    3: lines("XXXXXXXXXXX", "1XXX"),
    7: lines("XX10XXXXXXX", "0XXX"),
    8: lines("XX01XXXXXXX", "1XXX") | {15: "0x1C02", 16: "0x1C03"},
    13: {15: "0x00400038"},
}
sheet(os.path.join(TD, "TdscdmaSwitchPaCtrlWord.csv"), "TdscdmaSwitchPaCtrlWord",
      [("TruthTable", truth_table(14, td_states))])
sheet(os.path.join(TD, "TdscdmaTmpComp.csv"), "TdscdmaTmpComp",
      [("TmpComp", [[str(300 + 40 * i), str(-10 + i), str(320 + 40 * i), str(-8 + i)] for i in range(20)])])

# ---- WCDMA ----
with open(os.path.join(WC, "nv.bin"), "wb") as f:
    f.write(bytes(6144))
bands = ["1", "2", "5", "8", "X", "X", "X", "X"]
wc_states = {}
for k in range(4):
    base = 11 * k
    wc_states[base + 0] = lines("1" + "0" * k + "X" * (10 - k), "XXXX")
    wc_states[base + 1] = lines("0" + "1" * k + "X" * (10 - k), "XXXX")
    wc_states[base + 2] = lines("X" * 11, "10XX") | {15: f"0x{0x1C00 + k:x}"}
    wc_states[base + 7] = {15: f"0x{0x00400000 + k:08x}", 16: "0x00000071"}
sheet(os.path.join(WC, "WcdmaSwitchPaCtrlWord.csv"), "WcdmaSwitchPaCtrlWord",
      [("BandInfo", [bands]), ("TruthTable", truth_table(88, wc_states))])
tmp_rows = []
for r in range(40):
    row = []
    for b in range(8):
        row += [str(500 + 25 * r + b), str(-20 + r)] if b < 4 else ["X", "X"]
    tmp_rows.append(row)
sheet(os.path.join(WC, "WcdmaTmpComp.csv"), "WcdmaTmpComp",
      [("BandInfo", [bands]), ("TmpComp", tmp_rows)])
sheet(os.path.join(WC, "WcdmaMaxPow.csv"), "WcdmaMaxPow",
      [("HdelFlagSwitch", [["open"]]), ("HdelFlag", [["0x11223344"]]),
       ("BandEnSwitch", [["open"]]), ("BandEn", [["0x13579bdf"]]),
       ("BandMaxPow", [bands, ["24", "24", "23", "23", "X", "X", "X", "X"]])])
sheet(os.path.join(WC, "WcdmaNotch.csv"), "WcdmaNotch",
      [("NotchCount", [["2"]]),
       ("NotchParams", [["10700", "-3"], ["10750", "5"]] + [["X", "X"]] * 8)])
sheet(os.path.join(WC, "WcdmaAntExchange.csv"), "WcdmaAntExchange",
      [("AntExchange", [["1", "0"], ["0", "1"]] + [["X", "X"]] * 13)])
