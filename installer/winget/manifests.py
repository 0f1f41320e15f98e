#!/usr/bin/env python3
"""Writes the winget manifests of a release, and checks them.

  manifests.py write RELEASE-FOLDER RELEASE-URL X64-MSI-ENV X86-MSI-ENV
  manifests.py check MANIFEST-FOLDER [RELEASE-FOLDER]

write: into RELEASE-FOLDER/winget, the version, installer and default-locale manifests of the
release's two NSIS setups and two MSI packages (Dravonil-Veriz-Avize-<version>-<arch>-setup.exe and
-<arch>.msi in RELEASE-FOLDER), each with its SHA-256 and the address RELEASE-URL/<file name>. The
MSI-ENV files are the msi.env of each build tree (installer/msi.cmake): version, product and
upgrade codes, publisher, home page.

check: validates each manifest against the published JSON schema of its manifest version (kept in
installer/winget/schema with its licence) and, given the release folder, each installer's
SHA-256 against the file the address names. Exits 1 with one line per finding.
"""
import hashlib
import json
import pathlib
import sys

import jsonschema
import yaml

MANIFEST_VERSION = "1.12.0"
SCHEMAS = pathlib.Path(__file__).resolve().parent / "schema"
PACKAGE_ID = "Dravonil.DravonilVerizAvize"
PRODUCT = "Dravonil Veriz Avize"
# The NSIS setup's exit codes besides 0 (setup.nsi); the MSI's are msiexec's own, which winget knows.
SETUP_RETURN_CODES = [
    {"InstallerReturnCode": 1, "ReturnResponse": "cancelledByUser"},
    {"InstallerReturnCode": 2, "ReturnResponse": "contactSupport"},
    {"InstallerReturnCode": 740, "ReturnResponse": "contactSupport"},
]


def read_env(path):
    return dict(line.split("=", 1) for line in pathlib.Path(path).read_text().splitlines() if "=" in line)


def sha256(path):
    return hashlib.sha256(pathlib.Path(path).read_bytes()).hexdigest().upper()


def write(release, url, env_files):
    release = pathlib.Path(release)
    envs = {env["arch"]: env for env in map(read_env, env_files)}
    version = envs["x64"]["version"]
    common = {"PackageIdentifier": PACKAGE_ID, "PackageVersion": version}
    installers = []
    for arch, env in envs.items():
        setup = f"Dravonil-Veriz-Avize-{version}-{arch}-setup.exe"
        installers.append({
            "Architecture": arch, "InstallerType": "nullsoft", "Scope": "machine",
            "InstallerUrl": f"{url.rstrip('/')}/{setup}", "InstallerSha256": sha256(release / setup),
            "ElevationRequirement": "elevatesSelf",
            "ExpectedReturnCodes": [dict(code) for code in SETUP_RETURN_CODES],
            "AppsAndFeaturesEntries": [{"DisplayName": PRODUCT, "Publisher": env["publisher"],
                                        "DisplayVersion": version, "ProductCode": PRODUCT,
                                        "InstallerType": "nullsoft"}],
        })
        package = f"Dravonil-Veriz-Avize-{version}-{arch}.msi"
        installers.append({
            "Architecture": arch, "InstallerType": "wix", "Scope": "machine",
            "InstallerUrl": f"{url.rstrip('/')}/{package}", "InstallerSha256": sha256(release / package),
            "ProductCode": "{" + env["product_code"] + "}",
            "AppsAndFeaturesEntries": [{"DisplayName": PRODUCT, "Publisher": env["publisher"],
                                        "DisplayVersion": version, "ProductCode": "{" + env["product_code"] + "}",
                                        "UpgradeCode": "{" + env["upgrade_code"] + "}", "InstallerType": "wix"}],
        })
    manifests = {
        f"{PACKAGE_ID}.yaml": {**common, "DefaultLocale": "tr-TR", "ManifestType": "version"},
        f"{PACKAGE_ID}.installer.yaml": {**common, "MinimumOSVersion": "10.0.0.0", "Installers": installers,
                                         "ManifestType": "installer"},
        f"{PACKAGE_ID}.locale.tr-TR.yaml": {
            **common, "PackageLocale": "tr-TR", "Publisher": envs["x64"]["publisher"],
            "PublisherUrl": envs["x64"]["home_page"], "PackageName": PRODUCT, "PackageUrl": envs["x64"]["home_page"],
            "License": "Proprietary",
            "ShortDescription": "Bildirim alanında duran, C sürücüsünü bilinen tehditlere karşı denetleyen koruma aracı.",
            "ManifestType": "defaultLocale"},
    }
    folder = release / "winget"
    folder.mkdir(exist_ok=True)
    for name, content in manifests.items():
        content["ManifestVersion"] = MANIFEST_VERSION
        header = (f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{content['ManifestType']}"
                  f".{MANIFEST_VERSION}.schema.json\n")
        (folder / name).write_text(header + yaml.safe_dump(content, sort_keys=False, allow_unicode=True),
                                   encoding="utf-8")


def check(folder, release=None):
    findings = []
    files = sorted(pathlib.Path(folder).glob("*.yaml"))
    types = set()
    for path in files:
        manifest = yaml.safe_load(path.read_text(encoding="utf-8"))
        kind = manifest.get("ManifestType")
        types.add(kind)
        schema = SCHEMAS / f"manifest.{kind}.{manifest.get('ManifestVersion')}.json"
        if not schema.is_file():
            findings.append(f"{path.name}: no schema {schema.name}")
            continue
        validator = jsonschema.Draft7Validator(json.loads(schema.read_text(encoding="utf-8")))
        findings += [f"{path.name}: {'/'.join(map(str, e.path))}: {e.message}" for e in validator.iter_errors(manifest)]
        for installer in manifest.get("Installers", []) if release else []:
            file = pathlib.Path(release) / installer["InstallerUrl"].rsplit("/", 1)[1]
            if not file.is_file() or sha256(file) != installer["InstallerSha256"]:
                findings.append(f"{path.name}: {file.name}: the SHA-256 is not the file's")
    if types != {"version", "installer", "defaultLocale"}:
        findings.append(f"{folder}: manifests {sorted(types)}, not version, installer and defaultLocale")
    for finding in findings:
        print(finding, file=sys.stderr)
    return not findings


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "write":
        write(sys.argv[2], sys.argv[3], sys.argv[4:])
    elif len(sys.argv) in (3, 4) and sys.argv[1] == "check":
        sys.exit(0 if check(*sys.argv[2:]) else 1)
    else:
        sys.exit(__doc__)
