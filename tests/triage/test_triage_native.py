"""velmora-triage (native build) on collected folders, their zips and single
logs, made at test time from the rules' fixtures; exit statuses; hostile
input of every kind the program must survive."""

import json
import os
import shutil
import struct
import subprocess
import unittest
import zipfile
import zlib

from triage_e2e import (BUILD_DIR, EXE, FOLDER_NAME, fixture_files, rules, run, triage_json,
                        windows_bytes, write_folder, write_zip)

COLLECTION = ("msi-custom-action-1603", "setupapi-velmora-failed", "installedapps-two-drivers",
              "sysinfo-german")


class TriageTestCase(unittest.TestCase):
    def setUp(self):
        self.work = BUILD_DIR / "triage-e2e" / self.id().rsplit(".", 2)[-2] / self._testMethodName
        shutil.rmtree(self.work, ignore_errors=True)
        self.work.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def finding(self, report, rule):
        matches = [f for f in report["findings"] if f["rule"] == rule]
        self.assertTrue(matches, f"no {rule} in {rules(report)}")
        return matches[0]


class Collections(TriageTestCase):
    def test_folder_and_every_zip_form_give_the_same_report(self):
        files = fixture_files(*COLLECTION)
        folder = write_folder(self.work / "folder" / FOLDER_NAME, files)
        status, expected = triage_json(folder)
        self.assertEqual(status, 1)
        self.assertEqual(expected["verdict"], "failed")
        self.assertEqual(expected["product"], {"name": "Velmora Drivers", "version": "2.1.0"})
        self.assertEqual(expected["system"]["model"], "OptiPlex 7090")
        self.assertEqual(expected["findings"][0]["severity"], "error")
        severities = [f["severity"] for f in expected["findings"]]
        self.assertEqual(severities, sorted(severities, key=["error", "warning", "info"].index))
        # The parent of the collected folder reads the same.
        self.assertEqual(triage_json(folder.parent)[1], expected)
        forms = {
            "top folder, deflated": dict(top=FOLDER_NAME),
            "top folder, stored": dict(top=FOLDER_NAME, method=zipfile.ZIP_STORED),
            "files at the root": dict(top=None),
        }
        for form, options in forms.items():
            with self.subTest(form):
                zip_path = write_zip(self.work / f"{form}.zip", files, **options)
                status, report = triage_json(zip_path)
                self.assertEqual(status, 1)
                self.assertEqual(report, expected)
        # Nothing was extracted next to the zips.
        self.assertEqual(sorted(p.name for p in self.work.iterdir()),
                         sorted(["folder", *(f"{form}.zip" for form in forms)]))

    def test_one_log_given_alone(self):
        files = fixture_files("setupapi-velmora-failed")
        log = write_folder(self.work, {"device log.txt": files["setupapi.dev.log"]},
                           encode=lambda name, text: windows_bytes("setupapi", text))
        status, report = triage_json(log / "device log.txt")
        self.assertEqual(status, 1)
        self.assertEqual(self.finding(report, "setupapi.section-failed")["file"], "device log.txt")
        # A single log is no collection: no missing-file findings.
        self.assertFalse([f for f in report["findings"] if f["rule"].startswith("folder.")])

    def test_missing_files_and_no_match_are_said(self):
        folder = write_folder(self.work / "quiet", {"MSI1.log": "nothing of interest\r\n"})
        status, report = triage_json(folder)
        self.assertEqual((status, report["verdict"]), (0, "unknown"))
        self.finding(report, "folder.no-system-info")
        self.finding(report, "triage.no-rule-matched")


