"""Both executables say what they are and which version, as Explorer's
Properties page and any PE reader show it."""

import subprocess
import unittest

from pe_file import PeFile
from release_paths import EXES, project_version

WINDRES = {"win32": "i686-w64-mingw32-windres", "win64": "x86_64-w64-mingw32-windres"}


class VersionResource(unittest.TestCase):
    def setUp(self):
        self.version = project_version()
        self.text = "%d.%d.%d" % self.version

    def test_product_and_version_from_the_project(self):
        for key, exe in EXES.items():
            with self.subTest(key):
                info = PeFile.open(exe).version_info()
                self.assertIsNotNone(info, "no version resource")
                self.assertEqual(info.strings["ProductName"], "Velmora Drivers Diagnostics")
                self.assertIn("Velmora Drivers", info.strings["FileDescription"])
                self.assertEqual(info.strings["FileVersion"], self.text)
                self.assertEqual(info.strings["ProductVersion"], self.text)
                self.assertEqual(info.strings["OriginalFilename"], "velmora-diag.exe")
                self.assertEqual(info.file_version, self.version + (0,))
                self.assertEqual(info.product_version, self.version + (0,))
                self.assertEqual(info.file_date, 0)

    def test_binutils_reads_the_same_resource(self):
        # A second, independent reader of the same bytes.
        for key, exe in EXES.items():
            with self.subTest(key):
                rc = subprocess.run([WINDRES[key], "-i", str(exe), "-O", "rc"], check=True,
                                    capture_output=True, text=True).stdout
                self.assertIn('VALUE "ProductName", "Velmora Drivers Diagnostics"', rc)
                self.assertIn(f'VALUE "FileVersion", "{self.text}"', rc)
                self.assertIn("FILEVERSION %d, %d, %d, 0" % self.version, rc)

    def test_manifest_carries_the_version(self):
        # Its execution level is test_manifest's.
        for key, exe in EXES.items():
            with self.subTest(key):
                manifest = PeFile.open(exe).manifest()
                self.assertIsNotNone(manifest, "no manifest resource")
                self.assertIn(f'version="{self.text}.0"', manifest)


if __name__ == "__main__":
    unittest.main()
