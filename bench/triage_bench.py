#!/usr/bin/env python3
"""Times velmora-triage on a collected folder holding one large verbose
installer log (1 GiB by default, a failing action near its end) against
`grep -c "Return value 3"` on the same bytes, and takes the program's peak
memory (GNU time's %M). The logs are made in the build tree, never
committed: as Windows-1252 text and as UTF-16LE with a byte-order mark, as
msiexec writes either, and a dense one (an action ended every six lines).

It also takes the peak on the worst logs of each kind that could make a
reader keep something per line (non-vital bundle package pairs, sessions,
device-setup sections, properties), 64 MiB each: `triage_worst_mb`.

    python3 bench/triage_bench.py [--mib N] [--worst-only]
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import release_build  # noqa: E402

DATA = release_build.BUILD / "bench-data" / "triage"
RUNS = 3

# One action's worth of ordinary verbose lines, as the execution sequence
# writes them (about twenty lines an action, file and registry operations
# mostly); {t} and {n} change from block to block so that no two blocks are
# the same bytes.
BLOCK_LINES = [
    "MSI (s) (A4:B0) [{t}:101]: Doing action: InstallFiles",
    "Action start {t}: InstallFiles.",
    "MSI (s) (A4:B0) [{t}:102]: Note: 1: 2205 2:  3: Patch ",
    "MSI (s) (A4:B0) [{t}:103]: PROPERTY CHANGE: Adding TARGETDIR property. Its value is 'C:\\'.",
    *[f"MSI (s) (A4:B0) [{{t}}:1{i:02}]: Executing op: FileCopy(SourceName=vldrv{{n}}_{i}.sys,"
      f"SourceCabKey=vldrv{i}.sys,DestName=vldrv{{n}}_{i}.sys,Attributes=0,FileSize=48213,PerTick=65536,,"
      f"VerifyMedia=1,,,,,CheckCRC=0,Version=2.1.0.{{n}},Language=0,InstallMode=58982400,,,,,,,)"
      for i in range(6)],
    *[f"MSI (s) (A4:B0) [{{t}}:2{i:02}]: File: C:\\Program Files\\Velmora\\Drivers\\vldrv{{n}}_{i}.sys;"
      f"\tTo be installed;\tWon't patch;\tNo existing file" for i in range(4)],
    "MSI (s) (A4:B0) [{t}:301]: Component: VelmoraDriver{n}; Installed: Absent;   Request: Local;   "
    "Action: Local",
    "MSI (s) (A4:B0) [{t}:302]: Executing op: RegOpenKey(Root=-2147483646,Key=SOFTWARE\\Velmora\\Drivers,,"
    "BinaryType=0,,)",
    "MSI (s) (A4:B0) [{t}:303]: Executing op: RegAddValue(Name=Version,Value=2.1.0.{n},)",
    "MSI (s) (A4:B0) [{t}:304]: Executing op: ProgressTotal(Total=12,Type=1,ByteEquivalent=24000)",
    "Property(S): VelmoraFeature{n} = Local",
    "Action ended {t}: InstallFiles. Return value 1.",
]
# A dense log: an action ended every six lines, as the costing and
# registration sequences write them; every one is a top-level action, a
# candidate for how the run ended.
DENSE_BLOCK_LINES = [
    "Action start {t}: CostFinalize.",
    "MSI (s) (A4:B0) [{t}:101]: Doing action: CostFinalize",
    "MSI (s) (A4:B0) [{t}:102]: Note: 1: 2205 2:  3: Patch ",
    "Property(S): VelmoraFeature{n} = Local",
    "MSI (s) (A4:B0) [{t}:103]: Executing op: RegAddValue(Name=Version,Value=2.1.0.{n},)",
    "Action ended {t}: CostFinalize. Return value 1.",
]
# (row label, encoding, block): the ordinary log in both encodings, the
# dense one in the ANSI code page, where grep is the yardstick.
LOGS = (("Windows-1252", "cp1252", BLOCK_LINES), ("UTF-16LE", "utf-16-le", BLOCK_LINES),
        ("Windows-1252, dense", "cp1252", DENSE_BLOCK_LINES))
TAIL = [
    "Action start 23:59:58: InstallFinalize.",
    "MSI (s) (A4:B0) [23:59:58:100]: Executing op: CustomActionSchedule(Action=VL_InstallDriver,"
    "ActionType=3073,Source=BinaryData,Target=InstallDriver,)",
    "VL_InstallDriver:  Error 0x80070002: Failed to find velmora.inf",
    "CustomAction VL_InstallDriver returned actual error code 1603 (note this may not be 100% accurate "
    "if translation happened inside sandbox)",
    "MSI (s) (A4:B0) [23:59:58:300]: Note: 1: 1722 2: VL_InstallDriver 3: C:\\Windows\\Installer\\MSI1.tmp",
    "Error 1722. There is a problem with this Windows Installer package.",
    "Action ended 23:59:58: InstallFinalize. Return value 3.",
    "MSI (s) (A4:B0) [23:59:59:000]: Product: Velmora Drivers -- Installation failed.",
    "Action ended 23:59:59: INSTALL. Return value 3.",
    "MSI (s) (A4:B0) [23:59:59:010]: Windows Installer installed the product. Product Name: Velmora "
    "Drivers. Product Version: 2.1.0. Product Language: 1033. Manufacturer: Velmora. Installation "
    "success or error status: 1603.",
    "MSI (s) (A4:B0) [23:59:59:020]: MainEngineThread is returning 1603",
    "=== Verbose logging stopped: 12/1/2026  23:59:59 ===",
]
HEAD = [
    "=== Verbose logging started: 12/1/2026  10:15:00  Build type: SHIP UNICODE 5.00.10011.00  "
    "Calling process: C:\\Windows\\system32\\msiexec.exe ===",
    "MSI (s) (A4:B0) [10:15:01:200]: Original package ==> C:\\Users\\sam\\Downloads\\VelmoraDrivers.msi",
    "Property(S): ProductName = Velmora Drivers",
    "Property(S): ProductVersion = 2.1.0",
]


def make_log(path, mib, encoding, block_lines=BLOCK_LINES):
    """A verbose log of about `mib` MiB in `encoding`; returns its size."""
    done = path.parent.parent / f"{path.name}.{mib}.done"  # outside the collected folder
    if path.exists() and done.exists():
        return path.stat().st_size
    shutil.rmtree(path.parent.parent, ignore_errors=True)
    path.parent.mkdir(parents=True, exist_ok=True)
    target = mib << 20
    with open(path, "wb") as out:
        if encoding == "utf-16-le":
            out.write(b"\xff\xfe")
        out.write(("\r\n".join(HEAD) + "\r\n").encode(encoding))
        template = "\r\n".join(block_lines * (600 // len(block_lines))) + "\r\n"
        block = 0
        while out.tell() < target:
            seconds = 36000 + block % 50000
            t = f"{seconds // 3600:02}:{seconds // 60 % 60:02}:{seconds % 60:02}"
            out.write(template.replace("{t}", t).replace("{n}", str(block % 997)).encode(encoding))
            block += 1
        out.write(("\r\n".join(TAIL) + "\r\n").encode(encoding))
        size = out.tell()
    done.touch()
    return size


def run_measured(command):
    """(seconds, peak resident MiB, stdout, exit status) of one run of
    `command`, started by GNU time, which reports the peak. A child of this
    process would not do: exec keeps the larger of the old and the new
    image's peak, and the old one is Python's."""
    with tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak.name, *command],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        return elapsed, int(peak.read().split()[-1]) / 1024, done.stdout, done.returncode


def measure(exe, folder, log):
    """Median times of triage and grep, triage's peak memory and answer."""
    run_measured(["grep", "-c", "Return value 3", str(log)])  # the page cache, warm
    ours, grep, peaks = [], [], []
    report = None
    for _ in range(RUNS):
        seconds, peak, out, status = run_measured([str(exe), str(folder), "--json"])
        if status != 1:
            raise RuntimeError(f"velmora-triage exited {status} on the failing log")
        report = json.loads(out)
        ours.append(seconds)
        peaks.append(peak)
        seconds, _, out, _ = run_measured(["grep", "-c", "Return value 3", str(log)])
        grep.append(seconds)
    return statistics.median(ours), statistics.median(grep), max(peaks), report


