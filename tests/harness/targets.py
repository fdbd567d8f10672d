"""Targets: each prepares one case's home or Wine prefix, runs the tool
there and reads back what the helper programs recorded."""

import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

from wine_prefix import DLL_OVERRIDES, WinePrefix, cannot_run_32bit, loader

from .files import put
from .lines import FOLDER_NAME

BUILD_DIR = Path(os.environ.get("VELMORA_BUILD_DIR", "."))
# Where each case's scratch folder goes: another one lets a second run of the
# matrix (a release check's, on another executable) go beside the build's.
RUNS_DIR = Path(os.environ.get("VELMORA_RUNS_DIR", BUILD_DIR / "runs"))
EXE = Path(os.environ.get("VELMORA_EXE", "velmora-diag"))
# The Windows helper programs of tests/programs, as this build made them.
PROGRAMS = Path(os.environ.get("VELMORA_PROGRAMS", "."))
REPORTS = {"wmic": "installedapps.txt", "msinfo32": "sysinfo.nfo"}
USER_SHELL_FOLDERS = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
ENVIRONMENT = r"HKEY_CURRENT_USER\Environment"
UNINSTALL = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"


def scratch_root(case_id, unprivileged):
    """In the build tree, or for another user under /tmp, made traversable."""
    if not unprivileged:
        root = RUNS_DIR / case_id
        shutil.rmtree(root, ignore_errors=True)
        root.mkdir(parents=True)
        return root, lambda: shutil.rmtree(root, ignore_errors=True)
    outer = Path(tempfile.mkdtemp(prefix="velmora-"))
    outer.chmod(0o711)
    return outer / "case", lambda: shutil.rmtree(outer, ignore_errors=True)


class Target:
    name = ""
    windows = False
    legacy = False  # the older profile and setup-log layout
    sep = "/"

    def __init__(self, case_id, unprivileged=False):
        self.unprivileged = unprivileged and os.geteuid() == 0
        self.root, self._remove = scratch_root(case_id, self.unprivileged)
        self.root.mkdir(parents=True, exist_ok=True)
        try:
            self.prepare()
        except BaseException:
            self.close()
            raise

    def prepare(self):
        self.records = self.root / "records"
        self.records.mkdir()
        if self.unprivileged:
            os.chown(self.records, 65534, 65534)
        self.report_env = {}
        self.exit_time = None

    @classmethod
    def unavailable(cls):
        return None

    @property
    def working_folder(self):
        return self.desktop / FOLDER_NAME

    def use_desktop(self, folder, create=True):
        if create:
            folder.mkdir(parents=True, exist_ok=True)
        self.desktop = folder

    def report(self, stem, fail=None, after=None, run_ms=0):
        """The stand-in for `stem` next run: fail ("crash", "exit", "missing"),
        or wait for the record file `after`, then run `run_ms`."""
        if fail == "missing":
            self.remove_program(stem)
        for kind, value in (("FAIL", fail != "missing" and fail), ("AFTER", after), ("RUN_MS", str(run_ms))):
            self.report_env.pop(f"VELMORA_{kind}_{stem.upper()}", None)
            if value:
                self.report_env[f"VELMORA_{kind}_{stem.upper()}"] = value

    def own(self, *paths):
        """Gives what the case made after set-up to the user the tool runs as."""
        if self.unprivileged:
            for path in paths:
                os.lchown(path, 65534, 65534)

    def stamps(self, kind):
        """{stem: time} of the report programs that recorded `kind` ("start", "end")."""
        return {p.stem: float(p.read_text()) for p in self.records.glob(f"*.{kind}")
                if p.read_text().strip()}

    def arguments(self, stem):
        return (self.records / f"{stem}.args").read_bytes().decode().split("\0")[:-1]

    def module(self, stem):
        return (self.records / f"{stem}.module").read_text(encoding="utf-8").strip()

    def run(self, args=(), cwd=None, before_idle=None, timeout=180):
        """Returns (status, output, errors); `before_idle` is called once it
        exited (exit_time), before waiting for what it left running."""
        self.apply_settings()
        self.serve()
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            # Files, not pipes: programs the run leaves behind inherit them.
            process = subprocess.Popen(self.command(args), env=self.environment(),
                                       cwd=cwd or self.root, stdout=out, stderr=err)
            try:
                status = process.wait(timeout)
            finally:
                self.exit_time = time.time()
                if process.poll() is None:
                    process.kill()
                if before_idle:
                    before_idle()
                self.wait_idle()
            out.seek(0)
            err.seek(0)
            return (status, out.read().decode("utf-8", "replace").replace("\r\n", "\n"),
                    err.read().decode("utf-8", "replace"))

    def apply_settings(self):
        pass

    def serve(self):
        pass

    def wait_idle(self):
        pass

    def close(self):
        self._remove()


