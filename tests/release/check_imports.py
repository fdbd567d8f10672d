"""Whether a Windows executable can load on the oldest Windows it is made for.

Checks the PE headers (machine, console subsystem, OS and subsystem versions)
and every imported function against the lists in exports/ of what Windows XP
SP3 (32-bit) and Windows XP x64 / Server 2003 x64 export. A DLL without a list
there is not one the tool may import: either Windows does not ship it (a
MinGW runtime DLL, say) or its XP exports have not been checked yet.

    python3 tests/release/check_imports.py win32|win64 EXE
prints each violation and exits 1 when there is one.
"""

import sys
from dataclasses import dataclass
from pathlib import Path

from release_paths import pefile

EXPORTS_DIR = Path(__file__).resolve().parent / "exports"
MACHINE_I386 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
MACHINE_AMD64 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
SUBSYSTEM_CONSOLE = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"]


@dataclass(frozen=True)
class Target:
    name: str
    machine: int
    arch: str  # the architecture tag of the export lists
    max_version: tuple  # (major, minor) of the oldest Windows


TARGETS = {
    "win32": Target("Windows XP SP3 (32-bit)", MACHINE_I386, "i386", (5, 1)),
    "win64": Target("Windows XP x64 / Server 2003 x64", MACHINE_AMD64, "x86_64", (5, 2)),
}


def load_exports(arch, directory=EXPORTS_DIR):
    """{lower-case DLL name: set of function names} for one architecture."""
    exports = {}
    for path in sorted(Path(directory).glob("*.txt")):
        names = set()
        for line in path.read_text(encoding="ascii").splitlines():
            words = line.split("#", 1)[0].split()
            if not words:
                continue
            if len(words) > 2 or (len(words) == 2 and words[1] not in ("i386", "x86_64")):
                raise ValueError(f"{path.name}: malformed line {line!r}")
            if len(words) == 1 or words[1] == arch:
                names.add(words[0])
        exports[path.stem.lower() + ".dll"] = names
    return exports


def read_pe(path):
    """The executable, every table parsed."""
    return pefile.PE(data=Path(path).read_bytes())


def imported(pe):
    """(DLL, function name or None for an ordinal) of every import, the
    delay-loaded ones included."""
    tables = [*getattr(pe, "DIRECTORY_ENTRY_IMPORT", []), *getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    return [(table.dll.decode("ascii"), function.name and function.name.decode("ascii"))
            for table in tables for function in table.imports]


def check_imports(imports, target, exports):
    """Violations among (dll, function name or None for an ordinal) pairs."""
    problems = []
    for dll, name in imports:
        allowed = exports.get(dll.lower())
        if allowed is None:
            problems.append(f"imports {dll}, which {target.name} does not provide")
        elif name is None:
            problems.append(f"imports from {dll} by ordinal, which cannot be checked")
        elif name not in allowed:
            problems.append(f"imports {dll}!{name}, which {target.name} does not export")
    return sorted(set(problems))


def check_headers(pe, target):
    problems = []
    machine, optional = pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER
    if machine != target.machine:
        problems.append(f"machine {machine:#x}, expected {target.machine:#x}")
    if optional.Subsystem != SUBSYSTEM_CONSOLE:
        problems.append(f"subsystem {optional.Subsystem}, expected the console ({SUBSYSTEM_CONSOLE})")
    for what, version in (
            ("OS", (optional.MajorOperatingSystemVersion, optional.MinorOperatingSystemVersion)),
            ("subsystem", (optional.MajorSubsystemVersion, optional.MinorSubsystemVersion))):
        if version > target.max_version:
            problems.append("%s version %d.%02d is above %d.%02d" % (what, *version, *target.max_version))
    return problems


def check_executable(path, target_key, exports_dir=EXPORTS_DIR):
    target = TARGETS[target_key]
    pe = read_pe(path)
    # What pefile had to skip or guess at would leave a table unchecked.
    unread = [f"unreadable: {warning}" for warning in pe.get_warnings()]
    return unread + check_headers(pe, target) + check_imports(imported(pe), target,
                                                              load_exports(target.arch, exports_dir))


def main(argv):
    if len(argv) != 2 or argv[0] not in TARGETS:
        print(__doc__, file=sys.stderr)
        return 2
    problems = check_executable(argv[1], argv[0])
    for problem in problems:
        print(f"{argv[1]}: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
