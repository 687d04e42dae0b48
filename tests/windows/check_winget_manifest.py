#!/usr/bin/env python3
"""Checks the winget manifest that scripts/release wrote: each of the three files against winget's
JSON schema of its type (1.10.0), the values deployment depends on, and InstallerSha256 against the
released exe.

    check_winget_manifest.py MANIFEST_FOLDER SCHEMA_FOLDER EXE URL

Prints what it checked; exits 1 with the first thing that is wrong."""
import hashlib
import json
import sys
from pathlib import Path

import jsonschema
import yaml

folder, schemas, exe, url = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3]), sys.argv[4]
package = "Tarnwick.Morvane4"


def fail(message):
    sys.exit(f"FAILED: {message}")


files = {
    "version": folder / f"{package}.yaml",
    "installer": folder / f"{package}.installer.yaml",
    "defaultLocale": folder / f"{package}.locale.en-US.yaml",
}
if sorted(p.name for p in folder.iterdir()) != sorted(p.name for p in files.values()):
    fail(f"the manifest folder holds {sorted(p.name for p in folder.iterdir())}")

manifests = {}
for kind, path in files.items():
    manifest = yaml.safe_load(path.read_text(encoding="utf-8"))
    schema = json.loads((schemas / f"manifest.{kind}.1.10.0.json").read_text(encoding="utf-8"))
    try:
        jsonschema.Draft7Validator(schema).validate(manifest)
    except jsonschema.ValidationError as error:
        fail(f"{path.name} does not follow the {kind} schema: {error.message} at {list(error.absolute_path)}")
    if manifest["ManifestType"] != kind or manifest["PackageIdentifier"] != package or manifest["PackageVersion"] != "4.0.2":
        fail(f"{path.name} is not the {kind} manifest of {package} 4.0.2")
    manifests[kind] = manifest

installer = manifests["installer"]
expected = {
    "InstallerType": "exe",
    "Scope": "machine",
    "ElevationRequirement": "elevatesSelf",
    "UpgradeBehavior": "install",
    "RepairBehavior": "installer",
    "InstallerSwitches": {
        "Silent": "--install all --quiet",
        "SilentWithProgress": "--install all --quiet",
        "Log": '--log "<LOGPATH>"',
        "Repair": "--repair",
    },
    "ExpectedReturnCodes": [
        {"InstallerReturnCode": 1618, "ReturnResponse": "installInProgress"},
        {"InstallerReturnCode": 3010, "ReturnResponse": "rebootRequiredToFinish"},
        {"InstallerReturnCode": 112, "ReturnResponse": "diskFull"},
        {"InstallerReturnCode": 2, "ReturnResponse": "invalidParameter"},
    ],
    "AppsAndFeaturesEntries": [
        {"DisplayName": "Morvane4", "Publisher": "Tarnwick", "DisplayVersion": "4.0.2", "ProductCode": "Tarnwick Morvane4"}
    ],
}
for key, value in expected.items():
    if installer.get(key) != value:
        fail(f"{key} is {installer.get(key)!r}, not {value!r}")

[entry] = installer["Installers"]
digest = hashlib.sha256(exe.read_bytes()).hexdigest()
if entry["Architecture"] != "x64" or entry["InstallerUrl"] != url or entry["InstallerSha256"].lower() != digest:
    fail(f"the installer entry {entry} is not x64 at {url} with SHA-256 {digest}")

locale = manifests["defaultLocale"]
for key in ("Publisher", "PackageName", "License", "ShortDescription", "PackageUrl", "PublisherSupportUrl"):
    if not locale.get(key):
        fail(f"the locale file has no {key}")

print(f"winget manifest: 3 files valid against the 1.10.0 schemas, {url}, SHA-256 {digest} of {exe.name}")