class NativeTarget(Target):
    """The POSIX build in a scratch home: the desktop and temporary folder
    as the XDG folders name them, shell-script stand-ins on PATH."""

    name = "native"

    STAND_IN = r"""#!/bin/sh
# Records as the Windows stand-in does (tests/programs/report_stand_in.cpp);
# nothing in it evaluates an argument.
stem=$(basename "$0" .exe)
upper=$(echo "$stem" | tr a-z A-Z)
record="$VELMORA_RECORD_DIR/$stem"
date +%s.%N > "$record.start"
printf '%s\n' "$0" > "$record.module"
for argument in "$@"; do printf '%s\0' "$argument"; done > "$record.args"
eval "fail=\${VELMORA_FAIL_$upper:-} after=\${VELMORA_AFTER_$upper:-} ms=\${VELMORA_RUN_MS_$upper:-0}"
case "$fail" in crash) kill -SEGV $$ ;; exit) exit 1 ;; esac
n=0
while [ -n "$after" ] && [ ! -e "$VELMORA_RECORD_DIR/$after" ] && [ $n -lt 600 ]; do
  sleep 0.1; n=$((n + 1))
done
sleep "$(echo "$ms" | awk '{ print $1 / 1000 }')"
output=
previous=
for argument in "$@"; do
  case "$argument" in /output:*) output=${argument#/output:} ;; esac
  [ "$previous" = /nfo ] && output=$argument
  previous=$argument
done
[ -n "$output" ] && echo "written by $stem" > "$output"
date +%s.%N > "$record.end"
"""
    # Stands in for the desktop's opener: one record file per start, whole
    # once it has its name.
    OPENER = r"""#!/bin/sh
{ date +%s.%N; for argument in "$@"; do printf '%s\0' "$argument"; done; } > "$VELMORA_RECORD_DIR/.open.$$"
mv "$VELMORA_RECORD_DIR/.open.$$" "$VELMORA_RECORD_DIR/open.$$"
"""

    def prepare(self):
        super().prepare()
        self.scratch = self.root
        self.bin = self.root / "bin"
        self.bin.mkdir()
        for name, text in (("wmic", self.STAND_IN), ("msinfo32.exe", self.STAND_IN), ("xdg-open", self.OPENER)):
            (self.bin / name).write_text(text)
            (self.bin / name).chmod(0o755)
        self.tool = self.root / "tool" / EXE.name
        self.tool.parent.mkdir()
        shutil.copy2(EXE, self.tool)
        self.system_logs = {}
        self.runner = ()
        self.use_profile(self.root / "home")
        self.use_desktop(self.home / "Desktop")
        if self.unprivileged:
            for path in [self.root, *self.root.rglob("*")]:
                os.lchown(path, 65534, 65534)
            self.runner = ("setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups")

    def tool_path(self, path):
        return str(path)

    def use_profile(self, folder):
        folder.mkdir(parents=True, exist_ok=True)
        self.home = folder
        self.temp = folder / ".local" / "share" / "Temp"

    def apply_settings(self):
        """The desktop as user-dirs.dirs names it, unless it is $HOME/Desktop."""
        config = self.home / ".config" / "user-dirs.dirs"
        text = f'XDG_DESKTOP_DIR="{self.desktop}"\n'
        if self.desktop != self.home / "Desktop":
            config.parent.mkdir(exist_ok=True)
            if not config.exists() or config.read_text() != text:
                config.write_text(text)
        elif config.exists():
            config.unlink()

    def system_program(self, stem):
        return str(self.bin / ("wmic" if stem == "wmic" else "msinfo32.exe"))

    def remove_program(self, stem):
        Path(self.system_program(stem)).unlink()

    def add_uninstall_entries(self, entries):
        pass  # no registry here

    def other_temps(self):
        return [self.temp.parent, self.home / "Temp"]

    def remove_opener(self):
        (self.bin / "xdg-open").unlink()
        return True

    def command(self, args):
        # VELMORA_WRAPPER runs the tool under a checker such as Valgrind.
        return [*self.runner, *os.environ.get("VELMORA_WRAPPER", "").split(), str(self.tool), *args]

    def environment(self):
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        env.update({"HOME": str(self.home), "VELMORA_RECORD_DIR": str(self.records),
                    "PATH": f"{self.bin}:/usr/bin:/bin", **self.report_env})
        return env

    def openings(self, expected=1):
        """[(time, path)] of the opener's starts, once `expected` arrived:
        it runs detached and may end after the tool."""
        deadline = time.monotonic() + 30
        while True:
            found = sorted(p.read_bytes().decode().split("\n", 1) for p in self.records.glob("open.*"))
            if len(found) >= expected or time.monotonic() > deadline:
                return [(float(stamp), text[:-1]) for stamp, text in found]
            time.sleep(0.05)

    def settle(self):
        time.sleep(0.3)  # time for a detached opener that should not come to show

    def start_appending(self, log):
        """Appends to `log` from now on; returns what stops and what tells what was appended."""
        stop, lines = threading.Event(), []

        def append():
            with open(log, "ab", buffering=0) as file:
                while not stop.is_set():
                    lines.append(b"appended line %06d\n" % len(lines))
                    file.write(lines[-1])
                    time.sleep(0.0005)
        appender = threading.Thread(target=append)
        appender.start()
        while not lines:
            time.sleep(0.001)

        def end():
            stop.set()
            appender.join()
        return end, lambda: b"".join(lines)

    def snapshot_root(self):
        return self.root

    def skip_in_snapshot(self, relative):
        return relative == Path("records") or relative == self.working_folder.relative_to(self.root)


