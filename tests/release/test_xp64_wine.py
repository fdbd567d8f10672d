"""The shipped 64-bit executable run end to end under Wine posing as
Windows XP x64 (version 5.2), in a hermetic prefix of the win64 build tree."""

import os
import sys
import unittest

from release_paths import BUILD, EXES, ROOT

# The end-to-end harness of tests/e2e, pointed at the win64 build.
os.environ.setdefault("VELMORA_EXE", str(EXES["win64"]))
os.environ.setdefault("VELMORA_BUILD_DIR", str(BUILD / "win64"))
os.environ.setdefault("VELMORA_RECORD_LAUNCH", str(BUILD / "win64" / "tests" / "e2e" / "record_launch.exe"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from velmora_e2e import BANNER, COMPLETED, CREATING, FOLDER_NAME, WineTestCase  # noqa: E402


class WindowsXp64Run(WineTestCase):
    def setUp(self):
        super().setUp()
        self.wine.set_windows_version("winxp64")

    def test_prefix_reports_xp_x64(self):
        # Without this the run below would prove nothing about XP x64.
        status, out, _ = self.wine.run("cmd", ["/c", "ver"])
        self.assertEqual(status, 0)
        self.assertIn("5.2.3790", out)

    def test_run_creates_the_folder_and_opens_it(self):
        status, out = self.run_tool()
        self.assertEqual(status, 0)
        self.assertTrue(out.startswith(BANNER + CREATING), out)
        self.assertTrue(out.endswith(COMPLETED), out)
        self.assertTrue(self.working_folder.is_dir())
        openings = self.folder_openings()
        self.assertEqual(len(openings), 1, openings)
        self.assertIn(f"\\Desktop\\{FOLDER_NAME}\\".lower(), openings[0].lower())


if __name__ == "__main__":
    unittest.main()
