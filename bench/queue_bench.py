#!/usr/bin/env python3
"""Times `velmora-triage --queue` on a generated support queue of 2,000
tickets, each a zip of 1-5 MB as the collector's folder is sent in (verbose
installer logs, the device-setup log, the applications list and the system
report), with failures of several kinds and a few broken zips; with
`--jobs 1` and with every core, against a shell pipeline doing far less on
the same zips (`unzip -p` each into `grep -c "Return value 3"`, through
`xargs -P` with as many jobs); and the program's peak memory (GNU time's %M).
The answers are checked against what each ticket was made to hold.

The logs are written once into a pool of members, each deflated once; a
ticket is a zip of members picked from the pool, so that making the queue
costs a minute, not the hour compressing every ticket would. The queue is
made in the build tree (about 7 GB, kept for the next run), never
committed. A run inflates some 60 GB four times over: a quarter of an hour
on two cores.

    python3 bench/queue_bench.py [--tickets N]
"""

import argparse
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import release_build  # noqa: E402

DATA = release_build.BUILD / "bench-data" / "queue"
VERSION = 1  # of the generator: a change makes the queue again
TICKETS = 2000
FOLDER = "Velmora Drivers Diagnostics"
SEED = 20261207
ATTEMPT_DAY, EARLIER_DAY = 20, 10  # of December: a ticket's newest attempt, an earlier one

# What a ticket was made to show: its kind and the verdict it must get.
KINDS = (  # (kind, weight, verdict)
    ("installed", 30, "succeeded"),
    ("custom-action-1603", 24, "failed"),
    ("driver-unsigned", 14, "failed"),
    ("user-cancel", 10, "failed"),
    ("service-1920", 9, "failed"),
    ("in-progress-1618", 9, "failed"),
)
BROKEN = ("cut-short", "not-a-zip", "bad-checksum")
WINDOWS = (("Microsoft Windows 10 Pro", "10.0.19045 Build 19045"),
           ("Microsoft Windows 11 Pro", "10.0.22631 Build 22631"),
           ("Microsoft Windows 10 Enterprise", "10.0.19044 Build 19044"),
           ("Microsoft Windows 7 Professional", "6.1.7601 Service Pack 1 Build 7601"))
VERSIONS = ("5.2.8", "5.3.0", "5.3.1")


class Words:
    """Names, numbers and paths that vary as a real machine's do, so that
    the logs deflate about as much as real ones (eight to twelve to one)."""

    def __init__(self, rng):
        self.rng = rng
        self.files = [f"vl{rng.getrandbits(24):06x}.{rng.choice(('sys', 'dll', 'inf', 'cat', 'exe'))}"
                      for _ in range(400)]
        self.components = [f"{rng.choice(('Vl', 'Velmora', 'Drv', 'Svc'))}{rng.choice(('Core', 'Usb', 'Net', 'Audio', 'Cam'))}"
                           f"{rng.getrandbits(16):04X}" for _ in range(120)]
        self.actions = ["CostInitialize", "FileCost", "CostFinalize", "InstallValidate", "InstallInitialize",
                        "ProcessComponents", "UnpublishFeatures", "RemoveRegistryValues", "RemoveFiles",
                        "InstallFiles", "WriteRegistryValues", "RegisterUser", "RegisterProduct",
                        "PublishFeatures", "PublishProduct", "CreateShortcuts", "InstallServices",
                        "StartServices", "DuplicateFiles", "MsiPublishAssemblies", "SchedSecureObjects"]

    def guid(self):
        return "{%08X-%04X-%04X-%04X-%012X}" % (self.rng.getrandbits(32), self.rng.getrandbits(16),
                                                self.rng.getrandbits(16), self.rng.getrandbits(16),
                                                self.rng.getrandbits(48))


def clock(seconds):
    seconds %= 86400
    return f"{seconds // 3600:02}:{seconds // 60 % 60:02}:{seconds % 60:02}"


