#!/usr/bin/python3
"""Reads the resources of the built tw_installer.exe with icoutils' wrestool and checks the
manifest, the version block and the two application icons; and that the exe is a GUI program.

    check_exe_resources.py PATH/TO/tw_installer.exe
"""

import re
import struct
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree

EXE = None

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def list_resources(exe):
    """(type, name) of every resource, names as wrestool prints them (numbers or 'NAME')."""
    listing = subprocess.run(["wrestool", "--list", exe], check=True, capture_output=True, text=True).stdout
    found = []
    for line in listing.splitlines():
        match = re.match(r"--type=(\d+) --name=(\S+)", line)
        if match:
            found.append((int(match.group(1)), match.group(2).strip("'")))
    return found


def extract(exe, resource_type, name):
    return subprocess.run(["wrestool", "--extract", "--raw", f"--type={resource_type}", f"--name={name}", exe],
                          check=True, capture_output=True).stdout


def align4(offset):
    return (offset + 3) & ~3


def parse_version_block(data, offset=0):
    """One VS_VERSIONINFO-style node: (key, value bytes, value type, children)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_start = offset + 6
    key_end = key_start
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    position = align4(key_end + 2)
    value_size = value_length * 2 if value_type == 1 else value_length
    value = data[position:position + value_size]
    position = align4(position + value_size)
    children = []
    while position < end:
        child, child_end = parse_version_block(data, position)
        children.append(child)
        position = align4(child_end)
    return (key, value, value_type, children), end


def version_strings(root):
    strings = {}
    for block in root[3]:
        if block[0] == "StringFileInfo":
            for table in block[3]:
                for key, value, _, _ in table[3]:
                    strings[key] = value.decode("utf-16-le").rstrip("\0")
    return strings


class ExeResources(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.resources = list_resources(EXE)

    def names_of(self, resource_type):
        return [name for kind, name in self.resources if kind == resource_type]

    def test_carries_one_manifest_asking_for_administrator_rights_and_common_controls_6(self):
        self.assertEqual(self.names_of(RT_MANIFEST), ["1"])
        manifest = extract(EXE, RT_MANIFEST, 1)
        root = ElementTree.fromstring(manifest)
        levels = [element.get("level") for element in root.iter()
                  if element.tag.endswith("}requestedExecutionLevel")]
        self.assertEqual(levels, ["requireAdministrator"])
        assembly = "{urn:schemas-microsoft-com:asm.v1}"
        dependencies = [(identity.get("name"), identity.get("version"), identity.get("type"))
                        for identity in root.iterfind(f"{assembly}dependency/{assembly}dependentAssembly/{assembly}assemblyIdentity")]
        self.assertEqual(dependencies, [("Microsoft.Windows.Common-Controls", "6.0.0.0", "win32")])

    def test_carries_one_version_block_with_the_program_and_maker_names(self):
        self.assertEqual(self.names_of(RT_VERSION), ["1"], "exactly one VERSIONINFO")
        root, _ = parse_version_block(extract(EXE, RT_VERSION, 1))
        self.assertEqual(root[0], "VS_VERSION_INFO")

        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", root[1])
        self.assertEqual(signature, 0xFEEF04BD)
        as_text = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
        self.assertEqual(as_text(file_ms, file_ls), "1.1.0.0")
        self.assertEqual(as_text(product_ms, product_ls), "1.1.0.0")

        strings = version_strings(root)
        self.assertEqual(strings.get("FileDescription"), "tw_installer")
        self.assertEqual(strings.get("ProductName"), "tw_installer")
        self.assertEqual(strings.get("FileVersion"), "1.1.0")
        self.assertEqual(strings.get("ProductVersion"), "1.1.0")
        self.assertEqual(strings.get("PluginVersion"), "4.0.2")
        self.assertEqual(strings.get("CompanyName"), "Tarnwick")
        self.assertIn("Tarnwick", strings.get("LegalCopyright", ""))

    def test_carries_the_application_icon_twice_with_16_32_48_and_256_png_images(self):
        self.assertEqual(sorted(self.names_of(RT_GROUP_ICON)), ["IDI_ICON1", "IDI_ICON2"])
        icon_names = set(self.names_of(RT_ICON))

        for group_name in ("IDI_ICON1", "IDI_ICON2"):
            with self.subTest(group=group_name):
                group = extract(EXE, RT_GROUP_ICON, group_name)
                reserved, kind, count = struct.unpack_from("<HHH", group, 0)
                self.assertEqual((reserved, kind, count), (0, 1, 4))

                images = []
                for index in range(count):
                    width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from(
                        "<BBBBHHIH", group, 6 + 14 * index)
                    self.assertIn(str(icon_id), icon_names)
                    image = extract(EXE, RT_ICON, icon_id)
                    self.assertEqual(len(image), size)
                    width = width or 256
                    height = height or 256
                    if image.startswith(PNG_SIGNATURE):
                        png_width, png_height = struct.unpack_from(">II", image, 16)
                        self.assertEqual((png_width, png_height), (width, height))
                        images.append((width, "png"))
                    else:
                        header_size, dib_width, dib_height, dib_planes, dib_bits = struct.unpack_from(
                            "<IiiHH", image, 0)
                        self.assertEqual(header_size, 40)
                        # An icon's DIB is twice as high: colour image, then the AND mask.
                        self.assertEqual((dib_width, dib_height), (width, 2 * height))
                        self.assertEqual((bits, dib_bits), (32, 32))
                        images.append((width, "32-bit"))

                self.assertEqual(sorted(images), [(16, "32-bit"), (32, "32-bit"), (48, "32-bit"), (256, "png")])

    def test_is_a_gui_program_that_opens_no_console_window(self):
        with open(EXE, "rb") as exe:
            data = exe.read(4096)
        pe_header = struct.unpack_from("<I", data, 0x3C)[0]
        self.assertEqual(data[pe_header:pe_header + 4], b"PE\0\0")
        # The optional header follows the 20-byte file header; Subsystem is at offset 68 in it.
        subsystem = struct.unpack_from("<H", data, pe_header + 24 + 68)[0]
        self.assertEqual(subsystem, 2, "IMAGE_SUBSYSTEM_WINDOWS_GUI")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    EXE = sys.argv.pop(1)
    unittest.main(verbosity=2)
