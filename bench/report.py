#!/usr/bin/env python3
"""Runs every benchmark in one go and writes bench/results.md and
bench/search-scaling.png:

  - the three installer-log searches over 100,000 entries, against find;
  - search time against 1,000 / 10,000 / 100,000 / 300,000 entries;
  - copying a 1 GiB log, against cp;
  - the wait's CPU share and exit latency, natively and under Wine;
  - velmora-triage on a folder holding a 1 GiB installer log, against grep;
  - velmora-triage on a queue of 2,000 tickets, against unzip and grep.

`report.py triage` and `report.py queue` run only one of the last two and
rewrite only its section.

Ends with one line:
    ratios: search=<x> copy=<y> cpu_share=<z> exit_latency_ms=<w> triage=<t> triage_mb=<m> triage_worst_mb=<v> queue=<q> queue_mb=<n>
where cpu_share (percent of one core) and exit_latency_ms are the worse of
the native and the Wine figures, the latency counted beyond its yardstick
(nothing natively; a do-nothing program's start and exit under Wine);
triage is its time over grep's on the worse of the Windows-1252 logs
(ordinary and dense), triage_mb its peak memory in MiB over all of them,
triage_worst_mb its peak on the worst log of each kind made to cost memory
line by line;
queue is the queue's time over the pipeline's with every core, queue_mb its
peak memory. The `triage` and `queue` runs print only their own two.
"""

import datetime
import platform
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import queue_bench  # noqa: E402
import search_and_copy  # noqa: E402
import triage_bench  # noqa: E402
import wait_cost  # noqa: E402

TRIAGE_HEADING = "## velmora-triage on a 1 GiB installer log"
QUEUE_HEADING = "## velmora-triage on a support queue"

SCALING = (1_000, 10_000, 100_000, 300_000)
COPY_MIB = 1024


def plot(points, data_file, png):
    data_file.write_text("".join(f"{n} {ours * 1000:.3f} {find * 1000:.3f}\n"
                                 for n, ours, find in points))
    script = f"""
set terminal pngcairo size 800,500
set output '{png}'
set title 'Three installer-log searches over one folder'
set xlabel 'entries in the temporary folder'
set ylabel 'milliseconds'
set logscale xy
set key top left
set grid
plot '{data_file}' using 1:2 with linespoints title 'velmora-diag (POSIX stand-in)', \\
     '{data_file}' using 1:3 with linespoints title 'GNU find (3 runs)'
"""
    subprocess.run(["gnuplot"], input=script.encode(), check=True)


def triage_section(rows, worst_rows):
    worst_lines = "".join(f"| {r['kind']} | {r['size'] / (1 << 20):,.0f} MiB | {r['peak_mib']:.1f} MiB |\n"
                          for r in worst_rows)
    lines = "".join(
        f"| {r['encoding']} | {r['size'] / (1 << 20):,.0f} MiB | {r['ours']:.2f} s | {r['grep']:.2f} s | "
        f"{r['ours'] / r['grep']:.2f} | {r['peak_mib']:.1f} MiB | {r['evidence_line']:,} |\n"
        for r in rows)
    return f"""{TRIAGE_HEADING}

A collected folder holding one verbose installer log of ordinary execution
lines (about twenty an action, mostly file and registry operations; the
dense one: an action ended every six lines) with a failing action near its
end; `velmora-triage FOLDER --json` against
`grep -c "Return value 3" LOG` on the same bytes (page cache warm, median of
{triage_bench.RUNS} runs), and the program's peak resident memory (GNU
time's %M).
Goals: ratio at most 2 on the Windows-1252 logs (`triage=` is the worse
of the two), peak at most 64 MiB.
grep finds nothing in UTF-16 text; that row is for the time and memory.

| log encoding | size | velmora-triage | grep -c | ratio | peak memory | failing action at line |
|---|---|---|---|---|---|---|
{lines}
Logs made to make a reader keep something per line, each {triage_bench.WORST_MIB} MiB, and the
peak on each (goal: at most 64 MiB, `triage_worst_mb=` the worst):

| log of | size | peak memory |
|---|---|---|
{worst_lines}
ratios: {triage_ratios(rows, worst_rows)}
"""


def triage_ratios(rows, worst_rows):
    return triage_bench.ratios(rows, worst_rows)


def queue_section(result):
    lines = "".join(
        f"| velmora-triage --queue, --jobs {r['jobs']} | {r['ours']:.1f} s | "
        f"{result['tickets'] / r['ours']:.1f} | {r['peak_mib']:.1f} MiB |\n"
        f"| unzip -p \\| grep -c, xargs -P {r['jobs']} | {r['pipeline']:.1f} s | "
        f"{result['tickets'] / r['pipeline']:.1f} | |\n"
        for r in result["rows"])
    return f"""{QUEUE_HEADING}

A generated queue of {result['tickets']:,} tickets, each a zip of 1-5 MB
({result['zipped'] / (1 << 30):.1f} GiB in all) holding what the collector sends: verbose
installer logs (now and then an earlier attempt's as well), the device-setup
log, the applications list and the system report; failures of five kinds
(a custom action, a service, a cancel, another installation, an unsigned
driver) and about one ticket in seventy broken (cut short, not a zip, a bad
checksum). `velmora-triage --queue DIR --jsonl FILE --csv FILE --jobs N`,
its every answer checked against what the ticket was made to hold, against
`unzip -p` of each zip into `grep -c "Return value 3"` through `xargs -P N`
(page cache warm, one run each), on {result['cores']} cores; peak resident memory by
GNU time's %M. Goals: with every core, time at most the pipeline's
(`queue=`), peak at most 128 MiB.

| run | time | tickets/s | peak memory |
|---|---|---|---|
{lines}
ratios: {queue_bench.ratios(result)}
"""


