"""Hermetic Wine prefixes for running the Windows build.

Every prefix lives under the build tree, with its own HOME and XDG folders,
so nothing touches ~/.wine or the real home. Its profile folders (Desktop,
Documents, ...) are real folders, not Wine's links into $HOME. A template is
booted once per build tree and Wine architecture ("win64": 64-bit Windows,
which runs 32-bit programs through WoW64; "win32": 32-bit Windows); each
prefix is a copy of it (system32 hard linked, as nothing writes there but
the stand-ins, which are unlinked first).

Usable as a module (tests) and from the shell:
    python3 scripts/wine_prefix.py ensure [--arch A] DIR BUILD_DIR  make DIR a prefix unless it is one
    python3 scripts/wine_prefix.py run DIR EXE [ARGS...]           run a program in it
    python3 scripts/wine_prefix.py stop DIR                       end every program left running in it
"""

import fcntl
import functools
import grp
import os
import pwd
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
PROFILE_LINKS = ("Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos", "Templates")
ARCHES = ("win64", "win32")
# Where a 32-bit program of each architecture's prefix is found: a 64-bit
# prefix keeps them in syswow64 and runs them through WoW64.
_CMD_32BIT = {"win32": r"C:\windows\system32\cmd.exe", "win64": r"C:\windows\syswow64\cmd.exe"}
_PROBE_STATUS = 37
# Begins every reason cannot_run_32bit gives: test output matching it counts as skipped.
NO_32BIT = "no 32-bit Windows programs here"
NO_32BIT_WINE = (f"{NO_32BIT}: the installed Wine has no 32-bit part (Debian's wine32:i386 is not "
                 "installed; scripts/ensure-deps says why)")


def _clean_environment(prefix, home, arch="win64"):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "XDG_", "DISPLAY", "WAYLAND"))}
    env.update({
        "WINEPREFIX": str(Path(prefix).resolve()),
        # Debian's Wine keeps the server's socket in a folder it makes in
        # TMPDIR and names in the prefix: one of the prefix's own, so that it
        # goes with the prefix and no two prefixes ever share one.
        "TMPDIR": str(Path(prefix).resolve().parent / "tmp"),
        "HOME": str(Path(home).resolve()),
        "XDG_CONFIG_HOME": str(Path(home).resolve() / ".config"),
        "XDG_DATA_HOME": str(Path(home).resolve() / ".local" / "share"),
        "XDG_CACHE_HOME": str(Path(home).resolve() / ".cache"),
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": DLL_OVERRIDES,
        "WINEARCH": arch,
    })
    return env


@functools.lru_cache(maxsize=None)
def wine_setup():
    """What a booted prefix depends on: the Wine release and the Windows-side
    architectures installed. A 64-bit prefix booted before the 32-bit Wine
    was installed has no working syswow64, so a change here re-makes it."""
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True,
                             env=_clean_environment("/nonexistent", "/nonexistent")).stdout.strip()
    parts = sorted({p.name for pattern in ("/usr/lib/wine/wine*", "/usr/lib/*/wine/*-windows",
                                           "/usr/local/lib*/wine/*-windows")
                    for p in Path("/").glob(pattern.lstrip("/"))})
    return " ".join([version or "no wine", *parts])


def _check_arch(arch):
    if arch not in ARCHES:
        raise ValueError(f"unknown Wine architecture {arch!r}: one of {', '.join(ARCHES)}")


def _stop_server(prefix, home, arch="win64", runner=()):
    """Ends the prefix's wineserver and returns only once it has exited.

    "wineserver -k" signals the server and gives up waiting after about
    10 s, killing it outright; the dying server may still hold its lock and
    socket then, and on its way out it writes its registry files into
    whatever stands at the prefix's path by then. A prefix made next in the
    same place would get those, or reach the dying server (a server's
    folder is named by the prefix folder's inode, which a new folder may get
    again): its first "reg add" fails. "-w" waits for the server's lock,
    which goes only with the process."""
    if not Path(prefix).is_dir():
        return
    env = _clean_environment(prefix, home, arch)
    for flag in ("-k", "-w"):
        subprocess.run([*runner, "wineserver", flag], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)


def _run_logged(command, env, what):
    """Runs a Wine command to completion. Output goes to a file: a pipe
    would stay open as long as the services Wine starts."""
    with tempfile.TemporaryFile() as output:
        status = subprocess.run(command, env=env, stdout=output, stderr=output, timeout=600).returncode
        if status != 0:
            output.seek(0)
            text = output.read().decode("utf-8", "replace").strip()
            raise RuntimeError(f"{what} failed with status {status}: {text[-2000:]}")


