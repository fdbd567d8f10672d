"""Where the release checks find the project, its build and its version,
and the PE reader they share (Debian's python3-pefile)."""

import os
import re
import sys
from pathlib import Path

try:
    import pefile
except ImportError:
    # scripts/ensure-deps installs it for Debian's Python; a Python of one's
    # own first on PATH (pyenv, say) does not look there.
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile  # noqa: F401

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"

# The executables the presets build and the Wine tests run.
EXES = {
    "win32": Path(os.environ.get("VELMORA_WIN32_EXE", BUILD / "win32" / "velmora-diag.exe")),
    "win64": Path(os.environ.get("VELMORA_WIN64_EXE", BUILD / "win64" / "velmora-diag.exe")),
}


def project_version():
    """(major, minor, patch) as project() in CMakeLists.txt declares it."""
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*\S+\s+VERSION\s+(\d+)\.(\d+)\.(\d+)", text)
    if not match:
        raise AssertionError("CMakeLists.txt declares no project(... VERSION x.y.z)")
    return tuple(int(part) for part in match.groups())
