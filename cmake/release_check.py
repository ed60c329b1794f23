#!/usr/bin/env python3
"""Checks ruvo's release folder as it lies, the last step before the upload.

Usage: release_check.py FOLDER --version=V --schemas=DIR [--download-url=U]
       [--homepage=H] [--license-url=L] [--publisher=P] [--description=D]
       [--ruvo-exe=FILE] [--ruvo=FILE --strip=STRIP]

The target release-check runs it on build-release/release with the settings
of the build folder; the target release runs it last. FOLDER must hold
exactly the files to upload, each of version V:
- ruvo_V_<arch>.deb, package ruvo of version V, whose program is --ruvo as
  cpack strips it;
- ruvo-V-win32.zip, one folder ruvo with ruvo.exe, README-windows.txt and
  LICENSE.txt, the two texts with CR LF line ends; and ruvo-V-win32.msi,
  which installs the very same files. The ruvo.exe in both is --ruvo-exe,
  the file that the build linked and signed;
- SHA256SUMS: the three packages and their digests, as sha256sum -c reads it;
- winget's ruvo.ruvo.yaml, ruvo.ruvo.installer.yaml and
  ruvo.ruvo.locale.en-US.yaml, and scoop's ruvo.json. Each validates
  against its published schema in DIR (RUVO_MANIFEST_SCHEMAS), and together
  they name what no schema checks: one package, ruvo.ruvo of version V, with
  the ProductCode, UpgradeCode and scope of the .msi; each package at --
  download-url and its name, with its SHA-256; every path inside the .zip
  that they name; scoop's checkver and autoupdate finding V; the homepage,
  the licence's address, the publisher and the description as given. Every
  address is https://, with no query or fragment, and names no version but V.
Signatures: given a certificate, RUVO_SIGNING_CERT (a PEM file, the signer's
certificate first, then any of its chain) or else RUVO_SIGNING_PFX with
RUVO_SIGNING_PASSWORD, ruvo.exe as built, in the .zip and in the .msi, and
the .msi itself are each signed once, with SHA-256, by that certificate, and
verify against the system's roots or the certificate itself (osslsigncode).
Given none, none of them is signed.

It names every fault it finds and exits 1 when there is one, 0 when the
release is ready. A check that cannot run (a missing tool, schemas that
cannot be read) is a fault too.
"""
import argparse
import hashlib
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import urllib.parse
import zipfile

try:
    import jsonschema
    import rfc3987  # noqa: F401 (jsonschema checks "uri" formats with it, or not at all)
    import yaml
except ImportError as error:
    sys.exit(f"The release check needs Python 3 with jsonschema, rfc3987 and yaml (packages "
             f"python3-jsonschema, python3-rfc3987 and python3-yaml): {error}")

TOOLS = {"dpkg-deb": "dpkg", "msiextract": "msitools", "msiinfo": "msitools",
         "osslsigncode": "osslsigncode", "openssl": "openssl"}
WINGET = ["ruvo.ruvo.yaml", "ruvo.ruvo.installer.yaml", "ruvo.ruvo.locale.en-US.yaml"]
ZIP_FILES = ["ruvo/", "ruvo/LICENSE.txt", "ruvo/README-windows.txt", "ruvo/ruvo.exe"]
faults = []


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def sha256(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def check_files(folder, version):
    """The folder's files: exactly those of the release. Returns the packages' names."""
    msi, zip_name = (f"ruvo-{version}-win32.{kind}" for kind in ("msi", "zip"))
    present = sorted(os.listdir(folder))
    debs = [name for name in present if re.fullmatch(rf"ruvo_{re.escape(version)}_[a-z0-9]+\.deb",
                                                     name)]
    expected = [msi, zip_name, "SHA256SUMS", "ruvo.json"] + WINGET + debs[:1]
    faults.extend(f"{name}: not a file of ruvo {version}'s release"
                  for name in present if name not in expected)
    if not debs:
        expected.append(f"ruvo_{version}_<architecture>.deb")
    faults.extend(f"no {name} in {folder}" for name in expected if name not in present)
    return [name for name in (debs[:1] + [msi, zip_name]) if name in present]


def check_sums(folder, packages):
    try:
        with open(f"{folder}/SHA256SUMS", encoding="utf-8") as file:
            lines = file.read().splitlines()
    except (OSError, ValueError) as error:
        faults.append(f"SHA256SUMS cannot be read: {error}")
        return
    listed = {}
    for line in lines:
        found = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line)
        if not found or found.group(2) in listed:
            faults.append(f"SHA256SUMS: \"{line}\" is not a digest and the name of one more "
                          f"package")
        else:
            listed[found.group(2)] = found.group(1)
    for name, digest in listed.items():
        if name not in packages:
            faults.append(f"SHA256SUMS lists {name}, which is no package of this release")
        elif digest != sha256(f"{folder}/{name}"):
            faults.append(f"SHA256SUMS gives {digest} for {name}, whose SHA-256 is "
                          f"{sha256(f'{folder}/{name}')}")
    faults.extend(f"SHA256SUMS does not list {name}" for name in packages if name not in listed)


