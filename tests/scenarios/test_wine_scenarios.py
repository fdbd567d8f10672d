"""Whole runs of the Windows build under Wine over awkward paths, folders,
logs and report programs. Each asserts the console lines, exit status 0,
the working folder's exact contents and, from a snapshot of the whole
prefix taken before and after, that nothing else was created, changed or
lost.

The snapshot leaves out only what Wine itself maintains: the registry
files at the prefix's top (*.reg, rewritten by the server), dosdevices/
(the device links Wine renews at start), and, where a case runs Wine as
another user, that user's profile folder, which Wine creates on first
start. Files with several links (system32's, shared with the template; the
100,000 empty entries) are compared by size and time, not contents.

Each case has a prefix of its own: a copy of the template takes well under
a second, far less than the run, and no case can leave anything to the
next. Cases with several runs share their prefix between them."""

import os
import sys
import threading
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from velmora_e2e import DLL_OVERRIDES, FOLDER_NAME, WineTestCase  # noqa: E402
from scenario_cases import ERROR_RUN, FULL_RUN, LONG_WIX_LOG, MSI_LOG, ROLLBACK_LOG  # noqa: E402
from scenario_cases import SharedScenarios, contents, put, snapshot, units  # noqa: E402

STAND_INS = Path(os.environ["VELMORA_STAND_INS"])
HOLD_LOG = Path(os.environ["VELMORA_HOLD_LOG"])
PROGRAMS = ("wmic.exe", "msinfo32.exe")
USER_SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"


def wine_maintained(relative):
    return (len(relative.parts) == 1 and relative.suffix == ".reg") or relative.parts[0] == "dosdevices"


