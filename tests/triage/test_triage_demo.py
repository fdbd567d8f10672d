"""Real logs end to end: the demo history (5.2.8 installed, 5.3.0 failing in
its deferred driver step and rolled back) installed once by Wine's msiexec
into a prefix of this test's own, the logs collected as the collector
takes them (the newest of each pattern, the device-setup log of the
layout), and the Windows build of velmora-triage run on that folder and on
the succeeding log alone. Every evidence line is looked up in the real
files."""

import json
import os
import re
import shutil
import sys
import unittest
from pathlib import Path

from triage_e2e import BUILD_DIR, EXE, FOLDER_NAME, HERE

sys.path.insert(0, str(HERE.parents[1] / "scripts"))
import demo_history  # noqa: E402
from wine_prefix import WinePrefix  # noqa: E402


def text_lines(path):
    """A log's lines as Windows wrote them: UTF-16 with a byte-order mark,
    else the ANSI code page."""
    data = path.read_bytes()
    text = data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("cp1252")
    return text.splitlines()


def log_started(path, intended):
    """When a verbose log says it began, ISO 8601 as velmora-triage gives it.
    Wine's first line has a 12-hour clock without AM or PM ("=== Logging
    started: 5/15/2026  4:34:14 ==="): its half of the day is the intended
    time's ("2026-05-15 16:34:10")."""
    found = re.search(r"Logging started: (\d+)/(\d+)/(\d+)\s+(\d+):(\d+):(\d+)",
                      "\n".join(text_lines(path)))
    month, day, year, hour, minute, second = map(int, found.groups())
    hour = hour % 12 + (12 if int(intended[11:13]) >= 12 else 0)
    return f"{year:04}-{month:02}-{day:02}T{hour:02}:{minute:02}:{second:02}"


def line_numbers(path, *parts):
    """1-based numbers of the lines of `path` holding every one of `parts`."""
    return [n for n, line in enumerate(text_lines(path), 1) if all(p in line for p in parts)]


