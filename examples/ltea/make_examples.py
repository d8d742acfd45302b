#!/usr/bin/env python3
"""Generates the LTE-A example NV image and the example sheet files.

The image holds the LTE-A NV head (13076 bytes) and its 2-byte end marker,
with the band list 1, 3, 7, 20, 38, 40, 41 already in slots 0-6 so that the
temperature compensation sheet matches it in any job order.
"""
import struct
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.dont_write_bytecode = True  # no cache directory beside the example files
sys.path.insert(0, str(HERE.parent))
from sheetfile import padded, shape, write_sheet  # noqa: E402

BANDS = [1, 3, 7, 20, 38, 40, 41]
IMAGE_SLOTS = 16
# The truth table has one column per band slot and state: 4 PA states, then
# 4 switch states.
SLOT_STATES = 8
PA_STATES = 4
VALUES_PER_SLOT = 2


def band_record(slot):
    return 440 + 780 * slot


def make_image():
    image = bytearray(13078)
    struct.pack_into("<I", image, 436, IMAGE_SLOTS)
    for slot, band in enumerate(BANDS):
        struct.pack_into("<I", image, band_record(slot), band)
    struct.pack_into("<H", image, 13076, 0x5248)
    (HERE / "nv.bin").write_bytes(bytes(image))


def column(values):
    return [[v] for v in values]


def band(_, slot):
    return BANDS[slot] if slot < len(BANDS) else "X"


def switch_pa_cells():
    rows, cols = shape("LteaSwitchPaCtrlWord", "TruthTable")
    truth = [["X"] * cols for _ in range(rows)]
    for slot in range(len(BANDS)):
        for state in range(SLOT_STATES):
            col = SLOT_STATES * slot + state
            if state < PA_STATES:
                # PA states: PA enable on GPIO_GROUP0 line 0, gain mode on lines 1-2, one MIPI word.
                truth[0][col] = "1"
                truth[1][col] = "1" if state & 1 else "0"
                truth[2][col] = "1" if state & 2 else "0"
                truth[15][col] = f"0x{0x1C3800 + 0x10 * slot + state:x}"
            else:
                # Switch states: antenna switch on GPIO_GROUP0 lines 4-6, LNA on GPIO_GROUP1 line 0.
                s = state - PA_STATES
                truth[4][col] = "1" if s == 0 else "0"
                truth[5][col] = "1" if s == 1 else "0"
                truth[6][col] = "1" if s >= 2 else "0"
                truth[11][col] = "1" if s == 3 else "0"
    return {
        "MipiSel": [["0"]],
        "BandInfoMain": band,
        "TruthTable": truth,
        "PaTimingOffset": lambda j, k: -10 * j + 2 * k if k < len(BANDS) else 0,
    }


def tmp_comp(r, c):
    slot, value = divmod(c, VALUES_PER_SLOT)
    if slot >= len(BANDS):
        return "X"  # columns past the listed bands are not read
    return (-40 + 3 * r, (r - 20) * (slot + 1) // 2)[value]


def main():
    make_image()
    write_sheet(HERE, "LteaFilter", {"Filter": column([120, 95, 300, 250, 18, 7])})
    write_sheet(HERE, "LteaFlags", {"TxNvFlagSwitch": [["open"]], "TxNvFlag": [["0x3"]],
                                    "TxPowerESFSwitch": [["open"]], "TxPowerESF": [["0x1f4"]]})
    write_sheet(HERE, "LteaMpr", {"Mpr": lambda i, _: 8 * (i % 4) - (8 if i % 7 == 6 else 0)})
    write_sheet(HERE, "LteaPcScale", {"PcScaleSwitch": [["1"]], "PcScale": lambda i, _: 1024 - 12 * i})
    write_sheet(HERE, "LteaPhse", {"Phse": column(["0x1a2b", "0x2b3c", "0x3c4d", "0x4d5e"])})
    write_sheet(HERE, "LteaCapacity", {"Capacity": column(["0x12", "0x34", "0x56", "0x78"])})
    write_sheet(HERE, "LteaSwitchPaCtrlWord", switch_pa_cells())
    write_sheet(HERE, "LteaTmpComp", {"Band": band, "TmpComp": tmp_comp})
    write_sheet(HERE, "LteaTxAntSelect", {"TxAntSelect": padded({2: ["1", "0"], 3: ["0", "1"]})})


if __name__ == "__main__":
    main()
