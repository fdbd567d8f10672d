"""./scripts/package run twice from scratch in two different folders: the
same executables and zips to the byte, each zip holding what a user needs."""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
from pathlib import Path
from unittest import mock

from check_imports import read_pe
from release_paths import BUILD, EXES, ROOT, project_version

sys.path.insert(0, str(ROOT / "scripts"))
import packaging  # noqa: E402

PRESETS = ("win32", "win64")


def digest(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def resource_timestamps(directory):
    """The time stamp of a resource directory and of every one below it."""
    below = [entry.directory for entry in directory.entries if hasattr(entry, "directory")]
    return [directory.struct.TimeDateStamp, *(stamp for each in below for stamp in resource_timestamps(each))]


class TwoCleanBuilds(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        work = BUILD / "release-check"
        shutil.rmtree(work, ignore_errors=True)
        # Different depths and names: a build path that leaked would differ.
        cls.runs = [work / "one", work / "two" / "built-elsewhere"]
        for run in cls.runs:
            proc = subprocess.run([str(ROOT / "scripts" / "package"), "--build-root", str(run / "build"),
                                   "--dist", str(run / "dist")], capture_output=True, text=True)
            if proc.returncode != 0:
                raise AssertionError(f"scripts/package failed:\n{proc.stdout}{proc.stderr}")
        cls.version = "%d.%d.%d" % project_version()
        cls.zips = {preset: f"velmora-diag-{cls.version}-{preset}.zip" for preset in PRESETS}

    def exe(self, run, preset):
        return run / "build" / preset / "velmora-diag.exe"

    def test_executables_and_packages_are_byte_identical(self):
        first, second = self.runs
        for preset in PRESETS:
            with self.subTest(preset):
                self.assertEqual(digest(self.exe(first, preset)), digest(self.exe(second, preset)))
        names = sorted(p.name for p in (first / "dist").iterdir())
        self.assertEqual(names, sorted(["SHA256SUMS", *self.zips.values()]))
        self.assertEqual(names, sorted(p.name for p in (second / "dist").iterdir()))
        for name in names:
            with self.subTest(name):
                self.assertEqual(digest(first / "dist" / name), digest(second / "dist" / name))

    def test_packaged_executables_are_the_tested_ones(self):
        for preset in PRESETS:
            with self.subTest(preset):
                self.assertEqual(digest(EXES[preset]), digest(self.exe(self.runs[0], preset)))

    def test_no_time_stamp_or_build_folder_in_the_executables(self):
        for preset in PRESETS:
            with self.subTest(preset):
                exe = self.exe(self.runs[1], preset)
                pe = read_pe(exe)
                self.assertEqual(pe.FILE_HEADER.TimeDateStamp, 0)
                debug = [entry.struct.TimeDateStamp for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])]
                self.assertEqual([stamp for stamp in debug if stamp], [])
                self.assertEqual(set(resource_timestamps(pe.DIRECTORY_ENTRY_RESOURCE)), {0})
                exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
                self.assertIn(exports and exports.struct.TimeDateStamp, (None, 0))
                data = exe.read_bytes()
                for folder in (ROOT, self.runs[1]):
                    for encoding in ("utf-8", "utf-16-le"):
                        self.assertNotIn(str(folder).encode(encoding), data)

    def test_each_zip_holds_the_executable_and_a_read_me(self):
        epoch = packaging.source_date_epoch()
        for preset, name in self.zips.items():
            with self.subTest(preset), zipfile.ZipFile(self.runs[0] / "dist" / name) as archive:
                entries = archive.infolist()
                self.assertEqual([e.filename for e in entries], ["README.txt", "velmora-diag.exe"])
                for entry in entries:
                    self.assertEqual(entry.date_time, time.gmtime(epoch - epoch % 2)[:6])
                    self.assertEqual(entry.external_attr, 0o100644 << 16)
                self.assertEqual(archive.read("velmora-diag.exe"),
                                 self.exe(self.runs[0], preset).read_bytes())
                readme = archive.read("README.txt").decode("ascii")
                self.assertNotIn("\n", readme.replace("\r\n", ""), "Notepad on XP needs CRLF")
                self.assertIn(f"Velmora Drivers Diagnostics {self.version}", readme)
                self.assertIn("What to send to support", readme)
                self.assertIn("opens on your desktop", readme)

    def test_sums_list_each_zip(self):
        dist = self.runs[0] / "dist"
        lines = (dist / "SHA256SUMS").read_text().splitlines()
        self.assertEqual(lines, [f"{digest(dist / name)}  {name}" for name in sorted(self.zips.values())])


class ZipEntryTime(unittest.TestCase):
    def test_source_date_epoch_sets_the_entry_time(self):
        with tempfile.TemporaryDirectory() as folder, \
                mock.patch.dict(os.environ, {"SOURCE_DATE_EPOCH": "1700000000"}):
            first, again, later = (Path(folder) / n for n in ("a.zip", "b.zip", "c.zip"))
            files = [("b.txt", b"second"), ("a.txt", b"first")]
            packaging.write_zip(first, files, packaging.source_date_epoch())
            packaging.write_zip(again, list(reversed(files)), 1700000000)
            packaging.write_zip(later, files, 1700000000 + 86400)
            with zipfile.ZipFile(first) as archive:
                self.assertEqual([e.filename for e in archive.infolist()], ["a.txt", "b.txt"])
                self.assertEqual(archive.infolist()[0].date_time, (2023, 11, 14, 22, 13, 20))
            self.assertEqual(first.read_bytes(), again.read_bytes())
            self.assertNotEqual(first.read_bytes(), later.read_bytes())


if __name__ == "__main__":
    unittest.main()