def installer_log(rng, kind, version, size, day):
    """A verbose Windows Installer log of about `size` bytes, started on
    `day` of December, ending as `kind` does."""
    words = Words(rng)
    pid, tid = rng.choice(("A4", "1C", "94", "F8")), f"{rng.getrandbits(8):02X}"
    t = 36000 + rng.randrange(20000)
    lines = [f"=== Verbose logging started: 12/{day}/2026  {clock(t)}  Build type: SHIP "
             "UNICODE 5.00.10011.00  Calling process: C:\\Windows\\system32\\msiexec.exe ===",
             f"MSI (c) ({pid}) [{clock(t)}:{rng.randrange(1000):03}]: Resetting cached policy values",
             f"MSI (c) ({pid}) [{clock(t)}:{rng.randrange(1000):03}]: ******* RunEngine:",
             f"           ******* Product: C:\\Users\\user{rng.randrange(900)}\\Downloads\\VelmoraDrivers-"
             f"{version}.msi",
             f"Property(C): ProductCode = {words.guid()}",
             "Property(C): ProductName = Velmora Drivers",
             f"Property(C): ProductVersion = {version}",
             "Property(C): UserLanguageID = 1033",
             f"Action start {clock(t)}: INSTALL."]
    total = sum(len(line) + 2 for line in lines)
    while total < size:
        action = rng.choice(words.actions)
        t += rng.randrange(3)
        ms = rng.randrange(1000)
        block = [f"Action start {clock(t)}: {action}.",
                 f"MSI (s) ({pid}:{tid}) [{clock(t)}:{ms:03}]: Doing action: {action}"]
        for _ in range(rng.randrange(4, 30)):
            file = rng.choice(words.files)
            what = rng.randrange(6)
            stamp = f"MSI (s) ({pid}:{tid}) [{clock(t)}:{rng.randrange(1000):03}]: "
            if what == 0:
                block.append(f"{stamp}Executing op: FileCopy(SourceName={file[:8]}|{file},SourceCabKey="
                             f"{file.replace('.', '_')}_{rng.getrandbits(20):05X},DestName={file},"
                             f"Attributes=512,FileSize={rng.randrange(2000, 9000000)},PerTick=65536,,"
                             f"VerifyMedia=1,,,,,CheckCRC=0,Version={version}.{rng.randrange(9999)},"
                             "Language=1033,InstallMode=58982400,,,,,,,)")
            elif what == 1:
                block.append(f"{stamp}Executing op: RegAddValue(Name={rng.choice(words.components)},"
                             f"Value=#{rng.getrandbits(31)},)")
            elif what == 2:
                block.append(f"{stamp}Component: {rng.choice(words.components)}; Installed: Absent;   "
                             "Request: Local;   Action: Local")
            elif what == 3:
                block.append(f"{stamp}Note: 1: 2205 2:  3: {rng.choice(('Error', 'Patch', 'MsiAssembly'))} ")
            elif what == 4:
                block.append(f"{stamp}PROPERTY CHANGE: Adding {rng.choice(words.components).upper()} "
                             f"property. Its value is 'C:\\Program Files\\Velmora\\Drivers\\{file}'.")
            else:
                block.append(f"{stamp}File: C:\\Program Files\\Velmora\\Drivers\\{file};\tTo be installed;"
                             "\tWon't patch;\tNo existing file")
        block.append(f"Action ended {clock(t)}: {action}. Return value 1.")
        lines += block
        total += sum(len(line) + 2 for line in block)
    t += 1
    stamp = f"MSI (s) ({pid}:{tid}) [{clock(t)}:{rng.randrange(1000):03}]: "
    status = {"installed": 0, "custom-action-1603": 1603, "service-1920": 1603,
              "user-cancel": 1602, "in-progress-1618": 1618}[kind]
    if kind == "custom-action-1603":
        lines += [f"Action start {clock(t)}: VL_InstallDriver.",
                  "VL_InstallDriver:  Error 0x80070002: Failed to find velmora.inf",
                  "CustomAction VL_InstallDriver returned actual error code 1603 (note this may not be "
                  "100% accurate if translation happened inside sandbox)",
                  f"{stamp}Note: 1: 1722 2: VL_InstallDriver 3: C:\\Windows\\Installer\\MSI{rng.getrandbits(16):X}.tmp",
                  "Error 1722. There is a problem with this Windows Installer package.",
                  f"Action ended {clock(t)}: VL_InstallDriver. Return value 3."]
    elif kind == "service-1920":
        lines += [f"Action start {clock(t)}: StartServices.",
                  f"{stamp}Note: 1: 1920 2: VelmoraSvc 3: Velmora Driver Service",
                  "Error 1920. Service 'Velmora Driver Service' (VelmoraSvc) failed to start. Verify that "
                  "you have sufficient privileges to start system services.",
                  f"Action ended {clock(t)}: StartServices. Return value 3."]
    elif kind == "user-cancel":
        lines += [f"Action start {clock(t)}: WelcomeDlg.",
                  f"Action ended {clock(t)}: WelcomeDlg. Return value 2.",
                  f"Action start {clock(t)}: UserExit.",
                  f"Action ended {clock(t)}: UserExit. Return value 2."]
    elif kind == "in-progress-1618":
        lines += [f"{stamp}Note: 1: 1618",
                  "Error 1618. Another installation is already in progress. Complete that installation "
                  "before proceeding with this install."]
    value = {0: 1, 1602: 2}.get(status, 3)
    lines += [f"Action ended {clock(t)}: INSTALL. Return value {value}.",
              f"{stamp}Windows Installer installed the product. "
              f"Product Name: Velmora Drivers. Product Version: {version}. Product Language: 1033. "
              f"Manufacturer: Velmora. Installation success or error status: {status}.",
              f"{stamp}MainEngineThread is returning {status}",
              f"=== Verbose logging stopped: 12/{day}/2026  {clock(t)} ==="]
    return "\r\n".join(lines) + "\r\n"


