#!/usr/bin/env python3
"""Generates the GSM example NV image and the example sheet files.

The image is 8192 zero bytes: it covers every GSM block (the last one, the RX
temperature compensation, ends at 0x1BA0).
"""
import math
from pathlib import Path

HERE = Path(__file__).resolve().parent
IMAGE_SIZE = 8192


def sheet(name, ranges):
    lines = [f"#sheet,{name}"]
    for range_name, rows in ranges:
        lines.append(f"#range,{range_name}")
        lines.extend(",".join(str(c) for c in row) for row in rows)
    (HERE / f"{name}.csv").write_text("\n".join(lines) + "\n")


def switch_pa():
    # 13 radio states: TX of GSM850/900/DCS/PCS (low/high band PA), RX of
    # the four bands, and standby/idle states. Lines 0-10 of the front end.
    states = [
        ("10000000011", 0x1C01, None), ("10000000101", 0x1C02, None),
        ("01000001001", 0x1C03, None), ("01000010001", 0x1C04, None),
        ("00100000000", 0x1C05, 0x2E01), ("00100000000", 0x1C06, 0x2E02),
        ("00010000000", 0x1C07, 0x2E03), ("00010000000", 0x1C08, 0x2E04),
        ("00001000000", 0x1C09, 0x2E05), ("00001000000", 0x1C0A, 0x2E06),
        ("00000100000", 0x1C0B, 0x2E07), ("00000000000", 0x1C00, 0x2E00),
        ("00000000000", 0x1C00, 0x2E00),
    ]
    truth = []
    for lines, word1, word2 in states:
        row = list(lines)
        row.append(f"0x{word1:x}")
        row.append("X" if word2 is None else f"0x{word2:x}")
        row += ["X", "X"]
        truth.append(row)
    sheet("GsmSwitchPaCtrlWord", [
        ("PaOff4G", [["0x1c38"]]),
        ("PaSwitchConfig", [["2", "1", "1", "0", "40"]]),
        ("TruthTable", truth),
    ])


def tmp_comp():
    intervals = [-30, -20, -10, 0, 10, 20, 25, 30, 40, 50, 60, 70, 80, 85, 90]
    ranges = [("TempInterval", [[str(t) for t in intervals]])]
    for table in range(8):
        rows = []
        for m in range(20):
            # Compensation grows away from room temperature (interval 6, 25 C).
            rows.append([str((k - 6) * (table + 1) // 2 + (m % 5) - 2) for k in range(15)])
        ranges.append((f"Tx{table + 1}", rows))
    ranges.append(("Rx", [[str((k - 6) // 2 + r) for k in range(15)] for r in range(4)]))
    sheet("GsmTmpComp", ranges)


def ramp_ctrl():
    ramp_time = [["16", "20"], ["18", "22"], ["17", "21"], ["19", "23"]]
    backoff = [[str(slot * 2 + band) for band in range(4)] for slot in range(8)]
    # 16 ramp shapes (one per column) of 18 points: raised cosine to the
    # shape's top value.
    tops = [200 + 50 * o for o in range(16)]
    data = [[str(round(tops[o] * (1 - math.cos(math.pi * i / 17)) / 2)) for o in range(16)] for i in range(18)]
    sheet("GsmRampCtrl", [("RampTime", ramp_time), ("MultiSlotBackoff", backoff), ("RampData", data)])


if __name__ == "__main__":
    (HERE / "nv.bin").write_bytes(bytes(IMAGE_SIZE))
    switch_pa()
    tmp_comp()
    ramp_ctrl()
