"""Builds the Windows executables and their zip packages, the same bytes
from the same commit wherever and whenever it runs.

    python3 scripts/packaging.py [--build-root DIR] [--dist DIR]
        [--sign CERT KEY [--timestamp-url URL] [--pkcs11-module MODULE] [--pass-file FILE]]

For win32 and win64: configures the preset in BUILD_ROOT/<preset> (default
build/package/<preset>) with tests off, builds only what ships (velmora-diag;
velmora-triage too for win64), and writes DIST/velmora-diag-<version>-<preset>.zip
(default dist/) holding the collector and README.txt, and
DIST/velmora-triage-<version>-win64.zip holding velmora-triage.exe; then
DIST/SHA256SUMS. The version is the one project() gives in CMakeLists.txt; the
zip entries' time is SOURCE_DATE_EPOCH, else the time of the commit checked out.

With a certificate, each executable is signed (Authenticode, SHA-256, by
osslsigncode) into BUILD_ROOT/signed/<preset>/ before it is zipped, its
signing time the same epoch, so the same commit, certificate and key give the
same bytes; the build trees keep the unsigned executables. The options may
come from VELMORA_SIGN_CERT and VELMORA_SIGN_KEY, VELMORA_SIGN_TIMESTAMP_URL,
VELMORA_SIGN_PKCS11_MODULE and VELMORA_SIGN_PASS_FILE instead. A time-stamp
server (RFC 3161) adds its own time, and with it the bytes differ per run.
"""

import argparse
import dataclasses
import hashlib
import os
import subprocess
import sys
import time
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
PRESETS = ("win32", "win64")
EXE_NAME = "velmora-diag.exe"
TRIAGE_NAME = "velmora-triage.exe"
# What each preset ships; velmora-triage is for 64-bit Windows 7 and later.
SHIPPED = {"win32": (EXE_NAME,), "win64": (EXE_NAME, TRIAGE_NAME)}
SIGNED_DESCRIPTION = "Velmora Drivers Diagnostics"
README_TEMPLATE = ROOT / "scripts" / "package-readme.txt"
ZIP_EPOCH_MIN = 315532800  # 1980-01-01, the first time a zip entry can hold


def source_date_epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value:
        return int(value)
    commit_time = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"],
                                 capture_output=True, text=True, check=True).stdout.strip()
    return int(commit_time)


