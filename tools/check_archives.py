#!/usr/bin/python3
"""Checks deliverable plug-in archives before the build carries them.

Usage:
    check_archives.py DIR

DIR must hold vst3.zip, clap.zip and aax.zip. Each archive must keep the
layout that installing, detecting and uninstalling rely on:

  - it is a ZIP archive without ZIP64 records, and every entry is stored or
    deflated and not encrypted;
  - no entry name escapes the folder it is unpacked into: no absolute names,
    no drive letters or other colons, no ".." components;
  - every name means the same on Windows: stored as valid UTF-8 (the installer
    reads names as UTF-8 whatever the flags say), and no part ends in a dot or
    a space, is a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$,
    CONOUT$, with or without an extension) or holds a control character or
    one of * ? " < > |;
  - all names share exactly one top-level name, the bundle name
    ("Morvane4.vst3", "Morvane4.clap", "Morvane4.aaxplugin");
  - folder entries (names ending in a separator) are stored (method 0) and
    empty;
  - the plug-in module is present as a file: "Contents\\x86_64-win\\Morvane4.vst3"
    in the VST3 bundle, "Contents\\x64\\Morvane4.aaxplugin" in the AAX bundle,
    and the CLAP is the single file "Morvane4.clap".

Both "\\" and "/" are accepted as separators. Every broken rule is printed to
stderr as "<archive path>: <rule broken>"; the exit code is 1 if any archive
fails, 0 if all pass. Standard library only.
"""

import os
import re
import struct
import sys

PRODUCT = "Morvane4"

# archive file, bundle name, module path inside the bundle (None: the bundle is the module)
ARCHIVES = (
    ("vst3.zip", PRODUCT + ".vst3", ("Contents", "x86_64-win", PRODUCT + ".vst3")),
    ("clap.zip", PRODUCT + ".clap", None),
    ("aax.zip", PRODUCT + ".aaxplugin", ("Contents", "x64", PRODUCT + ".aaxplugin")),
)

END_OF_CENTRAL_DIRECTORY = 0x06054B50
ZIP64_END_LOCATOR = 0x07064B50
CENTRAL_RECORD = 0x02014B50
LOCAL_HEADER = 0x04034B50
ZIP64_EXTRA_ID = 0x0001


class ArchiveError(Exception):
    pass


class Entry:
    def __init__(self, name, flags, method, packed_size, size, extra, local_offset, is_utf8=True):
        self.name = name
        self.is_utf8 = is_utf8
        self.flags = flags
        self.method = method
        self.packed_size = packed_size
        self.size = size
        self.extra = extra
        self.local_offset = local_offset

    @property
    def is_folder(self):
        return self.name.endswith(("\\", "/"))

    @property
    def parts(self):
        return [p for p in re.split(r"[\\/]", self.name) if p != ""]


def quoted(name):
    """A name in double quotes, with unprintable characters escaped."""
    return '"%s"' % "".join(c if c.isprintable() else "\\x%02x" % ord(c) for c in name)


def extra_field_ids(extra):
    ids = []
    offset = 0
    while offset + 4 <= len(extra):
        field_id, length = struct.unpack_from("<HH", extra, offset)
        ids.append(field_id)
        offset += 4 + length
    return ids


def read_central_directory(data):
    """Returns the entries of a ZIP archive; raises ArchiveError naming the
    broken rule."""
    end = data.rfind(struct.pack("<I", END_OF_CENTRAL_DIRECTORY), max(0, len(data) - 22 - 0xFFFF))
    if end < 0 or end + 22 > len(data):
        raise ArchiveError("not a ZIP archive (no end-of-central-directory record)")
    (_, disk, cd_disk, disk_entries, total_entries,
     cd_size, cd_offset, _) = struct.unpack_from("<IHHHHIIH", data, end)

    if end >= 20 and struct.unpack_from("<I", data, end - 20)[0] == ZIP64_END_LOCATOR:
        raise ArchiveError("ZIP64 archive (ZIP64 end-of-central-directory locator present)")
    if 0xFFFF in (disk_entries, total_entries) or 0xFFFFFFFF in (cd_size, cd_offset):
        raise ArchiveError("ZIP64 archive (end-of-central-directory fields hold ZIP64 markers)")
    if disk != 0 or cd_disk != 0 or disk_entries != total_entries:
        raise ArchiveError("multi-part archive")
    if cd_offset + cd_size > end:
        raise ArchiveError("damaged archive (central directory lies outside the file)")

    entries = []
    offset = cd_offset
    for _ in range(total_entries):
        if offset + 46 > end or struct.unpack_from("<I", data, offset)[0] != CENTRAL_RECORD:
            raise ArchiveError("damaged archive (central directory record %d missing)" % len(entries))
        (_, _, _, flags, method, _, _, _, packed_size, size, name_length, extra_length,
         comment_length, _, _, _, local_offset) = struct.unpack_from("<IHHHHHHIIIHHHHHII", data, offset)
        name_start = offset + 46
        raw_name = data[name_start:name_start + name_length]
        extra = data[name_start + name_length:name_start + name_length + extra_length]
        offset = name_start + name_length + extra_length + comment_length
        try:
            name, is_utf8 = raw_name.decode("utf-8"), True
        except UnicodeDecodeError:
            name, is_utf8 = raw_name.decode("utf-8", errors="replace"), False
        entry = Entry(name, flags, method, packed_size, size, extra, local_offset, is_utf8)

        if 0xFFFFFFFF in (packed_size, size, local_offset) or ZIP64_EXTRA_ID in extra_field_ids(extra):
            raise ArchiveError("ZIP64 entry %s" % quoted(name))
        if local_offset + 30 > cd_offset or struct.unpack_from("<I", data, local_offset)[0] != LOCAL_HEADER:
            raise ArchiveError("damaged archive (local header of %s missing)" % quoted(name))
        (_, _, _, _, _, _, _, local_packed, local_size, local_name_length,
         local_extra_length) = struct.unpack_from("<IHHHHHIIIHH", data, local_offset)
        local_extra_start = local_offset + 30 + local_name_length
        local_extra = data[local_extra_start:local_extra_start + local_extra_length]
        if 0xFFFFFFFF in (local_packed, local_size) or ZIP64_EXTRA_ID in extra_field_ids(local_extra):
            raise ArchiveError("ZIP64 entry %s (in its local header)" % quoted(name))
        entries.append(entry)
    if offset > end:
        raise ArchiveError("damaged archive (central directory overruns its end record)")
    return entries


