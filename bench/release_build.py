"""The benchmarks' native build: the native-release preset's tree (Release,
no sanitizers), the one the Valgrind runs use too."""

import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
BUILD = ROOT / "build" / "native-release"


def build(*targets):
    """Configures the tree and builds `targets`; returns the tree's folder."""
    subprocess.run(["cmake", "--preset", "native-release"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "native-release", "--target", *targets],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return BUILD
