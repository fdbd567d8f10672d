"""The prefixes every Windows-side test runs in (scripts/wine_prefix.py),
for the architecture of the build tree: where Wine keeps its server, when
a prefix's server is gone, how templates follow the installed Wine, and
32-bit programs counted as skipped where they cannot run."""

import fcntl
import os
import shutil
import subprocess
import sys
import time
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))
import wine_prefix  # noqa: E402
from wine_prefix import WinePrefix, cannot_run_32bit, ensure_template  # noqa: E402

BUILD_DIR = Path(os.environ["VELMORA_BUILD_DIR"])
ARCH = os.environ.get("VELMORA_WINE_ARCH", "win64")
SCRATCH = BUILD_DIR / "wine-prefix-tests"
# What the prefix reports when set to Windows XP, and what the cmd of its
# own architecture sees as its processor (no WoW64 in between, so the
# second variable is left unexpanded).
XP = {"win32": ("winxp", "5.1.2600", ["x86", "%PROCESSOR_ARCHITEW6432%"]),
      "win64": ("winxp64", "5.2.3790", ["AMD64", "%PROCESSOR_ARCHITEW6432%"])}[ARCH]


def setUpModule():
    reason = cannot_run_32bit(BUILD_DIR, ARCH) if ARCH == "win32" else None
    if reason:
        raise unittest.SkipTest(reason)


def server_locks(prefix):
    """The lock files of every server the prefix's folder ever held."""
    named = (prefix.prefix / "wineserver").read_text().strip()
    return list((prefix.root / "tmp" / named).glob("server-*/lock"))


