"""The main window's waits, as bench/probe/window_probe.exe logged them.

start_probe() gives the log and stop-file paths the probe is started with;
longest_waits() stops it and reads the longest wait within each phase.
"""
import os
import time


def now_ms():
    """The wall clock the probe writes, in ms since 1970."""
    return time.time() * 1000.0


def stop_and_read(log, stop, limit=30):
    """Stops the probe and returns its samples [(wall ms, wait ms)]."""
    with open(stop, "w"):
        pass
    until = time.time() + limit
    while time.time() < until:
        try:
            with open(log) as f:
                lines = f.read().split("\n")
            if "end" in lines:
                break
        except OSError:
            pass
        time.sleep(0.1)
    else:
        return None
    samples = []
    for line in lines:
        parts = line.split()
        if len(parts) == 2:
            samples.append((float(parts[0]), float(parts[1])))
    return samples


def longest(samples, start_ms, end_ms):
    """The longest wait of a probe sent within [start_ms, end_ms], and how many were sent."""
    inside = [w for at, w in samples if start_ms <= at <= end_ms]
    return (max(inside) if inside else None), len(inside)


def describe(samples, phases):
    """One line per phase (name, start ms, end ms): its longest wait."""
    out = []
    for name, start, end in phases:
        if samples is None:
            out.append("%s: main window's longest wait unknown (the probe did not end)" % name)
            continue
        wait, n = longest(samples, start, end)
        if wait is None:
            out.append("%s: main window not probed (no window found)" % name)
        else:
            out.append("%s: main window's longest wait %.1f ms (%d probes)" % (name, wait, n))
    return out
