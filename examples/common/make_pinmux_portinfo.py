#!/usr/bin/env python3
"""Generates the example sheet files of the pin multiplexing/MIPI init and
port info sheets (they write into the common example image, nv.bin)."""
from pathlib import Path

HERE = Path(__file__).resolve().parent


def sheet(name, ranges):
    lines = [f"#sheet,{name}"]
    for range_name, rows in ranges:
        lines.append(f"#range,{range_name}")
        lines.extend(",".join(str(c) for c in row) for row in rows)
    (HERE / f"{name}.csv").write_text("\n".join(lines) + "\n")


ABSENT = ["X", "X", "X"]


def devices(rows):
    return rows + [ABSENT] * (6 - len(rows))


def pin_mux():
    # Bus 0: a PA module and two antenna switches that both ship with USID 7
    # (the second one is given a new USID); bus 1: a diversity switch.
    bus0 = [["0x85", "0x10", "0x2F"], ["0x1B", "0x2A", "0x07"], ["0x1C", "0x2A", "0x07"]]
    bus1 = [["0x30", "0xC5", "0x0B"]]
    sheet("PinMuxMipiInit", [
        ("PinMux", [["MIPI MODE", "SIM FUNC"]]),
        ("Mipi0Devices", devices(bus0)),
        ("Mipi1Devices", devices(bus1)),
    ])


def port_info():
    used = [
        ["Support", "LB1", "LB1", "LB4"], ["Support", "LB2", "LB2", "LB4"], ["Support", "LB3", "LB3", "LB4"],
        ["Support", "MB1", "MB1", "MB4"], ["Support", "MB1", "MB2", "MB4"], ["Support", "MB2", "MB3", "MB5"],
        ["Support", "HB1", "HB1", "HB3"], ["Support", "HB2", "HB2", "HB3"],
    ]
    rows = used + [["X", "X", "X", "X"]] * (80 - len(used))
    sheet("PortInfo", [("CaSupport", [["Support"]]), ("PortInfo", rows)])


if __name__ == "__main__":
    pin_mux()
    port_info()
