#!/usr/bin/env python3
"""Generates the GSM example NV image and the example sheet files.

The image is 8192 zero bytes: it covers every GSM block (the last one, the RX
temperature compensation, ends at 0x1BA0).
"""
import math
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.dont_write_bytecode = True  # no cache directory beside the example files
sys.path.insert(0, str(HERE.parent))
from sheetfile import padded, shape, shapes, write_sheet  # noqa: E402

IMAGE_SIZE = 8192
TX_TABLE_PREFIX = "Tx"
ROOM_INTERVAL = 6  # the temperature interval of 25 C


def switch_pa():
    # One row per radio state: TX of GSM850/900/DCS/PCS (low/high band PA),
    # RX of the four bands, and standby/idle states. Lines 0-10 of the front
    # end, then the control words; the cells after them are not used.
    states = [
        ("10000000011", 0x1C01, None), ("10000000101", 0x1C02, None),
        ("01000001001", 0x1C03, None), ("01000010001", 0x1C04, None),
        ("00100000000", 0x1C05, 0x2E01), ("00100000000", 0x1C06, 0x2E02),
        ("00010000000", 0x1C07, 0x2E03), ("00010000000", 0x1C08, 0x2E04),
        ("00001000000", 0x1C09, 0x2E05), ("00001000000", 0x1C0A, 0x2E06),
        ("00000100000", 0x1C0B, 0x2E07), ("00000000000", 0x1C00, 0x2E00),
        ("00000000000", 0x1C00, 0x2E00),
    ]
    truth = [[*lines, f"0x{word1:x}", "X" if word2 is None else f"0x{word2:x}"] for lines, word1, word2 in states]
    write_sheet(HERE, "GsmSwitchPaCtrlWord", {
        "PaOff4G": [["0x1c38"]],
        "PaSwitchConfig": [["2", "1", "1", "0", "40"]],
        "TruthTable": padded(truth),
    })


def tx_table(table):
    # Compensation grows away from room temperature.
    return lambda m, k: (k - ROOM_INTERVAL) * (table + 1) // 2 + (m % 5) - 2


def tmp_comp():
    intervals = [-30, -20, -10, 0, 10, 20, 25, 30, 40, 50, 60, 70, 80, 85, 90]
    cells = {"TempInterval": [intervals], "Rx": lambda r, k: (k - ROOM_INTERVAL) // 2 + r}
    for name, _, _ in shapes("GsmTmpComp"):
        if name.startswith(TX_TABLE_PREFIX):
            cells[name] = tx_table(int(name[len(TX_TABLE_PREFIX):]) - 1)
    write_sheet(HERE, "GsmTmpComp", cells)


def ramp_ctrl():
    ramp_time = [["16", "20"], ["18", "22"], ["17", "21"], ["19", "23"]]
    # One ramp shape per column over the range's points: raised cosine to the
    # shape's top value.
    points, _ = shape("GsmRampCtrl", "RampData")

    def ramp(i, o):
        top = 200 + 50 * o
        return round(top * (1 - math.cos(math.pi * i / (points - 1))) / 2)

    write_sheet(HERE, "GsmRampCtrl", {
        "RampTime": ramp_time,
        "MultiSlotBackoff": lambda slot, band: slot * 2 + band,
        "RampData": ramp,
    })


if __name__ == "__main__":
    (HERE / "nv.bin").write_bytes(bytes(IMAGE_SIZE))
    switch_pa()
    tmp_comp()
    ramp_ctrl()
