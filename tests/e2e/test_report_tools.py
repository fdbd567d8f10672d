"""The report tools under Wine: stand-ins for "wmic" and "msinfo32.exe"
beside the tool, and once Wine's own programs."""

import os
import shutil
import time
import unittest
from pathlib import Path

from velmora_e2e import (BANNER, COMPLETED, CREATING, DLL_OVERRIDES, EXE, REPORT_TOOLS,
                         WineTestCase)

STAND_INS = Path(os.environ["VELMORA_STAND_INS"])
PROGRAMS = ("wmic.exe", "msinfo32.exe")
# Wine would run its built-in msinfo32 in place of one on disk.
NATIVE_STAND_INS = ";".join(f"{program}=n" for program in PROGRAMS)


class ReportToolsUnderWine(WineTestCase):
    def setUp(self):
        super().setUp()
        self.tool_folder = self.wine.drive_c / "Velmora Tool"
        self.tool_folder.mkdir()
        self.tool = self.tool_folder / EXE.name
        shutil.copyfile(EXE, self.tool)

    def place_stand_ins(self):
        for program in PROGRAMS:
            shutil.copyfile(STAND_INS / program, self.tool_folder / program)

    def run_report_tools(self, overrides, run_ms=(0, 0)):
        env = {"WINEDLLOVERRIDES": f"{DLL_OVERRIDES};explorer.exe=n;{overrides}",
               "VELMORA_RUN_MS_WMIC": str(run_ms[0]),
               "VELMORA_RUN_MS_MSINFO32": str(run_ms[1])}
        started = time.time()
        status, out = self.run_tool(env=env, exe=self.tool)
        self.assertEqual(status, 0)
        self.assertTrue(out.startswith(BANNER + CREATING), out)
        self.assertTrue(out.endswith(REPORT_TOOLS + COMPLETED), out)
        return started

    def record(self, program, kind):
        return (self.records / f"{program}.{kind}").read_text(encoding="utf-8")

    def times(self, kind):
        return [float(self.record(program, kind)) for program in PROGRAMS]

    def assert_side_by_side(self, wmic_ms, msinfo_ms):
        self.place_stand_ins()
        self.run_report_tools(NATIVE_STAND_INS, (wmic_ms, msinfo_ms))

        folder = f"C:\\users\\{self.wine.user}\\Desktop\\Velmora Drivers Diagnostics\\"
        wmic = f'/output:"{folder}installedapps.txt" product get name, version'
        msinfo = f'/nfo "{folder}sysinfo.nfo"'
        for program, parameters in zip(PROGRAMS, (wmic, msinfo)):
            command_line = self.record(program, "cmdline")
            self.assertTrue(command_line.endswith(" " + parameters), command_line)
            self.assertEqual(self.record(program, "module").lower(),
                             self.wine.to_windows_path(self.tool_folder / program).lower())
        self.assertEqual((self.working_folder / "installedapps.txt").read_text(),
                         "written by wmic.exe\n")
        self.assertEqual((self.working_folder / "sysinfo.nfo").read_text(),
                         "written by msinfo32.exe\n")

        starts, ends = self.times("start"), self.times("end")
        self.assertLess(starts[1], ends[0], "msinfo32 started while wmic ran")
        self.assertGreaterEqual(self.exit_time, max(ends), "the tool outlived both programs")
        opened = (self.records / "launches.txt").stat().st_mtime
        self.assertGreaterEqual(opened, max(ends), "completed and opened after both ended")
        self.assertLess(self.exit_time - min(starts), (wmic_ms + msinfo_ms) / 1000,
                        "side by side: about the longer run, not the sum")

    def test_system_information_ends_last(self):
        self.assert_side_by_side(1000, 2500)

    def test_installed_applications_end_last(self):
        self.assert_side_by_side(2500, 800)

    def test_neither_program_can_be_started(self):
        # On disk, but disabled: a start would leave records and take 5 s.
        self.place_stand_ins()
        disabled = ";".join(f"{program}=d" for program in PROGRAMS)
        started = self.run_report_tools(disabled, (5000, 5000))
        self.assertLess(self.exit_time - started, 4, "nothing was waited for")
        self.assertEqual(sorted(p.name for p in self.records.iterdir()), ["launches.txt"])
        self.assertEqual(len(self.folder_openings()), 1)

    def test_wines_own_programs_write_nothing_and_the_run_completes(self):
        self.run_report_tools("")
        self.assertTrue(self.working_folder.is_dir())
        self.assertEqual(len(self.folder_openings()), 1)


if __name__ == "__main__":
    unittest.main()
