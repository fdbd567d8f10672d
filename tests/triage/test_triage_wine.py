"""The Windows build of velmora-triage under Wine, in a prefix of its own:
the same answers as the native build on the same folder and zip (the
folder's name not ASCII, so the wide command line counts), its console and
its page, its exit statuses; and an executable that needs only Windows' own
DLLs."""

import json
import os
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

import fixture_cases
from triage_e2e import BUILD_DIR, EXE, HERE, fixture_files, write_folder, write_zip

sys.path.insert(0, str(HERE.parents[1] / "scripts"))
sys.path.insert(0, str(HERE.parent / "release"))
from check_imports import imported, read_pe  # noqa: E402
from release_paths import pefile  # noqa: E402
from wine_prefix import WinePrefix  # noqa: E402

NATIVE = Path(os.environ.get("VELMORA_TRIAGE_NATIVE", ""))
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "shell32.dll", "user32.dll", "advapi32.dll"}
COLLECTION = ("msi-custom-action-1603", "setupapi-velmora-failed", "installedapps-two-drivers",
              "sysinfo-german")


class WineTriage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = BUILD_DIR / "triage-e2e" / "wine"
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.wine = WinePrefix(cls.work / "prefix", BUILD_DIR)
        cls.data = cls.work / "Diagnose für Müller"
        cls.folder = write_folder(cls.data / "Velmora Drivers Diagnostics", fixture_files(*COLLECTION))
        cls.zip = write_zip(cls.data / "Fall 42 – Velmora.zip", fixture_files(*COLLECTION))
        # A log of 6 MiB is read on a second thread past its first 4 MiB.
        files = fixture_files(*COLLECTION)
        log = next(name for name in files if name.startswith("Velmora_Drivers"))
        head, tail = files[log].split("Action start 10:15:02: InstallFiles.", 1)
        files[log] = (head + "Action start 10:15:02: InstallFiles.\n"
                      + "".join(f"MSI (s) (A4:B0) [10:15:02:{i % 1000:03}]: Executing op: FileCopy("
                                f"SourceName=vl{i:07}.sys,FileSize={i * 7919 % 99991})\n"
                                for i in range(90_000)) + tail)
        cls.large = write_folder(cls.data / "Grosses Protokoll" / "Velmora Drivers Diagnostics", files)
        cls.large_zip = write_zip(cls.data / "Grosses Protokoll.zip", files)

    @classmethod
    def tearDownClass(cls):
        cls.wine.kill()
        if not os.environ.get("VELMORA_KEEP_PREFIXES"):
            shutil.rmtree(cls.work, ignore_errors=True)

    def run_windows(self, *args):
        argv = [self.wine.to_windows_path(a) if isinstance(a, Path) else a for a in args]
        return self.wine.run(EXE, argv, timeout=300)

    def native_json(self, path):
        self.assertTrue(NATIVE.is_file(), f"the native build is needed for the comparison: {NATIVE}")
        done = subprocess.run([str(NATIVE), str(path), "--json"], capture_output=True, timeout=300)
        self.assertEqual(done.returncode, 1, done.stderr)
        return json.loads(done.stdout)

    def test_same_answers_as_the_native_build(self):
        for path in (self.folder, self.zip, self.large, self.large_zip):
            with self.subTest(path.name):
                status, out, err = self.run_windows(path, "--json")
                self.assertEqual(status, 1, err)
                report = json.loads(out)
                self.assertEqual(report["verdict"], "failed")
                self.assertEqual(report, self.native_json(path))

    def test_every_fixture_case_as_the_native_build_answers(self):
        self.assertTrue(NATIVE.is_file(), f"the native build is needed for the comparison: {NATIVE}")
        differing = []
        for name, folder, expected in fixture_cases.cases():
            path = fixture_cases.write_case(folder, expected, self.work / "cases" / name)
            status, out, err = self.run_windows(path, "--json")
            native = subprocess.run([str(NATIVE), str(path), "--json"], capture_output=True, timeout=300)
            if status != native.returncode or json.loads(out) != json.loads(native.stdout):
                differing.append(name)
        self.assertEqual(differing, [])

    def test_console_page_and_exit_statuses(self):
        page = self.work / "Bericht.html"
        status, out, _ = self.run_windows(self.zip, "--html", page)
        self.assertEqual(status, 1)
        self.assertTrue(out.startswith("Verdict: FAILED"), out[:200])
        self.assertNotIn("\x1b", out)
        self.assertIn("setupapi.dev.log:33", out)
        self.assertIn("Content-Security-Policy", page.read_text(encoding="utf-8"))

        status, out, err = self.run_windows(self.data / "nichts da")
        self.assertEqual((status, out), (2, ""))
        self.assertEqual([line for line in err.splitlines() if "velmora-triage" in line],
                         [line for line in err.splitlines() if line.strip()])
        self.assertIn("no such file or folder", err)

    def test_a_deeply_nested_report_is_answered(self):
        # Ten thousand levels once overflowed the Windows build's stack: no
        # output, exit status 0, like a run that found nothing.
        folder = write_folder(self.work / "tief", {"sysinfo.nfo": "<a'>" + "<a>\n" * 10000})
        status, out, err = self.run_windows(folder, "--json")
        self.assertEqual(status, 0, err)
        self.assertIn("sysinfo.unreadable", [f["rule"] for f in json.loads(out)["findings"]])

    def test_page_never_replaces_the_input_and_replaces_what_is_there(self):
        pages = self.work / "pages"
        pages.mkdir(exist_ok=True)
        alias = pages / "alias"
        if not alias.is_symlink():
            alias.symlink_to(self.folder)
        folder_as_windows = self.wine.to_windows_path(self.folder)
        data_as_windows = self.wine.to_windows_path(self.data)

        def snapshot():
            return sorted((p.name, p.read_bytes()) for p in self.data.rglob("*") if p.is_file())

        before = snapshot()
        # Given as Windows names, unresolved: Windows itself resolves the
        # ".." and Wine the link.
        refused = (
            ("the zip itself", self.zip, self.zip),
            ("inside the folder", self.folder, folder_as_windows + "\\Bericht.html"),
            ("inside, through ..", self.folder,
             data_as_windows + "\\..\\" + self.data.name + "\\" + self.folder.name + "\\Bericht.html"),
            ("inside, through a link", self.folder,
             self.wine.to_windows_path(pages) + "\\alias\\Bericht.html"),
        )
        for what, path, page in refused:
            with self.subTest(what):
                status, out, err = self.run_windows(path, "--html", page)
                self.assertEqual((status, out), (2, ""), err)
                self.assertIn("the input", err)
                self.assertEqual(snapshot(), before)
        # A page already there, and a link planted at its name, are replaced
        # by the rename: the link's target is never written.
        page = pages / "Bericht.html"
        page_as_windows = self.wine.to_windows_path(pages) + "\\Bericht.html"  # the link unresolved
        victim = self.work / "victim.txt"
        victim.write_text("keep me")
        for what, make in (("an earlier page", lambda: page.write_text("old page")),
                           ("a planted link", lambda: page.symlink_to(victim))):
            with self.subTest(what):
                if page.exists() or page.is_symlink():
                    page.unlink()
                make()
                status, out, err = self.run_windows(self.zip, "--html", page_as_windows)
                self.assertEqual(status, 1, err)
                self.assertFalse(page.is_symlink())
                self.assertIn("Content-Security-Policy", page.read_text(encoding="utf-8"))
                self.assertEqual(victim.read_text(), "keep me")
                self.assertEqual(sorted(p.name for p in pages.iterdir()), ["Bericht.html", "alias"])
        # A page that cannot be written: the report is printed, then status 3.
        status, out, err = self.run_windows(self.zip, "--html", pages / "nicht da" / "Bericht.html")
        self.assertEqual(status, 3)
        self.assertTrue(out.startswith("Verdict: FAILED"), out[:200])
        self.assertIn("cannot write", err)

    def test_dropped_onto_it_the_page_opens_in_the_browser(self):
        # The shell's "open" of a page recorded instead of a browser started.
        opened = self.wine.drive_c / "opened.txt"
        self.wine.reg_add(r"HKLM\Software\Classes\.html", "", "velmora.recorded")
        self.wine.reg_add(r"HKLM\Software\Classes\velmora.recorded\shell\open\command", "",
                          r"C:\windows\system32\cmd.exe /c echo %1>> C:\opened.txt")
        exe = self.wine.to_windows_path(EXE)
        # Explorer starts a console program with a console of its own, as
        # "start" does: the answer goes to a page in the temporary folder.
        for argv, shown in (([self.folder], "Velmora_Drivers"), ([], "Drop a collected folder")):
            with self.subTest(shown):
                opened.unlink(missing_ok=True)
                self.wine.run("start", ["/wait", exe, *map(self.wine.to_windows_path, argv)])
                self.wine.wait_idle()  # the opener runs on its own, after the program
                [page] = opened.read_text().split()
                self.assertRegex(page, r"\\Temp\\velmora-triage-.*\.html$")
                text = self.wine.from_windows_path(page).read_text(encoding="utf-8")
                self.assertIn("Content-Security-Policy", text)
                self.assertIn(shown, text)
        # From a console the report is printed, as always, and nothing opened.
        opened.unlink()
        status, out, _ = self.run_windows(self.folder)
        self.wine.wait_idle()
        self.assertEqual(status, 1)
        self.assertTrue(out.startswith("Verdict: FAILED"))
        self.assertFalse(opened.exists())

    def test_imports_only_windows_own_dlls(self):
        pe = read_pe(EXE)
        self.assertEqual(pe.OPTIONAL_HEADER.Magic, pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS)
        dlls = {dll.lower() for dll, _ in imported(pe)}
        self.assertLessEqual(dlls, SYSTEM_DLLS)
        self.assertIn("kernel32.dll", dlls)


if __name__ == "__main__":
    unittest.main()