def _boot_template(template, arch):
    staging = template.with_name(template.name + ".staging")
    _discard(staging / "prefix", staging / "home", arch)
    prefix, home = staging / "prefix", staging / "home"
    home.mkdir(parents=True)
    (staging / "tmp").mkdir()
    env = _clean_environment(prefix, home, arch)
    try:
        _run_logged(["wineboot", "-i"], env, f"booting a {arch} Wine prefix")
    finally:
        _stop_server(prefix, home, arch)
    # Whether this prefix runs 32-bit Windows programs (WoW64 in a 64-bit
    # one), found by running one: Wine's own cmd.
    with tempfile.TemporaryFile() as output:
        status = subprocess.run(["wine", _CMD_32BIT[arch], "/c", f"exit {_PROBE_STATUS}"], env=env,
                                stdout=output, stderr=output, timeout=300).returncode
        output.seek(0)
        said = output.read().decode("utf-8", "replace").strip()
    _stop_server(prefix, home, arch)
    verdict = "yes" if status == _PROBE_STATUS else (
        f"{NO_32BIT}: {_CMD_32BIT[arch]} does not run in a {arch} Wine prefix, "
        f"exit status {status} {said[-500:]}".strip())
    users = prefix / "drive_c" / "users"
    for profile in users.iterdir():
        for link in PROFILE_LINKS:
            folder = profile / link
            if folder.is_symlink():
                folder.unlink()
                folder.mkdir()
            elif profile.name != "Public" and not folder.exists():
                folder.mkdir()
    (staging / "runs-32bit").write_text(verdict + "\n")
    (staging / "wine-setup").write_text(_stamp(arch))
    staging.rename(template)


def _discard(prefix, home, arch):
    """Removes a prefix's folder after ending its server."""
    _stop_server(prefix, home, arch)
    shutil.rmtree(Path(prefix).parent, ignore_errors=True)


def _stamp(arch):
    return f"{arch} {wine_setup()}\n"


