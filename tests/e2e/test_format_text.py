"""No outside text is ever used as a format under Wine: with format
directives in the desktop, local application data (so temporary) and log
paths, a run prints exactly its fixed lines, copies the logs intact and
hands the report programs and the final "open" the paths unchanged."""

import os
import shutil
import sys
import unittest
from pathlib import Path

from velmora_e2e import (BANNER, COMPLETED, CREATING, DLL_OVERRIDES, EXE, FOLDER_NAME, LOG_LINES,
                         REPORT_TOOLS, WineTestCase)

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from format_text import LOGS, DIRECTIVES, contents  # noqa: E402

USER_SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
STAND_INS = Path(os.environ["VELMORA_STAND_INS"])
PROGRAMS = ("wmic.exe", "msinfo32.exe")


class FormatText(WineTestCase):
    def use_folder(self, value, folder):
        folder.mkdir(parents=True)
        self.wine.reg_add(USER_SHELL_FOLDERS, value, self.wine.to_windows_path(folder))

    def test_format_directives_in_paths_and_names_are_plain_text(self):
        desktop = self.wine.profile / f"desk {DIRECTIVES}" / "Desktop"
        temp = self.wine.profile / f"data {DIRECTIVES}" / "AppData" / "Local" / "Temp"
        self.use_folder("Desktop", desktop)
        self.use_folder("Local AppData", temp.parent)
        temp.mkdir()
        sources = {name: contents(name) for name in LOGS}
        sources["setupapi.dev.log"] = contents("setupapi.dev.log")
        for name in LOGS:
            (temp / name).write_bytes(sources[name])
        (self.wine.windows / "inf").mkdir(exist_ok=True)
        (self.wine.windows / "inf" / "setupapi.dev.log").write_bytes(sources["setupapi.dev.log"])
        # The report programs stand beside the tool, where the shell looks first.
        tool = self.wine.drive_c / f"tool {DIRECTIVES}" / EXE.name
        tool.parent.mkdir()
        shutil.copyfile(EXE, tool)
        for program in PROGRAMS:
            shutil.copyfile(STAND_INS / program, tool.parent / program)
        overrides = ";".join(f"{program}=n" for program in PROGRAMS)

        status, out = self.run_tool(
            env={"WINEDLLOVERRIDES": f"{DLL_OVERRIDES};explorer.exe=n;{overrides}"}, exe=tool)

        self.assertEqual((status, out), (0, BANNER + CREATING + LOG_LINES + REPORT_TOOLS + COMPLETED))
        working = desktop / FOLDER_NAME
        copies = {p.name: p.read_bytes() for p in working.iterdir()}
        self.assertEqual(copies, {**sources, "installedapps.txt": b"written by wmic.exe\n",
                                  "sysinfo.nfo": b"written by msinfo32.exe\n"})
        folder = self.wine.to_windows_path(working) + "\\"
        command_lines = [(self.records / f"{p}.cmdline").read_text(encoding="utf-8") for p in PROGRAMS]
        self.assertTrue(command_lines[0].endswith(
            f' /output:"{folder}installedapps.txt" product get name, version'), command_lines[0])
        self.assertTrue(command_lines[1].endswith(f' /nfo "{folder}sysinfo.nfo"'), command_lines[1])
        openings = self.folder_openings()
        self.assertEqual(len(openings), 1, openings)
        self.assertIn(folder.lower(), openings[0].lower())


if __name__ == "__main__":
    unittest.main()
