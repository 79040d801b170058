#!/usr/bin/python3
"""Sets the mode of every member of an ar archive (a .deb) to 0644, in place:
CPack writes the modes its files got from the umask.

Usage: ar_modes.py FILE
"""
import sys

MAGIC = b"!<arch>\n"
HEADER = 60
MODE_AT, MODE_SIZE = 40, 8
SIZE_AT, SIZE_SIZE = 48, 10


def main():
    path = sys.argv[1]
    with open(path, "r+b") as archive:
        data = bytearray(archive.read())
        if not data.startswith(MAGIC):
            sys.exit(f"ar_modes.py: {path} is no ar archive")
        at = len(MAGIC)
        while at + HEADER <= len(data):
            data[at + MODE_AT:at + MODE_AT + MODE_SIZE] = b"100644".ljust(MODE_SIZE)
            size = int(data[at + SIZE_AT:at + SIZE_AT + SIZE_SIZE].decode().strip())
            at += HEADER + size + size % 2
        archive.seek(0)
        archive.write(data)


if __name__ == "__main__":
    main()
