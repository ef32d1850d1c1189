#!/usr/bin/env python3
"""A station's /metrics read by Prometheus' own parser, checked by promtool and scraped by a
Prometheus server: it parses, carries the station's name from the first scrape, and says what
/api/readings says, before the first report and after one.
Usage: metrics_scrape_test.py NOXA_STATION NOXA_SIM"""
import json
import os
import shutil
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


def prometheus_sees_the_station(folder, http):
    """A Prometheus server scraping the station finds its series by the configured name before
    any report came."""
    if not shutil.which("prometheus"):
        print("prometheus not installed: the server part is left out")
        return
    port = free_port(socket.SOCK_STREAM)
    config = os.path.join(folder, "prometheus.yml")
    with open(config, "w") as f:
        f.write("global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: noxa\n"
                f"    static_configs:\n      - targets: ['127.0.0.1:{http}']\n")
    server = subprocess.Popen(
        ["prometheus", "--config.file", config, "--storage.tsdb.path",
         os.path.join(folder, "tsdb"), "--web.listen-address", f"127.0.0.1:{port}"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    query = (f"http://127.0.0.1:{port}/api/v1/query?query="
             "noxa_link_ok%7Bstation%3D%22qelvoxxx%22%7D")
    try:
        wait_for(lambda: json.loads(get(query)[1])["data"]["result"], seconds=30)
    finally:
        server.terminate()
        server.wait(timeout=20)


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
            assert before[("noxa_reports_total", frozenset({("station", "qelvoxxx")}))] == 0, before
            assert not any(name == "noxa_sky_brightness" for name, _ in before), before
            if shutil.which("promtool"):
                subprocess.run(["promtool", "check", "metrics"], input=text.encode(), check=True)
            prometheus_sees_the_station(folder, http)

            subprocess.run([sim, "--port", str(udp), "--count", "1"], check=True,
                           stdout=subprocess.DEVNULL)
            wait_for(lambda: json.loads(get(base + "/api/readings")[1])["time"] is not None)
            readings = json.loads(get(base + "/api/readings")[1])
            after = samples(get(base + "/metrics")[1])
            station_label = ("station", readings["station"])

            def value(name, **labels):
                return after[(name, frozenset({station_label, *labels.items()}))]

            assert value("noxa_reports_total") == 1
            for channel, key in (("740nm", "mag_v"), ("640nm", "mag_v2"), ("red", "mag_r"),
                                 ("green", "mag_g"), ("blue", "mag_b")):
                assert abs(value("noxa_sky_brightness", channel=channel) - readings[key]) < 1e-4
            for channel, number in (("740nm", "1"), ("640nm", "2"), ("red", "3"), ("blue", "4")):
                assert abs(value("noxa_frequency_hertz", channel=channel)
                           - readings["freq_" + number]) < 1e-3
            assert abs(value("noxa_temperature_celsius", sensor="sky")
                       - readings["sky_temperature"]) < 1e-4
            # Unknown until the run's first chart mean: null in the JSON, absent here.
            if readings["cloud_cover"] is None:
                assert ("noxa_cloud_cover_percent", frozenset({station_label})) not in after
            else:
                assert abs(value("noxa_cloud_cover_percent") - readings["cloud_cover"]) < 1e-4
            assert abs(value("noxa_last_report_timestamp_seconds") - time.time()) < 60
        finally:
            process.terminate()
            process.wait(timeout=20)
    print("metrics parsed and agree with the readings")


if __name__ == "__main__":
    main()
