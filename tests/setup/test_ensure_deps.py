"""scripts/ensure-deps against stand-ins of apt and dpkg: a mirror in the
middle of a sync, a 32-bit part that cannot be had, a package that cannot
be installed. Nothing here touches the machine's own package state."""

import os
import subprocess
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "ensure-deps"

# The stand-ins read their behaviour from files in $STATE and log every call
# to $STATE/calls. Installed packages are lines of $STATE/installed.
STAND_INS = {
    "id": 'echo "${UID_SEEN:-0}"\n',
    "sleep": 'echo "sleep $*" >> "$STATE/calls"\n',
    "dpkg-query": 'grep -qx -- "${@: -1}" "$STATE/installed" && printf "install ok installed"\n'
                  'exit 0\n',
    "dpkg": 'echo "dpkg $*" >> "$STATE/calls"\n'
            'case "$1" in\n'
            '  --print-foreign-architectures) cat "$STATE/arches" 2>/dev/null ;;\n'
            '  --add-architecture) echo "$2" >> "$STATE/arches" ;;\n'
            'esac\n',
    # update: fails while $STATE/update-failures counts down, as a syncing
    # mirror does, leaving no i386 index; install: fails for whatever
    # $STATE/uninstallable names, for i386 packages without their index, and
    # for everything while the lists are stale ($STATE/stale).
    "apt-get": '''echo "apt-get $*" >> "$STATE/calls"
if [ "$1" = update ]; then
  echo "Get:1 http://mirror.example bookworm InRelease"
  left=$(cat "$STATE/update-failures" 2>/dev/null || echo 0)
  if [ "$left" -gt 0 ]; then
    echo $((left - 1)) > "$STATE/update-failures"
    touch "$STATE/no-i386"
    echo "Err:4 http://mirror.example bookworm-security/main i386 Packages"
    echo "  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
    echo "E: Failed to fetch http://mirror.example/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100
  fi
  rm -f "$STATE/stale" "$STATE/no-i386"
  exit 0
fi
shift 3  # install -y --no-install-recommends
if [ -e "$STATE/stale" ]; then echo "E: Unable to locate package $1"; exit 100; fi
for package in "$@"; do
  if grep -qx -- "$package" "$STATE/uninstallable" 2>/dev/null ||
     { [ -e "$STATE/no-i386" ] && [ "${package%:i386}" != "$package" ]; }; then
    echo "Some packages could not be installed."
    echo " libcups2:i386 : Depends: libavahi-client3:i386 (>= 0.6.16) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
done
printf '%s\\n' "$@" >> "$STATE/installed"
''',
}


class EnsureDeps(unittest.TestCase):
    def setUp(self):
        self.state = Path(tempfile.mkdtemp(prefix="ensure-deps-"))
        self.addCleanup(subprocess.run, ["rm", "-rf", str(self.state)])
        bin_ = self.state / "bin"
        bin_.mkdir()
        for name, body in STAND_INS.items():
            (bin_ / name).write_text("#!/bin/bash\n" + body)
            (bin_ / name).chmod(0o755)
        (self.state / "installed").write_text("cmake\n")
        self.env = {"PATH": f"{bin_}:/usr/bin:/bin", "STATE": str(self.state),
                    "VELMORA_DEPS_STATE": str(self.state / "remembered")}

    def given(self, **files):
        for name, text in files.items():
            (self.state / name.replace("_", "-")).write_text(text)

    def run_script(self, *args, uid=0):
        result = subprocess.run(["bash", str(SCRIPT), *args], env={**self.env, "UID_SEEN": str(uid)},
                                capture_output=True, text=True, timeout=60)
        return result.returncode, result.stdout, result.stderr

    def calls(self, prefix):
        text = (self.state / "calls").read_text() if (self.state / "calls").exists() else ""
        return [line for line in text.splitlines() if line.startswith(prefix)]

    def installed(self):
        return (self.state / "installed").read_text().split()

    def test_mirror_states(self):
        """(what the mirror does, sets asked for) -> status, what is
        installed, how often the lists were updated, and a phrase said."""
        cases = [
            ("all there already", {}, ["cmake"], 0, ["cmake"], 0, None),
            ("stale lists, then a clean update", {"stale": ""}, ["cmake", "wixl"], 0,
             ["cmake", "wixl"], 1, None),
            ("syncing for a while, then clean", {"stale": "", "update_failures": "2"}, ["wixl"], 0,
             ["cmake", "wixl"], 3, None),
            ("syncing all along: what is needed still installs", {"update_failures": "99"},
             ["wixl", "wine32"], 0, ["cmake", "wixl"], 3,
             "not installed: wine32:i386, so the tests of 32-bit Windows programs are skipped: "
             "the mirror's i386 index could not be fetched (File has unexpected size (374820 != "
             "376004). Mirror sync in progress?)"),
            ("the 32-bit part's dependencies broken, the index fine",
             {"uninstallable": "wine32:i386\n", "arches": "i386\n"}, ["wine32"], 0, ["cmake"], 1,
             "apt cannot install it (libcups2:i386 : Depends: libavahi-client3:i386"),
        ]
        for name, files, args, status, installed, updates, said in cases:
            with self.subTest(name):
                self.setUp()
                self.given(**files)
                code, out, err = self.run_script(*args)
                self.assertEqual(code, status, out + err)
                self.assertEqual(sorted(self.installed()), installed)
                self.assertEqual(len(self.calls("apt-get update")), updates, out)
                if said:
                    self.assertIn(said, out)
                    lines = [line for line in out.splitlines() if "not installed" in line]
                    self.assertEqual(len(lines), 1, out)

    def test_syncing_mirror_is_retried_with_short_waits(self):
        self.given(stale="", update_failures="2")
        self.assertEqual(self.run_script("build")[0], 0)
        self.assertEqual(self.calls("sleep"), ["sleep 3", "sleep 6"])

    def test_what_could_not_be_had_is_remembered_for_later_runs(self):
        self.given(update_failures="99")
        first = self.run_script("wine32")
        calls = len(self.calls("apt-get"))
        second = self.run_script("wine32")
        self.assertEqual((first[0], second[0]), (0, 0))
        self.assertEqual(second[1], [l for l in first[1].splitlines(True) if "not installed" in l][0])
        self.assertEqual(len(self.calls("apt-get")), calls, "apt was asked again")

    def test_a_package_that_cannot_be_installed_fails_with_what_apt_said(self):
        self.given(uninstallable="wixl\n")
        code, out, err = self.run_script("wixl")
        self.assertEqual(code, 1)
        self.assertIn("could not install wixl", err)
        self.assertIn("you have held broken packages", err)

    def test_not_root_names_what_is_missing(self):
        code, _, err = self.run_script("wixl", "wine32", uid=1000)
        self.assertEqual(code, 1)
        self.assertIn("Missing Debian packages: wixl", err)
        self.assertIn("Not installed: wine32:i386", err)
        code, _, err = self.run_script("wine32", uid=1000)
        self.assertEqual(code, 0, "the 32-bit part alone is optional")
        self.assertEqual(self.calls("apt-get"), [])


if __name__ == "__main__":
    unittest.main()
