#!/usr/bin/env python3
"""Writers are not starved by a steady stream of readers.

Several kevra-cli processes export the Customers table of a generated
database back to back, each starting its next export as soon as the last
ends, so that at almost every moment some export is reading the file.
Meanwhile one-row updates run one after another in other processes. Every
update must commit: a writer that waits keeps new readers out, so it needs
to wait only for the exports already under way. The time each update took
is printed for a reader of the log (the check is that they all commit).

Usage: writers_among_readers.py --cli PATH [--readers N] [--writes N] [--rows N]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--readers", type=int, default=4)
    parser.add_argument("--writes", type=int, default=17)
    parser.add_argument("--rows", type=int, default=150000)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="kevra-writers-")
    try:
        path = os.path.join(work, "shared.mdb")
        subprocess.run([args.cli, "generate", path, "--rows", str(args.rows), "--seed", "5"],
                       check=True, capture_output=True)
        stop = threading.Event()
        exports, reader_errors = [0], []

        def read_back_to_back():
            while not stop.is_set():
                result = subprocess.run([args.cli, "export", path, "Customers"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
                if result.returncode != 0:
                    reader_errors.append(result.stderr.strip())
                exports[0] += 1

        readers = [threading.Thread(target=read_back_to_back) for _ in range(args.readers)]
        for reader in readers:
            reader.start()
        time.sleep(1.0)  # let the readers overlap before the first write
        failures, times = [], []
        try:
            for n in range(1, args.writes + 1):
                started = time.monotonic()
                result = subprocess.run(
                    [args.cli, "sql", path, f"UPDATE Customers SET Label = 'w{n}' WHERE ID = {n}"],
                    capture_output=True, text=True)
                times.append(time.monotonic() - started)
                if result.returncode != 0:
                    failures.append(f"update {n}: {result.stderr.strip()}")
        finally:
            stop.set()
            for reader in readers:
                reader.join()
        labels = subprocess.run([args.cli, "sql", path,
                                 f"SELECT COUNT(*) AS n FROM Customers WHERE Label LIKE 'w*' AND ID <= {args.writes}"],
                                capture_output=True, text=True)
        print(f"{args.writes - len(failures)} of {args.writes} updates committed among {args.readers} readers "
              f"({exports[0]} exports); slowest update {max(times):.2f} s, median {sorted(times)[len(times) // 2]:.2f} s; "
              f"count: {labels.stdout.strip()}")
        for problem in (failures + reader_errors)[:10]:
            print("  " + problem, file=sys.stderr)
        counted = f'"n":{args.writes}' in labels.stdout.replace(" ", "")
        return 1 if failures or reader_errors or not counted or exports[0] == 0 else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
