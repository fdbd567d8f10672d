"""The signed executables of a packaging: a signature osslsigncode verifies
against the certificate that made it (and no other), SHA-256, the fixed
signing time; nothing changed outside the signature; the release checks and
the run matrix's working-folder cases pass on them."""

import contextlib
import io
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

from release_packagings import PRESETS, SHIPPED, WORK, signed_packagings, signing
from release_paths import BUILD, ROOT, pefile

sys.path.insert(0, str(ROOT / "scripts"))
import packaging  # noqa: E402

SECURITY_DIRECTORY = 4  # IMAGE_DIRECTORY_ENTRY_SECURITY
CHECKSUM_OFFSET = 64  # of CheckSum in the optional header, PE32 and PE32+ alike
SKIPPED = 77  # what the run matrix returns when this machine cannot run a target
# Run-matrix targets, the build tree whose Wine templates and helper programs
# they use, and the preset whose signed collector they run.
WINE_RUNS = (("win64", "win64"), ("winxp64", "win64"), ("win32xp", "win32"), ("wow64", "win32"))


def outside_signature(data):
    """The PE with its certificate table cut off and the two header fields
    signing sets (the security directory entry, the checksum) zeroed; padded
    with zeros to 8 bytes, as the table's start is aligned."""
    pe = read_pe_bytes(data)
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[SECURITY_DIRECTORY]
    body = bytearray(data)
    if security.Size:
        if security.VirtualAddress + security.Size != len(data):
            raise AssertionError("the certificate table is not the end of the file")
        del body[security.VirtualAddress:]
    entry = security.get_file_offset()
    body[entry:entry + 8] = bytes(8)
    checksum = pe.OPTIONAL_HEADER.get_file_offset() + CHECKSUM_OFFSET
    body[checksum:checksum + 4] = bytes(4)
    return bytes(body) + bytes(-len(body) % 8)


def read_pe_bytes(data):
    return pefile.PE(data=bytes(data))


def verify(exe, ca):
    proc = subprocess.run(["osslsigncode", "verify", "-in", str(exe), "-CAfile", str(ca)],
                          capture_output=True, text=True)
    return proc.returncode, proc.stdout + proc.stderr


def shipped():
    return [(preset, name) for preset in PRESETS for name in SHIPPED[preset]]


class Signatures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.made = signed_packagings()[0]
        cls.sign = signing()

    def test_each_verifies_against_its_certificate_only(self):
        epoch = packaging.source_date_epoch()
        signing_time = time.strftime("%b %e %H:%M:%S %Y GMT", time.gmtime(epoch))
        for preset, name in shipped():
            with self.subTest(preset=preset, exe=name):
                status, said = verify(self.made.signed(preset, name), self.sign.cert)
                self.assertEqual(status, 0, said)
                self.assertIn("Signature verification: ok", said)
                self.assertRegex(said, r"Message digest algorithm\s*:\s*SHA256")
                self.assertIn("Subject: /CN=Velmora Test Signing", said)
                self.assertIn(f"Signing time: {signing_time}", said)
                self.assertNotEqual(verify(self.made.signed(preset, name), self.sign.other_cert)[0], 0,
                                    "verified against a certificate that did not sign it")
                self.assertNotEqual(verify(self.made.built(preset, name), self.sign.cert)[0], 0,
                                    "an unsigned build verified")

    def test_nothing_changed_outside_the_signature(self):
        for preset, name in shipped():
            with self.subTest(preset=preset, exe=name):
                signed = self.made.signed(preset, name).read_bytes()
                unsigned = self.made.built(preset, name).read_bytes()
                self.assertGreater(len(signed), len(unsigned))
                self.assertEqual(outside_signature(signed), outside_signature(unsigned))

    def test_a_changed_byte_is_caught_by_both_checks(self):
        """One byte of code, of the signature, or of the checksum field
        changed: what verify and the comparison above each make of it."""
        preset = "win64"
        signed = self.made.signed(preset).read_bytes()
        unsigned = self.made.built(preset).read_bytes()
        pe = read_pe_bytes(signed)
        code = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".text").PointerToRawData + 64
        table = pe.OPTIONAL_HEADER.DATA_DIRECTORY[SECURITY_DIRECTORY].VirtualAddress + 200
        checksum = pe.OPTIONAL_HEADER.get_file_offset() + CHECKSUM_OFFSET
        # (what, offset, verify passes, equal outside the signature)
        for what, offset, verifies, outside_equal in (("code", code, False, False),
                                                      ("signature", table, False, True),
                                                      ("checksum", checksum, True, True)):
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                changed = bytearray(signed)
                changed[offset] ^= 0x01
                exe = Path(folder) / "velmora-diag.exe"
                exe.write_bytes(changed)
                self.assertEqual(verify(exe, self.sign.cert)[0] == 0, verifies)
                self.assertEqual(outside_signature(bytes(changed)) == outside_signature(unsigned), outside_equal)


