"""Writes the release's software bill of materials, tw_installer.spdx.json (SPDX 2.3, JSON), from what
the build used: every archive member and object the linker's map (-Wl,-Map) names is put under one
of the packages below, and a file the map names that no package claims stops the release.

    make_sbom.py --exe EXE --map MAP --build BUILD_FOLDER --source SOURCE_FOLDER --out FILE --notices FILE
    make_sbom.py --notices-only FILE --platform windows|linux --source SOURCE_FOLDER
    make_sbom.py --notice-inputs --platform windows|linux --source SOURCE_FOLDER

Versions come from Debian's package database (the toolchain, JUCE, zlib), from the pkg-config files
of libpng and libjpeg-turbo as cross-built from Debian's sources, and from the sources (the
program's version); SHA-256s from the files. `created` is the time of the commit, and
`documentNamespace` is made from the exe's SHA-256: the same exe gives the same bytes.

The third-party notices are compiled into the program, which shows them below its licence
agreement: the build writes them with --notices-only (LF line ends, the same bytes for the same
sources and packages), and --notice-inputs names the files they are made from, one a line, for the
build to depend on. The Windows exe's list is fixed by PACKAGES and the fonts; the release's
THIRD-PARTY-NOTICES.txt (--notices, CRLF line ends) is the same text, and the release stops when
the exe does not carry it or the linker's map takes a different set of packages.
"""
import argparse
import datetime
import hashlib
import json
import os
import re
import subprocess
import sys

MAKER = "Tarnwick"
TOOLCHAIN = "gcc-mingw-w64-x86-64-posix"

# name, the SPDX licence expression, the Debian package or pkg-config file its version comes from,
# the copyright line, which files of the map it claims (regular expressions on their paths), and the
# files whose text its notice carries (Debian's copyright file of its source package, as installed).
PACKAGES = [
    ("JUCE", "(AGPL-3.0-only OR LicenseRef-JUCE-7-Commercial) AND ISC", "deb:juce-modules-source",
     "Copyright (c) 2022 - Raw Material Software Limited", [r"/libtw_juce_(core|gui)\.a$"],
     ["text:JUCE_TERMS", "/usr/share/doc/juce-modules-source/copyright"]),
    ("zlib", "Zlib", "deb:libz-mingw-w64-dev",
     "Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler", [r"/x86_64-w64-mingw32/lib/libz\.a$"],
     ["/usr/share/doc/libz-mingw-w64-dev/copyright"]),
    ("libpng", "libpng-2.0", "pc:libpng16",
     "Copyright (c) 1995-2022 The PNG Reference Library Authors", [r"/mingw-deps/lib/libpng[0-9]*\.a$"],
     ["/usr/share/doc/libpng16-16/copyright"]),
    ("libjpeg-turbo", "IJG AND BSD-3-Clause AND Zlib", "pc:libjpeg",
     "Copyright (C) 2009-2022 D. R. Commander; Copyright (C) 1991-2020 Thomas G. Lane, Guido Vollbeding",
     [r"/mingw-deps/lib/libjpeg\.a$"],
     ["text:This software is based in part on the work of the Independent JPEG Group.",
      "/usr/share/doc/libjpeg62-turbo/copyright"]),
    ("libstdc++", "GPL-3.0-or-later WITH GCC-exception-3.1", "deb:" + TOOLCHAIN,
     "Copyright (C) Free Software Foundation, Inc.", [r"/gcc/x86_64-w64-mingw32/[^/]+/libstdc\+\+\.a$"],
     ["/usr/share/doc/gcc-mingw-w64-base/copyright"]),
    ("libgcc", "GPL-3.0-or-later WITH GCC-exception-3.1", "deb:" + TOOLCHAIN,
     "Copyright (C) Free Software Foundation, Inc.",
     [r"/gcc/x86_64-w64-mingw32/[^/]+/(libgcc|libgcc_eh|libssp[^/]*)\.a$", r"/gcc/x86_64-w64-mingw32/[^/]+/crt(begin|end)\.o$"],
     ["text:libgcc comes from the same GCC source package as libstdc++; its terms are those above."]),
    ("MinGW-w64 runtime", "ZPL-2.1 AND MIT AND BSD-3-Clause", "deb:mingw-w64-x86-64-dev",
     "Copyright (c) 2009-2022 by the mingw-w64 project",
     [r"^/usr/x86_64-w64-mingw32/lib/", r"/delayload/lib[a-z0-9_]+\.a$"],
     ["/usr/share/doc/mingw-w64-x86-64-dev/copyright"]),
]
OWN_FILES = [r"/source/libtw_(engine|ui|app|user_shell)\.a$", r"/libtw_(binary|notices)_data\.a$", r"CMakeFiles/tw_installer\.dir/"]
JUCE_TERMS = ("JUCE's modules juce_core and juce_events are used under the ISC licence; juce_data_structures, "
              "juce_graphics, juce_gui_basics and juce_gui_extra under the JUCE 7 licence that Tarnwick holds "
              "(juce.com/legal), in place of the GNU Affero General Public License v3 that Debian's package also offers.")
