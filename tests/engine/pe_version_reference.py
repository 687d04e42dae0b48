#!/usr/bin/python3
"""Prints the fixed file version of Windows modules as read by pefile, a reader that is not ours.

For each file given: the version "a.b.c.d" of its first VS_FIXEDFILEINFO (an empty field when
pefile finds none or cannot read the file), a tab, and the path. Run with Debian's python
(python3-pefile).
"""

import sys

import pefile


def file_version(path):
    try:
        pe = pefile.PE(path, fast_load=True)
        pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    except Exception:  # noqa: BLE001 - any file pefile cannot read has no version here
        return ""
    infos = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not infos:
        return ""
    info = infos[0]
    if info.Signature != 0xFEEF04BD:
        return ""
    ms, ls = info.FileVersionMS, info.FileVersionLS
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def main(paths):
    for path in paths:
        print("%s\t%s" % (file_version(path), path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
