#!/usr/bin/env python3
"""The records of two stations reach an archive through RabbitMQ's MQTT plugin, a broker made
for clusters, exactly once and with the same means as the stations' data files, across a
restart of the archive: nothing in the station or the archive depends on mosquitto.

Usage: rabbitmq_test.py BIN_DIR"""
import os
import sqlite3
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [here, os.path.join(here, "..", "support")]
import servers  # noqa: E402
from network_processes import Archive, Station  # noqa: E402
from station_records import same_record  # noqa: E402


def archived(path, station):
    with sqlite3.connect(f"file:{path}?mode=ro", uri=True, timeout=10) as db:
        return [list(r) for r in db.execute(
            "SELECT end_time, mag_v, mag_v2, mag_r, mag_g, mag_b, freq_v, freq_v2, freq_r, "
            "freq_g, freq_b FROM records WHERE station = ? ORDER BY end_time", (station,))]


def main():
    bin_dir = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="noxa-rabbitmq-") as folder:
        broker = servers.RabbitMq(folder).start()
        db = os.path.join(folder, "archive.db")
        archive = Archive(bin_dir, folder, "rabbit", broker.port, "sqlite:" + db)
        stations = [Station(bin_dir, folder, i, broker.port, 1) for i in range(2)]
        try:
            archive.start()
            for s in stations:
                s.start()
            servers.wait_for(lambda: all(len(s.records()) >= 3 for s in stations), 60,
                             "three records of each station")
            # Records made while the archive is away wait in its session on the broker.
            archive.stop()
            servers.wait_for(lambda: all(len(s.records()) >= 6 for s in stations), 60,
                             "three more records of each station")
            archive.start()
            for s in stations:
                s.stop_sim()
            servers.wait_for(lambda: all(os.path.exists(db) and
                                         len(archived(db, s.name)) == len(s.records())
                                         for s in stations), 60, "every record archived")
        finally:
            for s in stations:
                s.stop_sim()
                s.stop()
            if archive.process.poll() is None:
                archive.stop()
            broker.stop()
        problems = [f"{s.name}: {line} archived as {row}" for s in stations
                    for line, row in zip(s.records(), archived(db, s.name))
                    if not same_record(line, row)]
        print("\n".join(problems) or "PASS")
        return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
