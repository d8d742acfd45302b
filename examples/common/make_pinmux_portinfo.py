#!/usr/bin/env python3
"""Generates the example sheet files of the pin multiplexing/MIPI init and
port info sheets (they write into the common example image, nv.bin)."""
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.dont_write_bytecode = True  # no cache directory beside the example files
sys.path.insert(0, str(HERE.parent))
from sheetfile import padded, write_sheet  # noqa: E402


def pin_mux():
    # Bus 0: a PA module and two antenna switches that both ship with USID 7
    # (the second one is given a new USID); bus 1: a diversity switch. The
    # other device slots are absent.
    bus0 = [["0x85", "0x10", "0x2F"], ["0x1B", "0x2A", "0x07"], ["0x1C", "0x2A", "0x07"]]
    bus1 = [["0x30", "0xC5", "0x0B"]]
    write_sheet(HERE, "PinMuxMipiInit", {
        "PinMux": [["MIPI MODE", "SIM FUNC"]],
        "Mipi0Devices": padded(bus0),
        "Mipi1Devices": padded(bus1),
    })


def port_info():
    used = [
        ["Support", "LB1", "LB1", "LB4"], ["Support", "LB2", "LB2", "LB4"], ["Support", "LB3", "LB3", "LB4"],
        ["Support", "MB1", "MB1", "MB4"], ["Support", "MB1", "MB2", "MB4"], ["Support", "MB2", "MB3", "MB5"],
        ["Support", "HB1", "HB1", "HB3"], ["Support", "HB2", "HB2", "HB3"],
    ]
    write_sheet(HERE, "PortInfo", {"CaSupport": [["Support"]], "PortInfo": padded(used)})


if __name__ == "__main__":
    pin_mux()
    port_info()
