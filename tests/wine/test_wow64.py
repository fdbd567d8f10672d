"""A 64-bit prefix runs 32-bit programs through WoW64, where this machine
has 32-bit Wine: its own test, counted as skipped where it has not."""

import os
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
from wine_prefix import WinePrefix, cannot_run_32bit  # noqa: E402

BUILD_DIR = Path(os.environ["VELMORA_BUILD_DIR"])


class WoW64(unittest.TestCase):
    def test_32bit_cmd_sees_the_64bit_processor_behind_it(self):
        reason = cannot_run_32bit(BUILD_DIR, "win64")
        if reason:
            self.skipTest(reason)
        prefix = WinePrefix(BUILD_DIR / "wine-prefix-tests" / "wow64", BUILD_DIR)
        self.addCleanup(shutil.rmtree, prefix.root, ignore_errors=True)
        self.addCleanup(prefix.kill)
        prefix.set_windows_version("winxp64")
        status, out, err = prefix.run(prefix.windows / "syswow64" / "cmd.exe",
                                      ["/c", "ver & echo %PROCESSOR_ARCHITECTURE% %PROCESSOR_ARCHITEW6432%"])
        self.assertEqual(status, 0, err)
        self.assertIn("5.2.3790", out)
        self.assertEqual(out.split()[-2:], ["x86", "AMD64"])


if __name__ == "__main__":
    unittest.main()
