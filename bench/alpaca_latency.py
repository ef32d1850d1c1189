#!/usr/bin/env python3
"""Latency of an Alpaca skyquality request to the station.

Starts the station headless with its web server on a free loopback port, feeds it one report
from noxa-sim, connects the ObservingConditions device and times GET
/api/v1/observingconditions/0/skyquality over one kept-alive connection; prints the median and
the 99th percentile in milliseconds.

    bench/alpaca_latency.py --bin build/bin [--calls 1000]
"""
import argparse
import http.client
import json
import os
import socket
import statistics
import subprocess
import tempfile
import time

from loopback import free_port




def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default="build/bin", help="folder of noxa-station and noxa-sim")
    parser.add_argument("--calls", type=int, default=1000)
    args = parser.parse_args()
    binary = os.path.abspath(args.bin)

    with tempfile.TemporaryDirectory() as folder:
        udp, port = free_port(socket.SOCK_DGRAM), free_port()
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        station = subprocess.Popen(
            [os.path.join(binary, "noxa-station"), "--headless", "--udp-port", str(udp),
             "--http", str(port)],
            cwd=folder, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 20
            while True:
                try:
                    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
                    conn.request("GET", "/management/apiversions")
                    conn.getresponse().read()
                    break
                except OSError:
                    if time.monotonic() > deadline:
                        raise
                    time.sleep(0.2)
            subprocess.run([os.path.join(binary, "noxa-sim"), "--port", str(udp), "--count", "1"],
                           check=True, stdout=subprocess.DEVNULL)
            time.sleep(1)
            conn.request("PUT", "/api/v1/observingconditions/0/connected",
                         body="Connected=True&ClientID=1&ClientTransactionID=1",
                         headers={"Content-Type": "application/x-www-form-urlencoded"})
            conn.getresponse().read()

            times = []
            for n in range(args.calls):
                start = time.perf_counter()
                conn.request("GET", f"/api/v1/observingconditions/0/skyquality"
                                    f"?ClientID=1&ClientTransactionID={n + 2}")
                answer = json.loads(conn.getresponse().read())
                times.append(time.perf_counter() - start)
                if answer["ErrorNumber"] != 0:
                    raise SystemExit(f"skyquality failed: {answer}")
            times.sort()
            print(f"skyquality: {len(times)} calls on one connection, median "
                  f"{statistics.median(times) * 1000:.3f} ms, 99th percentile "
                  f"{times[int(len(times) * 0.99) - 1] * 1000:.3f} ms (value {answer['Value']})")
        finally:
            station.terminate()
            station.wait(10)


if __name__ == "__main__":
    main()
