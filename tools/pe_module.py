#!/usr/bin/python3
"""Writes a small, valid Windows x64 DLL (PE32+) that carries a version resource.

The image stands in for a plug-in module wherever a real Windows binary with a
known file version is needed: inside the carried archives and in tests of the
installed-state detection. It is deterministic (TimeDateStamp 0, fixed layout),
about 3.5 KB, and uses the standard library only.

Layout of the image:
    DOS header + stub, "PE\\0\\0", COFF header (machine AMD64, DLL), PE32+
    optional header (section alignment 0x1000, file alignment 0x200,
    subsystem Windows GUI, correct SizeOfImage, SizeOfHeaders and CheckSum),
    a ".text" section holding a DllMain that returns TRUE, a 2 KB ".rdata"
    section of filler bytes derived from name and version, and - unless the
    version resource is switched off - a ".rsrc" section with one RT_VERSION
    resource (ID 1, language 0x0409): VS_VERSIONINFO with VS_FIXEDFILEINFO
    (file and product version from the given a.b.c.d), a StringFileInfo
    table "040904b0" and a VarFileInfo Translation of 0x0409 / 1200.

Command line (kept stable; other build steps call it):
    pe_module.py OUT [--version A.B.C.D] [--name FILENAME] [--no-version-resource]

    OUT                    file to write (its folder must exist)
    --version A.B.C.D      file and product version, 1 to 4 numbers of 0..65535,
                           missing numbers are 0 (default 4.0.2.0)
    --name FILENAME        file name recorded as InternalName/OriginalFilename;
                           its extension picks the FileDescription
                           (default Morvane4.dll)
    --no-version-resource  write a valid DLL with no resource section at all

As a module:
    build_module(version="4.0.2.0", name="Morvane4.dll", with_version=True) -> bytes
    parse_version("4.0.1") -> (4, 0, 1, 0)
"""

import argparse
import hashlib
import os
import struct
import sys

COMPANY_NAME = "Tarnwick"
PRODUCT_NAME = "Morvane4"

FILE_ALIGNMENT = 0x200
SECTION_ALIGNMENT = 0x1000
IMAGE_BASE = 0x180000000

RT_VERSION = 16
VERSION_RESOURCE_ID = 1
LANGUAGE_EN_US = 0x0409
CODEPAGE_UNICODE = 1200

# DllMain: mov eax, 1 ; ret
DLL_MAIN_CODE = bytes([0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3])

# Read-only filler standing in for a real module's constants. Without it the
# image would be mostly zero bytes, which file-scoring tools flag as damaged.
FILLER_SIZE = 0x800

DOS_STUB = (bytes([0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD,
                    0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21])
            + b"This program cannot be run in DOS mode.\r\r\n$")

DESCRIPTIONS = {
    ".vst3": "Morvane4 VST3 plug-in",
    ".clap": "Morvane4 CLAP plug-in",
    ".aaxplugin": "Morvane4 AAX plug-in",
}


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def pad_to(data, alignment):
    return data + b"\0" * (align(len(data), alignment) - len(data))


def parse_version(text):
    """Turns "a.b.c.d" (1 to 4 numbers, each 0..65535) into a 4-tuple."""
    parts = text.strip().split(".")
    if not 1 <= len(parts) <= 4 or not all(p.isdigit() for p in parts):
        raise ValueError("version must be 1 to 4 dot-separated numbers: %r" % text)
    numbers = [int(p) for p in parts] + [0] * (4 - len(parts))
    if any(n > 0xFFFF for n in numbers):
        raise ValueError("version numbers must be 0..65535: %r" % text)
    return tuple(numbers)


# ---------------------------------------------------------------------------
# Version resource

def utf16z(text):
    return (text + "\0").encode("utf-16-le")


def version_node(key, value=b"", value_length=0, is_text=False, children=()):
    """One block of a version resource: wLength, wValueLength, wType, szKey,
    padding, Value, padding, Children. Every block starts on a 32-bit boundary;
    wLength covers the block up to the end of its last child, without any
    padding after it."""
    body = pad_to(bytes(6) + utf16z(key), 4) + value
    for child in children:
        body = pad_to(body, 4) + child
    return struct.pack("<HHH", len(body), value_length, 1 if is_text else 0) + body[6:]


def string_entry(key, text):
    return version_node(key, utf16z(text), len(text) + 1, is_text=True)


