"""The installer and device-setup logs a run copies under Wine, on the newer
layout (the prefix's own) and on the legacy one (Windows XP x64 with an
XP-style profile): from files the tests write, and from the demo history of
real installs by Wine's msiexec."""

import os
import unittest

from velmora_e2e import BANNER, BUILD_DIR, COMPLETED, CREATING, LOG_LINES, REPORT_TOOLS, WineTestCase

import demo_history  # noqa: E402 (scripts/, on the path through velmora_e2e)

USER_SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
DAY = 86400 * 10**9
BASE = 1_700_000_000 * 10**9


class LogCollection(WineTestCase):
    def put(self, folder, name, age_days, data=None):
        """A file `age_days` old (the larger, the older) with unique contents."""
        folder.mkdir(parents=True, exist_ok=True)
        path = folder / name
        path.write_bytes(data if data is not None else f"{folder.name}/{name}\n".encode() * 50)
        ns = BASE - int(age_days * DAY)
        os.utime(path, ns=(ns, ns))
        self.sources[path] = path.read_bytes()
        return path

    def setUp(self):
        super().setUp()
        self.sources = {}

    def run_and_check(self, expected, earlier):
        """Runs the tool; the working folder must then hold exactly
        `expected` (name -> source) and the `earlier` files left in it, and
        every source must be as it was."""
        status, out = self.run_tool()
        self.assertEqual((status, out), (0, BANNER + CREATING + LOG_LINES + REPORT_TOOLS + COMPLETED))
        found = {p.name for p in self.working_folder.iterdir()}
        self.assertEqual(found, set(expected) | set(earlier))
        for name, source in expected.items():
            self.assertEqual((self.working_folder / name).read_bytes(), self.sources[source], name)
            self.assertEqual(os.stat(self.working_folder / name).st_mtime_ns // 10**7,
                             os.stat(source).st_mtime_ns // 10**7, "last-write time kept")
        for name, data in earlier.items():
            self.assertEqual((self.working_folder / name).read_bytes(), data, name)
        for path, data in self.sources.items():
            self.assertEqual(path.read_bytes(), data, f"{path} untouched")

    def test_newer_layout(self):
        temp = self.wine.profile / "AppData" / "Local" / "Temp"
        msi = self.put(temp, "Velmora_Drivers_20240102.log", 1)
        self.put(temp, "Velmora_Drivers_20240101.log", 2)
        self.put(temp, "velmora_drivers_CORE.LOG", 1.5)
        wix = self.put(temp, "Velmora_Drivers_bundle.msi.log", 0)  # newest, but excluded from MSI
        self.put(temp, "Velmora_Drivers_older_bundle.msi.log", 3)
        rollback = self.put(temp, "vl_core_msi_rollback.log", 4)
        self.put(temp, "vl_core_msi_rollback.log.old", 0)
        (temp / "Velmora_Drivers_folder.log").mkdir()  # a folder, newer than everything
        self.put(temp / "nested", "Velmora_Drivers_nested.log", -1)
        # Decoys: Wine's own TEMP, the legacy layout's folders.
        self.put(self.wine.profile / "Temp", "Velmora_Drivers_wine_temp.log", -2)
        self.put(self.wine.profile / "Local Settings" / "Temp", "Velmora_Drivers_xp.log", -2)
        setup = self.put(self.wine.windows / "inf", "setupapi.dev.log", 5)
        self.put(self.wine.windows, "setupapi.log", 5)

        self.working_folder.mkdir()
        (self.working_folder / msi.name).write_bytes(b"copy from an earlier run")
        earlier = {"notes.txt": b"kept"}
        (self.working_folder / "notes.txt").write_bytes(b"kept")

        # Wine names the folder "inf"; Windows' own case-insensitive paths
        # find "\INF\" there all the same.
        self.run_and_check({msi.name: msi, wix.name: wix, rollback.name: rollback,
                            "setupapi.dev.log": setup}, earlier)

    def use_legacy_layout(self):
        """Windows XP x64 with an XP-style profile; returns its temporary folder."""
        profile_path = self.wine.to_windows_path(self.wine.profile)
        self.wine.reg_add(r"HKCU\Software\Wine", "Version", "winxp64")
        local_settings = self.wine.profile / "Local Settings"
        (local_settings / "Application Data").mkdir(parents=True)
        self.wine.reg_add(USER_SHELL_FOLDERS, "Local AppData",
                          profile_path + "\\Local Settings\\Application Data", "REG_EXPAND_SZ")
        return local_settings / "Temp"

    def test_legacy_layout(self):
        temp = self.use_legacy_layout()
        shared = self.put(temp, "Velmora_Drivers_setupmsi.log", 1)  # taken by MSI and WiX
        self.put(temp, "Velmora_Drivers_old.log", 2)
        self.put(temp / ".." / "Application Data" / "Temp", "Velmora_Drivers_uncut.log", -1)
        # Decoys: the newer layout's folders.
        self.put(self.wine.profile / "AppData" / "Local" / "Temp", "Velmora_Drivers_new.log", -2)
        self.put(self.wine.profile / "AppData" / "Local" / "Temp", "vl_new_msi_rollback.log", -2)
        self.put(self.wine.windows / "inf", "setupapi.dev.log", 0)
        setup = self.put(self.wine.windows, "setupapi.log", 3)

        self.run_and_check({shared.name: shared, "setupapi.log": setup}, {})


class InstalledHistory(LogCollection):
    """The demo history: several real msiexec logs of each kind, a folder
    matching a pattern, the device-setup logs of the prefix's Windows folder.
    Exactly the newest of each kind is copied, as msiexec wrote it."""

    def install_and_check(self, temp, xp):
        history = demo_history.install_history(self.wine, temp, BUILD_DIR, xp=xp)
        self.assertEqual(history.installed, ["5.2.8"], "5.3.0 rolled back, 5.2.8 kept")
        setup_logs = [self.wine.windows / relative for relative in history.setup_logs]
        for path in [*temp.iterdir(), *setup_logs]:
            if path.is_file():
                self.sources[path] = path.read_bytes()
        # Every kind has older candidates to pass over.
        for kind, pattern in demo_history.PATTERNS.items():
            self.assertGreater(len(list(temp.glob(pattern))), 1, pattern)
        decoys = {name: os.stat(temp / name).st_mtime_ns for name in history.decoys}
        expected = {name: temp / name for name in history.newest.values()}
        setup = self.wine.windows / history.setup_log
        expected[setup.name] = setup
        self.assertEqual(len(expected), 4)
        self.run_and_check(expected, {})
        for name, mtime in decoys.items():
            self.assertTrue((temp / name).is_dir(), name)
            self.assertEqual(os.stat(temp / name).st_mtime_ns, mtime, name)

    def test_newer_layout(self):
        self.install_and_check(self.wine.profile / "AppData" / "Local" / "Temp", xp=False)

    def test_legacy_layout(self):
        self.install_and_check(self.use_legacy_layout(), xp=True)


if __name__ == "__main__":
    unittest.main()