class WineScenarios(WineTestCase, SharedScenarios):
    """The stand-ins for both report programs in system32, a setup log in
    the Windows folder, the prefix's own profile."""

    reports = {"installedapps.txt": b"written by wmic.exe\n",
               "sysinfo.nfo": b"written by msinfo32.exe\n"}

    def setUp(self):
        super().setUp()
        for program in PROGRAMS:
            self.wine.install_program(STAND_INS / program, program)
        self.overrides = {program: "n" for program in PROGRAMS}
        self.run_env = {}
        self.scratch = self.wine.drive_c
        self.temp = self.wine.profile / "AppData" / "Local" / "Temp"
        self.desktop = self.wine.desktop
        self.system_logs = [put(self.wine.windows / "inf", "setupapi.dev.log", 30)]
        self.skipped = set()  # prefix paths only Wine changes in this case

    # The platform's side of the shared cases.
    def tool_units(self, folder):
        return units(self.wine.to_windows_path(folder))

    def use_folder(self, value, folder, create=True):
        if create:
            folder.mkdir(parents=True, exist_ok=True)
        self.wine.reg_add(USER_SHELL_FOLDERS, value, self.wine.to_windows_path(folder),
                          "REG_EXPAND_SZ")

    def use_profile(self, folder):
        self.use_folder("Local AppData", folder / "AppData" / "Local")
        self.temp = folder / "AppData" / "Local" / "Temp"

    def use_desktop(self, folder, create=True):
        self.use_folder("Desktop", folder, create)
        self.desktop = folder

    def report_fails(self, program, how):
        if how == "missing":
            (self.wine.windows / "system32" / f"{program}.exe").unlink()
            self.overrides[f"{program}.exe"] = "d"  # nor Wine's own
        elif how.startswith("sleep "):
            self.run_env[f"VELMORA_RUN_MS_{program.upper()}"] = str(int(float(how[6:]) * 1000))
        else:
            self.run_env[f"VELMORA_FAIL_{program.upper()}"] = how

    def start_appending(self, log):
        release, signals = self.hold("append", log)

        def appended():
            lines = int((signals / "appended").read_text())
            return b"".join(b"appended line %06d\r\n" % n for n in range(1, lines + 1))
        return release, appended

    def drop_privileges(self):
        """As root, Wine creates a folder wherever root may: neither the
        read-only attribute (attrib +r) nor a folder mode without write
        permission makes CreateDirectoryW fail, as the kernel grants root
        every write. So the prefix is handed to an unprivileged user and the
        tool runs as that user, like a Windows user without the right to
        create folders on the desktop."""
        self.wine.hand_over()
        self.skipped.add(Path("drive_c") / "users" / "nobody")
        # The profile stays root's: the user's own, which Wine makes on
        # start, would have other folders.
        self.use_desktop(self.desktop)
        self.use_folder("Local AppData", self.temp.parent)

    @property
    def working_folder(self):
        return self.desktop / FOLDER_NAME

    def skip_in_snapshot(self, relative):
        working = self.working_folder.relative_to(self.wine.prefix)
        return wine_maintained(relative) or relative == working or relative in self.skipped

    def scenario(self, expected, lines=FULL_RUN, changing=(), before_idle=None):
        before = snapshot(self.wine.prefix, self.skip_in_snapshot)
        overrides = ";".join(f"{p}={v}" for p, v in self.overrides.items())
        env = {"WINEDLLOVERRIDES": f"{DLL_OVERRIDES};explorer.exe=n;{overrides}", **self.run_env}
        started = time.time()
        status, out = self.run_tool(env=env, before_idle=before_idle)
        self.assert_run(status, out, lines)
        self.assertEqual(contents(self.working_folder), expected)
        self.assert_unchanged(before, snapshot(self.wine.prefix, self.skip_in_snapshot),
                              {p.relative_to(self.wine.prefix) for p in changing})
        folder = self.wine.to_windows_path(self.working_folder) + "\\"
        opened = [f'"{folder}"'.lower() in line.lower() for line in self.folder_openings()]
        self.assertEqual(opened, [True] if lines == FULL_RUN else [], self.folder_openings())
        return self.exit_time - started

    def hold(self, mode, log):
        """Starts the hold_log helper on `log`; returns the function that lets
        it go and waits for it, and the helper's signal folder."""
        signals = self.wine.root / f"hold-{mode}"
        signals.mkdir()
        helper = self.wine.start(HOLD_LOG, [mode, self.wine.to_windows_path(log),
                                            self.wine.to_windows_path(signals)])
        deadline = time.monotonic() + 60
        while not (signals / "ready").exists():
            self.assertIsNone(helper.poll(), "the helper could not open the log")
            self.assertLess(time.monotonic(), deadline, "the helper never got ready")
            time.sleep(0.05)

        def release():
            (signals / "release").touch()
            self.assertEqual(helper.wait(60), 0)
        return release, signals

    # Cases of Windows alone, or done differently there.
    def test_desktop_missing_or_a_file_in_the_working_folders_place(self):
        """Neither run creates anything, copies a log or starts a report
        program; they share one prefix."""
        put(self.temp, MSI_LOG, 1)
        with self.subTest("desktop missing"):
            self.use_desktop(self.wine.profile / "No Desktop", create=False)
            self.scenario(None, ERROR_RUN)
        with self.subTest("file in the folder's place"):
            self.use_desktop(self.wine.desktop)
            put(self.desktop, FOLDER_NAME, 0, b"a plain file")
            self.scenario(None, ERROR_RUN)
        self.assertEqual(self.programs("start"), [])

    def test_log_held_open_without_sharing(self):
        """Another program holds the MSI log open sharing nothing: its copy
        fails, the other steps go on."""
        msi = put(self.temp, MSI_LOG, 1)
        wix = put(self.temp, LONG_WIX_LOG, 1)
        rollback = put(self.temp, ROLLBACK_LOG, 1)
        release, _ = self.hold("lock", msi)
        self.scenario(self.copies(wix, rollback), before_idle=release)

    def test_report_program_exits_at_once_the_other_runs_for_20_seconds(self):
        """Still waiting after 10 s; done, and the folder opened, only after
        the 20 s program ended. The only long case of the suite."""
        self.report_fails("wmic", "exit")
        self.report_fails("msinfo32", "sleep 20")
        end = self.records / "msinfo32.exe.end"
        seen = {}

        def look():
            seen.update({"tool exited": hasattr(self, "exit_time"), "program ended": end.exists(),
                         "folder opened": bool(self.folder_openings())})
        watch = threading.Timer(10, look)
        started = time.time()
        watch.start()
        self.addCleanup(watch.cancel)
        self.scenario(self.copies(reports=["sysinfo.nfo"]))
        watch.join()
        self.assertEqual(seen, {"tool exited": False, "program ended": False, "folder opened": False})
        self.assertGreaterEqual(self.exit_time, float(end.read_text()))
        self.assertGreaterEqual(self.exit_time - started, 20)
        self.assertEqual((self.programs("start"), self.programs("end")),
                         (["msinfo32", "wmic"], ["msinfo32"]))
        print(f"\n20 s report program: the run took {self.exit_time - started:.1f} s",
              file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
