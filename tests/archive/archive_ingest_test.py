"""noxa-archive against a broker and a database of the test's own: SQLite, and PostgreSQL
when Debian's postgresql-15 is installed. The station is played by mosquitto_pub."""
import json
import os
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from archive_harness import (Archive, Broker, PostgresServer, end_of, get, ms,  # noqa: E402
                             record, utc, wait_for)
from datetime import datetime, timedelta, timezone  # noqa: E402

PROGRAM = sys.argv.pop(1) if len(sys.argv) > 1 else "build/bin/noxa-archive"
CONFIRMED = "noxa/alpha/archived/archive"


class SqliteDatabase:
    url = None

    def __init__(self, folder):
        self.path = os.path.join(folder, "noxa-archive.db")

    def query(self, sql):
        with sqlite3.connect(self.path) as db:
            return [[str(v) if v is not None else "" for v in row]
                    for row in db.execute(sql).fetchall()]


def changed(index=0, **fields):
    """Record `index` of station Alpha with `fields` changed."""
    values = json.loads(record(index))
    values.update(fields)
    return json.dumps(values)


def interval(start, end):
    return {"start": utc(start), "end": utc(end), "previous_end": None}


END = end_of(0)
# Messages no station can send, each on a station id of its own: (case, topic, payload, kind).
HOSTILE = [
    ("start after end", "h1/record", changed(**interval(END + timedelta(minutes=1), END)),
     "start_not_before_end"),
    ("start equal to end", "h2/record", changed(**interval(END, END)), "start_not_before_end"),
    ("start in 1938", "h3/record",
     changed(**interval(datetime(1938, 5, 1, tzinfo=timezone.utc), END)), "too_early"),
    ("ends in year 1", "h4/record", changed(start="0001-01-01T00:00:00.000Z",
                                            end="0001-01-01T00:01:00.000Z"), "too_early"),
    ("ends in 9999", "h5/record", changed(start="9999-12-31T22:00:00.000Z",
                                          end="9999-12-31T23:00:00.000Z", previous_end=None),
     "end_ahead"),
    ("mag_v 1e308", "h6/record", changed(mag_v=1e308), "impossible_value"),
    ("sensor at 1000 degrees", "h7/record", changed(temperature=1000), "impossible_value"),
    ("two-hour interval", "h8/record",
     changed(**interval(END - timedelta(hours=2), END)), "interval_too_long"),
    ("10 MB station name", "h9/record", changed(station="x" * 10_000_000), "too_large"),
    ("a bell in the name", "h10/record", changed(station="Al\u0007pha"), "station_name"),
    ("100-character station id", "h" * 100 + "/record", record(0), "station_id"),
    ("100 kB state", "h11/state", json.dumps({"station": "H", "pad": "x" * 100_000}),
     "too_large"),
    ("long name in a state", "h12/state", json.dumps({"station": "N" * 65}), "station_name"),
]


def refused(metrics):
    """The refused messages per kind from /metrics."""
    counts = {}
    for line in metrics.splitlines():
        if line.startswith("noxa_archive_refused_messages_total{"):
            kind = line.split('"')[1]
            counts[kind] = int(float(line.split()[-1]))
    return {kind: n for kind, n in counts.items() if n}


