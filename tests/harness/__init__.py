"""The run matrix: every end-to-end case of tests/runs, written once, run
against each target a build can run (the classes of harness/targets.py;
tests/runs/CMakeLists.txt picks those of each preset). A target the machine
cannot run (no 32-bit Wine) ends with exit status 77 and its reason: CTest
counts it as skipped, never as passed. By hand, with the environment CTest
sets (see `ctest -V -R runs_win64`): python3 -m harness win64 -k WorkingFolder

A case is a method of a harness.Case in tests/runs/test_*.py. It gets a
fresh self.target, prepared for one run, with target.desktop, target.temp
(Linux paths), target.scratch (the case's own), target.system_logs
({name: source} of the Windows folder) and target.legacy/windows/name, and
changes them with target.use_profile(folder), target.use_desktop(folder)
and target.report(stem, fail=, after=, run_ms=). Then
    self.scenario(expected, lines=FULL_RUN, args=(), cwd=None, ...)
runs the tool and checks the whole run: exit status 0, the exact console
lines, the working folder's exact {relative name: bytes} (None: no folder),
nothing outside it created, changed or lost, and the folder handed to the
shell's "open" exactly when the run completed. self.copies(*sources) is the
folder a set of logs gives. target.stamps(), arguments(), module() and
openings() tell what the helper programs were given and when.

A case that cannot apply to a target says why: @only("win64", "native",
why=...) or self.skipTest(reason). @unprivileged runs the tool as an
unprivileged user (when the suite runs as root), its scratch in a folder of
its own under /tmp, made traversable, whatever the clone's location.
"""

from .case import Case, only, unprivileged  # noqa: F401
from .files import contents, fill, padded_folder, put, units  # noqa: F401
from .lines import *  # noqa: F401,F403
