#!/usr/bin/env python3
"""Measuring side of bench/ftp/rename.sh, on Linux.

One file is renamed into the folder the running program watches; the time runs
until the server's stored copy has every byte and the program's backup log has
the file's success line. The reference is curl uploading the same file to the
same server in active mode, in the same run.
    rename.py <stage> <watched> <watched as Windows sees it> <server's pub folder>
              <backup log> <port> <MiB> <runs> [probe log, stop file]
"""
import filecmp
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "probe"))
import waits  # noqa: E402


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def size_of(path):
    try:
        return os.stat(path).st_size
    except OSError:
        return -1


def wait_ready(watched, stored, limit):
    """Writes a probe until the program uploads it: monitoring and the FTP client are up."""
    start = time.perf_counter()
    n = 0
    while time.perf_counter() - start < limit:
        data = b"probe %d\r\n" % n
        with open(os.path.join(watched, "probe.txt"), "wb") as f:
            f.write(data)
        until = time.perf_counter() + 3
        while time.perf_counter() < until:
            if read(os.path.join(stored, "probe.txt")) == data:
                return time.perf_counter() - start
            time.sleep(0.01)
        n += 1
    return None


def main():
    stage, watched, watched_win, pub, log, port = sys.argv[1:7]
    size, runs = int(sys.argv[7]) * 1024 * 1024, int(sys.argv[8])
    probe = sys.argv[9:11] if len(sys.argv) > 10 else None
    stored_folder = os.path.join(pub, "program")
    name = "big.bin"
    source = os.path.join(stage, name)
    with open(source, "wb") as f:
        for _ in range(size // (1 << 20)):
            f.write(os.urandom(1 << 20))
    ready = wait_ready(watched, stored_folder, 120)
    if ready is None:
        print("the program never uploaded a probe file: not running or not monitoring")
        return 1
    print("program ready: first probe uploaded after %.1f s" % ready)
    success = ("File %s\\%s transferred successfully" % (watched_win.rstrip("\\"), name)).encode()
    stored = os.path.join(stored_folder, name)
    phases, programs, curls = [], [], []
    for run in range(1, runs + 1):
        seen = (read(log) or b"").count(success)
        time.sleep(1)
        t0 = time.perf_counter()
        wall0 = waits.now_ms()
        os.rename(source, os.path.join(watched, name))
        whole = None
        while True:
            now = time.perf_counter()
            if whole is None and size_of(stored) == size:
                whole = now - t0
            if whole is not None and (read(log) or b"").count(success) > seen:
                break
            if now - t0 > 300:
                print("run %d: no stored copy with its success line after 300 s" % run)
                return 1
            time.sleep(0.001)
        program = time.perf_counter() - t0
        phases.append(("run %d" % run, wall0, waits.now_ms()))
        if not filecmp.cmp(os.path.join(watched, name), stored, shallow=False):
            print("run %d: the stored copy differs from the source" % run)
            return 1

        time.sleep(1)
        t0 = time.perf_counter()
        subprocess.run(["curl", "-s", "-P", "127.0.0.1", "-T", os.path.join(watched, name),
                        "ftp://127.0.0.1:%s/pub/curl/" % port, "--ftp-create-dirs"], check=True)
        reference = time.perf_counter() - t0
        if not filecmp.cmp(os.path.join(watched, name), os.path.join(pub, "curl", name),
                           shallow=False):
            print("run %d: curl's stored copy differs from the source" % run)
            return 1
        programs.append(program)
        curls.append(reference)
        print("run %d: program %.3f s (every byte stored after %.3f s), curl %.3f s, "
              "ratio (curl / program) %.2f, load average %.2f"
              % (run, program, whole, reference, reference / program, os.getloadavg()[0]))
        # Back out of the watched folder: the program sees a file that has gone.
        os.rename(os.path.join(watched, name), source)
        os.remove(stored)
        os.remove(os.path.join(pub, "curl", name))
    print("best of %d: program %.3f s, curl %.3f s, ratio %.2f"
          % (runs, min(programs), min(curls), min(curls) / min(programs)))
    if probe:
        for line in waits.describe(waits.stop_and_read(*probe), phases):
            print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
