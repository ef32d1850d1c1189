"""What the archive's tests and its ingest benchmark share: a mosquitto broker of their own on
a free port of 127.0.0.1, noxa-archive run in a temporary folder, and records published as a
station publishes them (QoS 1, through mosquitto_pub)."""
import json
import os
import pwd
import subprocess
import sys
import tempfile
import time
from datetime import datetime, timedelta, timezone

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from postgres_server import PostgresServer, free_port  # noqa: E402,F401


def wait_for(condition, timeout=30, what="condition"):
    """Polls `condition` until it holds (returns its value) or the time is up."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)


class Broker:
    def __init__(self, extra=""):
        self.dir = tempfile.TemporaryDirectory(prefix="noxa-broker-")
        self.port = free_port()
        user = pwd.getpwuid(os.getuid()).pw_name
        config = os.path.join(self.dir.name, "mosquitto.conf")
        with open(config, "w") as f:
            f.write(f"listener {self.port} 127.0.0.1\nallow_anonymous true\n"
                    f"persistence false\nuser {user}\nmax_queued_messages 0\n{extra}")
        self.process = subprocess.Popen(["/usr/sbin/mosquitto", "-c", config],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def publish_one(self, topic, payload):
        """Publishes one payload of any size, QoS 1."""
        subprocess.run(["mosquitto_pub", "-p", str(self.port), "-q", "1", "-t", topic, "-s"],
                       input=payload.encode(), check=True)

    def publish(self, topic, payloads, retain=False):
        """Publishes each payload in order, QoS 1, one connection for all."""
        command = ["mosquitto_pub", "-p", str(self.port), "-q", "1", "-t", topic, "-l"]
        if retain:
            command.append("-r")
        subprocess.run(command, input="\n".join(payloads) + "\n", text=True, check=True)

    def retained(self, topic):
        """The retained payload of `topic` (parsed JSON), or None."""
        out = subprocess.run(["mosquitto_sub", "-p", str(self.port), "-t", topic, "-C", "1",
                              "-W", "1", "--retained-only"],
                             capture_output=True, text=True).stdout.strip()
        return json.loads(out) if out else None

    def close(self):
        self.process.terminate()
        self.process.wait()
        self.dir.cleanup()


class Archive:
    def __init__(self, program, broker, folder, db=None, http=False):
        self.program, self.broker, self.folder, self.db = program, broker, folder, db
        self.http_port = free_port() if http else None
        self.log_path = os.path.join(folder, "archive.log")
        self.process = None

    def start(self):
        command = [self.program, "--dir", self.folder, "--mqtt", f"127.0.0.1:{self.broker.port}"]
        if self.db:
            command += ["--db", self.db]
        if self.http_port:
            command += ["--http", str(self.http_port)]
        with open(self.log_path, "a") as log:
            self.process = subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT)
        wait_for(lambda: self.log().count("MQTT connected") > 0, what="the archive's connection")
        return self

    def log(self):
        with open(self.log_path) as f:
            return f.read()

    def stop(self, kill=False):
        if self.process and self.process.poll() is None:
            (self.process.kill if kill else self.process.terminate)()
            self.process.wait()


START = datetime(2026, 11, 30, 23, 55, tzinfo=timezone.utc)


def utc(time):
    return time.strftime("%Y-%m-%dT%H:%M:%S.") + f"{time.microsecond // 1000:03d}Z"


def end_of(index, start=START):
    return start + timedelta(minutes=index + 1)


def ms(time):
    return int(time.timestamp() * 1000)


def get(port, path):
    """The status and body of GET http://127.0.0.1:port/path."""
    import urllib.error
    import urllib.request
    try:
        with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=10) as answer:
            return answer.status, answer.read().decode()
    except urllib.error.HTTPError as error:
        return error.code, error.read().decode()


def record(index, previous=True, name="Alpha", start=START):
    """The station's index-th record, one a minute; its previous end is the one before it's,
    null for the first or when `previous` is false."""
    end = end_of(index, start)
    fields = {"station": name, "start": utc(end - timedelta(minutes=1)), "end": utc(end),
              "previous_end": utc(end_of(index - 1, start)) if previous and index > 0 else None}
    for key in ("mag_v", "mag_v2", "mag_r", "mag_g", "mag_b", "freq_v", "freq_v2", "freq_r",
                "freq_g", "freq_b", "temperature", "sky_temperature", "sun_altitude",
                "moon_altitude", "moon_illumination"):
        fields[key] = None
    fields.update(mag_v=21.0 + index % 100 / 100, freq_v=12.5, temperature=-3.25,
                  sun_altitude=-30.0, reports=12, reports_r=0, reports_g=0, reports_b=0)
    return json.dumps(fields, separators=(",", ":"))