class CommandLine(TriageTestCase):
    def test_exit_statuses_and_reasons(self):
        ok = write_folder(self.work / "ok", fixture_files("msi-3010-restart"))
        failed = write_folder(self.work / "failed", fixture_files("msi-1920-service"))
        not_zip = self.work / "case.zip"
        not_zip.write_bytes(b"PK\x03\x04 but no archive")
        self.assertEqual(run(ok)[0], 0)
        self.assertEqual(run(failed)[0], 1)
        for path, reason in ((self.work / "absent", "no such file or folder"),
                             (not_zip, "not a readable zip archive")):
            status, out, err = run(path)
            self.assertEqual(status, 2)
            self.assertEqual(out, "")
            self.assertEqual(len(err.splitlines()), 1, err)
            self.assertIn(reason, err)
        status, _, err = run(ok, "--bogus")
        self.assertEqual(status, 2)
        self.assertIn("unknown option --bogus", err)

    def test_console_report_when_piped(self):
        folder = write_folder(self.work / "failed", fixture_files("msi-custom-action-1603"))
        status, out, _ = run(folder)
        self.assertEqual(status, 1)
        lines = out.splitlines()
        self.assertTrue(lines[0].startswith("Verdict: FAILED"), lines[0])
        self.assertNotIn("\x1b", out)
        self.assertIn("Velmora_Drivers_20261201_101500.log:23", out)
        self.assertLess(out.index("ERROR"), out.index("WARNING"))

    def test_untrusted_text_never_reaches_the_terminal_raw(self):
        def run_bytes(*argv):
            done = subprocess.run([bytes(EXE), *argv], capture_output=True, timeout=300)
            return done.returncode, done.stdout, done.stderr

        # An option and a PATH echoed back on standard error.
        for argv, shown in (((b"-\x1b]0;x\x07.log",), b"unknown option -?]0;x?.log"),
                            ((bytes(self.work) + b"/absent\x9b\xe2\x80\xae",), b"absent?<U+202E>:")):
            with self.subTest(argv):
                status, out, err = run_bytes(*argv)
                self.assertEqual((status, out), (2, b""))
                self.assertIn(shown, err)
                for raw in (b"\x1b", b"\x07", b"\x9b", b"\xe2\x80\xae"):
                    self.assertNotIn(raw, err)
        # File names that reorder or break the line around them, or are not
        # UTF-8, in the console, the page and the JSON.
        text = next(iter(fixture_files("msi-1920-service").values()))
        folder = self.work / "names"
        folder.mkdir()
        names = {"Velmora\u202egol.log": "Velmora<U+202E>gol.log",
                 "Velmora\u2028Setup.log": "Velmora<U+2028>Setup.log",
                 os.fsdecode(b"MSI\x9b.log"): "MSI?.log"}
        for i, name in enumerate(names):  # three attempts, not one log thrice
            (folder / name).write_bytes(windows_bytes(name, text + f"Attempt {i}\r\n"))
        page = self.work / "page.html"
        status, out, _ = run_bytes(bytes(folder), b"--html", bytes(page))
        self.assertEqual(status, 1)
        html = page.read_bytes()
        for raw in (b"\xe2\x80\xae", b"\xe2\x80\xa8", b"\x9b"):
            self.assertNotIn(raw, out)
            self.assertNotIn(raw, html)
        for shown in names.values():
            self.assertIn(f"  {shown}:10\n".encode(), out)
        self.assertIn(b"Velmora&lt;U+202E&gt;gol.log", html)
        # JSON keeps the names whole, as escapes: nothing raw on the terminal.
        status, out, _ = run_bytes(bytes(folder), b"--json")
        self.assertTrue(out.isascii())
        files = {a["file"] for a in json.loads(out)["attempts"]}
        self.assertEqual(files, {"Velmora\u202egol.log", "Velmora\u2028Setup.log", "MSI\ufffd.log"})

    def test_html_never_replaces_the_input(self):
        case = write_folder(self.work / "case", fixture_files("msi-1920-service"))
        log = next(case.iterdir())
        outside = self.work / "outside"
        outside.mkdir()
        (self.work / "alias").symlink_to(case)
        log_link = outside / "log-link"
        log_link.symlink_to(log)
        zip_path = write_zip(outside / "case.zip", fixture_files("msi-1920-service"))

        def snapshot():
            return {p: (p.is_symlink(), p.read_bytes() if p.is_file() else None)
                    for root in (case, outside) for p in sorted(root.rglob("*"))}

        before = snapshot()
        refused = (
            ("the log itself", log, log),
            ("the log, through ..", log, case / ".." / "case" / log.name),
            ("the zip itself", zip_path, zip_path),
            ("inside the folder", case, case / "page.html"),
            ("inside, through ..", case, outside / ".." / "case" / "page.html"),
            ("inside, through a link", case, self.work / "alias" / "page.html"),
            ("inside a folder not there yet", case, case / "new" / "page.html"),
            ("PATH a link to the folder", self.work / "alias", case / "page.html"),
            ("PATH a link to the log, FILE that link", log_link, log_link),
            ("PATH a link to the log, FILE the log", log_link, log),
        )
        for what, path, page in refused:
            with self.subTest(what):
                status, out, err = run(path, "--html", page)
                self.assertEqual((status, out), (2, ""))
                self.assertIn("the input", err)
                self.assertEqual(snapshot(), before)
        # A link planted where the page goes is replaced, never written
        # through; a page already there is replaced whole; nothing is left
        # beside it.
        victim = self.work / "victim.txt"
        victim.write_text("keep me")
        planted = outside / "page.html"
        planted.symlink_to(victim)
        for attempt in range(2):
            with self.subTest(attempt=attempt):
                status, out, err = run(case, "--html", planted)
                self.assertEqual(status, 1, err)
                self.assertFalse(planted.is_symlink())
                self.assertIn("msi.failed-action", planted.read_text(encoding="utf-8"))
                self.assertEqual(victim.read_text(), "keep me")
                self.assertEqual(sorted(p.name for p in outside.iterdir()),
                                 ["case.zip", "log-link", "page.html"])
        # A page beside the log is no page inside it.
        beside = self.work / "beside.html"
        self.assertEqual(run(log, "--html", beside)[0], 1)
        self.assertTrue(beside.is_file())

    def test_output_failures_come_after_the_report(self):
        folder = write_folder(self.work / "failed", fixture_files("msi-1920-service"))
        # A page that cannot be written: the report is printed all the same.
        for args in ((), ("--json",)):
            with self.subTest(args):
                status, out, err = run(folder, *args, "--html", self.work / "no" / "such" / "page.html")
                self.assertEqual(status, 3)
                self.assertIn("msi.failed-action", out)
                self.assertIn("cannot write", err)
        # Standard output that cannot be written is an error, whatever else
        # was written.
        page = self.work / "page.html"
        for args in ((), ("--json",), ("--html", str(page)), ("--help",)):
            with self.subTest(args), open("/dev/full", "wb") as full:
                done = subprocess.run([str(EXE), str(folder), *args], stdout=full,
                                      stderr=subprocess.PIPE, timeout=300)
                self.assertEqual(done.returncode, 4)
                self.assertIn(b"standard output", done.stderr)
        self.assertIn("msi.failed-action", page.read_text(encoding="utf-8"))

    def test_a_closed_pipe_is_a_write_error_and_the_page_is_still_written(self):
        # `velmora-triage ... | head`: the reader has gone before anything
        # is written (the process was killed by SIGPIPE, status 141, and
        # the page never written before).
        folder = write_folder(self.work / "failed", fixture_files("msi-1920-service"))
        for args in ((), ("--json",)):
            with self.subTest(args):
                page = self.work / f"page{len(args)}.html"
                reader, writer = os.pipe()
                os.close(reader)
                try:
                    done = subprocess.run([str(EXE), str(folder), *args, "--html", str(page)],
                                          stdout=writer, stderr=subprocess.PIPE, timeout=300)
                finally:
                    os.close(writer)
                self.assertEqual(done.returncode, 4, done.stderr)
                self.assertIn(b"standard output could not be written", done.stderr)
                self.assertIn("msi.failed-action", page.read_text(encoding="utf-8"))

    def test_html_page_is_written(self):
        folder = write_folder(self.work / "failed", fixture_files("msi-custom-action-1603"))
        page = self.work / "report.html"
        status, out, _ = run(folder, "--html", page)
        self.assertEqual(status, 1)
        self.assertTrue(out.startswith("Verdict: FAILED"))
        self.assertIn("msi.failed-action", page.read_text(encoding="utf-8"))
        status, _, err = run(folder, "--html", self.work / "no" / "such" / "page.html")
        self.assertEqual(status, 3)
        self.assertIn("cannot write", err)


