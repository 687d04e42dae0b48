#!/usr/bin/python3
"""Compares our module version reader with pefile (Debian's python3-pefile) on many PE files.

    compare_pe_versions.py OUR_PRINTER FOLDER_OR_FILE...

OUR_PRINTER prints "version<TAB>path" per file (tests/fuzz/PeVersionPrint.cpp). Folders are
searched for *.dll, *.exe, *.sys, *.efi and *.ocx. Windows' GetFileVersionInfo reads only the
version resource named with the ID 1 (VS_VERSION_INFO), and so does our reader; pefile reads the
first version resource whatever its name. A file whose only version resource has another name is
therefore an expected difference: our empty version against pefile's. Any other difference fails.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "engine"))
import pe_version_reference  # noqa: E402

import pefile  # noqa: E402

EXTENSIONS = (".dll", ".exe", ".sys", ".efi", ".ocx")


def find_files(roots):
    for root in roots:
        if os.path.isfile(root):
            yield root
            continue
        for folder, _, names in os.walk(root):
            for name in sorted(names):
                path = os.path.join(folder, name)
                if name.lower().endswith(EXTENSIONS) and os.path.isfile(path) and not os.path.islink(path):
                    yield path


def version_resource_ids(path):
    """The names (IDs) of the file's RT_VERSION resources, as pefile reads them."""
    try:
        pe = pefile.PE(path, fast_load=True)
        pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        for entry in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None).entries:
            if entry.id == 16:
                return [name.id for name in entry.directory.entries]
    except Exception:  # noqa: BLE001
        pass
    return []


def ours(printer, paths):
    found = {}
    for start in range(0, len(paths), 200):
        output = subprocess.run([printer] + paths[start:start + 200], check=True,
                                capture_output=True, text=True).stdout
        for line in output.splitlines():
            version, path = line.split("\t", 1)
            found[path] = version
    return found


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    paths = list(find_files(argv[2:]))
    our_versions = ours(argv[1], paths)
    agree = expected = 0
    with_version = 0
    failures = []
    for path in paths:
        theirs = pe_version_reference.file_version(path)
        mine = our_versions.get(path, "?")
        with_version += 1 if mine else 0
        if mine == theirs:
            agree += 1
        elif mine == "" and theirs and 1 not in version_resource_ids(path):
            expected += 1
        else:
            failures.append("%s: ours %r, pefile %r" % (path, mine, theirs))
    print("PE files: %d, same version as pefile: %d (%d with a version), "
          "version resource not named 1 (read by neither Windows nor us): %d, other differences: %d"
          % (len(paths), agree, with_version, expected, len(failures)))
    for failure in failures:
        print("  " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
