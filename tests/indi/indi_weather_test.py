#!/usr/bin/env python3
"""The INDI weather driver between a real indiserver and a real station, with the INDI
command-line clients playing the observatory: the parameters follow the station's reports, the
status turns to alert when the readings go stale or the station stops, and back to ok when it
returns; the station's own safety verdict decides, and a reading the station no longer knows is
shown as unknown with an alert. Everything runs on 127.0.0.1."""

import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

DEVICE = "NOXA Sky Station"
# Busy is the warning zone near a limit (a cloud cover close to its maximum): not an alert.
SAFE = ("Ok", "Busy")


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(what, check, timeout=8.0, detail=None):
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}" +
                                 (f"\n{detail()}" if detail else ""))
        time.sleep(0.2)


class Observatory:
    def __init__(self, port):
        self.port = str(port)

    def set(self, spec):
        subprocess.run(["indi_setprop", "-p", self.port, f"{DEVICE}.{spec}"], check=True,
                       timeout=10)

    def get(self, spec):
        out = subprocess.run(["indi_getprop", "-1", "-t", "1", "-p", self.port,
                              f"{DEVICE}.{spec}"], capture_output=True, text=True, timeout=10)
        return out.stdout.strip() if out.returncode == 0 else None

    def weather(self):
        """The status lights and parameters, to show when something fails."""
        return "\n".join(f"{p}: {self.get(p + '.*')}"
                         for p in ("WEATHER_STATUS", "WEATHER_PARAMETERS"))

    def status(self):
        return self.get("WEATHER_STATUS._STATE")

    def refresh(self):
        self.set("WEATHER_REFRESH.REFRESH=On")


def write_config(folder, chart_seconds):
    """The station's configuration record with a short chart interval: its cloud cover and
    limiting magnitude come from its own chart means, the first one chart_seconds after the
    reports begin."""
    record = bytearray(400)

    def put(offset, text):
        record[offset:offset + len(text)] = text.encode()

    put(130, "0")  # network mode
    put(140, "48.1"), put(148, "N"), put(150, "11.6"), put(158, "E"), put(170, "0")
    put(200, "2255"), put(240, str(chart_seconds)), put(245, "60"), put(350, "qelvoxxx")
    for offset in (260, 280, 300, 320):  # each channel's offset and gain
        put(offset, "0"), put(offset + 10, "1")
    with open(os.path.join(folder, "Noxa.cfg"), "wb") as file:
        file.write(record)


