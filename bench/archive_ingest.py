#!/usr/bin/env python3
"""Floods noxa-archive with records through a mosquitto broker and times their commits, into
SQLite and into PostgreSQL, with the CPU time that the archive, the broker and PostgreSQL spend.
Two ceilings for comparison: a plain QoS 1 subscriber (mosquitto_sub, storing nothing) draining
the same records from the same broker, and PostgreSQL's own COPY of the same rows into a table
of the same shape (partitioned by month, the same primary key).

    bench/archive_ingest.py [build/bin/noxa-archive] [--records N] [--stations S]

Everything runs on 127.0.0.1, on servers the script starts in temporary folders."""
import argparse
import json
import os
import resource
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


def cpu_seconds(pid):
    """The CPU time (user and system) process `pid` has used; 0 once it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def postgres_cpu_seconds():
    """The CPU time of every running PostgreSQL process (only the bench's server runs here)."""
    total = 0.0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/comm") as comm:
                if comm.read().strip() == "postgres":
                    total += cpu_seconds(pid)
        except OSError:
            pass
    return total


class CpuMeter:
    """The CPU time the archive, the broker and PostgreSQL spend from start() to stop()."""

    def __init__(self, broker):
        self.broker = broker
        self.publishers = None

    def start(self, archive_pid=None):
        """From now on; without `archive_pid`, the archive about to start counts all its
        time (see archive_started)."""
        self.archive_pid = archive_pid
        self.before = (cpu_seconds(archive_pid) if archive_pid else 0.0,
                       cpu_seconds(self.broker.process.pid), postgres_cpu_seconds())

    def archive_started(self, archive_pid):
        self.archive_pid = archive_pid

    def stop(self):
        after = (cpu_seconds(self.archive_pid), cpu_seconds(self.broker.process.pid),
                 postgres_cpu_seconds())
        self.archive, self.broker_cpu, self.postgres = (a - b for a, b in zip(after, self.before))


class PsqlSession:
    """One psql connection that answers queries while the archive works: a new psql a poll
    would cost more CPU than the archive."""

    def __init__(self, pg):
        self.process = subprocess.Popen(
            ["psql", "-h", "127.0.0.1", "-p", str(pg.port), "-U", pg.user, "-d", pg.database,
             "-X", "-q", "-A", "-t", "-F", "\t", "-v", "ON_ERROR_STOP=1"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def query(self, sql):
        self.process.stdin.write(sql.rstrip(";") + ";\n")
        return [self.process.stdout.readline().rstrip("\n").split("\t")]

    def close(self):
        self.process.stdin.close()
        self.process.wait()


def publish_all(broker, payloads):
    """Publishes every station's records at once, a publisher each; returns the threads."""
    threads = [threading.Thread(target=broker.publish, args=(f"noxa/{station}/record", lines))
               for station, lines in payloads.items()]
    for thread in threads:
        thread.start()
    return threads


def flood(archive, meter, broker, payloads, count_stored, total):
    """Publishes every station's records at once; the seconds until all are stored. The
    meter gets the publishers' CPU time too."""
    meter.start(archive.process.pid)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.monotonic()
    threads = publish_all(broker, payloads)
    wait_for(lambda: count_stored() >= total, timeout=600, what="every record stored")
    elapsed = time.monotonic() - started
    meter.stop()
    for thread in threads:
        thread.join()
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    meter.publishers = (after.ru_utime + after.ru_stime) - (children.ru_utime + children.ru_stime)
    return elapsed


def catch_up(archive, meter, broker, payloads, count_stored, total):
    """With the archive away, the broker keeps its session's records; the seconds the archive
    takes to store them all once back."""
    archive.stop()
    for station, lines in payloads.items():
        broker.publish(f"noxa/{station}/record", lines)
    meter.start()
    started = time.monotonic()
    archive.start()
    meter.archive_started(archive.process.pid)
    wait_for(lambda: count_stored() >= total, timeout=600, what="every record stored")
    elapsed = time.monotonic() - started
    meter.stop()
    return elapsed


def drain(payloads, total, mode):
    """The broker's own ceiling: the records/s a plain QoS 1 subscriber with a persistent
    session (mosquitto_sub, writing them to /dev/null) takes them at, as the archive would."""
    broker = Broker()
    try:
        subscriber = ["mosquitto_sub", "-p", str(broker.port), "-q", "1", "-c", "-i",
                      "noxa-bench-drain", "-t", "noxa/+/record"]
        wait_for(lambda: subprocess.run(subscriber + ["-E"], stderr=subprocess.DEVNULL)
                 .returncode == 0, what="the broker")
        if mode == "catch-up":
            for station, lines in payloads.items():
                broker.publish(f"noxa/{station}/record", lines)
        started = time.monotonic()
        threads = publish_all(broker, payloads) if mode == "flood" else []
        subprocess.run(subscriber + ["-C", str(total)], stdout=subprocess.DEVNULL, check=True)
        elapsed = time.monotonic() - started
        for thread in threads:
            thread.join()
        return elapsed
    finally:
        broker.close()


def run_archive(program, db_url, query, payloads, total, mode):
    with tempfile.TemporaryDirectory(prefix="noxa-bench-") as folder:
        broker = Broker()
        archive = Archive(program, broker, folder, db_url).start()
        meter = CpuMeter(broker)
        try:
            if query is None:
                import sqlite3
                path = os.path.join(folder, "noxa-archive.db")

                def query(sql):
                    with sqlite3.connect(path) as db:
                        return db.execute(sql).fetchall()
            count = lambda: int(query("SELECT COUNT(*) FROM records")[0][0])  # noqa: E731
            run = flood if mode == "flood" else catch_up
            elapsed = run(archive, meter, broker, payloads, count, total)
            first, last = query("SELECT MIN(committed_at), MAX(committed_at) FROM records")[0]
            return elapsed, (int(last) - int(first)) / 1000, meter
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


def report(engine, mode, total, elapsed, committing, meter):
    what = ("from the first publish to the last commit" if mode == "flood" else
            "from the archive's start to the last commit, the broker holding them all")
    others = f", PostgreSQL {meter.postgres:.2f} s" if engine == "PostgreSQL" else ""
    if meter.publishers is not None:
        others += f", publishers {meter.publishers:.2f} s"
    print(f"{engine + ' ' + mode + ':':22} {total / elapsed:7.0f} records/s {what} "
          f"({elapsed:.1f} s); {total / max(committing, 1e-3):7.0f}/s between the first and "
          f"last commit; CPU: archive {meter.archive:.2f} s "
          f"({meter.archive / total * 1e6:.0f} us/record), broker {meter.broker_cpu:.2f} s"
          f"{others}")


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
        seconds = drain(payloads, total, mode)
        print(f"{'mosquitto_sub ' + mode + ':':22} {total / seconds:7.0f} records/s (the "
              f"broker's ceiling: a QoS 1 subscriber that stores nothing, {seconds:.1f} s)")
    for mode in ("flood", "catch-up"):
        report("SQLite", mode, total, *run_archive(args.program, None, None, payloads, total,
                                                   mode))
    with PostgresServer() as pg, tempfile.TemporaryDirectory() as folder:
        for mode in ("flood", "catch-up"):
            pg.query("DROP TABLE IF EXISTS records, stations, schema_version")
            session = PsqlSession(pg)
            try:
                measured = run_archive(args.program, pg.url, session.query, payloads, total,
                                       mode)
            finally:
                session.close()
            report("PostgreSQL", mode, total, *measured)
        seconds = copy_rows(pg, payloads, folder)
        print(f"{'COPY:':22} {total / seconds:7.0f} records/s ({seconds:.1f} s, psql \\copy of "
              f"the same rows into a table like records)")


if __name__ == "__main__":
    main()
