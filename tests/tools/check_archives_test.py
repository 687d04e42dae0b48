#!/usr/bin/python3
"""Entry names that Windows cannot hold, or that mean something else there, fail the archive
check; names that only look like them pass. Usage: check_archives_test.py SOURCE_DIR"""

import contextlib
import io
import os
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(sys.argv.pop(1), "tools"))
import check_archives  # noqa: E402

PLACEHOLDER = "@@@@"  # four bytes in the name, replaced by the raw bytes of a case


def write_archive(path, names, raw=None):
    """A ZIP with one small file per name; PLACEHOLDER in a name becomes the bytes `raw`."""
    with zipfile.ZipFile(path, "w") as archive:
        for name in names:
            archive.writestr(name, b"data")
    if raw is not None:
        with open(path, "rb") as f:
            data = f.read()
        assert data.count(PLACEHOLDER.encode()) == 2  # local header and central directory
        with open(path, "wb") as f:
            f.write(data.replace(PLACEHOLDER.encode(), raw))


def check(folder, extra_name, raw=None):
    """Runs the checker over three good archives whose VST3 bundle also holds `extra_name`."""
    write_archive(os.path.join(folder, "vst3.zip"),
                  ["Morvane4.vst3\\Contents\\x86_64-win\\Morvane4.vst3", extra_name], raw)
    write_archive(os.path.join(folder, "clap.zip"), ["Morvane4.clap"])
    write_archive(os.path.join(folder, "aax.zip"), ["Morvane4.aaxplugin\\Contents\\x64\\Morvane4.aaxplugin"])
    errors = io.StringIO()
    with contextlib.redirect_stderr(errors):
        code = check_archives.main([folder])
    return code, errors.getvalue()


REFUSED = [
    # (name, raw bytes for the placeholder, words of the reason)
    ("Morvane4.vst3\\desktop.ini.", None, "ending in a dot"),
    ("Morvane4.vst3\\desktop.ini ", None, "ending in a dot or a space"),
    ("Morvane4.vst3\\Contents.\\x", None, "ending in a dot"),
    ("Morvane4.vst3\\...", None, "ending in a dot"),
    ("Morvane4.vst3\\CON", None, "device name"),
    ("Morvane4.vst3\\nul.txt", None, "device name"),
    ("Morvane4.vst3\\Aux.tar.gz", None, "device name"),
    ("Morvane4.vst3\\Contents\\lpt9\\x", None, "device name"),
    ("Morvane4.vst3\\com1 .txt", None, "device name"),
    ("Morvane4.vst3\\COM\u00b9", None, "device name"),
    ("Morvane4.vst3\\a|b", None, "cannot hold"),
    ("Morvane4.vst3\\a" + PLACEHOLDER, b"\x01bcd", "cannot hold"),
    ("Morvane4.vst3\\" + PLACEHOLDER, b"a\xffbc", "not valid UTF-8"),
    ("Morvane4.vst3\\" + PLACEHOLDER, b"a\xc0\xafb", "not valid UTF-8"),   # an overlong "/"
    ("Morvane4.vst3\\" + PLACEHOLDER, b"a\xed\xa0\x80", "not valid UTF-8"),  # a surrogate
    ("Morvane4.vst3\\" + PLACEHOLDER, b"abc\xc3", "not valid UTF-8"),       # cut short
]

ACCEPTED = ["Morvane4.vst3\\CONSOLE.txt", "Morvane4.vst3\\com10", "Morvane4.vst3\\LPT0", "Morvane4.vst3\\nul_",
            "Morvane4.vst3\\.hidden", "Morvane4.vst3\\M\u00fcsik.txt", "Morvane4.vst3\\ leading space"]


class EntryNames(unittest.TestCase):
    def test_names_windows_cannot_hold_are_refused(self):
        for name, raw, reason in REFUSED:
            with self.subTest(name=name, raw=raw), tempfile.TemporaryDirectory() as folder:
                code, errors = check(folder, name, raw)
                self.assertEqual(code, 1, errors)
                self.assertIn("vst3.zip: entry name", errors)
                self.assertIn(reason, errors)
                self.assertNotIn("clap.zip", errors)

    def test_names_that_only_look_alike_pass(self):
        for name in ACCEPTED:
            with self.subTest(name=name), tempfile.TemporaryDirectory() as folder:
                self.assertEqual(check(folder, name), (0, ""))


if __name__ == "__main__":
    unittest.main()
