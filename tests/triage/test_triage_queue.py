"""velmora-triage --queue on a queue made of the fixture cases (folders and
zips), a broken zip, an empty folder, and tickets whose names are markup or
spreadsheet formulas: each ticket answered exactly as alone, the spreadsheet
read back by Python's csv module, the overview in headless Chromium, the
same files whatever the jobs, and its exit statuses."""

import csv
import filecmp
import json
import os
import re
import shutil
import subprocess
import unittest
import zipfile
from html import unescape
from urllib.parse import unquote

import fixture_cases
from test_html_page import dump_dom
from triage_e2e import BUILD_DIR, EXE, FOLDER_NAME

MARKUP = "<script>document.body.setAttribute('data-ran','yes')<"
FORMULA = "=HYPERLINK(\"x\")"


def run(*args):
    done = subprocess.run([str(EXE), *map(str, args)], capture_output=True, timeout=600)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


class Queue(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = BUILD_DIR / "triage-e2e" / "queue"
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.queue = cls.work / "tickets"
        for i, (name, folder, expected) in enumerate(fixture_cases.cases()):
            ticket = fixture_cases.write_case(folder, expected, cls.queue / name)
            if i % 2:  # every other ticket zipped, as received
                with zipfile.ZipFile(cls.queue / f"{name}.zip", "w", zipfile.ZIP_DEFLATED) as archive:
                    for path in sorted(ticket.iterdir()):
                        archive.write(path, f"{FOLDER_NAME}/{path.name}")
                shutil.rmtree(ticket)
        (cls.queue / "broken.zip").write_bytes(b"PK\x03\x04 cut short")
        (cls.queue / "empty").mkdir()
        # Written afresh: whether the case itself went in as a zip depends on its place.
        service = next(case for case in fixture_cases.cases() if case[0] == "msi-1920-service")
        for ticket in (MARKUP, FORMULA):
            fixture_cases.write_case(service[1], service[2], cls.queue / ticket)
        (cls.queue / "notes.txt").write_text("not a ticket")
        cls.runs = {}
        for jobs in (1, 4):
            out = cls.work / f"jobs-{jobs}"
            out.mkdir()
            cls.runs[jobs] = (out, run("--queue", cls.queue, "--jsonl", out / "tickets.jsonl",
                                       "--csv", out / "tickets.csv", "--html", out / "overview.html",
                                       "--pages", out / "pages", "--jobs", jobs))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_each_ticket_as_it_is_alone(self):
        out, (status, console, err) = self.runs[4]
        self.assertEqual(status, 1, err)  # the broken zip could not be read
        lines = [json.loads(line) for line in (out / "tickets.jsonl").read_text().splitlines()]
        tickets = sorted(p.name for p in self.queue.iterdir() if p.name != "notes.txt")
        self.assertEqual([line["ticket"] for line in lines], tickets)
        for line in lines:
            with self.subTest(line["ticket"]):
                done = subprocess.run([str(EXE), str(self.queue / line["ticket"]), "--json"],
                                      capture_output=True, timeout=300)
                if line["verdict"] == "unreadable":
                    self.assertEqual(done.returncode, 2)
                    self.assertIn(line["reason"], done.stderr.decode())
                    continue
                self.assertEqual(line, {"ticket": line["ticket"], **json.loads(done.stdout)})
        self.assertEqual(next(l for l in lines if l["ticket"] == "broken.zip")["verdict"], "unreadable")
        self.assertIn("tickets:", console)
        self.assertIn("Top failure signatures:", console)

    def test_spreadsheet_rows_read_back(self):
        out, _ = self.runs[4]
        with open(out / "tickets.csv", newline="", encoding="utf-8") as sheet:
            rows = list(csv.DictReader(sheet))
        lines = [json.loads(line) for line in (out / "tickets.jsonl").read_text().splitlines()]
        self.assertEqual(len(rows), len(lines))
        for row, line in zip(rows, lines):
            with self.subTest(line["ticket"]):
                ticket = line["ticket"]
                self.assertEqual(row["ticket"], "'" + ticket if ticket[0] in "=+-@" else ticket)
                self.assertEqual(row["verdict"], line["verdict"])
                self.assertEqual(row["version"], (line.get("product") or {}).get("version", ""))
                errors = [f for f in line.get("findings", []) if f["severity"] == "error"]
                if line["verdict"] == "failed":
                    self.assertEqual(row["rule"], errors[0]["rule"])
        self.assertIn("\r\n", (out / "tickets.csv").read_bytes().decode())

    def test_overview_shows_names_as_text(self):
        out, _ = self.runs[4]
        page = out / "overview.html"
        text = page.read_text(encoding="utf-8")
        self.assertIn("Content-Security-Policy", text)
        self.assertEqual(text.count("<svg"), 4)  # verdicts, signatures, versions, Windows
        dom = dump_dom(page, self.work)
        self.assertIsNone(re.search(r"<body[^>]*data-ran", dom))
        self.assertNotIn("<script", dom.lower())
        links = re.findall(r'<a href="([^"]+)">([^<]*)</a>', dom)
        self.assertIn(MARKUP, [unescape(name) for _, name in links])
        for href, name in links:
            self.assertTrue((page.parent / unescape(href)).is_file(), href)

    def test_the_same_files_whatever_the_jobs(self):
        (one, first), (four, second) = self.runs[1], self.runs[4]
        self.assertEqual(first[:2], second[:2])
        for name in ("tickets.jsonl", "tickets.csv", "overview.html"):
            self.assertTrue(filecmp.cmp(one / name, four / name, shallow=False), name)
        comparison = filecmp.dircmp(one / "pages", four / "pages")
        self.assertEqual((comparison.left_only, comparison.right_only, comparison.diff_files), ([], [], []))
        self.assertEqual(len(list((one / "pages").iterdir())), len(list(self.queue.iterdir())) - 2)

    def test_exit_statuses(self):
        good = self.work / "good"
        shutil.copytree(self.queue / MARKUP, good / "a")
        self.assertEqual(run("--queue", good)[0], 0)
        self.assertEqual(run("--queue", self.work / "absent")[0], 2)
        for output in (("--jsonl", good / "a" / "x.jsonl"), ("--pages", good / "pages"),
                       ("--html", good / "overview.html")):
            with self.subTest(output[0]):
                status, _, err = run("--queue", good, *output)
                self.assertEqual(status, 2, err)
                self.assertIn("DIR is never written", err)
        self.assertEqual(sorted(p.name for p in good.iterdir()), ["a"])


class HostileQueue(unittest.TestCase):
    """Tickets and outputs made to break the queue's outputs."""

    def setUp(self):
        self.work = BUILD_DIR / "triage-e2e" / "queue-hostile" / self._testMethodName
        shutil.rmtree(self.work, ignore_errors=True)
        self.queue = self.work / "tickets"
        self.queue.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def ticket(self, case, name, edit=lambda text: text):
        folder = dict((n, (f, e)) for n, f, e in fixture_cases.cases())[case]
        target = fixture_cases.write_case(folder[0], folder[1], self.work / "made" / case)
        destination = self.queue / name
        destination.mkdir()
        for path in target.iterdir():
            text = path.read_bytes().decode("utf-16")
            (destination / path.name).write_bytes(b"\xff\xfe" + edit(text).encode("utf-16-le"))
        return destination

    def test_control_bytes_never_reach_the_console(self):
        # Every field the console prints, from the input: the ticket's name,
        # its product version and failing action (the version column was
        # printed raw before).
        controls = "\x1b]0;t\x07\x9b2J\x1b[31m"
        self.ticket("msi-1920-service", "t" + controls,
                    lambda text: text.replace("ProductVersion = 2.1.0", "ProductVersion = 2" + controls))
        status, out, err = run("--queue", self.queue, "--jsonl", self.work / "t.jsonl")
        self.assertEqual(status, 0, err)
        self.assertIn("Top failure signatures:", out)
        for raw in ("\x1b", "\x07", "\x9b"):
            self.assertNotIn(raw, out + err)

    def test_two_outputs_never_name_one_file(self):
        self.ticket("msi-1920-service", "a")
        out = self.work / "out"
        out.mkdir()
        (out / "alias").symlink_to(out)
        for pair in ((("--jsonl", out / "one"), ("--csv", out / "one")),
                     (("--jsonl", out / "one"), ("--html", out / "sub" / ".." / "one")),
                     (("--csv", out / "alias" / "one"), ("--html", out / "one"))):
            with self.subTest(pair):
                status, _, err = run("--queue", self.queue, *pair[0], *pair[1])
                self.assertEqual(status, 2, err)
                self.assertIn("to one file", err)
        self.assertEqual(sorted(p.name for p in out.iterdir()), ["alias"])

    def test_page_links_are_addresses(self):
        self.ticket("msi-1920-service", "a")
        pages = self.work / "pages #1?%"
        status, _, err = run("--queue", self.queue, "--html", self.work / "o.html", "--pages", pages)
        self.assertEqual(status, 0, err)
        hrefs = re.findall(r'<a href="([^"]+)">', (self.work / "o.html").read_text(encoding="utf-8"))
        self.assertTrue(hrefs)
        for href in hrefs:
            self.assertNotRegex(href, r"[#?]|%(?![0-9A-F]{2})")
            self.assertTrue((self.work / unquote(unescape(href))).is_file(), href)

    def test_names_that_are_not_utf8_stay_apart(self):
        for name in (b"x\xff", b"x\xfe"):
            made = self.ticket("msi-1920-service", "made-" + name.hex())
            made.rename(os.fsdecode(bytes(self.queue) + b"/" + name))
        status, _, err = run("--queue", self.queue, "--jsonl", self.work / "t.jsonl")
        self.assertEqual(status, 0, err)
        lines = [json.loads(line) for line in (self.work / "t.jsonl").read_text().splitlines()]
        self.assertEqual(sorted(line.get("ticket_bytes") for line in lines), ["78fe", "78ff"])


if __name__ == "__main__":
    unittest.main()