def bench(mib=1024):
    exe = release_build.build("velmora-triage") / "velmora-triage"
    rows = []
    for label, encoding, block_lines in LOGS:
        kind = encoding + ("-dense" if block_lines is DENSE_BLOCK_LINES else "")
        folder = DATA / kind / "Velmora Drivers Diagnostics"
        log = folder / "MSI3a7c1.log"
        size = make_log(log, mib, encoding, block_lines)
        ours, grep, peak, report = measure(exe, folder, log)
        failed = [f for f in report["findings"] if f["rule"] == "msi.failed-action"]
        if not failed:
            raise RuntimeError("the failing action was not found")
        rows.append({"encoding": label, "size": size, "ours": ours, "grep": grep, "peak_mib": peak,
                     "evidence_line": failed[0]["line"]})
        print(f"triage of a {size / (1 << 20):.0f} MiB {label} log: {ours:.2f} s, grep -c {grep:.2f} s, "
              f"ratio {ours / grep:.2f}, peak {peak:.1f} MiB, failing action at line {failed[0]['line']}")
        if os.environ.get("VELMORA_BENCH_KEEP") is None:
            shutil.rmtree(folder.parent, ignore_errors=True)  # 1 GiB each
    return rows


# Logs made to cost memory line by line, each as a customer's file could be:
# (kind, file name, the text repeated, the lines it begins with).
WORST_MIB = 64
WORST = [
    ("non-vital bundle pairs", "Velmora_Bundle.log",
     "[0A3C:0B20][2026-12-01T10:15:{s}]i319: Applied execute package: P{n}, result: 0x1, restart: None\r\n"
     "[0A3C:0B20][2026-12-01T10:15:{s}]i325: Applied non-vital package: P{n}\r\n", ""),
    ("many sessions", "Velmora_Drivers.log",
     "=== Verbose logging started: 12/1/2026  10:15:{s}  Build type: SHIP UNICODE 5.00.10011.00 ===\r\n"
     "Action start 10:15:{s}: INSTALL.\r\nError 1722. Custom action VL_{n} failed.\r\n"
     "Action ended 10:15:{s}: INSTALL. Return value 3.\r\n"
     "MSI (s) (E8:C4) [10:15:{s}:902]: Windows Installer installed the product. Product Name: Velmora "
     "Drivers. Product Version: 5.3.{n}. Product Language: 1033. Manufacturer: Velmora. Installation "
     "success or error status: 1603.\r\n", ""),
    ("many sections", "setupapi.dev.log",
     ">>>  [Device Install (DiInstallDriver) - C:\\Windows\\INF\\oem{n}.inf]\r\n"
     ">>>  Section start 2026/12/01 10:15:{s}.000\r\n"
     "!!!  sto:      Failed to validate driver package. Error = 0xE000024B\r\n"
     "<<<  Section end 2026/12/01 10:15:{s}.410\r\n<<<  [Exit status: FAILURE(0xe000024b)]\r\n\r\n",
     "[Device Install Log]\r\n     OS Version = 10.0.19045\r\n[BeginLog]\r\n"),
    ("many properties", "Velmora_Drivers_props.log",
     "Property(S): Prop{n} = a value the installer set, {n} characters or so\r\n",
     "=== Verbose logging started: 12/1/2026  10:15:00  Build type: SHIP UNICODE 5.00.10011.00 ===\r\n"
     "Action ended 10:15:01: INSTALL. Return value 3.\r\n"),
]


