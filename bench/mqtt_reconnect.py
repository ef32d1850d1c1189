#!/usr/bin/env python3
"""How soon the headless station is back on its MQTT broker after the broker restarts.

A private mosquitto on a free port of 127.0.0.1 and the station run in a temporary folder. The
broker is stopped and started again --restarts times; each time the script measures the time
from the broker accepting connections again to the station's "MQTT connected" log line, and
counts the station's "unreachable" lines (one per outage, and one more when its reason changes).

Usage: bench/mqtt_reconnect.py [--bin build/bin] [--restarts 3] [--down-seconds 0]
Only 127.0.0.1 is contacted.
"""
import argparse
import os
import queue
import socket
import subprocess
import tempfile
import threading
import time

from loopback import free_port
from mqtt_latency import wait_for_port


def start_broker(config):
    return subprocess.Popen(["/usr/sbin/mosquitto", "-c", config], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def stop(process):
    process.terminate()
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def next_line(lines, prefix, seconds=90):
    """The arrival time and text of the station's next log line that starts with `prefix`."""
    deadline = time.monotonic() + seconds
    while True:
        stamp, line = lines.get(timeout=max(0.1, deadline - time.monotonic()))
        if line.startswith(prefix):
            return stamp, line


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", default="build/bin")
    parser.add_argument("--restarts", type=int, default=3)
    parser.add_argument("--down-seconds", type=float, default=0,
                        help="how long the broker stays down each time")
    args = parser.parse_args()
    station_bin = os.path.abspath(os.path.join(args.bin, "noxa-station"))

    delays, unreachable = [], []
    with tempfile.TemporaryDirectory() as folder:
        broker_port = free_port(socket.SOCK_STREAM)
        config = os.path.join(folder, "mosquitto.conf")
        with open(config, "w") as f:
            f.write(f"listener {broker_port} 127.0.0.1\nallow_anonymous true\n"
                    "persistence false\n")
        broker = start_broker(config)
        station = None
        try:
            wait_for_port(broker_port)
            station = subprocess.Popen(
                [station_bin, "--headless", "--udp-port", str(free_port(socket.SOCK_DGRAM)),
                 "--mqtt", f"127.0.0.1:{broker_port}"], cwd=folder, stdout=subprocess.PIPE,
                stderr=subprocess.DEVNULL, text=True,
                env={**os.environ, "QT_QPA_PLATFORM": "offscreen", "DBUS_SESSION_BUS_ADDRESS": ""})
            lines = queue.Queue()

            def read_lines():
                for line in station.stdout:
                    lines.put((time.monotonic(), line.strip()))

            threading.Thread(target=read_lines, daemon=True).start()
            next_line(lines, "MQTT connected to", 10)
            for _ in range(args.restarts):
                stop(broker)
                try:
                    next_line(lines, "MQTT broker", 5)
                    count = 1
                except queue.Empty:  # the outage was not logged
                    count = 0
                time.sleep(args.down_seconds)
                broker = start_broker(config)
                wait_for_port(broker_port)
                up = time.monotonic()
                while True:
                    stamp, line = next_line(lines, "MQTT ")
                    if line.startswith("MQTT connected to"):
                        break
                    count += 1
                delays.append(stamp - up)
                unreachable.append(count)
        finally:
            if station:
                stop(station)
            stop(broker)

    print(f"{args.restarts} broker restarts (down {args.down_seconds:g} s each): time from the "
          "broker accepting connections to \"MQTT connected\", and the outage's log lines")
    for number, (delay, count) in enumerate(zip(delays, unreachable), 1):
        print(f"  restart {number}: {delay:6.2f} s, {count} \"unreachable\" line(s)")


if __name__ == "__main__":
    main()
