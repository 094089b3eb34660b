#!/usr/bin/env python3
"""Figures for kestrino-cli, side by side in one run on this machine (not a test).

  list of 10,000,000 lines into a file, against dd writing as many bytes from
  /dev/zero into a file on the same disk (best of three each); list to
  /dev/null; check of a 10,000,000-line list, plain and shuffled, with and
  without --expect; check of a csv of 10,000,000 devices with two IMEI
  columns; the peak memory of each check per IMEI; csv of 10,000,000 devices
  with two IMEIs each to /dev/null; xlsx of 1,000,000 devices with two IMEIs
  each (each column a full TAC), its time and its peak memory; and, for scale,
  the same work as a plain loop over python3-stdnum's Luhn functions.
"""
import os
import subprocess
import sys
import time

cli = os.path.abspath(sys.argv[1])
scratch = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else "build/bench/scratch")
os.makedirs(scratch, exist_ok=True)
FIRST = "35851102000002"
LINES = 10_000_000
NULL_LINES = 100_000_000
RUNS = 3


def timed(args, **kwargs):
    start = time.perf_counter()
    subprocess.run(args, check=True, **kwargs)
    return time.perf_counter() - start


def measured(args, **kwargs):
    """Seconds and peak resident bytes of one run."""
    start = time.perf_counter()
    child = subprocess.Popen(args, **kwargs)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode not in (0, 1):
        raise RuntimeError(f"{args} exited with {child.returncode}")
    return elapsed, usage.ru_maxrss * 1024


def best_measured(args, **kwargs):
    runs = [measured(args, **kwargs) for _ in range(RUNS)]
    return min(t for t, _ in runs), max(m for _, m in runs)


def best(make_run):
    return min(make_run() for _ in range(RUNS))


def fresh(path):
    if os.path.exists(path):
        os.remove(path)
    subprocess.run(["sync"], check=True)
    return path


list_file = os.path.join(scratch, "list.txt")
dd_file = os.path.join(scratch, "dd.bin")
size = 6 + 17 * LINES  # "IMEI" and 15-digit lines, each with CR LF

# Ten million IMEIs span ten TACs.
t_list = best(lambda: timed([cli, "list", FIRST, str(LINES), "--across-tac", "-o", fresh(list_file)]))
assert os.path.getsize(list_file) == size
dd = ["dd", "if=/dev/zero", "bs=1M", f"count={size}", "iflag=count_bytes", "status=none"]
t_dd = best(lambda: timed(dd + [f"of={fresh(dd_file)}"]))
t_dd_sync = best(lambda: timed(dd + [f"of={fresh(dd_file)}", "conv=fsync"]))
os.remove(dd_file)

with open(os.devnull, "wb") as null:
    t_null = best(lambda: timed([cli, "list", FIRST, str(NULL_LINES), "--across-tac"], stdout=null))
quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
t_check, m_check = best_measured([cli, "check", list_file], **quiet)
t_expect, m_expect = best_measured([cli, "check", list_file, "--expect", FIRST, str(LINES)], **quiet)
# The same IMEIs in random order: each its own entry, sorted before repeats can be known.
shuffled_file = os.path.join(scratch, "shuffled.txt")
with open(shuffled_file, "wb") as out:
    out.write(b"IMEI\r\n")
    out.flush()
    subprocess.run(f"tail -n +2 '{list_file}' | shuf --random-source='{list_file}'", shell=True, check=True, stdout=out)
t_shuffled, m_shuffled = best_measured([cli, "check", shuffled_file], **quiet)
t_shuffled_expect, m_shuffled_expect = best_measured(
    [cli, "check", shuffled_file, "--expect", FIRST, str(LINES)], **quiet)
os.remove(shuffled_file)
os.remove(list_file)

# A device list, IMEI1 and IMEI2 from two ranges at the same offset, as list writes it.
ROWS = 10_000_000
csv_file = os.path.join(scratch, "devices.csv")
first2 = str(int(FIRST) + ROWS)
subprocess.run([cli, "list", FIRST, str(ROWS), "--column", first2, "--format", "csv", "--across-tac", "-o", csv_file],
               check=True)
t_csv, m_csv = best_measured([cli, "check", csv_file], **quiet)
os.remove(csv_file)

PAIRS = 10_000_000
pairs = [cli, "list", "35851102000000", str(PAIRS), "--per-device", "2", "--format", "csv", "--across-tac"]
with open(os.devnull, "wb") as null:
    t_pairs = best(lambda: timed(pairs, stdout=null))