def replace_section(heading, section):
    """bench/results.md with one section replaced, or added at its end."""
    results = HERE / "results.md"
    text = results.read_text() if results.exists() else "# Benchmark results\n"
    if heading in text:
        start = text.index(heading)
        following = text.find("\n## ", start + 1)
        text = text[:start] + section + (text[following + 1:] if following >= 0 else "")
    else:
        text = text.rstrip("\n") + "\n\n" + section
    results.write_text(text)


def triage_only():
    rows = triage_bench.bench()
    worst_rows = triage_bench.worst()
    replace_section(TRIAGE_HEADING, triage_section(rows, worst_rows))
    print(f"ratios: {triage_ratios(rows, worst_rows)}")
    return 0


def queue_only():
    result = queue_bench.bench()
    replace_section(QUEUE_HEADING, queue_section(result))
    print(f"ratios: {queue_bench.ratios(result)}")
    return 0


def main(argv):
    if argv == ["triage"]:
        return triage_only()
    if argv == ["queue"]:
        return queue_only()
    if argv:
        print(__doc__, file=sys.stderr)
        return 2
    probe = search_and_copy.build_probe()
    data = search_and_copy.BUILD / "data"

    points = []
    for entries in SCALING:
        ours, find = search_and_copy.search_times(probe, data / "Temp", entries)
        points.append((entries, ours, find))
        print(f"search over {entries} entries: {ours * 1000:.1f} ms, find {find * 1000:.1f} ms")
    search = next((ours, find) for n, ours, find in points if n == 100_000)
    copied = search_and_copy.copy_times(probe, data, COPY_MIB)
    if copied is None:
        print("the stand-in's copy differs from its source")
        return 1
    print(f"copy of {COPY_MIB} MiB: {copied[0]:.2f} s, cp {copied[1]:.2f} s")
    native = wait_cost.bench_native()
    wine = wait_cost.bench_wine()
    triage_rows = triage_bench.bench()
    triage_worst = triage_bench.worst()
    queue_result = queue_bench.bench()

    data_file, png = HERE / "search-scaling.dat", HERE / "search-scaling.png"
    plot(points, data_file, png)
    data_file.unlink()

    search_ratio = search[0] / search[1]
    copy_ratio = copied[0] / copied[1]
    cpu_share = max(native["cpu_share"], wine["cpu_share"]) * 100
    latency_ms = max(native["exit_latency"], wine["exit_latency"] - wine["yardstick"]) * 1000

    rows = [
        ("3 searches, 100,000 entries", f"{search[0] * 1000:.1f} ms", f"find: {search[1] * 1000:.1f} ms",
         f"{search_ratio:.2f}", "ratio <= 1"),
        (f"copy of a {COPY_MIB} MiB log", f"{copied[0]:.2f} s", f"cp: {copied[1]:.2f} s",
         f"{copy_ratio:.2f}", "ratio <= 1.1"),
        ("CPU while waiting, native", f"{native['cpu_share'] * 100:.2f}% of a core", "", "", "< 1%"),
        ("CPU while waiting, Wine", f"{wine['cpu_share'] * 100:.2f}% of a core",
         f"wineserver: {wine['server_share'] * 100:.2f}%", "", "< 1%"),
        ("exit after the later program, native", f"{native['exit_latency'] * 1000:.1f} ms", "", "",
         "<= 20 ms"),
        ("exit after the later program, Wine", f"{wine['exit_latency'] * 1000:.1f} ms",
         f"do-nothing program: {wine['yardstick'] * 1000:.1f} ms",
         f"{(wine['exit_latency'] - wine['yardstick']) * 1000:+.1f} ms", "<= +20 ms"),
    ]
    scaling_rows = "".join(f"| {n:,} | {o * 1000:.1f} | {f * 1000:.1f} | {o / f:.2f} |\n"
                           for n, o, f in points)
    table = "".join(f"| {' | '.join(row)} |\n" for row in rows)
    (HERE / "results.md").write_text(f"""# Benchmark results

Made by `./scripts/bench` on {datetime.date.today().isoformat()}, {platform.machine()},
{platform.system()} {platform.release()}; one run each for the search and the copy,
the median of {wait_cost.RUNS} runs for the wait. Release builds without sanitizers.
Under Wine the tool and the do-nothing program are started through the 64-bit
loader, so that the process timed is the program's own.

| measure | velmora-diag | reference | ratio / margin | goal |
|---|---|---|---|---|
{table}
## Search time against folder size

![search scaling](search-scaling.png)

| entries | velmora-diag (ms) | find, 3 runs (ms) | ratio |
|---|---|---|---|
{scaling_rows}
{triage_section(triage_rows, triage_worst)}
{queue_section(queue_result)}""")
    print(f"ratios: search={search_ratio:.2f} copy={copy_ratio:.2f} cpu_share={cpu_share:.2f} "
          f"exit_latency_ms={latency_ms:.1f} {triage_ratios(triage_rows, triage_worst)} {queue_bench.ratios(queue_result)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
