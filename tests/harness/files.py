"""Files for the cases to set up, and what they compare after a run."""

import hashlib
import os
import time
from pathlib import Path

DAY_NS = 86400 * 10**9
BASE_NS = 1_700_000_000 * 10**9


def units(text):
    """Length in UTF-16 units, as every limit of the tool counts."""
    return len(text.encode("utf-16-le")) // 2


def put(folder, name, age_days, data=None):
    """A file `age_days` old (the larger, the older) with contents of its own."""
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / name
    path.write_bytes(data if data is not None else f"{folder.name}/{name}\n".encode() * 40)
    ns = BASE_NS - int(age_days * DAY_NS)
    os.utime(path, ns=(ns, ns))
    return path


def padded_folder(base, total, measure):
    """A folder below `base` of `total` units as `measure` counts them: surrogate
    pairs and CJK first, so that units, characters and bytes all differ."""
    parts = []
    for chunk in ("𝄞" * 30, "桌" * 40):
        if measure(base.joinpath(*parts, chunk)) + 2 <= total:
            parts.append(chunk)
    while (missing := total - measure(base.joinpath(*parts))) > 0:
        # The separator takes one unit; never leave a single one over.
        parts.append("d" * (missing - 1 if missing <= 201 else 150))
    assert measure(base.joinpath(*parts)) == total, "no room for the folder"
    return base.joinpath(*parts)


def fill(folder, count):
    """`count` empty files, quickly: hard links to a few (ext4 allows 65,000
    links to a file) rather than as many inodes. Returns the seconds taken."""
    started = time.monotonic()
    folder.mkdir(parents=True, exist_ok=True)
    seeds = -(-count // 50_000)
    for number in range(count):
        path = folder / f"~DF{number:06d}.tmp"
        if number < seeds:
            path.touch(exist_ok=False)
        else:
            os.link(folder / f"~DF{number % seeds:06d}.tmp", path)
    return time.monotonic() - started


def contents(folder):
    """{relative path: bytes, or None for a folder}, or None: no folder."""
    if not folder.is_dir():
        return None
    return {path.relative_to(folder).as_posix(): None if path.is_dir() else path.read_bytes()
            for path in folder.rglob("*")}


def snapshot(root, skip):
    """{relative path: (kind, size, last-write ns, SHA-256)} below `root` but
    what `skip` names. Files with more links (shared with the template
    prefix) are not hashed: a write through them changes time and size."""
    found = {}
    for folder, folders, files in os.walk(root):
        here = Path(folder)
        folders[:] = [f for f in folders if not skip((here / f).relative_to(root))]
        for name in folders + files:
            path = here / name
            relative = path.relative_to(root)
            if skip(relative):
                continue
            status = path.lstat()
            if path.is_symlink():
                found[relative] = ("link", os.readlink(path))
            elif name in folders:
                found[relative] = ("folder", status.st_mode)
            else:
                digest = (hashlib.sha256(path.read_bytes()).hexdigest()
                          if status.st_nlink == 1 else None)
                found[relative] = ("file", status.st_mode, status.st_size, status.st_mtime_ns, digest)
    return found
