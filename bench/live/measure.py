#!/usr/bin/env python3
"""Measuring side of the full-program benchmark, on Linux.

Writes into the folder the running program watches (a Linux write there is a
real change the program's monitor must see through Wine) and polls the disk
target until the stored copy equals what was written.
    measure.py <watched folder> <target folder> <single changes> <burst files> [probe log, stop file]
With the probe's files (bench/probe), the main window's longest wait of each phase follows.
"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "probe"))
import waits  # noqa: E402


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def stored_equals(path, data):
    try:
        with open(path, "rb") as f:
            return f.read() == data
    except OSError:
        return False


def percentile(values, p):
    v = sorted(values)
    return v[int(p * (len(v) - 1) + 0.5)]


def wait_ready(src, dst, limit):
    """Writes a probe until the program copies it: monitoring and worker are up."""
    start = time.perf_counter()
    n = 0
    while time.perf_counter() - start < limit:
        data = b"probe %d\r\n" % n
        write(os.path.join(src, "probe.txt"), data)
        until = time.perf_counter() + 2
        while time.perf_counter() < until:
            if stored_equals(os.path.join(dst, "probe.txt"), data):
                return time.perf_counter() - start
            time.sleep(0.01)
        n += 1
    return None


def singles(src, dst, count):
    """One small file changed again and again, each change waited for."""
    name = "document.txt"
    latencies, lost = [], 0
    for i in range(count):
        # Lengths vary so that a stale or half-written copy cannot compare equal.
        data = (b"change %d " % i) * (1 + i % 7) + b"\r\n"
        write(os.path.join(src, name), data)
        closed = time.perf_counter()
        target = os.path.join(dst, name)
        while True:
            now = time.perf_counter()
            if stored_equals(target, data):
                latencies.append((now - closed) * 1000)
                break
            if now - closed > 10:
                lost += 1
                break
            time.sleep(0.0005)
    return latencies, lost


def burst(src, dst, count, limit):
    """count new files written at once, then polled until every copy is complete."""
    expected = {}
    t0 = time.perf_counter()
    for i in range(count):
        name = "burst %d.txt" % i
        data = (b"burst file %d\r\n" % i) * (1 + i % 5)
        write(os.path.join(src, name), data)
        expected[name] = data
    written = time.perf_counter() - t0
    pending = set(expected)
    last_progress = time.perf_counter()
    done_at = None
    while pending and time.perf_counter() - t0 < limit:
        before = len(pending)
        for name in list(pending):
            if stored_equals(os.path.join(dst, name), expected[name]):
                pending.discard(name)
        if not pending:
            done_at = time.perf_counter() - t0
            break
        if len(pending) != before:
            last_progress = time.perf_counter()
        elif time.perf_counter() - last_progress > 60:
            break
        time.sleep(0.05)
    return written, done_at, sorted(pending), time.perf_counter() - t0


def load():
    return "load average %.2f" % os.getloadavg()[0]


def main():
    src, dst = sys.argv[1], sys.argv[2]
    count, files = int(sys.argv[3]), int(sys.argv[4])
    probe = sys.argv[5:7] if len(sys.argv) > 6 else None
    ready = wait_ready(src, dst, 120)
    if ready is None:
        print("the program never copied a probe file: not running or not monitoring")
        return 1
    print("program ready: first probe copied after %.1f s" % ready)

    phases = []
    start = waits.now_ms()
    latencies, lost = singles(src, dst, count)
    phases.append(("single changes", start, waits.now_ms()))
    if latencies:
        print("single changes: %d, median %.1f ms, 90th percentile %.1f ms, 99th percentile %.1f ms, "
              "min %.1f ms, max %.1f ms, lost %d (%s)"
              % (count, percentile(latencies, 0.5), percentile(latencies, 0.9),
                 percentile(latencies, 0.99), min(latencies), max(latencies), lost, load()))
    else:
        print("single changes: none arrived, lost %d" % lost)

    start = waits.now_ms()
    written, done_at, missing, waited = burst(src, dst, files, 480)
    phases.append(("burst", start, waits.now_ms()))
    if done_at is not None:
        print("burst of %d files: written in %.2f s, all stored and equal after %.1f s "
              "(%.1f ms per file), missing 0 (%s)"
              % (files, written, done_at, done_at * 1000 / files, load()))
    else:
        print("burst of %d files: written in %.2f s, after %.1f s still missing %d (first: %s)"
              % (files, written, waited, len(missing), ", ".join(missing[:5])))
    if probe:
        for line in waits.describe(waits.stop_and_read(*probe), phases):
            print(line)
    return 0 if done_at is not None and not lost else 1


if __name__ == "__main__":
    sys.exit(main())
