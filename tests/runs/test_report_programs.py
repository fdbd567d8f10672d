"""The two report programs: how they are started, waited for and found.
Order is read from the programs' own stamps, each waiting for the other's."""

import threading
import time

from harness import ERROR_RUN, Case, only
from harness.targets import PROGRAMS, REPORTS


class ReportPrograms(Case):
    def assert_started_as_the_system_programs(self):
        self.assert_report_arguments()
        for stem in REPORTS:
            self.assertEqual(self.target.module(stem).lower(), self.target.system_program(stem).lower())

    def test_side_by_side_either_ending_last(self):
        """Both run at once; the folder opens only once both ended, whichever
        ends last, 2 s past the other: a tool waiting for one opens too soon."""
        for first, last in (("wmic", "msinfo32"), ("msinfo32", "wmic")):
            with self.subTest(ends_last=last):
                self.next_run()
                self.target.report(first, after=f"{last}.start")
                self.target.report(last, after=f"{first}.end", run_ms=2000)
                self.scenario(self.copies())
                self.assert_started_as_the_system_programs()
                starts, ends = self.target.stamps("start"), self.target.stamps("end")
                self.assertLess(starts["msinfo32"], ends["wmic"], "started while the other ran")
                self.assertLess(ends[first], ends[last])
                self.assertGreaterEqual(self.target.exit_time, ends[last], "the tool outlived both")
                opened = self.target.openings()[-1][0]
                self.assertGreaterEqual(opened, ends[last], "opened only after both ended")

    def test_failing_programs_and_no_temporary_folder(self):
        """wmic crashes, msinfo32 cannot be found (nor, natively, an opener),
        the temporary folder is missing: the setup log and, on Windows, the
        tool's own list of installed programs (none in a fresh prefix) in
        the crashed wmic's place; msinfo32 is not started, and the run
        completes without creating the temporary folder."""
        target = self.target
        if target.temp.exists():
            target.temp.rmdir()
        target.report("wmic", fail="crash")
        target.report("msinfo32", fail="missing")
        no_opener = target.remove_opener()
        self.scenario({**self.copies(reports=()), **self.own_list()}, opened=not no_opener)
        self.assertEqual((self.started("start"), self.started("end")), (["wmic"], []))

    @only("win64", "native", why="the wait is the same code in every build: win64 carries the one "
                                 "long run, native a short one")
    def test_one_exits_at_once_the_other_runs_on(self):
        """Halfway through the long program the tool still waits, nothing opened."""
        seconds = 20 if self.target.windows else 1
        self.target.report("wmic", fail="exit")
        self.target.report("msinfo32", run_ms=seconds * 1000)
        seen = {}

        def look():
            seen.update({"tool exited": self.target.exit_time is not None,
                         "program ended": "msinfo32" in self.target.stamps("end"),
                         "folder opened": bool(self.target.openings(0))})
        watch = threading.Timer(seconds / 2, look)
        started = time.time()
        watch.start()
        self.addCleanup(watch.cancel)
        self.scenario({**self.copies(reports=["sysinfo.nfo"]), **self.own_list()})
        watch.join()
        self.assertEqual(seen, {"tool exited": False, "program ended": False, "folder opened": False})
        self.assertGreaterEqual(self.target.exit_time, self.target.stamps("end")["msinfo32"])
        self.assertGreaterEqual(self.target.exit_time - started, seconds)
        self.assertEqual((self.started("start"), self.started("end")), (["msinfo32", "wmic"], ["msinfo32"]))

    @only("win64", "winxp64", "win32xp", "wow64", why="only Windows' shell searches the current folder")
    def test_programs_planted_in_the_start_folder_do_not_run(self):
        """Report programs' namesakes in the start folder (a downloads folder,
        say) are not run, nor in the tool's own, which Wine searches too."""
        start = self.target.scratch / "Downloads"
        for stem in REPORTS:
            self.target.install(PROGRAMS / "stand-ins" / f"{stem}.exe", start)
        for folder in (start, self.target.tool.parent):
            with self.subTest(started_from=folder.name):
                self.next_run()
                self.scenario(self.copies(), cwd=folder)
                self.assert_started_as_the_system_programs()

    @only("native", why="a double quote cannot be in a Windows path")
    def test_home_with_a_double_quote_is_no_folder(self):
        """It would split the report programs' quoted output path."""
        home = self.target.scratch / 'q" /output:stray "'
        self.target.use_profile(home)
        self.target.use_desktop(home / "Desktop")
        self.scenario(None, ERROR_RUN)
        self.assertEqual(self.started(), [])
