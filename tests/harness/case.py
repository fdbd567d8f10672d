"""The base of every case: a fresh target per test, one call per run that
checks the whole run."""

import os
import time
import unittest

from .files import contents, snapshot
from .lines import FULL_RUN
from .targets import REPORTS

TARGET = None  # the target class this process runs, set by the runner


def only(*names, why):
    """Runs the case on the named targets only; the others skip it, saying why."""
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

    @property
    def working_folder(self):
        return self.target.working_folder

    def folder_text(self):
        """The working folder as the tool names it, with its separator."""
        return self.target.tool_path(self.working_folder) + self.target.sep

    def copies(self, *sources, reports=tuple(REPORTS.values())):
        """The working folder's {name: bytes} once the given logs and the
        setup log are copied and the given reports written."""
        return {**{name: path.read_bytes() for name, path in self.target.system_logs.items()},
                **{source.name: source.read_bytes() for source in sources},
                **{name: self.reports[name] for name in reports}}

    def scenario(self, expected, lines=FULL_RUN, args=(), cwd=None, changing=(), before_idle=None,
                 opened=True):
        """One run and its checks (see the package's documentation);
        `changing` names files the case changes during the run, `opened`
        False when no opener can be found. Returns the run's seconds."""
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

    def assert_names_folder(self, text):
        """The opener's argument (natively) or command line (Wine's folder
        window) names the working folder, its separator included."""
        if self.target.windows:
            self.assertIn(f'"{self.folder_text()}"'.lower(), text.lower())
        else:
            self.assertEqual(text, self.folder_text())

    def started(self, kind="start"):
        """The report programs that recorded `kind`, sorted."""
        return sorted(self.target.stamps(kind))
