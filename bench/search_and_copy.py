#!/usr/bin/env python3
"""Times the POSIX stand-in against GNU find and cp, once each:

  - the three installer-log searches over a temporary folder of 100,000
    entries, against `find DIR -maxdepth 1 -iname PATTERN -printf ...` for
    the same three patterns;
  - copying a 1 GiB log, against `cp`.

Builds the optimised, unsanitised probe in build/native-release and keeps its data
there (about 2 GiB while it runs). Not part of the test suite.

    python3 bench/search_and_copy.py [--entries N] [--copy-mib N]
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import release_build  # noqa: E402

BUILD = release_build.BUILD / "bench-data"
PATTERNS = ["Velmora_Drivers_*.log", "Velmora_Drivers_*msi.log", "vl_*msi_rollback.log"]


def build_probe():
    return release_build.build("velmora_platform_probe") / "bench" / "velmora_platform_probe"


def make_temp_folder(folder, entries):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    # Mostly other programs' files, a few hundred logs of each kind.
    kinds = ["Velmora_Drivers_{}.log", "Velmora_Drivers_{}.msi.log", "VELMORA_DRIVERS_{}MSI.LOG",
             "vl_{}_msi_rollback.log"]
    for i in range(entries):
        name = kinds[i % 4].format(i) if i % 100 < 4 else f"tmp{i:06d}.{'log' if i % 3 else 'tmp'}"
        with open(folder / name, "wb"):
            pass


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def search_times(probe, folder, entries):
    """(stand-in, find) seconds for the three searches over `entries` entries."""
    make_temp_folder(folder, entries)
    texts = [str(folder).replace("/", "\\") + "\\" + p for p in PATTERNS]
    finds = [["find", str(folder), "-maxdepth", "1", "-iname", p, "-printf", "%f\t%T@\t%y\n"]
             for p in PATTERNS]
    timed(["find", str(folder), "-maxdepth", "1", "-printf", "%f\n"])  # the folder in the cache
    ours = timed([str(probe), "find", *texts])
    theirs = sum(timed(command) for command in finds)
    shutil.rmtree(folder, ignore_errors=True)
    return ours, theirs


def copy_times(probe, folder, mib):
    """(stand-in, cp) seconds for copying a `mib` MiB file; None if the copy differs."""
    folder.mkdir(parents=True, exist_ok=True)
    source = folder / "big.log"
    chunk = os.urandom(1 << 20)
    with open(source, "wb") as out:
        for _ in range(mib):
            out.write(chunk)
    ours_copy, cp_copy = folder / "ours.log", folder / "cp.log"
    subprocess.run(["sync"], check=True)
    ours = timed([str(probe), "copy", str(source).replace("/", "\\"),
                  str(ours_copy).replace("/", "\\")])
    subprocess.run(["sync"], check=True)
    theirs = timed(["cp", str(source), str(cp_copy)])
    same = subprocess.run(["cmp", "-s", str(source), str(ours_copy)]).returncode == 0
    shutil.rmtree(folder, ignore_errors=True)
    return (ours, theirs) if same else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--entries", type=int, default=100_000)
    parser.add_argument("--copy-mib", type=int, default=1024)
    args = parser.parse_args()

    probe = build_probe()
    data = BUILD / "data"
    ours, theirs = search_times(probe, data / "Temp", args.entries)
    print(f"search: {args.entries} entries, 3 patterns: stand-in {ours * 1000:.1f} ms, "
          f"find {theirs * 1000:.1f} ms, ratio {ours / theirs:.2f}")
    copied = copy_times(probe, data, args.copy_mib)
    if copied is None:
        print("copy: the stand-in's copy differs from its source")
        return 1
    ours, theirs = copied
    print(f"copy: {args.copy_mib} MiB: stand-in {ours * 1000:.1f} ms, cp {theirs * 1000:.1f} ms, "
          f"ratio {ours / theirs:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