def check_deb(folder, deb, version, program, strip, work):
    fields = run("dpkg-deb", "-f", f"{folder}/{deb}", "Package", "Version").stdout
    if fields.split() != ["Package:", "ruvo", "Version:", version]:
        faults.append(f"{deb} is not the package ruvo {version}: {' '.join(fields.split())}")
    if not program:
        return
    stripped = f"{work}/ruvo.stripped"
    done = run(strip, "-o", stripped, program)
    tar = subprocess.run(["dpkg-deb", "--fsys-tarfile", f"{folder}/{deb}"], capture_output=True)
    if done.returncode != 0 or tar.returncode != 0:
        faults.append(f"{deb} cannot be compared with {program}: {done.stderr}"
                      f"{tar.stderr.decode(errors='replace')}")
        return
    with tarfile.open(fileobj=io.BytesIO(tar.stdout)) as archive:
        try:
            packed = archive.extractfile("./usr/bin/ruvo").read()
        except KeyError:
            packed = None
    with open(stripped, "rb") as file:
        if packed != file.read():
            faults.append(f"{deb} does not hold {program} as built: make the release anew")


def check_windows_packages(folder, msi, zip_name, built_exe, work):
    """The .zip's and the .msi's files. Returns the paths of ruvo.exe in each."""
    try:
        with zipfile.ZipFile(f"{folder}/{zip_name}") as package:
            held = sorted(package.namelist())
            package.extractall(f"{work}/zip")
    except (OSError, zipfile.BadZipFile) as error:
        faults.append(f"{zip_name} cannot be read: {error}")
        return []
    faults.extend(f"{zip_name} lacks {name}" for name in ZIP_FILES if name not in held)
    faults.extend(f"{zip_name} holds {name}, which is no file of ruvo's"
                  for name in held if name not in ZIP_FILES)
    for text in ("LICENSE.txt", "README-windows.txt"):
        if f"ruvo/{text}" in held:
            with open(f"{work}/zip/ruvo/{text}", "rb") as file:
                if re.search(rb"(?<!\r)\n", file.read()):
                    faults.append(f"{text} in {zip_name} has a line without CR LF")
    unpacked = run("msiextract", "-C", f"{work}/msi", f"{folder}/{msi}")
    installed = f"{work}/msi/Program Files/ruvo"
    if unpacked.returncode != 0:
        faults.append(f"msiextract cannot unpack {msi}: {unpacked.stderr.strip()}")
        return [(f"{zip_name}:ruvo.exe", f"{work}/zip/ruvo/ruvo.exe")]
    in_zip = sorted(name[5:] for name in held if name in ZIP_FILES[1:])
    in_msi = sorted(os.listdir(installed)) if os.path.isdir(installed) else []
    if in_msi != in_zip:
        faults.append(f"{msi} installs {in_msi} into Program Files\\ruvo, {zip_name} holds "
                      f"{in_zip}")
    for name in set(in_zip) & set(in_msi):
        if sha256(f"{work}/zip/ruvo/{name}") != sha256(f"{installed}/{name}"):
            faults.append(f"{name} differs between {zip_name} and {msi}")
    exes = [(f"{zip_name}:ruvo.exe", f"{work}/zip/ruvo/ruvo.exe"),
            (f"{msi}:ruvo.exe", f"{installed}/ruvo.exe")]
    exes = [(name, path) for name, path in exes if os.path.isfile(path)]
    if built_exe:
        if not os.path.isfile(built_exe):
            faults.append(f"no {built_exe}: the target release builds it")
        else:
            faults.extend(f"{name} is not {built_exe}, the ruvo.exe that the build signed: make "
                          f"the release anew" for name, path in exes
                          if sha256(path) != sha256(built_exe))
            exes.append((built_exe, built_exe))
    return exes


