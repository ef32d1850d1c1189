#!/usr/bin/env python3
"""A station's /metrics read by Prometheus' own parser: it parses, and says what /api/readings
says, before the first report and after one.
Usage: metrics_scrape_test.py NOXA_STATION NOXA_SIM"""
import json
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from prometheus_client.parser import text_string_to_metric_families


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(url):
    with urllib.request.urlopen(url, timeout=5) as response:
        return response.headers.get("Content-Type"), response.read().decode()


def samples(text):
    """{(name, frozenset(labels)): value} of every sample."""
    return {(s.name, frozenset(s.labels.items())): s.value
            for family in text_string_to_metric_families(text) for s in family.samples}


def wait_for(condition, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            if condition():
                return
        except OSError:
            pass
        time.sleep(0.1)
    raise AssertionError("timed out")


def main():
    station, sim = sys.argv[1:3]
    udp, http = free_port(socket.SOCK_DGRAM), free_port(socket.SOCK_STREAM)
    base = f"http://127.0.0.1:{http}"
    with tempfile.TemporaryDirectory() as folder:
        process = subprocess.Popen(
            [station, "--headless", "--udp-port", str(udp), "--http", str(http)],
            cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_for(lambda: get(base + "/metrics"))
            content_type, text = get(base + "/metrics")
            assert content_type == "text/plain; version=0.0.4; charset=utf-8", content_type
            before = samples(text)
            assert before[("noxa_reports_total", frozenset({("station", "")}))] == 0, before
            assert not any(name == "noxa_sky_brightness" for name, _ in before), before

            subprocess.run([sim, "--port", str(udp), "--count", "1"], check=True,
                           stdout=subprocess.DEVNULL)
            wait_for(lambda: json.loads(get(base + "/api/readings")[1])["time"] is not None)
            readings = json.loads(get(base + "/api/readings")[1])
            after = samples(get(base + "/metrics")[1])
            station_label = ("station", readings["station"])

            def value(name, **labels):
                return after[(name, frozenset({station_label, *labels.items()}))]

            assert value("noxa_reports_total") == 1
            for channel, key in (("v", "mag_v"), ("v2", "mag_v2"), ("r", "mag_r"),
                                 ("g", "mag_g"), ("b", "mag_b")):
                assert abs(value("noxa_sky_brightness", channel=channel) - readings[key]) < 1e-4
            for channel in "1234":
                assert abs(value("noxa_frequency_hertz", channel=channel)
                           - readings["freq_" + channel]) < 1e-3
            assert abs(value("noxa_temperature_celsius", sensor="sky")
                       - readings["sky_temperature"]) < 1e-4
            assert abs(value("noxa_cloud_cover_percent") - readings["cloud_cover"]) < 1e-4
            assert abs(value("noxa_last_report_timestamp_seconds") - time.time()) < 60
        finally:
            process.terminate()
            process.wait(timeout=20)
    print("metrics parsed and agree with the readings")


if __name__ == "__main__":
    main()
