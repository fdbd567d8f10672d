#!/usr/bin/env python3
"""What waiting for the report programs costs the tool.

Runs the tool with stand-ins for "wmic" and "msinfo32.exe" that sleep for a
set time, and prints:
  - the tool's own CPU time while the programs run (share of one core),
  - how long after the later program ended the tool exited.
Natively (the Release build without sanitizers, build/native-release)
and under Wine (the win64 build, in a prefix below build/win64/wine). Under
Wine it also prints the CPU time wineserver spent meanwhile, and how long a
program that does nothing takes to start and exit there, the yardstick for
the exit latency.

    bench/wait_cost.py [native|wine ...]   (both by default)

Goals: under 1% of one core; exit within 20 ms natively, and under Wine
within 20 ms more than the do-nothing program takes.
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "scripts"))
from wine_prefix import DLL_OVERRIDES, WinePrefix  # noqa: E402

sys.path.insert(0, str(ROOT / "bench"))
import release_build  # noqa: E402

LONG_S = 5.0   # the later program's run time: the window the CPU time is taken over
SHORT_S = 3.0  # the other program's
RUNS = 5
TICKS = os.sysconf("SC_CLK_TCK")  # /proc counts CPU time in these: 1 tick = 0.29% of the window

STAND_IN = r"""#!/bin/sh
sleep SECONDS
date +%s.%N > "$VELMORA_RECORD_DIR/$(basename "$0").end"
"""


def cpu_seconds(pid):
    """User plus system CPU time of a live process, from /proc."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def watch(proc, others=lambda: []):
    """CPU used by the process (and the others, looked up once it runs) from
    0.5 s into the run until 1 s before the later program ends; then waits
    for the exit. Returns (share of one core per process, exit time)."""
    time.sleep(0.5)
    pids = [proc.pid, *others()]
    # The launcher hands over to the program itself in the same process
    # (under Wine, only through the loader of the program's bitness: see
    # wine_prefix.loader).
    command = Path(f"/proc/{proc.pid}/cmdline").read_bytes().replace(b"\0", b" ").decode()
    assert "velmora-diag" in command, f"measuring the wrong process: {command}"
    first, start = [cpu_seconds(p) for p in pids], time.time()
    time.sleep(LONG_S - 1.5)
    last, end = [cpu_seconds(p) for p in pids], time.time()
    proc.wait()
    exited = time.time()
    return [(b - a) / (end - start) for a, b in zip(first, last)], exited


def report(label, shares, latencies, yardstick=None):
    print(f"{label}:")
    for name, values in shares.items():
        print(f"  {name} CPU while waiting: median {statistics.median(values) * 100:.2f}% of one "
              f"core (goal < 1%; runs: " + ", ".join(f"{v * 100:.2f}%" for v in values) + ")")
    goal = 20 if yardstick is None else yardstick * 1000 + 20
    print(f"  exit after the later program ended: median {statistics.median(latencies) * 1000:.1f} ms "
          f"(goal <= {goal:.0f} ms; runs: " + ", ".join(f"{v * 1000:.1f}" for v in latencies) + ")")
    if yardstick is not None:
        print(f"  a do-nothing program starts and exits in {yardstick * 1000:.1f} ms (median)")


