"""The fixture cases of tests/triage/fixtures: each folder a collected
folder (kept as UTF-8 text, written as Windows writes it before triage) and
expected.json, what the program must answer. One runner checks them all;
README.md there describes the keys."""

import json
import os
import re
import shutil
import time
from pathlib import Path

CASES = Path(__file__).resolve().parent / "fixtures"
SEVERITIES = ("error", "warning", "info")


def cases():
    """(name, folder, expected) of every case, by name."""
    found = []
    for folder in sorted(CASES.iterdir()):
        expected = folder / "expected.json"
        if folder.is_dir() and expected.is_file():
            found.append((folder.name, folder, json.loads(expected.read_text(encoding="utf-8"))))
    return found


def encoded(name, text, encoding):
    """The bytes of a file written in `encoding`; by default as Windows
    writes it: the device-setup logs in the ANSI code page, the rest in
    UTF-16LE with a byte-order mark."""
    if encoding is None:
        encoding = "cp1252" if name.lower().startswith("setupapi") else "utf-16le-bom"
    if encoding == "utf-16le-bom":
        return b"\xff\xfe" + text.encode("utf-16-le")
    if encoding == "utf-16le":
        return text.encode("utf-16-le")
    if encoding == "utf-8-bom":
        return b"\xef\xbb\xbf" + text.encode("utf-8")
    return text.encode(encoding, errors="replace")


def files_of(folder):
    """{name: text} of a case's files, as kept."""
    return {path.name: path.read_bytes().decode("utf-8") for path in sorted(folder.iterdir())
            if path.is_file() and path.name != "expected.json"}


def write_case(folder, expected, target, names=None):
    """The case written into `target` (made afresh) as Windows would write
    it; `names` renames files. Returns target."""
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir(parents=True)
    encodings = expected.get("encoding", {})
    modified = expected.get("modified", {})
    for name, text in files_of(folder).items():
        path = target / (names or {}).get(name, name)
        path.write_bytes(encoded(name, text, encodings.get(name)))
        # A fixed time, unless the case gives one (local time): the program
        # reads a file's time where a log's clock leaves a doubt.
        stamp = time.mktime(time.strptime(modified.get(name, "2001-01-01T00:00:00"),
                                          "%Y-%m-%dT%H:%M:%S"))
        os.utime(path, (stamp, stamp))
    return target


def line_count(text):
    """Lines as the program counts them: CR, LF and CRLF each end one."""
    return len(re.split(r"\r\n|\r|\n", text.rstrip("\r\n"))) if text else 0


def code_value(code):
    return int(code, 16) if isinstance(code, str) else code


def reversed_names(files):
    """New names for a case's installer logs that sort the other way round,
    each still an installer log's name."""
    logs = sorted(name for name in files
                  if name.lower().endswith(".log") and not name.lower().startswith("setupapi"))
    return {name: f"{chr(ord('z') - i)}{i}_{name}" for i, name in enumerate(logs)}


def problems(name, folder, expected, status, report, rules):
    """What differs between the program's answer and the case's, as lines."""
    found = []
    files = files_of(folder)
    verdict = expected["verdict"]
    if report["verdict"] != verdict:
        found.append(f"verdict {report['verdict']}, expected {verdict}")
    listed = [(sv, r, f, l, code_value(c)) for sv, r, f, l, c in expected.get("findings", [])]
    errors = any(finding[0] == "error" for finding in listed)
    if status != (1 if errors else 0):
        found.append(f"exit status {status}, with{'' if errors else 'out'} errors listed")
    if verdict == "failed" and not errors:
        found.append("a failed verdict lists no error (its cause)")
    if report["summary"] != expected["summary"]:
        found.append(f"summary {report['summary']!r}, expected {expected['summary']!r}")
    attempts = expected.get("attempts")
    if attempts is not None:
        if len(attempts) != len(report["attempts"]):
            found.append(f"{len(report['attempts'])} attempts, expected {len(attempts)}: "
                         f"{report['attempts']}")
        else:
            for want, got in zip(attempts, report["attempts"]):
                for key, value in want.items():
                    if got.get(key) != (code_value(value) if key == "code" else value):
                        found.append(f"attempt {got['file']}: {key} {got.get(key)!r}, "
                                     f"expected {value!r}")
    got = [(f["severity"], f["rule"], f["file"], f["line"], f["code"]) for f in report["findings"]]
    if listed and got and listed[0] != got[0] and verdict == "failed":
        found.append(f"deciding finding {got[0]}, expected {listed[0]}")
    for finding in listed:
        if finding not in got:
            found.append(f"missing finding {finding}")
        elif finding[3] is not None:
            text = files.get(finding[2])
            if text is not None and finding[3] > line_count(text):
                found.append(f"finding {finding} points past the file's end")
    for finding in got:
        if finding not in listed:
            found.append(f"unexpected {finding}")
        if finding[1] not in rules:
            found.append(f"rule {finding[1]} is not in the catalogue")
    for rule, part, phrase in expected.get("says", []):
        texts = [f[part] for f in report["findings"] if f["rule"] == rule]
        if not any(phrase in text for text in texts):
            found.append(f"no {rule} {part} says {phrase!r}: {texts!r}")
    for rule in expected.get("absent", []):
        if any(f[1] == rule for f in got):
            found.append(f"{rule} should not appear")
    return [f"{name}: {problem}" for problem in found]


