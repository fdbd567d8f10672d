"""Builds the Windows executables and their zip packages, the same bytes
from the same commit wherever and whenever it runs.

    python3 scripts/packaging.py [--build-root DIR] [--dist DIR]

For win32 and win64: configures the preset in BUILD_ROOT/<preset> (default
build/package/<preset>) with tests off, builds only velmora-diag, and writes
DIST/velmora-diag-<version>-<preset>.zip (default dist/) holding the
executable and README.txt; then DIST/SHA256SUMS. The version is the one
project() gives in CMakeLists.txt; the zip entries' time is SOURCE_DATE_EPOCH,
else the time of the commit checked out.
"""

import argparse
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
    """Builds the preset's executable in `tree`; returns (exe path, version)."""
    run_quietly(["cmake", "--preset", preset, "-B", str(tree), "-DBUILD_TESTING=OFF"])
    run_quietly(["cmake", "--build", str(tree), "--target", "velmora-diag"])
    return tree / EXE_NAME, cached_version(tree)


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


def package(build_root, dist):
    epoch = source_date_epoch()
    dist.mkdir(parents=True, exist_ok=True)
    for stale in dist.glob("velmora-diag-*.zip"):
        stale.unlink()
    names = []
    for preset in PRESETS:
        exe, version = build(preset, build_root / preset)
        name = f"velmora-diag-{version}-{preset}.zip"
        write_zip(dist / name, [(EXE_NAME, exe.read_bytes()), ("README.txt", readme(version))], epoch)
        names.append(name)
    write_sums(dist, names)
    return [dist / name for name in names] + [dist / "SHA256SUMS"]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-root", type=Path, default=ROOT / "build" / "package")
    parser.add_argument("--dist", type=Path, default=ROOT / "dist")
    args = parser.parse_args(argv)
    for path in package(args.build_root.resolve(), args.dist.resolve()):
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