def bench_native():
    build = release_build.build("velmora-diag")
    exe = build / "velmora-diag"

    scratch = Path(tempfile.mkdtemp(prefix="wait-cost-", dir=build))
    try:
        home, tools, records = scratch / "home", scratch / "bin", scratch / "records"
        for folder in (home / "Desktop", tools, records):
            folder.mkdir(parents=True)
        for name, seconds in (("wmic", SHORT_S), ("msinfo32.exe", LONG_S)):
            (tools / name).write_text(STAND_IN.replace("SECONDS", str(seconds)))
            (tools / name).chmod(0o755)
        (tools / "xdg-open").write_text("#!/bin/sh\n")
        (tools / "xdg-open").chmod(0o755)
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        env.update({"HOME": str(home), "VELMORA_RECORD_DIR": str(records),
                    "PATH": f"{tools}:/usr/bin:/bin"})
        shares, latencies = [], []
        for _ in range(RUNS):
            proc = subprocess.Popen([str(exe)], env=env, stdout=subprocess.DEVNULL)
            (share,), exited = watch(proc)
            last_end = max(float(p.read_text()) for p in records.glob("*.end"))
            shares.append(share)
            latencies.append(exited - last_end)
        report("native", {"tool": shares}, latencies)
        return {"cpu_share": statistics.median(shares), "exit_latency": statistics.median(latencies),
                "latency_goal": 0.020}
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def wineserver_pid(prefix):
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if not Path(entry / "exe").resolve().name.startswith("wineserver"):
                continue
            environ = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if f"WINEPREFIX={prefix}".encode() in environ:
            return int(entry.name)
    raise RuntimeError(f"no wineserver runs for {prefix}")


def bench_wine():
    build = ROOT / "build" / "win64"
    subprocess.run(["cmake", "--preset", "win64"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "win64", "--target", "velmora-diag",
                    "wmic_stand_in", "msinfo32_stand_in", "explorer_stand_in"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    wine = WinePrefix(build / "wine" / "bench", build)
    try:
        records = wine.root / "records"
        records.mkdir()
        wine.install_program(build / "tests" / "programs" / "stand-ins" / "explorer.exe", "explorer.exe")
        folder = wine.drive_c / "bench"
        folder.mkdir()
        shutil.copyfile(build / "velmora-diag.exe", folder / "velmora-diag.exe")
        installed = {name: wine.install_program(build / "tests" / "programs" / "stand-ins" / name, name)
                     for name in ("wmic.exe", "msinfo32.exe")}  # where the shell finds the system's
        env = dict(wine.env)
        env.update({"WINEDLLOVERRIDES": DLL_OVERRIDES + ";explorer.exe=n;wmic.exe=n;msinfo32.exe=n",
                    "VELMORA_RUN_MS_WMIC": str(int(SHORT_S * 1000)),
                    "VELMORA_RUN_MS_MSINFO32": str(int(LONG_S * 1000))})
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}

        # Warm up (wineserver and the prefix's services up), then the
        # yardstick: the stand-in without a record folder does nothing.
        # Started as the tool is, in its own process (WinePrefix.start).
        noop = dict(env)

        def do_nothing():
            status = wine.start(installed["wmic.exe"], env=noop, **quiet).wait()
            if status != 0:
                raise RuntimeError(f"the do-nothing program failed with status {status}")

        do_nothing()
        noop_times = []
        for _ in range(5):
            start = time.time()
            do_nothing()
            noop_times.append(time.time() - start)
        yardstick = statistics.median(noop_times)

        env["VELMORA_RECORD_DIR"] = wine.to_windows_path(records)
        tool_shares, server_shares, latencies = [], [], []
        for _ in range(RUNS):
            for old in records.glob("*.end"):
                old.unlink()
            proc = wine.start(folder / "velmora-diag.exe", env=env, **quiet)
            shares, exited = watch(proc, lambda: [wineserver_pid(wine.prefix)])
            last_end = max(float(p.read_text()) for p in records.glob("*.end"))
            tool_shares.append(shares[0])
            server_shares.append(shares[1])
            latencies.append(exited - last_end)
            wine.wait_idle()
        report("wine", {"tool": tool_shares, "wineserver (the whole prefix)": server_shares},
               latencies, yardstick)
        return {"cpu_share": statistics.median(tool_shares),
                "server_share": statistics.median(server_shares),
                "exit_latency": statistics.median(latencies), "yardstick": yardstick,
                "latency_goal": yardstick + 0.020}
    finally:
        wine.kill()
        shutil.rmtree(wine.root, ignore_errors=True)


def main(argv):
    targets = argv or ["native", "wine"]
    for target in targets:
        {"native": bench_native, "wine": bench_wine}[target]()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