def signing_certificate(work):
    """The certificate that signs the release, from the environment: (the roots to verify
    against, "issuer serial", its file), or None when the build was given none."""
    pem = os.environ.get("RUVO_SIGNING_CERT", "")
    pfx = os.environ.get("RUVO_SIGNING_PFX", "")
    if not pem and pfx:
        if "RUVO_SIGNING_PASSWORD" not in os.environ:
            faults.append("RUVO_SIGNING_PFX is set: its certificate needs RUVO_SIGNING_PASSWORD, "
                          "or name the certificate's file in RUVO_SIGNING_CERT")
            return None
        pem = f"{work}/certificate.pem"
        chain = ""
        for kind in ("-clcerts", "-cacerts"):
            read = run("openssl", "pkcs12", "-in", pfx, "-nokeys", kind,
                       "-passin", "env:RUVO_SIGNING_PASSWORD")
            if read.returncode != 0:
                faults.append(f"the certificate of {pfx} cannot be read: {read.stderr.strip()}")
                return None
            chain += read.stdout
        with open(pem, "w", encoding="utf-8") as file:
            file.write(chain)
    if not pem:
        return None
    read = run("openssl", "x509", "-in", pem, "-noout", "-serial", "-issuer", "-nameopt", "compat")
    found = re.search(r"serial=0*([0-9A-F]+)\nissuer=(.*)", read.stdout)
    if read.returncode != 0 or not found:
        faults.append(f"{pem} holds no certificate in PEM: {read.stderr.strip()}")
        return None
    # A certificate from a certification authority verifies against the
    # system's roots, a self-signed one against itself.
    roots = f"{work}/roots.pem"
    with open(roots, "w", encoding="utf-8") as file:
        for source in (pem, "/etc/ssl/certs/ca-certificates.crt"):
            if os.path.exists(source):
                with open(source, encoding="utf-8") as part:
                    file.write(part.read() + "\n")
    return roots, f"{found.group(2)} {found.group(1)}", pem


def check_signatures(files, certificate):
    for name, path in files:
        command = ["osslsigncode", "verify", "-in", path]
        if certificate:
            command += ["-CAfile", certificate[0]]
        verified = run(*command)
        output = verified.stdout + verified.stderr
        digests = sorted(set(re.findall(r"Message digest algorithm *: *([A-Z0-9]+)", output)))
        found = re.search(r"Signer's certificate:[^#]*Signer #0:\n[^\n]*\n\s*Issuer : ([^\n]*)\n"
                          r"\s*Serial : 0*([0-9A-F]+)", output)
        by = f"{found.group(1)} {found.group(2)}" if found else "nobody"
        if not certificate:
            if not re.search(r"[Nn]o signature", output):
                faults.append(f"{name} is signed, and the build was given no certificate")
        elif verified.returncode != 0:
            faults.append(f"{name} carries no signature that verifies: {' '.join(output.split())}")
        elif digests != ["SHA256"]:
            faults.append(f"{name} is signed with {', '.join(digests)}, not SHA-256")
        elif "Signature Index: 1" in output or by != certificate[1]:
            faults.append(f"{name} is not signed once, by {certificate[2]} ({certificate[1]}): "
                          f"by {by}")