def make_worst(path, text, head, mib=WORST_MIB):
    """`head`, then `text` repeated to about `mib` MiB, numbered."""
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "wb") as out:
        out.write(head.encode())
        n = 0
        while out.tell() < mib << 20:
            out.write("".join(text.format(n=n + i, s=f"{(n + i) % 60:02}") for i in range(1000)).encode())
            n += 1000
    return path.stat().st_size


def worst():
    """The peak memory on each log made to cost memory: the bound a file
    holds whatever its lines."""
    exe = release_build.build("velmora-triage") / "velmora-triage"
    rows = []
    for kind, name, text, head in WORST:
        folder = DATA / "worst" / kind.replace(" ", "-") / "Velmora Drivers Diagnostics"
        shutil.rmtree(folder.parent, ignore_errors=True)
        size = make_worst(folder / name, text, head)
        _, peak, _, status = run_measured([str(exe), str(folder), "--json"])
        if status not in (0, 1):
            raise RuntimeError(f"velmora-triage exited {status} on the {kind} log")
        rows.append({"kind": kind, "size": size, "peak_mib": peak})
        print(f"triage of a {size / (1 << 20):.0f} MiB log of {kind}: peak {peak:.1f} MiB")
        shutil.rmtree(folder.parent, ignore_errors=True)
    return rows


def ratios(rows, worst_rows=None):
    """The worse ratio over the logs grep can read (not UTF-16), the peak
    memory over all, and over the logs made to cost memory."""
    worst_ratio = max(r["ours"] / r["grep"] for r in rows if not r["encoding"].startswith("UTF-16"))
    line = f"triage={worst_ratio:.2f} triage_mb={max(r['peak_mib'] for r in rows):.1f}"
    if worst_rows:
        line += f" triage_worst_mb={max(r['peak_mib'] for r in worst_rows):.1f}"
    return line


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--mib", type=int, default=1024)
    parser.add_argument("--worst-only", action="store_true",
                        help="only the logs made to cost memory: triage_worst_mb")
    args = parser.parse_args(argv)
    worst_rows = worst()
    if args.worst_only:
        print(f"ratios: triage_worst_mb={max(r['peak_mib'] for r in worst_rows):.1f}")
        return 0
    rows = bench(args.mib)
    print(f"ratios: {ratios(rows, worst_rows)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
