"""The POSIX stand-in's file searches and copies on a real file system, through the probe."""

import os
import resource
import shutil
import subprocess
import unittest
from pathlib import Path

PROBE = Path(os.environ["VELMORA_PROBE"])
BUILD_DIR = Path(os.environ["VELMORA_BUILD_DIR"])

EPOCH_DIFFERENCE = 11644473600  # seconds from 1601-01-01 to 1970-01-01
ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED = 2, 3, 5
READONLY, DIRECTORY, NORMAL = 0x1, 0x10, 0x80
FILE_SIZE_LIMIT = 256 * 1024 * 1024  # a copy that never ends fails here, not on a full disk


def file_time(ns):
    return (ns // 1_000_000_000 + EPOCH_DIFFERENCE) * 10_000_000 + (ns % 1_000_000_000) // 100


def logic_path(path):
    return str(path).replace("/", "\\")


class ProbeCase(unittest.TestCase):
    def setUp(self):
        self.root = BUILD_DIR / "native-e2e" / ("posix." + self._testMethodName)
        shutil.rmtree(self.root, ignore_errors=True)
        self.root.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.root, True)

    def probe(self, *args, cwd=None, timeout=60):
        # VELMORA_WRAPPER runs the probe under a checker such as Valgrind.
        wrapper = os.environ.get("VELMORA_WRAPPER", "").split()
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_SIZE_LIMIT,) * 2)
        proc = subprocess.run([*wrapper, str(PROBE), *args], cwd=cwd or self.root, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=limit)
        self.assertEqual(proc.stderr.decode(), "")
        return proc.returncode, proc.stdout.decode("utf-8")

    def find(self, text, cwd=None):
        """{name: (file time, kind)} of one search, or the error of a failed one."""
        _, out = self.probe("find", text, cwd=cwd)
        lines = out.splitlines()[1:]
        if lines and lines[0].startswith("none\t"):
            return int(lines[0].split("\t")[1])
        entries = {}
        for line in lines:
            name, time, kind = line.split("\t")
            self.assertNotIn(name, entries, "each entry once")
            entries[name] = (int(time), kind)
        return entries


class Search(ProbeCase):
    def test_one_folder_only_with_times_and_kinds(self):
        folder = self.root / "Temp"
        (folder / "sub").mkdir(parents=True)
        (folder / "sub" / "deeper.log").write_text("not searched")
        (folder / "dir.log").mkdir()
        times = {"a.log": 1_700_000_000_123_456_789, "B.LOG": 0, "c.Log": -1_000_000_000_000_000_000}
        for name, ns in times.items():
            (folder / name).write_text(name)
            os.utime(folder / name, ns=(ns, ns))
        os.utime(folder / "dir.log", ns=(5, 1_000_000_000_000_000_999))
        (folder / "a.log.txt").write_text("other extension")

        found = self.find(logic_path(folder) + "\\*.log")
        expected = {name: (file_time(ns), "file") for name, ns in times.items()}
        expected["dir.log"] = (file_time(1_000_000_000_000_000_999), "folder")
        self.assertEqual(found, expected)
        self.assertEqual(found["B.LOG"][0], 116444736000000000, "the Unix epoch as a file time")
        self.assertEqual(set(self.find(logic_path(folder) + "\\*")),
                         set(expected) | {"a.log.txt", "sub", ".", ".."})

    def test_no_match_and_missing_folder_are_failed_searches(self):
        (self.root / "x.txt").write_text("x")
        self.assertEqual(self.find(logic_path(self.root) + "\\*.log"), ERROR_FILE_NOT_FOUND)
        self.assertEqual(self.find(logic_path(self.root) + "\\gone\\*.log"), ERROR_PATH_NOT_FOUND)
        self.assertEqual(self.find(logic_path(self.root) + "\\"), ERROR_FILE_NOT_FOUND)

    def test_without_a_folder_part_the_current_folder_is_searched(self):
        (self.root / "here.log").write_text("x")
        (self.root / "sub").mkdir()
        self.assertEqual(set(self.find("*.log", cwd=self.root)), {"here.log"})
        self.assertEqual(self.find("*.log", cwd=self.root / "sub"), ERROR_FILE_NOT_FOUND)

    def test_links_and_names_a_windows_path_cannot_hold(self):
        target = self.root / "target.bin"
        target.write_text("t")
        os.utime(target, ns=(0, 2_000_000_000))
        os.symlink(target, self.root / "link.log")
        os.symlink(self.root / "missing", self.root / "dangling.log")
        os.symlink(self.root, self.root / "folderlink.log")
        with open(os.fsencode(self.root) + b"/bad\xff.log", "w") as bad:
            bad.write("not UTF-8")
        (self.root / "back\\slash.log").write_text("backslash")
        found = self.find(logic_path(self.root) + "\\*.log")
        self.assertEqual(set(found), {"link.log", "dangling.log", "folderlink.log"})
        self.assertEqual(found["link.log"], (file_time(2_000_000_000), "file"), "the link's target")
        self.assertEqual(found["folderlink.log"][1], "folder")
        self.assertEqual(found["dangling.log"][1], "file")


