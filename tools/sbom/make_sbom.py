"""Writes the release's software bill of materials, tw_installer.spdx.json (SPDX 2.3, JSON), from what
the build used: every archive member and object the linker's map (-Wl,-Map) names is put under one
of the packages below, and a file the map names that no package claims stops the release.

    make_sbom.py --exe EXE --map MAP --build BUILD_FOLDER --source SOURCE_FOLDER --out FILE

Versions come from Debian's package database (the toolchain, JUCE, zlib), from the pkg-config files
of libpng and libjpeg-turbo as cross-built from Debian's sources, and from the sources (the
program's version); SHA-256s from the files. `created` is the time of the commit, and
`documentNamespace` is made from the exe's SHA-256: the same exe gives the same bytes.
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
OWN_FILES = [r"/source/libtw_(engine|ui|app|user_shell)\.a$", r"/libtw_binary_data\.a$", r"CMakeFiles/tw_installer\.dir/"]
JUCE_TERMS = ("JUCE's modules juce_core and juce_events are used under the ISC licence; juce_data_structures, "
              "juce_graphics, juce_gui_basics and juce_gui_extra under the JUCE 7 licence that Tarnwick holds "
              "(juce.com/legal), in place of the GNU Affero General Public License v3 that Debian's package also offers.")
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


def notices(used, fonts_licence):
    """THIRD-PARTY-NOTICES.txt: each linked package's copyright and licence, then the fonts'."""
    parts = ["Third-party notices for tw_installer.exe\n\nThe installer contains the following components. "
             "Each is listed with its version, its licence and the copyright and licence text of its source package.\n"]
    sections = [(name, licence, files) for name, licence, _, _, _, files in used]
    sections.append(("Nunito (the two font files)", "OFL-1.1", [fonts_licence]))
    for name, licence, files in sections:
        texts = []
        for source in files:
            if source.startswith("text:"):
                texts.append(JUCE_TERMS if source == "text:JUCE_TERMS" else source[5:])
            else:
                with open(source, encoding="utf-8") as file:
                    texts.append(file.read().strip())
        rule = "=" * 78
        parts.append("%s\n%s (%s)\n%s\n\n%s\n" % (rule, name, licence, rule, "\n\n".join(texts)))
    return "\n".join(parts)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--exe", "--map", "--build", "--source", "--out", "--notices"):
        parser.add_argument(option, required=True)
    arguments = parser.parse_args()

    exe_sha = sha256(arguments.exe)
    commit_time = int(subprocess.run(["git", "-C", arguments.source, "log", "-1", "--format=%ct"], check=True,
                                     capture_output=True, text=True).stdout)
    used, juce_modules = claim(linked_files(arguments.map))
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
    with open(arguments.notices, "w", encoding="utf-8", newline="\r\n") as file:
        file.write(notices(used, os.path.join(resources, "OFL.txt")))
    with open(arguments.out, "w", encoding="utf-8") as file:
        json.dump(document, file, indent=2, sort_keys=True)
        file.write("\n")


if __name__ == "__main__":
    main()
