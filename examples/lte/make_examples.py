#!/usr/bin/env python3
"""Generates the LTE example NV image and the example sheet files.

The image is 0x59F8 bytes of zeros: room for every block of the single and
the merged layout. The example job writes the single layout; the same sheet
files also write the merged layout (`calvex --layout merged`), whose Phse
sheet needs the same texts for FDD and TDD, as these files have.
"""
from pathlib import Path

HERE = Path(__file__).resolve().parent
IMAGE_SIZE = 0x59F8
BANDS = [1, 3, 7, 20, 38, 40, 41]
SHEET_SLOTS = 12


def sheet(name, ranges):
    lines = [f"#sheet,{name}"]
    for range_name, rows in ranges:
        lines.append(f"#range,{range_name}")
        lines.extend(",".join(str(c) for c in row) for row in rows)
    (HERE / f"{name}.csv").write_text("\n".join(lines) + "\n")


def column(values):
    return [[v] for v in values]


def band_texts():
    return [str(b) for b in BANDS] + ["X"] * (SHEET_SLOTS - len(BANDS))


def switch_pa_rows():
    # Truth table cell 128 * row + 8 * slot + state, 32 cells to a line.
    cells = ["X"] * 5280

    def put(row, slot, state, text):
        cells[128 * row + 8 * slot + state] = text

    group0, group1, group2 = 0, 11, 15
    for slot in range(len(BANDS)):
        for state in range(8):
            if state < 4:
                # PA states: PA enable on Group0 line 0, gain mode on lines 1-2,
                # the band's PA path on Group2 line (slot % 4).
                put(group0, slot, state, "1")
                put(group0 + 1, slot, state, "1" if state & 1 else "0")
                put(group0 + 2, slot, state, "1" if state & 2 else "0")
                put(group2 + slot % 4, slot, state, "1")
            else:
                # Switch states: antenna port select on Group1 lines 0-1, LNA on line 2.
                s = state - 4
                put(group1, slot, state, "1" if s & 1 else "0")
                put(group1 + 1, slot, state, "1" if s & 2 else "0")
                put(group1 + 2, slot, state, "1" if slot < 4 else "0")
    band_info = []
    for slot in range(SHEET_SLOTS):
        if slot < len(BANDS):
            band_info.append([BANDS[slot], 1, "0x3", "0x0"])
        else:
            band_info.append(["X", "", "", ""])
    return [
        ("AntType", [["GPIO"]]),
        ("BandInfo", band_info),
        ("SwitchPa", [cells[32 * i:32 * i + 32] for i in range(165)]),
    ]


def tmp_comp_rows():
    data = []
    for r in range(60):
        row = []
        for slot in range(16):
            if slot < len(BANDS):
                row += [2000 + 40 * r, (r - 30) * (2 + slot % 3)]
            else:
                row += [0, 0]
        data.append(row)
    return [("Band", [band_texts()]), ("TmpComp", data)]


def main():
    (HERE / "nv.bin").write_bytes(bytes(IMAGE_SIZE))
    sheet("LteFilter", [("FilterFlag", column([1, 0, 1, 1, 0, 2]))])
    sheet("LteMpr", [("Mpr", column([0, 1, 1, 2, 2, 3, 0, 1, 1, 2, 2, 3, 0, 1, 2, 2, 3, 3, 0, 0, 1, 1, 2, 2]))])
    sheet("LtePhse", [("Phse", column(["0x1A2", "0x3C", "0x1A2", "0x3C", "0x20", "0x10", "0x20", "0x10"]))])
    sheet("LteCapacity", [("Capacity", column(["0x3F", "0x1F"]))])
    pwt_table = [["1", "0"], ["0", "1"]] + [["X", "X"]] * 9
    sheet("LtePwtAndOtherFlags", [
        ("2R1TFlagSwitch", [["open"]]), ("2R1TFlag", [[1]]),
        ("TxNvFlagSwitch", [["open"]]), ("TxNvFlag", [["0x1"]]),
        ("AptUseJ11PinFlagSwitch", [["open"]]), ("AptUseJ11PinFlag", [["0x0"]]),
        ("PwtEnSwitch", [["open"]]), ("PwtEn", [[1]]),
        ("PwtTable", pwt_table),
    ])
    sheet("LteSwitchPaCtrlWord", switch_pa_rows())
    sheet("LteTmpComp", tmp_comp_rows())


if __name__ == "__main__":
    main()
