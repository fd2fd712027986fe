#!/usr/bin/env python3
"""Launch time and resident memory of a patcher window against a bare window
of the same size, measured alternately in one run in a private X server, and
the patcher's processor time while idle. Prints medians and ratios.

    bench_window.py --patcher BIN --bare BIN [--rounds N] [--idle SECONDS] [--wine WRAPPER]

Both programs print one line on stdout when their first frame is painted; the
launch time runs from starting the process to reading that line. Resident
memory is read once the window has been idle for a second. With --wine both
are Windows programs, started through the wrapper, while one more bare window
keeps Wine's desktop process up.
"""
import argparse
import os
import statistics
import subprocess
import time
from pathlib import Path


def free_display():
    for n in range(150, 200):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
            return f":{n}"
    raise SystemExit("no free X display number")


def resident_kb(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def ticks(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def launch(command, env, idle=0.0):
    start = time.monotonic()
    proc = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()
    painted = time.monotonic() - start
    if line.strip() != "painted":
        proc.kill()
        raise SystemExit(f"{command[-1]} painted no frame")
    time.sleep(1.0)
    rss = resident_kb(proc.pid)
    idle_ticks = None
    if idle:
        before = ticks(proc.pid)
        time.sleep(idle)
        idle_ticks = ticks(proc.pid) - before
    proc.kill()
    proc.wait()
    return painted, rss, idle_ticks


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--patcher", required=True)
    parser.add_argument("--bare", required=True)
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--idle", type=float, default=10.0)
    parser.add_argument("--wine")
    args = parser.parse_args()

    xvfb = None
    if args.wine:
        # Under Wine: the display of the run's one Wine server (scripts/wine.sh --server).
        display = subprocess.run(["bash", args.wine, "--display"], capture_output=True, text=True).stdout.strip()
        if not display:
            raise SystemExit("no Wine server is up: start one with scripts/wine.sh --server")
    else:
        display = free_display()
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env = dict(os.environ, DISPLAY=display, GTK_USE_PORTAL="0", NO_AT_BRIDGE="1", GSETTINGS_BACKEND="memory")
    prefix = ["bash", args.wine] if args.wine else []
    session = None
    try:
        time.sleep(1.0)
        if args.wine:
            # Wine's desktop process ends with the last window and starts again
            # with the next, at a cost that would land on whichever program
            # comes next. One idle window keeps the session up for the whole
            # run, as any window open in a Wine session does.
            session = subprocess.Popen(prefix + [args.bare], env=env, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL, text=True)
            if session.stdout.readline().strip() != "painted":
                raise SystemExit("the session's window painted no frame")
        results = {"bare": [], "patcher": []}
        # One unmeasured start each warms the caches both will find warm.
        for name in ("bare", "patcher"):
            launch(prefix + [getattr(args, name)], env)
        for _ in range(args.rounds):
            for name in ("bare", "patcher"):
                results[name].append(launch(prefix + [getattr(args, name)], env))
        _, _, idle_ticks = launch(prefix + [args.patcher], env, idle=args.idle)
    finally:
        if session:
            session.kill()
            session.wait()
        if xvfb:
            xvfb.terminate()
            xvfb.wait()

    def median(name, i):
        return statistics.median(r[i] for r in results[name])

    bare_ms, patcher_ms = 1000 * median("bare", 0), 1000 * median("patcher", 0)
    bare_kb, patcher_kb = median("bare", 1), median("patcher", 1)
    print(f"{'':28}{'bare':>10}{'patcher':>10}{'ratio':>8}")
    print(f"{'launch to first frame (ms)':28}{bare_ms:10.1f}{patcher_ms:10.1f}{patcher_ms / bare_ms:8.2f}")
    print(f"{'resident memory idle (KB)':28}{bare_kb:10.0f}{patcher_kb:10.0f}{patcher_kb / bare_kb:8.2f}")
    print(f"{'processor ticks over %gs idle' % args.idle:28}{'':10}{idle_ticks:10d}")
    print(f"({args.rounds} alternating rounds, medians)")


if __name__ == "__main__":
    main()
