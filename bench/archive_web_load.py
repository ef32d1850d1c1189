#!/usr/bin/env python3
"""The archive's commits while its web side serves large answers.

An archive on SQLite is given one station with a long history (--history records, one a
minute) and then 10 live stations publishing a record each second, their ends "now". The time
from each live record's end to its commit is measured twice: quietly, and while --fetchers
clients fetch the whole history from /api/records at --rate bytes/s each with
"Connection: close" (curl --limit-rate). Prints the median and 99th percentile of both,
whether every answer came whole (curl's exit status, which tells a chunked answer cut short,
and the body's size against Content-Length where there is one) and the archive's peak resident
memory (VmHWM).

Usage: bench/archive_web_load.py [build/bin/noxa-archive] [--history 100000] [--seconds 20]
                                 [--fetchers 4] [--rate 5M]
Needs mosquitto and curl. Everything runs on 127.0.0.1, on servers started here in temporary
folders."""
import argparse
import json
import os
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from datetime import datetime, timedelta, timezone

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "archive"))
from archive_harness import Broker, free_port, record, utc, wait_for  # noqa: E402


def live_record(name):
    end = datetime.now(timezone.utc)
    fields = json.loads(record(0, previous=False, name=name))
    fields.update(start=utc(end - timedelta(seconds=1)), end=utc(end))
    return json.dumps(fields, separators=(",", ":"))


def publish_live(broker, stations, seconds, stop_at):
    """Each station a record a second for `seconds`; returns when done."""
    while time.monotonic() < stop_at:
        began = time.monotonic()
        for s in range(stations):
            broker.publish(f"noxa/live{s:02d}/record", [live_record(f"Live {s}")])
        time.sleep(max(0.0, 1.0 - (time.monotonic() - began)))


def latencies(db_path, since_ms):
    with sqlite3.connect(db_path) as db:
        rows = db.execute("SELECT committed_at - end_time FROM records WHERE station LIKE "
                          "'live%' AND end_time >= ?", (since_ms,)).fetchall()
    return sorted(r[0] / 1000 for r in rows)


def summary(values):
    if not values:
        return "no records"
    p99 = values[min(len(values) - 1, int(len(values) * 0.99))]
    return f"{len(values)} records, median {statistics.median(values):.3f} s, p99 {p99:.3f} s"


def fetch(url, rate, results):
    with tempfile.TemporaryDirectory() as folder:
        body, head = os.path.join(folder, "body"), os.path.join(folder, "head")
        done = subprocess.run(["curl", "-s", "-H", "Connection: close", "--limit-rate", rate,
                               "-D", head, "-o", body, url])
        length = None
        with open(head) as f:
            for line in f:
                if line.lower().startswith("content-length:"):
                    length = int(line.split(":")[1])
        results.append((done.returncode, os.path.getsize(body), length))


def peak_memory(pid):
    """The process's peak resident memory, as /proc says it (e.g. "61234 kB")."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return line.split(":", 1)[1].strip()
    return "unknown"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", nargs="?", default="build/bin/noxa-archive")
    parser.add_argument("--history", type=int, default=100000)
    parser.add_argument("--stations", type=int, default=10)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--fetchers", type=int, default=4)
    parser.add_argument("--rate", default="5M")
    args = parser.parse_args()

    broker = Broker()
    with tempfile.TemporaryDirectory() as folder:
        http = free_port()
        log = open(os.path.join(folder, "archive.log"), "w")
        archive = subprocess.Popen([os.path.abspath(args.program), "--dir", folder, "--mqtt",
                                    f"127.0.0.1:{broker.port}", "--http", str(http)],
                                   stdout=log, stderr=subprocess.STDOUT)
        db_path = os.path.join(folder, "noxa-archive.db")
        try:
            time.sleep(1)
            # The history ends before now: the archive refuses records from the future.
            start = datetime.now(timezone.utc) - timedelta(minutes=args.history + 10)
            broker.publish("noxa/big/record", [record(i, name="Big", start=start) for i in
                                               range(args.history)])

            def stored():
                with sqlite3.connect(db_path) as db:
                    return db.execute("SELECT COUNT(*) FROM records").fetchone()[0]
            wait_for(lambda: stored() >= args.history, timeout=600, what="the history")
            url = (f"http://127.0.0.1:{http}/api/records?station=big&from=0&to="
                   f"{int(time.time() * 1000)}")

            since = int(time.time() * 1000)
            publish_live(broker, args.stations, args.seconds, time.monotonic() + args.seconds)
            time.sleep(1)
            quiet = latencies(db_path, since)

            since = int(time.time() * 1000)
            results = []
            fetchers = [threading.Thread(target=fetch, args=(url, args.rate, results))
                        for _ in range(args.fetchers)]
            for t in fetchers:
                t.start()
            publish_live(broker, args.stations, args.seconds, time.monotonic() + args.seconds)
            for t in fetchers:
                t.join()
            time.sleep(1)
            loaded = latencies(db_path, since)
            peak = peak_memory(archive.pid)
        finally:
            archive.terminate()
            archive.wait(timeout=10)
            broker.close()

    print(f"record end -> commit, {args.stations} stations, a record a second each:")
    print(f"  quiet:                                   {summary(quiet)}")
    print(f"  {args.fetchers} clients reading /api/records at {args.rate}B/s: {summary(loaded)}")
    for code, size, length in results:
        whole = code == 0 and length in (None, size)
        print(f"  answer: curl exit {code}, {size} bytes of {length or 'chunked'}: "
              f"{'whole' if whole else 'CUT'}")
    print(f"archive's peak resident memory: {peak}")


if __name__ == "__main__":
    main()
