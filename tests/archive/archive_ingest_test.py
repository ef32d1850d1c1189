"""noxa-archive against a broker and a database of the test's own: SQLite, and PostgreSQL
when Debian's postgresql-15 is installed. The station is played by mosquitto_pub."""
import json
import os
import signal
import sqlite3
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from archive_harness import (Archive, Broker, PostgresServer, end_of, ms, record,  # noqa: E402
                             utc, wait_for)

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


class ArchiveTest:
    """The cases every database runs; a subclass gives the database."""

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory(prefix="noxa-archive-")
        self.broker = Broker()
        self.db = self.database()
        self.archive = Archive(PROGRAM, self.broker, self.folder.name, self.db.url).start()

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

    def test_each_month_gets_its_partition(self):
        self.publish(0, 4, 5, 6)  # 30 November and 1 December
        wait_for(lambda: self.count() == 4, what="the records")
        rows = self.db.query(
            "SELECT c.relname, COUNT(*) FROM records r JOIN pg_class c ON c.oid = r.tableoid "
            "GROUP BY c.relname ORDER BY c.relname")
        self.assertEqual(rows, [["records_2026_11", "1"], ["records_2026_12", "3"]])


if __name__ == "__main__":
    unittest.main()