# What each build's program has compiled in, whose notices it carries: the Windows exe links every
# package above statically; the Linux program compiles in JUCE alone (Debian's JUCE has no bundled
# zlib, libpng or libjpeg) and takes the rest from the system as shared libraries, named in its notes.
COMPILED_IN = {"windows": [p[0] for p in PACKAGES], "linux": ["JUCE"]}
PROGRAM_FILE = {"windows": "tw_installer.exe", "linux": "tw_installer"}
SYSTEM_LIBRARIES = {
    "linux": "At run time it also uses shared libraries of the system it runs on: zlib, libpng, libjpeg-turbo, "
             "FreeType, the X11 libraries, the GNU C library, libstdc++ and libgcc. They are not part of "
             "tw_installer; their notices come with the system (/usr/share/doc/PACKAGE/copyright on Debian).",
}
NOTICES_HEADING = "THIRD-PARTY NOTICES"
LICENCE_REFS = {
    "LicenseRef-JUCE-7-Commercial": "The JUCE 7 licence held by the maker (juce.com/legal), under which JUCE's GPL-or-commercial modules are used",
    "LicenseRef-Tarnwick-EULA": "The Tarnwick end-user licence agreement, shown by the installer",
}


def sha256(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def linked_files(map_path):
    """The archives (with their members) and objects the linker took, from its map."""
    files = {}
    with open(map_path, encoding="utf-8", errors="replace") as file:
        for line in file:
            member = re.match(r"^(/?\S+\.a)\(([^)]+)\)", line)
            loaded = re.match(r"^LOAD (\S+\.o(bj)?)$", line.strip())
            if member:
                files.setdefault(os.path.normpath(member.group(1)), set()).add(member.group(2))
            elif loaded:
                files.setdefault(os.path.normpath(loaded.group(1)), set())
    return files


def version_of(source, build):
    kind, name = source.split(":")
    if kind == "deb":
        return subprocess.run(["dpkg-query", "-W", "-f", "${Version}", name], check=True, capture_output=True, text=True).stdout
    with open(os.path.join(build, "mingw-deps", "lib", "pkgconfig", name + ".pc"), encoding="utf-8") as file:
        return re.search(r"^Version:\s*(\S+)", file.read(), re.M).group(1)


def package(spdx_id, name, version, licence, copyright_text, supplier="NOASSERTION", checksum=None, comment=None):
    entry = {"SPDXID": spdx_id, "name": name, "versionInfo": version, "downloadLocation": "NOASSERTION",
             "filesAnalyzed": False, "licenseConcluded": licence, "licenseDeclared": licence,
             "copyrightText": copyright_text, "supplier": supplier}
    if checksum:
        entry["checksums"] = [{"algorithm": "SHA256", "checksumValue": checksum}]
    if comment:
        entry["comment"] = comment
    return entry


def claim(files):
    """Which package each linked file belongs to; stops at a file that none claims."""
    used, juce_modules, unclaimed = {}, set(), []
    for path, members in sorted(files.items()):
        absolute = path if os.path.isabs(path) else "/" + path
        if any(re.search(rule, absolute) for rule in OWN_FILES):
            continue
        owner = next((p for p in PACKAGES if any(re.search(rule, absolute) for rule in p[4])), None)
        if owner is None:
            unclaimed.append(path)
            continue
        used[owner[0]] = owner
        if owner[0] == "JUCE":
            juce_modules.update(m.split(".")[0] for m in members if m.startswith("juce_"))
    if unclaimed:
        sys.exit("make_sbom.py: linked, but in no package of the bill of materials: " + ", ".join(unclaimed))
    return [p for p in PACKAGES if p[0] in used], sorted(juce_modules)


def constant(path, name):
    with open(path, encoding="utf-8") as file:
        return re.search(r'constexpr const char\* ' + name + r' = "([^"]*)"', file.read()).group(1)


def compiled_in(platform):
    return [p for p in PACKAGES if p[0] in COMPILED_IN[platform]]


def notice_inputs(platform, fonts_licence):
    """The files the notices of a build are made from."""
    files = [f for p in compiled_in(platform) for f in p[5] if not f.startswith("text:")]
    return files + [fonts_licence, os.path.abspath(__file__)]


def notices(platform, fonts_licence):
    """THIRD-PARTY-NOTICES.txt: each compiled-in package's copyright and licence, then the fonts'."""
    introduction = ("%s contains the following components. Each is listed with its licence and the copyright "
                    "and licence text of its source package." % PROGRAM_FILE[platform])
    if platform in SYSTEM_LIBRARIES:
        introduction += " " + SYSTEM_LIBRARIES[platform]
    parts = [NOTICES_HEADING + "\n\n" + introduction + "\n"]
    sections = [(name, licence, files) for name, licence, _, _, _, files in compiled_in(platform)]
    sections.append(("Nunito (the two font files)", "OFL-1.1", [fonts_licence]))
    for name, licence, files in sections:
        texts = []
        for source in files:
            if source.startswith("text:"):
                texts.append(JUCE_TERMS if source == "text:JUCE_TERMS" else source[5:])
            else:
                with open(source, encoding="utf-8") as file:
                    texts.append(file.read().strip())
        rule = "=" * 56
        parts.append("%s\n%s (%s)\n%s\n\n%s\n" % (rule, name, licence, rule, "\n\n".join(texts)))
    return "\n".join(parts)


def carries(exe_path, text):
    """Whether the exe holds the text, with LF line ends, as a resource of its own (juceaide ends one with a 0)."""
    with open(exe_path, "rb") as file:
        return (text.replace("\r\n", "\n").encode("utf-8") + b"\0") in file.read()


def main():
    parser = argparse.ArgumentParser()
    for option in ("--exe", "--map", "--build", "--source", "--out", "--notices", "--notices-only"):
        parser.add_argument(option)
    parser.add_argument("--notice-inputs", action="store_true")
    parser.add_argument("--platform", choices=sorted(COMPILED_IN), default="windows")
    arguments = parser.parse_args()
    if not arguments.source:
        parser.error("--source is needed")
    fonts_licence = os.path.join(arguments.source, "resources", "OFL.txt")

    if arguments.notice_inputs:
        print("\n".join(notice_inputs(arguments.platform, fonts_licence)))
        return
    if arguments.notices_only:
        with open(arguments.notices_only, "w", encoding="utf-8", newline="\n") as file:
            file.write(notices(arguments.platform, fonts_licence))
        return
    missing = [o for o in ("exe", "map", "build", "out", "notices") if not getattr(arguments, o)]
    if missing or arguments.platform != "windows":
        parser.error("the bill of materials is the Windows exe's, and needs --exe, --map, --build, --out and --notices")

    exe_sha = sha256(arguments.exe)
    commit_time = int(subprocess.run(["git", "-C", arguments.source, "log", "-1", "--format=%ct"], check=True,
                                     capture_output=True, text=True).stdout)
    used, juce_modules = claim(linked_files(arguments.map))
    # The notices compiled into the exe name every package of its list: the map must take exactly those.
    if [p[0] for p in used] != COMPILED_IN["windows"]:
        sys.exit("make_sbom.py: the exe's notices name %s, but the linker took %s"
                 % (", ".join(COMPILED_IN["windows"]), ", ".join(p[0] for p in used)))
    catalogue = os.path.join(arguments.source, "source", "engine", "Catalogue.h")
    plugin = constant(catalogue, "name") + " " + constant(catalogue, "version")
    resources = os.path.join(arguments.source, "resources")

    with open(os.path.join(arguments.build, "CMakeCache.txt"), encoding="utf-8") as file:
        cache = file.read()
    installer_version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache, re.M).group(1)
    packages = [package("SPDXRef-tw-installer", "tw_installer", installer_version, "LicenseRef-Tarnwick-EULA",
                        "Copyright " + MAKER, "Organization: " + MAKER, exe_sha, "The installer of " + plugin + " for 64-bit Windows")]
    for index, (name, licence, source, copyright_text, _, _) in enumerate(used):
        comment = "Modules compiled in: " + ", ".join(juce_modules) if name == "JUCE" else None
        packages.append(package("SPDXRef-Package-%d" % index, name, version_of(source, arguments.build), licence,
                                copyright_text, comment=comment))
    fonts = [("Nunito Regular", "SF-Pro-Rounded-Regular.otf"), ("Nunito SemiBold", "SF-Pro-Rounded-Semibold.otf")]
    for index, (name, file_name) in enumerate(fonts):
        packages.append(package("SPDXRef-Font-%d" % index, "Nunito", "0.4.2", "OFL-1.1", "Copyright 2014 The Nunito Project Authors",
                                checksum=sha256(os.path.join(resources, file_name)),
                                comment=name + " of @expo-google-fonts/nunito 0.4.2, compiled in as " + file_name))
    archives = re.search(r"^TW_PLUGIN_ARCHIVES_DIR:PATH=(.*)$", cache, re.M)
    archives = os.path.join(arguments.build, archives.group(1)) if archives and archives.group(1) else resources
    for file_name in ("aax.zip", "clap.zip", "vst3.zip"):
        archive = os.path.join(archives, file_name)
        packages.append(package("SPDXRef-Archive-" + file_name.split(".")[0], plugin + " " + file_name, constant(catalogue, "version"),
                                "LicenseRef-Tarnwick-EULA", "Copyright " + MAKER, "Organization: " + MAKER, sha256(archive),
                                "The plug-in archive compiled in as " + file_name))

    document = {
        "spdxVersion": "SPDX-2.3",
        "dataLicense": "CC0-1.0",
        "SPDXID": "SPDXRef-DOCUMENT",
        "name": "tw_installer.exe",
        "documentNamespace": "https://spdx.tarnwick.com/tw_installer/" + exe_sha,
        "creationInfo": {"created": datetime.datetime.fromtimestamp(commit_time, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"),
                         "creators": ["Organization: " + MAKER, "Tool: tw_installer-make_sbom"]},
        "documentDescribes": ["SPDXRef-tw-installer"],
        "packages": packages,
        "hasExtractedLicensingInfos": [{"licenseId": key, "extractedText": text} for key, text in sorted(LICENCE_REFS.items())],
        "relationships": [{"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES", "relatedSpdxElement": "SPDXRef-tw-installer"}]
        + [{"spdxElementId": "SPDXRef-tw-installer", "relationshipType": "STATIC_LINK" if p["SPDXID"].startswith("SPDXRef-Package") else "CONTAINS",
            "relatedSpdxElement": p["SPDXID"]} for p in packages[1:]],
    }
    text = notices("windows", fonts_licence)
    if not carries(arguments.exe, text):
        sys.exit("make_sbom.py: the exe does not carry these third-party notices (built from other sources or packages?)")
    with open(arguments.notices, "w", encoding="utf-8", newline="\r\n") as file:
        file.write(text)
    with open(arguments.out, "w", encoding="utf-8") as file:
        json.dump(document, file, indent=2, sort_keys=True)
        file.write("\n")


if __name__ == "__main__":
    main()
