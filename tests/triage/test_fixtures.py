"""Every fixture case through the native program: its verdict, summary,
attempts and findings as expected.json says; and the same answers when the
case's installer logs are renamed so that they sort the other way round."""

import json
import shutil
import subprocess
import unittest

import fixture_cases
from triage_e2e import BUILD_DIR, EXE


def triage(path):
    done = subprocess.run([str(EXE), str(path), "--json"], capture_output=True, timeout=300)
    assert done.returncode in (0, 1), (done.returncode, done.stderr)
    return done.returncode, json.loads(done.stdout)


class Fixtures(unittest.TestCase):
    def setUp(self):
        self.work = BUILD_DIR / "triage-e2e" / "fixtures"
        shutil.rmtree(self.work, ignore_errors=True)
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        rules = subprocess.run([str(EXE), "--rules"], capture_output=True, text=True, check=True)
        self.rules = fixture_cases.catalogue_ids(rules.stdout)

    def test_every_case(self):
        cases = fixture_cases.cases()
        self.assertGreater(len(cases), 0)
        found = []
        for name, folder, expected in cases:
            path = fixture_cases.write_case(folder, expected, self.work / name)
            status, report = triage(path)
            found += fixture_cases.problems(name, folder, expected, status, report, self.rules)
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
