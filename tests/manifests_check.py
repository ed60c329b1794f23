#!/usr/bin/env python3
"""Checks the winget and scoop manifests that the target manifests writes.

Usage: manifests_check.py BUILD_FOLDER SCHEMAS [PUBLISHER DESCRIPTION]

Each manifest in BUILD_FOLDER/manifests must validate against its published
schema in SCHEMAS (a step skipped, saying so, where that folder is absent);
and, what no schema checks, name the packages in BUILD_FOLDER: each address
ends in the name of one, ruvo-<version>-win32.msi or .zip, with that file's
SHA-256; the identifier is one, the version, ProductCode and UpgradeCode
those that the .msi holds (msiinfo), and the scope the .msi's; every path
that a manifest names inside the .zip is in the .zip; scoop's checkver finds
this version in the .zip's name, and its autoupdate gives this address for
it. Given PUBLISHER and DESCRIPTION, the manifests read them back unchanged.
Exits 1, naming each fault, when there is one.
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import zipfile

import jsonschema
import yaml

build, schemas = sys.argv[1:3]
winget = {}  # manifest type: (file name, manifest)
for name in sorted(os.listdir(f"{build}/manifests/winget")):
    with open(f"{build}/manifests/winget/{name}", encoding="utf-8") as file:
        manifest = yaml.safe_load(file)
    winget[manifest["ManifestType"]] = (name, manifest)
with open(f"{build}/manifests/scoop/ruvo.json", encoding="utf-8") as file:
    scoop = json.load(file)
assert sorted(winget) == ["defaultLocale", "installer", "version"], sorted(winget)
faults = []

if os.path.isdir(schemas):
    checks = [(name, manifest, f"winget-1.10.0/manifest.{kind}.1.10.0.json")
              for kind, (name, manifest) in winget.items()]
    for name, manifest, schema in checks + [("ruvo.json", scoop, "scoop/schema.json")]:
        with open(f"{schemas}/{schema}", encoding="utf-8") as file:
            validator = jsonschema.Draft7Validator(
                json.load(file), format_checker=jsonschema.Draft7Validator.FORMAT_CHECKER)
        faults += [f"{name}: {e.message} (at /{'/'.join(map(str, e.path))})"
                   for e in validator.iter_errors(manifest)]
else:
    print(f"No schemas in {schemas}: the manifests are not validated against them")

identifier, version = (winget["version"][1][key] for key in ("PackageIdentifier", "PackageVersion"))
msi, zip_name = (f"ruvo-{version}-win32.{kind}" for kind in ("msi", "zip"))
lines = subprocess.run(["msiinfo", "export", f"{build}/{msi}", "Property"],
                       check=True, capture_output=True, text=True).stdout
properties = dict(line.rstrip("\r").split("\t", 1) for line in lines.splitlines()[3:])
packages = [(m["PackageIdentifier"], m["PackageVersion"]) for _, m in winget.values()]
if packages + [scoop["version"]] != [(identifier, properties["ProductVersion"])] * 3 + [version]:
    faults.append(f"winget's packages {packages} and scoop's version {scoop['version']} are not "
                  f"one package of {msi}'s version {properties['ProductVersion']}")

installers = winget["installer"][1]["Installers"]
addresses = [(i["InstallerUrl"], i["InstallerSha256"], i["InstallerType"]) for i in installers]
for address, sha256, kind in addresses + [(scoop["url"], scoop["hash"], "zip")]:
    name = msi if kind == "msi" else zip_name
    with open(f"{build}/{name}", "rb") as file:
        digest = hashlib.sha256(file.read()).hexdigest()
    if not address.endswith("/" + name) or sha256.lower() != digest:
        faults.append(f"{address} with SHA-256 {sha256}: not {name}, whose SHA-256 is {digest}")
scope = "machine" if properties.get("ALLUSERS") == "1" else "user"
codes = [(i.get("ProductCode"), [e.get("UpgradeCode") for e in i.get("AppsAndFeaturesEntries", [])],
          i.get("Scope")) for i in installers if i["InstallerType"] == "msi"]
if codes != [(properties["ProductCode"], [properties["UpgradeCode"]], scope)]:
    faults.append(f"the .msi installers' ProductCode, UpgradeCode and Scope: {codes}, not those "
                  f"of {msi}, which installs per {scope}")

with zipfile.ZipFile(f"{build}/{zip_name}") as package:
    held = set(package.namelist())
named = [f"{scoop.get('extract_dir', '.')}/{scoop['bin']}"] + [
    f["RelativeFilePath"].replace("\\", "/")
    for i in installers for f in i.get("NestedInstallerFiles", [])]
faults += [f"{path}: named by a manifest, not in {zip_name}" for path in named if path not in held]

found = re.search(scoop["checkver"]["regex"], zip_name)
if (found and found.group(1)) != version or scoop["checkver"]["url"] != scoop["homepage"]:
    faults.append(f"scoop's checkver {scoop['checkver']} finds no version {version} on the "
                  f"homepage {scoop['homepage']}")
if scoop["autoupdate"]["url"].replace("$version", version) != scoop["url"]:
    faults.append(f"scoop's autoupdate address {scoop['autoupdate']['url']} is not {scoop['url']}")

if len(sys.argv) > 4:
    locale = winget["defaultLocale"][1]
    read = [locale["Publisher"], locale["ShortDescription"], scoop["description"]]
    if read != [sys.argv[3], sys.argv[4], sys.argv[4]]:
        faults.append(f"the publisher and the description read back as {read}, not as "
                      f"{sys.argv[3:5]}")

print("\n".join(faults) or f"The manifests of ruvo {version} name the packages in {build}")
sys.exit(1 if faults else 0)
