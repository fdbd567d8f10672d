"""The run matrix: every end-to-end case of tests/runs, written once, run
against each target a build can run.

Targets (harness/targets.py):
    native   the POSIX build in a scratch home (XDG desktop and data folders)
    win64    the 64-bit Windows build under Wine, Windows 10's layout
    winxp64  the 64-bit build on Windows XP x64: version 5.2, the legacy layout
             (profile below "C:\\Documents and Settings\\<user>", the temporary
             folder "...\\Local Settings\\Temp", setupapi.log in the Windows folder)
    win32xp  the 32-bit build in a 32-bit prefix (WINEARCH=win32) on XP (5.1),
             the same legacy layout
    wow64    the 32-bit build in a 64-bit prefix, Windows 10's layout; its
             system folder is syswow64

How targets are chosen: CTest runs `python3 -m harness TARGET` once per
target the preset built (tests/runs/CMakeLists.txt): win64 and winxp64 for
the win64 preset, win32xp and wow64 for win32, native for native (and,
under Valgrind, for native-release). A target the machine cannot run (no
32-bit Wine) ends with exit status 77 and its reason: CTest counts it as
skipped, never as passed. By hand, with PYTHONPATH=tests:scripts and the
VELMORA_* variables CTest sets (see `ctest -V -R runs_win64`):
    python3 -m harness win64 -k WorkingFolder

How a case is written: a test module tests/runs/test_*.py holds classes
derived from harness.Case, a unittest.TestCase. Each test method gets a
fresh target object, self.target, that has prepared the place for one run
(a copy of the target's Wine prefix, or a scratch home) with:
    target.desktop, target.temp   the folders the tool will use (Linux paths)
    target.scratch                where the case may make folders of its own
    target.system_logs            {name: source} the run copies from the
                                  Windows folder (empty natively)
    target.legacy, target.windows, target.name
and lets it change them before a run:
    target.use_profile(folder)    local application data below `folder`
    target.use_desktop(folder, create=True)
    target.report(stem, fail=..., after=..., run_ms=...)
                                  how the stand-in for "wmic" or "msinfo32"
                                  behaves; fail="missing" removes it
Then one call runs the tool and checks the whole run:
    self.scenario(expected, lines=FULL_RUN, args=(), cwd=None, ...)
expected is the working folder's exact {relative name: bytes}, or None when
there must be none; it also checks exit status 0, the exact console lines,
that nothing outside the working folder was created, changed or lost (a
snapshot of the prefix or scratch tree before and after), and that the
folder was handed to the shell's "open" exactly when the run completed.
self.copies(*sources) gives the expected folder for a set of logs: those
plus the setup log and both reports. Afterwards target.stamps("start"),
target.stamps("end"), target.arguments(stem), target.module(stem) and
target.openings() tell what the report programs and the folder window were
given and when, stamped by the machine's clock.

A case that cannot apply to a target says why:
    @only("win64", "native", why="the wait is the same code on every build")
or, inside the method, self.skipTest(reason). A case that must run the tool
as an unprivileged user (when the suite runs as root) is marked
@unprivileged: its scratch then lives in a folder of its own under /tmp,
made traversable, whatever the clone's location.
"""

from .case import Case, only, unprivileged  # noqa: F401
from .files import contents, fill, padded_folder, put, units  # noqa: F401
from .lines import *  # noqa: F401,F403
