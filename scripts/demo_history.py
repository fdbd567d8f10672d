"""A history of Velmora Drivers installs in a Wine prefix, for the demo run
and the end-to-end tests: real packages built from demo/ and installed by
Wine's msiexec, whose verbose logs land in the temporary folder the tool
searches, under the names the Velmora installer gives them.

    build_packages(build_dir, arch)       the demo packages for a prefix of `arch`, built
                                          once per build tree
    install_history(wine, temp, build_dir, xp=False)
                                          installs them into a WinePrefix; returns a History
    prepare(wine, temp, build_dir, xp=False)
                                          the same once per prefix (a marker file), then reused

From the shell (scripts/run):
    python3 scripts/demo_history.py prepare PREFIX_DIR BUILD_DIR
"""

import calendar
import fcntl
import hashlib
import json
import os
import shutil
import subprocess
import sys
import time
from dataclasses import asdict, dataclass, field
from pathlib import Path

from wine_prefix import WinePrefix

ROOT = Path(__file__).resolve().parents[1]
SOURCES = ROOT / "demo"
MARKER = "demo-history.json"

# Fixed product codes, so that a later attempt at a version finds the
# earlier one of the same version.
VERSIONS = {
    "5.2.8": {"product_code": "3F9A6C1E-2B7D-4E58-9C0A-5D1B8E4F7A28",
              "component_code": "0C6F2D8E-8D5B-4B7E-A3C5-9F1E2B7D4A01", "fails": False},
    "5.3.0": {"product_code": "A81D4F3B-6C2E-4B97-8D05-E3F7A9C1B530",
              "component_code": "5E27B0C4-91AF-4D63-B8E2-7C4F1A9D3053", "fails": True},
}

# The deferred driver-setup step of a failing version: type 3074 is an
# executable from the Binary table (2), deferred (1024), without
# impersonation (2048); it runs just before InstallFinalize.
FAILING_ACTION = "InstallDriverService"
BINARY_IDT = "Name\tData\ns72\tv0\nBinary\tName\nDriverSetup\tDriverSetup.exe\n"
CUSTOM_ACTION_IDT = ("Action\tType\tSource\tTarget\tExtendedType\n"
                     "s72\ti2\tS72\tS255\tI4\n"
                     "CustomAction\tAction\n"
                     f"{FAILING_ACTION}\t3074\tDriverSetup\t/install\t\n")
SEQUENCE_QUERY = ("INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) "
                  f"VALUES ('{FAILING_ACTION}', 6590)")

# The tool's three installer-log kinds, by the key a History reports them under.
PATTERNS = {"msi": "Velmora_Drivers_*.log", "wix": "Velmora_Drivers_*msi.log",
            "rollback": "vl_*msi_rollback.log"}

# (when, action, version, log name, kinds whose newest file this log is).
# The bundle's own logs "Velmora_Drivers_<stamp>.log", its per-package logs
# ending in "msi.log" (with and without ".msi.") and the failed attempts'
# rollback logs; the last log of all contains ".msi.", so the MSI kind must
# pass over it for an older one.
ATTEMPTS = [
    ("2026-03-10 09:15:02", "install", "5.2.8", "Velmora_Drivers_20260310_091502.log", ()),
    ("2026-04-02 14:00:11", "install", "5.3.0", "vl_20260402_140011_VelmoraDrivers_msi_rollback.log", ()),
    ("2026-04-02 14:15:30", "remove", "5.2.8", "Velmora_Drivers_20260402_141530_001_Drivers_msi.log", ()),
    ("2026-05-15 16:33:44", "install", "5.2.8", "Velmora_Drivers_20260515_163344.log", ("msi",)),
    ("2026-05-15 16:34:10", "install", "5.3.0", "vl_20260515_163410_VelmoraDrivers_msi_rollback.log",
     ("rollback",)),
    ("2026-05-15 16:34:12", "install", "5.3.0",
     "Velmora_Drivers_20260515_163412_000_VelmoraDrivers.msi.log", ("wix",)),
]

# Matches a pattern but is a folder, older than the newest file of its kind.
DECOY_FOLDER = ("2026-02-20 10:00:00", "vl_20260220_100000_VelmoraDrivers_msi_rollback.log")
SETUP_LOG_TIME = "2026-05-15 16:36:52"


def _epoch(stamp):
    return calendar.timegm(time.strptime(stamp, "%Y-%m-%d %H:%M:%S"))


