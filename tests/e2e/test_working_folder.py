"""The tool's visible run under Wine: banner, working folder, final "open"."""

import unittest

from velmora_e2e import BANNER, COMPLETED, CREATING, ERROR, FOLDER_NAME, LOG_LINES, REPORT_TOOLS, WineTestCase

USER_SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"


class WorkingFolderRun(WineTestCase):
    def test_run_creates_the_folder_and_opens_it(self):
        status, out = self.run_tool()
        self.assertEqual(status, 0)
        self.assertTrue(out.startswith(BANNER), out)
        self.assertTrue(out.endswith(CREATING + LOG_LINES + REPORT_TOOLS + COMPLETED), out)
        self.assertTrue(self.working_folder.is_dir())
        expected = f'C:\\users\\{self.wine.user}\\Desktop\\{FOLDER_NAME}\\'
        openings = self.folder_openings()
        self.assertEqual(len(openings), 1, openings)
        self.assertIn(expected.lower(), openings[0].lower(), "folder handed over with its backslash")

    def test_second_run_reuses_the_folder_and_arguments_change_nothing(self):
        _, first = self.run_tool()
        (self.working_folder / "earlier.txt").write_text("kept")
        status, second = self.run_tool(args=["/?", "--help", "extra argument"])
        self.assertEqual(status, 0)
        self.assertEqual(second, first)
        self.assertEqual((self.working_folder / "earlier.txt").read_text(), "kept")
        self.assertEqual(len(self.folder_openings()), 2)


class WorkingFolderFailure(WineTestCase):
    def assert_error_run(self):
        status, out = self.run_tool()
        self.assertEqual(status, 0)
        self.assertEqual(out, BANNER + CREATING + ERROR)
        self.assertEqual(self.folder_openings(), [])

    def use_desktop(self, folder):
        folder.mkdir(parents=True, exist_ok=True)
        self.wine.reg_add(USER_SHELL_FOLDERS, "Desktop", self.wine.to_windows_path(folder),
                          "REG_EXPAND_SZ")

    def test_desktop_path_too_long_for_the_folder_name(self):
        # C:\ + 229 units = 232: one unit too many for the folder name to fit.
        desktop = self.wine.drive_c / ("d" * 200) / ("e" * 28)
        self.use_desktop(desktop)
        self.assertEqual(len(self.wine.to_windows_path(desktop)), 232)
        self.assert_error_run()
        self.assertEqual(list(desktop.iterdir()), [])

    def test_desktop_path_that_just_fits(self):
        desktop = self.wine.drive_c / ("d" * 200) / ("e" * 27)
        self.use_desktop(desktop)
        status, out = self.run_tool()
        self.assertEqual(out, BANNER + CREATING + LOG_LINES + REPORT_TOOLS + COMPLETED)
        self.assertTrue((desktop / FOLDER_NAME).is_dir())

    def test_file_in_the_folders_place(self):
        (self.wine.desktop / FOLDER_NAME).write_text("a plain file")
        self.assert_error_run()
        self.assertEqual((self.wine.desktop / FOLDER_NAME).read_text(), "a plain file")


if __name__ == "__main__":
    unittest.main()