def ensure_template(build_dir, arch="win64"):
    """The booted template prefix of this build tree for `arch`, made on
    first use and made again when the installed Wine changed."""
    _check_arch(arch)
    root = Path(build_dir).resolve() / "wine"
    root.mkdir(parents=True, exist_ok=True)
    template = root / f"template-{arch}"
    with open(root / f".template-{arch}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        stamp = template / "wine-setup"
        if not ((template / "prefix" / "system.reg").exists() and stamp.exists()
                and stamp.read_text() == _stamp(arch)):
            _discard(template / "prefix", template / "home", arch)
            _boot_template(template, arch)
        # The one template of earlier trees, booted for whichever Wine was
        # installed then.
        legacy = root / "template"
        if legacy.exists():
            _discard(legacy / "prefix", legacy / "home", "win64")
    return template


def _unix_parts():
    """The Unix-side architectures of the installed Wine ("x86_64-unix", "i386-unix"): a 32-bit
    Windows program needs the 32-bit one, which Debian's wine32:i386 brings."""
    return {p.name for pattern in ("usr/lib/*/wine/*-unix", "usr/local/lib*/wine/*-unix")
            for p in Path("/").glob(pattern)}


def cannot_run_32bit(build_dir, arch="win32"):
    """None when a prefix of `arch` runs 32-bit Windows programs on this
    machine (a "win64" one through WoW64), else the reason it does not."""
    if "i386-unix" not in _unix_parts():
        return NO_32BIT_WINE
    try:
        template = ensure_template(build_dir, arch)
    except RuntimeError as error:
        if arch == "win64":
            raise  # no 64-bit prefix at all is a fault, not a missing feature
        return f"{NO_32BIT}: {error}"
    verdict = (template / "runs-32bit").read_text().strip()
    return None if verdict == "yes" else verdict


def pe_machine(exe):
    """The machine field of a PE file's header (0x14C: i386), or None."""
    try:
        with open(exe, "rb") as file:
            head = file.read(4096)
        offset = struct.unpack_from("<I", head, 0x3C)[0]
        if head[:2] != b"MZ" or head[offset:offset + 4] != b"PE\0\0":
            return None
        return struct.unpack_from("<H", head, offset + 4)[0]
    except (OSError, struct.error):
        return None


def loader(exe):
    """The Wine loader that runs `exe` in the very process it is started as.

    Debian's "wine" starts the 32-bit loader whenever the 32-bit Wine is
    installed. That one cannot map a 64-bit program: it runs "start.exe
    /exec" instead, which starts the program as another process, not its
    child, and waits for it. Only the exit status comes through; the
    process to watch, kill or time is start.exe's. A 64-bit program is
    therefore started through the 64-bit loader: "wine64" where it is on
    PATH, Debian's own in /usr/lib/wine. Every other program, and where
    neither is found (a Wine whose one loader runs both), through "wine"."""
    if pe_machine(exe) == 0x8664:
        for candidate in (shutil.which("wine64"), "/usr/lib/wine/wine64"):
            if candidate and os.access(candidate, os.X_OK):
                return candidate
    return "wine"


def cannot_run(exe, build_dir, arch="win64"):
    """None when `exe` can run in a prefix of `arch` here, else why not: a
    32-bit program where 32-bit Windows programs do not run."""
    if pe_machine(exe) != 0x14C:
        return None
    reason = cannot_run_32bit(build_dir, arch)
    return f"{Path(exe).name} is a 32-bit program; {reason}" if reason else None


class WinePrefix:
    """One prefix and its home, copied from the template of its architecture."""

    def __init__(self, directory, build_dir, reuse=False, arch="win64"):
        _check_arch(arch)
        self.arch = arch
        self.root = Path(directory).resolve()
        self.prefix = self.root / "prefix"
        self.home = self.root / "home"
        self.env = _clean_environment(self.prefix, self.home, arch)
        self.runner = []  # put before every Wine command: see hand_over
        stamp = self.root / "wine-setup"
        if (reuse and (self.prefix / "system.reg").exists() and stamp.exists()
                and stamp.read_text() == _stamp(arch)):
            return
        template = ensure_template(build_dir, arch)
        self.kill()
        shutil.rmtree(self.root, ignore_errors=True)
        (self.root / "tmp").mkdir(parents=True)
        system32 = Path("drive_c") / "windows" / "system32"
        subprocess.run(["cp", "-a", str(template / "home"), str(self.home)], check=True)
        skipped = {template / "prefix": ["wineserver"],  # the template's server folder
                   template / "prefix" / system32.parent: ["system32"]}

        def skip(folder, names):
            return skipped.get(Path(folder), [])

        shutil.copytree(template / "prefix", self.prefix, symlinks=True, ignore=skip)
        subprocess.run(["cp", "-al", str(template / "prefix" / system32), str(self.prefix / system32)],
                       check=True)
        self._new_server_folder()
        shutil.copyfile(template / "wine-setup", stamp)

    def _new_server_folder(self):
        """Debian's Wine keeps the server's socket in a folder of TMPDIR
        that the prefix names in its file "wineserver". Each prefix gets a
        new one, named before the first run so that the run adds no file."""
        named = self.prefix / "wineserver"
        if named.exists():
            shutil.rmtree(self.root / "tmp" / named.read_text().strip(), ignore_errors=True)
            named.unlink()
        folder = tempfile.mkdtemp(prefix="wine-", dir=self.root / "tmp")
        named.write_text(Path(folder).name)
        named.chmod(0o400)  # as Wine makes it: any other mode, and it makes a new one

    # Locations inside the prefix, on the Linux side.
    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    @property
    def user(self):
        names = [p.name for p in (self.drive_c / "users").iterdir() if p.name != "Public"]
        return names[0]

    @property
    def profile(self):
        return self.drive_c / "users" / self.user

    @property
    def desktop(self):
        return self.profile / "Desktop"

    @property
    def windows(self):
        return self.drive_c / "windows"

    def to_windows_path(self, path):
        """The Windows path of a Linux path (C: inside the prefix, else Z:)."""
        path = Path(path).resolve()
        try:
            return "C:\\" + "\\".join(path.relative_to(self.drive_c).parts)
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def from_windows_path(self, path):
        """The Linux path of a Windows path on C: or Z:."""
        drive, rest = path[:2].upper(), path[3:].replace("\\", "/")
        if drive == "C:":
            return self.drive_c / rest
        if drive == "Z:":
            return Path("/") / rest
        raise ValueError(f"not on C: or Z:: {path}")

    def install_program(self, source, name):
        """Puts a program into system32, where the shell finds it by name."""
        target = self.windows / "system32" / name
        if target.exists() or target.is_symlink():
            target.unlink()  # hard linked to the template: never write through it
        shutil.copyfile(source, target)
        return target

    def start(self, exe, args=(), env=None, stdout=None, stderr=None):
        """Starts a Windows program; returns its Popen, whose process is the program's."""
        full_env = dict(self.env)
        full_env.update(env or {})
        return subprocess.Popen([*self.runner, loader(exe), _absolute(exe), *args], env=full_env,
                                stdout=stdout, stderr=stderr, cwd=self.root)

    def run(self, exe, args=(), env=None, timeout=120, check_exit=True):
        """Runs a Windows program; returns (exit status, stdout with CRLF folded, stderr)."""
        # Files, not pipes: programs the run leaves behind (the folder window,
        # Wine's services) inherit the output, and a pipe would only end with
        # the last of them, not with the program itself.
        with tempfile.TemporaryFile() as stdout, tempfile.TemporaryFile() as stderr:
            process = self.start(exe, args, env, stdout, stderr)
            try:
                status = process.wait(timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                raise
            stdout.seek(0)
            stderr.seek(0)
            out = stdout.read().decode("utf-8", "replace").replace("\r\n", "\n")
            return status, out, stderr.read().decode("utf-8", "replace")

    def reg_add(self, key, name, data, kind="REG_SZ"):
        status, out, err = self.run("reg", ["add", key, "/v", name, "/t", kind, "/d", data, "/f"])
        if status != 0:
            raise RuntimeError(f"reg add {key} {name} failed with status {status}: {out} {err}")

    def set_windows_version(self, version):
        """The Windows version the prefix reports, in Wine's names:
        "winxp" (5.1.2600), "winxp64" (5.2.3790), "win10", ..."""
        self.reg_add(r"HKCU\Software\Wine", "Version", version)

    def wait_idle(self):
        """Waits until every program of the prefix has ended."""
        subprocess.run([*self.runner, "wineserver", "-w"], env=self.env, timeout=300)

    def kill(self):
        """Ends every program of the prefix; returns once its server is gone."""
        _stop_server(self.prefix, self.home, self.arch, self.runner)

    def hand_over(self, user="nobody", group="nogroup"):
        """Makes the prefix `user`'s and runs every later Wine command as
        that user (the caller being root), so that the user's missing rights
        count: root's are not refused anything by the file system. The
        system32 files shared with the template by hard link stay root's;
        they are only read."""
        self.kill()
        self._new_server_folder()  # the new owner's, made theirs below
        uid, gid = pwd.getpwnam(user).pw_uid, grp.getgrnam(group).gr_gid
        for path in [self.root, *self.root.rglob("*")]:
            if path.is_dir() and not path.is_symlink() or path.lstat().st_nlink == 1:
                os.lchown(path, uid, gid)
        self.runner = ["setpriv", f"--reuid={user}", f"--regid={group}", "--clear-groups"]


def _absolute(exe):
    """A program given by a path, made absolute (Wine runs it from the
    prefix's folder); a bare Windows name such as "cmd" as it is."""
    return str(Path(exe).resolve()) if os.sep in str(exe) or Path(exe).exists() else str(exe)


def _arch_of(root):
    stamp = Path(root) / "wine-setup"
    return stamp.read_text().split()[0] if stamp.exists() else "win64"


def main(argv):
    arch = "win64"
    if argv[:1] == ["ensure"] and argv[1:2] == ["--arch"] and len(argv) >= 3:
        arch, argv = argv[2], argv[:1] + argv[3:]
    if len(argv) == 3 and argv[0] == "ensure":
        prefix = WinePrefix(argv[1], argv[2], reuse=True, arch=arch)
        print(prefix.desktop)
        return 0
    if len(argv) >= 3 and argv[0] == "run":
        root = Path(argv[1]).resolve()
        env = _clean_environment(root / "prefix", root / "home", _arch_of(root))
        if "DISPLAY" in os.environ:  # lets Wine show the folder it is asked to open
            env["DISPLAY"] = os.environ["DISPLAY"]
        return subprocess.run([loader(argv[2]), _absolute(argv[2]), *argv[3:]], env=env).returncode
    if len(argv) == 2 and argv[0] == "stop":
        root = Path(argv[1]).resolve()
        _stop_server(root / "prefix", root / "home", _arch_of(root))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
