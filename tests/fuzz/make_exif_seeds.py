#!/usr/bin/env python3
"""Writes the EXIF fuzz target's seed inputs: APP1 bodies ("Exif\\0\\0" and a TIFF
structure) in both byte orders, with every orientation, resolutions in inches and
centimetres, and a few damaged variants.

usage: make_exif_seeds.py OUTPUT_FOLDER
"""
import os
import struct
import sys


def block(order, entries, extra=b"", ifd_at=8):
    """An APP1 body with one IFD at `ifd_at`; entries are (tag, type, count, value bytes)."""
    e = "<" if order == b"II" else ">"
    tiff = order + struct.pack(e + "HI", 42, ifd_at)
    tiff += b"\0" * (ifd_at - len(tiff))
    data_at = ifd_at + 2 + 12 * len(entries) + 4
    body = struct.pack(e + "H", len(entries))
    out_of_line = b""
    for tag, typ, count, value in entries:
        if len(value) > 4:
            body += struct.pack(e + "HHII", tag, typ, count, data_at + len(out_of_line))
            out_of_line += value
        else:
            body += struct.pack(e + "HHI", tag, typ, count) + value.ljust(4, b"\0")
    body += b"\0\0\0\0"
    return b"Exif\0\0" + tiff + body + out_of_line + extra


def seeds():
    for order in (b"II", b"MM"):
        e = "<" if order == b"II" else ">"
        short = lambda v: struct.pack(e + "H", v)
        rational = lambda n, d: struct.pack(e + "II", n, d)
        for orientation in range(0, 10):
            yield f"orientation{orientation}", order, block(order, [(0x0112, 3, 1, short(orientation))])
        yield "res_inch", order, block(order, [
            (0x0112, 3, 1, short(6)), (0x011A, 5, 1, rational(300, 1)),
            (0x011B, 5, 1, rational(72, 1)), (0x0128, 3, 1, short(2))])
        yield "res_cm", order, block(order, [
            (0x011A, 5, 1, rational(118, 1)), (0x011B, 5, 1, rational(118, 1)), (0x0128, 3, 1, short(3))])
        yield "res_zero_den", order, block(order, [(0x011A, 5, 1, rational(300, 0))])
        yield "long_orientation", order, block(order, [(0x0112, 4, 1, struct.pack(e + "I", 8))])
        full = block(order, [(0x0112, 3, 1, short(3)), (0x011A, 5, 1, rational(96, 1))])
        yield "cut", order, full[:len(full) - 6]
        yield "ifd_past_end", order, block(order, [(0x0112, 3, 1, short(5))], ifd_at=8)[:14] + b"\xff" * 4


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, order, data in seeds():
        with open(os.path.join(out, f"{order.decode().lower()}_{name}.bin"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