def fixed_file_info(version):
    ms = (version[0] << 16) | version[1]
    ls = (version[2] << 16) | version[3]
    return struct.pack("<13I",
                       0xFEEF04BD,  # dwSignature
                       0x00010000,  # dwStrucVersion
                       ms, ls,      # dwFileVersionMS / LS
                       ms, ls,      # dwProductVersionMS / LS
                       0x3F,        # dwFileFlagsMask
                       0,           # dwFileFlags
                       0x00040004,  # dwFileOS: VOS_NT_WINDOWS32
                       2,           # dwFileType: VFT_DLL
                       0,           # dwFileSubtype
                       0, 0)        # dwFileDateMS / LS


def version_info(version, name):
    version_text = ".".join(str(n) for n in version)
    extension = os.path.splitext(name)[1].lower()
    strings = [
        ("CompanyName", COMPANY_NAME),
        ("FileDescription", DESCRIPTIONS.get(extension, PRODUCT_NAME)),
        ("FileVersion", version_text),
        ("InternalName", name),
        ("LegalCopyright", "Copyright (C) 2026 " + COMPANY_NAME),
        ("OriginalFilename", name),
        ("ProductName", PRODUCT_NAME),
        ("ProductVersion", version_text),
    ]
    table_key = "%04x%04x" % (LANGUAGE_EN_US, CODEPAGE_UNICODE)
    string_table = version_node(table_key, is_text=True,
                                children=[string_entry(k, v) for k, v in strings])
    string_file_info = version_node("StringFileInfo", is_text=True, children=[string_table])
    translation = version_node("Translation", struct.pack("<HH", LANGUAGE_EN_US, CODEPAGE_UNICODE), 4)
    var_file_info = version_node("VarFileInfo", is_text=True, children=[translation])
    fixed = fixed_file_info(version)
    return version_node("VS_VERSION_INFO", fixed, len(fixed),
                        children=[string_file_info, var_file_info])


def resource_section(section_rva, data):
    """A resource tree type -> name -> language with a single leaf, followed by
    the leaf's data on an 8-byte boundary."""
    def directory(entry_id, target):
        return struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1) + struct.pack("<II", entry_id, target)

    subdirectory = 0x80000000
    type_dir = directory(RT_VERSION, subdirectory | 24)
    name_dir = directory(VERSION_RESOURCE_ID, subdirectory | 48)
    language_dir = directory(LANGUAGE_EN_US, 72)
    data_offset = align(72 + 16, 8)
    data_entry = struct.pack("<IIII", section_rva + data_offset, len(data), 0, 0)
    tree = type_dir + name_dir + language_dir + data_entry
    return pad_to(tree, 8) + data


# ---------------------------------------------------------------------------
# PE image

def filler(seed, size):
    """Deterministic bytes with no dominant value (a SHA-256 chain)."""
    out = b""
    block = hashlib.sha256(seed).digest()
    while len(out) < size:
        out += block
        block = hashlib.sha256(block).digest()
    return out[:size]