class ArchiveTest:
    """The cases every database runs; a subclass gives the database."""

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory(prefix="noxa-archive-")
        self.broker = Broker()
        self.db = self.database()
        self.archive = Archive(PROGRAM, self.broker, self.folder.name, self.db.url,
                               http=True).start()
        wait_for(lambda: "Fleet web on" in self.archive.log(), what="the web side")

    def tearDown(self):
        self.archive.stop()
        self.broker.close()
        self.folder.cleanup()

    def publish(self, *indexes, previous=True):
        self.broker.publish("noxa/alpha/record", [record(i, previous) for i in indexes])

    def count(self):
        return int(self.db.query("SELECT COUNT(*) FROM records")[0][0])

    def wait_through(self, index):
        expected = {"through": utc(end_of(index)), "newest": utc(end_of(index))}
        wait_for(lambda: self.broker.retained(CONFIRMED) == expected, what=f"through {index}")

    def test_records_arrive_once_and_repeats_change_nothing(self):
        self.publish(0, 1, 2)
        self.wait_through(2)
        stored = self.db.query("SELECT end_time, committed_at FROM records ORDER BY end_time")
        self.broker.publish("noxa/alpha/record", ["not json", "[1]", "{}"])
        self.publish(0, 1, 2, 3)
        self.wait_through(3)
        self.assertEqual(self.db.query(
            "SELECT end_time, committed_at FROM records ORDER BY end_time")[:3], stored)
        self.assertEqual(self.db.query("SELECT name, records, through FROM stations"),
                         [["Alpha", "4", str(ms(end_of(3)))]])
        self.assertEqual(self.archive.log().count("unreadable record"), 2)
        self.assertEqual(self.archive.log().count("New station: alpha (Alpha)"), 1)

    def test_station_ids_and_values_are_stored_as_they_came(self):
        fields = json.loads(record(0))
        fields.update(mag_v=0.30000000000000004, freq_v=1e-300, temperature=-12.5)
        self.broker.publish("noxa/o'k\\x/record", [json.dumps(fields)])
        wait_for(lambda: self.count() == 1, what="the record")
        self.assertEqual(self.db.query("SELECT station, mag_v, freq_v, temperature FROM records"),
                         [["o'k\\x", "0.30000000000000004", "1e-300", "-12.5"]])

    def test_a_gap_is_confirmed_once_filled(self):
        self.publish(0, 1, 3, 4)
        expected = {"through": utc(end_of(1)), "newest": utc(end_of(4))}
        wait_for(lambda: self.broker.retained(CONFIRMED) == expected, what="the gap")
        self.publish(2)
        self.wait_through(4)

    def test_a_record_without_previous_end_starts_the_chain_again(self):
        self.publish(0, 1, 3)
        self.publish(5, previous=False)
        expected = {"through": utc(end_of(5)), "newest": utc(end_of(5))}
        wait_for(lambda: self.broker.retained(CONFIRMED) == expected, what="a new chain")


    def test_hostile_messages_are_refused_counted_and_said_once(self):
        for case, topic, payload, kind in HOSTILE:
            for _ in range(2):
                self.broker.publish_one("noxa/" + topic, payload)
        self.publish(0)
        self.wait_through(0)
        self.assertEqual(self.db.query("SELECT DISTINCT station FROM records"), [["alpha"]])
        self.assertEqual(self.db.query("SELECT COUNT(*) FROM stations"), [["1"]])
        expected = {}
        for case, topic, payload, kind in HOSTILE:
            expected[kind] = expected.get(kind, 0) + 2
        # The web side takes the ingest's counters a moment after they change.
        wait_for(lambda: refused(get(self.archive.http_port, "/metrics")[1]) == expected,
                 what="the refusals counted")
        lines = [line for line in self.archive.log().splitlines() if "message refused" in line]
        self.assertEqual(len(lines), len(HOSTILE))
        self.assertLess(max(len(line) for line in lines), 300)

    def test_a_refused_value_does_not_stop_the_chain_and_minus_zero_is_zero(self):
        self.publish(0, 1)
        self.broker.publish("noxa/alpha/record", [changed(2, mag_v=1e308), changed(3, mag_v=-0.0)])
        self.wait_through(3)
        self.assertEqual(self.count(), 3)
        zero = self.db.query(f"SELECT mag_v FROM records WHERE end_time = {ms(end_of(3))}")
        self.assertFalse(zero[0][0].startswith("-"), zero)

    def test_the_chain_never_passes_the_archives_clock(self):
        self.publish(0)
        self.wait_through(0)
        self.archive.stop()
        future = datetime(9999, 12, 31, 23, 0, tzinfo=timezone.utc)  # stored before refusals
        self.db.query("INSERT INTO records (station, end_time, start_time, reports, reports_r, "
                      f"reports_g, reports_b, committed_at) VALUES ('alpha', {ms(future)}, "
                      f"{ms(future) - 60000}, 0, 0, 0, 0, 0)")
        self.db.query(f"UPDATE stations SET through = {ms(future)}, last_end = {ms(future)}")
        self.archive.start()
        self.publish(1, previous=False)
        expected = {"through": utc(end_of(1)), "newest": utc(future)}
        wait_for(lambda: self.broker.retained(CONFIRMED) == expected, what="a chain up to now")

    def test_names_in_utf8_and_control_bytes_in_requests(self):
        self.broker.publish("noxa/avila/record", [record(0, name="Ávila")])
        wait_for(lambda: self.count() == 1, what="the record")
        port = self.archive.http_port
        status, body = get(port, "/api/stations")
        self.assertEqual((status, json.loads(body)[0]["name"]), (200, "Ávila"))
        for query in ("station=%00avila", "station=avila&to=%0A1", "station=avila&x%01=1"):
            self.assertEqual(get(port, "/api/records?" + query)[0], 400, query)
        status, body = get(port, f"/api/records?station=avila&from=0&to={ms(end_of(1))}")
        self.assertEqual((status, len(json.loads(body))), (200, 1))
        self.assertNotIn("cannot be read", self.archive.log())

    def test_a_made_up_station_is_bounded_and_can_be_forgotten(self):
        now = datetime.now(timezone.utc)
        ends = [datetime(1900 + i // 12, i % 12 + 1, 1, tzinfo=timezone.utc) for i in range(2400)]
        self.broker.publish("noxa/fake/record", [
            changed(station="Fake", **interval(end - timedelta(minutes=1), end)) for end in ends])
        self.publish(0)
        self.wait_through(0)
        plausible = sum(1 for end in ends
                        if datetime(2000, 1, 1, tzinfo=timezone.utc) < end <= now)
        self.assertEqual(int(self.db.query(
            "SELECT COUNT(*) FROM records WHERE station = 'fake'")[0][0]), plausible)
        self.archive.stop()
        forget = [PROGRAM, "--dir", self.folder.name, "--forget-station", "fake"]
        if self.db.url:
            forget += ["--db", self.db.url]
        asked = subprocess.run(forget, stdin=subprocess.DEVNULL, capture_output=True, text=True)
        self.assertEqual(asked.returncode, 1, asked.stderr)
        self.assertIn(f"has {plausible} records", asked.stderr)
        done = subprocess.run(forget + ["--yes"], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(self.db.query("SELECT DISTINCT station FROM records"), [["alpha"]])
        self.assertEqual(self.db.query("SELECT station FROM stations"), [["alpha"]])


class SqliteArchiveTest(ArchiveTest, unittest.TestCase):
    def database(self):
        return SqliteDatabase(self.folder.name)

    def test_nothing_is_lost_through_an_outage_and_a_kill(self):
        lock = sqlite3.connect(self.db.path, isolation_level=None)
        lock.execute("BEGIN EXCLUSIVE")
        self.publish(0, 1, 2)
        wait_for(lambda: "unavailable" in self.archive.log(), what="the database lost")
        lock.execute("COMMIT")
        wait_for(lambda: "back;" in self.archive.log(), what="the database back")
        self.wait_through(2)
        lock.execute("BEGIN EXCLUSIVE")
        self.publish(3, 4)
        wait_for(lambda: self.archive.log().count("unavailable") == 2, what="a second loss")
        self.archive.stop(kill=True)
        lock.execute("COMMIT")
        self.archive.start()
        # The station sends again what the archive has not confirmed.
        through = self.broker.retained(CONFIRMED)["through"]
        self.assertEqual(through, utc(end_of(2)))
        self.publish(3, 4)
        self.wait_through(4)
        self.assertEqual(self.count(), 5)


@unittest.skipUnless(os.path.exists("/usr/lib/postgresql/15/bin/initdb"), "no postgresql-15")
class PostgresArchiveTest(ArchiveTest, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = PostgresServer().start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def database(self):
        self.server.query("DROP TABLE IF EXISTS records, stations, schema_version")
        return self.server

    def test_the_database_is_used_within_2_s_once_it_answers_again(self):
        self.server.stop()
        with socket.socket() as stand_in:  # turns the archive's attempts away at once
            stand_in.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            stand_in.bind(("127.0.0.1", self.server.port))
            stand_in.listen()
            stand_in.settimeout(30)
            self.publish(0)
            attempts = []  # libpq may connect twice an attempt (with TLS, then without)
            while len(attempts) < 5:
                connection, _ = stand_in.accept()
                connection.close()
                if not attempts or time.monotonic() - attempts[-1] > 0.5:
                    attempts.append(time.monotonic())
        self.server.start()
        back = time.monotonic()
        self.wait_through(0)
        self.assertLess(time.monotonic() - back, 2.5)

    def test_each_month_gets_its_partition(self):
        self.publish(0, 4, 5, 6)  # 30 November and 1 December
        wait_for(lambda: self.count() == 4, what="the records")
        rows = self.db.query(
            "SELECT c.relname, COUNT(*) FROM records r JOIN pg_class c ON c.oid = r.tableoid "
            "GROUP BY c.relname ORDER BY c.relname")
        self.assertEqual(rows, [["records_2026_11", "1"], ["records_2026_12", "3"]])


if __name__ == "__main__":
    unittest.main()
