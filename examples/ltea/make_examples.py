#!/usr/bin/env python3
"""Generates the LTE-A example NV image and the example sheet files.

The image holds the LTE-A NV head (13076 bytes) and its 2-byte end marker,
with the band list 1, 3, 7, 20, 38, 40, 41 already in slots 0-6 so that the
temperature compensation sheet matches it in any job order.
"""
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent
BANDS = [1, 3, 7, 20, 38, 40, 41]
SLOTS = 16


def band_record(slot):
    return 440 + 780 * slot


def make_image():
    image = bytearray(13078)
    struct.pack_into("<I", image, 436, 16)
    for slot, band in enumerate(BANDS):
        struct.pack_into("<I", image, band_record(slot), band)
    struct.pack_into("<H", image, 13076, 0x5248)
    (HERE / "nv.bin").write_bytes(bytes(image))


def sheet(name, ranges):
    lines = [f"#sheet,{name}"]
    for range_name, rows in ranges:
        lines.append(f"#range,{range_name}")
        lines.extend(",".join(str(c) for c in row) for row in rows)
    (HERE / f"{name}.csv").write_text("\n".join(lines) + "\n")


def column(values):
    return [[v] for v in values]


def switch_pa_rows():
    truth = [["X"] * 128 for _ in range(19)]
    for slot in range(len(BANDS)):
        for state in range(8):
            col = 8 * slot + state
            if state < 4:
                # PA states: PA enable on GPIO_GROUP0 line 0, gain mode on lines 1-2, one MIPI word.
                truth[0][col] = "1"
                truth[1][col] = "1" if state & 1 else "0"
                truth[2][col] = "1" if state & 2 else "0"
                truth[15][col] = f"0x{0x1C3800 + 0x10 * slot + state:x}"
            else:
                # Switch states: antenna switch on GPIO_GROUP0 lines 4-6, LNA on GPIO_GROUP1 line 0.
                s = state - 4
                truth[4][col] = "1" if s == 0 else "0"
                truth[5][col] = "1" if s == 1 else "0"
                truth[6][col] = "1" if s >= 2 else "0"
                truth[11][col] = "1" if s == 3 else "0"
    timing = [[(-10 * j + 2 * k if k < len(BANDS) else 0) for k in range(SLOTS)] for j in range(4)]
    bands = [[*(str(b) for b in BANDS), *(["X"] * (SLOTS - len(BANDS)))]]
    return [("MipiSel", [["0"]]), ("BandInfoMain", bands), ("TruthTable", truth), ("PaTimingOffset", timing)]


def tmp_comp_rows():
    bands = [[*(str(b) for b in BANDS), *(["X"] * (SLOTS - len(BANDS)))]]
    table = []
    for r in range(60):
        row = []
        for slot in range(SLOTS):
            if slot < len(BANDS):
                row += [-40 + 3 * r, (r - 20) * (slot + 1) // 2]
            else:
                row += ["X", "X"]  # columns past the listed bands are not read
        table.append(row)
    return [("Band", bands), ("TmpComp", table)]


def tx_ant_rows():
    rows = [["X", "X"] for _ in range(15)]
    rows[2] = ["1", "0"]
    rows[3] = ["0", "1"]
    return [("TxAntSelect", rows)]


def main():
    make_image()
    sheet("LteaFilter", [("Filter", column([120, 95, 300, 250, 18, 7]))])
    sheet("LteaFlags", [("TxNvFlagSwitch", [["open"]]), ("TxNvFlag", [["0x3"]]),
                        ("TxPowerESFSwitch", [["open"]]), ("TxPowerESF", [["0x1f4"]])])
    sheet("LteaMpr", [("Mpr", column([8 * (i % 4) - (8 if i % 7 == 6 else 0) for i in range(42)]))])
    sheet("LteaPcScale", [("PcScaleSwitch", [["1"]]), ("PcScale", column([1024 - 12 * i for i in range(17)]))])
    sheet("LteaPhse", [("Phse", column(["0x1a2b", "0x2b3c", "0x3c4d", "0x4d5e"]))])
    sheet("LteaCapacity", [("Capacity", column(["0x12", "0x34", "0x56", "0x78"]))])
    sheet("LteaSwitchPaCtrlWord", switch_pa_rows())
    sheet("LteaTmpComp", tmp_comp_rows())
    sheet("LteaTxAntSelect", tx_ant_rows())


if __name__ == "__main__":
    main()
