"""Both executables say what they are and which version, as Explorer's
Properties page and any PE reader show it."""

import subprocess
import unittest

from check_imports import read_pe
from release_paths import EXES, project_version
from test_manifest import manifests

WINDRES = {"win32": "i686-w64-mingw32-windres", "win64": "x86_64-w64-mingw32-windres"}


def four_parts(most, least):
    """A version of VS_FIXEDFILEINFO, two 32-bit halves, as (a, b, c, d)."""
    return most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF


class VersionResource(unittest.TestCase):
    def setUp(self):
        self.version = project_version()
        self.text = "%d.%d.%d" % self.version

    def test_product_and_version_from_the_project(self):
        for key, exe in EXES.items():
            with self.subTest(key):
                pe = read_pe(exe)
                self.assertTrue(hasattr(pe, "VS_FIXEDFILEINFO"), "no version resource")
                strings = {key.decode("utf-8"): value.decode("utf-8")
                           for block in pe.FileInfo[0] for table in getattr(block, "StringTable", [])
                           for key, value in table.entries.items()}
                self.assertEqual(strings["ProductName"], "Velmora Drivers Diagnostics")
                self.assertIn("Velmora Drivers", strings["FileDescription"])
                self.assertEqual(strings["FileVersion"], self.text)
                self.assertEqual(strings["ProductVersion"], self.text)
                self.assertEqual(strings["OriginalFilename"], "velmora-diag.exe")
                fixed = pe.VS_FIXEDFILEINFO[0]
                for most, least in ((fixed.FileVersionMS, fixed.FileVersionLS),
                                    (fixed.ProductVersionMS, fixed.ProductVersionLS)):
                    self.assertEqual(four_parts(most, least), self.version + (0,))
                self.assertEqual((fixed.FileDateMS, fixed.FileDateLS), (0, 0))

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
                found = manifests(read_pe(exe))
                self.assertTrue(found, "no manifest resource")
                self.assertIn(f'version="{self.text}.0"', found[0][1])


if __name__ == "__main__":
    unittest.main()
