#!/usr/bin/env python3
"""Kills kevra-cli writers with SIGKILL at random points and checks what is left.

Each round copies a generated database, starts one change in a real
kevra-cli process (an update of every row, an insert of many rows or a
delete of many rows, each one transaction), kills it after a random delay
spread over the change's own running time, lets `kevra-cli recover` undo
whatever was interrupted, then compares the tables with the states before
and after the change and runs `kevra-cli check`. A round ends "old", "new"
or "corrupt"; any corrupt round fails the run.

Usage: crash_recover.py --cli PATH [--rounds N] [--rows N] [--seed S] [--keep DIR]
"""
import argparse
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CHANGES = [
    "UPDATE Customers SET Qty = Qty + 1, Label = 'round ' & ID",
    "INSERT INTO Customers (Name, Qty, Balance, Created, Active, Label) SELECT Name, Qty, Balance, Created, Active, Label FROM Customers WHERE ID MOD 2 = 0",
    "DELETE FROM Orders WHERE ID MOD 3 = 0",
]


def run(cli, *args, check=True):
    result = subprocess.run([cli, *args], capture_output=True, text=True)
    if check and result.returncode != 0:
        raise RuntimeError(f"kevra-cli {' '.join(args)} failed: {result.stderr.strip()}")
    return result


def state(cli, path):
    """A digest of every row of both tables, in storage order."""
    digest = hashlib.sha256()
    for table in ("Customers", "Orders"):
        digest.update(run(cli, "export", path, table).stdout.encode())
    return digest.hexdigest()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--rounds", type=int, default=100)
    parser.add_argument("--rows", type=int, default=20000)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--keep", help="copy corrupt files here")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="kevra-crash-")
    try:
        base = os.path.join(work, "base.mdb")
        run(args.cli, "generate", base, "--rows", str(args.rows), "--seed", "7")
        old = state(args.cli, base)
        # The state each change leads to, and how long it takes unhindered.
        outcomes = []
        for sql in CHANGES:
            copy = os.path.join(work, "new.mdb")
            shutil.copyfile(base, copy)
            started = time.monotonic()
            run(args.cli, "sql", copy, sql)
            outcomes.append((sql, state(args.cli, copy), time.monotonic() - started))
            os.remove(copy)
        tally = {"old": 0, "new": 0, "corrupt": 0}
        mid_commit = 0
        for round_number in range(args.rounds):
            sql, new, duration = outcomes[round_number % len(outcomes)]
            path = os.path.join(work, f"round{round_number}.mdb")
            shutil.copyfile(base, path)
            writer = subprocess.Popen([args.cli, "sql", path, sql], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            time.sleep(rng.uniform(0, duration * 1.1))
            writer.send_signal(signal.SIGKILL)
            writer.wait()
            if os.path.exists(path + ".journal"):
                mid_commit += 1
            verdict = "corrupt"
            try:
                run(args.cli, "recover", path)
                now = state(args.cli, path)
                healthy = run(args.cli, "check", path, check=False).returncode == 0
                if healthy and now == old:
                    verdict = "old"
                elif healthy and now == new:
                    verdict = "new"
            except RuntimeError as error:
                print(f"round {round_number}: {error}", file=sys.stderr)
            tally[verdict] += 1
            if verdict == "corrupt":
                print(f"round {round_number} ({sql}): corrupt", file=sys.stderr)
                if args.keep:
                    shutil.copyfile(path, os.path.join(args.keep, f"corrupt{round_number}.mdb"))
            os.remove(path)
        print(f"{args.rounds} kills ({mid_commit} with a journal left): "
              f"{tally['old']} old / {tally['new']} new / {tally['corrupt']} corrupt")
        return 1 if tally["corrupt"] else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
