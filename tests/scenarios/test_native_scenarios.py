"""Whole runs of the POSIX build in scratch homes, for the cases that apply
to it (there is no Windows folder, so no setup log, and no sharing mode).
Each asserts the console lines, exit status 0, the working folder's exact
contents and, from a snapshot of the whole scratch tree before and after
(the test's own record folder left out), that nothing else was created,
changed or lost. The missing desktop and a file in the working folder's
place are tests/native's."""

import shutil
import sys
import threading
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "native"))
import test_report_tools as report_tools  # noqa: E402  (its stand-in script only)
from native_run import NativeTestCase  # noqa: E402
from scenario_cases import FULL_RUN, SharedScenarios  # noqa: E402
from scenario_cases import contents, snapshot, units  # noqa: E402


class NativeScenarios(NativeTestCase, SharedScenarios):
    """Stand-ins for both report programs on PATH; the temporary folder is
    the XDG data home's "Temp"."""

    reports = {"installedapps.txt": b"written by wmic\n", "sysinfo.nfo": b"written by msinfo32.exe\n"}
    system_logs = ()

    def setUp(self):
        super().setUp()
        for program in ("wmic", "msinfo32"):
            self.report_fails(program, "sleep 0")
        self.scratch = self.root
        self.use_profile(self.home)

    # The platform's side of the shared cases.
    def tool_units(self, folder):
        return units(str(folder))

    def use_profile(self, folder):
        folder.mkdir(parents=True, exist_ok=True)
        self.home = folder
        self.env["HOME"] = str(folder)
        self.temp = folder / ".local" / "share" / "Temp"

    def use_desktop(self, folder):
        """The desktop as user-dirs.dirs names it."""
        folder.mkdir(parents=True, exist_ok=True)
        config = self.home / ".config"
        config.mkdir(exist_ok=True)
        (config / "user-dirs.dirs").write_text(f'XDG_DESKTOP_DIR="{folder}"\n')
        self.desktop = folder

    def report_fails(self, program, how):
        path = self.bin / ("msinfo32.exe" if program == "msinfo32" else program)
        if how == "missing":
            path.unlink()
            return
        behaviour = {"crash": "kill -SEGV $$", "exit": "exit 1"}.get(how, how)
        path.write_text(report_tools.STAND_IN.replace("sleep SECONDS", behaviour))
        path.chmod(0o755)

    def start_appending(self, log):
        stop, lines = threading.Event(), []

        def append():
            with open(log, "ab", buffering=0) as file:
                while not stop.is_set():
                    lines.append(b"appended line %06d\n" % len(lines))
                    file.write(lines[-1])
                    time.sleep(0.0005)
        appender = threading.Thread(target=append)
        appender.start()
        self.addCleanup(appender.join)
        self.addCleanup(stop.set)
        while not lines:
            time.sleep(0.001)

        def end():
            stop.set()
            appender.join()
        return end, lambda: b"".join(lines)

    def drop_privileges(self):
        """Root may write anywhere: the tool runs as nobody, in a scratch
        tree made nobody's."""
        for path in [self.root, *self.root.rglob("*")]:
            shutil.chown(path, "nobody", "nogroup")
        self.runner = ("setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups")

    def skip_in_snapshot(self, relative):
        return relative == Path("records") or relative == self.working_folder.relative_to(self.root)

    def scenario(self, expected, lines=FULL_RUN, changing=(), before_idle=None):
        before = snapshot(self.root, self.skip_in_snapshot)
        started = time.time()
        status, out = self.run_tool()
        self.exit_time = time.time()
        if before_idle:
            before_idle()
        self.assert_run(status, out, lines)
        self.assertEqual(contents(self.working_folder), expected)
        self.assert_unchanged(before, snapshot(self.root, self.skip_in_snapshot),
                              {p.relative_to(self.root) for p in changing})
        if lines == FULL_RUN:
            self.assertEqual(self.openings(1), [f"{self.working_folder}/"])
        else:
            time.sleep(0.2)  # the opener runs detached: give a wrong one time to show
            self.assertEqual(self.openings(0, timeout=0), [])
        return self.exit_time - started

    # Cases of this platform alone.
    def test_report_program_exits_at_once_the_other_runs_on(self):
        self.report_fails("wmic", "exit")
        self.report_fails("msinfo32", "sleep 1")
        self.scenario(self.copies(reports=["sysinfo.nfo"]))
        self.assertGreaterEqual(self.exit_time, float((self.records / "msinfo32.exe.end").read_text()))
        self.assertEqual((self.programs("start"), self.programs("end")),
                         (["msinfo32", "wmic"], ["msinfo32"]))


if __name__ == "__main__":
    unittest.main()