class DemoHistory(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = BUILD_DIR / "triage-e2e" / "demo"
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.wine = WinePrefix(cls.work / "prefix", BUILD_DIR)
        temp = cls.wine.profile / "AppData" / "Local" / "Temp"
        cls.history = demo_history.install_history(cls.wine, temp, BUILD_DIR)
        cls.folder = cls.work / FOLDER_NAME
        cls.folder.mkdir()
        for name in cls.history.newest.values():
            shutil.copy2(temp / name, cls.folder / name)
        setup_log = cls.wine.windows / cls.history.setup_log
        shutil.copy2(setup_log, cls.folder / setup_log.name)
        cls.setup_log = cls.folder / setup_log.name

    @classmethod
    def tearDownClass(cls):
        cls.wine.kill()
        if not os.environ.get("VELMORA_KEEP_PREFIXES"):
            shutil.rmtree(cls.work, ignore_errors=True)

    def triage(self, path, status):
        got, out, err = self.wine.run(EXE, [self.wine.to_windows_path(path), "--json"], timeout=300)
        self.assertEqual(got, status, err)
        return json.loads(out)

    def findings(self, report, rule, file):
        return [f for f in report["findings"] if f["rule"] == rule and f["file"] == file]

    def test_failing_install_rollback_and_device_setup_in_the_collected_folder(self):
        newest = self.history.newest
        self.assertEqual(set(newest), {"msi", "wix", "rollback"})
        self.assertNotIn("5.3.0", self.history.installed)  # the failure really rolled back
        report = self.triage(self.folder, 1)
        self.assertEqual(report["verdict"], "failed")
        self.assertEqual(report["product"], {"name": "Velmora Drivers", "version": "5.3.0"})
        # The newest attempt decides; msiexec logged each attempt at the
        # history's own time, and the 5.2.8 before them stays installed.
        self.assertEqual(report["summary"],
                         "Velmora Drivers 5.3.0 failed to install on 2026-05-15 at 16:34 in "
                         f"{demo_history.FAILING_ACTION} and was rolled back; 5.2.8 is installed.")
        # The attempts in the order of the logs' own clocks. msiexec starts
        # its clock at the attempt's time, but writes its first line only
        # once Wine has started, seconds later on a busy machine: the two
        # failures two seconds apart may come in either order then, and
        # their own first lines say which.
        attempts = {a["log"]: a for a in self.history.attempts}
        got = [(a["time"], a["file"], a["version"], a["operation"], a["outcome"])
               for a in report["attempts"]]
        self.assertEqual(sorted(got), sorted(
            (log_started(self.folder / name, attempts[name]["when"]), name, attempts[name]["version"], "install",
             "succeeded" if attempts[name]["status"] == 0 else "failed")
            for name in newest.values()))
        self.assertEqual(got, sorted(got, key=lambda attempt: attempt[0]), "in time order")
        self.assertEqual(got[0][1], newest["msi"])
        # The failing action is the newest log's error; the older failure is history.
        newest_log, earlier_log = report["attempts"][-1]["file"], report["attempts"][-2]["file"]
        rules = {"msi.failed-action": ("error", newest_log),
                 "history.earlier-failure": ("warning", earlier_log)}
        for rule, (severity, name) in rules.items():
            with self.subTest(rule):
                log = self.folder / name
                failing = line_numbers(log, "Action ended", demo_history.FAILING_ACTION + ".",
                                       "Return value 0.")
                self.assertEqual(len(failing), 1, "Wine logs the failing action with 0")
                [found] = self.findings(report, rule, name)
                self.assertEqual((found["severity"], found["line"]), (severity, failing[0]))
                self.assertIn(demo_history.FAILING_ACTION, found["message"])
        [rollback] = self.findings(report, "msi.rollback", newest_log)
        self.assertIn("Action start", text_lines(self.folder / newest_log)[rollback["line"] - 1])
        self.assertIn("not installed", rollback["message"])

        # The device-setup section that ended in failure, with its own code:
        # before the newest attempt began, so a warning.
        lines = text_lines(self.setup_log)
        [exit_line] = line_numbers(self.setup_log, "[Exit status: FAILURE(")
        code = int(lines[exit_line - 1].split("FAILURE(")[1].split(")")[0], 16)
        start = max(n for n in line_numbers(self.setup_log, ">>>  [") if n < exit_line)
        [section] = self.findings(report, "setupapi.section-failed", self.setup_log.name)
        self.assertEqual((section["severity"], section["code"]), ("warning", code))
        self.assertTrue(start < section["line"] <= exit_line, (start, section["line"], exit_line))
        self.assertIn(f"0x{code:X}", section["message"])

    def test_succeeding_log_alone(self):
        """Wine writes no final status: the root action's last return value
        (1) is what the log says of the outcome."""
        name = self.history.newest["msi"]
        attempt = next(a for a in self.history.attempts if a["log"] == name)
        self.assertEqual((attempt["version"], attempt["status"]), ("5.2.8", 0))
        report = self.triage(self.folder / name, 0)
        self.assertEqual(report["verdict"], "succeeded")
        self.assertEqual(report["product"], {"name": "Velmora Drivers", "version": "5.2.8"})
        [outcome] = self.findings(report, "msi.outcome", name)
        self.assertEqual((outcome["severity"], outcome["code"]), ("info", 0))
        # Wine's log ends INSTALL more than once; the last says how the run
        # ended.
        roots = line_numbers(self.folder / name, "Action ended", "INSTALL.", "Return value")
        self.assertEqual(outcome["line"], roots[-1])
        self.assertIn("Return value 1.", text_lines(self.folder / name)[roots[-1] - 1])
        self.assertEqual([f["rule"] for f in report["findings"]], ["msi.outcome"])
        self.assertEqual(report["summary"], "Velmora Drivers 5.2.8 was installed on 2026-05-15 at 16:33.")


if __name__ == "__main__":
    unittest.main()