def setupapi_log(rng, velmora_fails, size):
    """A device-setup log of about `size` bytes: other devices' sections,
    then Velmora's driver package, failing or not."""
    lines = ["[Device Install Log]", "     OS Version = 10.0.19045", "     Service Pack = 0.0",
             "     Suite = 0x0100", "     ProductType = 1", "     Architecture = amd64", "",
             "[BeginLog]", "", "[Boot Session: 2026/11/02 08:02:11.500]", ""]
    total, day, t = 200, 2, 30000
    while total < size:
        t += rng.randrange(1, 4000)
        if t >= 86400:
            t -= 86400
            day = min(day + 1, 28)
        stamp = f"2026/11/{day:02} {clock(t)}.{rng.randrange(1000):03}"
        device = rng.choice((f"USB\\VID_{rng.getrandbits(16):04X}&PID_{rng.getrandbits(16):04X}\\"
                             f"{rng.getrandbits(32):08X}",
                             f"PCI\\VEN_{rng.getrandbits(16):04X}&DEV_{rng.getrandbits(16):04X}&SUBSYS_"
                             f"{rng.getrandbits(32):08X}\\{rng.getrandbits(24):06X}"))
        block = [f">>>  [Device Install (Hardware initiated) - {device}]", f">>>  Section start {stamp}",
                 f"     ump: Creating Install Process: DrvInst.exe {clock(t)}.{rng.randrange(1000):03}",
                 "     ndv: Retrieving device info...",
                 f"     ndv: Setting device parameters...", f"     dvi: {{Build Driver List}} {clock(t)}"]
        for _ in range(rng.randrange(3, 25)):
            block.append(f"     dvi:      Enumerating INFs from path list.{'' if rng.random() < .5 else ''}"
                         f" oem{rng.randrange(200)}.inf {rng.getrandbits(32):08x}")
        block += [f"     dvi: {{Build Driver List - exit(0x00000000)}} {clock(t)}",
                  f"<<<  Section end {stamp}", "<<<  [Exit status: SUCCESS]", ""]
        lines += block
        total += sum(len(line) + 2 for line in block)
    stamp = f"2026/12/{ATTEMPT_DAY} 23:30:00.120"  # after the installation began
    lines += [">>>  [SetupCopyOEMInf - C:\\Program Files\\Velmora\\Drivers\\velmora.inf]",
              f">>>  Section start {stamp}",
              "     inf: Provider: Velmora",
              f"     sto: {{Setup Import Driver Package: C:\\Program Files\\Velmora\\Drivers\\velmora.inf}} "
              "23:30:00.130"]
    if velmora_fails:
        lines += ["!!!  sto:      Catalog does not contain the driver package's file hash. File = "
                  "'velmora.sys', Error = 0xE000024B",
                  "!!!  sto:      Failed to validate driver package. Error = 0xE000024B",
                  f"<<<  Section end {stamp}", "<<<  [Exit status: FAILURE(0xe000024b)]", ""]
    else:
        lines += ["     sto:      Driver package was imported as 'oem42.inf'.",
                  f"<<<  Section end {stamp}", "<<<  [Exit status: SUCCESS]", ""]
    return "\r\n".join(lines) + "\r\n"


