"""The POSIX stand-in matches names as Windows does: FindFirstFileW under
Wine and the native build's probe search the same folder of awkward names
with the tool's three patterns (and two with letters beyond ASCII), and
must yield the same names."""

import os
import unittest
from pathlib import Path

from velmora_e2e import WineTestCase

LIST_FIND = Path(os.environ["VELMORA_LIST_FIND"])
NATIVE_PROBE = Path(os.environ["VELMORA_NATIVE_PROBE"])

PATTERNS = ["Velmora_Drivers_*.log", "Velmora_Drivers_*msi.log", "vl_*msi_rollback.log",
            "*ÜBERPRÜFUNG*", "*ЖУРНАЛ*"]

LONG = "Velmora_Drivers_" + "x" * (255 - len("Velmora_Drivers_") - len(".log")) + ".log"
NAMES = [
    # letter case
    "Velmora_Drivers_setup.log", "velmora_drivers_lower.log", "VELMORA_DRIVERS_UPPER.LOG",
    "Velmora_Drivers_mixed.Log", "Velmora_Drivers_ends_in_LOG", "VL_UPPER_MSI_ROLLBACK.LOG",
    # "msi.log" with and without ".msi."
    "Velmora_Drivers_a.msi.log", "Velmora_Drivers_amsi.log", "Velmora_Drivers_b.MSI.LOG",
    "Velmora_Drivers_msi.log", "Velmora_Drivers_msi.log.msi.log", "vl_msi_rollback.log",
    "vl_x.msi_rollback.log", "vl_msi_rollback.log.bak", "vl_rollback.log",
    # extra dots and blanks
    "Velmora_Drivers_.log", "Velmora_Drivers_a..b...log", "Velmora_Drivers_.log.log",
    "Velmora_Drivers_a.log.txt", "Velmora_Drivers_a.logx", "Velmora_Drivers_ with blanks .log",
    " Velmora_Drivers_leading.log", "Velmora_Drivers_.", "vl_ msi_rollback.log",
    # beyond ASCII and beyond the Basic Multilingual Plane
    "Velmora_Drivers_Überprüfung.log", "Velmora_Drivers_überprüfung.msi.log",
    "Velmora_Drivers_журнал.log", "Velmora_Drivers_Журнал msi.log", "Velmora_Drivers_日本.log",
    "Velmora_Drivers_😀.log", "Velmora_Drivers_𐐀𐐨msi.log", "vl_😀msi_rollback.log",
    "vl_Ümsi_rollback.LOG", "Velmora_Drıvers_dotless.log", "Velmora_Driverſ_long_s.log",
    "Velmora_Drivers_x.lοg",  # Greek omicron: looks like "o", is not
    # the longest name a folder can hold
    LONG, LONG[:-7] + "msi.log",
]


class NameMatching(WineTestCase):
    def test_stand_in_yields_what_find_first_file_yields(self):
        folder = self.wine.drive_c / "names"
        folder.mkdir()
        for name in NAMES:
            (folder / name).write_text(name, encoding="utf-8")
        (folder / "Velmora_Drivers_folder.log").mkdir()
        (folder / "sub").mkdir()
        (folder / "sub" / "Velmora_Drivers_nested.log").write_text("not searched")

        windows = self.answers([LIST_FIND_RUN(self, folder, PATTERNS)])[0]
        self.assertTrue(NATIVE_PROBE.exists(),
                        f"{NATIVE_PROBE} is missing: build this tree first")
        native = self.answers([self.probe(folder, PATTERNS)])[0]
        for pattern in PATTERNS:
            with self.subTest(pattern=pattern):
                self.assertEqual(native[pattern], windows[pattern])
        # Not vacuous: each pattern found something, and not everything.
        for pattern in PATTERNS:
            self.assertTrue(0 < len(windows[pattern]) < len(NAMES), (pattern, windows[pattern]))
        self.assertIn(LONG, windows["Velmora_Drivers_*.log"])
        self.assertIn("Velmora_Drivers_folder.log", windows["Velmora_Drivers_*.log"])

    def probe(self, folder, patterns):
        import subprocess
        texts = [str(folder).replace("/", "\\") + "\\" + p for p in patterns]
        proc = subprocess.run([str(NATIVE_PROBE), "find", *texts], stdout=subprocess.PIPE,
                              timeout=60, check=True)
        lines = proc.stdout.decode("utf-8").splitlines()
        return patterns, [line.split("\t")[0] for line in lines]

    @staticmethod
    def answers(runs):
        """{pattern: sorted names} for each run of (patterns, output lines)."""
        result = []
        for patterns, lines in runs:
            found, current = {}, None
            for line in lines:
                if line.startswith("> "):
                    current = patterns[len(found)]
                    found[current] = []
                elif not line.startswith("none"):
                    found[current].append(line)
            result.append({p: sorted(names) for p, names in found.items()})
        return result


def LIST_FIND_RUN(case, folder, patterns):
    texts = [case.wine.to_windows_path(folder) + "\\" + p for p in patterns]
    status, out, err = case.wine.run(LIST_FIND, texts, env={"LANG": "C.UTF-8"})
    case.assertEqual(status, 0, err)
    return patterns, out.splitlines()


if __name__ == "__main__":
    unittest.main()
