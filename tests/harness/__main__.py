"""python3 -m harness TARGET [-k PATTERN]...: every case of tests/runs
against TARGET; status 77 (a skip to CTest) when the machine cannot run it."""

import argparse
import sys
import unittest
from pathlib import Path

from . import case
from .targets import TARGETS

SKIPPED = 77


def main():
    parser = argparse.ArgumentParser(prog="python3 -m harness")
    parser.add_argument("target", choices=sorted(TARGETS))
    parser.add_argument("-k", dest="patterns", action="append", help="only cases matching")
    options = parser.parse_args()
    target = TARGETS[options.target]
    reason = target.unavailable()
    if reason:
        print(f"{target.name}: every case skipped: {reason}")
        return SKIPPED
    case.TARGET = target
    loader = unittest.TestLoader()
    loader.testNamePatterns = [p if "*" in p else f"*{p}*" for p in options.patterns or []] or None
    runs = Path(__file__).resolve().parents[1] / "runs"
    suite = loader.discover(str(runs), pattern="test_*.py", top_level_dir=str(runs))
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    print(f"{target.name}: {result.testsRun} cases, {len(result.skipped)} skipped, "
          f"{len(result.failures) + len(result.errors)} failed")
    return 0 if result.wasSuccessful() and result.testsRun > len(result.skipped) else 1


if __name__ == "__main__":
    sys.exit(main())