class SignerOptions(unittest.TestCase):
    """The signing step alone, on the packaging's unsigned collector."""

    def setUp(self):
        self.made = signed_packagings()[0]
        self.sign = signing()
        self.scratch = Path(self.enterContext(tempfile.TemporaryDirectory()))
        self.epoch = packaging.source_date_epoch()

    def test_a_passphrase_protected_key_gives_the_same_bytes(self):
        key = self.scratch / "protected.key"
        (self.scratch / "pass").write_text("throw-away passphrase\n")
        subprocess.run(["openssl", "pkey", "-in", str(self.sign.key), "-aes256", "-passout",
                        f"file:{self.scratch / 'pass'}", "-out", str(key)], check=True, capture_output=True)
        signer = packaging.Signer(str(self.sign.cert), str(key), pass_file=str(self.scratch / "pass"))
        signed = signer.sign(self.made.built("win64"), self.scratch / "out" / "velmora-diag.exe", self.epoch)
        self.assertEqual(signed.read_bytes(), self.made.signed("win64").read_bytes())

    def test_an_unreachable_time_stamp_server_fails_and_leaves_nothing(self):
        # A loopback port nothing listens on: refused at once, no network.
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        signer = packaging.Signer(str(self.sign.cert), str(self.sign.key), timestamp_url=f"http://127.0.0.1:{port}/")
        target = self.scratch / "out" / "velmora-diag.exe"
        with self.assertRaises(SystemExit), contextlib.redirect_stderr(io.StringIO()):
            signer.sign(self.made.built("win64"), target, self.epoch)
        self.assertEqual(list(target.parent.iterdir()), [])


class ReleaseChecksOnSignedExecutables(unittest.TestCase):
    def test_imports_version_resource_and_manifest(self):
        run = signed_packagings()[0]
        env = {**os.environ, "VELMORA_WIN32_EXE": str(run.signed("win32")),
               "VELMORA_WIN64_EXE": str(run.signed("win64"))}
        checks = ["test_imports.ShippedExecutables", "test_version_resource.VersionResource",
                  "test_manifest.Manifest"]
        proc = subprocess.run([sys.executable, "-m", "unittest", "-v", *checks], cwd=Path(__file__).parent,
                              env=env, capture_output=True, text=True)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertRegex(proc.stderr, r"Ran [1-9]\d* tests")
        self.assertNotIn("skipped", proc.stderr)
        for check in checks:
            self.assertIn(check, proc.stderr, "a check that did not run")


class SignedUnderWine(unittest.TestCase):
    """The run matrix's working-folder cases with the signed collector in
    place of the build's. Signing must not keep XP from loading it."""

    def test_working_folder_cases_on_each_target(self):
        run = signed_packagings()[0]
        for target, preset in WINE_RUNS:
            with self.subTest(target):
                tree = BUILD / preset
                env = {**os.environ, "PYTHONPATH": f"{ROOT / 'tests'}:{ROOT / 'scripts'}",
                       "VELMORA_BUILD_DIR": str(tree), "VELMORA_EXE": str(run.signed(preset)),
                       "VELMORA_PROGRAMS": str(tree / "tests" / "programs"),
                       "VELMORA_RUNS_DIR": str(WORK / "runs" / target)}
                proc = subprocess.run([sys.executable, "-m", "harness", target, "-k", "WorkingFolder"],
                                      env=env, capture_output=True, text=True)
                if proc.returncode == SKIPPED:
                    # Only the matrix's own reason is a skip: 32-bit Wine missing here.
                    reason = proc.stdout[proc.stdout.find(f"{target}: every case skipped"):]
                    self.assertTrue(reason.startswith(target), proc.stdout[-2000:] + proc.stderr[-2000:])
                    self.skipTest(" ".join(reason.split())[:300])
                self.assertEqual(proc.returncode, 0, proc.stdout[-4000:] + proc.stderr[-2000:])
                summary = re.search(rf"{target}: (\d+) cases, (\d+) skipped, 0 failed", proc.stdout)
                self.assertTrue(summary, proc.stdout[-2000:])
                self.assertGreater(int(summary.group(1)), int(summary.group(2)))


if __name__ == "__main__":
    unittest.main()