def check_address(where, address, version):
    parts = urllib.parse.urlsplit(address)
    versions = set(re.findall(r"[0-9]+(?:\.[0-9]+)+", parts.path)) - {version}
    if parts.scheme != "https" or not parts.netloc:
        faults.append(f"{where}: {address} is not an https:// address")
    if "?" in address or "#" in address:
        faults.append(f"{where}: {address} holds a query or a fragment")
    if versions:
        faults.append(f"{where}: {address} names version {', '.join(sorted(versions))}, not "
                      f"{version} alone")


def check_manifests(folder, version, options):
    winget = {}
    try:
        for name in WINGET:
            with open(f"{folder}/{name}", encoding="utf-8") as file:
                winget[name] = yaml.safe_load(file)
        with open(f"{folder}/ruvo.json", encoding="utf-8") as file:
            scoop = json.load(file)
    except (OSError, ValueError, yaml.YAMLError) as error:
        faults.append(f"the manifests cannot be read: {error}")
        return
    kinds = ["version", "installer", "defaultLocale", "scoop"]
    documents = list(winget.items()) + [("ruvo.json", scoop)]
    for (name, manifest), kind in zip(documents, kinds):
        schema = (f"{options.schemas}/scoop/schema.json" if kind == "scoop" else
                  f"{options.schemas}/winget-1.10.0/manifest.{kind}.1.10.0.json")
        try:
            with open(schema, encoding="utf-8") as file:
                validator = jsonschema.Draft7Validator(
                    json.load(file), format_checker=jsonschema.Draft7Validator.FORMAT_CHECKER)
        except (OSError, ValueError) as error:
            faults.append(f"{name} cannot be validated: RUVO_MANIFEST_SCHEMAS "
                          f"({options.schemas}) holds no schema that can be read: {error}")
            continue
        faults.extend(f"{name}: {e.message} (at /{'/'.join(map(str, e.path))})"
                      for e in validator.iter_errors(manifest))
    installer, locale = winget[WINGET[1]], winget[WINGET[2]]
    if not isinstance(installer, dict) or not isinstance(locale, dict):
        faults.append("the winget manifests are not mappings")
        return

    msi, zip_name = (f"ruvo-{version}-win32.{kind}" for kind in ("msi", "zip"))
    lines = run("msiinfo", "export", f"{folder}/{msi}", "Property").stdout
    # The rows that are read; a value may run over several lines (a script's).
    properties = dict(re.findall(r"^(ProductVersion|ProductCode|UpgradeCode|ALLUSERS)\t([^\r\n]*)",
                                 lines, re.MULTILINE))
    packages = [(m.get("PackageIdentifier"), str(m.get("PackageVersion"))) for m in winget.values()]
    read = packages + [scoop.get("version"), properties.get("ProductVersion")]
    if read != [("ruvo.ruvo", version)] * 3 + [version] * 2:
        faults.append(f"winget's packages {packages}, scoop's version {scoop.get('version')} and "
                      f"{msi}'s {properties.get('ProductVersion')} are not one package "
                      f"ruvo.ruvo of version {version}")

    installers = installer.get("Installers", [])
    named = [(i.get("InstallerUrl", ""), i.get("InstallerSha256", ""),
              msi if i.get("InstallerType") == "msi" else zip_name) for i in installers]
    for address, digest, name in named + [(scoop.get("url", ""), scoop.get("hash", ""),
                                           zip_name)]:
        expected = (options.download_url or address.rpartition("/")[0] + "/") + name
        actual = sha256(f"{folder}/{name}") if os.path.exists(f"{folder}/{name}") else None
        if address != expected or str(digest).lower() != actual:
            faults.append(f"{address} with SHA-256 {digest}: not {expected}, whose SHA-256 is "
                          f"{actual}")
    scope = "machine" if properties.get("ALLUSERS") == "1" else "user"
    codes = [(i.get("ProductCode"), [e.get("UpgradeCode") for e in i.get("AppsAndFeaturesEntries",
                                                                         [])], i.get("Scope"))
             for i in installers if i.get("InstallerType") == "msi"]
    if codes != [(properties.get("ProductCode"), [properties.get("UpgradeCode")], scope)]:
        faults.append(f"the .msi installers' ProductCode, UpgradeCode and Scope: {codes}, not "
                      f"those of {msi}, which installs per {scope}")

    held = set()
    if os.path.exists(f"{folder}/{zip_name}"):
        with zipfile.ZipFile(f"{folder}/{zip_name}") as package:
            held = set(package.namelist())
    paths = [f"{scoop.get('extract_dir', '.')}/{scoop.get('bin')}"] + [
        f["RelativeFilePath"].replace("\\", "/")
        for i in installers for f in i.get("NestedInstallerFiles", [])]
    faults.extend(f"{path}: named by a manifest, not in {zip_name}"
                  for path in paths if path not in held)

    checkver, autoupdate = scoop.get("checkver", {}), scoop.get("autoupdate", {})
    found = re.search(checkver.get("regex", "$^"), zip_name)
    if (found and found.group(1)) != version or checkver.get("url") != scoop.get("homepage"):
        faults.append(f"scoop's checkver {checkver} finds no version {version} on the homepage "
                      f"{scoop.get('homepage')}")
    next_url = autoupdate.get("url", "").replace("$version", version)
    if next_url != scoop.get("url"):
        faults.append(f"scoop's autoupdate address {autoupdate.get('url')} is not "
                      f"{scoop.get('url')}")

    # What the build was given, read back: where, as read, as given.
    given = [("winget's PackageUrl", locale.get("PackageUrl"), options.homepage),
             ("winget's PublisherUrl", locale.get("PublisherUrl"), options.homepage),
             ("scoop's homepage", scoop.get("homepage"), options.homepage),
             ("winget's LicenseUrl", locale.get("LicenseUrl"), options.license_url),
             ("winget's Publisher", locale.get("Publisher"), options.publisher),
             ("winget's ShortDescription", locale.get("ShortDescription"), options.description),
             ("scoop's description", scoop.get("description"), options.description)]
    faults.extend(f"{where} reads back as {have!r}, not as {option!r}"
                  for where, have, option in given
                  if option is not None and have != (option or None))

    addresses = [("winget", address) for address, _, _ in named] + [
        ("winget", locale.get(key)) for key in ("PackageUrl", "PublisherUrl", "LicenseUrl")
        if locale.get(key)] + [
        ("scoop", scoop.get(key)) for key in ("homepage", "url")] + [
        ("scoop checkver", checkver.get("url")), ("scoop autoupdate", next_url)]
    for where, address in addresses:
        check_address(where, str(address), version)


