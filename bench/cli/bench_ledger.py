#!/usr/bin/env python3
"""The ledger's figures (not a test): allocations per second with 1 process and
with 8 at once, on a SQLite file and on PostgreSQL (a server of its own from
scripts/test-postgres.sh, when one is installed), and the time of one
allocation of a whole TAC, 1,000,000 IMEIs, written as csv.
"""
import os
import shutil
import subprocess
import sys
import threading
import time

cli = os.path.abspath(sys.argv[1])
scratch = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else "build/bench/scratch")
root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
folder = os.path.join(scratch, "ledger")
SINGLE = 200
PROCESSES = 8
EACH = 100


def run(args):
    subprocess.run([cli] + args, check=True, stdout=subprocess.DEVNULL)


def fresh_sqlite(name):
    path = os.path.join(folder, name)
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)
    return path


def new_ledger(location):
    run(["ledger", "init", "--ledger", location])
    run(["ledger", "add-tac", "35851102", "--ledger", location])


def allocations(location, processes, each):
    """Allocations per second of processes running each allocations of 10 devices at once."""
    def worker(w):
        for i in range(each):
            run(["allocate", "10", "--ledger", location, "-o", os.path.join(folder, f"w{w}-{i}.txt")])
    threads = [threading.Thread(target=worker, args=(w,)) for w in range(processes)]
    start = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return processes * each / (time.perf_counter() - start)


def full_tac(make_location):
    best = None
    for _ in range(3):
        location = make_location()
        new_ledger(location)
        out = os.path.join(folder, "full.csv")
        start = time.perf_counter()
        run(["allocate", "1000000", "--format", "csv", "--ledger", location, "-o", out])
        elapsed = time.perf_counter() - start
        assert os.path.getsize(out) == 6 + 17 * 1000000
        best = elapsed if best is None else min(best, elapsed)
    return best


def figures(name, make_location):
    location = make_location()
    new_ledger(location)
    one = allocations(location, 1, SINGLE)
    location = make_location()
    new_ledger(location)
    eight = allocations(location, PROCESSES, EACH)
    full = full_tac(make_location)
    print(f"  {name:10} 1 process {one:7.1f} allocations/s   {PROCESSES} processes {eight:7.1f} allocations/s   "
          f"a full TAC as csv {full:6.2f} s")


shutil.rmtree(folder, ignore_errors=True)
os.makedirs(folder)
print(f"ledger (allocations of 10 IMEIs; {SINGLE} in a row, then {PROCESSES} processes x {EACH}):")
counter = [0]


def sqlite_location():
    counter[0] += 1
    return fresh_sqlite(f"bench-{counter[0]}.db")


figures("SQLite", sqlite_location)

script = os.path.join(root, "scripts", "test-postgres.sh")
state = os.path.join(folder, "postgres-server")
if subprocess.run(["bash", script, "start", state], stdout=subprocess.DEVNULL).returncode != 0:
    print("  PostgreSQL: no server could be started here; no figures")
else:
    try:
        with open(state) as f:
            f.readline()
            base = f.readline().strip()
        def postgres_location():
            counter[0] += 1
            name = f"bench_{counter[0]}"
            subprocess.run(["psql", base, "-qc", f"CREATE DATABASE {name}"], check=True, stdout=subprocess.DEVNULL)
            return base.replace("///postgres?", f"///{name}?")
        figures("PostgreSQL", postgres_location)
    finally:
        subprocess.run(["bash", script, "stop", state])
shutil.rmtree(folder, ignore_errors=True)
