#!/usr/bin/env python3
"""Report-to-subscriber MQTT latency of the headless station, against a plain MQTT round trip.

  station   a report datagram sent to the station's UDP port -> its state message arriving at
            a subscriber of the same broker
  plain     a line written to a running mosquitto_pub -l -> that message arriving at the same
            subscriber (one client publishing, no station)

Both are measured in one run, alternately, on a broker the script starts itself; the
subscriber (mosquitto_sub) stamps each message as it receives it. Prints p50, p99 and the
maximum in milliseconds.

Usage: bench/mqtt_latency.py [--bin build/bin] [--count 500] [--gap-ms 10]
Only 127.0.0.1 is contacted.
"""
import argparse
import os
import queue
import socket
import statistics
import subprocess
import tempfile
import threading
import time

from loopback import free_port

STATE_TOPIC = "noxa/qelvoxxx/state"
ECHO_TOPIC = "bench/echo"




def wait_for_port(port, seconds=5):
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("the broker did not start")


def one_report(sim):
    """A report datagram as the simulator sends it, caught on a port of our own."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as catcher:
        catcher.bind(("127.0.0.1", 0))
        catcher.settimeout(10)
        subprocess.run([sim, "--port", str(catcher.getsockname()[1]), "--count", "1"],
                       check=True, stdout=subprocess.DEVNULL)
        return catcher.recv(65536)


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", default="build/bin")
    parser.add_argument("--count", type=int, default=500)
    parser.add_argument("--gap-ms", type=float, default=10)
    args = parser.parse_args()
    station_bin = os.path.abspath(os.path.join(args.bin, "noxa-station"))
    sim_bin = os.path.abspath(os.path.join(args.bin, "noxa-sim"))

    processes = []
    with tempfile.TemporaryDirectory() as folder:
        try:
            broker_port = free_port(socket.SOCK_STREAM)
            config = os.path.join(folder, "mosquitto.conf")
            with open(config, "w") as f:
                f.write(f"listener {broker_port} 127.0.0.1\nallow_anonymous true\n"
                        "persistence false\n")
            processes.append(subprocess.Popen(["/usr/sbin/mosquitto", "-c", config],
                                              stdout=subprocess.DEVNULL,
                                              stderr=subprocess.DEVNULL))
            wait_for_port(broker_port)
            broker = ["-h", "127.0.0.1", "-p", str(broker_port)]

            udp_port = free_port(socket.SOCK_DGRAM)
            station = subprocess.Popen(
                [station_bin, "--headless", "--udp-port", str(udp_port), "--mqtt",
                 f"127.0.0.1:{broker_port}"], cwd=folder, stdout=subprocess.PIPE,
                stderr=subprocess.DEVNULL, text=True,
                env={**os.environ, "QT_QPA_PLATFORM": "offscreen", "DBUS_SESSION_BUS_ADDRESS": ""})
            processes.append(station)
            deadline = time.time() + 10
            for line in station.stdout:
                if line.startswith("MQTT connected to"):
                    break
                if time.time() > deadline:
                    raise RuntimeError("the station did not connect to the broker")
            # Its further log lines are read and dropped, so that its output never fills up.
            threading.Thread(target=lambda: [None for _ in station.stdout], daemon=True).start()

            arrivals = queue.Queue()
            subscriber = subprocess.Popen(
                ["mosquitto_sub", *broker, "-t", STATE_TOPIC, "-t", ECHO_TOPIC, "-F", "%U %t"],
                stdout=subprocess.PIPE, text=True)
            processes.append(subscriber)

            def read_arrivals():
                for line in subscriber.stdout:
                    stamp, topic = line.split()
                    arrivals.put((topic, float(stamp)))

            threading.Thread(target=read_arrivals, daemon=True).start()
            publisher = subprocess.Popen(["mosquitto_pub", *broker, "-t", ECHO_TOPIC, "-l"],
                                         stdin=subprocess.PIPE)
            processes.append(publisher)

            report = one_report(sim_bin)
            sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            time.sleep(1)  # the retained state and the clients settle

            def measure(topic, send):
                while not arrivals.empty():
                    arrivals.get_nowait()
                sent = time.time()
                send()
                while True:
                    got, stamp = arrivals.get(timeout=5)
                    if got == topic and stamp >= sent:
                        return (stamp - sent) * 1000

            def to_station():
                sender.sendto(report, ("127.0.0.1", udp_port))

            def to_publisher():
                publisher.stdin.write(b"x\n")
                publisher.stdin.flush()

            station_ms, plain_ms = [], []
            for _ in range(args.count):
                station_ms.append(measure(STATE_TOPIC, to_station))
                time.sleep(args.gap_ms / 1000)
                plain_ms.append(measure(ECHO_TOPIC, to_publisher))
                time.sleep(args.gap_ms / 1000)
        finally:
            for process in reversed(processes):
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()

    print(f"{args.count} messages each, latency in ms (p50 / p99 / max)")
    for name, values in (("station (report -> state message)", station_ms),
                         ("plain (mosquitto_pub -> mosquitto_sub)", plain_ms)):
        print(f"  {name:40s} {statistics.median(values):7.3f} / {percentile(values, 99):7.3f}"
              f" / {max(values):7.3f}")


if __name__ == "__main__":
    main()