class HostileInput(TriageTestCase):
    def test_damaged_files_give_findings_not_crashes(self):
        log = windows_bytes("MSI1.log", "Action ended 10:00:00: INSTALL. Return value 3.\r\n")
        junk = bytes((i * 7919) % 256 for i in range(100000))
        long_line = b"x" * (5 << 20) + b"\r\nAction ended 10:00:00: X. Return value 3.\r\n"
        folder = write_folder(self.work / "damaged", {
            "MSI1.log": log + b"\x00",          # UTF-16 with an odd byte count
            "MSI2.log": junk,                     # binary
            "MSI3.log": long_line,                # a 5 MiB line, then a failing action
            "MSI4.log": b"\xff\xfeA\x00\x3d\xd8\r\x00\n\x00",  # a lone surrogate
        })
        status, report = triage_json(folder)
        self.assertEqual(status, 1)
        found = {(f["rule"], f["file"]) for f in report["findings"]}
        for expected in (("input.cut-text", "MSI1.log"), ("input.not-text", "MSI2.log"),
                         ("input.long-lines", "MSI3.log"), ("msi.failed-action", "MSI3.log"),
                         ("input.bad-characters", "MSI4.log")):
            self.assertIn(expected, found)
        self.assertEqual(self.finding(report, "input.long-lines")["line"], 1)

    def test_hostile_zips(self):
        text = fixture_files("msi-1920-service")
        name = next(iter(text))
        # A bomb: 256 MiB of one letter in a quarter of a megabyte; names that
        # point outside the folder.
        bomb = self.work / "bomb.zip"
        with zipfile.ZipFile(bomb, "w", compression=zipfile.ZIP_DEFLATED) as archive:
            with archive.open("MSI-bomb.log", "w", force_zip64=True) as entry:
                block = b"A" * (1 << 20)
                for _ in range(256):
                    entry.write(block)
            archive.writestr("../../" + name, windows_bytes(name, text[name]))
            archive.writestr("/etc/setupapi.dev.log", b"x")
        status, report = triage_json(bomb)
        self.assertEqual(status, 1)
        self.assertIn("deflate bomb", self.finding(report, "input.damaged-entry")["message"])
        self.assertEqual(self.finding(report, "msi.failed-action")["file"], "../../" + name)
        self.finding(report, "input.unsafe-name")
        self.assertFalse((self.work.parent / name).exists())
        # A cut archive is unreadable as a whole.
        whole = write_zip(self.work / "whole.zip", text).read_bytes()
        cut = self.work / "cut.zip"
        cut.write_bytes(whole[: len(whole) // 2])
        self.assertEqual(run(cut)[0], 2)

    def test_records_sharing_one_entry(self):
        # One deflated log behind 50 or 200 directory records: read once,
        # the other records reported.
        name, text = next(iter(fixture_files("msi-1920-service").items()))
        data = windows_bytes(name, text)
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = packer.compress(data) + packer.flush()
        sizes = (zlib.crc32(data), len(packed), len(data))
        for copies in (50, 200):
            with self.subTest(copies=copies):
                names = [name] + [f"MSI{i}.log" for i in range(1, copies)]
                body = struct.pack("<IHHHIIIIHH", 0x04034B50, 20, 0, 8, 0, *sizes, len(name), 0)
                body += name.encode() + packed
                directory = b"".join(struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, *sizes,
                                                 len(n), 0, 0, 0, 0, 0, 0) + n.encode() for n in names)
                end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, copies, copies, len(directory), len(body), 0)
                path = self.work / f"shared{copies}.zip"
                path.write_bytes(body + directory + end)
                status, report = triage_json(path)
                self.assertEqual(status, 1)
                self.assertEqual([f["file"] for f in report["findings"] if f["rule"] == "msi.failed-action"],
                                 [name])
                self.assertIn(f"{copies - 1} entries", self.finding(report, "input.overlapping-entries")["message"])

    def test_a_hundred_thousand_files(self):
        folder = self.work / "many"
        folder.mkdir()
        # Hard links to a few empty files: far quicker to make than new files.
        seeds = [self.work / f"seed{n}" for n in range(4)]
        for seed in seeds:
            seed.touch()
        for i in range(100000):
            os.link(seeds[i % 4], folder / f"MSI{i:06}.{'log' if i % 100 == 0 else 'tmp'}")
        status, report = triage_json(folder)
        self.assertEqual(status, 0)
        self.assertIn("1000 files", self.finding(report, "input.too-many-files")["message"])


    def test_links_lead_nowhere(self):
        outside = write_folder(self.work / "elsewhere", fixture_files("msi-1920-service"))
        folder = write_folder(self.work / "received", fixture_files("msi-3010-restart"))
        links = {"Velmora_Drivers_20991231_000000.log": next(outside.iterdir()),
                 "setupapi.dev.log": "/proc/self/environ", "sysinfo.nfo": "/etc/passwd",
                 "logs": outside}
        for name, target in links.items():
            (folder / name).symlink_to(target)
        status, report = triage_json(folder)
        self.assertEqual((status, report["verdict"]), (0, "succeeded"))
        self.assertFalse({f["file"] for f in report["findings"]
                          if not f["rule"].startswith("input.")} & set(links))
        note = self.finding(report, "input.link")
        for name in links:
            self.assertIn(name, note["message"])
        # PATH itself may be a link: followed, while the links inside are not.
        alias = self.work / "alias"
        alias.symlink_to(folder)
        self.assertEqual(triage_json(alias), (status, report))
        # A folder holding only a link to a folder is not entered through it.
        lone = self.work / "lone"
        lone.mkdir()
        (lone / FOLDER_NAME).symlink_to(outside)
        status, report = triage_json(lone)
        self.assertEqual((status, report["verdict"]), (0, "unknown"))
        self.finding(report, "input.link")

    def test_deep_system_reports_are_answered(self):
        # A quote in a name, a declaration left open: each once hid the depth
        # of what followed from the reader, which then recursed and crashed.
        levels = "<a>\n" * 100000
        deep = {"quote in a name": "<a'>" + levels, "unknown declaration": "<!x[>" + levels,
                "well-formed": levels + "</a>\n" * 100000}
        for case, xml in deep.items():
            with self.subTest(case):
                folder = write_folder(self.work / case, {"sysinfo.nfo": xml})
                for path in (folder, write_zip(self.work / f"{case}.zip", {"sysinfo.nfo": xml})):
                    status, report = triage_json(path)
                    self.assertEqual(status, 0)
                    self.finding(report, "sysinfo.unreadable")

    def test_a_huge_system_report_is_read_in_bounded_memory(self):
        if os.environ.get("VELMORA_SANITIZED") == "1":
            self.skipTest("the sanitizers' own memory hides the program's; the release tree runs it")
        data = lambda name, value: (f"<Data><Item>{name}</Item><Value>{value}</Value></Data>\n")
        head = ('<MsInfo><Category name="System Summary">\n' + data("OS Name", "Microsoft Windows 10 Pro")
                + data("Version", "10.0.19045") + data("OS Manufacturer", "Microsoft Corporation"))
        # 46 MB: eleven million elements.
        xml = head.encode() + (b"<a/>" * 15 + b"\n") * 750_000 + b"</Category></MsInfo>\n"
        folder = write_folder(self.work / "huge", {"sysinfo.nfo": xml})
        zip_path = write_zip(self.work / "huge.zip", {"sysinfo.nfo": xml})
        del xml
        peak = self.work / "peak"
        for path in (folder, zip_path):
            with self.subTest(path.name):
                # GNU time's own child: a child of this process would inherit
                # its peak through exec.
                done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(peak), str(EXE),
                                       str(path), "--json"], capture_output=True, timeout=300)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(json.loads(done.stdout)["system"]["os_name"],
                                 "Microsoft Windows 10 Pro")
                self.assertLess(int(peak.read_text().split()[-1]), 64 * 1024, "peak memory in KiB")

    def test_the_same_head_and_size_are_not_the_same_bytes(self):
        # Two logs alike in their first MiB and their size, one failed, one
        # not, at the same time by their clocks: swapping their names once
        # flipped the verdict (the bytes past the first MiB were never
        # looked at, so the two were ordered by name).
        head = "=== Verbose logging started: 12/1/2026  10:15:00  Build type: SHIP UNICODE 5.00.10011.00 ===\r\n"
        filler = "MSI (s) (E8:C4) [10:15:01:100]: Doing action: CostInitialize\r\n" * 20000
        endings = {"failed": "Action ended 10:15:09: INSTALL. Return value 3.\r\n",
                   "fine": "Action ended 10:15:09: INSTALL. Return value 1.\r\n"}
        texts = {k: head + filler + v for k, v in endings.items()}
        self.assertGreater(len(texts["failed"]) * 2, 1 << 21)
        verdicts = []
        for names in (("a.log", "b.log"), ("b.log", "a.log")):
            folder = write_folder(self.work / names[0], {names[0]: texts["failed"],
                                                           names[1]: texts["fine"]})
            verdicts.append(triage_json(folder)[1]["verdict"])
        self.assertEqual(verdicts[0], verdicts[1])

    def test_twenty_copies_are_one_file(self):
        # Only the first 16 comparisons were made: 4 attempts and 3 invented
        # earlier failures before.
        (name, text), = fixture_files("msi-custom-action-1603").items()
        folder = write_folder(self.work / "copies",
                              {f"copy{i:02}_{name}": text for i in range(20)})
        _, report = triage_json(folder)
        self.assertEqual(len(report["attempts"]), 1, report["attempts"])
        found = [f["rule"] for f in report["findings"]]
        self.assertEqual(found.count("input.duplicate"), 19)
        self.assertNotIn("history.earlier-failure", found)

    def test_subfolders_and_archives_inside_are_named(self):
        # Read in silence before: only the "nothing collected" notes.
        files = fixture_files("msi-custom-action-1603")
        (name, text), = files.items()
        folder = write_folder(self.work / "ticket" / "logs", files)
        (self.work / "ticket" / "__MACOSX").mkdir()
        (self.work / "ticket" / "notes.txt").write_text("x")
        inner = write_zip(self.work / "inner.zip", files)
        outer = write_zip(self.work / "outer.zip", {"inner.zip": inner.read_bytes()})
        shutil.copy(inner, self.work / "ticket" / "sent.zip")
        for path, rules_found in ((self.work / "ticket", ("input.subfolder-files", "input.nested-archive")),
                                  (outer, ("input.nested-archive",))):
            with self.subTest(path.name):
                _, report = triage_json(path)
                for rule in rules_found:
                    self.assertTrue(self.finding(report, rule)["message"])
        self.assertIn("__MACOSX", self.finding(triage_json(self.work / "ticket")[1],
                                               "input.subfolder-files")["message"])

    def test_bundle_pairs_are_read_in_bounded_memory(self):
        # Each failed-then-non-vital pair kept 3.8 KiB of evidence for good:
        # 16 MiB of log peaked at 342 MiB, a 260 kB zip of it at 1.3 GB.
        if os.environ.get("VELMORA_SANITIZED") == "1":
            self.skipTest("the sanitizers' own memory hides the program's; the release tree runs it")
        pair = ("[0A3C:0B20][2026-12-01T10:15:00]i319: Applied execute package: P, result: 0x1, "
                "restart: None\r\n[0A3C:0B20][2026-12-01T10:15:00]i325: Applied non-vital "
                "package: P\r\n").encode()
        log = pair * ((64 << 20) // len(pair))
        folder = write_folder(self.work / "pairs", {"Velmora_Bundle.log": log[: 16 << 20]})
        zipped = write_zip(self.work / "pairs.zip", {"Velmora_Bundle.log": log})
        del log
        peak = self.work / "peak"
        for path in (folder, zipped):
            with self.subTest(path.name):
                done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(peak), str(EXE),
                                       str(path), "--json"], capture_output=True, timeout=300)
                self.assertIn(done.returncode, (0, 1), done.stderr)
                self.assertLess(int(peak.read_text().split()[-1]), 64 * 1024, "peak memory in KiB")

if __name__ == "__main__":
    unittest.main()
