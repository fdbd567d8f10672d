"""The scenarios both platforms share, and what every scenario checks
after its run: the exact console lines and exit status, the exact contents
of the working folder, and that nothing outside it was created, changed or
lost."""

import hashlib
import os
import sys
import time
import unittest.mock
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from console_lines import BANNER, COMPLETED, CREATING, ERROR, LOG_LINES, REPORT_TOOLS  # noqa: E402

FULL_RUN = BANNER + CREATING + LOG_LINES + REPORT_TOOLS + COMPLETED
ERROR_RUN = BANNER + CREATING + ERROR

# Blanks, Cyrillic, CJK and a character outside the Basic Multilingual
# Plane (two UTF-16 units, four UTF-8 bytes).
PROFILE_NAME = "Иван Петров 王小明 𝄞"
DESKTOP_NAME = "Рабочий стол 桌面 😀"
MSI_LOG = "Velmora_Drivers_Установка 安装 𝄞.log"
OLDER_MSI_LOG = "Velmora_Drivers_старый 旧.log"
ROLLBACK_LOG = "vl_Пакет 包 😀_msi_rollback.log"
# A file name's limit is 255 units; a Linux one 255 bytes, so it is ASCII.
LONG_WIX_LOG = "Velmora_Drivers_" + "w" * (255 - 24) + ".msi.log"

DAY_NS = 86400 * 10**9
BASE_NS = 1_700_000_000 * 10**9


def units(text):
    """Length in UTF-16 units, as every limit of the tool counts."""
    return len(text.encode("utf-16-le")) // 2


def padded_folder(base, total, measure):
    """A folder below `base` whose path, as `measure` counts it, is `total`
    units long: surrogate pairs and CJK first, so that units, characters
    and bytes all differ, then ASCII. No component passes 255 bytes."""
    parts = []
    for chunk in ("𝄞" * 30, "桌" * 40):
        if measure(base.joinpath(*parts, chunk)) + 2 <= total:
            parts.append(chunk)
    while (missing := total - measure(base.joinpath(*parts))) > 0:
        # The separator takes one unit; never leave a single one over.
        parts.append("d" * (missing - 1 if missing <= 201 else 150))
    assert measure(base.joinpath(*parts)) == total, "no room for the folder"
    return base.joinpath(*parts)


def put(folder, name, age_days, data=None):
    """A file `age_days` old (the larger, the older) with contents of its own."""
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / name
    path.write_bytes(data if data is not None else f"{name}\n".encode() * 40)
    ns = BASE_NS - int(age_days * DAY_NS)
    os.utime(path, ns=(ns, ns))
    return path