def catalogue_ids(rules_text):
    """The rule ids `--rules` prints (before the blank line that begins
    the catalogue of knowledge)."""
    rules = rules_text.split("\n\n", 1)[0]
    return {line.split(" ")[0] for line in rules.splitlines() if line and not line[0].isspace()}


def remedy_patterns(rules_text):
    """Every remedy `--rules` prints, as (its text before the first hole, a
    pattern in which each hole matches any text)."""
    patterns = []
    for line in rules_text.splitlines():
        line = line.strip()
        for label in ("What to do: ", "Says: "):
            if line.startswith(label):
                parts = re.split(r"\{[^}]*\}", line[len(label):])
                patterns.append((parts[0], re.compile(".+?".join(re.escape(p) for p in parts))))
    return patterns


def made_of(text, patterns):
    """Whether `text` is one or more of the remedies `--rules` prints, holes
    filled, joined by blanks: no remedy text comes from anywhere else."""
    for prefix, pattern in patterns:
        if not text.startswith(prefix):
            continue
        if pattern.fullmatch(text):
            return True
        for at in (i for i, c in enumerate(text) if c == " "):
            if pattern.fullmatch(text[:at]) and made_of(text[at + 1:], patterns):
                return True
    return False


LABELS = ("Means: ", "Likely: ", "What to do: ", "Says: ")


def catalogue_texts(rules_text):
    """One pattern that matches any text made only of texts `--rules`
    prints (a rule's description and remedy, an entry's meaning, causes and
    remedy, a text the program says around the facts), one after another
    or a blank apart, each hole filled with any text, and a closing full
    stop. A text holding nothing but holes would match anything: there is
    none, and none is taken."""
    texts = []
    for line in rules_text.splitlines():
        if not line.startswith("    "):
            continue
        line = line.strip()
        for label in LABELS:
            if line.startswith(label):
                line = line[len(label):]
                break
        parts = re.split(r"\{[^}]*\}", line)
        if not "".join(parts).strip():
            raise AssertionError(f"--rules prints a text of holes only: {line!r}")
        texts.append(".+?".join(re.escape(part) for part in parts))
    # Longest first, so that a text is tried before the shorter texts it holds.
    texts.sort(key=len, reverse=True)
    return re.compile("(?:(?:" + "|".join(texts) + ") ?)+\\.?", re.S)


def said_elsewhere(report, pattern):
    """The summary, messages and remedies of a report that are not made of
    the catalogue's texts: words written somewhere else."""
    said = [("summary", report["summary"])]
    said += [(f"{f['rule']} {part}", f[part]) for f in report["findings"]
             for part in ("message", "remedy")]
    return [f"{where}: {text!r}" for where, text in said if text and not pattern.fullmatch(text)]


def renamed_back(report, names):
    """The report with every new name put back, to compare with the first."""
    text = json.dumps(report, ensure_ascii=False)
    for old, new in names.items():
        text = text.replace(new, old)
    return json.loads(text)
