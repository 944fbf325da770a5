#!/usr/bin/env python3
"""Tells whether two PE files (DLLs, executables) are the same image.

Usage: scripts/same-pe-image.py A B

Exits 0 when the files are byte for byte equal apart from what the linker
stamps into every link: the time stamp of the file header, the checksum of the
optional header and the time stamp of the export directory. Exits 1 with the
first differing offset otherwise, 2 when a file is not a PE image.
"""
import struct
import sys


def stamped_ranges(image):
    """The (offset, length) ranges of the link stamps in `image`."""
    if image[:2] != b"MZ" or len(image) < 0x40:
        raise ValueError("no DOS header")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    coff = pe + 4
    sections, optional_size = struct.unpack_from("<H12xH", image, coff + 2)
    optional = coff + 20
    magic = struct.unpack_from("<H", image, optional)[0]
    if magic not in (0x10B, 0x20B):  # PE32, PE32+
        raise ValueError("unknown optional header")
    directories = optional + (96 if magic == 0x10B else 112)
    export_rva = struct.unpack_from("<I", image, directories)[0]
    ranges = [(coff + 4, 4), (optional + 64, 4)]
    table = optional + optional_size
    for i in range(sections):
        size, address, _, raw = struct.unpack_from("<IIII", image, table + 40 * i + 8)
        if export_rva and address <= export_rva < address + size:
            ranges.append((raw + export_rva - address + 4, 4))
    return ranges


def normalised(path):
    image = bytearray(open(path, "rb").read())
    for offset, length in stamped_ranges(image):
        image[offset:offset + length] = bytes(length)
    return image


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        first, second = normalised(argv[1]), normalised(argv[2])
    except (OSError, ValueError, struct.error) as error:
        print(f"same-pe-image: {error}", file=sys.stderr)
        return 2
    if first == second:
        return 0
    at = next((i for i, (a, b) in enumerate(zip(first, second)) if a != b),
              min(len(first), len(second)))
    print(f"same-pe-image: {argv[1]} and {argv[2]} differ at byte {at} "
          f"(sizes {len(first)} and {len(second)})", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
