"""The base of every case: a fresh target per test, one call per checked run."""

import os
import shutil
import time
import unittest

from .files import contents, snapshot
from .lines import EMPTY_LIST, FULL_RUN
from .targets import REPORTS

TARGET = None  # the target class this process runs, set by the runner


def only(*names, why):
    def mark(method):
        method.targets, method.why = names, why
        return method
    return mark


def unprivileged(method):
    method.unprivileged = True
    return method


class Case(unittest.TestCase):
    maxDiff = 4000

    def setUp(self):
        if TARGET is None:
            self.skipTest("no target: run through `python3 -m harness TARGET`")
        method = getattr(self, self._testMethodName)
        if getattr(method, "targets", None) and TARGET.name not in method.targets:
            self.skipTest(method.why)
        # Short: the tool's paths have a limit, and the clone may sit deep.
        case_id = f"{TARGET.name}/{self._testMethodName[5:29]}"
        self.target = TARGET(case_id, getattr(method, "unprivileged", False))
        if not os.environ.get("VELMORA_KEEP_PREFIXES"):
            self.addCleanup(self.target.close)
        self.reports = {name: f"written by {stem}\n".encode() for stem, name in REPORTS.items()}

    working_folder = property(lambda self: self.target.working_folder)

    def folder_text(self):
        return self.target.tool_path(self.working_folder) + self.target.sep

    def copies(self, *sources, reports=tuple(REPORTS.values())):
        """The working folder with these logs, the setup log and `reports`."""
        return {**{name: path.read_bytes() for name, path in self.target.system_logs.items()},
                **{source.name: source.read_bytes() for source in sources},
                **{name: self.reports[name] for name in reports}}

    def scenario(self, expected, lines=FULL_RUN, args=(), cwd=None, changing=(), before_idle=None,
                 opened=True):
        """Runs the tool and checks the exit status, the exact console lines,
        the working folder's exact {name: bytes} (None: no folder), nothing
        else created, changed or lost but the files `changing` names, and one
        opening of the folder when the run completed (`opened` False: no
        opener can be found). Returns the run's seconds."""
        target = self.target
        target.apply_settings()
        skip, root = target.skip_in_snapshot, target.snapshot_root()
        before = snapshot(root, skip)
        earlier = len(target.openings(0))
        started = time.time()
        status, out, err = target.run(args, cwd, before_idle)
        self.assertEqual((status, out), (0, lines))
        if not target.windows:
            self.assertEqual(err, "", "nothing on standard error")
        self.assertEqual(contents(self.working_folder), expected)
        changed = {p.relative_to(root) for p in changing}
        after = snapshot(root, skip)
        differences = sorted(str(p) for p in set(before) | set(after)
                             if before.get(p) != after.get(p) and p not in changed)
        self.assertEqual(differences, [], "created, changed or lost outside the working folder")
        if lines == FULL_RUN and opened:
            openings = target.openings(earlier + 1)[earlier:]
            self.assertEqual(len(openings), 1, openings)
            self.assert_names_folder(openings[0][1])
        else:
            target.settle()
            self.assertEqual(target.openings(0)[earlier:], [], "nothing opened")
        return target.exit_time - started

    def own_list(self, *lines):
        """{"installedapps.txt": bytes} as the tool writes it from the registry
        where WMIC wrote none: `lines` (by default the header alone, as a
        fresh prefix lists nothing) in WMIC's form, UTF-16LE after a
        byte-order mark, CR LF. Nothing natively: no registry, no list."""
        if not self.target.windows:
            return {}
        text = "".join(line + "\r\n" for line in lines or [EMPTY_LIST])
        return {"installedapps.txt": "\ufeff".encode("utf-16-le") + text.encode("utf-16-le")}

    def assert_names_folder(self, text):
        """The opener's argument (natively) or folder window's command line."""
        if self.target.windows:
            self.assertIn(f'"{self.folder_text()}"'.lower(), text.lower())
        else:
            self.assertEqual(text, self.folder_text())

    def assert_report_arguments(self):
        folder = self.folder_text()
        self.assertEqual(self.target.arguments("wmic"),
                         [f"/output:{folder}installedapps.txt", "product", "get", "name,", "version"])
        self.assertEqual(self.target.arguments("msinfo32"), ["/nfo", f"{folder}sysinfo.nfo"])

    def next_run(self):
        """Forgets the last run's records and working folder."""
        for path in self.target.records.iterdir():
            if path.suffix in (".start", ".end", ".args", ".module"):
                path.unlink()
        shutil.rmtree(self.working_folder, ignore_errors=True)

    def started(self, kind="start"):
        return sorted(self.target.stamps(kind))
