"""./scripts/package run twice from scratch in two different folders, signing
with a throw-away certificate: the same executables and zips to the byte,
each zip holding what its user needs; and once without a certificate."""

import hashlib
import os
import sys
import tempfile
import time
import unittest
import zipfile
from pathlib import Path
from unittest import mock

from check_imports import read_pe
from release_packagings import PRESETS, SHIPPED, signed_packagings, unsigned_packaging
from release_paths import BUILD, EXES, ROOT, project_version

sys.path.insert(0, str(ROOT / "scripts"))
import packaging  # noqa: E402

SECURITY_DIRECTORY = 4  # IMAGE_DIRECTORY_ENTRY_SECURITY: where a signature sits


def digest(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def resource_timestamps(directory):
    """The time stamp of a resource directory and of every one below it."""
    below = [entry.directory for entry in directory.entries if hasattr(entry, "directory")]
    return [directory.struct.TimeDateStamp, *(stamp for each in below for stamp in resource_timestamps(each))]


def shipped():
    return [(preset, name) for preset in PRESETS for name in SHIPPED[preset]]


class TwoCleanBuilds(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.runs = signed_packagings()
        cls.version = "%d.%d.%d" % project_version()
        cls.zips = {(preset, name): f"{Path(name).stem}-{cls.version}-{preset}.zip" for preset, name in shipped()}

    def test_executables_and_packages_are_byte_identical(self):
        first, second = self.runs
        for preset, name in shipped():
            with self.subTest(preset=preset, exe=name):
                self.assertEqual(digest(first.built(preset, name)), digest(second.built(preset, name)))
                self.assertEqual(digest(first.signed(preset, name)), digest(second.signed(preset, name)))
        names = sorted(p.name for p in first.dist.iterdir())
        self.assertEqual(names, sorted(["SHA256SUMS", *self.zips.values()]))
        self.assertEqual(names, sorted(p.name for p in second.dist.iterdir()))
        for name in names:
            with self.subTest(name):
                self.assertEqual(digest(first.dist / name), digest(second.dist / name))

    def test_packaged_executables_are_the_tested_ones(self):
        for preset, name in shipped():
            with self.subTest(preset=preset, exe=name):
                tested = EXES[preset] if name == "velmora-diag.exe" else BUILD / preset / name
                self.assertEqual(digest(tested), digest(self.runs[0].built(preset, name)))

    def test_no_time_stamp_or_build_folder_in_the_executables(self):
        run = self.runs[1]
        for preset, name in shipped():
            with self.subTest(preset=preset, exe=name):
                exe = run.signed(preset, name)
                pe = read_pe(exe)
                self.assertEqual(pe.FILE_HEADER.TimeDateStamp, 0)
                debug = [entry.struct.TimeDateStamp for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])]
                self.assertEqual([stamp for stamp in debug if stamp], [])
                resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
                if name == "velmora-diag.exe" or resources:
                    self.assertEqual(set(resource_timestamps(resources)), {0})
                exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
                self.assertIn(exports and exports.struct.TimeDateStamp, (None, 0))
                data = exe.read_bytes()
                for folder in (ROOT, run.build_root.parent):
                    for encoding in ("utf-8", "utf-16-le"):
                        self.assertNotIn(str(folder).encode(encoding), data)

    def test_each_zip_holds_the_signed_executable_and_a_read_me(self):
        epoch = packaging.source_date_epoch()
        run = self.runs[0]
        for (preset, exe), name in self.zips.items():
            with self.subTest(name), zipfile.ZipFile(run.dist / name) as archive:
                entries = archive.infolist()
                collector = exe == "velmora-diag.exe"
                self.assertEqual([e.filename for e in entries], ["README.txt", exe] if collector else [exe])
                for entry in entries:
                    self.assertEqual(entry.date_time, time.gmtime(epoch - epoch % 2)[:6])
                    self.assertEqual(entry.external_attr, 0o100644 << 16)
                self.assertEqual(archive.read(exe), run.signed(preset, exe).read_bytes())
                self.assertNotEqual(archive.read(exe), run.built(preset, exe).read_bytes())
                if not collector:
                    continue
                readme = archive.read("README.txt").decode("ascii")
                self.assertNotIn("\n", readme.replace("\r\n", ""), "Notepad on XP needs CRLF")
                self.assertIn(f"Velmora Drivers Diagnostics {self.version}", readme)
                self.assertIn("What to send to support", readme)
                self.assertIn("opens on your desktop", readme)

    def test_sums_list_each_zip(self):
        dist = self.runs[0].dist
        lines = (dist / "SHA256SUMS").read_text().splitlines()
        self.assertEqual(lines, [f"{digest(dist / name)}  {name}" for name in sorted(self.zips.values())])

    def test_without_a_certificate_the_packages_are_unsigned_and_it_says_so(self):
        unsigned = unsigned_packaging()
        self.assertNotIn("Not signing", self.runs[0].output)
        notes = [line for line in unsigned.output.splitlines() if line.startswith("Not signing")]
        self.assertEqual(len(notes), 1, unsigned.output)
        self.assertIn("unsigned", notes[0])
        self.assertEqual(sorted(p.name for p in unsigned.dist.iterdir()),
                         sorted(["SHA256SUMS", *self.zips.values()]))
        for (preset, exe), name in self.zips.items():
            with self.subTest(name), zipfile.ZipFile(unsigned.dist / name) as archive:
                packed = archive.read(exe)
                self.assertEqual(packed, unsigned.built(preset, exe).read_bytes())
                security = read_pe(unsigned.built(preset, exe)).OPTIONAL_HEADER.DATA_DIRECTORY[SECURITY_DIRECTORY]
                self.assertEqual((security.VirtualAddress, security.Size), (0, 0))
        lines = (unsigned.dist / "SHA256SUMS").read_text().splitlines()
        self.assertEqual(lines, [f"{digest(unsigned.dist / name)}  {name}" for name in sorted(self.zips.values())])


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
