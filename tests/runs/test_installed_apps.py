"""The installed-applications list where WMIC is not there or writes none:
the tool's own, read from the registry's uninstall entries (the machine's
in both views, the user's) in WMIC's form; the console lines unchanged."""

from harness import Case

# (hive, view, key, values) as installers leave them: what Windows' own list
# shows, and what it leaves out.
ENTRIES = [
    ("HKLM", "64", "VelmoraDrivers", {"DisplayName": "Velmora Drivers", "DisplayVersion": "5.2.8"}),
    ("HKLM", "64", "ZetaRuntime", {"DisplayName": "Zeta Runtime", "DisplayVersion": "14.0",
                                   "SystemComponent": 1}),
    ("HKLM", "64", "KB5208", {"DisplayName": "Update for Velmora Drivers (KB5208)",
                              "DisplayVersion": "1", "ParentKeyName": "VelmoraDrivers"}),
    ("HKLM", "64", "NoName", {"DisplayVersion": "3.0"}),
    # The same program in the other view, under another key.
    ("HKLM", "32", "VelmoraDrivers32", {"DisplayName": "Velmora Drivers", "DisplayVersion": "5.2.8"}),
    ("HKLM", "32", "Werkzeug", {"DisplayName": "Prüfwerkzeug – Größe Ω", "DisplayVersion": "2.0.1"}),
    ("HKLM", "32", "ControlCenter", {"DisplayName": "Velmora Control Center"}),
    ("HKCU", "", "SnowNotes", {"DisplayName": "雪 Snow Notes 𝄞", "DisplayVersion": "0.9"}),
]
# Sorted by name; each column as wide as its widest cell plus two blanks,
# the surrogate pair one character.
LISTED = [
    "Name                    Version  ",
    "Prüfwerkzeug – Größe Ω  2.0.1    ",
    "Velmora Control Center           ",
    "Velmora Drivers         5.2.8    ",
    "雪 Snow Notes 𝄞          0.9      ",
]


class InstalledApps(Case):
    def test_without_wmic_the_list_is_read_from_the_registry(self):
        """WMIC removed: not started, the list written from the registry in
        its place (natively nothing: no registry); an earlier run's list in
        the folder is replaced by this run's."""
        target = self.target
        target.report("wmic", fail="missing")
        target.add_uninstall_entries(ENTRIES)
        for earlier in (False, True):
            with self.subTest(earlier_list=earlier):
                self.next_run()
                if earlier:
                    self.working_folder.mkdir(parents=True)
                    (self.working_folder / "installedapps.txt").write_bytes(b"an earlier run's list")
                expected = {**self.copies(reports=["sysinfo.nfo"]), **self.own_list(*LISTED)}
                if earlier and not target.windows:
                    expected["installedapps.txt"] = b"an earlier run's list"  # nothing to replace it
                self.scenario(expected)
                self.assertEqual(self.started("start"), ["msinfo32"])

    def test_wmic_that_writes_no_list_then_one_that_does(self):
        """A wmic that exits without writing leaves the tool's own list; one
        that writes its list has it kept as written, the registry unread."""
        target = self.target
        target.add_uninstall_entries(ENTRIES)
        target.report("wmic", fail="exit")
        self.scenario({**self.copies(reports=["sysinfo.nfo"]), **self.own_list(*LISTED)})
        self.next_run()
        target.report("wmic")
        self.scenario(self.copies())
        self.assert_report_arguments()
