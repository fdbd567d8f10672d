"""The packagings the release checks look at, made once per test process:
two signed ones from scratch in two different folders, with a throw-away
certificate made here (never one to trust), and one unsigned from the first
one's build trees."""

import functools
import os
import shutil
import subprocess
from dataclasses import dataclass
from pathlib import Path

from release_paths import BUILD, ROOT

WORK = BUILD / "release-check"
PRESETS = ("win32", "win64")
SHIPPED = {"win32": ("velmora-diag.exe",), "win64": ("velmora-diag.exe", "velmora-triage.exe")}


@dataclass(frozen=True)
class Signing:
    cert: Path
    key: Path
    other_cert: Path  # a second throw-away certificate: a CA the signatures must not verify against


@dataclass(frozen=True)
class Packaging:
    dist: Path
    build_root: Path
    output: str  # what scripts/package printed on its standard error

    def built(self, preset, name="velmora-diag.exe"):
        """The unsigned executable of the build tree."""
        return self.build_root / preset / name

    def signed(self, preset, name="velmora-diag.exe"):
        return self.build_root / "signed" / preset / name


def make_certificate(folder, stem, name):
    """A self-signed code-signing certificate for `name` and its key, PEM files."""
    folder.mkdir(parents=True, exist_ok=True)
    cert, key = folder / f"{stem}.crt", folder / f"{stem}.key"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
                    "-subj", f"/CN={name}/O=Velmora release checks (throw-away)",
                    "-addext", "keyUsage=critical,digitalSignature,keyCertSign",
                    "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", str(key), "-out", str(cert)], check=True, capture_output=True)
    return cert, key


@functools.lru_cache(maxsize=None)
def signing():
    folder = WORK / "throw-away-signer"
    shutil.rmtree(folder, ignore_errors=True)
    cert, key = make_certificate(folder, "signer", "Velmora Test Signing")
    other, _ = make_certificate(folder, "other-signer", "Velmora Other Signer")
    return Signing(cert, key, other)


def run_package(dist, build_root, *options):
    env = {k: v for k, v in os.environ.items() if not k.startswith("VELMORA_SIGN_")}
    proc = subprocess.run([str(ROOT / "scripts" / "package"), "--build-root", str(build_root),
                           "--dist", str(dist), *options], capture_output=True, text=True, env=env)
    if proc.returncode != 0:
        raise AssertionError(f"scripts/package failed:\n{proc.stdout}{proc.stderr}")
    return Packaging(dist, build_root, proc.stderr)


@functools.lru_cache(maxsize=None)
def signed_packagings():
    """Two packagings from scratch, signed; different depths and names, so
    that a build path that leaked would differ."""
    for stale in ("one", "two", "unsigned"):
        shutil.rmtree(WORK / stale, ignore_errors=True)
    sign = signing()
    return [run_package(root / "dist", root / "build", "--sign", str(sign.cert), str(sign.key))
            for root in (WORK / "one", WORK / "two" / "built-elsewhere")]


@functools.lru_cache(maxsize=None)
def unsigned_packaging():
    """Without a certificate, from the first signed packaging's build trees:
    nothing is built again, so its executables are the ones signed there."""
    return run_package(WORK / "unsigned" / "dist", signed_packagings()[0].build_root)
