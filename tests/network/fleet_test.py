#!/usr/bin/env python3
"""A fleet of headless stations, each in its own folder and fed by its own simulator, publishing
their records to one mosquitto; one archive writes them into PostgreSQL, one into SQLite. During
the run the broker restarts, the PostgreSQL archive is killed with SIGKILL and started again,
the database stops for a while, and one station loses its broker for several records and then
restarts. At the end every record of every station's data file is in both archives exactly once,
with the same means. Prints the figures of the run (latency from a record's end to its commit,
the stations' memory and CPU).

Usage: fleet_test.py BIN_DIR [--stations N] [--record-seconds S] [--phase-seconds P]
                             [--db-outage-seconds D] [--keep FOLDER]"""
import argparse
import contextlib
import os
import sqlite3
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [here, os.path.join(here, "..", "support")]
import servers  # noqa: E402
from postgres_server import PostgresServer  # noqa: E402
from network_processes import Archive, Station  # noqa: E402
from station_records import same_record  # noqa: E402

COLUMNS = ("end_time, mag_v, mag_v2, mag_r, mag_g, mag_b, freq_v, freq_v2, freq_r, freq_g, "
           "freq_b, temperature, sky_temperature, committed_at")


def postgres_rows(pg):
    rows = {}
    for row in pg.query(f"SELECT station, {COLUMNS} FROM records"):
        rows.setdefault(row[0], []).append([None if v == "" else float(v) for v in row[1:]])
    return rows


def sqlite_rows(path):
    rows = {}
    with sqlite3.connect(f"file:{path}?mode=ro", uri=True, timeout=10) as db:
        for row in db.execute(f"SELECT station, {COLUMNS} FROM records"):
            rows.setdefault(row[0], []).append(list(row[1:]))
    return rows


def missing(stations, rows):
    """The stations whose data file has records that the archive's rows lack."""
    return [s.name for s in stations if len(rows.get(s.name, [])) < len(s.records())]


def compare(stations, rows, archive):
    problems = []
    for s in stations:
        expected = s.records()
        got = sorted(rows.get(s.name, []), key=lambda r: r[0])
        if len(got) != len(expected):
            problems.append(f"{archive}: {s.name} has {len(got)} records, its files "
                            f"{len(expected)}")
            continue
        for line, row in zip(expected, got):
            if not same_record(line, row):
                problems.append(f"{archive}: {s.name} differs at {line}: {row}")
                break
    return problems


def latencies(rows):
    return sorted((r[-1] - r[0]) / 1000.0 for station in rows.values() for r in station)


def percentile(values, share):
    return values[min(len(values) - 1, int(share * len(values)))] if values else float("nan")


def faults(args, broker, pg, archives, stations, relay, wait_phase):
    """Each fault in turn, with a phase of ordinary running after it. Returns the relay."""
    cut = stations[0]
    wait_phase()
    first_fault_ms = time.time() * 1000
    print("broker restarts", flush=True)
    broker.restart()
    wait_phase()
    print("the PostgreSQL archive is killed and started again", flush=True)
    archives[0].kill()
    wait_phase(args.record_seconds * 2)
    archives[0].start()
    wait_phase()
    print(f"the database stops for {args.db_outage_seconds} s", flush=True)
    pg.stop()
    wait_phase(args.db_outage_seconds)
    pg.start()
    wait_phase()
    print(f"{cut.name} loses its broker, then restarts", flush=True)
    relay.stop()
    wait_phase(args.record_seconds * 4)
    cut.stop()
    relay.start()
    cut.start()
    wait_phase()
    return first_fault_ms


def run(args, folder):
    with contextlib.ExitStack() as cleanup:
        broker = servers.Mosquitto(folder).start()
        cleanup.callback(broker.stop)
        pg = PostgresServer(user="noxa", database="noxa").start()
        cleanup.callback(pg.close)
        relay = servers.Relay(servers.free_port(), broker.port).start()
        cleanup.callback(relay.stop)
        lite = os.path.join(folder, "lite.db")
        archives = [Archive(args.bin, folder, "pg", broker.port, pg.url),
                    Archive(args.bin, folder, "lite", broker.port, "sqlite:" + lite)]
        stations = [Station(args.bin, folder, i, broker.port, args.record_seconds)
                    for i in range(args.stations)]
        stations[0].point_at(relay.port)
        for a in archives:
            a.start()
            cleanup.callback(lambda a=a: a.process.poll() is None and a.stop())
        for s in stations:
            s.start()
            cleanup.callback(s.stop)
            cleanup.callback(s.stop_sim)

        def wait_phase(seconds=args.phase_seconds):
            deadline = time.monotonic() + seconds
            while time.monotonic() < deadline:
                for s in stations:
                    s.sample()
                time.sleep(min(1.0, max(0.0, deadline - time.monotonic())))

        started = time.monotonic()
        first_fault_ms = faults(args, broker, pg, archives, stations, relay, wait_phase)
        for s in stations:
            s.stop_sim()
        # The last records of each station come in after the reports stop.
        wait_phase(args.record_seconds * 2)
        servers.wait_for(lambda: not missing(stations, postgres_rows(pg))
                         and not missing(stations, sqlite_rows(lite)), seconds=120,
                         what="every record in both archives")
        for s in stations:
            s.stop()
        seconds = time.monotonic() - started
        pg_rows, lite_rows = postgres_rows(pg), sqlite_rows(lite)
    problems = compare(stations, pg_rows, "PostgreSQL") + compare(stations, lite_rows, "SQLite")
    report(stations, pg_rows, lite_rows, first_fault_ms, seconds)
    for p in problems[:20]:
        print("FAIL", p)
    return not problems


def report(stations, pg_rows, lite_rows, first_fault_ms, seconds):
    records = sum(len(s.records()) for s in stations)
    print(f"{len(stations)} stations, {records} records in {seconds:.0f} s")
    for label, rows in (("PostgreSQL", pg_rows), ("SQLite", lite_rows)):
        for part, chosen in (("before the faults", lambda r: r[0] < first_fault_ms),
                             ("whole run", lambda r: True)):
            lat = latencies({k: [r for r in v if chosen(r)] for k, v in rows.items()})
            print(f"{label}, {part}: end to commit: median {percentile(lat, 0.5):.3f} s, "
                  f"99th percentile {percentile(lat, 0.99):.3f} s ({len(lat)} records)")
    rss = sorted(s.peak_rss_kib for s in stations)
    cpu = sorted(s.cpu_seconds for s in stations)
    print(f"stations: peak memory median {rss[len(rss) // 2] / 1024:.1f} MiB, max "
          f"{rss[-1] / 1024:.1f} MiB; CPU median {cpu[len(cpu) // 2]:.2f} s "
          f"({100 * cpu[len(cpu) // 2] / seconds:.2f} % of a core), max {cpu[-1]:.2f} s")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin")
    parser.add_argument("--stations", type=int, default=100)
    parser.add_argument("--record-seconds", type=int, default=2)
    parser.add_argument("--phase-seconds", type=float, default=10)
    parser.add_argument("--db-outage-seconds", type=float, default=10)
    parser.add_argument("--keep", help="run in this folder and keep it")
    args = parser.parse_args()
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
        ok = run(args, args.keep)
    else:
        with tempfile.TemporaryDirectory(prefix="noxa-fleet-") as folder:
            ok = run(args, folder)
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
