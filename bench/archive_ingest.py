#!/usr/bin/env python3
"""Floods noxa-archive with records through a mosquitto broker and times their commits, into
SQLite and into PostgreSQL, and times PostgreSQL's own COPY of the same rows into a table of the
same shape (partitioned by month, the same primary key) for comparison.

    bench/archive_ingest.py [build/bin/noxa-archive] [--records N] [--stations S]

Everything runs on 127.0.0.1, on servers the script starts in temporary folders."""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import threading
import time
from datetime import timedelta

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "archive"))
from archive_harness import (START, Archive, Broker, PostgresServer, ms, record,  # noqa: E402
                             wait_for)

COLUMNS = ["station", "end_time", "start_time", "previous_end", "mag_v", "mag_v2", "mag_r",
           "mag_g", "mag_b", "freq_v", "freq_v2", "freq_r", "freq_g", "freq_b", "temperature",
           "sky_temperature", "reports", "reports_r", "reports_g", "reports_b", "sun_altitude",
           "moon_altitude", "moon_illumination", "committed_at"]


def station_records(stations, per_station):
    """Each station's payloads, one a minute from START."""
    return {f"s{s:03d}": [record(i, name=f"Station {s}") for i in range(per_station)]
            for s in range(stations)}


def flood(broker, payloads, count_stored, total):
    """Publishes every station's records at once; the seconds until all are stored."""
    started = time.monotonic()
    threads = [threading.Thread(target=broker.publish, args=(f"noxa/{station}/record", lines))
               for station, lines in payloads.items()]
    for thread in threads:
        thread.start()
    wait_for(lambda: count_stored() >= total, timeout=600, what="every record stored")
    elapsed = time.monotonic() - started
    for thread in threads:
        thread.join()
    return elapsed


def catch_up(archive, broker, payloads, count_stored, total):
    """With the archive away, the broker keeps its session's records; the seconds the archive
    takes to store them all once back."""
    archive.stop()
    for station, lines in payloads.items():
        broker.publish(f"noxa/{station}/record", lines)
    started = time.monotonic()
    archive.start()
    wait_for(lambda: count_stored() >= total, timeout=600, what="every record stored")
    return time.monotonic() - started


def run_archive(program, db_url, query, payloads, total, mode):
    with tempfile.TemporaryDirectory(prefix="noxa-bench-") as folder:
        broker = Broker()
        archive = Archive(program, broker, folder, db_url).start()
        try:
            if query is None:
                import sqlite3
                path = os.path.join(folder, "noxa-archive.db")

                def query(sql):
                    with sqlite3.connect(path) as db:
                        return db.execute(sql).fetchall()
            count = lambda: int(query("SELECT COUNT(*) FROM records")[0][0])  # noqa: E731
            if mode == "flood":
                elapsed = flood(broker, payloads, count, total)
            else:
                elapsed = catch_up(archive, broker, payloads, count, total)
            first, last = query("SELECT MIN(committed_at), MAX(committed_at) FROM records")[0]
            return elapsed, (int(last) - int(first)) / 1000
        finally:
            archive.stop()
            broker.close()


def copy_rows(pg, payloads, folder):
    """Seconds that psql's \\copy of the same rows into a table like records takes."""
    pg.query("CREATE TABLE copied (LIKE records INCLUDING ALL) PARTITION BY RANGE (end_time)")
    pg.query("CREATE TABLE copied_default PARTITION OF copied DEFAULT")
    months = sorted({name.replace("records_", "") for [name] in pg.query(
        "SELECT relname FROM pg_class WHERE relname LIKE 'records_20%' AND relkind = 'r'")})
    for month in months:
        bounds = pg.query(f"SELECT pg_get_expr(relpartbound, oid) FROM pg_class "
                          f"WHERE relname = 'records_{month}'")[0][0]
        pg.query(f"CREATE TABLE copied_{month} PARTITION OF copied {bounds}")
    path = os.path.join(folder, "rows.csv")
    with open(path, "w") as out:
        for station, lines in payloads.items():
            for line in lines:
                fields = json.loads(line)
                row = dict(fields, station=station, committed_at=0)
                for key in ("start", "end", "previous_end"):
                    row[{"start": "start_time", "end": "end_time"}.get(key, key)] = (
                        None if fields[key] is None else to_ms(fields[key]))
                out.write(",".join("" if row[c] is None else str(row[c]) for c in COLUMNS) + "\n")
    started = time.monotonic()
    subprocess.run(["psql", "-h", "127.0.0.1", "-p", str(pg.port), "-U", pg.user, "-d",
                    pg.database, "-X", "-q", "-c", f"\\copy copied FROM '{path}' CSV"],
                   check=True)
    return time.monotonic() - started


def report(engine, mode, total, elapsed, committing):
    what = ("from the first publish to the last commit" if mode == "flood" else
            "from the archive's start to the last commit, the broker holding them all")
    print(f"{engine + ' ' + mode + ':':22} {total / elapsed:7.0f} records/s {what} "
          f"({elapsed:.1f} s); {total / max(committing, 1e-3):7.0f}/s between the first and "
          f"last commit")


def to_ms(text):
    from datetime import datetime
    return ms(datetime.fromisoformat(text.replace("Z", "+00:00")))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program", nargs="?", default="build/bin/noxa-archive")
    parser.add_argument("--records", type=int, default=100000)
    parser.add_argument("--stations", type=int, default=10)
    args = parser.parse_args()
    per_station = args.records // args.stations
    total = per_station * args.stations
    payloads = station_records(args.stations, per_station)
    print(f"{total} records from {args.stations} stations, "
          f"{START:%Y-%m-%d} to {START + timedelta(minutes=per_station):%Y-%m-%d}")
    for mode in ("flood", "catch-up"):
        elapsed, committing = run_archive(args.program, None, None, payloads, total, mode)
        report("SQLite", mode, total, elapsed, committing)
    with PostgresServer() as pg, tempfile.TemporaryDirectory() as folder:
        for mode in ("flood", "catch-up"):
            pg.query("DROP TABLE IF EXISTS records, stations, schema_version")
            elapsed, committing = run_archive(args.program, pg.url, pg.query, payloads, total,
                                              mode)
            report("PostgreSQL", mode, total, elapsed, committing)
        seconds = copy_rows(pg, payloads, folder)
        print(f"{'COPY:':22} {total / seconds:7.0f} records/s ({seconds:.1f} s, psql \\copy of "
              f"the same rows into a table like records)")


if __name__ == "__main__":
    main()
