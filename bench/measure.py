#!/usr/bin/python3
"""Times shell commands as whole processes, in turn (A B C A B C ...), after
one warm-up round, and prints each one's median CPU time (user + system of
the process and its children), wall time and peak memory (largest single
process), then the ratios of the medians to the first command's.

    bench/measure.py RUNS 'name=command' ['name=command' ...]
"""
import os
import shlex
import statistics
import subprocess
import sys
import time


def run(command):
    # A plain command runs as itself, so that its peak is its own; a pipeline
    # runs in a shell, its time counting every process of it.
    shell = any(c in command for c in "|<>;&$*")
    start = time.monotonic()
    process = subprocess.Popen(command if shell else shlex.split(command), shell=shell,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - start
    return usage.ru_utime + usage.ru_stime, wall, usage.ru_maxrss / 1024.0


def main():
    runs = int(sys.argv[1])
    commands = [arg.split("=", 1) for arg in sys.argv[2:]]
    figures = {name: [] for name, _ in commands}
    for round_ in range(runs + 1):
        for name, command in commands:
            figure = run(command)
            if round_ > 0:
                figures[name].append(figure)
    first = None
    for name, _ in commands:
        cpu = statistics.median(f[0] for f in figures[name])
        wall = statistics.median(f[1] for f in figures[name])
        peak = max(f[2] for f in figures[name])
        first = first or cpu
        print(f"  {name:34s} cpu {cpu * 1000:9.1f} ms  wall {wall * 1000:9.1f} ms  "
              f"peak {peak:7.1f} MiB  {cpu / first:5.2f} x the first")


if __name__ == "__main__":
    main()
