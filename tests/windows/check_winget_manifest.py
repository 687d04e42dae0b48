#!/usr/bin/env python3
"""Checks the winget manifest that scripts/release wrote: each of the three files against winget's
JSON schema of its type (1.10.0), the values deployment depends on, and InstallerSha256 against the
released exe. Prints what it checked; exits 1 with the first thing that is wrong.

    check_winget_manifest.py MANIFEST_FOLDER SCHEMA_FOLDER EXE URL"""
import hashlib
import json
import sys
from pathlib import Path

import jsonschema
import yaml

folder, schemas, exe, url = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3]), sys.argv[4]
kinds = {"version": "", "installer": ".installer", "defaultLocale": ".locale.en-US"}
if sorted(p.name for p in folder.iterdir()) != sorted(f"Tarnwick.Morvane4{suffix}.yaml" for suffix in kinds.values()):
    sys.exit(f"FAILED: the manifest folder holds {sorted(p.name for p in folder.iterdir())}")

manifests = {}
for kind, suffix in kinds.items():
    manifest = yaml.safe_load((folder / f"Tarnwick.Morvane4{suffix}.yaml").read_text(encoding="utf-8"))
    schema = json.loads((schemas / f"manifest.{kind}.1.10.0.json").read_text(encoding="utf-8"))
    try:
        jsonschema.Draft7Validator(schema).validate(manifest)
    except jsonschema.ValidationError as error:
        sys.exit(f"FAILED: the {kind} file does not follow its schema: {error.message} at {list(error.absolute_path)}")
    manifests[kind] = manifest
    assert (manifest["ManifestType"], manifest["PackageIdentifier"], manifest["PackageVersion"]) == (kind, "Tarnwick.Morvane4", "4.0.2")

installer = manifests["installer"]
assert [installer[key] for key in ("InstallerType", "Scope", "ElevationRequirement", "UpgradeBehavior", "RepairBehavior")] \
    == ["exe", "machine", "elevatesSelf", "install", "installer"], installer
assert installer["InstallerSwitches"] == {"Silent": "--install all --quiet", "SilentWithProgress": "--install all --quiet",
                                          "Log": '--log "<LOGPATH>"', "Repair": "--repair"}, installer["InstallerSwitches"]
assert {(c["InstallerReturnCode"], c["ReturnResponse"]) for c in installer["ExpectedReturnCodes"]} \
    == {(1618, "installInProgress"), (3010, "rebootRequiredToFinish"), (112, "diskFull"), (2, "invalidParameter")}
assert installer["AppsAndFeaturesEntries"] == [{"DisplayName": "Morvane4", "Publisher": "Tarnwick", "DisplayVersion": "4.0.2",
                                                "ProductCode": "Tarnwick Morvane4"}], installer["AppsAndFeaturesEntries"]

[entry] = installer["Installers"]
digest = hashlib.sha256(exe.read_bytes()).hexdigest()
if (entry["Architecture"], entry["InstallerUrl"], entry["InstallerSha256"].lower()) != ("x64", url, digest):
    sys.exit(f"FAILED: the installer entry {entry} is not x64 at {url} with the exe's SHA-256 {digest}")

print(f"winget manifest: 3 files valid against the 1.10.0 schemas, {url}, SHA-256 {digest} of {exe.name}")