class WineTarget(Target):
    """A Windows build under Wine, in the case's own copy of the architecture's
    template prefix, its Windows version and profile folders set before the first run."""

    windows = True
    sep = "\\"
    arch = "win64"
    version = None  # Wine's name of the Windows version; None: Wine's own (10)
    system = "system32"  # where a program of the tool's bitness finds the system's

    def prepare(self):
        super().prepare()
        self.wine = WinePrefix(self.root / "wine", BUILD_DIR, arch=self.arch)
        self.scratch = self.wine.drive_c
        self.user = self.wine.user
        profile = self.wine.drive_c / ("Documents and Settings" if self.legacy else "users") / self.user
        self.desktop = profile / "Desktop"
        self.temp = profile / ("Local Settings/Temp" if self.legacy else "AppData/Local/Temp")
        # Registry values to set before the next run, all with one Wine start.
        self.settings = self._layout(self.wine) if self.legacy else {}
        self.overrides = {"explorer.exe": "n", "wmic.exe": "n", "msinfo32.exe": "n"}
        for stem in REPORTS:
            self.install(PROGRAMS / "stand-ins" / f"{stem}.exe", self.program_folder(stem))
        # The shell starts the folder window by name: from the Windows folder,
        # the tool's current folder while it starts programs, or the system's.
        for folder in {self.wine.windows, self.wine.windows / "system32", self.wine.windows / self.system}:
            self.install(PROGRAMS / "stand-ins" / "explorer.exe", folder)
        self.tool = self.wine.drive_c / "Velmora Tool" / EXE.name
        self.tool.parent.mkdir()
        shutil.copyfile(EXE, self.tool)
        # Both setup logs: the layout picks one.
        newer = put(self.wine.windows / "inf", "setupapi.dev.log", 30)
        older = put(self.wine.windows, "setupapi.log", 30)
        self.system_logs = {"setupapi.log": older} if self.legacy else {"setupapi.dev.log": newer}
        self.skipped = set()
        if self.unprivileged:
            self.wine.hand_over()
            # Wine makes the new user's profile on its first start, and names
            # its folders in the registry: the case's are named again.
            self.skipped.add(Path("drive_c") / "users" / "nobody")
            self.settings = self._layout(self.wine) if self.legacy else {}
            self.use_desktop(self.desktop)
            self.use_profile(self.temp.parent.parent if self.legacy else self.temp.parents[2])

    @classmethod
    def unavailable(cls):
        wow = cls.arch == "win32" or cls.system == "syswow64"
        return cannot_run_32bit(BUILD_DIR, cls.arch) if wow else None

    def _layout(self, wine):
        """The Windows version and XP's profile folders, made and named in the registry."""
        profile = wine.drive_c / "Documents and Settings" / wine.user
        for folder in ("Desktop", "Application Data", "Local Settings/Application Data", "Local Settings/Temp"):
            (profile / folder).mkdir(parents=True, exist_ok=True)
        text = f"C:\\Documents and Settings\\{wine.user}"
        return {(r"HKEY_CURRENT_USER\Software\Wine", "Version"): self.version,
                (USER_SHELL_FOLDERS, "Desktop"): text + "\\Desktop",
                (USER_SHELL_FOLDERS, "AppData"): text + "\\Application Data",
                (USER_SHELL_FOLDERS, "Local AppData"): text + "\\Local Settings\\Application Data",
                (ENVIRONMENT, "TEMP"): text + "\\Local Settings\\Temp",
                (ENVIRONMENT, "TMP"): text + "\\Local Settings\\Temp"}

    def _import(self, prefix, values):
        """Sets registry values with one Wine start: a .reg file imported."""
        lines = ["Windows Registry Editor Version 5.00", ""]
        for key in sorted({key for key, _ in values}):
            lines.append(f"[{key}]")
            for (k, name), data in sorted(values.items()):
                if k == key:
                    lines.append('"%s"="%s"' % (name, data.replace("\\", "\\\\").replace('"', '\\"')))
            lines.append("")
        reg = prefix.root / "settings.reg"
        reg.write_bytes("\r\n".join(lines).encode("utf-16"))
        if prefix.runner:
            os.lchown(reg, 65534, 65534)
        self.serve()
        status, out, err = prefix.run("reg", ["import", prefix.to_windows_path(reg)])
        reg.unlink()
        if status != 0:
            raise RuntimeError(f"reg import failed with status {status}: {out} {err}")

    def install(self, source, folder):
        folder.mkdir(parents=True, exist_ok=True)
        target = folder / source.name
        if target.exists() or target.is_symlink():
            target.unlink()  # hard linked to the template: never write through it
        shutil.copyfile(source, target)
        if self.unprivileged:
            os.lchown(target, 65534, 65534)
        return target

    def tool_path(self, path):
        return self.wine.to_windows_path(path)

    def use_profile(self, folder):
        local = folder / ("Local Settings/Application Data" if self.legacy else "AppData/Local")
        local.mkdir(parents=True, exist_ok=True)
        self.settings[(USER_SHELL_FOLDERS, "Local AppData")] = self.tool_path(local)
        self.temp = local.parent / "Temp" if self.legacy else local / "Temp"

    def use_desktop(self, folder, create=True):
        super().use_desktop(folder, create)
        self.settings[(USER_SHELL_FOLDERS, "Desktop")] = self.tool_path(folder)

    def apply_settings(self):
        if self.settings:
            self._import(self.wine, self.settings)
            self.settings = {}

    def program_folder(self, stem):
        """Where Windows keeps the report program `stem`: WMIC in the system
        directory's wbem folder, msinfo32 in the system directory."""
        folder = self.wine.windows / self.system
        return folder / "wbem" if stem == "wmic" else folder

    def system_program(self, stem):
        return self.tool_path(self.program_folder(stem) / f"{stem}.exe")

    def remove_program(self, stem):
        (self.program_folder(stem) / f"{stem}.exe").unlink()
        self.overrides[f"{stem}.exe"] = "d"  # nor Wine's own

    def add_uninstall_entries(self, entries):
        """Adds (hive, view, key, {value: text or number}) entries to the
        registry's uninstall lists with reg add, all in one Wine start; view
        "64" or "32" for the machine's (one and the same in a 32-bit prefix)."""
        commands = []
        for hive, view, key, values in entries:
            for name, data in values.items():
                kind, text = ("REG_DWORD", str(data)) if isinstance(data, int) else ("REG_SZ", data)
                commands += ["&", "reg", "add", f"{hive}\\{UNINSTALL}\\{key}", "/v", name, "/t", kind,
                             "/d", text, "/f", *([f"/reg:{view}"] if view else [])]
        self.serve()
        status, out, err = self.wine.run("cmd", ["/c", *commands[1:]], env={"LC_ALL": "C.UTF-8"})
        if status != 0:
            raise RuntimeError(f"reg add failed with status {status}: {out} {err}")

    def remove_opener(self):
        return False  # the shell always has its folder window

    def other_temps(self):
        """Folders a wrong reading of the layout would search instead."""
        if self.legacy:
            return [self.wine.drive_c / "users" / self.user / "AppData/Local/Temp",
                    self.temp.parent / "Application Data/Temp", self.temp.parent]
        legacy = self.wine.drive_c / "Documents and Settings" / self.user / "Local Settings/Temp"
        return [self.wine.drive_c / "users" / self.user / "Temp", legacy, self.temp.parent]

    def command(self, args):
        # The tool's own process, not a launcher's: its exit is exit_time.
        return [*self.wine.runner, loader(self.tool), str(self.tool), *args]

    def environment(self):
        overrides = ";".join(f"{name}={how}" for name, how in self.overrides.items())
        # Wine's loader names every module it maps into a process: the tool's
        # own is the stamp that its start reached the program (see run).
        return {**self.wine.env, "VELMORA_RECORD_DIR": self.tool_path(self.records),
                "WINEDLLOVERRIDES": f"{DLL_OVERRIDES};{overrides}", "WINEDEBUG": "-all,+loaddll",
                **self.report_env}

    def run(self, args=(), cwd=None, before_idle=None, timeout=180):
        """As Target.run; a start that Wine ended before it mapped the tool
        into its process (no stamp of the tool's module: the program never
        ran, so nothing of it can be judged) is made once more, and said."""
        for attempt in (1, 2):
            status, out, err = super().run(args, cwd, before_idle, timeout)
            traces = [line for line in err.splitlines() if ":trace:loaddll:" in line]
            reached = any(f'\\{self.tool.name}"'.lower() in line.lower() for line in traces)
            err = "".join(line for line in err.splitlines(True) if ":trace:loaddll:" not in line)
            if reached or attempt == 2:
                return status, out, err
            print(f"{self.name}: Wine ended the start (status {status}) before it mapped "
                  f"{self.tool.name}; starting it once more. Wine said: {err.strip()[-500:]!r}",
                  file=sys.stderr, flush=True)

    def openings(self, expected=1):
        """[(time, command line)] of the folder window's starts but Wine's desktop."""
        log = self.records / "launches.txt"
        lines = log.read_text(encoding="utf-8").splitlines() if log.exists() else []
        found = [line.split("\t", 2)[1:] for line in lines if line.count("\t") >= 2]
        return [(float(stamp), text) for stamp, text in found if "/desktop" not in text]

    def settle(self):
        pass  # the run waited for every program of the prefix already

    def serve(self):
        """A server that ends with its last program, not 3 s later; refused,
        harmlessly, while one runs."""
        subprocess.run([*self.wine.runner, "wineserver", "-p0"], env=self.wine.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_idle(self):
        self.wine.wait_idle()

    def start_appending(self, log):
        release, signals = self.hold("append", log)

        def appended():
            lines = int((signals / "appended").read_text())
            return b"".join(b"appended line %06d\r\n" % n for n in range(1, lines + 1))
        return release, appended

    def hold(self, mode, log):
        """Starts hold_log on `log`; returns what lets it go, and its signal folder."""
        signals = self.root / f"hold-{mode}"
        signals.mkdir()
        self.serve()
        helper = self.wine.start(PROGRAMS / "hold_log.exe",
                                 [mode, self.tool_path(log), self.tool_path(signals)])
        while not (signals / "ready").exists():
            if helper.poll() is not None:
                raise AssertionError("the helper could not open the log")
            time.sleep(0.05)

        def release():
            (signals / "release").touch()
            if helper.wait(120) != 0:
                raise AssertionError("the helper failed")
        return release, signals

    def snapshot_root(self):
        return self.wine.prefix

    def skip_in_snapshot(self, relative):
        """Left out: what Wine maintains (the registry files, the server's
        folder name, the device links) and the working folder."""
        return ((len(relative.parts) == 1 and relative.suffix == ".reg") or relative.name == "wineserver"
                or relative.parts[0] == "dosdevices" or relative in self.skipped
                or relative == self.working_folder.relative_to(self.wine.prefix))

    def close(self):
        if getattr(self, "wine", None):
            self.wine.kill()
        super().close()


# The 64-bit build on Windows 10 and XP x64 (5.2), the 32-bit one on XP (5.1) and WoW64.
WINE_TARGETS = [type(name, (WineTarget,), fields) for name, fields in (
    ("Win64", {"name": "win64"}),
    ("WinXp64", {"name": "winxp64", "version": "winxp64", "legacy": True}),
    ("Win32Xp", {"name": "win32xp", "arch": "win32", "version": "winxp", "legacy": True}),
    ("Wow64", {"name": "wow64", "system": "syswow64"}))]
TARGETS = {t.name: t for t in (NativeTarget, *WINE_TARGETS)}
