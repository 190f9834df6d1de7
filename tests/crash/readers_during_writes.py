#!/usr/bin/env python3
"""Exports running back to back against a writer in another process.

A generated database starts with every Customers row labelled alike. Each
round one kevra-cli writer changes the file in one statement that keeps that
true: it relabels every row, or it copies 3,000 rows (labels included), which
grows the file by new pages. Meanwhile kevra-cli exports Customers again and
again. Every export must succeed and show one state of the file: one label
on every row, and a row count the rounds can produce. A mix of labels, a
count between states or an error is a failure.

Usage: readers_during_writes.py --cli PATH [--rounds N] [--rows N]
"""
import argparse
import csv
import io
import os
import shutil
import subprocess
import sys
import tempfile
import threading


def run(cli, *args):
    result = subprocess.run([cli, *args], capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"kevra-cli {' '.join(args[:1])} failed: {result.stderr.strip()}")
    return result.stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--rounds", type=int, default=50)
    parser.add_argument("--rows", type=int, default=10000)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="kevra-readers-")
    try:
        path = os.path.join(work, "shared.mdb")
        run(args.cli, "generate", path, "--rows", str(args.rows), "--seed", "3")
        run(args.cli, "sql", path, "UPDATE Customers SET Label = 'r0'")
        base = args.rows
        stop = threading.Event()
        problems, exports = [], [0]

        def read_back_to_back():
            while not stop.is_set():
                try:
                    text = run(args.cli, "export", path, "Customers")
                except RuntimeError as error:
                    problems.append(str(error))
                    continue
                rows = list(csv.reader(io.StringIO(text)))
                label = rows[0].index("Label")
                labels = {row[label] for row in rows[1:]}
                count = len(rows) - 1
                exports[0] += 1
                if len(labels) != 1 or (count - base) % 3000 != 0:
                    problems.append(f"export {exports[0]}: {count} rows, labels {sorted(labels)[:4]}")

        reader = threading.Thread(target=read_back_to_back)
        reader.start()
        try:
            for round_number in range(1, args.rounds + 1):
                if round_number % 2:
                    run(args.cli, "sql", path, f"UPDATE Customers SET Label = 'r{round_number}'")
                else:
                    run(args.cli, "sql", path, "INSERT INTO Customers (Name, Qty, Active, Label) "
                        "SELECT TOP 3000 Name, Qty, Active, Label FROM Customers")
        finally:
            stop.set()
            reader.join()
        check = subprocess.run([args.cli, "check", path], capture_output=True, text=True)
        print(f"{args.rounds} writes against {exports[0]} exports: {len(problems)} problems; "
              f"check: {check.stdout.strip().splitlines()[-1] if check.stdout.strip() else check.stderr.strip()}")
        for problem in problems[:10]:
            print("  " + problem, file=sys.stderr)
        return 1 if problems or check.returncode != 0 or exports[0] == 0 else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
