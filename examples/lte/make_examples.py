#!/usr/bin/env python3
"""Generates the LTE example NV image and the example sheet files.

The image is 0x59F8 bytes of zeros: room for every block of the single and
the merged layout. The example job writes the single layout; the same sheet
files also write the merged layout (`calvex --layout merged`), whose Phse
sheet needs the same texts for FDD and TDD, as these files have.
"""
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.dont_write_bytecode = True  # no cache directory beside the example files
sys.path.insert(0, str(HERE.parent))
from sheetfile import padded, shape, write_sheet  # noqa: E402

IMAGE_SIZE = 0x59F8
BANDS = [1, 3, 7, 20, 38, 40, 41]
# The truth table runs line by line; a line holds 16 band slots of 8 states
# (4 PA states, then 4 switch states), row after row of the range.
SLOT_STATES = 8
LINE_SLOTS = 16
PA_STATES = 4
VALUES_PER_SLOT = 2


def column(values):
    return [[v] for v in values]


def band(_, slot):
    return BANDS[slot] if slot < len(BANDS) else "X"


def band_info(slot, c):
    # A listed band: its PA/switch settings; a free slot: X and empty cells.
    if slot < len(BANDS):
        return (BANDS[slot], 1, "0x3", "0x0")[c]
    return "X" if c == 0 else ""


def switch_pa_cells():
    rows, cols = shape("LteSwitchPaCtrlWord", "SwitchPa")
    cells = ["X"] * (rows * cols)

    def put(line, slot, state, text):
        cells[SLOT_STATES * LINE_SLOTS * line + SLOT_STATES * slot + state] = text

    group0, group1, group2 = 0, 11, 15
    for slot in range(len(BANDS)):
        for state in range(SLOT_STATES):
            if state < PA_STATES:
                # PA states: PA enable on Group0 line 0, gain mode on lines 1-2,
                # the band's PA path on Group2 line (slot % 4).
                put(group0, slot, state, "1")
                put(group0 + 1, slot, state, "1" if state & 1 else "0")
                put(group0 + 2, slot, state, "1" if state & 2 else "0")
                put(group2 + slot % 4, slot, state, "1")
            else:
                # Switch states: antenna port select on Group1 lines 0-1, LNA on line 2.
                s = state - PA_STATES
                put(group1, slot, state, "1" if s & 1 else "0")
                put(group1 + 1, slot, state, "1" if s & 2 else "0")
                put(group1 + 2, slot, state, "1" if slot < 4 else "0")
    return {
        "AntType": [["GPIO"]],
        "BandInfo": band_info,
        "SwitchPa": lambda r, c: cells[cols * r + c],
    }


def tmp_comp(r, c):
    slot, value = divmod(c, VALUES_PER_SLOT)
    if slot >= len(BANDS):
        return 0
    return (2000 + 40 * r, (r - 30) * (2 + slot % 3))[value]


def main():
    (HERE / "nv.bin").write_bytes(bytes(IMAGE_SIZE))
    write_sheet(HERE, "LteFilter", {"FilterFlag": column([1, 0, 1, 1, 0, 2])})
    write_sheet(HERE, "LteMpr", {"Mpr": column([0, 1, 1, 2, 2, 3, 0, 1, 1, 2, 2, 3,
                                                0, 1, 2, 2, 3, 3, 0, 0, 1, 1, 2, 2])})
    write_sheet(HERE, "LtePhse", {"Phse": column(["0x1A2", "0x3C", "0x1A2", "0x3C", "0x20", "0x10", "0x20", "0x10"])})
    write_sheet(HERE, "LteCapacity", {"Capacity": column(["0x3F", "0x1F"])})
    write_sheet(HERE, "LtePwtAndOtherFlags", {
        "2R1TFlagSwitch": [["open"]], "2R1TFlag": [[1]],
        "TxNvFlagSwitch": [["open"]], "TxNvFlag": [["0x1"]],
        "AptUseJ11PinFlagSwitch": [["open"]], "AptUseJ11PinFlag": [["0x0"]],
        "PwtEnSwitch": [["open"]], "PwtEn": [[1]],
        "PwtTable": padded([["1", "0"], ["0", "1"]]),
    })
    write_sheet(HERE, "LteSwitchPaCtrlWord", switch_pa_cells())
    write_sheet(HERE, "LteTmpComp", {"Band": band, "TmpComp": tmp_comp})


if __name__ == "__main__":
    main()
