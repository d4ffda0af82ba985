#!/usr/bin/env python3
"""Measuring side of the large-file benchmark, on Linux.

One file is renamed into the folder the running program watches, and the
time runs until its stored copy on the disk target is complete and synced;
the reference is cp of the same file plus sync, in the same run.
    measure.py <stage folder> <watched folder> <target folder> <reference folder> <MiB> <runs>
               [probe log, stop file]
With the probe's files (bench/probe), the main window's longest wait of each run follows.
"""
import filecmp
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "probe"))
import waits  # noqa: E402


def sync():
    subprocess.run(["sync"], check=True)


def wait_ready(watched, target, limit):
    """Writes a probe until the program copies it: monitoring and worker are up."""
    start = time.perf_counter()
    n = 0
    while time.perf_counter() - start < limit:
        data = b"probe %d\r\n" % n
        with open(os.path.join(watched, "probe.txt"), "wb") as f:
            f.write(data)
        until = time.perf_counter() + 2
        while time.perf_counter() < until:
            try:
                with open(os.path.join(target, "probe.txt"), "rb") as f:
                    if f.read() == data:
                        return time.perf_counter() - start
            except OSError:
                pass
            time.sleep(0.01)
        n += 1
    return None


def stored_size(path):
    try:
        return os.stat(path).st_size
    except OSError:
        return -1


def main():
    stage, watched, target, ref = sys.argv[1:5]
    size, runs = int(sys.argv[5]) * 1024 * 1024, int(sys.argv[6])
    probe = sys.argv[7:9] if len(sys.argv) > 8 else None
    phases = []
    name = "big.bin"
    source = os.path.join(stage, name)
    with open(source, "wb") as f:
        for _ in range(size // (1 << 20)):
            f.write(os.urandom(1 << 20))
    sync()
    ready = wait_ready(watched, target, 120)
    if ready is None:
        print("the program never copied a probe file: not running or not monitoring")
        return 1
    print("program ready: first probe copied after %.1f s" % ready)
    ratios = []
    for run in range(1, runs + 1):
        stored = os.path.join(target, name)
        sync()
        time.sleep(1)
        t0 = time.perf_counter()
        wall0 = waits.now_ms()
        os.rename(source, os.path.join(watched, name))
        # The copy is written beside the stored one and renamed into place
        # when complete: a stored copy of the full size is a finished one.
        while stored_size(stored) != size:
            if time.perf_counter() - t0 > 300:
                print("run %d: no complete stored copy after 300 s" % run)
                return 1
            time.sleep(0.001)
        complete = time.perf_counter() - t0
        sync()
        program = time.perf_counter() - t0
        phases.append(("run %d" % run, wall0, waits.now_ms()))
        if not filecmp.cmp(os.path.join(watched, name), stored, shallow=False):
            print("run %d: the stored copy differs from the source" % run)
            return 1

        copied = os.path.join(ref, name)
        sync()
        time.sleep(1)
        t0 = time.perf_counter()
        subprocess.run(["cp", os.path.join(watched, name), copied], check=True)
        sync()
        reference = time.perf_counter() - t0

        ratios.append(reference / program)
        print("run %d: program %.3f s (stored copy complete after %.3f s), cp + sync %.3f s, "
              "ratio (cp / program) %.2f, load average %.2f"
              % (run, program, complete, reference, reference / program, os.getloadavg()[0]))
        # Back out of the watched folder: the program sees a file that has gone.
        os.rename(os.path.join(watched, name), source)
        os.remove(stored)
        os.remove(copied)
    print("ratios: " + ", ".join("%.2f" % r for r in ratios))
    if probe:
        for line in waits.describe(waits.stop_and_read(*probe), phases):
            print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
