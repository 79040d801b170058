#!/usr/bin/python3
"""Sets every time in an installer's summary information (created, last saved,
last printed) to EPOCH, seconds since 1970: wixl writes the time it runs, and
the build's clock may be anything.

Usage: msi_times.py FILE.msi EPOCH
"""
import struct
import sys

import olefile

STREAM = "\x05SummaryInformation"
VT_FILETIME = 64
SECONDS_1601_TO_1970 = 11644473600


def main():
    path, epoch = sys.argv[1], int(sys.argv[2])
    filetime = (epoch + SECONDS_1601_TO_1970) * 10_000_000
    with olefile.OleFileIO(path, write_mode=True) as msi:
        data = bytearray(msi.openstream(STREAM).read())
        # A property set: a 28-byte header with the count of sections, then
        # each section's format id and offset; a section holds its size, the
        # count of its properties, and each property's id and offset, where
        # the value follows its 4-byte type.
        (sections,) = struct.unpack_from("<I", data, 24)
        changed = 0
        for section in range(sections):
            (start,) = struct.unpack_from("<I", data, 28 + 20 * section + 16)
            (count,) = struct.unpack_from("<I", data, start + 4)
            for index in range(count):
                _, where = struct.unpack_from("<II", data, start + 8 + 8 * index)
                (kind,) = struct.unpack_from("<H", data, start + where)
                if kind == VT_FILETIME:
                    struct.pack_into("<Q", data, start + where + 4, filetime)
                    changed += 1
        if changed == 0:
            sys.exit(f"msi_times.py: no time in the summary information of {path}")
        msi.write_stream(STREAM, bytes(data))


if __name__ == "__main__":
    main()
