"""The run matrix's Windows targets make a start again only when Wine
ended it before the tool's module was mapped: the loader's trace of that
module is the stamp that the program was reached."""

import contextlib
import io
import sys
import unittest
from pathlib import Path
from unittest import mock

sys.path[:0] = [str(Path(__file__).resolve().parents[1]), str(Path(__file__).resolve().parents[2] / "scripts")]
from harness import targets  # noqa: E402

MAPPED = '0024:trace:loaddll:build_module Loaded L"C:\\\\Velmora Tool\\\\velmora-diag.exe" at 0000000140000000: native\n'
KERNEL = '0024:trace:loaddll:build_module Loaded L"C:\\\\windows\\\\system32\\\\kernel32.dll" at 000000007B600000: builtin\n'


class StartReached(unittest.TestCase):
    def runs(self, *results):
        """WineTarget.run over these (status, out, err) of successive starts;
        returns its result, the starts made and what it said."""
        target = targets.WineTarget.__new__(targets.WineTarget)
        target.name, target.tool = "win64", Path("/x/Velmora Tool/velmora-diag.exe")
        starts = iter(results)
        said = io.StringIO()
        with mock.patch.object(targets.Target, "run", side_effect=lambda *a, **k: next(starts)) as run, \
                contextlib.redirect_stderr(said):
            result = target.run()
        return result, run.call_count, said.getvalue()

    def test_only_a_start_that_never_mapped_the_tool_is_made_again(self):
        cases = [
            # (what the starts gave, starts made, result, retry said)
            ("reached, ran", [(0, "banner\n", KERNEL + MAPPED)], 1, (0, "banner\n", ""), False),
            ("reached, then failed: judged as it is", [(1, "", KERNEL + MAPPED + "boom\n")], 1,
             (1, "", "boom\n"), False),
            ("never reached, then reached", [(1, "", "wine: could not connect\n"), (0, "ok\n", MAPPED)],
             2, (0, "ok\n", ""), True),
            ("only other modules mapped", [(1, "", KERNEL), (0, "ok\n", MAPPED)], 2, (0, "ok\n", ""), True),
            ("never reached twice: the second is judged", [(1, "", "a\n"), (1, "", "b\n")], 2,
             (1, "", "b\n"), True),
        ]
        for name, results, starts, result, retried in cases:
            with self.subTest(name):
                got, made, said = self.runs(*results)
                self.assertEqual((got, made), (result, starts))
                self.assertEqual("starting it once more" in said, retried, said)


if __name__ == "__main__":
    unittest.main()
