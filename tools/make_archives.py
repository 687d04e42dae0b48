#!/usr/bin/python3
"""Writes the three plug-in archives that the installer carries: vst3.zip,
clap.zip and aax.zip.

They are stand-ins for the product's deliverables with the exact entry layout
of the real ones: the same names (backslash separators, folder entries ending
in a backslash), order, methods and time stamps. The ZIP records are written
here field by field so that nothing varies: version made by and version needed
2.0 on MS-DOS, general-purpose flags 0, no extra fields, no comments, no data
descriptors, no ZIP64, external attributes 0, date 2026-04-26. A rerun gives
the same bytes.

The plug-in modules are small Windows x64 DLLs with file version 4.0.2.0,
made by pe_module.py beside this file.

Usage:
    make_archives.py [--out DIR]   write the archives (default: resources/)
    make_archives.py --check       rebuild in a temporary folder and compare
                                   byte for byte with the committed archives;
                                   exit 1 on any difference
"""

import argparse
import hashlib
import json
import math
import os
import struct
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_module  # noqa: E402

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RESOURCES_DIR = os.path.join(REPO_ROOT, "resources")

PRODUCT = "Morvane4"
MAKER = "Tarnwick"
PRODUCT_VERSION = "4.0.2"
MODULE_VERSION = "4.0.2.0"
ARCHIVE_DATE = (2026, 4, 26)

ARCHIVE_NAMES = ("vst3.zip", "clap.zip", "aax.zip")

DESKTOP_INI = b"[.ShellClassInfo]\r\nIconResource=Plugin.ico,0\r\nIconFile=Plugin.ico\r\nIconIndex=0\r\n"


# ---------------------------------------------------------------------------
# Plugin.ico: one drawing at 16, 32, 48 (32-bit DIBs) and 256 pixels (PNG)

CHARCOAL = (0x21, 0x27, 0x2C)
BLUE = (0x00, 0x94, 0xD8)
WHITE = (0xF5, 0xF5, 0xF5)


def coverage(distance, pixel):
    """Anti-aliased coverage of a shape from its signed distance in pixels."""
    return min(1.0, max(0.0, 0.5 - distance / pixel))