XLSX = 1_000_000
xlsx_file = os.path.join(scratch, "pairs.xlsx")
xlsx = [cli, "list", "35851102000000", str(XLSX), "--column", "35851103000000", "-o", xlsx_file]
t_xlsx, m_xlsx = best_measured(xlsx)
mb_xlsx = m_xlsx / 2**20
xlsx_size = os.path.getsize(xlsx_file)
os.remove(xlsx_file)

print(f"kestrino-cli benchmarks (best of {RUNS}; {os.cpu_count()} cores; scratch {scratch})")
print(f"  list {LINES:,} lines -o FILE     {t_list:7.3f} s  {size / t_list / 1e6:7.1f} MB/s  (written, synced, renamed)")
print(f"  dd {size:,} bytes to a file  {t_dd:7.3f} s  {size / t_dd / 1e6:7.1f} MB/s")
print(f"  dd ... conv=fsync             {t_dd_sync:7.3f} s  {size / t_dd_sync / 1e6:7.1f} MB/s")
print(f"    list / dd = {t_list / t_dd:.2f}x (goal: within 1.5x); list / dd with fsync = {t_list / t_dd_sync:.2f}x")
print(f"  list {NULL_LINES:,} lines > /dev/null {t_null:7.3f} s  {NULL_LINES / t_null / 1e6:7.1f} M lines/s (goal: 100)")
print(f"  check {LINES:,} lines            {t_check:7.3f} s  {LINES / t_check / 1e6:7.1f} M lines/s (goal: 20)"
      f"  {m_check / 1e6:6.0f} MB peak")
print(f"    with --expect of all of them     {t_expect:7.3f} s  {LINES / t_expect / 1e6:7.1f} M lines/s"
      f"  {m_expect / 1e6:6.0f} MB peak")
print(f"  check the same lines shuffled     {t_shuffled:7.3f} s  {LINES / t_shuffled / 1e6:7.1f} M lines/s"
      f"  {m_shuffled / 1e6:6.0f} MB peak, {m_shuffled / LINES:.1f} bytes per IMEI (goal: about 16)")
print(f"    with --expect of all of them     {t_shuffled_expect:7.3f} s  {LINES / t_shuffled_expect / 1e6:7.1f} M lines/s"
      f"  {m_shuffled_expect / 1e6:6.0f} MB peak, {(m_shuffled_expect - m_shuffled) / LINES:+.1f} bytes per expected IMEI")
print(f"  check a csv of {ROWS:,} rows, 2 IMEIs each {t_csv:7.3f} s  {ROWS / t_csv / 1e6:7.1f} M rows/s (goal: 10)"
      f"  {m_csv / 1e6:6.0f} MB peak, {m_csv / (2 * ROWS):.1f} bytes per IMEI")
print(f"  csv {PAIRS:,} pairs > /dev/null   {t_pairs:7.3f} s  {2 * PAIRS / t_pairs / 1e6:7.1f} M IMEIs/s (goal: 100)")
print(f"  xlsx {XLSX:,} pairs -o FILE       {t_xlsx:7.3f} s  {2 * XLSX / t_xlsx / 1e6:7.1f} M IMEIs/s, "
      f"peak {mb_xlsx:.1f} MB (goal: 64), {xlsx_size / 1e6:.1f} MB written")

try:
    from stdnum import luhn
except ImportError:
    print("  (python3-stdnum is not installed: no comparison for scale)")
    sys.exit(0)

n = 1_000_000
start = time.perf_counter()
lines = ["IMEI"]
body = int(FIRST)
for _ in range(n):
    text = str(body)
    lines.append(text + luhn.calc_check_digit(text))
    body += 1
data = "\r\n".join(lines) + "\r\n"
t_py_list = time.perf_counter() - start
start = time.perf_counter()
bad = sum(1 for line in data.split("\r\n")[1:-1] if not luhn.is_valid(line))
t_py_check = time.perf_counter() - start
print(f"  for scale, python3-stdnum loops over {n:,} lines: list {n / t_py_list / 1e6:.2f} M lines/s, "
      f"check {n / t_py_check / 1e6:.2f} M lines/s")

# The allocation ledger's figures, in a script of their own.
subprocess.run([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "bench_ledger.py"), cli,
                scratch], check=True)