def main():
    parser = argparse.ArgumentParser(description="Checks ruvo's release folder.")
    parser.add_argument("folder")
    parser.add_argument("--version", required=True)
    parser.add_argument("--schemas", required=True)
    for name in ("download-url", "homepage", "license-url", "publisher", "description",
                 "ruvo-exe", "ruvo", "strip"):
        parser.add_argument(f"--{name}")
    options = parser.parse_args()
    missing = [f"{tool} (package {package})" for tool, package in TOOLS.items()
               if not shutil.which(tool)]
    if missing:
        sys.exit(f"The release check cannot run: it needs {', '.join(missing)}")
    folder, version = options.folder, options.version
    if not os.path.isdir(folder):
        sys.exit(f"No release in {folder}: the target release makes it")
    with tempfile.TemporaryDirectory() as work:
        packages = check_files(folder, version)
        check_sums(folder, packages)
        msi, zip_name = (f"ruvo-{version}-win32.{kind}" for kind in ("msi", "zip"))
        if packages and packages[0].endswith(".deb"):
            check_deb(folder, packages[0], version, options.ruvo, options.strip or "strip", work)
        if msi in packages and zip_name in packages:
            exes = check_windows_packages(folder, msi, zip_name, options.ruvo_exe, work)
            check_signatures(exes + [(msi, f"{folder}/{msi}")], signing_certificate(work))
            check_manifests(folder, version, options)
    if faults:
        print(f"The release in {folder} is not ready:\n" + "\n".join(f"- {f}" for f in faults))
        return 1
    print(f"The release in {folder} is ready to upload")
    return 0


if __name__ == "__main__":
    sys.exit(main())