def pe_checksum(image):
    """The optional header's CheckSum of an image whose CheckSum field is 0."""
    total = 0
    for (word,) in struct.iter_unpack("<H", image + b"\0" * (len(image) % 2)):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def build_module(version="4.0.2.0", name="Morvane4.dll", with_version=True):
    """Returns the bytes of the DLL image."""
    version = parse_version(version) if isinstance(version, str) else tuple(version)

    e_lfanew = 0x80
    version_text = ".".join(str(n) for n in version)
    read_only_data = filler(("%s %s %s" % (PRODUCT_NAME, name, version_text)).encode("utf-8"),
                            FILLER_SIZE)
    text_rva = SECTION_ALIGNMENT
    rdata_rva = text_rva + align(len(DLL_MAIN_CODE), SECTION_ALIGNMENT)
    rsrc_rva = rdata_rva + align(len(read_only_data), SECTION_ALIGNMENT)
    resources = resource_section(rsrc_rva, version_info(version, name)) if with_version else b""

    sections = [  # (name, data, characteristics)
        (b".text", DLL_MAIN_CODE, 0x60000020),    # CODE | EXECUTE | READ
        (b".rdata", read_only_data, 0x40000040),  # INITIALIZED_DATA | READ
    ]
    if with_version:
        sections.append((b".rsrc", resources, 0x40000040))

    optional_header_size = 112 + 16 * 8
    headers_end = e_lfanew + 4 + 20 + optional_header_size + 40 * len(sections)
    size_of_headers = align(headers_end, FILE_ALIGNMENT)

    section_headers = b""
    section_bodies = b""
    rva = SECTION_ALIGNMENT
    file_offset = size_of_headers
    for section_name, data, characteristics in sections:
        raw_size = align(len(data), FILE_ALIGNMENT)
        section_headers += struct.pack("<8sIIIIIIHHI", section_name, len(data), rva, raw_size,
                                       file_offset, 0, 0, 0, 0, characteristics)
        section_bodies += pad_to(data, FILE_ALIGNMENT)
        rva += align(len(data), SECTION_ALIGNMENT)
        file_offset += raw_size
    size_of_image = rva

    dos_header = struct.pack("<2sHHHHHHHHHHHHH8sHH20sI",
                             b"MZ", 0x90, 3, 0, 4, 0, 0xFFFF, 0, 0xB8, 0, 0, 0, 0x40, 0,
                             bytes(8), 0, 0, bytes(20), e_lfanew)
    dos_part = pad_to(dos_header + DOS_STUB, 8)
    dos_part += bytes(e_lfanew - len(dos_part))

    coff_header = struct.pack("<HHIIIHH",
                              0x8664,          # Machine: AMD64
                              len(sections),
                              0,               # TimeDateStamp
                              0, 0,            # no symbol table
                              optional_header_size,
                              0x2022)          # EXECUTABLE_IMAGE | LARGE_ADDRESS_AWARE | DLL

    data_directories = [(0, 0)] * 16
    if with_version:
        data_directories[2] = (rsrc_rva, len(resources))  # IMAGE_DIRECTORY_ENTRY_RESOURCE

    optional_header = struct.pack("<HBBIIIIIQIIHHHHHHIIIIHHQQQQII",
                                  0x20B,                           # Magic: PE32+
                                  14, 0,                           # linker version
                                  align(len(DLL_MAIN_CODE), FILE_ALIGNMENT),  # SizeOfCode
                                  align(len(read_only_data), FILE_ALIGNMENT)
                                  + align(len(resources), FILE_ALIGNMENT),     # SizeOfInitializedData
                                  0,                               # SizeOfUninitializedData
                                  text_rva,                        # AddressOfEntryPoint (DllMain)
                                  text_rva,                        # BaseOfCode
                                  IMAGE_BASE,
                                  SECTION_ALIGNMENT, FILE_ALIGNMENT,
                                  6, 0,                            # operating system version
                                  0, 0,                            # image version
                                  6, 0,                            # subsystem version
                                  0,                               # Win32VersionValue
                                  size_of_image,
                                  size_of_headers,
                                  0,                               # CheckSum, filled in below
                                  2,                               # Subsystem: Windows GUI
                                  0x0160,                          # HIGH_ENTROPY_VA | DYNAMIC_BASE | NX_COMPAT
                                  0x100000, 0x1000,                # stack reserve / commit
                                  0x100000, 0x1000,                # heap reserve / commit
                                  0,                               # LoaderFlags
                                  16)                              # NumberOfRvaAndSizes
    optional_header += b"".join(struct.pack("<II", *d) for d in data_directories)
    assert len(optional_header) == optional_header_size

    headers = dos_part + b"PE\0\0" + coff_header + optional_header + section_headers
    assert len(headers) == headers_end
    image = bytearray(pad_to(headers, FILE_ALIGNMENT) + section_bodies)

    checksum_offset = e_lfanew + 4 + 20 + 64
    struct.pack_into("<I", image, checksum_offset, pe_checksum(bytes(image)))
    return bytes(image)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Write a small Windows x64 DLL with a version resource.")
    parser.add_argument("out", help="file to write")
    parser.add_argument("--version", default="4.0.2.0", help="file and product version a.b.c.d(default 4.0.2.0)")
    parser.add_argument("--name", default="Morvane4.dll", help="file name recorded in the string table")
    parser.add_argument("--no-version-resource", action="store_true", help="write the DLL without any resource")
    args = parser.parse_args(argv)

    try:
        image = build_module(args.version, args.name, not args.no_version_resource)
    except ValueError as error:
        parser.error(str(error))

    with open(args.out, "wb") as f:
        f.write(image)
    return 0


if __name__ == "__main__":
    sys.exit(main())