def fill(folder, count):
    """`count` empty files, quickly: hard links to a few (ext4 allows 65,000
    links to a file), as creating as many inodes takes several times as
    long. Returns the seconds it took."""
    started = time.monotonic()
    folder.mkdir(parents=True, exist_ok=True)
    seeds = -(-count // 50_000)
    for number in range(count):
        path = folder / f"~DF{number:06d}.tmp"
        if number < seeds:
            path.touch(exist_ok=False)
        else:
            os.link(folder / f"~DF{number % seeds:06d}.tmp", path)
    return time.monotonic() - started


def contents(folder):
    """{relative path: bytes, or None for a folder} of everything below
    `folder`, or None when it does not exist."""
    if not folder.is_dir():
        return None
    found = {}
    for path in folder.rglob("*"):
        found[path.relative_to(folder).as_posix()] = None if path.is_dir() else path.read_bytes()
    return found


def snapshot(root, skip=lambda relative: False):
    """{relative path: (kind, size, last-write ns, SHA-256)} of everything
    below `root` but what `skip` names (a skipped folder's contents too).
    Files with more than one link (system32, shared with the template) are
    not hashed: a write through them changes their time and size."""
    found = {}
    for folder, folders, files in os.walk(root):
        here = Path(folder)
        folders[:] = [f for f in folders if not skip((here / f).relative_to(root))]
        for name in folders + files:
            path = here / name
            relative = path.relative_to(root)
            if skip(relative):
                continue
            status = path.lstat()
            if path.is_symlink():
                found[relative] = ("link", os.readlink(path))
            elif name in folders:
                found[relative] = ("folder",)
            else:
                digest = (hashlib.sha256(path.read_bytes()).hexdigest()
                          if status.st_nlink == 1 else None)
                found[relative] = ("file", status.st_size, status.st_mtime_ns, digest)
    return found


class ScenarioChecks:
    """Mixed into a test case of either platform, which provides:
    reports         what its two report stand-ins write, by output name
    system_logs     the logs every run copies besides the installer logs
    scratch         a folder for paths of the test's own
    temp            the temporary folder, as use_profile leaves it
    working_folder  the working folder on the current desktop
    scenario(expected, lines, changing, before_idle) -> seconds
                    one run and its checks; `expected` is the working
                    folder's {name: bytes}, or None when there must be none;
                    `changing` names files the test changes during the run;
                    `before_idle` is called once the tool has exited
    tool_units(folder)      the folder's path length as the tool sees it
    use_profile(folder)     local application data below `folder`
    use_desktop(folder)
    report_fails(program, how)  "crash", "exit" (at once), "missing",
                    or "sleep SECONDS"; program "wmic" or "msinfo32"
    start_appending(log) -> (stop, appended bytes so far)
    drop_privileges()       the tool runs as an unprivileged user from now
                    on (called when the suite runs as root)"""

    def copies(self, *sources, reports=("installedapps.txt", "sysinfo.nfo")):
        """The working folder's {name: bytes} once the given logs and the
        system logs are copied and the given reports written."""
        return {**{source.name: source.read_bytes() for source in (*sources, *self.system_logs)},
                **{name: self.reports[name] for name in reports}}

    def programs(self, kind):
        """The report programs that recorded `kind` ("start", "end")."""
        return sorted(p.name[:-len(kind) - 1].removesuffix(".exe")
                      for p in self.records.glob(f"*.{kind}"))

    def assert_unchanged(self, before, after, changing=()):
        """Every entry of `before` is in `after` as it was, and nothing was
        added, but for the `changing` paths."""
        differences = sorted(str(p) for p in set(before) | set(after)
                             if before.get(p) != after.get(p) and p not in changing)
        self.assertEqual(differences, [], "created, changed or lost outside the working folder")

    def assert_run(self, status, out, lines):
        self.assertEqual((status, out), (0, lines))


class SharedScenarios(ScenarioChecks):
    """The cases that apply to both platforms."""

    def test_profile_desktop_and_logs_with_blanks_scripts_and_astral_characters(self):
        profile = self.scratch / PROFILE_NAME
        self.use_profile(profile)
        self.use_desktop(profile / DESKTOP_NAME)
        msi = put(self.temp, MSI_LOG, 1)
        put(self.temp, OLDER_MSI_LOG, 2)
        wix = put(self.temp, LONG_WIX_LOG, 0)
        rollback = put(self.temp, ROLLBACK_LOG, 3)
        self.assertEqual(units(wix.name), 255)
        self.scenario(self.copies(msi, wix, rollback))

    def test_desktop_paths_on_both_sides_of_the_limit(self):
        """The folder name takes 28 units and the terminator one, so a
        desktop of 231 units fits and one of 232 does not; surrogate pairs
        count two. Both runs share one set-up: the failing one changes
        nothing."""
        log = put(self.temp, MSI_LOG, 1)
        for total, fits in ((232, False), (231, True)):
            with self.subTest(units=total):
                desktop = padded_folder(self.scratch, total, self.tool_units)
                self.use_desktop(desktop)
                self.scenario(self.copies(log) if fits else None, FULL_RUN if fits else ERROR_RUN)

    def test_desktop_read_only(self):
        """The run is refused the folder; a second run, by the same user
        with the right to write, shows the refusal was the folder's and not
        a broken set-up."""
        put(self.temp, MSI_LOG, 1)
        if os.geteuid() == 0:
            self.drop_privileges()
        self.desktop.chmod(0o555)
        self.scenario(None, ERROR_RUN)
        self.assertEqual(self.programs("start"), [])
        self.desktop.chmod(0o755)
        self.scenario(self.copies(self.temp / MSI_LOG))

    def test_working_folder_of_an_earlier_run(self):
        """Same-named files are overwritten; everything else stays, a folder
        and its contents included."""
        msi = put(self.temp, MSI_LOG, 1)
        earlier = {"notes.txt": b"kept", "old run": None, "old run/installedapps.txt": b"kept too",
                   msi.name: b"copy from an earlier run", "sysinfo.nfo": b"old report"}
        self.working_folder.mkdir()
        for name, data in earlier.items():
            path = self.working_folder / name
            path.mkdir() if data is None else path.write_bytes(data)
        self.scenario({**earlier, **self.copies(msi)})

    def test_temporary_folder_missing(self):
        self.assertFalse(self.temp.exists())
        self.scenario(self.copies())
        self.assertFalse(self.temp.exists())

    def test_temporary_folder_of_100000_entries(self):
        """Mostly other programs' files; the newest log of each kind sits
        among them. The run time is printed, not bounded."""
        made = fill(self.temp, 100_000 - 200)
        for number in range(100):
            put(self.temp, f"Velmora_Drivers_{number:03d}.log", 2 + number)
            put(self.temp, f"vl_{number:03d}_msi_rollback.log", 2 + number)
        took = self.scenario(self.copies(self.temp / "Velmora_Drivers_000.log",
                                         self.temp / "vl_000_msi_rollback.log"))
        print(f"\n{type(self).__name__}: 100,000 entries made in {made:.1f} s, "
              f"the run took {took:.2f} s", file=sys.stderr)

    def test_folders_matching_the_patterns(self):
        """A folder newer than the MSI log, and the only match of the WiX
        and rollback patterns: none is taken, nor anything inside."""
        msi = put(self.temp, MSI_LOG, 2)
        for name in ("Velmora_Drivers_newer.log", "Velmora_Drivers_x.msi.log",
                     "vl_x_msi_rollback.log"):
            put(self.temp / name, "inside.log", 0)
        self.scenario(self.copies(msi))

    def test_log_appended_to_during_the_run(self):
        """Another process appends to the log throughout the run. Nothing it
        writes is lost, and the copy is what the log held at one moment of
        the run: more than before it, less than after it."""
        log = put(self.temp, ROLLBACK_LOG, 1)
        initial = log.read_bytes()
        stop, appended = self.start_appending(log)
        self.scenario({**self.copies(), log.name: unittest.mock.ANY}, changing={log},
                      before_idle=stop)
        final = log.read_bytes()
        self.assertEqual(final, initial + appended())
        copy = (self.working_folder / log.name).read_bytes()
        self.assertTrue(len(initial) < len(copy) < len(final), (len(initial), len(copy), len(final)))
        self.assertEqual(copy, final[:len(copy)])

    def test_report_program_crashes_the_other_cannot_be_found(self):
        msi = put(self.temp, MSI_LOG, 1)
        self.report_fails("wmic", "crash")
        self.report_fails("msinfo32", "missing")
        self.scenario(self.copies(msi, reports=()))
        self.assertEqual((self.programs("start"), self.programs("end")), (["wmic"], []))
