#!/usr/bin/env python3
"""Writes the small DNG files of the decoder tests (no camera makes files this small).

make_dng.py OUT_FOLDER PREVIEW.jpg

The sensor data is 64 x 48, 12 bits in 16-bit samples, an RGGB mosaic: the left half
is red, the right half blue. Camera colour is linear sRGB (ColorMatrix1 is the
XYZ-to-sRGB matrix), neutral white balance.

  raw-preview.dng  IFD0 holds PREVIEW.jpg as a full-size JPEG preview (the test
                   makes it green, so a decoder that used it is easy to tell),
                   the sensor data sits in a sub-IFD.
  raw-cut-preview.dng  the same with the preview cut short inside its scan data
                   (the JPEG runs out three quarters through).
  raw-rotated.dng  only the sensor data, in IFD0, with Orientation 6 (turn 90
                   degrees clockwise to show it upright).
"""
import struct
import sys

WIDTH, HEIGHT = 64, 48
WHITE = 4095
BYTE, ASCII, SHORT, LONG, RATIONAL, SRATIONAL = 1, 2, 3, 4, 5, 10
XYZ_TO_SRGB = [3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570]


def mosaic():
    out = bytearray()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            r, g, b = (3500, 300, 300) if x < WIDTH // 2 else (300, 300, 3500)
            colour = (r, g) if y % 2 == 0 else (g, b)
            out += struct.pack('<H', colour[x % 2])
    return bytes(out)


class Tiff:
    """A little-endian TIFF assembled in memory: IFDs are laid out in the order added."""

    def __init__(self):
        self.data = bytearray(b'II*\0' + struct.pack('<I', 8))

    def add_blob(self, blob):
        if len(self.data) % 2:
            self.data += b'\0'
        offset = len(self.data)
        self.data += blob
        return offset

    def add_ifd(self, entries):
        """entries: (tag, type, values); returns the IFD's offset and, per tag, where
        its first value is stored (so that a pointer can be filled in later)."""
        if len(self.data) % 2:
            self.data += b'\0'
        entries = sorted(entries)
        offset = len(self.data)
        size = 2 + 12 * len(entries) + 4
        extra_at = offset + size
        body = bytearray(struct.pack('<H', len(entries)))
        extra = bytearray()
        where = {}
        for tag, kind, values in entries:
            if kind == ASCII:
                raw = values.encode() + b'\0'
                count = len(raw)
            elif kind == BYTE:
                raw, count = bytes(values), len(values)
            elif kind == SHORT:
                raw, count = struct.pack('<%dH' % len(values), *values), len(values)
            elif kind == LONG:
                raw, count = struct.pack('<%dI' % len(values), *values), len(values)
            elif kind == RATIONAL:
                raw = b''.join(struct.pack('<II', round(v * 10000), 10000) for v in values)
                count = len(values)
            else:
                raw = b''.join(struct.pack('<ii', round(v * 10000), 10000) for v in values)
                count = len(values)
            if len(raw) <= 4:
                field = raw.ljust(4, b'\0')
                where[tag] = offset + len(body) + 8
            else:
                field = struct.pack('<I', extra_at + len(extra))
                extra += raw
                if len(extra) % 2:
                    extra += b'\0'
            body += struct.pack('<HHI', tag, kind, count) + field
        body += struct.pack('<I', 0)
        self.data += body + extra
        return offset, where

    def patch(self, at, value):
        struct.pack_into('<I', self.data, at, value)


def dng_tags(orientation):
    return [(274, SHORT, [orientation]), (271, ASCII, 'Tallowin'), (272, ASCII, 'Test camera'),
            (50706, BYTE, [1, 4, 0, 0]), (50707, BYTE, [1, 1, 0, 0]), (50708, ASCII, 'Tallowin Test camera'),
            (50721, SRATIONAL, XYZ_TO_SRGB), (50778, SHORT, [21]), (50728, RATIONAL, [1.0, 1.0, 1.0])]


def raw_tags(strip_offset, subfile):
    return [(254, LONG, [subfile]), (256, LONG, [WIDTH]), (257, LONG, [HEIGHT]), (258, SHORT, [16]),
            (259, SHORT, [1]), (262, SHORT, [32803]), (273, LONG, [strip_offset]), (277, SHORT, [1]),
            (278, LONG, [HEIGHT]), (279, LONG, [WIDTH * HEIGHT * 2]), (284, SHORT, [1]),
            (33421, SHORT, [2, 2]), (33422, BYTE, [0, 1, 1, 2]), (50714, LONG, [0]), (50717, LONG, [WHITE])]


def with_preview(preview):
    tiff = Tiff()
    _, ifd0 = tiff.add_ifd([(254, LONG, [1]), (256, LONG, [WIDTH]), (257, LONG, [HEIGHT]), (258, SHORT, [8, 8, 8]),
                            (259, SHORT, [7]), (262, SHORT, [6]), (273, LONG, [0]), (277, SHORT, [3]),
                            (278, LONG, [HEIGHT]), (279, LONG, [len(preview)]), (284, SHORT, [1]),
                            (330, LONG, [0])] + dng_tags(1))
    sensor = tiff.add_blob(mosaic())
    sub, sub_fields = tiff.add_ifd(raw_tags(0, 0))
    tiff.patch(sub_fields[273], sensor)
    tiff.patch(ifd0[273], tiff.add_blob(preview))
    tiff.patch(ifd0[330], sub)
    return bytes(tiff.data)


def rotated():
    tiff = Tiff()
    _, ifd0 = tiff.add_ifd(raw_tags(0, 0) + dng_tags(6))
    tiff.patch(ifd0[273], tiff.add_blob(mosaic()))
    return bytes(tiff.data)


if __name__ == '__main__':
    folder, preview = sys.argv[1], open(sys.argv[2], 'rb').read()
    open(folder + '/raw-preview.dng', 'wb').write(with_preview(preview))
    open(folder + '/raw-cut-preview.dng', 'wb').write(with_preview(preview[:len(preview) * 3 // 4]))
    open(folder + '/raw-rotated.dng', 'wb').write(rotated())
