"""When the working folder can be made, and by whom."""

import stat

from harness import ERROR_RUN, FOLDER_NAME, FULL_RUN, MSI_LOG, Case, padded_folder, put, unprivileged, units


class WorkingFolder(Case):
    def test_desktop_missing_taken_too_long_and_just_fitting(self):
        """A failing run prints the error line, nothing else done. The folder
        name takes 28 units and the terminator one: a desktop of 232 units
        fails, one of 231 fits. One prefix for all four."""
        msi = put(self.target.temp, MSI_LOG, 1)
        with self.subTest("desktop missing"):
            self.target.use_desktop(self.target.scratch / "No Desktop", create=False)
            self.scenario(None, ERROR_RUN)
        with self.subTest("a file in the working folder's place"):
            self.target.use_desktop(put(self.target.scratch / "Desktop", FOLDER_NAME, 0).parent)
            self.scenario(None, ERROR_RUN)
        for total, fits in ((232, False), (231, True)):
            with self.subTest(units=total):
                self.assertEqual(self.started(), [])
                folder = padded_folder(self.target.scratch, total, lambda p: units(self.target.tool_path(p)))
                self.target.use_desktop(folder)
                self.scenario(self.copies(msi) if fits else None, FULL_RUN if fits else ERROR_RUN)

    @unprivileged
    def test_read_only_desktop_then_read_only_copies_replaced(self):
        """No right to write on the desktop: the error line. With it, read-only
        copies of a read-only log are replaced, none left read-only (on
        Windows one would block every later run's)."""
        target = self.target
        msi = put(target.temp, MSI_LOG, 1)
        msi.chmod(0o444)
        target.desktop.chmod(0o555)
        self.scenario(None, ERROR_RUN)
        self.assertEqual(self.started(), [])

        target.desktop.chmod(0o755)
        self.working_folder.mkdir()
        stale = put(self.working_folder, msi.name, 3, b"copy from an earlier run")
        stale.chmod(0o444)
        target.own(self.working_folder, stale)
        for run in ("earlier read-only copy", "copy of the run before"):
            with self.subTest(run):
                self.scenario(self.copies(msi))
                if target.windows:
                    self.assertTrue(stale.stat().st_mode & stat.S_IWUSR, "the copy is read-only")
                msi.chmod(0o644)
                put(target.temp, msi.name, 0, b"a newer log of the same name\n")
                msi.chmod(0o444)