def draw_icon(size):
    """Returns rows of straight-alpha RGBA tuples, top row first: a dark rounded
    square holding a blue disc crossed by a white wave."""
    pixel = 1.0 / size
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            u = (x + 0.5) * pixel
            v = (y + 0.5) * pixel
            # layers, bottom to top: (colour, coverage)
            qx = abs(u - 0.5) - 0.46 + 0.18
            qy = abs(v - 0.5) - 0.46 + 0.18
            box = math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - 0.18
            disc = math.hypot(u - 0.5, v - 0.5) - 0.32
            phase = (u - 0.5) * 2.0 * math.pi / 0.36
            slope = 0.11 * 2.0 * math.pi / 0.36 * math.cos(phase)
            wave_distance = abs(v - (0.5 - 0.11 * math.sin(phase))) / math.sqrt(1.0 + slope * slope)
            wave = max(wave_distance - 0.035, abs(u - 0.5) - 0.25)
            layers = ((CHARCOAL, coverage(box, pixel)),
                      (BLUE, coverage(disc, pixel)),
                      (WHITE, coverage(wave, pixel) * coverage(disc, pixel)))
            r = g = b = a = 0.0  # premultiplied
            for colour, alpha in layers:
                r = colour[0] * alpha + r * (1.0 - alpha)
                g = colour[1] * alpha + g * (1.0 - alpha)
                b = colour[2] * alpha + b * (1.0 - alpha)
                a = alpha + a * (1.0 - alpha)
            if a > 0.0:
                row.append((round(r / a), round(g / a), round(b / a), round(a * 255)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_dib(rows):
    """A 32-bit icon image: BITMAPINFOHEADER (double height), BGRA rows bottom
    up, then the 1-bit AND mask (set where fully transparent)."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def png(rows):
    size = len(rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + bytes(channel for pixel in row for channel in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def plugin_icon():
    images = [(size, icon_dib(draw_icon(size))) for size in (16, 32, 48)]
    images.append((256, png(draw_icon(256))))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    bodies = b""
    for size, data in images:
        side = size % 256  # 0 stands for 256
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        bodies += data
    return directory + bodies


# ---------------------------------------------------------------------------
# VST3 module information

def class_id(role):
    return hashlib.md5(("%s %s %s" % (MAKER, PRODUCT, role)).encode("ascii")).hexdigest().upper()


def module_info():
    def plugin_class(role, category, name, sub_categories, flags):
        return {
            "CID": class_id(role),
            "Category": category,
            "Name": name,
            "Vendor": MAKER,
            "Version": PRODUCT_VERSION,
            "SDKVersion": "VST 3.7.9",
            "Sub Categories": sub_categories,
            "Class Flags": flags,
            "Cardinality": 2147483647,
            "Snapshots": [],
        }

    info = {
        "Name": PRODUCT,
        "Version": PRODUCT_VERSION,
        "Factory Info": {
            "Vendor": MAKER,
            "URL": "",
            "E-Mail": "",
            "Flags": {
                "Unicode": True,
                "Classes Discardable": False,
                "Component Non Discardable": False,
            },
        },
        "Compatibility": [],
        "Classes": [
            plugin_class("processor", "Audio Module Class", PRODUCT, ["Fx"], 1),
            plugin_class("controller", "Component Controller Class", PRODUCT + "Controller", [], 0),
        ],
    }
    return (json.dumps(info, indent=2) + "\n").encode("ascii")


# ---------------------------------------------------------------------------
# ZIP writing

def dos_date(year, month, day):
    return ((year - 1980) << 9) | (month << 5) | day


def dos_time(hour, minute, second):
    return (hour << 11) | (minute << 5) | (second // 2)


def zip_archive(entries):
    """entries: (name, data or None for a folder entry, (h, m, s)). Local
    headers and central records come in the given order."""
    version = 20  # 2.0; the high byte 0 is the MS-DOS host
    date = dos_date(*ARCHIVE_DATE)
    local_part = b""
    central = b""
    for name, data, stamp in entries:
        is_folder = data is None
        assert is_folder == name.endswith("\\")
        raw_name = name.encode("ascii")
        if is_folder:
            method, packed, size, crc = 0, b"", 0, 0
        else:
            compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
            method, packed, size, crc = 8, compressor.compress(data) + compressor.flush(), len(data), zlib.crc32(data)
        time = dos_time(*stamp)
        offset = len(local_part)
        local_part += struct.pack("<IHHHHHIIIHH", 0x04034B50, version, 0, method, time, date,
                                  crc, len(packed), size, len(raw_name), 0) + raw_name + packed
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, version, version, 0, method, time, date,
                               crc, len(packed), size, len(raw_name), 0, 0, 0, 0, 0, offset) + raw_name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries),
                      len(central), len(local_part), 0)
    return local_part + central + end


def archive_entries():
    """The entries of each archive, in archive order."""
    icon = plugin_icon()
    vst3 = PRODUCT + ".vst3"
    clap = PRODUCT + ".clap"
    aax = PRODUCT + ".aaxplugin"

    def module(name):
        return pe_module.build_module(MODULE_VERSION, name)

    return {
        "vst3.zip": [
            (vst3 + "\\Contents\\", None, (18, 53, 56)),
            (vst3 + "\\desktop.ini", DESKTOP_INI, (18, 50, 24)),
            (vst3 + "\\Plugin.ico", icon, (18, 52, 50)),
            (vst3 + "\\Contents\\Resources\\moduleinfo.json", module_info(), (18, 52, 50)),
            (vst3 + "\\Contents\\x86_64-win\\" + vst3, module(vst3), (18, 53, 52)),
        ],
        "clap.zip": [
            (clap, module(clap), (18, 53, 48)),
        ],
        "aax.zip": [
            (aax + "\\Contents\\", None, (18, 53, 54)),
            (aax + "\\desktop.ini", DESKTOP_INI, (18, 50, 24)),
            (aax + "\\Plugin.ico", icon, (18, 51, 32)),
            (aax + "\\Contents\\x64\\" + aax, module(aax), (18, 53, 40)),
        ],
    }


def write_archives(folder):
    for archive_name, entries in archive_entries().items():
        with open(os.path.join(folder, archive_name), "wb") as f:
            f.write(zip_archive(entries))


def check(folder):
    """Rebuilds the archives and compares them with those in folder."""
    ok = True
    with tempfile.TemporaryDirectory() as temp:
        write_archives(temp)
        for archive_name in ARCHIVE_NAMES:
            committed = os.path.join(folder, archive_name)
            with open(os.path.join(temp, archive_name), "rb") as f:
                fresh = f.read()
            try:
                with open(committed, "rb") as f:
                    existing = f.read()
            except OSError as error:
                print("%s: cannot read (%s)" % (committed, error.strerror), file=sys.stderr)
                ok = False
                continue
            if existing != fresh:
                print("%s: differs from a fresh build (%d bytes, fresh %d bytes)"
                      % (committed, len(existing), len(fresh)), file=sys.stderr)
                ok = False
    return ok


def main(argv=None):
    parser = argparse.ArgumentParser(description="Write the carried plug-in archives.")
    parser.add_argument("--out", default=RESOURCES_DIR, help="folder to write to (default: resources/)")
    parser.add_argument("--check", action="store_true",
                        help="compare a fresh build with the archives in --out instead of writing")
    args = parser.parse_args(argv)

    if args.check:
        return 0 if check(args.out) else 1

    os.makedirs(args.out, exist_ok=True)
    write_archives(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
