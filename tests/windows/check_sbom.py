"""Checks a release's bill of materials: valid SPDX 2.3 (Debian's python3-jsonschema), the exe's
SHA-256, every expected package with a licence and a relationship to the exe, and, against the
linker's map, that every linked archive belongs to a package and that an archive no package claims
stops tools/sbom/make_sbom.py.

    check_sbom.py SBOM SCHEMA EXE MAP
"""
import hashlib
import json
import os
import sys

import jsonschema

sbom_path, schema_path, exe, map_path = sys.argv[1:5]
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools", "sbom"))
import make_sbom  # noqa: E402


def fail(message):
    sys.exit("FAILED: " + message)


with open(sbom_path, encoding="utf-8") as file:
    sbom = json.load(file)
with open(schema_path, encoding="utf-8") as file:
    schema = json.load(file)
jsonschema.validators.validator_for(schema)(schema).validate(sbom)

packages = {p["SPDXID"]: p for p in sbom["packages"]}
names = sorted(p["name"] for p in packages.values())
expected = ["JUCE", "zlib", "libpng", "libjpeg-turbo", "MinGW-w64 runtime", "libstdc++", "libgcc", "Nunito", "tw_installer"]
for name in expected:
    if name not in names:
        fail("no package %s in %s" % (name, names))
if sum(1 for n in names if n.endswith(".zip")) != 3 or names.count("Nunito") != 2:
    fail("not three plug-in archives and two fonts: %s" % names)

with open(exe, "rb") as file:
    exe_sha = hashlib.sha256(file.read()).hexdigest()
program = packages[sbom["documentDescribes"][0]]
if program["checksums"][0]["checksumValue"] != exe_sha or not sbom["documentNamespace"].endswith(exe_sha):
    fail("the bill of materials is not the exe's (%s)" % exe_sha)

related = {r["relatedSpdxElement"] for r in sbom["relationships"] if r["spdxElementId"] == program["SPDXID"]}
for spdx_id, package in packages.items():
    if package["licenseDeclared"] in ("", "NOASSERTION") or not package["versionInfo"]:
        fail("%s has no licence or version" % package["name"])
    if spdx_id != program["SPDXID"] and spdx_id not in related:
        fail("%s is not related to the exe" % package["name"])

# Every package the map needs is listed; a linked archive that no package claims stops the release.
files = make_sbom.linked_files(map_path)
used, modules = make_sbom.claim(files)
missing = [p[0] for p in used if p[0] not in names]
if missing or "juce_core" not in modules:
    fail("the map links %s, which the bill of materials lacks (JUCE modules: %s)" % (missing, modules))
files["/usr/lib/gcc/x86_64-w64-mingw32/12-posix/libquadmath.a"] = {"quadmath.o"}
try:
    make_sbom.claim(files)
    fail("a linked archive that no package claims was let through")
except SystemExit as refusal:
    if "libquadmath.a" not in str(refusal):
        raise
print("bill of materials: valid SPDX 2.3, the exe's SHA-256, %d packages, all %d linked files claimed; an unknown archive refused"
      % (len(packages), len(files) - 1))
