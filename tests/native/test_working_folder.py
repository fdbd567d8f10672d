"""The native build's visible run: banner, working folder, final "open"."""

import time
import unittest

from native_run import BANNER, COMPLETED, CREATING, ERROR, FOLDER_NAME, LOG_LINES, REPORT_TOOLS, NativeTestCase


class NativeWorkingFolder(NativeTestCase):
    def test_run_creates_the_folder_and_hands_it_to_the_opener(self):
        status, out = self.run_tool()
        self.assertEqual(status, 0)
        self.assertTrue(out.startswith(BANNER), out)
        self.assertTrue(out.endswith(CREATING + LOG_LINES + REPORT_TOOLS + COMPLETED), out)
        self.assertTrue(self.working_folder.is_dir())
        self.assertEqual(self.openings(1), [f"{self.working_folder}/"])

    def test_second_run_reuses_the_folder_and_arguments_change_nothing(self):
        _, first = self.run_tool()
        (self.working_folder / "earlier.txt").write_text("kept")
        status, second = self.run_tool(args=["--help", "x y"])
        self.assertEqual((status, second), (0, first))
        self.assertEqual((self.working_folder / "earlier.txt").read_text(), "kept")
        self.assertEqual(len(self.openings(2)), 2)

    def test_desktop_named_by_user_dirs(self):
        config = self.home / ".config"
        config.mkdir()
        (config / "user-dirs.dirs").write_text(
            '# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR="$HOME/Schreibtisch"\n')
        (self.home / "Schreibtisch").mkdir()
        status, out = self.run_tool()
        self.assertTrue(out.endswith(CREATING + LOG_LINES + REPORT_TOOLS + COMPLETED), out)
        self.assertTrue((self.home / "Schreibtisch" / FOLDER_NAME).is_dir())
        self.assertFalse(self.working_folder.exists())

    def test_without_an_opener_the_run_still_completes(self):
        status, out = self.run_tool(env={"PATH": str(self.root / "nothing-here")})
        self.assertEqual((status, out), (0, BANNER + CREATING + LOG_LINES + REPORT_TOOLS + COMPLETED))
        time.sleep(0.2)
        self.assertEqual(self.openings(0, timeout=0), [])


class NativeWorkingFolderFailure(NativeTestCase):
    def assert_error_run(self):
        status, out = self.run_tool()
        self.assertEqual((status, out), (0, BANNER + CREATING + ERROR))
        time.sleep(0.2)
        self.assertEqual(self.openings(0, timeout=0), [])

    def test_desktop_missing(self):
        self.desktop.rmdir()
        self.assert_error_run()
        self.assertFalse(self.desktop.exists(), "only the folder itself is ever created")

    def test_file_in_the_folders_place(self):
        self.working_folder.write_text("a plain file")
        self.assert_error_run()
        self.assertEqual(self.working_folder.read_text(), "a plain file")


if __name__ == "__main__":
    unittest.main()