def run_quietly(command):
    """Runs a build step; its output is shown only when it fails."""
    proc = subprocess.run(command, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if proc.returncode != 0:
        sys.stderr.write(proc.stdout)
        raise SystemExit(f"failed: {' '.join(command)}")


def build(preset, tree):
    """Builds what the preset ships in `tree`; returns ({name: exe path}, version)."""
    run_quietly(["cmake", "--preset", preset, "-B", str(tree), "-DBUILD_TESTING=OFF"])
    names = SHIPPED[preset]
    run_quietly(["cmake", "--build", str(tree), "--target", *(Path(name).stem for name in names)])
    return {name: tree / name for name in names}, cached_version(tree)


@dataclasses.dataclass(frozen=True)
class Signer:
    """Signs with osslsigncode: the certificate (chain) file, and the key as a
    file or, with a PKCS#11 module, as the token's key URI."""

    cert: str
    key: str
    timestamp_url: str = None
    pkcs11_module: str = None
    pass_file: str = None

    def command(self, unsigned, signed, epoch):
        command = ["osslsigncode", "sign", "-h", "sha256", "-n", SIGNED_DESCRIPTION, "-time", str(epoch)]
        if self.pkcs11_module:
            command += ["-pkcs11module", self.pkcs11_module]
        command += ["-certs", self.cert, "-key", self.key]
        if self.pass_file:
            command += ["-readpass", self.pass_file]
        if self.timestamp_url:
            command += ["-ts", self.timestamp_url]
        return command + ["-in", str(unsigned), "-out", str(signed)]

    def sign(self, unsigned, signed, epoch):
        signed.parent.mkdir(parents=True, exist_ok=True)
        # Written whole or not at all: a half-signed file must never be zipped.
        partial = signed.with_name(signed.name + ".partial")
        partial.unlink(missing_ok=True)
        run_quietly(self.command(unsigned, partial, epoch))
        partial.replace(signed)
        return signed


def cached_version(tree):
    for line in (tree / "CMakeCache.txt").read_text().splitlines():
        if line.startswith("CMAKE_PROJECT_VERSION:"):
            return line.split("=", 1)[1]
    raise SystemExit(f"{tree}: no project version in the CMake cache")


def readme(version):
    """The end user's read-me, with Windows line ends for Notepad on XP."""
    title = f"Velmora Drivers Diagnostics {version}"
    text = README_TEMPLATE.read_text(encoding="ascii").format(
        title=title, underline="=" * len(title), version=version)
    return text.replace("\n", "\r\n").encode("ascii")


def write_zip(path, files, epoch):
    """A zip of (name, bytes) pairs with nothing in it but names and contents:
    sorted entries, one fixed time, fixed permissions and creator system."""
    date_time = time.gmtime(max(epoch, ZIP_EPOCH_MIN))[:6]
    partial = path.with_name(path.name + ".partial")
    with zipfile.ZipFile(partial, "w") as archive:
        for name, data in sorted(files):
            entry = zipfile.ZipInfo(name, date_time)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 3
            entry.external_attr = 0o100644 << 16
            archive.writestr(entry, data, compresslevel=9)
    partial.replace(path)


def write_sums(dist, names):
    lines = [f"{hashlib.sha256((dist / name).read_bytes()).hexdigest()}  {name}\n" for name in sorted(names)]
    (dist / "SHA256SUMS").write_text("".join(lines))


def package(build_root, dist, signer=None):
    epoch = source_date_epoch()
    dist.mkdir(parents=True, exist_ok=True)
    for stale in [*dist.glob("velmora-diag-*.zip"), *dist.glob("velmora-triage-*.zip")]:
        stale.unlink()
    names = []
    for preset in PRESETS:
        exes, version = build(preset, build_root / preset)
        if signer:
            exes = {name: signer.sign(exe, build_root / "signed" / preset / name, epoch)
                    for name, exe in exes.items()}
        zips = {f"velmora-diag-{version}-{preset}.zip": [(EXE_NAME, exes[EXE_NAME].read_bytes()),
                                                         ("README.txt", readme(version))]}
        if TRIAGE_NAME in exes:
            zips[f"velmora-triage-{version}-{preset}.zip"] = [(TRIAGE_NAME, exes[TRIAGE_NAME].read_bytes())]
        for name, files in zips.items():
            write_zip(dist / name, files, epoch)
            names.append(name)
    # Last, over the zips as they ship: signed ones have other sums.
    write_sums(dist, names)
    return [dist / name for name in names] + [dist / "SHA256SUMS"]


# Each signing option and the variable that may give it instead.
SIGN_VARIABLES = {"cert": "VELMORA_SIGN_CERT", "key": "VELMORA_SIGN_KEY",
                  "timestamp_url": "VELMORA_SIGN_TIMESTAMP_URL",
                  "pkcs11_module": "VELMORA_SIGN_PKCS11_MODULE", "pass_file": "VELMORA_SIGN_PASS_FILE"}


def signer_from(args, parser):
    """The Signer the options or variables name, or None without a certificate."""
    given = {field: os.environ.get(variable) or None for field, variable in SIGN_VARIABLES.items()}
    if args.sign:
        given["cert"], given["key"] = args.sign
    for field in ("timestamp_url", "pkcs11_module", "pass_file"):
        given[field] = getattr(args, field) or given[field]
    if bool(given["cert"]) != bool(given["key"]):
        parser.error("signing needs both a certificate and a key (--sign CERT KEY, "
                     "or VELMORA_SIGN_CERT and VELMORA_SIGN_KEY)")
    if not given["cert"]:
        extra = [f"--{field.replace('_', '-')}" for field in ("timestamp_url", "pkcs11_module", "pass_file")
                 if given[field]]
        if extra:
            parser.error(f"{', '.join(extra)} without a certificate to sign with")
        return None
    return Signer(**given)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-root", type=Path, default=ROOT / "build" / "package")
    parser.add_argument("--dist", type=Path, default=ROOT / "dist")
    parser.add_argument("--sign", nargs=2, metavar=("CERT", "KEY"),
                        help="sign the executables: certificate chain (PEM or DER) and key file or PKCS#11 URI")
    parser.add_argument("--timestamp-url", help="RFC 3161 time-stamp server to counter-sign with")
    parser.add_argument("--pkcs11-module", help="PKCS#11 module of the token holding the key")
    parser.add_argument("--pass-file", help="file holding the key's passphrase or the token's PIN")
    args = parser.parse_args(argv)
    signer = signer_from(args, parser)
    if not signer:
        print("Not signing: no certificate given (--sign CERT KEY, or VELMORA_SIGN_CERT and "
              "VELMORA_SIGN_KEY); the executables are packaged unsigned.", file=sys.stderr)
    for path in package(args.build_root.resolve(), args.dist.resolve(), signer):
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
