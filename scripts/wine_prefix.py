"""Hermetic Wine prefixes for running the Windows build.

Every prefix lives under the build tree, with its own HOME and XDG folders,
so nothing touches ~/.wine or the real home. Its profile folders (Desktop,
Documents, ...) are real folders, not Wine's links into $HOME. A template is
booted once per build tree; each prefix is a copy of it (system32 hard
linked, as nothing writes there but the stand-ins, which are unlinked first).

Usable as a module (tests) and from the shell:
    python3 scripts/wine_prefix.py ensure DIR BUILD_DIR   make DIR a prefix unless it is one
    python3 scripts/wine_prefix.py run DIR EXE [ARGS...]  run a program in it
    python3 scripts/wine_prefix.py stop DIR              end every program left running in it
"""

import fcntl
import grp
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
PROFILE_LINKS = ("Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos", "Templates")


def _clean_environment(prefix, home):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "XDG_", "DISPLAY", "WAYLAND"))}
    env.update({
        "WINEPREFIX": str(prefix),
        "HOME": str(home),
        "XDG_CONFIG_HOME": str(home / ".config"),
        "XDG_DATA_HOME": str(home / ".local" / "share"),
        "XDG_CACHE_HOME": str(home / ".cache"),
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": DLL_OVERRIDES,
        "WINEARCH": "win64",
    })
    return env


def _boot_template(template):
    staging = template.with_name(template.name + ".staging")
    shutil.rmtree(staging, ignore_errors=True)
    prefix, home = staging / "prefix", staging / "home"
    home.mkdir(parents=True)
    env = _clean_environment(prefix, home)
    subprocess.run(["wineboot", "-i"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, check=True)
    users = prefix / "drive_c" / "users"
    for profile in users.iterdir():
        for link in PROFILE_LINKS:
            folder = profile / link
            if folder.is_symlink():
                folder.unlink()
                folder.mkdir()
            elif profile.name != "Public" and not folder.exists():
                folder.mkdir()
    staging.rename(template)


def ensure_template(build_dir):
    """The booted template prefix of this build tree, made on first use."""
    root = Path(build_dir) / "wine"
    root.mkdir(parents=True, exist_ok=True)
    template = root / "template"
    with open(root / ".template.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not (template / "prefix" / "system.reg").exists():
            shutil.rmtree(template, ignore_errors=True)
            _boot_template(template)
    return template


class WinePrefix:
    """One prefix and its home, copied from the template."""

    def __init__(self, directory, build_dir, reuse=False):
        self.root = Path(directory).resolve()
        self.prefix = self.root / "prefix"
        self.home = self.root / "home"
        self.env = _clean_environment(self.prefix, self.home)
        self.runner = []  # put before every Wine command: see hand_over
        if reuse and (self.prefix / "system.reg").exists():
            return
        template = ensure_template(build_dir)
        self.kill()
        shutil.rmtree(self.root, ignore_errors=True)
        self.root.mkdir(parents=True)
        system32 = Path("drive_c") / "windows" / "system32"
        subprocess.run(["cp", "-a", str(template / "home"), str(self.home)], check=True)
        skipped = template / "prefix" / system32.parent

        def skip_system32(folder, names):
            return ["system32"] if Path(folder) == skipped else []

        shutil.copytree(template / "prefix", self.prefix, symlinks=True, ignore=skip_system32)
        subprocess.run(["cp", "-al", str(template / "prefix" / system32), str(self.prefix / system32)],
                       check=True)

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

    def install_program(self, source, name):
        """Puts a program into system32, where the shell finds it by name."""
        target = self.windows / "system32" / name
        if target.exists() or target.is_symlink():
            target.unlink()  # hard linked to the template: never write through it
        shutil.copyfile(source, target)
        return target

    def start(self, exe, args=(), env=None, stdout=None, stderr=None):
        """Starts a Windows program; returns its Popen."""
        full_env = dict(self.env)
        full_env.update(env or {})
        return subprocess.Popen([*self.runner, "wine", str(exe), *args], env=full_env,
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
        command = ["wine", "reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"]
        status = subprocess.run([*self.runner, *command], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                timeout=120).returncode
        if status != 0:
            raise RuntimeError(f"reg add {key} {name} failed: {status}")

    def wait_idle(self):
        """Waits until every program of the prefix has ended."""
        subprocess.run([*self.runner, "wineserver", "-w"], env=self.env, timeout=300)

    def kill(self):
        if self.prefix.exists():
            subprocess.run([*self.runner, "wineserver", "-k"],
                           env=_clean_environment(self.prefix, self.home),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(0.1)

    def hand_over(self, user="nobody", group="nogroup"):
        """Makes the prefix `user`'s and runs every later Wine command as
        that user (the caller being root), so that the user's missing rights
        count: root's are not refused anything by the file system. The
        system32 files shared with the template by hard link stay root's;
        they are only read."""
        self.kill()
        # Debian's Wine names the running server's folder here; the new
        # owner's server makes its own.
        (self.prefix / "wineserver").unlink(missing_ok=True)
        uid, gid = pwd.getpwnam(user).pw_uid, grp.getgrnam(group).gr_gid
        for path in [self.root, *self.root.rglob("*")]:
            if path.is_dir() and not path.is_symlink() or path.lstat().st_nlink == 1:
                os.lchown(path, uid, gid)
        self.runner = ["setpriv", f"--reuid={user}", f"--regid={group}", "--clear-groups"]


def main(argv):
    if len(argv) == 3 and argv[0] == "ensure":
        prefix = WinePrefix(argv[1], argv[2], reuse=True)
        print(prefix.desktop)
        return 0
    if len(argv) >= 3 and argv[0] == "run":
        root = Path(argv[1]).resolve()
        env = _clean_environment(root / "prefix", root / "home")
        if "DISPLAY" in os.environ:  # lets Wine show the folder it is asked to open
            env["DISPLAY"] = os.environ["DISPLAY"]
        return subprocess.run(["wine", argv[2], *argv[3:]], env=env).returncode
    if len(argv) == 2 and argv[0] == "stop":
        root = Path(argv[1]).resolve()
        subprocess.run(["wineserver", "-k"], env=_clean_environment(root / "prefix", root / "home"))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
