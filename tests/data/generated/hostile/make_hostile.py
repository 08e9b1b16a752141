#!/usr/bin/env python3
"""Writes the crafted files of this folder: tiny files whose headers claim huge
pictures, and small files whose data is damaged in ways a library may pass over.

Run from anywhere: python3 make_hostile.py [output folder]. The output is the same
on every run (no randomness), so the checked-in files can be compared with it.
"""
import os
import struct
import sys
import zlib

SIDE = 22000  # 484 megapixels: under the 500-megapixel cap, 1.9 GB as 32-bit pixels
OVER = 30000  # 900 megapixels: over the cap


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def huge_png(side=SIDE):
    # 8-bit RGB with a single short deflate stream: it inflates to about a hundred bytes.
    ihdr = struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)
    idat = zlib.compress(b"\0" * 64, 9)
    return b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", idat) + png_chunk(b"IEND", b"")


def huge_gif(side=SIDE):
    screen = b"GIF89a" + struct.pack("<HHBBB", side, side, 0x80, 0, 0)  # 2-colour global table
    colours = b"\x00\x00\x00\xff\xff\xff"
    image = b"\x2c" + struct.pack("<HHHHB", 0, 0, side, side, 0)
    lzw = b"\x02" + b"\x02\x4c\x01" + b"\x00"  # minimum code size 2, one 2-byte block, end
    return screen + colours + image + lzw + b"\x3b"


def tiff(entries, data=b"", data_at=None):
    """A little-endian TIFF with one IFD right after the header and `data` after it.
    entries: (tag, type, value); type 3 = SHORT, 4 = LONG. A value of None for tag 273
    (StripOffsets) is replaced by the offset of `data`."""
    ifd_size = 2 + 12 * len(entries) + 4
    offset = 8 + ifd_size if data_at is None else data_at
    out = b"II*\0" + struct.pack("<I", 8) + struct.pack("<H", len(entries))
    for tag, kind, value in sorted(entries):
        if value is None:
            value = offset
        packed = struct.pack("<HH", value, 0) if kind == 3 else struct.pack("<I", value)
        out += struct.pack("<HHI", tag, kind, 1) + packed
    return out + struct.pack("<I", 0) + data


def huge_tiff(side=SIDE):
    # Uncompressed 8-bit grey in one strip that the file does not hold: 122 bytes.
    return tiff([(256, 4, side), (257, 4, side), (258, 3, 8), (259, 3, 1), (262, 3, 1),
                 (273, 4, 8), (277, 3, 1), (278, 4, side), (279, 4, side * side)])


def huge_rle8_bmp(side=SIDE):
    palette = b"".join(struct.pack("<BBBB", i, i, i, 0) for i in range(256))
    rle = b"\x00\x01"  # end of bitmap straight away
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 8, 1, len(rle), 2835, 2835, 256, 0)
    header = b"BM" + struct.pack("<IHHI", offset + len(rle), 0, 0, offset)
    return header + info + palette + rle


def jpeg_segment(marker, payload):
    return b"\xff" + bytes([marker]) + struct.pack(">H", len(payload) + 2) + payload


def huge_progressive_jpeg(side=SIDE):
    # Progressive 4:2:0 colour, one DC scan whose Huffman table has a single 1-bit code.
    dqt = jpeg_segment(0xDB, b"\x00" + b"\x01" * 64)
    sof2 = jpeg_segment(0xC2, struct.pack(">BHHB", 8, side, side, 3) + b"\x01\x22\x00\x02\x11\x00\x03\x11\x00")
    dht = jpeg_segment(0xC4, b"\x00" + b"\x01" + b"\x00" * 15 + b"\x00")
    sos = jpeg_segment(0xDA, b"\x03\x01\x00\x02\x00\x03\x00\x00\x00\x00")
    return b"\xff\xd8" + dqt + sof2 + dht + sos + b"\x00" * 64 + b"\xff\xd9"


def unknown_compression_tiff():
    # 16 x 16 grey whose coding (60000) no library knows.
    data = bytes(range(256))
    return tiff([(256, 4, 16), (257, 4, 16), (258, 3, 8), (259, 3, 60000), (262, 3, 1),
                 (273, 4, None), (277, 3, 1), (278, 4, 16), (279, 4, len(data))], data)


def broken_fax_tiff():
    # 64 x 64 bilevel, CCITT group 4, strip bytes that are no valid code words.
    data = bytes([0x00, 0x01, 0x00, 0x01] * 16)
    return tiff([(256, 4, 64), (257, 4, 64), (258, 3, 1), (259, 3, 4), (262, 3, 0),
                 (273, 4, None), (277, 3, 1), (278, 4, 64), (279, 4, len(data))], data)


def icon_without_mask():
    # One 16 x 16 24-bit entry whose colour rows are all there but whose AND mask is cut off.
    side = 16
    rows = b"".join(bytes([(x * 16) % 256, (y * 16) % 256, 128]) for y in range(side) for x in range(side))
    info = struct.pack("<IiiHHIIiiII", 40, side, side * 2, 1, 24, 0, 0, 0, 0, 0, 0)
    image = info + rows
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", side, side, 0, 0, 1, 24,
                                                            len(image) + side * 4, 6 + 16)
    return directory + image


FILES = {
    "huge_22000.png": huge_png,
    "huge_22000.gif": huge_gif,
    "huge_22000.tif": huge_tiff,
    "huge_22000_rle8.bmp": huge_rle8_bmp,
    "huge_22000_progressive.jpg": huge_progressive_jpeg,
    "over_limit_30000.png": lambda: huge_png(OVER),
    "over_limit_30000.gif": lambda: huge_gif(OVER),
    "over_limit_30000.tif": lambda: huge_tiff(OVER),
    "over_limit_30000_rle8.bmp": lambda: huge_rle8_bmp(OVER),
    "over_limit_30000.jpg": lambda: huge_progressive_jpeg(OVER),
    "unknown_compression.tif": unknown_compression_tiff,
    "broken_fax.tif": broken_fax_tiff,
    "mask_cut_off.ico": icon_without_mask,
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, make in FILES.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(make())


if __name__ == "__main__":
    main()
