"""Shared set-up for running velmora-triage end to end: collected folders and
zips made at test time from the rules' fixtures, each file encoded as
Windows writes it, and the program's JSON read back."""

import json
import os
import subprocess
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
FIXTURES = HERE / "fixtures"
BUILD_DIR = Path(os.environ.get("VELMORA_BUILD_DIR", HERE))
EXE = Path(os.environ.get("VELMORA_TRIAGE_EXE", "velmora-triage"))
FOLDER_NAME = "Velmora Drivers Diagnostics"


def windows_bytes(name, text):
    """The bytes Windows writes for a file of this name: verbose installer
    logs, WMIC's list and msinfo32's report in UTF-16LE with a byte-order
    mark, the device-setup logs in the ANSI code page."""
    lower = name.lower()
    if lower.startswith("setupapi"):
        return text.encode("cp1252")
    return b"\xff\xfe" + text.encode("utf-16-le")


def fixture_files(*fixtures):
    """{name: text} of the named fixture folders, merged."""
    files = {}
    for fixture in fixtures:
        for path in sorted((FIXTURES / fixture).iterdir()):
            if path.name == "expected.json":
                continue
            files[path.name] = path.read_bytes().decode("utf-8")
    return files


def write_folder(folder, files, encode=windows_bytes):
    folder.mkdir(parents=True, exist_ok=True)
    for name, text in files.items():
        data = text if isinstance(text, bytes) else encode(name, text)
        (folder / name).write_bytes(data)
    return folder


def write_zip(path, files, top=FOLDER_NAME, method=zipfile.ZIP_DEFLATED):
    """As "Send to, Compressed (zipped) folder" makes it: the folder's entry
    and its files inside it (or the files at the root when top is None)."""
    prefix = f"{top}/" if top else ""
    with zipfile.ZipFile(path, "w", compression=method) as archive:
        if top:
            archive.writestr(zipfile.ZipInfo(prefix), b"")
        for name, text in files.items():
            data = text if isinstance(text, bytes) else windows_bytes(name, text)
            archive.writestr(prefix + name, data)
    return path


def run(path, *args, exe=EXE, runner=None):
    """(exit status, stdout, stderr) of the native program, or of `runner`
    (a function taking the argument list) when given."""
    argv = [str(path), *args]
    if runner:
        return runner(argv)
    done = subprocess.run([str(exe), *argv], capture_output=True, timeout=300)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def triage_json(path, runner=None):
    status, out, err = run(path, "--json", runner=runner)
    assert status in (0, 1), (status, err)
    return status, json.loads(out)


def rules(report):
    """(severity, rule, file, line, code) of every finding, in order."""
    return [(f["severity"], f["rule"], f["file"], f["line"], f["code"]) for f in report["findings"]]
