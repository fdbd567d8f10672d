"""Prints why each test that CTest counted as skipped did not run, from the
tree's last test log: CTest itself shows only the word.

    python3 scripts/skip_reasons.py BUILD_DIR CTEST_OUTPUT
"""

import re
import sys
from pathlib import Path

MARKERS = ("SKIPPED:", "every case skipped:", "skipped '", 'skipped "')


def main(build_dir, ctest_output):
    skipped = re.findall(r"Test +#\d+: (\S+) \.+\s*\*+Skipped", Path(ctest_output).read_text())
    log = Path(build_dir) / "Testing" / "Temporary" / "LastTest.log"
    text = log.read_text(errors="replace") if log.exists() else ""
    blocks = dict(re.findall(r"^\d+/\d+ Test: (\S+)\n(.*?)<end of output>", text, re.M | re.S))
    for name in skipped:
        lines = blocks.get(name, "").splitlines()
        reason = next((line.strip() for line in lines if any(m in line for m in MARKERS)),
                      "(no reason printed)")
        print(f"skipped {name}: {reason[:300]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