class Station:
    # The random cloud cover of the simulator must not decide the station's verdict here.
    SETTINGS = ("--safe-max-cloud-cover", "100")

    def __init__(self, args, folder, udp_port, http_port, settings=()):
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(folder, "xdg"),
                   QT_QPA_PLATFORM="offscreen")
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.args, self.env, self.udp_port = args, env, udp_port
        self.url = f"http://127.0.0.1:{http_port}/api/readings"
        self.process = subprocess.Popen(
            [os.path.join(args.bin, "noxa-station"), "--headless", "--udp-port", str(udp_port),
             "--http", str(http_port), *self.SETTINGS, *settings], cwd=folder, env=env,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until("the station's web server", self.readings)

    def readings(self):
        try:
            with urllib.request.urlopen(self.url, timeout=1) as answer:
                return json.load(answer)
        except OSError:
            return None

    def report(self, count):
        """Sends reports until the station knows its cloud cover (it comes with the first
        report after a chart point with reports in its interval); gives the readings once the
        last report has reached them, a moment after it was sent."""
        def sent():
            subprocess.run([os.path.join(self.args.bin, "noxa-sim"), "--port", str(self.udp_port),
                            "--count", str(count), "--interval-ms", "200"], env=self.env,
                           check=True, timeout=30)
            r = self.readings()
            return r if r and r["mag_v"] is not None and r["cloud_cover"] is not None else None
        wait_until("the reports at the station", sent, timeout=20,
                   detail=lambda: json.dumps(self.readings()))
        seen = {}

        def settled():
            r = self.readings()
            same = r is not None and r["time"] == seen.get("time")
            seen.update(r or {})
            return r if same else None
        return wait_until("the last report in the readings", settled,
                          detail=lambda: json.dumps(self.readings()))

    def kill(self):
        self.process.kill()
        self.process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="folder of noxa-station and noxa-sim")
    parser.add_argument("--driver", required=True)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        write_config(folder, 2)
        udp_port, http_port, indi_port = (free_port(socket.SOCK_DGRAM),
                                          free_port(socket.SOCK_STREAM),
                                          free_port(socket.SOCK_STREAM))
        # The driver saves its configuration under the home folder.
        server = subprocess.Popen(["indiserver", "-p", str(indi_port), args.driver],
                                  env=dict(os.environ, HOME=folder), stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        station = None
        try:
            indi = Observatory(indi_port)
            wait_until("the driver", lambda: indi.get("CONNECTION.CONNECT"))
            station = Station(args, folder, udp_port, http_port)

            indi.set(f"STATION_URL.URL={station.url}")
            indi.set("CONNECTION.CONNECT=On")
            wait_until("the weather parameters", lambda: indi.get("WEATHER_UPDATE.PERIOD"))
            indi.set("WEATHER_UPDATE.PERIOD=1")
            indi.set("NOXA_SAFETY_LIMITS.MAX_CLOUD_COVER=100")
            assert indi.get("WEATHER_CLOUD_COVER.MAX_OK") == "100"
            # No report yet: the age of the readings is unknown.
            wait_until("alert before the first report", lambda: indi.status() == "Alert",
                       detail=indi.weather)

            readings = station.report(10)
            wait_until("the reports in the driver", lambda: indi.status() in SAFE,
                       detail=indi.weather)
            indi.refresh()
            sqm = float(indi.get("WEATHER_PARAMETERS.WEATHER_SQM"))
            assert abs(sqm - readings["mag_v"]) < 1e-6, (sqm, readings)
            cloud = float(indi.get("WEATHER_PARAMETERS.WEATHER_CLOUD_COVER"))
            assert abs(cloud - readings["cloud_cover"]) < 1e-6, (cloud, readings)

            # Readings older than the limit are stale.
            indi.set("NOXA_SAFETY_LIMITS.STALE_AFTER=1")
            wait_until("alert on stale readings",
                       lambda: indi.get("WEATHER_STATUS.WEATHER_REPORT_AGE") == "Alert")
            indi.set("NOXA_SAFETY_LIMITS.STALE_AFTER=120")
            wait_until("ok with the stale limit raised", lambda: indi.status() in SAFE,
                       detail=indi.weather)

            station.kill()
            wait_until("alert with the station gone", lambda: indi.status() == "Alert",
                       detail=indi.weather)
            assert indi.get("WEATHER_STATUS.WEATHER_STATION_LINK") == "Alert"

            station = Station(args, folder, udp_port, http_port)
            readings = station.report(10)
            wait_until("ok with the station back", lambda: indi.status() in SAFE,
                       detail=indi.weather)
            indi.refresh()
            sqm = float(indi.get("WEATHER_PARAMETERS.WEATHER_SQM"))
            assert abs(sqm - readings["mag_v"]) < 1e-6, (sqm, readings)
            assert indi.get("WEATHER_STATUS.WEATHER_STATION_SAFE") == "Ok"

            # The station's verdict counts even where the driver's own limits see no harm:
            # every sky is brighter than 30 mag/arcsec².
            station.kill()
            station = Station(args, folder, udp_port, http_port, ("--safe-brightest-sky", "30"))
            readings = station.report(10)
            assert readings["safe"] is False and readings["unsafe_reason"], readings
            wait_until("the sky brightness in the driver",
                       lambda: indi.get("WEATHER_STATUS.WEATHER_SQM") in SAFE, detail=indi.weather)
            assert indi.get("WEATHER_STATUS.WEATHER_STATION_SAFE") == "Alert", indi.weather()
            assert indi.status() == "Alert"

            # A reading the station no longer knows (none within its stale limit) is unknown.
            station.kill()
            station = Station(args, folder, udp_port, http_port, ("--stale-seconds", "3"))
            station.report(10)
            wait_until("the sky brightness known", lambda: indi.get("WEATHER_STATUS.WEATHER_SQM")
                       in SAFE, detail=indi.weather)
            wait_until("the sky brightness unknown",
                       lambda: indi.get("WEATHER_STATUS.WEATHER_SQM") == "Alert",
                       detail=indi.weather)
            assert float(indi.get("WEATHER_PARAMETERS.WEATHER_SQM")) == -1, indi.weather()
        finally:
            if station:
                station.kill()
            server.send_signal(signal.SIGTERM)
            server.wait(timeout=10)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
