#!/usr/bin/env python3
"""The archive's memory as its database grows: 100 stations' records, a minute apart, published
in steps through a broker of its own into SQLite and into PostgreSQL (a server it starts
itself); after each step the archive's resident memory and its peak. A year of 100 stations is
52.6 million records; the steps show whether memory follows the records stored or stays flat.

    bench/archive_memory.py [build/bin/noxa-archive] [--stations 100] [--steps 4]
                            [--per-step 1000]  (records per station and step)"""
import argparse
import os
import sqlite3
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "archive"))
from archive_harness import Archive, Broker, PostgresServer, record, wait_for  # noqa: E402


def memory_kib(pid):
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                values[key] = int(rest.split()[0])
    return values["VmRSS"], values["VmHWM"]


def run(program, engine, args):
    with tempfile.TemporaryDirectory(prefix="noxa-bench-") as folder:
        pg = PostgresServer().start() if engine == "PostgreSQL" else None
        broker = Broker()
        archive = Archive(program, broker, folder, pg.url if pg else None).start()
        path = os.path.join(folder, "noxa-archive.db")

        def stored():
            if pg:
                return int(pg.query("SELECT COUNT(*) FROM records")[0][0])
            with sqlite3.connect(path) as db:
                return db.execute("SELECT COUNT(*) FROM records").fetchone()[0]
        try:
            for step in range(1, args.steps + 1):
                first = (step - 1) * args.per_step
                for s in range(args.stations):
                    lines = [record(i, previous=i > 0, name=f"Station {s}")
                             for i in range(first, first + args.per_step)]
                    broker.publish(f"noxa/s{s:03d}/record", lines)
                total = step * args.per_step * args.stations
                wait_for(lambda: stored() >= total, timeout=900, what="the step stored")
                rss, peak = memory_kib(archive.process.pid)
                print(f"{engine:10} {total:9,} records stored: memory {rss / 1024:6.1f} MiB, "
                      f"peak {peak / 1024:6.1f} MiB", flush=True)
        finally:
            archive.stop()
            broker.close()
            if pg:
                pg.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program", nargs="?", default="build/bin/noxa-archive")
    parser.add_argument("--stations", type=int, default=100)
    parser.add_argument("--steps", type=int, default=4)
    parser.add_argument("--per-step", type=int, default=1000)
    args = parser.parse_args()
    for engine in ("SQLite", "PostgreSQL"):
        run(args.program, engine, args)


if __name__ == "__main__":
    main()
