"""Which logs a run copies, from where, and how."""

import os
import subprocess
import sys
import unittest.mock

from harness import (DESKTOP_NAME, DIRECTIVES, LONG_WIX_LOG, MSI_LOG, OLDER_MSI_LOG,
                     POSIX_SHELL_SYNTAX, PROFILE_NAME, ROLLBACK_LOG, SHELL_SYNTAX, Case, fill, only,
                     put, units)
from harness.targets import BUILD_DIR, PROGRAMS

import demo_history


class Logs(Case):
    def test_newest_of_each_kind_into_an_earlier_working_folder(self):
        """The newest match of each pattern, letter case aside (the MSI step
        passing over ".msi." names), no folder, nothing from a subfolder or
        the other layout's folders; copies overwrite an earlier run's files
        of the same name and leave the rest; arguments change nothing."""
        target, temp = self.target, self.target.temp
        msi = put(temp, "Velmora_Drivers_20240102.log", 1)
        put(temp, "Velmora_Drivers_20240101.log", 2)
        put(temp, "velmora_drivers_CORE.LOG", 1.5)
        wix = put(temp, "Velmora_Drivers_bundle.msi.log", 0)  # the newest, but not the MSI step's
        put(temp, "Velmora_Drivers_older_bundle.msi.log", 3)
        rollback = put(temp, "vl_core_msi_rollback.log", 4)
        put(temp, "vl_core_msi_rollback.log.old", 0)
        for name in ("Velmora_Drivers_newer.log", "Velmora_Drivers_x.msi.log", "vl_x_msi_rollback.log"):
            put(temp / name, "inside.log", -1)  # folders, newer than every log
        put(temp / "nested", "Velmora_Drivers_nested.log", -1)
        for folder in target.other_temps():
            put(folder, "Velmora_Drivers_elsewhere.log", -2)
            put(folder, "vl_elsewhere_msi_rollback.log", -2)
        earlier = {"notes.txt": b"kept", "old run": None, "old run/installedapps.txt": b"kept too",
                   msi.name: b"copy from an earlier run", "sysinfo.nfo": b"old report"}
        self.working_folder.mkdir()
        for name, data in earlier.items():
            path = self.working_folder / name
            path.mkdir() if data is None else path.write_bytes(data)

        self.scenario({**earlier, **self.copies(msi, wix, rollback)},
                      args=["/?", "--help", "extra argument"])
        if target.windows:
            for source in (msi, wix, rollback, *target.system_logs.values()):
                self.assertEqual((self.working_folder / source.name).stat().st_mtime_ns // 10**7,
                                 source.stat().st_mtime_ns // 10**7, "last-write time kept")

    def test_awkward_paths_and_names(self):
        """Beyond-ASCII characters and format directives in the profile,
        desktop and log names, shell syntax in the profile's, a WiX log
        name of 255 units: the fixed lines only, the logs copied, the path
        handed over unchanged (a shell reading it leaves marker files)."""
        target = self.target
        shell = SHELL_SYNTAX if target.windows else f"{SHELL_SYNTAX} {POSIX_SHELL_SYNTAX}"
        profile = target.scratch / f"{PROFILE_NAME} {DIRECTIVES} {shell}"
        target.use_profile(profile)
        # Natively $HOME/Desktop: user-dirs.dirs cannot name a path with a newline.
        target.use_desktop(profile / (f"{DESKTOP_NAME} {DIRECTIVES}" if target.windows else "Desktop"))
        msi = put(target.temp, MSI_LOG.replace(".log", f" {DIRECTIVES}.log"), 1)
        put(target.temp, OLDER_MSI_LOG, 2)
        wix = put(target.temp, LONG_WIX_LOG, 0)
        rollback = put(target.temp, ROLLBACK_LOG.replace("_msi", f" {DIRECTIVES}_msi"), 3)
        self.assertEqual(units(wix.name), 255)

        self.scenario(self.copies(msi, wix, rollback))
        self.assert_report_arguments()

    @only("win64", "native", why="the search is the same code in every build: "
                                 "win64 and native carry the large folder")
    def test_temporary_folder_of_100000_entries(self):
        """The newest logs among other programs' files; the time is printed, not bounded."""
        made = fill(self.target.temp, 100_000 - 200)
        for number in range(100):
            put(self.target.temp, f"Velmora_Drivers_{number:03d}.log", 2 + number)
            put(self.target.temp, f"vl_{number:03d}_msi_rollback.log", 2 + number)
        took = self.scenario(self.copies(self.target.temp / "Velmora_Drivers_000.log",
                                         self.target.temp / "vl_000_msi_rollback.log"))
        print(f"\n{self.target.name}: 100,000 entries made in {made:.1f} s, "
              f"the run took {took:.2f} s", file=sys.stderr)

    @only("win64", "native", why="the copy is the same code in every build: "
                                 "win64 and native carry the log written during the run")
    def test_log_appended_to_during_the_run(self):
        """Nothing appended is lost; the copy is what the log held at one
        moment of the run: more than before it, less than after it."""
        log = put(self.target.temp, ROLLBACK_LOG, 1)
        initial = log.read_bytes()
        stop, appended = self.target.start_appending(log)
        self.addCleanup(stop)
        self.scenario({**self.copies(), log.name: unittest.mock.ANY}, changing={log},
                      before_idle=stop)
        final = log.read_bytes()
        self.assertEqual(final, initial + appended())
        copy = (self.working_folder / log.name).read_bytes()
        self.assertTrue(len(initial) < len(copy) < len(final), (len(initial), len(copy), len(final)))
        self.assertEqual(copy, final[:len(copy)])

    @only("win64", why="sharing modes are Windows'; the copy is the same code in both Windows builds")
    def test_log_held_open_without_sharing(self):
        """The MSI log held open sharing nothing: its copy fails, the rest go on."""
        msi, wix, rollback = (put(self.target.temp, n, 1) for n in (MSI_LOG, LONG_WIX_LOG, ROLLBACK_LOG))
        release, _ = self.target.hold("lock", msi)
        self.scenario(self.copies(wix, rollback), before_idle=release)


class InstalledHistory(Case):
    @only("win64", "winxp64", "win32xp", "wow64", why="the history is installed by Wine's msiexec")
    def test_newest_logs_of_real_installs(self):
        """The demo history (scripts/demo_history.py) by msiexec: exactly the
        newest log of each kind copied, as msiexec wrote it, nothing changed."""
        target = self.target
        target.apply_settings()  # the layout msiexec installs into
        history = demo_history.install_history(target.wine, target.temp, BUILD_DIR, xp=target.legacy)
        self.assertEqual(history.installed, ["5.2.8"], "5.3.0 rolled back, 5.2.8 kept")
        for pattern in demo_history.PATTERNS.values():
            self.assertGreater(len(list(target.temp.glob(pattern))), 1, f"one candidate only: {pattern}")
        self.assertTrue(all((target.temp / name).is_dir() for name in history.decoys))
        setup = target.wine.windows / history.setup_log
        self.assertEqual(list(target.system_logs.values()), [setup], "the demo's setup log is the one taken")
        self.scenario(self.copies(*(target.temp / name for name in history.newest.values())))


# Names that tell matching rules apart: letter case, "msi.log" with and
# without ".msi.", extra dots and blanks, letters beyond ASCII and beyond
# the Basic Multilingual Plane, look-alikes, the longest name a folder holds.
PATTERNS = ["Velmora_Drivers_*.log", "Velmora_Drivers_*msi.log", "vl_*msi_rollback.log",
            "*ÜBERPRÜFUNG*", "*ЖУРНАЛ*"]
LONG = "Velmora_Drivers_" + "x" * (255 - len("Velmora_Drivers_") - len(".log")) + ".log"
NAMES = [
    "Velmora_Drivers_setup.log", "velmora_drivers_lower.log", "VELMORA_DRIVERS_UPPER.LOG",
    "Velmora_Drivers_mixed.Log", "Velmora_Drivers_ends_in_LOG", "VL_UPPER_MSI_ROLLBACK.LOG",
    "Velmora_Drivers_a.msi.log", "Velmora_Drivers_amsi.log", "Velmora_Drivers_b.MSI.LOG",
    "Velmora_Drivers_msi.log", "Velmora_Drivers_msi.log.msi.log", "vl_msi_rollback.log",
    "vl_x.msi_rollback.log", "vl_msi_rollback.log.bak", "vl_rollback.log",
    "Velmora_Drivers_.log", "Velmora_Drivers_a..b...log", "Velmora_Drivers_.log.log",
    "Velmora_Drivers_a.log.txt", "Velmora_Drivers_a.logx", "Velmora_Drivers_ with blanks .log",
    " Velmora_Drivers_leading.log", "Velmora_Drivers_.", "vl_ msi_rollback.log",
    "Velmora_Drivers_Überprüfung.log", "Velmora_Drivers_überprüfung.msi.log",
    "Velmora_Drivers_журнал.log", "Velmora_Drivers_Журнал msi.log", "Velmora_Drivers_日本.log",
    "Velmora_Drivers_😀.log", "Velmora_Drivers_𐐀𐐨msi.log", "vl_😀msi_rollback.log",
    "vl_Ümsi_rollback.LOG", "Velmora_Drıvers_dotless.log", "Velmora_Driverſ_long_s.log",
    "Velmora_Drivers_x.lοg",  # Greek omicron: looks like "o", is not
    LONG, LONG[:-7] + "msi.log",
]


def listing(patterns, lines):
    """{pattern: sorted names} from a list_find or probe output."""
    found, current = {}, None
    for line in lines:
        if line.startswith("> "):
            current = patterns[len(found)]
            found[current] = []
        elif not line.startswith("none"):
            found[current].append(line.split("\t")[0])
    return {p: sorted(names) for p, names in found.items()}


class NameMatching(Case):
    @only("win64", why="one Windows answer to compare with is enough: Wine's search is the "
                       "same for every target")
    def test_stand_in_yields_what_find_first_file_yields(self):
        """FindFirstFileW under Wine and the POSIX stand-in yield the same
        names for the tool's patterns in a folder of awkward names."""
        folder = self.target.scratch / "names"
        folder.mkdir()
        for name in NAMES:
            (folder / name).write_text(name, encoding="utf-8")
        (folder / "Velmora_Drivers_folder.log").mkdir()
        put(folder / "sub", "Velmora_Drivers_nested.log", 0)
        texts = [self.target.tool_path(folder) + "\\" + p for p in PATTERNS]
        status, out, err = self.target.wine.run(PROGRAMS / "list_find.exe", texts,
                                                env={"LANG": "C.UTF-8"})
        self.assertEqual(status, 0, err)
        windows = listing(PATTERNS, out.splitlines())
        texts = [str(folder).replace("/", "\\") + "\\" + p for p in PATTERNS]
        probe = subprocess.run([os.environ["VELMORA_NATIVE_PROBE"], "find", *texts], stdout=subprocess.PIPE,
                               timeout=60, check=True, env={**os.environ, "LANG": "C.UTF-8"})
        native = listing(PATTERNS, probe.stdout.decode("utf-8").splitlines())
        self.assertEqual(native, windows)
        for pattern in PATTERNS:  # not vacuous: each found something, and not everything
            self.assertTrue(0 < len(windows[pattern]) < len(NAMES), (pattern, windows[pattern]))
        self.assertIn(LONG, windows["Velmora_Drivers_*.log"])
        self.assertIn("Velmora_Drivers_folder.log", windows["Velmora_Drivers_*.log"])
