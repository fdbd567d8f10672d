"""Every fixture case through the native program: its verdict, summary,
attempts and findings as expected.json says, every remedy one that
`--rules` prints, the summary and every message and remedy made of the
texts `--rules` prints and nothing else, its page showing the log lines
"shows" names as they were written; and the same answers when the case's
installer logs are renamed so that they sort the other way round."""

import html
import json
import re
import shutil
import subprocess
import unittest

import fixture_cases
from triage_e2e import BUILD_DIR, EXE


def triage(path, page=None):
    extra = ["--html", str(page)] if page else []
    done = subprocess.run([str(EXE), str(path), "--json", *extra], capture_output=True, timeout=300)
    assert done.returncode in (0, 1), (done.returncode, done.stderr)
    return done.returncode, json.loads(done.stdout)


def page_lines(page):
    """The page's text line by line, as a browser shows it."""
    text = page.read_text(encoding="utf-8").replace("</span><span", "</span>\n<span")
    return [html.unescape(re.sub(r"<[^>]+>", "", line)) for line in text.splitlines()]


class Fixtures(unittest.TestCase):
    def setUp(self):
        self.work = BUILD_DIR / "triage-e2e" / "fixtures"
        shutil.rmtree(self.work, ignore_errors=True)
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        rules = subprocess.run([str(EXE), "--rules"], capture_output=True, text=True, check=True)
        self.rules = fixture_cases.catalogue_ids(rules.stdout)
        self.remedies = fixture_cases.remedy_patterns(rules.stdout)
        self.texts = fixture_cases.catalogue_texts(rules.stdout)

    def test_every_case(self):
        cases = fixture_cases.cases()
        self.assertGreater(len(cases), 0)
        found = []
        for name, folder, expected in cases:
            path = fixture_cases.write_case(folder, expected, self.work / name)
            page = self.work / f"{name}.html"
            status, report = triage(path, page)
            found += fixture_cases.problems(name, folder, expected, status, report, self.rules)
            found += [f"{name}: {f['rule']}'s remedy is not one --rules prints: {f['remedy']!r}"
                      for f in report["findings"]
                      if not fixture_cases.made_of(f["remedy"], self.remedies)]
            found += [f"{name}: not the catalogue's words: {elsewhere}"
                      for elsewhere in fixture_cases.said_elsewhere(report, self.texts)]
            lines = page_lines(page)
            found += [f"{name}: the page does not show {shown!r}" for shown in expected.get("shows", [])
                      if not any(line.endswith(shown) for line in lines)]
            names = fixture_cases.reversed_names(fixture_cases.files_of(folder))
            if len(names) > 1:
                renamed = fixture_cases.write_case(folder, expected, self.work / f"{name}-renamed",
                                                   names)
                again = triage(renamed)
                if (again[0], fixture_cases.renamed_back(again[1], names)) != (status, report):
                    found.append(f"{name}: renaming its logs changed the answer")
        self.assertEqual(found, [], "\n".join(found))


if __name__ == "__main__":
    unittest.main()