def escapes_target(entry):
    name = entry.name
    if name.startswith(("\\", "/")):
        return "absolute entry name %s" % quoted(name)
    if re.match(r"^[A-Za-z]:", name):
        return "entry name with a drive letter %s" % quoted(name)
    if ":" in name:
        return "entry name with a colon %s" % quoted(name)
    if ".." in re.split(r"[\\/]", name):
        return "entry name with a '..' component %s" % quoted(name)
    return None


DEVICE_NAMES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | {
    prefix + digit for prefix in ("COM", "LPT") for digit in "123456789\u00b9\u00b2\u00b3"}


def windows_problem(entry):
    """Why Windows would not hold the entry's name as it is, or None."""
    if not entry.is_utf8:
        return "entry name that is not valid UTF-8 %s" % quoted(entry.name)
    for part in entry.parts:
        if part.endswith((".", " ")) and part != "..":
            return "entry name with a part ending in a dot or a space %s" % quoted(entry.name)
        if part.split(".", 1)[0].rstrip(" ").upper() in DEVICE_NAMES:
            return "entry name with a device name %s" % quoted(entry.name)
        if any(ord(c) < 0x20 or ord(c) == 0x7F or c in '*?"<>|' for c in part):
            return "entry name with a character Windows cannot hold %s" % quoted(entry.name)
    return None


def check_entries(entries, bundle, module_path):
    """Returns the list of broken rules (empty when the archive is fine)."""
    problems = []
    if not entries:
        return ["archive has no entries"]

    for entry in entries:
        if not entry.parts:
            problems.append("entry with an empty name %s" % quoted(entry.name))
        problem = escapes_target(entry)
        if problem:
            problems.append("%s escapes the target folder" % problem)
        problem = windows_problem(entry)
        if problem:
            problems.append(problem)
        if entry.flags & 0x1:
            problems.append("encrypted entry %s" % quoted(entry.name))
        if entry.method not in (0, 8):
            problems.append("entry %s uses compression method %d (only 0 stored and 8 deflate are allowed)"
                            % (quoted(entry.name), entry.method))
        if entry.is_folder and (entry.method != 0 or entry.size != 0 or entry.packed_size != 0):
            problems.append("folder entry %s is not stored and empty (method %d, %d packed bytes, %d bytes)"
                            % (quoted(entry.name), entry.method, entry.packed_size, entry.size))
    if problems:
        return problems

    top_names = []
    for entry in entries:
        parts = entry.parts
        if parts and parts[0] not in top_names:
            top_names.append(parts[0])
    if len(top_names) != 1:
        return ["%d top-level names (%s); exactly one, %s, is required"
                % (len(top_names), ", ".join(quoted(n) for n in top_names), quoted(bundle))]
    if top_names[0] != bundle:
        return ["top-level name %s is not the bundle name %s" % (quoted(top_names[0]), quoted(bundle))]

    if module_path is None:
        # a single-file format: the bundle itself is the module
        if any(entry.is_folder or len(entry.parts) > 1 for entry in entries):
            problems.append("%s must be a single file, but the archive makes it a folder" % quoted(bundle))
        elif not any(not entry.is_folder and entry.parts == [bundle] for entry in entries):
            problems.append("module file %s missing" % quoted(bundle))
        return problems

    if not any(entry.is_folder or len(entry.parts) > 1 for entry in entries):
        problems.append("bundle %s must be a folder, but the archive holds it as a file" % quoted(bundle))
    expected = [bundle] + list(module_path)
    if not any(not entry.is_folder and entry.parts == expected for entry in entries):
        problems.append("module file %s missing" % quoted("\\".join(expected)))
    return problems


def check_archive(path, bundle, module_path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        return ["archive missing or unreadable (%s)" % (error.strerror or error)]
    try:
        entries = read_central_directory(data)
    except ArchiveError as error:
        return [str(error)]
    return check_entries(entries, bundle, module_path)


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    if len(argv) != 1 or argv[0].startswith("-"):
        print("usage: check_archives.py DIR", file=sys.stderr)
        return 2
    folder = argv[0]
    failed = False
    for archive_name, bundle, module_path in ARCHIVES:
        path = os.path.join(folder, archive_name)
        for problem in check_archive(path, bundle, module_path):
            print("%s: %s" % (path, problem), file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
