"""No outside text is ever used as a format by the native build: with
format directives in the home, data (so temporary) and log paths, a
run prints exactly its fixed lines, copies the logs intact and hands the
opener the path unchanged. The report programs get such paths in
test_report_tools."""

import sys
import unittest
from pathlib import Path

from native_run import BANNER, COMPLETED, CREATING, FOLDER_NAME, LOG_LINES, REPORT_TOOLS, NativeTestCase

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from format_text import LOGS, DIRECTIVES, contents  # noqa: E402


class NativeFormatText(NativeTestCase):
    def test_format_directives_in_paths_and_names_are_plain_text(self):
        home = self.root / f"home {DIRECTIVES}"
        data = self.root / f"data {DIRECTIVES}"
        (home / "Desktop").mkdir(parents=True)
        (data / "Temp").mkdir(parents=True)
        sources = {name: contents(name) for name in LOGS}
        for name, data_bytes in sources.items():
            (data / "Temp" / name).write_bytes(data_bytes)

        status, out = self.run_tool(env={"HOME": str(home), "XDG_DATA_HOME": str(data)})

        self.assertEqual((status, out), (0, BANNER + CREATING + LOG_LINES + REPORT_TOOLS + COMPLETED))
        working = home / "Desktop" / FOLDER_NAME
        self.assertEqual({p.name: p.read_bytes() for p in working.iterdir()}, sources)
        self.assertEqual(self.openings(1), [f"{working}/"])


if __name__ == "__main__":
    unittest.main()
