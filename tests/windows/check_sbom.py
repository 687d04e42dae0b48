"""check_sbom.py SBOM SCHEMA EXE MAP NOTICES: valid SPDX 2.3, the exe's SHA-256, every expected package with a licence, a
version and a relationship to the exe; every file in the linker's map claimed, and an archive no package claims refused;
the notices beside the exe (CRLF) are, with LF line ends, the resource the exe shows in its licence panel."""
import hashlib, json, os, sys
import jsonschema

sbom_path, schema_path, exe, map_path, notices_path = sys.argv[1:6]
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools", "sbom"))
import make_sbom  # noqa: E402

sbom, schema = (json.load(open(path, encoding="utf-8")) for path in (sbom_path, schema_path))
jsonschema.validators.validator_for(schema)(schema).validate(sbom)
packages = {p["SPDXID"]: p for p in sbom["packages"]}
names = sorted(p["name"] for p in packages.values())
program = packages[sbom["documentDescribes"][0]]
exe_sha = hashlib.sha256(open(exe, "rb").read()).hexdigest()
related = {r["relatedSpdxElement"] for r in sbom["relationships"] if r["spdxElementId"] == program["SPDXID"]}
problems = ["no package " + n for n in ("JUCE", "zlib", "libpng", "libjpeg-turbo", "MinGW-w64 runtime", "libstdc++", "libgcc")
            if n not in names]
problems += ["not 3 archives and 2 fonts"] if sum(n.endswith(".zip") for n in names) != 3 or names.count("Nunito") != 2 else []
problems += ["not the exe's"] if program["checksums"][0]["checksumValue"] != exe_sha or not sbom["documentNamespace"].endswith(exe_sha) else []
problems += [p["name"] + " lacks a licence, a version or a relationship" for i, p in packages.items()
             if p["licenseDeclared"] == "NOASSERTION" or not p["versionInfo"] or (p is not program and i not in related)]

files = make_sbom.linked_files(map_path)
used, modules = make_sbom.claim(files)
problems += ["the map links %s, which is not listed" % p[0] for p in used if p[0] not in names]
problems += ["no JUCE modules"] if "juce_gui_basics" not in modules else []
files["/usr/lib/gcc/x86_64-w64-mingw32/12-posix/libquadmath.a"] = {"quadmath.o"}
try:
    make_sbom.claim(files)
    problems.append("an archive that no package claims was let through")
except SystemExit as refusal:
    problems += [] if "libquadmath.a" in str(refusal) else [str(refusal)]
notices = open(notices_path, "rb").read()
problems += ["the notices' line ends are not all CRLF"] if b"\n" in notices.replace(b"\r\n", b"") else []
problems += ["the notices are not the text compiled into the exe"] if notices.replace(b"\r\n", b"\n") + b"\0" not in open(exe, "rb").read() else []
if problems:
    sys.exit("FAILED: " + "; ".join(problems))
print("bill of materials: valid SPDX 2.3, the exe's SHA-256, %d packages, the map's %d files claimed, an unknown archive refused;"
      " the notices beside the exe are those compiled into it" % (len(packages), len(files) - 1))