def held(lock):
    with open(lock, "r+") as file:
        try:
            fcntl.lockf(file, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError:
            return True
        fcntl.lockf(file, fcntl.LOCK_UN)
        return False


class Prefixes(unittest.TestCase):
    def prefix(self, name, **kwargs):
        prefix = WinePrefix(SCRATCH / name, BUILD_DIR, arch=ARCH, **kwargs)
        self.addCleanup(shutil.rmtree, prefix.root, ignore_errors=True)
        self.addCleanup(prefix.kill)
        return prefix

    def test_relative_paths_reach_wine_absolute(self):
        relative = os.path.relpath(SCRATCH / "relative")
        prefix = WinePrefix(relative, os.path.relpath(BUILD_DIR), arch=ARCH)
        self.addCleanup(shutil.rmtree, prefix.root, ignore_errors=True)
        self.addCleanup(prefix.kill)
        for variable in ("WINEPREFIX", "HOME", "TMPDIR", "XDG_CONFIG_HOME"):
            self.assertTrue(Path(prefix.env[variable]).is_absolute(), variable)
        prefix.set_windows_version(XP[0])
        status, out, err = prefix.run(
            prefix.windows / "system32" / "cmd.exe",
            ["/c", "ver & echo %PROCESSOR_ARCHITECTURE% %PROCESSOR_ARCHITEW6432%"])
        self.assertEqual(status, 0, err)
        self.assertIn(XP[1], out)
        self.assertEqual(out.split()[-2:], XP[2])

    def test_started_program_runs_in_the_process_started(self):
        """WinePrefix.start's process is the program's own (in a 64-bit
        prefix, a 64-bit one), not a launcher waiting for it in another
        process. Its command line is read while it waits for a file."""
        prefix = self.prefix("own-process")
        records = prefix.root / "records"
        records.mkdir()
        program = BUILD_DIR / "tests" / "programs" / "stand-ins" / "wmic.exe"
        process = prefix.start(program, env={"VELMORA_RECORD_DIR": prefix.to_windows_path(records),
                                             "VELMORA_AFTER_WMIC": "go"},
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(process.wait, 120)
        self.addCleanup((records / "go").touch)
        while not (records / "wmic.start").exists():
            self.assertIsNone(process.poll(), "the program ended before it started waiting")
            time.sleep(0.05)
        command = Path(f"/proc/{process.pid}/cmdline").read_bytes().replace(b"\0", b" ").decode()
        self.assertIn("wmic.exe", command)
        (records / "go").touch()
        self.assertEqual(process.wait(120), 0)

    def test_prefixes_never_share_a_server_folder(self):
        # Copies of one template once shared the template's folder in /tmp:
        # a prefix whose folder got a freed inode reached the dying server
        # of the one removed before it.
        first, second = self.prefix("first"), self.prefix("second")
        for prefix in (first, second):
            self.assertEqual(prefix.run("cmd", ["/c", "exit 0"])[0], 0)
        locks = [server_locks(first), server_locks(second)]
        self.assertEqual([len(found) for found in locks], [1, 1])
        self.assertNotEqual(locks[0][0].parent.parent, locks[1][0].parent.parent)
        for prefix, found in zip((first, second), locks):
            self.assertTrue(found[0].is_relative_to(prefix.root))

    def test_made_again_in_place_while_a_program_runs(self):
        """A case's set-up right after the previous case's tear-down, on
        the same folder: the first registry change must succeed."""
        for round_ in range(2):
            prefix = self.prefix("again")
            shell = subprocess.Popen(["wine", "cmd"], env=prefix.env, stdin=subprocess.PIPE,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.addCleanup(shell.wait, 60)
            self.addCleanup(shell.stdin.close)
            while not any(held(lock) for lock in server_locks(prefix)):
                time.sleep(0.1)
            lock = server_locks(prefix)[0]
            prefix.kill()
            self.assertFalse(held(lock), f"round {round_}: the server outlived kill()")
            again = self.prefix("again")
            again.reg_add(r"HKCU\Software\Velmora", "Round", str(round_))


class Templates(unittest.TestCase):
    """Templates of a scratch tree, "booted" by a stand-in that lays out an
    empty prefix: what is checked is when a template is made, and what its
    32-bit verdict leads to."""

    def setUp(self):
        self.tree = SCRATCH / "tree"
        self.addCleanup(shutil.rmtree, self.tree, ignore_errors=True)
        self.boots = []
        self.verdict = "yes"
        real = wine_prefix._boot_template
        wine_prefix._boot_template = self.boot
        self.addCleanup(setattr, wine_prefix, "_boot_template", real)
        # As on a machine with both halves of Wine, whatever this one has.
        self.real_parts = wine_prefix._unix_parts
        wine_prefix._unix_parts = lambda: {"i386-unix", "x86_64-unix"}
        self.addCleanup(setattr, wine_prefix, "_unix_parts", self.real_parts)

    def boot(self, template, arch):
        self.boots.append(arch)
        (template / "prefix" / "drive_c" / "windows" / "system32").mkdir(parents=True)
        (template / "prefix" / "system.reg").write_text(str(len(self.boots)))
        (template / "home").mkdir()
        (template / "runs-32bit").write_text(self.verdict + "\n")
        (template / "wine-setup").write_text(wine_prefix._stamp(arch))

    def test_made_once_and_again_for_another_wine(self):
        template = ensure_template(self.tree, ARCH)
        reused = WinePrefix(self.tree / "reused", self.tree, reuse=True, arch=ARCH)
        (reused.root / "marker").touch()
        ensure_template(self.tree, ARCH)
        WinePrefix(reused.root, self.tree, reuse=True, arch=ARCH)
        self.assertEqual(self.boots, [ARCH])
        self.assertTrue((reused.root / "marker").exists())

        # As if booted by another Wine: one without 32-bit support, say,
        # whose 64-bit prefixes have no working syswow64.
        for stamp in (template / "wine-setup", reused.root / "wine-setup"):
            stamp.write_text(f"{ARCH} an older Wine\n")
        WinePrefix(reused.root, self.tree, reuse=True, arch=ARCH)
        self.assertEqual(self.boots, [ARCH, ARCH])
        self.assertFalse((reused.root / "marker").exists())

    def test_32bit_programs_skipped_where_they_cannot_run(self):
        # Without the real reasons' opening words, which would make CTest
        # count this test's own failure as skipped.
        self.verdict = "cmd.exe does not run here"
        self.assertEqual(cannot_run_32bit(self.tree, ARCH), self.verdict)
        # The headers of a 32-bit program are all the emulator looks at.
        program = self.tree / "program.exe"
        program.write_bytes(b"MZ".ljust(0x3C, b"\0") + b"\x40\0\0\0" + b"PE\0\0\x4c\x01".ljust(64, b"\0"))
        run = subprocess.run([sys.executable, str(ROOT / "scripts" / "wine-emulator"), "--arch", ARCH,
                              str(self.tree), str(program)], capture_output=True, text=True, timeout=300)
        # The emulator sees this machine's Wine: without a 32-bit half it
        # says so before any verdict. Compared without printing the reason,
        # which would make CTest count a failure here as a skip.
        own = self.verdict if "i386-unix" in self.real_parts() else wine_prefix.NO_32BIT_WINE
        self.assertEqual(run.returncode, 77)
        self.assertTrue(f"SKIPPED: program.exe is a 32-bit program; {own}" in run.stdout)
        self.verdict = "yes"
        (self.tree / "wine" / f"template-{ARCH}" / "runs-32bit").write_text("yes\n")
        self.assertIsNone(cannot_run_32bit(self.tree, ARCH))
        # A Wine without its 32-bit half is told without booting anything.
        wine_prefix._unix_parts = lambda: {"x86_64-unix"}
        boots = len(self.boots)
        self.assertTrue(cannot_run_32bit(self.tree / "other", ARCH).startswith(wine_prefix.NO_32BIT))
        self.assertEqual(len(self.boots), boots)


if __name__ == "__main__":
    unittest.main()