def _set_time(path, stamp):
    seconds = _epoch(stamp)
    os.utime(path, (seconds, seconds))


# libfaketime for 64-bit programs (Debian's faketime package).
FAKETIME = Path("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1")


def _clock_at(wine, stamp):
    """The environment that starts a program's clock at `stamp` (UTC), so
    that msiexec logs an attempt at the time the history gives it, as a
    machine would have on that day; None where that cannot be done, and the
    logs then show the real time. Only 64-bit prefixes: Wine's 32-bit loader
    hangs under libfaketime. File times are left alone (NO_FAKE_STAT), or
    Wine would take its prefix for out of date."""
    if wine.arch != "win64" or not FAKETIME.is_file():
        return None
    return {"LD_PRELOAD": str(FAKETIME), "FAKETIME": "@" + stamp, "NO_FAKE_STAT": "1", "TZ": "UTC"}


def _inputs_digest():
    digest = hashlib.sha256()
    for path in sorted(p for p in SOURCES.rglob("*") if p.is_file()):
        digest.update(str(path.relative_to(SOURCES)).encode() + b"\0" + path.read_bytes())
    digest.update(json.dumps([VERSIONS, CUSTOM_ACTION_IDT, SEQUENCE_QUERY]).encode())
    return digest.hexdigest()


def _run(command, cwd):
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{command[0]} failed ({result.returncode}): {result.stdout}")


# The driver-setup program is built for the Windows the prefix is: a 64-bit
# prefix needs no 32-bit Windows layer (WoW64) to run it, as a 32-bit one
# has no other.
COMPILERS = {"win64": "x86_64-w64-mingw32-gcc", "win32": "i686-w64-mingw32-gcc"}


