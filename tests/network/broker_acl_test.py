#!/usr/bin/env python3
"""Two stations and an archive through a mosquitto that knows each of them by name and password
and lets each write only its own topics, with the password and access files the documentation
gives. One station's login then tries to publish as the other station and as the archive: the
broker turns every attempt away, and the honest records all reach the archive.

Usage: broker_acl_test.py BIN_DIR"""
import json
import os
import pwd
import re
import sqlite3
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [here, os.path.join(here, "..", "support")]
import servers  # noqa: E402
from network_processes import Archive, Station  # noqa: E402

ACL = """user archive
topic read noxa/#
topic write noxa/+/archived/#

pattern write noxa/%u/record
pattern write noxa/%u/state
pattern write noxa/%u/availability
pattern read noxa/%u/archived/#
pattern write homeassistant/#
"""


def start_broker(folder, logins):
    port = servers.free_port()
    passwords = os.path.join(folder, "passwd")
    with open(passwords, "w") as f:
        f.writelines(f"{user}:{password}\n" for user, password in logins.items())
    subprocess.run(["mosquitto_passwd", "-U", passwords], check=True)
    with open(os.path.join(folder, "acl"), "w") as f:
        f.write(ACL)
    config = os.path.join(folder, "mosquitto.conf")
    with open(config, "w") as f:
        f.write(f"listener {port} 127.0.0.1\nallow_anonymous false\npassword_file {passwords}\n"
                f"acl_file {folder}/acl\nmessage_size_limit 65536\npersistence false\n"
                f"log_dest file {folder}/mosquitto.log\nlog_type all\n"
                f"user {pwd.getpwuid(os.getuid()).pw_name}\n")
    process = subprocess.Popen(["mosquitto", "-c", config], stderr=subprocess.DEVNULL)
    servers.wait_for(lambda: servers.accepting(port), what="mosquitto")
    return process, port


def publish_as(folder, port, user, password, topic, payload, retain=False):
    """mosquitto_pub with the login in its own options file, not on the command line."""
    home = os.path.join(folder, f"as-{user}")
    os.makedirs(home, exist_ok=True)
    with open(os.path.join(home, "mosquitto_pub"), "w") as f:
        f.write(f"-u {user}\n-P {password}\n")
    command = ["mosquitto_pub", "-p", str(port), "-q", "1", "-t", topic, "-m", payload]
    subprocess.run(command + (["-r"] if retain else []), check=True,
                   env=dict(os.environ, XDG_CONFIG_HOME=home))


def main():
    bin_dir = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="noxa-acl-") as folder:
        logins = {"archive": "archive-secret", "F000": "f0-secret", "F001": "f1-secret"}
        broker, port = start_broker(folder, logins)
        archive = Archive(bin_dir, folder, "archive", port, "sqlite:noxa-archive.db")
        with open(os.path.join(archive.folder, "noxa-archive.ini"), "w") as f:
            f.write(f"[mqtt]\nuser=archive\npassword={logins['archive']}\n")
        os.chmod(os.path.join(archive.folder, "noxa-archive.ini"), 0o600)
        stations = [Station(bin_dir, folder, i, port, 2) for i in range(2)]
        for s in stations:
            with open(os.path.join(s.folder, "noxa-station.ini"), "a") as f:
                f.write(f"user={s.name}\npassword={logins[s.name]}\narchives=archive\n")
            os.chmod(os.path.join(s.folder, "noxa-station.ini"), 0o600)
        db = os.path.join(archive.folder, "noxa-archive.db")

        def rows(station):
            try:
                with sqlite3.connect(f"file:{db}?mode=ro", uri=True, timeout=10) as c:
                    return [r[0] for r in c.execute(
                        "SELECT end_time FROM records WHERE station = ?", (station,))]
            except sqlite3.OperationalError:  # not made yet
                return []

        def denied():
            with open(os.path.join(folder, "mosquitto.log")) as f:
                return re.findall(r"Denied PUBLISH from .*?'([^']*)'", f.read())

        try:
            archive.start()
            for s in stations:
                s.start()
            servers.wait_for(lambda: all(len(rows(s.name)) >= 3 for s in stations), 90,
                             "records of both stations in the archive")
            # F000's login, as F001 (a record that could be true) and as archives.
            end = time.strftime("%Y-%m-%dT%H:%M:%S.000Z", time.gmtime())
            forged = {"noxa/F001/record": json.dumps(
                          {"station": "F001", "start": end[:17] + "00.000Z", "end": end,
                           "previous_end": None, "reports": 1, "reports_r": 0, "reports_g": 0,
                           "reports_b": 0}),
                      "noxa/F001/archived/archive": '{"through":"9999-12-31T23:59:59.999Z"}',
                      "noxa/F000/archived/ghost": '{"through":null,"newest":null}'}
            for topic, payload in forged.items():
                publish_as(folder, port, "F000", logins["F000"], topic, payload,
                           retain="archived" in topic)
            servers.wait_for(lambda: len(denied()) >= 3, 10, "three denials")
            for s in stations:
                s.stop_sim()
                s.stop()
            assert denied() == list(forged), f"the broker denied {denied()}"
            for s in stations:
                made = len(s.records())
                servers.wait_for(lambda: len(rows(s.name)) >= made, 30,
                                 lambda: f"{s.name}: {len(rows(s.name))} of {made} records")
                assert len(rows(s.name)) == made, f"{s.name}: {len(rows(s.name))} of {made}"
                with open(os.path.join(s.folder, "station.log")) as f:
                    assert "ghost" not in f.read(), f"{s.name} heard of a forged archive"
            print(f"{sum(len(rows(s.name)) for s in stations)} records, none lost, "
                  f"{len(forged)} forged messages denied", flush=True)
            return 0
        finally:
            for s in stations:
                s.stop_sim()
                if s.process and s.process.poll() is None:
                    s.stop()
            if archive.process:
                archive.stop()
            servers.stop(broker)


if __name__ == "__main__":
    sys.exit(main())