def system_report(rng, windows, size):
    """msinfo32's report of about `size` UTF-16 bytes: the summary first,
    then the long lists of drivers, services and programs."""
    name, version = windows
    parts = ['<?xml version="1.0" encoding="UTF-16"?>\r\n<MsInfo>\r\n<Metadata>\r\n<Version>8.0</Version>\r\n'
             "<CreationUTC>12/01/26 10:20:00</CreationUTC>\r\n</Metadata>\r\n"
             '<Category name="System Summary">\r\n']
    for item, value in (("OS Name", name), ("Version", version), ("OS Manufacturer", "Microsoft Corporation"),
                        ("System Name", f"DESKTOP-{rng.getrandbits(28):07X}"),
                        ("System Manufacturer", rng.choice(("Dell Inc.", "LENOVO", "HP"))),
                        ("System Type", "x64-based PC")):
        parts.append(f"<Data>\r\n<Item><![CDATA[{item}]]></Item>\r\n<Value><![CDATA[{value}]]></Value>\r\n"
                     "</Data>\r\n")
    parts.append('<Category name="Hardware Resources">\r\n<Category name="Conflicts/Sharing">\r\n')
    total = sum(len(p) for p in parts) * 2
    while total < size:
        part = (f"<Data>\r\n<Name><![CDATA[{rng.choice(('vl', 'usb', 'net', 'hid', 'disk'))}"
                f"{rng.getrandbits(20):05x}]]></Name>\r\n<Description><![CDATA[Device {rng.getrandbits(32):08X}"
                f" driver]]></Description>\r\n<File><![CDATA[c:\\windows\\system32\\drivers\\"
                f"{rng.getrandbits(24):06x}.sys]]></File>\r\n<Type><![CDATA[Kernel Driver]]></Type>\r\n"
                f"<Started><![CDATA[{rng.choice(('Yes', 'No'))}]]></Started>\r\n</Data>\r\n")
        parts.append(part)
        total += len(part) * 2
    parts.append("</Category>\r\n</Category>\r\n</Category>\r\n</MsInfo>\r\n")
    return "\ufeff" + "".join(parts)


def applications(rng, installed):
    lines = ["Name" + " " * 70 + "Version        "]
    for _ in range(rng.randrange(40, 160)):
        lines.append(f"Program {rng.getrandbits(32):08X} {rng.choice(('Runtime', 'Tools', 'Update'))}".ljust(74)
                     + f"{rng.randrange(30)}.{rng.randrange(99)}.{rng.randrange(9999)}".ljust(15))
    if installed:
        lines.insert(rng.randrange(1, len(lines)), "Velmora Drivers".ljust(74) + installed.ljust(15))
    return "\ufeff" + "\r\n".join(lines) + "\r\n"