def build_packages(build_dir, arch="win64"):
    """Builds every demo version's package for a Wine prefix of `arch` into
    BUILD_DIR/demo/ARCH, unless the packages there were built from the same
    sources; returns {version: path}."""
    out = Path(build_dir).resolve() / "demo" / arch
    out.mkdir(parents=True, exist_ok=True)
    packages = {version: out / f"VelmoraDrivers-{version}.msi" for version in VERSIONS}
    stamp = out / "inputs.sha256"
    with open(out / ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        digest = _inputs_digest()
        if stamp.exists() and stamp.read_text() == digest and all(p.exists() for p in packages.values()):
            return packages
        stamp.unlink(missing_ok=True)
        # msibuild takes a Binary row's stream from Binary/<file>, relative
        # to the folder it runs in.
        stage = out / "stage"
        shutil.rmtree(stage, ignore_errors=True)
        (stage / "Binary").mkdir(parents=True)
        _run([COMPILERS[arch], "-Os", "-s", "-o", str(stage / "Binary" / "DriverSetup.exe"),
              str(SOURCES / "driver_setup.c")], stage)
        (stage / "Binary.idt").write_text(BINARY_IDT)
        (stage / "CustomAction.idt").write_text(CUSTOM_ACTION_IDT)
        for version, details in VERSIONS.items():
            package = packages[version]
            _run(["wixl", "-o", str(package), "-D", f"Version={version}",
                  "-D", f"ProductCode={details['product_code']}",
                  "-D", f"ComponentCode={details['component_code']}",
                  str(SOURCES / "VelmoraDrivers.wxs")], stage)
            if details["fails"]:
                _run(["msibuild", str(package), "-i", "Binary.idt", "-i", "CustomAction.idt",
                      "-q", SEQUENCE_QUERY], stage)
        stamp.write_text(digest)
    return packages


@dataclass
class History:
    """What was installed and what the tool should then collect."""
    temp: str
    attempts: list = field(default_factory=list)   # {when, action, version, log, status}
    installed: list = field(default_factory=list)  # versions registered afterwards
    newest: dict = field(default_factory=dict)     # kind -> log name (keys of PATTERNS)
    decoys: list = field(default_factory=list)     # entries matching a pattern, never taken
    setup_logs: list = field(default_factory=list)  # written, relative to the Windows folder
    setup_log: str = ""                             # the one of them the tool takes

    def save(self, path):
        path.write_text(json.dumps(asdict(self), indent=1))

    @classmethod
    def load(cls, path):
        return cls(**json.loads(path.read_text()))


def _write_setup_logs(wine, xp):
    """Wine keeps no device-setup log: write the demo's, as Windows does
    (ANSI text, CRLF), "inf\\setupapi.dev.log" always and XP's
    "setupapi.log" on the XP layout."""
    logs = {"inf/setupapi.dev.log": "setupapi-dev.txt"}
    if xp:
        logs["setupapi.log"] = "setupapi-xp.txt"
    for relative, source in logs.items():
        target = wine.windows / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes((SOURCES / source).read_bytes().replace(b"\n", b"\r\n"))
        _set_time(target, SETUP_LOG_TIME)
    return list(logs), "setupapi.log" if xp else "inf/setupapi.dev.log"


def _packed(code):
    """A product code as the installer's registry keys spell it."""
    parts = code.split("-")
    tail = "".join(parts[3:])
    return (parts[0][::-1] + parts[1][::-1] + parts[2][::-1]
            + "".join(tail[i + 1] + tail[i] for i in range(0, len(tail), 2)))


def installed_versions(wine):
    """The demo versions the prefix's user has installed."""
    found = []
    for version, details in VERSIONS.items():
        key = r"HKCU\Software\Microsoft\Installer\Products" + "\\" + _packed(details["product_code"])
        status, _, _ = wine.run("reg", ["query", key])
        if status == 0:
            found.append(version)
    return found


def install_history(wine, temp, build_dir, xp=False):
    """Installs ATTEMPTS into `wine` (a WinePrefix) one after another, each
    attempt's verbose log written by msiexec into `temp`, the prefix's
    temporary folder as the tool finds it on its layout (a Linux path); then
    dates every log by its attempt. `xp` adds XP's device-setup log."""
    packages = build_packages(build_dir, wine.arch)
    temp = Path(temp)
    temp.mkdir(parents=True, exist_ok=True)  # msiexec writes no log into a missing folder
    history = History(temp=str(temp))
    for when, action, version, log, kinds in ATTEMPTS:
        switch = "/i" if action == "install" else "/x"
        clock = _clock_at(wine, when)
        # Under a set clock, the prefix's server starts afresh with it (a
        # program waiting on a server of another time may wait for ever) and
        # msiexec runs as the 64-bit program it is.
        msiexec = wine.windows / "system32" / "msiexec.exe" if clock else "msiexec"
        if clock:
            wine.kill()
        status, _, err = wine.run(msiexec, [switch, wine.to_windows_path(packages[version]), "/qn",
                                            "/l*v", wine.to_windows_path(temp / log)],
                                  env=clock, timeout=300)
        if clock:
            wine.kill()
        expected_failure = action == "install" and VERSIONS[version]["fails"]
        if (status != 0) != expected_failure or not (temp / log).is_file():
            raise RuntimeError(f"msiexec {switch} {version}: status {status}, log "
                               f"{'written' if (temp / log).is_file() else 'missing'}: {err[-2000:]}")
        _set_time(temp / log, when)
        history.attempts.append({"when": when, "action": action, "version": version, "log": log,
                                 "status": status})
        for kind in kinds:
            history.newest[kind] = log
    history.installed = installed_versions(wine)
    wine.wait_idle()
    when, folder = DECOY_FOLDER
    (temp / folder).mkdir(exist_ok=True)
    _set_time(temp / folder, when)
    history.decoys = [folder]
    history.setup_logs, history.setup_log = _write_setup_logs(wine, xp)
    return history


def prepare(wine, temp, build_dir, xp=False):
    """install_history once per prefix: a later call finds the marker it
    left in the prefix's folder and returns the same History."""
    marker = wine.root / MARKER
    if marker.exists():
        return History.load(marker)
    history = install_history(wine, temp, build_dir, xp)
    history.save(marker)
    return history


def main(argv):
    if len(argv) == 3 and argv[0] == "prepare":
        wine = WinePrefix(argv[1], argv[2], reuse=True)
        fresh = not (wine.root / MARKER).exists()
        started = time.monotonic()
        history = prepare(wine, wine.profile / "AppData" / "Local" / "Temp", argv[2])
        if fresh:
            print(f"Installed the demo Velmora Drivers history ({time.monotonic() - started:.0f} s):")
        else:
            print("Demo Velmora Drivers history already installed:")
        for attempt in history.attempts:
            outcome = "ok" if attempt["status"] == 0 else "failed, rolled back"
            print(f"  {attempt['when']}  {attempt['action']} {attempt['version']} ({outcome})  {attempt['log']}")
        print(f"  installed now: {', '.join(history.installed) or 'nothing'}")
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
