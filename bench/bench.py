#!/usr/bin/env python3
"""Measures kuvertpfeil's body throughput against Python's quote_from_bytes
(the same safe set) and coreutils basenc --base16, its peak memory for a
small and a 1 GiB message, and its start-up cost against /bin/true.

Usage: python3 bench/bench.py PATH/TO/kuvertpfeil [--rounds N] [--megabytes M]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SAFE = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz,-.@[]_{|}~"
PYTHON_ENCODER = (
    "import sys, urllib.parse\n"
    "data = open(sys.argv[1], 'rb').read()\n"
    "sys.stdout.write(urllib.parse.quote_from_bytes(data, safe=sys.argv[2]).lower())\n"
)


def timed(command, **kwargs):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   **kwargs)
    return time.perf_counter() - start


def peak_kib(command, stdin):
    """Peak resident set size of command, as /usr/bin/time reports it."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *command], stdin=stdin,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)
    return int(result.stderr.decode().strip().splitlines()[-1])


def throughput(exe, prose, rounds):
    size_mb = os.path.getsize(prose) / 1e6
    commands = {
        "kuvertpfeil": [exe, "N", "a@b.de", "S", prose, "-"],
        "python quote_from_bytes": [sys.executable, "-c", PYTHON_ENCODER, prose, SAFE],
        "basenc --base16": ["basenc", "--base16", prose],
    }
    times = {name: [] for name in commands}
    for _ in range(rounds):  # interleaved, so drift hits all three alike
        for name, command in commands.items():
            times[name].append(timed(command))
    rates = {name: size_mb / statistics.median(t) for name, t in times.items()}
    print(f"Body throughput, {size_mb:.0f} MB of prose from a file, median of {rounds}:")
    for name, rate in rates.items():
        print(f"  {name:24s} {rate:8.1f} MB/s")
    ours = rates["kuvertpfeil"]
    print(f"  ratio to python          {ours / rates['python quote_from_bytes']:8.1f}x"
          "   (goal: at least 20x)")
    print(f"  ratio to basenc          {ours / rates['basenc --base16']:8.2f}x"
          "   (goal: at least 0.5x)")


def memory(exe, prose):
    print("Peak resident memory, message piped in:")
    with tempfile.TemporaryFile() as small:
        small.write(b"x" * 1024)
        small.seek(0)
        print(f"  1 KB message   {peak_kib([exe, 'N', 'A', 'S', '-', '-'], small):6d} KiB")
    with open(prose, "rb") as f:
        chunk = f.read()
    gib = 1 << 30
    feeder_read, feeder_write = os.pipe()
    command = ["/usr/bin/time", "-f", "%M", exe, "N", "A", "S", "-", "-"]
    proc = subprocess.Popen(command, stdin=feeder_read, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    os.close(feeder_read)
    with os.fdopen(feeder_write, "wb") as feeder:
        sent = 0
        while sent < gib:
            piece = chunk[: gib - sent]
            feeder.write(piece)
            sent += len(piece)
    _, err = proc.communicate()
    print(f"  1 GiB message  {int(err.decode().strip().splitlines()[-1]):6d} KiB"
          "   (goal: at most 4096 KiB, and no growth)")


def startup(exe, calls):
    """Paired, interleaved calls (ours, /bin/true, ours, ...), medians."""
    with tempfile.NamedTemporaryFile() as line:
        line.write(b"Hallo Welt\n")
        line.flush()
        ours, true = [], []
        for _ in range(calls):
            ours.append(timed([exe, "N", "A", "S", line.name, "-"]))
            true.append(timed(["/bin/true"]))
    ratio = statistics.median(ours) / statistics.median(true)
    print(f"Start-up, median of {calls} calls: kuvertpfeil {statistics.median(ours) * 1e3:.2f} ms,"
          f" /bin/true {statistics.median(true) * 1e3:.2f} ms, ratio {ratio:.2f}"
          "   (goal: at most 1.1)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--megabytes", type=int, default=100)
    options = parser.parse_args()
    exe = os.path.abspath(options.exe)
    with tempfile.TemporaryDirectory() as scratch:
        prose = os.path.join(scratch, "prose.txt")
        with open(prose, "wb") as out:
            subprocess.run([sys.executable, os.path.join(HERE, "make_prose.py"),
                            str(options.megabytes * 1000 * 1000)], stdout=out, check=True)
        throughput(exe, prose, options.rounds)
        memory(exe, prose)
        startup(exe, 500)


if __name__ == "__main__":
    main()