class Member:
    """One file deflated once, to be put into many zips."""

    def __init__(self, name, data):
        self.name = name
        self.crc = zlib.crc32(data)
        self.size = len(data)
        packer = zlib.compressobj(6, zlib.DEFLATED, -15)
        self.deflated = packer.compress(data) + packer.flush()


def write_zip(path, members, damage=None):
    """A zip of pre-deflated members under the collector's folder name."""
    body, directory = bytearray(), bytearray()
    for member in members:
        name = f"{FOLDER}/{member.name}".encode()
        crc = member.crc ^ 1 if damage == "bad-checksum" and member is members[0] else member.crc
        header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0x800, 8, 0x5000, 0x5B81, crc,
                             len(member.deflated), member.size, len(name), 0)
        directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0x800, 8, 0x5000, 0x5B81, crc,
                                 len(member.deflated), member.size, len(name), 0, 0, 0, 0, 0, len(body))
        directory += name
        body += header + name + member.deflated
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(directory), len(body), 0)
    data = bytes(body + directory + end)
    if damage == "cut-short":
        data = data[:len(data) * 3 // 5]
    path.write_bytes(data)


def make_pool(rng):
    """The members tickets are made of, by kind of file."""
    print("writing the members of the queue's tickets", flush=True)
    def log(kind, version, day):
        text = installer_log(rng, kind, version, rng.randrange(2 << 20, 24 << 20), day)
        # As msiexec writes it: in the ANSI code page, or now and then UTF-16.
        data = b"\xff\xfe" + text.encode("utf-16-le") if rng.random() < 0.2 else text.encode("cp1252")
        return Member(f"MSI{rng.getrandbits(20):05x}.log", data)

    logs = {(kind, version): [log("installed" if kind == "driver-unsigned" else kind, version, ATTEMPT_DAY)
                              for _ in range(3)]
            for kind, _, _ in KINDS for version in VERSIONS}
    earlier = {version: [log("installed", version, EARLIER_DAY) for _ in range(2)] for version in VERSIONS}
    setupapi = {failing: [Member("setupapi.dev.log", setupapi_log(rng, failing, rng.randrange(1 << 20, 10 << 20))
                                 .encode("cp1252")) for _ in range(6)] for failing in (False, True)}
    reports = [Member("sysinfo.nfo", system_report(rng, windows, rng.randrange(4 << 20, 12 << 20))
                      .encode("utf-16-le")) for windows in WINDOWS for _ in range(2)]
    apps = {installed: [Member("installedapps.txt", applications(rng, installed).encode("utf-16-le"))
                        for _ in range(3)] for installed in ("", *VERSIONS)}
    return logs, earlier, setupapi, reports, apps


def make_queue(tickets):
    """The queue's folder and what each ticket must be found to hold."""
    queue = DATA / f"tickets-{tickets}"
    answers = DATA / f"tickets-{tickets}.json"
    done = DATA / f"tickets-{tickets}.v{VERSION}.done"
    if done.exists() and answers.exists():
        return queue, json.loads(answers.read_text())
    shutil.rmtree(DATA, ignore_errors=True)
    queue.mkdir(parents=True)
    rng = random.Random(SEED)
    logs, earlier_logs, setupapi, reports, apps = make_pool(rng)
    kinds = [kind for kind, weight, _ in KINDS for _ in range(weight)]
    verdicts = {kind: verdict for kind, _, verdict in KINDS}
    expected = {}
    for number in range(tickets):
        name = f"ticket-{number:05}.zip"
        if number % 67 == 13:  # about one in seventy is broken
            damage = BROKEN[number // 67 % len(BROKEN)]
        else:
            damage = None
        kind = rng.choice(kinds)
        version = rng.choice(VERSIONS)
        members = [rng.choice(logs[(kind, version)]), rng.choice(setupapi[kind == "driver-unsigned"]),
                   rng.choice(apps[version if kind in ("installed", "driver-unsigned") else ""]),
                   rng.choice(reports)]
        target = rng.randrange(1 << 20, 5 << 20)
        while sum(len(m.deflated) for m in members) < target:
            earlier = rng.choice(earlier_logs[version])  # an earlier attempt's log as well
            if earlier in members or sum(len(m.deflated) for m in members + [earlier]) > 5 << 20:
                break
            members.insert(0, earlier)
        if damage == "not-a-zip":
            (queue / name).write_bytes(rng.randbytes(rng.randrange(1 << 20, 2 << 20)))
        else:
            write_zip(queue / name, members, damage)
        expected[name] = {"kind": kind, "damage": damage, "verdict": verdicts[kind]}
    answers.write_text(json.dumps(expected, indent=0))
    done.touch()
    return queue, expected


def run_measured(command):
    """(seconds, peak resident MiB, exit status) of one run under GNU time."""
    with tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak.name, *command],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        return elapsed, int(peak.read().split()[-1]) / 1024, done.returncode


def pipeline(queue, jobs):
    script = (f"find '{queue}' -maxdepth 1 -name '*.zip' -print0 | xargs -0 -n 1 -P {jobs} "
              "sh -c 'unzip -p \"$1\" | grep -c \"Return value 3\"' sh")
    start = time.perf_counter()
    subprocess.run(["sh", "-c", script], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def check_answers(jsonl, expected):
    """Every ticket answered once, in name order, as it was made."""
    lines = [json.loads(line) for line in jsonl.read_text().splitlines()]
    names = [line["ticket"] for line in lines]
    if names != sorted(expected):
        raise RuntimeError("the queue's answers are not one per ticket in name order")
    wrong = []
    for line in lines:
        made = expected[line["ticket"]]
        if made["damage"] in ("cut-short", "not-a-zip"):
            good = line["verdict"] == "unreadable"
        else:
            good = line["verdict"] == made["verdict"]
        if not good:
            wrong.append(f"{line['ticket']} ({made['kind']}, {made['damage']}): {line['verdict']}")
    if wrong:
        raise RuntimeError(f"{len(wrong)} tickets answered wrongly, e.g. " + "; ".join(wrong[:5]))


def bench(tickets=TICKETS):
    exe = release_build.build("velmora-triage") / "velmora-triage"
    queue, expected = make_queue(tickets)
    zipped = sum(p.stat().st_size for p in queue.iterdir())
    cores = os.cpu_count() or 1
    out = DATA / "out"
    for path in queue.iterdir():  # the page cache, warm
        path.read_bytes()
    rows = []
    for jobs in sorted({1, cores}):
        shutil.rmtree(out, ignore_errors=True)
        out.mkdir()
        seconds, peak, status = run_measured([str(exe), "--queue", str(queue), "--jsonl", str(out / "q.jsonl"),
                                              "--csv", str(out / "q.csv"), "--jobs", str(jobs)])
        if status != 1:  # some tickets are broken on purpose
            raise RuntimeError(f"velmora-triage --queue exited {status}")
        check_answers(out / "q.jsonl", expected)
        grep = pipeline(queue, jobs)
        rows.append({"jobs": jobs, "ours": seconds, "pipeline": grep, "peak_mib": peak})
        print(f"queue of {tickets} tickets ({zipped / (1 << 20):,.0f} MiB of zips), {jobs} job(s): "
              f"{seconds:.1f} s ({tickets / seconds:.1f} tickets/s), pipeline {grep:.1f} s "
              f"({tickets / grep:.1f} tickets/s), ratio {seconds / grep:.2f}, peak {peak:.1f} MiB", flush=True)
    shutil.rmtree(out, ignore_errors=True)
    return {"tickets": tickets, "zipped": zipped, "cores": cores, "rows": rows}


def ratios(result):
    """Time over the pipeline's with every core; the peak over both runs."""
    every = max(result["rows"], key=lambda r: r["jobs"])
    return (f"queue={every['ours'] / every['pipeline']:.2f} "
            f"queue_mb={max(r['peak_mib'] for r in result['rows']):.1f}")


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--tickets", type=int, default=TICKETS)
    args = parser.parse_args(argv)
    result = bench(args.tickets)
    print(f"ratios: {ratios(result)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
