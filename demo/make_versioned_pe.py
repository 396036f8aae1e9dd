#!/usr/bin/env python3
"""Writes a minimal Windows PE32 file whose version resource carries a given file version.

The demo update site uses it for files whose installed version the updater compares with
the version the server offers. Usage: make_versioned_pe.py OUT 2.1.0.5
"""
import struct
import sys


def version_info(major, minor, release, build):
    key = "VS_VERSION_INFO\0".encode("utf-16-le")
    head_len = 6 + len(key)
    pad = (4 - head_len % 4) % 4
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x00010000,
                        major << 16 | minor, release << 16 | build,   # file version
                        major << 16 | minor, release << 16 | build,   # product version
                        0x3F, 0, 0x00040004, 1, 0, 0, 0)
    total = head_len + pad + len(fixed)
    return struct.pack("<3H", total, len(fixed), 0) + key + b"\0" * pad + fixed


def pe_with_version(version):
    parts = [int(p) for p in version.split(".")]
    data = version_info(*parts)
    rva = 0x1000
    # Resource tree: type 16 (RT_VERSION) -> name 1 -> language 0x409 -> data entry.
    def directory(entry_id, target):
        return struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1) + struct.pack("<II", entry_id, target)
    tree = directory(16, 0x80000000 | 24) + directory(1, 0x80000000 | 48) + directory(0x409, 72)
    data_offset = len(tree) + 16
    tree += struct.pack("<IIII", rva + data_offset, len(data), 0, 0)
    rsrc = tree + data
    raw_size = (len(rsrc) + 0x1FF) & ~0x1FF

    dos = b"MZ" + b"\0" * 58 + struct.pack("<I", 0x40)
    coff = struct.pack("<HHIIIHH", 0x14C, 1, 0, 0, 0, 224, 0x0102)
    data_dirs = [(0, 0)] * 16
    data_dirs[2] = (rva, len(rsrc))
    optional = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 14, 0, 0, raw_size, 0, 0, 0x1000, 0,
                           0x400000, 0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0, 0x2000, 0x200, 0, 2, 0,
                           0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    optional += b"".join(struct.pack("<II", a, s) for a, s in data_dirs)
    section = struct.pack("<8sIIIIIIHHI", b".rsrc", len(rsrc), rva, raw_size, 0x200, 0, 0, 0, 0, 0x40000040)
    headers = dos + b"PE\0\0" + coff + optional + section
    return headers + b"\0" * (0x200 - len(headers)) + rsrc + b"\0" * (raw_size - len(rsrc))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: make_versioned_pe.py OUT MAJOR.MINOR.RELEASE.BUILD")
    with open(sys.argv[1], "wb") as f:
        f.write(pe_with_version(sys.argv[2]))
