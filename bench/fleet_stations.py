#!/usr/bin/env python3
"""How long noxa-archive takes to answer /api/stations for a large fleet, from SQLite and from
PostgreSQL (a server of its own, Debian's postgresql-15): the archive's tables made by the
archive itself, filled with STATIONS stations of RECORDS ten-minute records each (states,
availabilities, some offline, some under cloud), then the archive started with its web side
and /api/stations asked ROUNDS times, a new connection each. The broker it is given listens
nowhere: the archive keeps trying it and serves all the same. Prints the median and the
slowest answer, the archive's CPU time an answer (which other work on the machine does not
stretch), the answer's size and the load average.

Usage: bench/fleet_stations.py [--bin build/bin] [--stations 5000] [--records 48]
                               [--rounds 30] [--engine sqlite|postgresql|both]"""
import argparse
import io
import json
import os
import signal
import socket
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "support"))
from postgres_server import PostgresServer, free_port  # noqa: E402

MINUTE = 60_000


def station_rows(count, records, now):
    for i in range(count):
        offline = i % 17 == 0
        cloudy = i % 5 == 1
        state = {"safe": not cloudy, "link_ok": i % 13 != 0, "mag_v": 20.5,
                 "unsafe_reason": "too cloudy" if cloudy else None}
        last = now - MINUTE
        first = last - (records - 1) * 10 * MINUTE
        yield (f"s{i:05d}", f"Station {i}", first, last, records, last, json.dumps(state), now,
               "offline" if offline else "online", now)


def record_rows(count, records, now):
    for i in range(count):
        last = now - MINUTE
        for k in range(records):
            end = last - (records - 1 - k) * 10 * MINUTE
            previous = end - 10 * MINUTE if k else None
            yield (f"s{i:05d}", end, end - MINUTE, previous, 20.0 + (k % 10) / 10, 60, 0, 0, 0,
                   -30.0, -5.0, end)


STATION_COLUMNS = ("station, name, first_end, last_end, records, through, state, state_time, "
                   "availability, availability_time")
RECORD_COLUMNS = ("station, end_time, start_time, previous_end, mag_v, reports, reports_r, "
                  "reports_g, reports_b, sun_altitude, moon_altitude, committed_at")


def fill_sqlite(path, count, records, now):
    db = sqlite3.connect(path)
    db.executemany(f"INSERT INTO stations ({STATION_COLUMNS}) VALUES (?,?,?,?,?,?,?,?,?,?)",
                   station_rows(count, records, now))
    db.executemany(f"INSERT INTO records ({RECORD_COLUMNS}) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)",
                   record_rows(count, records, now))
    db.commit()
    db.close()


def copy_text(rows):
    out = io.StringIO()
    for row in rows:
        out.write("\t".join("\\N" if v is None else str(v).replace("\\", "\\\\") for v in row))
        out.write("\n")
    return out.getvalue()


def fill_postgres(pg, count, records, now):
    for table, columns, rows in (("stations", STATION_COLUMNS, station_rows(count, records, now)),
                                 ("records", RECORD_COLUMNS, record_rows(count, records, now))):
        subprocess.run(["psql", "-h", "127.0.0.1", "-p", str(pg.port), "-U", pg.user,
                        "-d", pg.database, "-X", "-q", "-v", "ON_ERROR_STOP=1",
                        "-c", f"COPY {table} ({columns}) FROM STDIN"],
                       input=copy_text(rows), text=True, check=True)


def start_archive(program, folder, db_url, http_port, ready):
    args = [program, "--dir", folder, "--mqtt", f"127.0.0.1:{free_port()}", "--db", db_url]
    if http_port:
        args += ["--http", str(http_port)]
    archive = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
    for line in archive.stdout:
        if ready in line:
            # Its log drained from now on, so that it never waits on a full pipe.
            threading.Thread(target=archive.stdout.read, daemon=True).start()
            return archive
    raise SystemExit("noxa-archive ended before it said: " + ready)


def stop(archive):
    archive.send_signal(signal.SIGTERM)
    archive.wait(timeout=30)


def cpu_seconds(pid):
    """The process's CPU time, user and system: unlike the wall time, not stretched by other
    work on the machine."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def get(url):
    with urllib.request.urlopen(url, timeout=30) as answer:
        return answer.status, answer.read()


def get_or_wait(url):
    try:
        return get(url)
    except urllib.error.HTTPError as error:  # 503 until the database was read
        return error.code, b""


def measure(program, db_url, fill, count, rounds):
    folder = tempfile.mkdtemp(prefix="noxa-fleet-bench-")
    stop(start_archive(program, folder, db_url, None, "stations known"))  # makes the tables
    fill()
    port = free_port()
    archive = start_archive(program, folder, db_url, port, "Fleet web on")
    url = f"http://127.0.0.1:{port}/api/stations"
    try:
        deadline = time.monotonic() + 60
        while True:  # until the stations are read (the archive opens the database first)
            status, body = get_or_wait(url)
            if status == 200 and len(json.loads(body)) == count:
                break
            if time.monotonic() > deadline:
                raise SystemExit("the archive never listed every station")
            time.sleep(0.2)
        times = []
        cpu_before = cpu_seconds(archive.pid)
        for _ in range(rounds):
            started = time.perf_counter()
            status, body = get(url)
            times.append((time.perf_counter() - started) * 1000)
            assert status == 200
        cpu = (cpu_seconds(archive.pid) - cpu_before) * 1000 / rounds
        return statistics.median(times), max(times), cpu, len(body)
    finally:
        stop(archive)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", default=os.path.join(here, "..", "build", "bin"))
    parser.add_argument("--stations", type=int, default=5000)
    parser.add_argument("--records", type=int, default=48)
    parser.add_argument("--rounds", type=int, default=30)
    parser.add_argument("--engine", choices=["sqlite", "postgresql", "both"], default="both")
    args = parser.parse_args()
    program = os.path.join(args.bin, "noxa-archive")
    now = int(time.time() * 1000)
    results = []
    if args.engine in ("sqlite", "both"):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "fleet.db")
            results.append(("SQLite", measure(
                program, "sqlite:" + path,
                lambda: fill_sqlite(path, args.stations, args.records, now),
                args.stations, args.rounds)))
    if args.engine in ("postgresql", "both"):
        with PostgresServer() as pg:
            results.append(("PostgreSQL", measure(
                program, pg.url, lambda: fill_postgres(pg, args.stations, args.records, now),
                args.stations, args.rounds)))
    load = os.getloadavg()[0]
    for engine, (median, slowest, cpu, size) in results:
        print(f"{engine}: /api/stations for {args.stations} stations ({args.records} records "
              f"each): median {median:.1f} ms, slowest {slowest:.1f} ms of {args.rounds}; the "
              f"archive's CPU {cpu:.1f} ms an answer; {size / 1e6:.2f} MB; load average {load:.1f}")


if __name__ == "__main__":
    main()
