#!/usr/bin/env python3
"""Converts 24-bit uncompressed BMP files (as win_ui_driver writes them) to PNG, with the
standard library only.   bmp_to_png.py IN.bmp OUT.png"""
import struct
import sys
import zlib


def convert(source, target):
    with open(source, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24:
        sys.exit(f"{source}: {bits}-bit BMP, only 24-bit is handled")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        # Bottom-up unless the height is negative; pixels are blue, green, red.
        row = offset + (abs(height) - 1 - y if height > 0 else y) * stride
        bgr = data[row:row + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    with open(target, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    convert(sys.argv[1], sys.argv[2])
