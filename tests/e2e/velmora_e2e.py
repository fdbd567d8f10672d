"""Shared set-up for running the Windows build under Wine in a fresh prefix."""

import os
import shutil
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
from wine_prefix import DLL_OVERRIDES, WinePrefix, cannot_run  # noqa: E402

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from console_lines import (  # noqa: E402,F401
    BANNER, COMPLETED, CREATING, ERROR, FOLDER_NAME, LOG_LINES, REPORT_TOOLS)

EXE = Path(os.environ["VELMORA_EXE"])
BUILD_DIR = Path(os.environ["VELMORA_BUILD_DIR"])
RECORD_LAUNCH = Path(os.environ["VELMORA_RECORD_LAUNCH"])
# The prefixes' architecture: "win32" runs the 32-bit build as on 32-bit
# Windows, "win64" the 64-bit one, or the 32-bit one through WoW64.
ARCH = os.environ.get("VELMORA_WINE_ARCH", "win64")



class WineTestCase(unittest.TestCase):
    """Each test gets its own prefix; the shell's folder window is replaced
    by a recorder so that the final "open" can be checked."""

    @classmethod
    def setUpClass(cls):
        reason = cannot_run(EXE, BUILD_DIR, ARCH)
        if reason:
            raise unittest.SkipTest(reason)

    def setUp(self):
        name = self.id().rsplit(".", 2)[-2] + "." + self._testMethodName
        self.wine = WinePrefix(BUILD_DIR / "wine" / "e2e" / name, BUILD_DIR, arch=ARCH)
        self.records = self.wine.root / "records"
        self.records.mkdir()
        self.wine.install_program(RECORD_LAUNCH, "explorer.exe")
        self.addCleanup(self._tear_down_prefix)

    def _tear_down_prefix(self):
        self.wine.kill()
        if not os.environ.get("VELMORA_KEEP_PREFIXES"):
            shutil.rmtree(self.wine.root, ignore_errors=True)

    @property
    def working_folder(self):
        return self.wine.desktop / FOLDER_NAME

    def run_tool(self, args=(), env=None, timeout=120, exe=EXE, before_idle=None):
        """Runs the tool; its exit time (time.time()) is left in exit_time.
        `before_idle` is called once the tool has exited, before waiting for
        the prefix's other programs: to end one the test started itself."""
        full_env = {
            "VELMORA_RECORD_DIR": self.wine.to_windows_path(self.records),
            "WINEDLLOVERRIDES": DLL_OVERRIDES + ";explorer.exe=n",
        }
        full_env.update(env or {})
        status, out, _ = self.wine.run(exe, args, env=full_env, timeout=timeout)
        self.exit_time = time.time()
        if before_idle:
            before_idle()
        self.wine.wait_idle()
        return status, out

    def launches(self, program):
        """Command lines of every recorded start of `program`."""
        log = self.records / "launches.txt"
        if not log.exists():
            return []
        lines = log.read_text(encoding="utf-8").splitlines()
        return [line.split("\t", 1)[1] for line in lines if line.split("\t", 1)[0].lower() == program]

    def folder_openings(self):
        return [line for line in self.launches("explorer.exe") if "/desktop" not in line]
