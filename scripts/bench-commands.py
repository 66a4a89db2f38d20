#!/usr/bin/env python3
"""Paired wall-clock runs of whole commands: ours against a peer doing the same work.

Each pair runs the two commands back to back, alternating which goes first, so that
both meet the same machine state; the figure is the median of each and their ratio.
Usage: bench-commands.py RUNS GOAL 'our command' 'peer command'
"""
import shlex
import statistics
import subprocess
import sys
import time


def timed(argv):
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def main():
    runs, goal = int(sys.argv[1]), float(sys.argv[2])
    ours, peer = shlex.split(sys.argv[3]), shlex.split(sys.argv[4])
    timed(ours), timed(peer)  # warm the page cache for both
    a, b = [], []
    for i in range(runs):
        if i % 2:
            b.append(timed(peer)); a.append(timed(ours))
        else:
            a.append(timed(ours)); b.append(timed(peer))
    ma, mb = statistics.median(a), statistics.median(b)
    ratio = ma / mb
    print(f"{sys.argv[3]}: {ma * 1000:.1f} ms  |  {sys.argv[4]}: {mb * 1000:.1f} ms  |  "
          f"ratio {ratio:.2f} (goal <= {goal})")
    return 0 if ratio <= goal else 1


if __name__ == "__main__":
    sys.exit(main())
