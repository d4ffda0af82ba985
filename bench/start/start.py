"""The start benchmark's measuring side (run by bench/start/run.sh).

start.py <root> <arch> <data> <items> <files per item> <changed> <runs> <case>...

Cases: "first" (no stored state: the catch-up records every file), "later" (the stored state of
a first start, then <changed> files rewritten while the program is not running: each must be
stored again), "full" (100,000 pending copies and stored versions loaded: memory). Every run
starts the real program with its window shown and start_probe beside it, and ends it by closing
its window.
"""
import os
import subprocess
import sys
import time

root, arch, data = sys.argv[1], sys.argv[2], sys.argv[3]
items, per_item, changed, runs = (int(a) for a in sys.argv[4:8])
cases = sys.argv[8:]
bench = os.path.join(root, arch, "bench")
tree, stored, install = (os.path.join(data, n) for n in ("tree", "stored", "install"))


def win(path):
    """The Windows path of a Linux one (drive Z: is the root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def make_tree():
    t0 = time.time()
    for i in range(items):
        folder = os.path.join(tree, "d%d" % i)
        os.makedirs(folder, exist_ok=True)
        os.makedirs(os.path.join(stored, "d%d" % i), exist_ok=True)  # a target must exist
        for j in range(per_item):
            with open(os.path.join(folder, "f%03d.txt" % j), "wb") as f:
                f.write(b"item %d file %d\r\n" % (i, j) * 4)
    print("tree: %d items x %d files made in %.1f s" % (items, per_item, time.time() - t0))


def setup(*args):
    out = subprocess.run(["wine", os.path.join(bench, "start_setup.exe")] + list(args),
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, check=False)
    text = out.stdout.decode(errors="replace").replace("\r", "")
    lines = [l for l in text.split("\n") if l and not l.startswith("[")]
    print("\n".join(lines[-3:]))
    if out.returncode != 0:
        sys.exit("start_setup failed")


def clear_install():
    os.makedirs(install, exist_ok=True)
    for name in os.listdir(install):
        os.remove(os.path.join(install, name))


def run_program(wait_done, tag):
    """Starts the program and the probe, waits with wait_done(done_file) -> dict, closes the
    program and returns the figures."""
    log, stop, done = (os.path.join(data, n) for n in ("probe.log", "probe.stop", "catchup.done"))
    for p in (log, stop, done):
        if os.path.exists(p):
            os.remove(p)
    env = dict(os.environ, TK_CATCHUP_DONE_FILE=win(done))
    before = load()
    probe = subprocess.Popen(["wine", os.path.join(bench, "start_probe.exe"), win(log), win(stop),
                              "close"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    time.sleep(0.5)  # the probe is looking before the program starts
    launched = time.time() * 1000.0
    program = subprocess.Popen(["wine", os.path.join(root, arch, "tandemkeep.exe")], env=env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=open(os.path.join(data, "program.err"), "a"))
    result = wait_done(done, launched)
    result["load"] = before + " / " + load()
    with open(stop, "w"):
        pass
    try:
        probe.wait(timeout=120)
        program.wait(timeout=60)
    except subprocess.TimeoutExpired:
        program.kill()
        probe.kill()
        result["closed"] = "no"
    result.update(read_probe(log, launched, result.get("done_at")))
    return result


def read_probe(log, launched, done_at):
    out = {}
    waits, mem, committed = [], [], []
    with open(log) as f:
        for line in f:
            p = line.split()
            if not p:
                continue
            if p[0] == "found":
                out["found"] = float(p[1]) - launched
            elif p[0] == "created":
                out["created"] = float(p[1]) - launched
            elif p[0] == "answered":
                out["answered"] = float(p[1]) - launched
                out["visible"] = p[2] == "1"
            elif p[0] == "shown":
                out["shown"] = float(p[1]) - launched
            elif p[0] == "mem":
                mem.append((float(p[1]), int(p[2]), int(p[3])))
            elif p[0] == "committed":
                committed.append((float(p[1]), int(p[2])))
            elif p[0] == "closed":
                out["closed"] = "yes"
            elif len(p) == 2:
                waits.append((float(p[0]), float(p[1])))
    if waits:
        out["longest"] = max(w for _, w in waits)
        if done_at:
            inside = [w for at, w in waits if at <= done_at]
            out["longest_until_done"] = max(inside) if inside else None
    if committed:
        out["c_first"] = committed[0][1]
        out["c_max"] = max(c[1] for c in committed)
        out["c_last"] = committed[-1][1]
        if done_at:
            after = [c[1] for c in committed if c[0] >= done_at]
            out["c_at_done"] = after[0] if after else None
    if mem:
        out["mem_first"] = mem[0][1]
        out["mem_max"] = max(m[1] for m in mem)
        out["mem_last"] = mem[-1][1]
        out["mem_peak"] = mem[-1][2]
        if done_at:
            after = [m[1] for m in mem if m[0] >= done_at]
            out["mem_at_done"] = after[0] if after else None
    return out


def wait_file(path, launched, limit=600):
    while not os.path.exists(path):
        if time.time() * 1000.0 - launched > limit * 1000:
            return None
        time.sleep(0.002)
    return time.time() * 1000.0


def first_case(run):
    clear_install()

    def wait(done, launched):
        at = wait_file(done, launched)
        time.sleep(2)  # memory and waits after the end, as the user keeps the program running
        return {"done": at - launched if at else None, "done_at": at}

    return run_program(wait, "first %d" % run)


def change_files(run):
    """Rewrites `changed` files spread over the items, each with a new length."""
    expected = {}
    step = max(1, items * per_item // changed)
    for k in range(changed):
        n = (k * step + run) % (items * per_item)
        i, j = n // per_item, n % per_item
        rel = os.path.join("d%d" % i, "f%03d.txt" % j)
        body = (b"changed in run %d: item %d file %d\r\n" % (run, i, j)) * (5 + run + k % 7)
        with open(os.path.join(tree, rel), "wb") as f:
            f.write(body)
        expected[rel] = body
    return expected


def later_case(run):
    expected = change_files(run)

    def wait(done, launched):
        pending = dict(expected)
        done_at = None
        last = None
        while pending or not done_at:
            now = time.time() * 1000.0
            if now - launched > 120000:
                break
            if not done_at and os.path.exists(done):
                done_at = now
            for rel in list(pending):
                try:
                    with open(os.path.join(stored, rel), "rb") as f:
                        if f.read() == pending[rel]:
                            del pending[rel]
                            last = now
                except OSError:
                    pass
            time.sleep(0.002)
        time.sleep(2)
        return {"done": done_at - launched if done_at else None, "done_at": done_at,
                "stored": last - launched if last and not pending else None,
                "missing": len(pending)}

    return run_program(wait, "later %d" % run)


def full_case(run):
    def wait(done, launched):
        at = wait_file(done, launched)
        time.sleep(10)  # the retrier's first round against the absent server
        return {"done": at - launched if at else None, "done_at": at}

    return run_program(wait, "full %d" % run)


def mib(b):
    return "%.1f MiB" % (b / 1048576.0) if b is not None else "-"


def ms(v):
    return "%.0f ms" % v if v is not None else "-"


def report(case, run, r):
    parts = ["%s %d:" % (case, run),
             "process created %s," % ms(r.get("created")),
             "window found %s," % ms(r.get("found")),
             "first answer %s (%s)," % (ms(r.get("answered")),
                                       "visible" if r.get("visible") else "hidden"),
             ]
    if r.get("shown"):
        parts.append("visible %s," % ms(r["shown"]))
    parts.append("catch-up done %s," % ms(r.get("done")))
    if case == "later":
        parts.append("last of %d changed files stored %s (missing %d)," %
                     (changed, ms(r.get("stored")), r.get("missing", -1)))
    parts.append("longest wait %s (until done %s);" % (ms(r.get("longest")),
                                                       ms(r.get("longest_until_done"))))
    parts.append("private bytes (committed) first %s, after done %s, max %s, last %s;" %
                 (mib(r.get("c_first")), mib(r.get("c_at_done")), mib(r.get("c_max")),
                  mib(r.get("c_last"))))
    parts.append("anonymous resident first %s, after done %s, max %s, last %s;" %
                 (mib(r.get("mem_first")), mib(r.get("mem_at_done")), mib(r.get("mem_max")),
                  mib(r.get("mem_last"))))
    parts.append("closed %s; load %s" % (r.get("closed", "no"), r["load"]))
    print(" ".join(parts), flush=True)


if not os.path.isdir(tree):
    make_tree()
for case in cases:
    if case == "first":
        setup("disk", win(install), win(tree), win(stored), str(items))
    if case == "later":
        # A first start records every file; the runs after it find `changed` of them changed.
        if not os.path.exists(os.path.join(install, "storedstate.dat")):
            setup("disk", win(install), win(tree), win(stored), str(items))
            first_case(0)
    if case == "full":
        clear_install()
        setup("full", win(install), win(tree), str(items), "1")  # nothing listens on port 1
    for run in range(1, runs + 1):
        r = {"first": first_case, "later": later_case, "full": full_case}[case](run)
        report(case, run, r)