class Copy(ProbeCase):
    def copy(self, source, destination):
        status, out = self.probe("copy", logic_path(source), logic_path(destination))
        return status == 0 and out == "copied\n"

    def test_overwrites_with_exact_contents_mode_and_time(self):
        source, destination = self.root / "src.log", self.root / "out" / "src.log"
        destination.parent.mkdir()
        data = os.urandom(5 * 1024 * 1024 + 13)
        source.write_bytes(data)
        os.chmod(source, 0o640)
        mtime = 1_600_000_000_987_654_321
        os.utime(source, ns=(1_000_000_000, mtime))
        destination.write_bytes(b"x" * (8 * 1024 * 1024))  # longer than the new contents
        os.chmod(destination, 0o600)

        self.assertTrue(self.copy(source, destination))
        self.assertEqual(destination.read_bytes(), data)
        self.assertEqual((os.stat(destination).st_mtime_ns, os.stat(destination).st_mode & 0o777),
                         (mtime, 0o640))
        self.assertEqual((source.read_bytes(), os.stat(source).st_mtime_ns), (data, mtime))
        self.assertEqual(sorted(p.name for p in destination.parent.iterdir()), ["src.log"],
                         "nothing left beside the copy")

    def test_empty_file_and_file_of_no_stated_size(self):
        (self.root / "empty").write_bytes(b"")
        self.assertTrue(self.copy(self.root / "empty", self.root / "empty.copy"))
        self.assertEqual((self.root / "empty.copy").read_bytes(), b"")
        self.assertTrue(self.copy(Path("/proc/version"), self.root / "version"))
        self.assertEqual((self.root / "version").read_bytes(), Path("/proc/version").read_bytes())

    def test_name_at_the_file_systems_limit(self):
        # 255 bytes: no room for a temporary name made from it.
        name = "v" * 251 + ".log"
        (self.root / "out").mkdir()
        (self.root / name).write_text("long name")
        self.assertTrue(self.copy(self.root / name, self.root / "out" / name))
        self.assertEqual([p.name for p in (self.root / "out").iterdir()], [name])
        self.assertEqual((self.root / "out" / name).read_text(), "long name")

    def test_only_regular_files_are_copied(self):
        # Named like logs: a FIFO nobody writes to and a link to an endless
        # device fail at once; a link to a regular file is copied as that file.
        os.mkfifo(self.root / "fifo.log")
        os.symlink("/dev/zero", self.root / "zero.log")
        (self.root / "real.txt").write_text("real")
        os.symlink(self.root / "real.txt", self.root / "link.log")
        out = self.root / "out"
        out.mkdir()
        for name in ("fifo.log", "zero.log"):
            with self.subTest(name):
                self.assertEqual(
                    self.probe("copy", logic_path(self.root / name), logic_path(out / name),
                               timeout=20), (1, f"failed\t{ERROR_ACCESS_DENIED}\n"))
        self.assertTrue(self.copy(self.root / "link.log", out / "link.log"))
        self.assertFalse((out / "link.log").is_symlink())
        self.assertEqual((out / "link.log").read_text(), "real")
        self.assertEqual([p.name for p in out.iterdir()], ["link.log"])

    def test_read_only_copy_from_an_earlier_run_is_replaced_whole(self):
        source, destination = self.root / "src.log", self.root / "out" / "src.log"
        destination.parent.mkdir()
        source.write_text("this run")
        destination.write_text("an earlier run")
        os.chmod(destination, 0o444)
        earlier = os.stat(destination).st_ino
        self.assertTrue(self.copy(source, destination))
        self.assertEqual(destination.read_text(), "this run")
        self.assertNotEqual(os.stat(destination).st_ino, earlier,
                            "a new file in its place: needs no write permission on the old one")

    def test_failures_leave_nothing_behind(self):
        source = self.root / "src.log"
        source.write_text("source")
        (self.root / "taken").mkdir()
        (self.root / "taken" / "inside").write_text("kept")
        self.assertFalse(self.copy(self.root / "missing.log", self.root / "a.log"))
        self.assertFalse(self.copy(source, self.root / "no" / "such" / "folder.log"))
        self.assertFalse(self.copy(self.root / "taken", self.root / "folder.copy"))
        self.assertFalse(self.copy(source, self.root / "taken"))
        self.assertEqual(sorted(p.name for p in self.root.iterdir()), ["src.log", "taken"])
        self.assertEqual((self.root / "taken" / "inside").read_text(), "kept")
        self.assertEqual(source.read_text(), "source")


class Attributes(ProbeCase):
    def attributes(self, path, set_to=None):
        args = [] if set_to is None else [hex(set_to)]
        status, out = self.probe("attributes", logic_path(path), *args)
        return int(out, 16) if status == 0 else out

    def test_read_only_is_the_owners_missing_write_permission(self):
        path = self.root / "copy.log"
        path.write_text("x")
        os.chmod(path, 0o444)
        self.assertEqual(self.attributes(path), READONLY)
        self.assertEqual(self.attributes(path, NORMAL), NORMAL)
        self.assertEqual(os.stat(path).st_mode & 0o777, 0o644, "the owner may write again")
        self.assertEqual(self.attributes(path, READONLY), READONLY)
        self.assertEqual(os.stat(path).st_mode & 0o777, 0o444)
        self.assertEqual(self.attributes(self.root), DIRECTORY)
        self.assertEqual(self.attributes(self.root / "missing"), f"failed\t{ERROR_PATH_NOT_FOUND}\n")

    def test_a_link_counts_as_itself_and_is_never_followed(self):
        target = self.root / "elsewhere.log"
        target.write_text("x")
        os.chmod(target, 0o444)
        os.symlink(target, self.root / "link.log")
        self.assertEqual(self.attributes(self.root / "link.log"), NORMAL)
        self.assertEqual(self.attributes(self.root / "link.log", NORMAL),
                         f"failed\t{ERROR_ACCESS_DENIED}\n")
        self.assertEqual(os.stat(target).st_mode & 0o777, 0o444, "the link's target unchanged")


if __name__ == "__main__":
    unittest.main()
