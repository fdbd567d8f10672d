"""The native build's report tools, run with shell-script stand-ins for
"wmic" and "msinfo32.exe" found on PATH, in scratch home folders."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from native_run import BANNER, BUILD_DIR, COMPLETED, CREATING, ERROR, EXE, REPORT_TOOLS

# Records its start, its arguments (NUL-terminated, exactly as received)
# and its end; writes the report named in its parameters; runs for a set
# time. Nothing in it evaluates an argument.
STAND_IN = r"""#!/bin/sh
record="$VELMORA_RECORD_DIR/$(basename "$0")"
date +%s.%N > "$record.start"
for argument in "$@"; do printf '%s\0' "$argument"; done > "$record.args"
output=
previous=
for argument in "$@"; do
  case "$argument" in /output:*) output=${argument#/output:} ;; esac
  [ "$previous" = /nfo ] && output=$argument
  previous=$argument
done
sleep SECONDS
[ -n "$output" ] && echo "written by $(basename "$0")" > "$output"
date +%s.%N > "$record.end"
"""

# Stands in for the desktop's opener: only records when it was asked.
OPENER = r"""#!/bin/sh
date +%s.%N > "$VELMORA_RECORD_DIR/opened.time"
printf '%s\0' "$@" > "$VELMORA_RECORD_DIR/opened.args"
"""


class NativeReportTools(unittest.TestCase):
    # Blanks, shell syntax and format directives in the home folder,
    # so in the working folder: were a shell to read it, each construct would
    # leave its own marker file.
    MARKERS = ("DOLLAR", "TICK", "SEMICOLON", "AND", "PIPE", "NEWLINE", "AMPERSAND")
    HOME_NAME = ("home $(touch DOLLAR) `touch TICK`; touch SEMICOLON && touch AND | touch PIPE"
                 " * ? %s%n%ls\ntouch NEWLINE & touch AMPERSAND x")

    def setUp(self):
        scratch = BUILD_DIR / "scratch"
        scratch.mkdir(exist_ok=True)
        self.root = Path(tempfile.mkdtemp(prefix="report-tools-", dir=scratch))
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.home = self.root / self.HOME_NAME
        self.home.mkdir()
        self.bin = self.root / "bin"
        self.bin.mkdir()
        self.records = self.root / "records"
        self.records.mkdir()
        self.write_program("xdg-open", OPENER)
        (self.home / "Desktop").mkdir()
        self.working = self.home / "Desktop" / "Velmora Drivers Diagnostics"

    def write_program(self, name, text):
        path = self.bin / name
        path.write_text(text)
        path.chmod(0o755)

    def stand_in(self, name, seconds):
        self.write_program(name, STAND_IN.replace("SECONDS", f"{seconds:.3f}"))

    def run_tool(self):
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        env.update({"HOME": str(self.home), "VELMORA_RECORD_DIR": str(self.records),
                    "PATH": f"{self.bin}:/usr/bin:/bin"})
        # VELMORA_WRAPPER runs the tool under a checker such as Valgrind.
        wrapper = os.environ.get("VELMORA_WRAPPER", "").split()
        started = time.time()
        proc = subprocess.run([*wrapper, str(EXE)], env=env, cwd=self.root, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=60)
        ended = time.time()
        self.assertEqual(proc.returncode, 0, proc.stderr)
        return proc.stdout.decode(), started, ended

    def record_time(self, name, kind, timeout=10.0):
        """A recorded time; the opener runs detached, so it may still be on
        its way when the tool has exited."""
        record = self.records / f"{name}.{kind}"
        deadline = time.monotonic() + timeout
        while not (record.exists() and record.read_text().endswith("\n")):
            if time.monotonic() > deadline:
                self.fail(f"{record.name} was never written")
            time.sleep(0.02)
        return float(record.read_text())

    def arguments(self, name):
        return (self.records / f"{name}.args").read_bytes().decode().split("\0")[:-1]

    def assert_side_by_side(self, wmic_seconds, msinfo_seconds):
        self.stand_in("wmic", wmic_seconds)
        self.stand_in("msinfo32.exe", msinfo_seconds)
        out, _, ended = self.run_tool()
        self.assertTrue(out.endswith(REPORT_TOOLS + COMPLETED), out)

        folder = str(self.working)
        self.assertEqual(self.arguments("wmic"),
                         [f"/output:{folder}/installedapps.txt", "product", "get", "name,", "version"])
        self.assertEqual(self.arguments("msinfo32.exe"), ["/nfo", f"{folder}/sysinfo.nfo"])
        self.assertEqual((self.working / "installedapps.txt").read_text(), "written by wmic\n")
        self.assertEqual((self.working / "sysinfo.nfo").read_text(), "written by msinfo32.exe\n")

        starts = [self.record_time(n, "start") for n in ("wmic", "msinfo32.exe")]
        ends = [self.record_time(n, "end") for n in ("wmic", "msinfo32.exe")]
        self.assertLess(starts[1], ends[0], "the second tool started while the first ran")
        opened = self.record_time("opened", "time")
        self.assertGreaterEqual(opened, max(ends), "folder opened only after both tools ended")
        self.assertGreaterEqual(ended, max(ends))
        self.assertLess(ended - min(starts), wmic_seconds + msinfo_seconds,
                        "the tools ran side by side, not one after the other")

    def test_system_information_ends_last(self):
        self.assert_side_by_side(0.4, 1.0)

    def test_installed_applications_end_last(self):
        self.assert_side_by_side(1.0, 0.3)

    def test_path_with_shell_syntax_reaches_the_tools_as_literal_text(self):
        self.stand_in("wmic", 0)
        self.stand_in("msinfo32.exe", 0)
        self.run_tool()
        folder = str(self.working)
        self.assertEqual(self.arguments("wmic")[0], f"/output:{folder}/installedapps.txt")
        self.assertEqual(self.arguments("msinfo32.exe"), ["/nfo", f"{folder}/sysinfo.nfo"])
        self.record_time("opened", "time")
        self.assertEqual(self.arguments("opened"), [folder + "/"])
        self.assertTrue((self.working / "sysinfo.nfo").exists())
        for name in self.MARKERS:
            self.assertEqual(list(self.root.rglob(name)), [], f"{name}: shell syntax was run")

    def test_home_with_a_double_quote_is_no_folder(self):
        # It would split the quoted output path into arguments of its own.
        self.home = self.root / 'q" /output:stray "'
        (self.home / "Desktop").mkdir(parents=True)
        self.stand_in("wmic", 0)
        self.stand_in("msinfo32.exe", 0)
        out, _, _ = self.run_tool()
        self.assertEqual(out, BANNER + CREATING + ERROR)
        self.assertEqual(list(self.records.iterdir()), [], "nothing started")
        self.assertEqual(list((self.home / "Desktop").iterdir()), [])

    def test_tools_that_cannot_be_started_still_let_the_run_complete(self):
        out, started, ended = self.run_tool()
        self.assertTrue(out.endswith(REPORT_TOOLS + COMPLETED), out)
        self.assertLess(ended - started, 5.0, "nothing was waited for")
        self.assertGreaterEqual(self.record_time("opened", "time"), started)
        self.assertEqual(list(self.working.iterdir()), [])


if __name__ == "__main__":
    unittest.main()
