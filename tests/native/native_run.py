"""Shared set-up for running the native (POSIX) build in a scratch home."""

import os
import shutil
import subprocess
import time
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from console_lines import (  # noqa: E402,F401
    BANNER, COMPLETED, CREATING, ERROR, FOLDER_NAME, LOG_LINES, REPORT_TOOLS)

EXE = Path(os.environ["VELMORA_EXE"])
BUILD_DIR = Path(os.environ["VELMORA_BUILD_DIR"])


RECORDING_OPENER = """#!/bin/sh
printf '%s\\n' "$@" >> "$VELMORA_RECORD_DIR/xdg-open.txt"
"""


class NativeTestCase(unittest.TestCase):
    """A scratch HOME with a Desktop, and an xdg-open that records its
    arguments instead of opening anything."""

    runner = ()  # put before the tool's command: a user to run it as, say

    def setUp(self):
        self.root = BUILD_DIR / "native-e2e" / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.root, ignore_errors=True)
        self.home = self.root / "home"
        self.desktop = self.home / "Desktop"
        self.desktop.mkdir(parents=True)
        self.bin = self.root / "bin"
        self.bin.mkdir()
        self.records = self.root / "records"
        self.records.mkdir()
        opener = self.bin / "xdg-open"
        opener.write_text(RECORDING_OPENER)
        opener.chmod(0o755)
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        self.env.update({
            "HOME": str(self.home),
            "PATH": f"{self.bin}:{os.environ.get('PATH', '/usr/bin:/bin')}",
            "VELMORA_RECORD_DIR": str(self.records),
        })
        self.addCleanup(shutil.rmtree, self.root, True)

    @property
    def working_folder(self):
        return self.desktop / FOLDER_NAME

    def run_tool(self, args=(), env=None, timeout=60):
        full_env = dict(self.env)
        full_env.update(env or {})
        # VELMORA_WRAPPER runs the tool under a checker such as Valgrind.
        wrapper = os.environ.get("VELMORA_WRAPPER", "").split()
        proc = subprocess.run([*self.runner, *wrapper, str(EXE), *args], env=full_env, timeout=timeout, cwd=self.root,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(proc.stderr.decode(), "", "nothing on standard error")
        return proc.returncode, proc.stdout.decode("utf-8")

    def openings(self, expected, timeout=10.0):
        """The paths xdg-open was given, once `expected` of them arrived (it
        runs detached, so it may finish after the tool)."""
        record = self.records / "xdg-open.txt"
        deadline = time.monotonic() + timeout
        while True:
            lines = record.read_text().splitlines() if record.exists() else []
            if len(lines) >= expected or time.monotonic() > deadline:
                return lines
            time.sleep(0.05)
